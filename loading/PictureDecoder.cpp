#include "loading/PictureDecoder.h"

#include "loading/Metafile.h"

#include <QFile>
#include <QImageReader>

#include <optional>

namespace tessivo {

namespace {

// Metafiles, told by their content; other files are left to QImageReader.
std::optional<QImage> DecodeIfMetafile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (SniffMetafile(file.peek(MetafileSniffBytes)) == MetafileKind::None)
        return {};
    if (file.size() > MaxMetafileBytes)
        return QImage();
    const QByteArray bytes = file.readAll();
    if (bytes.size() != file.size())
        return QImage();
    return DecodeMetafile(bytes);
}

} // namespace

bool IsMetafile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) &&
           SniffMetafile(file.peek(MetafileSniffBytes)) != MetafileKind::None;
}

QImage DecodePicture(const QString& path)
{
    if (std::optional<QImage> metafile = DecodeIfMetafile(path))
        return *metafile;

    QImageReader reader(path);
    // The content decides: a .dib is a bitmap, and a picture saved under the wrong extension
    // still reads as what it is.
    reader.setDecideFormatFromContent(true);
    // Pictures are shown as stored, without turning them by their orientation tag.
    reader.setAutoTransform(false);
    QImage image;
    // A damaged file may leave a partly decoded image behind; it counts as unreadable.
    if (!reader.read(&image))
        return {};
    return image;
}

} // namespace tessivo
