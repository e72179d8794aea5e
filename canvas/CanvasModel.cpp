#include "canvas/CanvasModel.h"

#include "canvas/ColorConvert.h"
#include "engine/FreshMemory.h"
#include "engine/GenerationRun.h"
#include "engine/Rounding.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace tessivo {

namespace {

constexpr ColorValue White = 0x00FFFFFF;

// 96 dots per inch, so that a point is 96/72 pixels and TwipsPerPixel twips are one pixel.
constexpr int DotsPerMeter = 3780;

// Start-up records a width this much less than the Canvas's own: the last 50 twips of the
// Canvas as it starts are never sampled, and the zoom boxes' "100%" is that narrower width.
constexpr int StartRecordedWidthShortfall = 50;

// The size bookkeeping holds 16-bit twips, as a run's positions do, so the Canvas never grows
// past 32767 twips a side; this also keeps a wild size from allocating gigabytes.
constexpr int MaxPixels = GenerationRun::MaxPosition / TwipsPerPixel;

// Above this many pixels a scaled picture is not made in full: only the part that lands on the
// Canvas is rasterised (ten-fold zoom of a large photo would otherwise need gigabytes).
constexpr qint64 MaxScaledPixels = 16 * 1024 * 1024;

// Pixel coordinates from outside the program's own range are kept far inside int, so that
// sums of a position and a size cannot overflow.
constexpr qint64 CoordinateLimit = qint64(1) << 28;

Pixels toPixels(Twips twips)
{
    return int(std::clamp<qint64>(TwipsToPixels(twips), -CoordinateLimit, CoordinateLimit));
}

Pixels sizeToPixels(Twips twips)
{
    return std::clamp(TwipsToPixels(twips), 0, MaxPixels);
}

QImage makeImage(int widthPixels, int heightPixels, ColorValue background)
{
    if (widthPixels <= 0 || heightPixels <= 0)
        return {};
    QImage image(widthPixels, heightPixels, QImage::Format_RGB32);
    if (image.isNull())
        return image;
    image.setDotsPerMeterX(DotsPerMeter);
    image.setDotsPerMeterY(DotsPerMeter);
    PrepareForWriting(image.bits(), std::size_t(image.sizeInBytes()));
    image.fill(ToQRgb(background));
    return image;
}

// The painter every drawing operation uses: aliased, combined by the raster mode.
void preparePainter(QPainter& painter, int drawMode)
{
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setCompositionMode(drawMode == CanvasModel::XorPen
                                   ? QPainter::RasterOp_SourceXorDestination
                                   : QPainter::CompositionMode_SourceOver);
}

QPen outlinePen(ColorValue color, int drawWidth)
{
    return QPen(ToQColor(color), std::max(drawWidth, 1), Qt::SolidLine, Qt::RoundCap,
                Qt::RoundJoin);
}

} // namespace

CanvasModel::CanvasModel(QObject* parent)
    : QObject(parent)
    , m_backColor(White)
{
    m_state.width = sizeToPixels(StartWidth);
    m_state.height = sizeToPixels(StartHeight);
    m_state.image = makeImage(m_state.width, m_state.height, m_backColor);
    m_state.canvasWidth = int(RoundEven(StartWidth - double(StartRecordedWidthShortfall)));
    m_state.canvasHeight = int(RoundEven(StartHeight));
    m_state.baseWidth = m_state.canvasWidth;
    m_state.baseHeight = m_state.canvasHeight;
}

int CanvasModel::widthTwips() const
{
    return PixelsToTwips(m_state.width);
}

int CanvasModel::heightTwips() const
{
    return PixelsToTwips(m_state.height);
}

void CanvasModel::setWidthTwips(Twips width)
{
    resizeImage(sizeToPixels(width), m_state.height);
}

void CanvasModel::setHeightTwips(Twips height)
{
    resizeImage(m_state.width, sizeToPixels(height));
}

void CanvasModel::setSizeTwips(Twips width, Twips height)
{
    resizeImage(sizeToPixels(width), sizeToPixels(height));
}

void CanvasModel::resizeImage(Pixels widthPixels, Pixels heightPixels)
{
    if (widthPixels == m_state.width && heightPixels == m_state.height) {
        recordSize();
        return;
    }
    QImage next = makeImage(widthPixels, heightPixels, m_backColor);
    if (next.isNull() && widthPixels > 0 && heightPixels > 0) {
        // Out of memory: keep the picture the user has rather than lose it.
        qWarning("Canvas: no memory for %d x %d pixels; size kept", widthPixels, heightPixels);
        recordSize();
        return;
    }
    if (!next.isNull() && !m_state.image.isNull()) {
        const int rows = std::min(heightPixels, m_state.image.height());
        const auto bytes = std::size_t(std::min(widthPixels, m_state.image.width())) * sizeof(QRgb);
        for (int y = 0; y < rows; ++y)
            std::memcpy(next.scanLine(y), m_state.image.constScanLine(y), bytes);
    }
    m_state.image = std::move(next);
    m_state.width = widthPixels;
    m_state.height = heightPixels;
    recordSize();
    emit changed(QRect(0, 0, m_state.width, m_state.height));
    emit resized();
}

void CanvasModel::recordSize()
{
    m_state.canvasWidth = widthTwips();
    m_state.canvasHeight = heightTwips();
}

CanvasModel::Snapshot CanvasModel::snapshot() const
{
    return m_state;
}

void CanvasModel::restore(const Snapshot& snapshot)
{
    const bool sizeChanges = snapshot.width != m_state.width || snapshot.height != m_state.height;
    m_state = snapshot;
    emit changed(QRect(0, 0, m_state.width, m_state.height));
    if (sizeChanges)
        emit resized();
}

void CanvasModel::setBackColor(ColorValue color)
{
    m_backColor = color;
    clear();
}

void CanvasModel::setCurrentPosition(Twips x, Twips y)
{
    m_currentX = x;
    m_currentY = y;
}

void CanvasModel::line(Twips x1, Twips y1, Twips x2, Twips y2)
{
    if (m_state.image.isNull())
        return;
    const QPointF from(TwipsToPixelsExact(x1), TwipsToPixelsExact(y1));
    const QPointF to(TwipsToPixelsExact(x2), TwipsToPixelsExact(y2));
    // Keep far-off end points (a drag well outside the window) from overflowing the painter.
    for (const double c : {from.x(), from.y(), to.x(), to.y()}) {
        if (!(std::abs(c) < double(CoordinateLimit)))
            return;
    }
    const QRectF box = QRectF(from, to).normalized();

    const QPen pen = outlinePen(m_foreColor, m_drawWidth);
    {
        QPainter painter(&m_state.image);
        preparePainter(painter, m_drawMode);
        painter.setPen(pen);
        // A line of no length still leaves a dot of the pen's width.
        if (from == to)
            painter.drawPoint(from);
        else
            painter.drawLine(from, to);
    }
    const int margin = pen.width() + 2;
    const QRect touched = box.toAlignedRect().adjusted(-margin, -margin, margin, margin);
    emit changed(touched & m_state.image.rect());
}

void CanvasModel::roundRectPixels(Pixels left, Pixels top, Pixels right, Pixels bottom,
                                  Pixels ellipseWidth, Pixels ellipseHeight)
{
    if (m_state.image.isNull())
        return;
    const auto [x1, x2] = std::minmax(left, right);
    const auto [y1, y2] = std::minmax(top, bottom);
    const QRectF box(x1, y1, double(x2) - x1, double(y2) - y1);
    // The corner ellipse never exceeds the box; filling the box makes it the inscribed ellipse.
    const double cornerWidth = std::clamp<double>(ellipseWidth, 0, box.width());
    const double cornerHeight = std::clamp<double>(ellipseHeight, 0, box.height());

    const QPen pen = outlinePen(m_foreColor, m_drawWidth);
    {
        QPainter painter(&m_state.image);
        preparePainter(painter, m_drawMode);
        painter.setPen(pen);
        if (m_fillStyle == Solid)
            painter.setBrush(ToQColor(m_fillColor));
        else
            painter.setBrush(Qt::NoBrush);
        if (cornerWidth >= box.width() && cornerHeight >= box.height())
            painter.drawEllipse(box);
        else
            painter.drawRoundedRect(box, cornerWidth / 2, cornerHeight / 2, Qt::AbsoluteSize);
    }
    const int margin = pen.width() + 2;
    const QRect touched = box.toAlignedRect().adjusted(-margin, -margin, margin, margin);
    emit changed(touched & m_state.image.rect());
}

void CanvasModel::print(const QString& text)
{
    if (m_state.image.isNull() || text.isEmpty())
        return;
    // Fonts need a GUI application; without one (the command-line tool) there is nothing to
    // draw text with, and asking for a font would abort.
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) {
        qWarning("Canvas: text needs a QGuiApplication; not printed");
        return;
    }

    static const QRegularExpression lineBreak(QStringLiteral("\r\n|\r|\n"));
    const QStringList lines = text.split(lineBreak);
    // Crisp glyphs: every ink pixel is the pen colour, as the run samples single pixels.
    QFont font = m_font.toQFont();
    font.setStyleStrategy(QFont::NoAntialias);
    const QFontMetricsF metrics(font, &m_state.image);
    // Lines follow each other by the font's full height rather than lineSpacing(): some fonts
    // report a negative leading, and lines must never overlap.
    const double lineHeight = metrics.height();
    const QPointF start(TwipsToPixelsExact(m_currentX), TwipsToPixelsExact(m_currentY));

    QRectF touched;
    {
        QPainter painter(&m_state.image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setRenderHint(QPainter::TextAntialiasing, false);
        painter.setFont(font);
        painter.setPen(ToQColor(m_foreColor));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const double x = i == 0 ? start.x() : 0.0;
            const double top = start.y() + double(i) * lineHeight;
            if (lines[i].isEmpty())
                continue;
            const QPointF baseline(x, top + metrics.ascent());
            painter.drawText(baseline, lines[i]);
            touched |= metrics.boundingRect(lines[i]).translated(baseline);
        }
    }
    if (!touched.isEmpty())
        emit changed(touched.toAlignedRect().adjusted(-2, -2, 2, 2) & m_state.image.rect());
}

void CanvasModel::clear()
{
    m_state.image.fill(ToQRgb(m_backColor));
    m_currentX = 0;
    m_currentY = 0;
    emit changed(m_state.image.rect());
}

QImage CanvasModel::pixelsInPlace()
{
    if (m_state.image.isNull())
        return {};
    uchar* bits = m_state.image.bits(); // parted from any snapshot first
    return QImage(bits, m_state.image.width(), m_state.image.height(), m_state.image.bytesPerLine(),
                  m_state.image.format());
}

void CanvasModel::paintPicture(const QImage& picture, Twips x, Twips y, Twips width, Twips height)
{
    if (m_state.image.isNull() || picture.isNull())
        return;
    const QRect target(toPixels(x), toPixels(y), toPixels(width), toPixels(height));
    if (target.width() <= 0 || target.height() <= 0)
        return;
    const QRect visible = target & m_state.image.rect();
    if (visible.isEmpty())
        return;

    // Scaling works on 32-bit pixels; premultiplied alpha keeps transparent pixels from
    // bleeding their colour into their neighbours.
    const QImage source = picture.convertToFormat(
        picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    QPainter painter(&m_state.image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (target.size() == source.size()) {
        painter.drawImage(target.topLeft(), source);
    } else if (qint64(target.width()) * target.height() <= MaxScaledPixels) {
        // An area-averaging filter, so that reduced pictures keep their fine detail as tone.
        painter.drawImage(target.topLeft(), source.scaled(target.size(), Qt::IgnoreAspectRatio,
                                                          Qt::SmoothTransformation));
    } else {
        // Much enlarged: let the painter interpolate just the pixels that land on the Canvas.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
        painter.drawImage(QRectF(target), source, QRectF(source.rect()));
    }
    painter.end();
    emit changed(visible);
}

void CanvasModel::readColumn(int x, const int* ys, int count, std::int32_t* colors) const
{
    const int px = PixelUnder(x);
    if (px < 0 || px >= m_state.image.width()) {
        std::fill(colors, colors + count, -1);
        return;
    }
    const uchar* column = m_state.image.constBits() + qsizetype(px) * qsizetype(sizeof(QRgb));
    const qsizetype stride = m_state.image.bytesPerLine();
    const unsigned height = unsigned(m_state.image.height());
    // PixelUnder for positions of 0 and more; a negative one, read unsigned, lies far below the
    // image too.
    const auto read = [&](int y) {
        const unsigned py = unsigned(y) / unsigned(TwipsPerPixel);
        return py < height ? FromQRgb(*reinterpret_cast<const QRgb*>(column + py * stride)) : -1;
    };
    // Two cells a turn: the loop's own counting is a good part of a cell's cost.
    int i = 0;
    for (; i + 1 < count; i += 2) {
        colors[i] = read(ys[i]);
        colors[i + 1] = read(ys[i + 1]);
    }
    if (i < count)
        colors[i] = read(ys[i]);
}

std::int32_t CanvasModel::pixelAt(int x, int y) const
{
    // Any negative twip lies in a pixel left of or above the image.
    const int px = PixelUnder(x);
    const int py = PixelUnder(y);
    if (px < 0 || py < 0 || px >= m_state.image.width() || py >= m_state.image.height())
        return -1;
    return FromQRgb(reinterpret_cast<const QRgb*>(m_state.image.constScanLine(py))[px]);
}

} // namespace tessivo
