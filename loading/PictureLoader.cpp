#include "loading/PictureLoader.h"

#include "canvas/CanvasModel.h"
#include "engine/Rounding.h"
#include "loading/PictureDecoder.h"

#include <algorithm>
#include <limits>

namespace tessivo {

namespace {

// Wipes the target and draws a picture at its top-left corner, reduced by ReductionRatio when
// that is 1 or more and divided by smallDivisor otherwise. Only the widths decide; a tall
// picture is cut at the bottom.
void drawReduced(const QImage& picture, CanvasModel& target, float smallDivisor)
{
    target.clear();
    if (picture.isNull())
        return;
    // Sizes in single precision, as the holder's size properties hold them.
    const float pictureWidth = float(picture.width()) * CanvasModel::TwipsPerPixel;
    const float pictureHeight = float(picture.height()) * CanvasModel::TwipsPerPixel;
    const int ratio = ReductionRatio(pictureWidth, target.width());
    const float divisor = ratio >= 1 ? float(ratio) : smallDivisor;
    target.paintPicture(picture, 0, 0, pictureWidth / divisor, pictureHeight / divisor);
}

} // namespace

double PictureHolder::width() const
{
    return double(m_picture.width()) * CanvasModel::TwipsPerPixel;
}

double PictureHolder::height() const
{
    return double(m_picture.height()) * CanvasModel::TwipsPerPixel;
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

bool LoadPictureOntoCanvas(const QString& path, CanvasModel& canvas, PictureHolder& holder)
{
    // Read first: a file that does not read must not cost the user the drawing on the Canvas.
    const QImage picture = DecodePicture(path);
    if (picture.isNull())
        return false;
    holder.setPicture(picture);
    DrawLoadedPicture(picture, canvas);
    return true;
}

void DrawLoadedPicture(const QImage& picture, CanvasModel& canvas)
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

void DrawPreview(const QImage& picture, CanvasModel& preview)
{
    // Unlike the Canvas, the preview shows a small picture at half its size.
    drawReduced(picture, preview, 2);
}

void ShowReadFailure(CanvasModel& box)
{
    box.clear();
    box.setCurrentPosition(0, 0);
    box.print(PictureReadFailureText());
}

} // namespace tessivo
