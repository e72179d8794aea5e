#include "loading/PictureDecoder.h"

#include "engine/Rounding.h"
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
    return DecodeMetafileFile(path);
}

} // namespace

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
    if (std::optional<QImage> metafile = DecodeIfMetafile(path)) {
        result.image = *metafile;
        result.naturalSize = metafile->size();
        return result;
    }

    QImageReader reader(path);
    // The content decides: a .dib is a bitmap, and a picture saved under the wrong extension
    // still reads as what it is.
    reader.setDecideFormatFromContent(true);
    // Pictures are shown as stored, without turning them by their orientation tag.
    reader.setAutoTransform(false);
    const QSize natural = reader.size();
    if (natural.isValid() && reader.format() == "jpeg") {
        const float d = divisor(natural);
        if (d > 1) {
            const QSize reduced = ReducedSize(natural, d);
            if (!reduced.isEmpty()) {
                reader.setScaledSize(reduced);
                result.reduced = true;
            }
        }
    }
    // A damaged file may leave a partly decoded image behind; it counts as unreadable.
    if (!reader.read(&result.image))
        return {};
    result.naturalSize = result.reduced ? natural : result.image.size();
    return result;
}

} // namespace tessivo
