#include "loading/PictureDecoder.h"

#include <QImageReader>

namespace tessivo {

QImage DecodePicture(const QString& path)
{
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
