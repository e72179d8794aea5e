#pragma once

// Reading the records of a metafile whose record list has already been walked: each record's
// parameters as a view that answers 0 for anything beyond its end, so that a record shorter
// than its kind needs is read safely, as if its missing parameters were zero.

#include "loading/LittleEndian.h"
#include "metafile/MetafilePlayer.h"

#include <QByteArrayView>

#include <algorithm>
#include <cstring>
#include <functional>
#include <vector>

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

// The fields of a font record, which both kinds of metafile keep in the same order: numbers of
// type Int, at the offsets At gives. The face, whose encoding differs, is left to the caller.
template <typename Int, typename At> MetafileFont FontFields(const RecordParams& p)
{
    MetafileFont f;
    f.height = p.at<Int>(At::Height);
    f.width = p.at<Int>(At::Width);
    f.escapement = p.at<Int>(At::Escapement);
    f.weight = p.at<Int>(At::Weight);
    f.italic = p.at<quint8>(At::Italic) != 0;
    f.underline = p.at<quint8>(At::Underline) != 0;
    f.strikeOut = p.at<quint8>(At::StrikeOut) != 0;
    f.charset = p.at<quint8>(At::Charset);
    return f;
}

// A brush that fills with a bitmap's pattern.
inline MetafileObject PatternBrushObject(QImage pattern)
{
    MetafileObject o;
    o.kind = MetafileObject::Brush;
    o.brush.style = BsDibPattern;
    o.brush.color = Qt::black;
    o.brush.pattern = std::move(pattern);
    return o;
}

// The objects a metafile's records make (pens, brushes, fonts, regions), each in a place of a
// table by which later records select and delete it. The table holds 65536 places at most.
class MetafileObjects {
public:
    // As many empty places as the file's header asks for.
    explicit MetafileObjects(std::size_t places) { m_objects.resize(std::min(places, Most)); }

    // In the first empty place, as a Windows metafile's records make them.
    void add(MetafileObject object)
    {
        for (MetafileObject& place : m_objects) {
            if (place.kind == MetafileObject::Empty) {
                place = std::move(object);
                return;
            }
        }
        if (m_objects.size() < Most)
            m_objects.push_back(std::move(object));
    }
    // In the place an enhanced metafile's record names.
    void put(std::size_t index, MetafileObject object)
    {
        if (index >= Most)
            return;
        if (index >= m_objects.size())
            m_objects.resize(index + 1);
        m_objects[index] = std::move(object);
    }
    // None for a place beyond the table.
    const MetafileObject* at(std::size_t index) const
    {
        return index < m_objects.size() ? &m_objects[index] : nullptr;
    }
    void remove(std::size_t index)
    {
        if (index < m_objects.size())
            m_objects[index] = MetafileObject();
    }

private:
    static constexpr std::size_t Most = 65536;
    std::vector<MetafileObject> m_objects;
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
