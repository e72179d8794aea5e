// Bitmaps of the metafile players: device-independent bitmaps read into images, and placed with
// the common raster operations.

#include "loading/DibHeader.h"
#include "loading/LittleEndian.h"
#include "loading/Metafile.h"
#include "metafile/MetafilePlayer.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace tessivo {

namespace {

constexpr qsizetype ColorsUsedAt = 32;
constexpr qsizetype BitFieldMasksBytes = 12;
constexpr qsizetype CoreColorBytes = 3;
constexpr qsizetype InfoColorBytes = 4;

// Raster operations: how source, destination and brush combine.
constexpr quint32 RopSrcInvert = 0x00660046;
constexpr quint32 RopSrcErase = 0x00440328;
constexpr quint32 RopNotSrcCopy = 0x00330008;
constexpr quint32 RopNotSrcErase = 0x001100A6;
constexpr quint32 RopMergePaint = 0x00BB0226;
constexpr quint32 RopPatCopy = 0x00F00021;
constexpr quint32 RopPatInvert = 0x005A0049;
constexpr quint32 RopDstInvert = 0x00550009;
constexpr quint32 RopBlackness = 0x00000042;
constexpr quint32 RopWhiteness = 0x00FF0062;

// The size of the colour table that follows a header.
qsizetype colorTableBytes(const DibHeader& dib, QByteArrayView info)
{
    const bool core = dib.headerBytes == DibCoreHeaderBytes;
    qint64 entries = 0;
    if (!core && info.size() >= ColorsUsedAt + 4)
        entries = readLe<quint32>(info, ColorsUsedAt);
    if (dib.bitsPerPixel <= 8) {
        const qint64 most = qint64(1) << dib.bitsPerPixel;
        entries = entries == 0 ? most : std::min(entries, most);
    } else if (entries > 256) {
        entries = 0;
    }
    qsizetype bytes = qsizetype(entries) * (core ? CoreColorBytes : InfoColorBytes);
    if (dib.headerBytes == DibInfoHeaderBytes && dib.compression == DibBitFields)
        bytes += BitFieldMasksBytes;
    return bytes;
}

// 32-bit rows whose fourth byte is alpha, premultiplied, as images made for blending carry them.
QImage premultipliedBitmap(const DibHeader& dib, bool topDown, QByteArrayView bits)
{
    QImage image(int(dib.width), int(dib.height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    const qsizetype rowBytes = qsizetype(dib.width) * 4;
    for (int y = 0; y < image.height(); ++y) {
        const int row = topDown ? y : image.height() - 1 - y;
        auto* out = reinterpret_cast<QRgb*>(image.scanLine(row));
        const qsizetype at = qsizetype(y) * rowBytes;
        for (int x = 0; x < image.width(); ++x) {
            const quint32 p = readLe<quint32>(bits, at + qsizetype(x) * 4);
            const uint a = p >> 24;
            // Colour above alpha is not premultiplied: taken as opaque colour at that alpha.
            const uint r = std::min<uint>((p >> 16) & 0xFF, a);
            const uint g = std::min<uint>((p >> 8) & 0xFF, a);
            const uint b = std::min<uint>(p & 0xFF, a);
            out[x] = qRgba(int(r), int(g), int(b), int(a));
        }
    }
    return image;
}

// A bitmap placed upright lies on whole pixels, its corners rounded to the nearest, as Windows
// places it (and LibreOffice draws it): drawn where its fractional corners fall, its edges
// would be partly covered pixels and its own pixels' borders would fall between the page's.
QTransform onWholePixels(const QTransform& toImage, QSize bitmap)
{
    if (toImage.type() > QTransform::TxScale)
        return toImage;
    const QRectF exact = toImage.mapRect(QRectF(QPointF(0, 0), QSizeF(bitmap)));
    const QPointF topLeft(std::round(exact.left()), std::round(exact.top()));
    const QPointF bottomRight(std::round(exact.right()), std::round(exact.bottom()));
    if (topLeft.x() == bottomRight.x() || topLeft.y() == bottomRight.y())
        return toImage;
    // Mirrored placements keep their direction.
    const bool flipX = toImage.m11() < 0, flipY = toImage.m22() < 0;
    const double sx = (bottomRight.x() - topLeft.x()) / bitmap.width();
    const double sy = (bottomRight.y() - topLeft.y()) / bitmap.height();
    return QTransform(flipX ? -sx : sx, 0, 0, flipY ? -sy : sy,
                      flipX ? bottomRight.x() : topLeft.x(), flipY ? bottomRight.y() : topLeft.y());
}

} // namespace

bool MetafileBitmapReadable(const DibHeader& dib)
{
    if (dib.width <= 0 || dib.height <= 0 || dib.width > MaxMetafileSide ||
        dib.height > MaxMetafileSide)
        return false;
    switch (dib.bitsPerPixel) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return false;
    }
    if (dib.compression == DibRle8 || dib.compression == DibRle4)
        return dib.bitsPerPixel == (dib.compression == DibRle8 ? 8 : 4);
    return dib.compression == DibRgb || dib.compression == DibBitFields;
}

QImage MetafileBitmap(QByteArrayView info, QByteArrayView bits, bool alpha)
{
    const std::optional<DibHeader> dib = ReadDibHeader(info);
    if (!dib || !MetafileBitmapReadable(*dib) || dib->width * dib->height > MaxMetafilePixels)
        return {};
    const bool rle = dib->compression == DibRle8 || dib->compression == DibRle4;
    const qsizetype headerBytes =
        dib->headerBytes == DibCoreHeaderBytes ? DibCoreHeaderBytes : qsizetype(dib->headerBytes);
    if (headerBytes > info.size())
        return {};
    if (bits.isEmpty()) {
        // Rows right after the colour table.
        const qsizetype table = colorTableBytes(*dib, info);
        if (headerBytes + table > info.size())
            return {};
        bits = info.sliced(headerBytes + table);
        info = info.first(headerBytes + table);
    }
    if (!rle && !DibRowsFit(*dib, bits.size()))
        return {};
    const bool topDown = dib->topDown;
    if (alpha && dib->bitsPerPixel == 32 && dib->compression == DibRgb)
        return premultipliedBitmap(*dib, topDown, bits);

    // Otherwise as a bitmap file, which Qt's reader knows in all these forms.
    QByteArray file;
    file.reserve(BmpFileHeaderBytes + info.size() + bits.size());
    const auto word = [&](quint32 v) {
        for (int i = 0; i < 4; ++i)
            file += char((v >> (8 * i)) & 0xFF);
    };
    file += "BM";
    word(quint32(BmpFileHeaderBytes + info.size() + bits.size()));
    word(0);
    word(quint32(BmpFileHeaderBytes + info.size()));
    file += QByteArray(info.data(), info.size());
    file += QByteArray(bits.data(), bits.size());
    return QImage::fromData(file, "BMP");
}

QImage MaskedBitmap(const QImage& picture, const QImage& mask)
{
    QImage masked = picture.convertToFormat(QImage::Format_ARGB32);
    const QImage opacity = mask.convertToFormat(QImage::Format_Grayscale8);
    if (masked.isNull() || opacity.size() != masked.size())
        return masked;
    for (int y = 0; y < masked.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
        const uchar* level = opacity.constScanLine(y);
        for (int x = 0; x < masked.width(); ++x)
            line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), level[x]);
    }
    return masked;
}

void MaskedBitmaps::draw(const QImage& bitmap, const QRectF& source, const QRectF& destination,
                         quint32 rop)
{
    if (m_mask && rop == RopSrcAnd && destination == m_mask->destination &&
        source == m_mask->source && bitmap.size() == m_mask->bitmap.size()) {
        m_player.drawBitmap(MaskedBitmap(bitmap, m_mask->bitmap), source, destination, RopSrcCopy);
        m_mask.reset();
        return;
    }
    flush();
    if (rop == RopSrcPaint) {
        m_mask = Mask{bitmap, source, destination};
        return;
    }
    m_player.drawBitmap(bitmap, source, destination, rop);
}

void MaskedBitmaps::flush()
{
    if (!m_mask)
        return;
    m_player.drawBitmap(m_mask->bitmap, m_mask->source, m_mask->destination, RopSrcPaint);
    m_mask.reset();
}

void MetafilePlayer::drawBitmap(const QImage& bitmap, const QRectF& source,
                                const QRectF& destination, quint32 rop)
{
    if (m_repeatFill)
        return;
    if (bitmap.isNull() || destination.width() == 0 || destination.height() == 0)
        return;
    // Cut to the bitmap before rounding: a file can give any numbers.
    const QRect part =
        (source.normalized() & QRectF(bitmap.rect())).toRect().intersected(bitmap.rect());
    if (part.isEmpty())
        return;
    const QImage shown = part == bitmap.rect() ? bitmap : bitmap.copy(part);
    const QTransform placement(destination.width() / shown.width(), 0, 0,
                               destination.height() / shown.height(), destination.x(),
                               destination.y());
    const QTransform toImage = onWholePixels(placement * logicalToImage(), shown.size());
    if (!m_painter) {
        note(toImage.mapRect(QRectF(shown.rect())));
        return;
    }
    QImage drawn = shown;
    QPainter::CompositionMode mode = QPainter::CompositionMode_SourceOver;
    switch (rop) {
    case RopSrcAnd: mode = QPainter::RasterOp_SourceAndDestination; break;
    case RopSrcPaint: mode = QPainter::RasterOp_SourceOrDestination; break;
    case RopSrcInvert: mode = QPainter::RasterOp_SourceXorDestination; break;
    case RopSrcErase: mode = QPainter::RasterOp_SourceAndNotDestination; break;
    case RopNotSrcErase: mode = QPainter::RasterOp_NotSourceAndNotDestination; break;
    case RopMergePaint: mode = QPainter::RasterOp_NotSourceOrDestination; break;
    case RopNotSrcCopy: drawn.invertPixels(); break;
    case RopPatCopy:
    case RopPatInvert:
    case RopDstInvert:
    case RopBlackness:
    case RopWhiteness: patternBlt(destination, rop); return;
    case RopSrcCopy:
    default: break; // the rarer ones as a copy
    }
    if (mode != QPainter::CompositionMode_SourceOver && drawn.hasAlphaChannel())
        drawn = drawn.convertToFormat(QImage::Format_RGB32);
    m_painter->setTransform(toImage);
    combine(mode, toImage.mapRect(QRectF(drawn.rect())),
            [&] { m_painter->drawImage(QPointF(0, 0), drawn); });
}

void MetafilePlayer::patternBlt(const QRectF& destination, quint32 rop)
{
    if (m_repeatFill)
        return;
    QPainterPath area;
    area.addRect(destination.normalized());
    MetafileBrush fill;
    switch (rop) {
    case RopPatCopy: fillPlain(area, m_dc.brush); return;
    case RopBlackness: fill.color = Qt::black; break;
    case RopWhiteness: fill.color = Qt::white; break;
    case RopDstInvert:
    case RopPatInvert:
        if (m_painter) {
            const QTransform toImage = logicalToImage();
            m_painter->setTransform(toImage);
            combine(rop == RopDstInvert ? QPainter::RasterOp_NotDestination
                                        : QPainter::RasterOp_SourceXorDestination,
                    toImage.mapRect(area.boundingRect()),
                    [&] { m_painter->fillPath(area, m_dc.brush.color); });
        }
        return;
    default: return; // leaves the destination as it is
    }
    fillPlain(area, fill);
}

} // namespace tessivo
