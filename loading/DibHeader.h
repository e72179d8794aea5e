#pragma once

#include <QByteArrayView>

#include <optional>

namespace tessivo {

// The header of a device-independent bitmap: what follows the file header of a .bmp file, and
// what starts each bitmap a Windows metafile carries in its records. Only the fields the loaders
// check are read.

// A bitmap file starts with a file header ("BM", the file's size, where its pixels start); a
// metafile's bitmaps carry none.
constexpr qsizetype BmpFileHeaderBytes = 14;

// The old header has 16-bit sizes and no compression; the newer ones (40 bytes, and longer
// versions of it) start with the same fields at 32 bits.
constexpr quint32 DibCoreHeaderBytes = 12;
constexpr quint32 DibInfoHeaderBytes = 40;

// How the pixels are stored: the newer headers' compression field.
constexpr quint32 DibRgb = 0;
constexpr quint32 DibRle8 = 1;
constexpr quint32 DibRle4 = 2;
constexpr quint32 DibBitFields = 3;
constexpr quint32 DibAlphaBitFields = 6;

struct DibHeader {
    quint32 headerBytes = 0; // the header's own size, as it states it
    qint64 width = 0;        // pixels: zero or negative in a damaged header
    qint64 height = 0;       // rows, whichever way they run
    bool topDown = false;    // the first row is the top one (a negative height in the file)
    quint16 bitsPerPixel = 0;
    quint32 compression = DibRgb;
};

// Reads the header at the start of bytes. Empty when the header's size is neither the old one
// nor at least the newer one's, or when bytes end before the fields read here.
std::optional<DibHeader> ReadDibHeader(QByteArrayView bytes);

// Whether available bytes hold every row of uncompressed pixels the header announces, each row
// padded to whole 32-bit words as a bitmap stores it. Negative available bytes hold nothing.
bool DibRowsFit(const DibHeader& header, qint64 available);

} // namespace tessivo
