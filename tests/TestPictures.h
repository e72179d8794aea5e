#pragma once

// Pictures made by the tests themselves.

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QList>
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

// An animated WebP of the frames given (all of one size, without alpha), each frame's data taken
// from the still WebP that Qt writes of it: Qt reads such files but writes no animation. The
// canvas the header announces is the frames' size unless another is given.
inline QByteArray animatedWebp(const QList<QImage>& frames, QSize canvas = {})
{
    const auto le = [](quint32 value, int bytes) {
        QByteArray b;
        for (int i = 0; i < bytes; ++i)
            b += char((value >> (8 * i)) & 0xFF);
        return b;
    };
    const auto chunk = [&le](const char* fourcc, const QByteArray& data) {
        QByteArray c = QByteArray(fourcc, 4) + le(quint32(data.size()), 4) + data;
        if (data.size() % 2)
            c += '\0';
        return c;
    };
    const auto areaOf = [&le](QSize size) {
        return le(quint32(size.width() - 1), 3) + le(quint32(size.height() - 1), 3);
    };
    const QByteArray area = areaOf(frames.first().size());
    const char animationFlag = 0x02;
    QByteArray body = "WEBP";
    body += chunk("VP8X", QByteArray(1, animationFlag) + QByteArray(3, '\0') +
                              (canvas.isEmpty() ? area : areaOf(canvas)));
    body += chunk("ANIM", QByteArray(6, '\0')); // background colour, loop for ever
    for (const QImage& frame : frames) {
        // A still file is "RIFF", its size, "WEBP", then the image chunk.
        const QByteArray image =
            encode(frame.convertToFormat(QImage::Format_RGB32), "WEBP").mid(12);
        const QByteArray placement = le(0, 3) + le(0, 3) + area + le(100, 3) + QByteArray(1, '\0');
        body += chunk("ANMF", placement + image);
    }
    return "RIFF" + le(quint32(body.size()), 4) + body;
}

// A TIFF header of one grey strip that announces the size given; the pixels are not all there.
inline QByteArray tiffClaiming(quint32 width, quint32 height)
{
    QByteArray bytes("II*\0", 4);
    const auto le = [&bytes](quint32 value, int count) {
        for (int i = 0; i < count; ++i)
            bytes += char((value >> (8 * i)) & 0xFF);
    };
    le(8, 4); // the directory follows the header
    const quint16 Short = 3, Long = 4;
    const struct {
        quint16 tag, type;
        quint32 value;
    } entries[] = {{256, Long, width}, {257, Long, height}, {258, Short, 8},     {259, Short, 1},
                   {262, Short, 1},    {273, Long, 128},    {278, Long, height}, {279, Long, 64}};
    le(std::size(entries), 2);
    for (const auto& e : entries) {
        le(e.tag, 2);
        le(e.type, 2);
        le(1, 4);
        le(e.value, 4);
    }
    le(0, 4);
    bytes.append(QByteArray(128 + 64 - bytes.size(), '\x80'));
    return bytes;
}

} // namespace tessivo::testing
