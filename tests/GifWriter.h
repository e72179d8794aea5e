#pragma once

// GIF files made by the tests: Qt reads GIF but does not write it. Every field a test may want
// to get wrong on purpose is the test's to set; the pixels are compressed with LZW as encoders do.

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QRgb>

#include <optional>
#include <unordered_map>

namespace tessivo::testing {

struct GifFrame {
    QRect rect;        // where the frame lies on the logical screen
    QByteArray pixels; // palette indices, row by row, rect.width() * rect.height()
    int delay = 10;    // hundredths of a second
    int disposal = 0;  // 0, 1 keep; 2 restore to background; 3 restore to previous
    int transparent = -1;
    bool interlaced = false;
    QList<QRgb> palette; // the frame's own; empty: the global one
};

struct Gif {
    QSize screen;
    QList<QRgb> palette; // the global one; 2 to 256 colours, a power of two
    int background = 0;
    std::optional<int> loops; // the loop extension's count; none: no loop extension
    QList<GifFrame> frames;
};

// A frame of one index over its whole rectangle.
inline GifFrame gifBlock(QRect rect, int index, int delay = 10, int disposal = 0)
{
    GifFrame frame;
    frame.rect = rect;
    frame.pixels = QByteArray(qsizetype(rect.width()) * rect.height(), char(index));
    frame.delay = delay;
    frame.disposal = disposal;
    return frame;
}

namespace gif {

inline QByteArray le16(int v)
{
    return QByteArray(1, char(v & 0xFF)) + char((v >> 8) & 0xFF);
}

inline int paletteBits(qsizetype colours)
{
    int bits = 1;
    while ((qsizetype(1) << bits) < colours)
        ++bits;
    return bits;
}

inline QByteArray paletteBytes(const QList<QRgb>& palette)
{
    QByteArray bytes;
    const qsizetype size = qsizetype(1) << paletteBits(palette.size());
    for (qsizetype i = 0; i < size; ++i) {
        const QRgb c = palette.value(i, 0);
        bytes += char(qRed(c));
        bytes += char(qGreen(c));
        bytes += char(qBlue(c));
    }
    return bytes;
}

// LZW as GIF encoders write it, in sub-blocks of 255 bytes; the table is cleared when full.
inline QByteArray compress(const QByteArray& pixels, int literalBits)
{
    const int clear = 1 << literalBits, end = clear + 1;
    QByteArray out;
    quint32 bits = 0;
    int count = 0;
    int codeBits = literalBits + 1;
    const auto write = [&](int code) {
        bits |= quint32(code) << count;
        for (count += codeBits; count >= 8; count -= 8, bits >>= 8)
            out += char(bits & 0xFF);
    };
    std::unordered_map<quint32, int> table;
    int next = clear + 2;       // the next code this side defines
    int readerNext = clear + 2; // and the one a reader defines, one code behind
    bool firstAfterClear = true;
    // A reader widens its codes once its table reaches the next power of two.
    const auto wrote = [&](int code) {
        write(code);
        if (!firstAfterClear && readerNext < 4096) {
            ++readerNext;
            if (readerNext == (1 << codeBits) && codeBits < 12)
                ++codeBits;
        }
        firstAfterClear = false;
    };
    write(clear);
    int current = -1;
    for (const char c : pixels) {
        const int k = quint8(c);
        if (current < 0) {
            current = k;
            continue;
        }
        const quint32 key = quint32(current) << 8 | quint32(k);
        if (const auto found = table.find(key); found != table.end()) {
            current = found->second;
            continue;
        }
        wrote(current);
        if (next < 4095) {
            table.emplace(key, next++);
        } else {
            write(clear);
            table.clear();
            next = readerNext = clear + 2;
            codeBits = literalBits + 1;
            firstAfterClear = true;
        }
        current = k;
    }
    if (current >= 0)
        wrote(current);
    write(end);
    if (count > 0)
        out += char(bits & 0xFF);
    QByteArray blocks;
    for (qsizetype at = 0; at < out.size(); at += 255) {
        const QByteArray block = out.mid(at, 255);
        blocks += char(block.size()) + block;
    }
    return blocks + '\0';
}

// Rows in the order an interlaced frame stores them.
inline QByteArray interlace(const QByteArray& pixels, int width, int height)
{
    QByteArray out;
    static constexpr int Start[] = {0, 4, 2, 1}, Step[] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass) {
        for (int y = Start[pass]; y < height; y += Step[pass])
            out += pixels.mid(qsizetype(y) * width, width);
    }
    return out;
}

} // namespace gif

inline QByteArray writeGif(const Gif& plan)
{
    using namespace gif;
    const int globalBits = paletteBits(plan.palette.size());
    QByteArray bytes = "GIF89a" + le16(plan.screen.width()) + le16(plan.screen.height());
    bytes += char(0x80 | (globalBits - 1));
    bytes += char(plan.background);
    bytes += '\0';
    bytes += paletteBytes(plan.palette);
    if (plan.loops)
        bytes += QByteArray("\x21\xFF\x0BNETSCAPE2.0\x03\x01", 16) + le16(*plan.loops) + '\0';
    for (const GifFrame& frame : plan.frames) {
        const int packed = (frame.disposal << 2) | (frame.transparent >= 0 ? 1 : 0);
        bytes += QByteArray("\x21\xF9\x04", 3) + char(packed) + le16(frame.delay) +
                 char(std::max(frame.transparent, 0)) + '\0';
        const bool local = !frame.palette.isEmpty();
        const int bits = local ? paletteBits(frame.palette.size()) : globalBits;
        bytes += '\x2C' + le16(frame.rect.x()) + le16(frame.rect.y()) + le16(frame.rect.width()) +
                 le16(frame.rect.height());
        bytes += char((local ? 0x80 | (bits - 1) : 0) | (frame.interlaced ? 0x40 : 0));
        if (local)
            bytes += paletteBytes(frame.palette);
        const int literalBits = std::max(2, bits);
        bytes += char(literalBits);
        bytes += compress(frame.interlaced
                              ? interlace(frame.pixels, frame.rect.width(), frame.rect.height())
                              : frame.pixels,
                          literalBits);
    }
    return bytes + ';';
}

} // namespace tessivo::testing
