#include "loading/PictureDecoder.h"

#include "engine/FreshMemory.h"
#include "engine/Rounding.h"
#include "loading/Metafile.h"

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include <algorithm>
#include <optional>

namespace tessivo {

namespace {

// Enough of a file's start to tell a metafile, and for the markers a vector-graphics reader
// looks for.
constexpr qint64 HeadBytes = std::max<qint64>(MetafileSniffBytes, 64);

struct FileHead {
    QByteArray bytes;
    bool opened = false;
};

FileHead ReadHead(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return {file.read(HeadBytes), true};
}

// Metafiles, told by their content; other files are left to QImageReader.
std::optional<QImage> DecodeIfMetafile(const QString& path, const QByteArray& head)
{
    if (SniffMetafile(head) == MetafileKind::None)
        return {};
    if (QFileInfo(path).size() > MaxMetafileBytes)
        return QImage();
    return DecodeMetafileFile(path);
}

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
    return DecodePictureReduced(path, [](QSize) { return 1.0f; }).image;
}

QSize ReducedSize(QSize natural, float divisor)
{
    // The same arithmetic as drawing natural / divisor twips onto the Canvas.
    const auto side = [divisor](int pixels) {
        return int(RoundEven(double(float(pixels) * 15.0f / divisor) / 15.0));
    };
    return QSize(side(natural.width()), side(natural.height()));
}

ReducedPicture DecodePictureReduced(const QString& path, const std::function<float(QSize)>& divisor)
{
    ReducedPicture result;
    const FileHead head = ReadHead(path);
    if (!head.opened)
        return {};
    if (std::optional<QImage> metafile = DecodeIfMetafile(path, head.bytes)) {
        result.image = *metafile;
        result.naturalSize = metafile->size();
        return result;
    }

    QImageReader reader(path);
    // The content decides: a .dib is a bitmap, and a picture saved under the wrong extension
    // still reads as what it is. Where the start of the file already tells the format, only that
    // format's reader is loaded.
    const QByteArray format = PictureFormatByContent(head.bytes);
    if (format.isEmpty())
        reader.setDecideFormatFromContent(true);
    else
        reader.setFormat(format);
    // Pictures are shown as stored, without turning them by their orientation tag.
    reader.setAutoTransform(false);
    const QSize natural = reader.size();
    if (natural.isValid() && reader.format() == "jpeg") {
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
    return result;
}

} // namespace tessivo
