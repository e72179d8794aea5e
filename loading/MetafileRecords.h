#pragma once

// Reading the records of a metafile whose record list has already been walked: each record's
// parameters as a view that answers 0 for anything beyond its end, so that a record shorter
// than its kind needs is read safely, as if its missing parameters were zero.

#include "loading/LittleEndian.h"
#include "loading/MetafilePlayer.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>
#include <functional>

namespace tessivo {

class RecordParams {
public:
    explicit RecordParams(QByteArrayView bytes)
        : m_bytes(bytes)
    {
    }

    qsizetype size() const { return m_bytes.size(); }
    bool holds(qsizetype at, qsizetype count) const
    {
        return at >= 0 && count >= 0 && at <= m_bytes.size() && count <= m_bytes.size() - at;
    }
    template <typename T> T at(qsizetype offset) const
    {
        return holds(offset, qsizetype(sizeof(T))) ? readLe<T>(m_bytes, offset) : T(0);
    }
    float f32(qsizetype offset) const
    {
        const quint32 bits = at<quint32>(offset);
        float value;
        static_assert(sizeof value == sizeof bits);
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // Up to count bytes from offset: fewer where the record ends.
    QByteArrayView bytes(qsizetype offset, qsizetype count) const
    {
        if (offset < 0 || offset > m_bytes.size() || count < 0)
            return {};
        return m_bytes.sliced(offset, std::min(count, m_bytes.size() - offset));
    }
    QByteArrayView from(qsizetype offset) const { return bytes(offset, m_bytes.size()); }

private:
    QByteArrayView m_bytes;
};

// A transparent picture of the size with what play draws on it; none when the player refused
// the picture.
QImage PaintMetafile(QSize size, const MetafilePlayer::Setup& setup,
                     const std::function<void(MetafilePlayer&)>& play);

// Plays the records of a Windows metafile whose standard header starts at headerAt, up to the
// end record or a record the player refuses.
void PlayWmfRecords(QByteArrayView file, qsizetype headerAt, MetafilePlayer& player);
// Plays the records of an enhanced metafile of fileBytes bytes, likewise.
void PlayEmfRecords(QByteArrayView file, qsizetype fileBytes, MetafilePlayer& player);

} // namespace tessivo
