#include "loading/PictureDecoder.h"

#include "engine/FreshMemory.h"
#include "engine/Rounding.h"
#include "engine/Twips.h"
#include "loading/DibHeader.h"
#include "loading/LittleEndian.h"
#include "loading/Metafile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <algorithm>
#include <optional>

namespace tessivo {

namespace {

// The formats the chooser offers, and PNG. Qt reads more than these (SVG among them, where a few
// bytes can cost seconds and gigabytes), so a file in any other format is refused, whatever its
// name says.
bool offeredFormat(const QByteArray& format)
{
    static const QByteArray offered[] = {"bmp", "dib", "gif", "jpeg", "jpg", "png", "ico", "cur"};
    return std::find(std::begin(offered), std::end(offered), format) != std::end(offered);
}

// Enough leading bytes for the metafile marks, a bitmap's headers up to its compression, and the
// markers a vector-graphics reader looks for.
constexpr int HeadBytes = std::max(MetafileSniffBytes, 64);

// The JPEG reader fills the image it is given when that has the size and format it decodes to;
// one made here is prepared for writing in one call rather than a trap per page. Nothing is made
// beyond the reader's own allocation limit: the reader refuses such a picture itself.
void PrepareTarget(const QImageReader& reader, QSize size, QImage& image)
{
    const QImage::Format format = reader.imageFormat();
    if (format == QImage::Format_Invalid || size.isEmpty())
        return;
    const qint64 bytes = qint64(size.width()) * size.height() * 4;
    if (bytes > qint64(QImageReader::allocationLimit()) * 1024 * 1024)
        return;
    image = QImage(size, format);
    if (!image.isNull())
        PrepareForWriting(image.bits(), std::size_t(image.sizeInBytes()));
}

// A bitmap file starts with a file header: "BM", the file's size, and where its pixels start.
// The bitmap's own header follows.
constexpr qsizetype BmpFileHeaderBytes = 14;
constexpr qsizetype BmpPixelsAt = 10;

// Whether a bitmap file holds every row its header announces. Qt reads an uncompressed bitmap
// that is cut short as if it were whole, leaving the rows it could not read as they happened to
// be in memory; such a file is refused instead. Compressed and malformed headers are left to Qt.
bool bitmapIsWhole(const QByteArray& head, qint64 fileSize)
{
    if (head.size() < BmpFileHeaderBytes)
        return true;
    const std::optional<DibHeader> dib =
        ReadDibHeader(QByteArrayView(head).sliced(BmpFileHeaderBytes));
    if (!dib)
        return true;
    if (dib->compression != DibRgb && dib->compression != DibBitFields &&
        dib->compression != DibAlphaBitFields)
        return true;
    constexpr int MaxBitsPerPixel = 32;
    if (dib->width <= 0 || dib->bitsPerPixel == 0 || dib->bitsPerPixel > MaxBitsPerPixel)
        return true;
    // The pixels start at the offset the file header gives, and never before the end of the
    // headers.
    const qint64 start =
        std::max<qint64>(readLe<quint32>(head, BmpPixelsAt), BmpFileHeaderBytes + dib->headerBytes);
    return DibRowsFit(*dib, fileSize - start);
}

// Reads from a device opened at its start. path is where the bytes can be read again, empty when
// they came from a pipe and are in piped.
ReducedPicture decode(QIODevice& device, const QString& path, const QByteArray& piped,
                      const std::function<float(QSize)>& divisor)
{
    ReducedPicture result;
    const QByteArray head = device.peek(HeadBytes);
    if (SniffMetafile(head) != MetafileKind::None) {
        if (device.size() > MaxMetafileBytes)
            return {};
        result.image = path.isEmpty() ? DecodeMetafileData(piped) : DecodeMetafileFile(path);
        result.naturalSize = result.image.size();
        return result;
    }

    QImageReader reader(&device);
    // The content decides: a .dib is a bitmap, and a picture saved under the wrong extension
    // still reads as what it is. Where the start of the file already tells the format, only that
    // format's reader is loaded.
    if (const QByteArray known = PictureFormatByContent(head); !known.isEmpty())
        reader.setFormat(known);
    else
        reader.setDecideFormatFromContent(true);
    // Pictures are shown as stored, without turning them by their orientation tag.
    reader.setAutoTransform(false);
    const QByteArray format = reader.format();
    if (!offeredFormat(format))
        return {};
    if (format == "bmp" && !bitmapIsWhole(head, device.size()))
        return {};
    const QSize natural = reader.size();
    if (natural.isValid() && format == "jpeg") {
        QSize decoded = natural;
        const float d = divisor(natural);
        if (d > 1) {
            const QSize reduced = ReducedSize(natural, d);
            if (!reduced.isEmpty()) {
                reader.setScaledSize(reduced);
                result.reduced = true;
                decoded = reduced;
            }
        }
        PrepareTarget(reader, decoded, result.image);
    }
    // A damaged file may leave a partly decoded image behind; it counts as unreadable.
    if (!reader.read(&result.image))
        return {};
    result.naturalSize = result.reduced ? natural : result.image.size();
    if (result.reduced && path.isEmpty())
        result.source = piped;
    return result;
}

ReducedPicture decodeData(const QByteArray& bytes, const std::function<float(QSize)>& divisor)
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    return decode(buffer, {}, bytes, divisor);
}

float naturalSize(QSize)
{
    return 1;
}

} // namespace

QByteArray PictureFormatByContent(const QByteArray& head)
{
    // A reader that decides by content asks every format plugin in turn, loading each one, and
    // a vector-graphics plugin would claim a file whose start shows its markers. Only where no
    // earlier reader could claim the file is the answer given here.
    for (const char* marker : {"<?xml", "<svg", "<!--", "<!DOCTYPE svg"}) {
        if (head.contains(marker))
            return {};
    }
    if (head.startsWith("\xFF\xD8\xFF"))
        return "jpeg";
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a"))
        return "gif";
    if (head.startsWith("\x89PNG\r\n\x1A\n"))
        return "png";
    if (head.startsWith("BM"))
        return "bmp";
    return {};
}

QImage DecodePicture(const QString& path)
{
    return DecodePictureReduced(path, naturalSize).image;
}

QImage DecodePictureData(const QByteArray& bytes)
{
    return decodeData(bytes, naturalSize).image;
}

QSize ReducedSize(QSize natural, float divisor)
{
    // The same arithmetic as drawing natural / divisor twips onto the Canvas: the holder's size
    // is single precision, the Canvas rounds twips to pixels. Were the two to differ, a picture
    // drawn at this size would be scaled a second time.
    const auto side = [divisor](int pixels) {
        return TwipsToPixels(double(float(pixels) * float(TwipsPerPixel) / divisor));
    };
    return QSize(side(natural.width()), side(natural.height()));
}

ReducedPicture DecodePictureReduced(const QString& path, const std::function<float(QSize)>& divisor)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (!file.isSequential())
        return decode(file, path, {}, divisor);
    // A pipe is read once, whole: telling its format consumes its start. One byte more than
    // allowed tells one that is too large.
    const QByteArray bytes = file.read(MaxPipedPictureBytes + 1);
    if (bytes.size() > MaxPipedPictureBytes)
        return {};
    return decodeData(bytes, divisor);
}

} // namespace tessivo
