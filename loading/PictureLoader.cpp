#include "loading/PictureLoader.h"

#include "canvas/CanvasModel.h"
#include "engine/Rounding.h"
#include "loading/PictureDecoder.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessivo {

namespace {

// What a picture is divided by when drawn onto a target: ReductionRatio when that is 1 or more,
// smallDivisor otherwise. Only the widths decide; a tall picture is cut at the bottom.
float divisorFor(QSize natural, const CanvasModel& target, float smallDivisor)
{
    // Sizes in single precision, as the holder's size properties hold them.
    const int ratio = ReductionRatio(float(natural.width()) * TwipsPerPixel, target.widthTwips());
    return ratio >= 1 ? float(ratio) : smallDivisor;
}

// Draws a picture at the target's top-left corner, divided as divisorFor says.
void paintReduced(const ReducedPicture& picture, CanvasModel& target, float smallDivisor)
{
    if (picture.image.isNull())
        return;
    const float width = float(picture.naturalSize.width()) * TwipsPerPixel;
    const float height = float(picture.naturalSize.height()) * TwipsPerPixel;
    const float divisor = divisorFor(picture.naturalSize, target, smallDivisor);
    // A picture read at the reduced size already has the size drawn and is not scaled again;
    // one cropped to the part the Canvas shows is drawn at its own size.
    if (picture.cropped) {
        target.paintPicture(picture.image, 0, 0, picture.image.width() * TwipsPerPixel,
                            picture.image.height() * TwipsPerPixel);
        return;
    }
    target.paintPicture(picture.image, 0, 0, width / divisor, height / divisor);
}

// Wipes the target and draws the picture on it.
void drawReduced(const ReducedPicture& picture, CanvasModel& target, float smallDivisor)
{
    target.clear();
    paintReduced(picture, target, smallDivisor);
}

ReducedPicture atNaturalSize(const QImage& picture)
{
    ReducedPicture read;
    read.image = picture;
    read.naturalSize = picture.size();
    return read;
}

} // namespace

const QImage& PictureHolder::picture() const
{
    if (m_picture.isNull() && !m_source.isEmpty()) {
        const QImage natural = DecodePictureData(m_source);
        if (natural.size() == m_natural) {
            m_picture = natural;
            m_source = QByteArray();
        }
    }
    return m_picture;
}

double PictureHolder::widthTwips() const
{
    return double(m_natural.width()) * TwipsPerPixel;
}

double PictureHolder::heightTwips() const
{
    return double(m_natural.height()) * TwipsPerPixel;
}

void PictureHolder::setPicture(const QImage& picture)
{
    m_natural = picture.size();
    m_picture = picture;
    m_source = QByteArray();
}

void PictureHolder::setPicture(const ReducedPicture& read)
{
    m_natural = read.naturalSize;
    m_picture = read.reduced ? QImage() : read.image;
    m_source = read.reduced ? read.source : QByteArray();
}

int ReductionRatio(double pictureWidth, double canvasWidth)
{
    if (!(canvasWidth > 0))
        return 0;
    const float q = float(pictureWidth) / float(canvasWidth);
    return int(std::clamp<std::int64_t>(RoundEven(q), std::numeric_limits<int>::min(),
                                        std::numeric_limits<int>::max()));
}

QString PictureReadFailureText()
{
    return QStringLiteral("图片数据读取失败！\r\n请确定文件准确性");
}

QString PictureTooLargeText()
{
    return QStringLiteral("图片过大，无法载入！\r\n请缩小图片尺寸后再试");
}

QString PictureFailureText(PictureRead outcome)
{
    return outcome == PictureRead::TooLarge ? PictureTooLargeText() : PictureReadFailureText();
}

bool LoadPictureOntoCanvas(const QString& path, CanvasModel& canvas, PictureHolder& holder,
                           PictureRead* outcome)
{
    // Read first: a file that does not read must not cost the user the drawing on the Canvas.
    const ReducedPicture read = DecodePictureReduced(
        path, [&canvas](QSize natural) { return divisorFor(natural, canvas, 1); });
    if (outcome)
        *outcome = read.outcome();
    if (read.image.isNull())
        return false;
    holder.setPicture(read);
    drawReduced(read, canvas, 1);
    return true;
}

bool DrawPictureFile(const QString& path, CanvasModel& canvas, PictureRead* outcome,
                     QString* failure, QRect* drawn)
{
    // Wiped first: a JPEG drawn at its own size is decoded straight into the Canvas's pixels,
    // which are then what drawing it would have made them, without a picture in between.
    canvas.clear();
    const ReducedPicture read = DecodePictureReduced(
        path, [&canvas](QSize natural) { return divisorFor(natural, canvas, 1); },
        canvas.image().size(), canvas.pixelsInPlace());
    if (outcome)
        *outcome = read.outcome();
    if (failure)
        *failure = read.failure;
    if (read.image.isNull())
        return false;
    const bool inPlace = read.image.constBits() == canvas.image().constBits();
    if (!inPlace)
        paintReduced(read, canvas, 1); // already wiped
    if (drawn) {
        // A picture decoded into the Canvas or cropped to it is drawn at its own size; any other
        // is divided as paintReduced divides it.
        QSize size = read.naturalSize;
        if (read.cropped && !inPlace) {
            size = read.image.size();
        } else if (!inPlace) {
            const float divisor = divisorFor(read.naturalSize, canvas, 1);
            size = QSize(int(std::ceil(float(size.width()) / divisor)),
                         int(std::ceil(float(size.height()) / divisor)));
        }
        *drawn = QRect(QPoint(0, 0), size).intersected(canvas.image().rect());
    }
    return true;
}

void DrawLoadedPicture(const QImage& picture, CanvasModel& canvas)
{
    drawReduced(atNaturalSize(picture), canvas, 1);
}

void DrawLoadedPicture(const ReducedPicture& picture, CanvasModel& canvas)
{
    drawReduced(picture, canvas, 1);
}

QString FormPicturePath(const QString& folder, const QString& fileName)
{
    QString path = folder + QLatin1Char('/') + fileName;
    while (path.contains(QLatin1String("//")))
        path.replace(QLatin1String("//"), QLatin1String("/"));
    return path;
}

void DrawPreview(const ReducedPicture& picture, CanvasModel& preview)
{
    // Unlike the Canvas, the preview shows a small picture at half its size.
    drawReduced(picture, preview, 2);
}

ReducedPicture DecodeForPreview(const QString& path, const CanvasModel& preview)
{
    return DecodePictureReduced(
        path, [&preview](QSize natural) { return divisorFor(natural, preview, 2); });
}

void ShowReadFailure(CanvasModel& box, PictureRead outcome)
{
    box.clear();
    box.setCurrentPosition(0, 0);
    box.print(PictureFailureText(outcome));
}

} // namespace tessivo
