#include "loading/PictureDecoder.h"

#include "engine/FreshMemory.h"
#include "engine/Rounding.h"
#include "engine/Twips.h"
#include "loading/DecoderMessages.h"
#include "loading/DibHeader.h"
#include "loading/LittleEndian.h"
#include "loading/MappedFile.h"
#include "loading/Metafile.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <optional>

namespace tessivo {

namespace {

constexpr qint64 MiB = qint64(1024) * 1024;
constexpr qint64 MostPictureMemory = 1024 * MiB;
// The share of the machine's physical memory one picture may take: a quarter.
constexpr qint64 PhysicalMemoryShare = 4;

// 1 GiB, or a quarter of the physical memory where that is less, in whole MiB.
qint64 machinePictureLimit()
{
    qint64 limit = MostPictureMemory;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageBytes = sysconf(_SC_PAGESIZE);
    if (pages > 0 && pageBytes > 0)
        limit = std::min(limit, qint64(pages) * pageBytes / PhysicalMemoryShare);
    return std::max<qint64>(limit / MiB, 1) * MiB;
}

std::atomic<qint64>& pictureLimit()
{
    static std::atomic<qint64> limit{machinePictureLimit()};
    return limit;
}

std::atomic<qint64>& pipeLimit()
{
    static std::atomic<qint64> limit{MaxPipedPictureBytes};
    return limit;
}

// Lowers a limit, never raising it, against other threads doing the same.
void lower(std::atomic<qint64>& limit, qint64 to)
{
    qint64 current = limit.load();
    while (to < current && !limit.compare_exchange_weak(current, to)) {
    }
}

// The budget a SharedPictureMemory turns on.
class MemoryBudget {
public:
    void share(bool on)
    {
        const std::lock_guard hold(m_lock);
        m_shared += on ? 1 : -1;
    }

    // Takes bytes from the budget for as long as the result lives; nothing while none is shared.
    std::shared_ptr<const void> take(qint64 bytes)
    {
        std::unique_lock hold(m_lock);
        if (m_shared == 0)
            return {};
        bytes = std::clamp<qint64>(bytes, 0, PictureMemoryLimit());
        m_returned.wait(hold, [&] { return m_used + bytes <= PictureMemoryLimit(); });
        m_used += bytes;
        return std::shared_ptr<const void>(nullptr, [this, bytes](const void*) {
            {
                const std::lock_guard again(m_lock);
                m_used -= bytes;
            }
            m_returned.notify_all();
        });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_returned;
    int m_shared = 0;
    qint64 m_used = 0;
};

MemoryBudget& memoryBudget()
{
    static MemoryBudget budget;
    return budget;
}

// Qt's own check, which refuses any image over its allocation limit as it is made, is the
// backstop for what a header does not tell: it is held to the same limit.
// The limit is Qt's one global; conversions run in several threads at once, so the check and
// the change are made under a lock. Every decode passes here first, so the change happens
// before any reader that runs under the new limit.
void holdReaderToLimit()
{
    static std::mutex lock;
    const std::lock_guard hold(lock);
    const int mib = int(PictureMemoryLimit() / MiB);
    if (QImageReader::allocationLimit() != mib)
        QImageReader::setAllocationLimit(mib);
}

// The memory a picture takes decoded and drawn: four bytes a pixel, as the Canvas draws it,
// or more where the reader's format has more (a 16-bit PNG).
qint64 decodedBytes(QSize size, QImage::Format format)
{
    constexpr int DrawnBitsPerPixel = 32;
    const int bits =
        format == QImage::Format_Invalid
            ? DrawnBitsPerPixel
            : std::max<int>(DrawnBitsPerPixel, QImage::toPixelFormat(format).bitsPerPixel());
    return qint64(size.width()) * size.height() * (bits / 8);
}

ReducedPicture refusedAsTooLarge(const QString& why = {})
{
    ReducedPicture refused;
    refused.tooLarge = true;
    refused.failure = why;
    return refused;
}

ReducedPicture refusedAsIncomplete(const QString& why)
{
    ReducedPicture refused;
    refused.incomplete = true;
    refused.failure = why;
    return refused;
}

// A decode the decoder had something to say about: refused when the picture did not read, or
// read only in part, for what the decoder said; nothing where it lost nothing of the picture.
std::optional<ReducedPicture> refusedFor(const QStringList& messages, bool read)
{
    for (const QString& message : messages) {
        switch (VerdictOf(message)) {
        case DecoderVerdict::CutShort:
        case DecoderVerdict::Damaged: return refusedAsIncomplete(ProgramWordsFor(message));
        case DecoderVerdict::OverMemory: return refusedAsTooLarge();
        case DecoderVerdict::Note: break;
        }
    }
    if (read)
        return std::nullopt;
    ReducedPicture refused;
    if (!messages.isEmpty())
        refused.failure = ProgramWordsFor(messages.constFirst());
    return refused;
}

// The formats the chooser offers, and PNG. Qt reads more than these (SVG among them, where a few
// bytes can cost seconds and gigabytes), so a file in any other format is refused, whatever its
// name says.
bool offeredFormat(const QByteArray& format)
{
    static const QByteArray offered[] = {"bmp", "dib", "gif",  "jpeg", "jpg", "png",
                                         "ico", "cur", "webp", "tiff", "tif"};
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

// The size the JPEG reader decodes a picture to when asked for it scaled: libjpeg's own scaling
// by M / 8 (M from 1 to 8), the smallest that is not below the size asked for; the reader then
// scales that down to the size asked for.
QSize JpegDecodedSize(QSize natural, QSize scaled)
{
    constexpr int Eighths = 8;
    const double f = std::min(double(natural.width()) / scaled.width(),
                              double(natural.height()) / scaled.height());
    const int m = std::clamp(int(std::ceil(Eighths / f)), 1, Eighths);
    const auto side = [m](int pixels) { return int((qint64(pixels) * m + Eighths - 1) / Eighths); };
    return {side(natural.width()), side(natural.height())};
}

// Where a bitmap file's pixels start, in its file header (BmpFileHeaderBytes).
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

// Whether a bitmap's header announces more pixels than the limit allows. The image reader gives
// no size at all for a header beyond what it would ever read, so the header is read here.
bool bitmapAnnouncesTooMuch(const QByteArray& head)
{
    if (head.size() < BmpFileHeaderBytes)
        return false;
    const std::optional<DibHeader> dib =
        ReadDibHeader(QByteArrayView(head).sliced(BmpFileHeaderBytes));
    if (!dib || dib->width <= 0 || dib->height == 0)
        return false;
    constexpr qint64 DrawnBytesPerPixel = 4;
    const qint64 pixels = PictureMemoryLimit() / DrawnBytesPerPixel;
    // The header's rows, whichever way they run (a top-down bitmap states them negative).
    return dib->width > pixels || dib->height > pixels / dib->width;
}

// An extended WebP states its canvas in 24 bits a side, far beyond what its reader takes; the
// reader then tells no size at all, so the header is read here.
bool webpAnnouncesTooMuch(const QByteArray& head)
{
    constexpr qsizetype ChunkAt = 12, CanvasAt = 24, CanvasBytes = 6;
    if (head.size() < CanvasAt + CanvasBytes || head.mid(ChunkAt, 4) != "VP8X")
        return false;
    const auto side = [&head](qsizetype at) {
        const auto byte = [&](qsizetype i) { return qint64(quint8(head[at + i])); };
        return (byte(0) | byte(1) << 8 | byte(2) << 16) + 1;
    };
    constexpr qint64 DrawnBytesPerPixel = 4;
    return side(CanvasAt) * side(CanvasAt + 3) * DrawnBytesPerPixel > PictureMemoryLimit();
}

// Whether a picture's header announces more than the limit allows.
bool announcesTooMuch(QImageReader& reader, const QByteArray& format, const QByteArray& head)
{
    const QSize natural = reader.size();
    if (natural.isValid())
        return decodedBytes(natural, reader.imageFormat()) > PictureMemoryLimit();
    return (format == "bmp" && bitmapAnnouncesTooMuch(head)) ||
           (format == "webp" && webpAnnouncesTooMuch(head));
}

// Reads from a device opened at its start: either the file at path, or, with path empty, bytes
// already in memory, which a picture decoded reduced keeps.
ReducedPicture decode(QIODevice& device, const QString& path, const QByteArray& bytes,
                      const std::function<float(QSize)>& divisor, QSize cropTo = {},
                      const QImage& into = {})
{
    ReducedPicture result;
    const QByteArray head = device.peek(HeadBytes);
    if (SniffMetafile(head) != MetafileKind::None) {
        if (device.size() > MaxMetafileBytes)
            return refusedAsTooLarge();
        result.image = path.isEmpty() ? DecodeMetafileData(bytes, &result.failure)
                                      : DecodeMetafileFile(path, &result.failure);
        result.naturalSize = result.image.size();
        return result;
    }

    holdReaderToLimit();
    const DecoderMessages messages;
    QImageReader reader(&device);
    // The content decides: a .dib is a bitmap, and a picture saved under the wrong extension
    // still reads as what it is. Where the start of the file already tells the format, only that
    // format's reader is loaded.
    if (const QByteArray known = PictureFormatByContent(head); !known.isEmpty()) {
        // With detection left on, the reader offers the format to every plugin in turn, loading
        // each one (and its libraries) until one takes it; off, it goes straight to the one whose
        // format it is.
        reader.setFormat(known);
        reader.setAutoDetectImageFormat(false);
    } else
        reader.setDecideFormatFromContent(true);
    // Pictures are shown as stored, without turning them by their orientation tag.
    reader.setAutoTransform(false);
    const QByteArray format = reader.format();
    if (!offeredFormat(format))
        return {};
    // Told from the header, before any pixel memory is taken. Where the header does not tell,
    // the reader's own limit refuses the image as it is made, and the file reads as unreadable.
    if (announcesTooMuch(reader, format, head))
        return refusedAsTooLarge();
    if (format == "bmp" && !bitmapIsWhole(head, device.size()))
        return {};
    const QSize natural = reader.size();
    // What the decode takes: the picture at the size it comes, or, told nothing, all there is.
    QSize decoded = natural;
    if (natural.isValid() && format == "jpeg") {
        const float d = divisor(natural);
        // Only a picture whose bytes are in memory is decoded reduced: the holder decodes its
        // natural size from them later.
        if (d > 1 && path.isEmpty()) {
            const QSize reduced = ReducedSize(natural, d);
            if (!reduced.isEmpty()) {
                reader.setScaledSize(reduced);
                result.reduced = true;
                decoded = JpegDecodedSize(natural, reduced);
            }
        } else if (cropTo.isValid() && !cropTo.isEmpty() &&
                   (cropTo.width() < natural.width() || cropTo.height() < natural.height())) {
            // The reader decodes whole rows and stops after the last one wanted; the pixels it
            // keeps are those a whole decode gives.
            decoded = natural.boundedTo(cropTo);
            reader.setClipRect(QRect(QPoint(0, 0), decoded));
            result.cropped = true;
        }
        if (!result.reduced && !into.isNull() && reader.imageFormat() == into.format() &&
            decoded.width() <= into.width() && decoded.height() <= into.height()) {
            // Drawn at its own size at the top-left corner: its rows are written straight into
            // into's, which the reader takes as they are, as it takes a prepared image.
            result.image = QImage(const_cast<uchar*>(into.constBits()), decoded.width(),
                                  decoded.height(), into.bytesPerLine(), into.format());
        } else {
            PrepareTarget(reader, decoded, result.image);
        }
    }
    const bool intoGiven = !result.image.isNull() && result.image.constBits() == into.constBits();
    result.memory =
        memoryBudget().take(intoGiven           ? 0
                            : decoded.isValid() ? decodedBytes(decoded, reader.imageFormat())
                                                : PictureMemoryLimit());
    // A damaged file may leave a partly decoded image behind; it counts as unreadable. One the
    // decoder read to its end but found cut short or damaged (a JPEG's missing rows are grey)
    // counts so too.
    const bool read = reader.read(&result.image);
    if (std::optional<ReducedPicture> refused = refusedFor(messages.lines(), read))
        return std::move(*refused);
    // Kept at the depth the Canvas draws: a picture decoded deeper (a 16-bit PNG) would be drawn
    // the same, and held at twice the memory.
    constexpr int DrawnDepth = 32;
    if (result.image.depth() > DrawnDepth)
        result.image.convertTo(result.image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                              : QImage::Format_RGB32);
    result.naturalSize = result.reduced ? natural : result.image.size();
    // Only a picture that is held keeps its bytes (those of one that is not may be a mapping of
    // its file, gone once it is drawn).
    if (result.reduced && !cropTo.isValid())
        result.source = bytes;
    return result;
}

// A picture whose file another program cut short while it was decoded.
ReducedPicture cutWhileRead()
{
    return refusedAsIncomplete(
        QStringLiteral("the picture is incomplete: the file was cut short while it was read"));
}

ReducedPicture decodeData(const QByteArray& bytes, const std::function<float(QSize)>& divisor,
                          QSize cropTo = {}, const QImage& into = {})
{
    QBuffer buffer;
    buffer.setData(bytes);
    if (!buffer.open(QIODevice::ReadOnly))
        return {};
    return decode(buffer, {}, bytes, divisor, cropTo, into);
}

float naturalSize(QSize)
{
    return 1;
}

// A JPEG starts with a start-of-image marker. (One read from its file all the same would only
// be decoded at its natural size.)
bool startsLikeJpeg(const QByteArray& head)
{
    return head.startsWith("\xFF\xD8");
}

} // namespace

SharedPictureMemory::SharedPictureMemory()
{
    memoryBudget().share(true);
}

SharedPictureMemory::~SharedPictureMemory()
{
    memoryBudget().share(false);
}

qint64 PictureMemoryLimit()
{
    return pictureLimit().load();
}

void LowerPictureMemoryLimit(qint64 bytes)
{
    lower(pictureLimit(), std::max<qint64>(bytes / MiB, 1) * MiB);
}

qint64 PipedPictureLimit()
{
    return pipeLimit().load();
}

void LowerPipedPictureLimit(qint64 bytes)
{
    lower(pipeLimit(), std::max<qint64>(bytes, 0));
}

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
    if (head.startsWith("RIFF") && head.mid(8, 4) == "WEBP")
        return "webp";
    if (head.startsWith(QByteArrayView("II*\0", 4)) || head.startsWith(QByteArrayView("MM\0*", 4)))
        return "tiff";
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

ReducedPicture ReadPictureData(const QByteArray& bytes)
{
    return decodeData(bytes, naturalSize);
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

ReducedPicture DecodePictureReduced(const QString& path, const std::function<float(QSize)>& divisor,
                                    QSize cropTo, const QImage& into)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (!file.isSequential()) {
        const QByteArray head = file.peek(HeadBytes);
        // A metafile is drawn by the helper from its file.
        if (SniffMetafile(head) != MetafileKind::None)
            return decode(file, path, {}, divisor);
        if (!startsLikeJpeg(head)) {
            // Decoded from the file mapped into memory: what is checked (a bitmap's length) is
            // what is decoded, and a file another program cuts short meanwhile is found so,
            // rather than giving the rows it lacks as they happened to be in memory.
            const MappedFile mapped(file);
            if (const QByteArray bytes = mapped.bytes(); !bytes.isEmpty()) {
                ReducedPicture read = decodeData(bytes, divisor);
                return mapped.damaged() ? cutWhileRead() : read;
            }
            return decode(file, path, {}, divisor);
        }
        // A JPEG is read once, whole, and decoded from memory: if it is decoded reduced, its
        // bytes are what the holder decodes the natural size from when a zoom asks for it.
        // Compressed data larger than the decoded picture may be is not read at all.
        if (file.size() > PictureMemoryLimit())
            return refusedAsTooLarge();
        // A picture that is drawn once and not held is decoded from the file's pages in the
        // system's cache, without copying them into fresh memory first.
        if (cropTo.isValid()) {
            const MappedFile mapped(file);
            if (const QByteArray bytes = mapped.bytes(); !bytes.isEmpty()) {
                ReducedPicture read = decodeData(bytes, divisor, cropTo, into);
                return mapped.damaged() ? cutWhileRead() : read;
            }
        }
        const QByteArray bytes = file.read(file.size() + 1);
        if (bytes.size() > PictureMemoryLimit())
            return refusedAsTooLarge();
        return decodeData(bytes, divisor, cropTo, into);
    }
    // A pipe is read once, whole: telling its format consumes its start. One byte more than
    // allowed tells one that is too large.
    const qint64 limit = PipedPictureLimit();
    const QByteArray bytes = file.read(limit + 1);
    if (bytes.size() > limit)
        return refusedAsTooLarge(
            QStringLiteral("the picture is too large: a pipe or device may give at most %1")
                .arg(limit % MiB == 0 ? QStringLiteral("%1 MiB").arg(limit / MiB)
                                      : QStringLiteral("%1 bytes").arg(limit)));
    return decodeData(bytes, divisor, cropTo, into);
}

} // namespace tessivo
