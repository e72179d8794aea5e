#pragma once

#include <QByteArrayView>
#include <QtEndian>

namespace tessivo {

// A little-endian number at offset in bytes, which the caller has checked holds all of it.
template <typename T> T readLe(QByteArrayView bytes, qsizetype offset)
{
    return qFromLittleEndian<T>(bytes.data() + offset);
}

} // namespace tessivo
