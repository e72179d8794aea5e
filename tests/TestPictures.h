#pragma once

// Pictures made by the tests themselves.

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QtGlobal>

namespace tessivo::testing {

// A picture's bytes in one of the formats Qt writes ("PNG", "BMP", "JPEG", "ICO" ...).
inline QByteArray encode(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format))
        qFatal("cannot encode %s", format);
    return bytes;
}

// Writes bytes to a file in a folder and gives its path.
inline QString writeFile(const QDir& folder, const QString& name, const QByteArray& bytes)
{
    const QString path = folder.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// A PNG whose header announces another size than its pixels have, the header's checksum made to
// match: a reader takes the size from the header and finds out only when it decodes.
inline QByteArray pngClaiming(QByteArray png, quint32 width, quint32 height)
{
    const auto put = [&png](qsizetype at, quint32 value) {
        for (int i = 0; i < 4; ++i)
            png[at + 3 - i] = char(value >> (8 * i));
    };
    constexpr qsizetype WidthAt = 16, HeightAt = 20, ChunkAt = 12, ChunkBytes = 17, CrcAt = 29;
    put(WidthAt, width);
    put(HeightAt, height);
    quint32 crc = 0xFFFFFFFF;
    for (const char c : png.mid(ChunkAt, ChunkBytes)) { // chunk type and data
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    put(CrcAt, ~crc);
    return png;
}

} // namespace tessivo::testing
