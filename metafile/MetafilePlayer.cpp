// The device context of the metafile players: mapping, saved states, clipping and shapes. Text
// is in MetafileText.cpp, bitmaps in MetafileBitmap.cpp.

#include "metafile/MetafilePlayer.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace tessivo {

namespace {

// Saved states beyond this many are not kept: a file of nothing but saves would otherwise hold
// a copy of the state for each of them.
constexpr std::size_t MaxSavedStates = 4096;

// The fixed map modes: how many millimetres one logical unit is.
double millimetresPerUnit(int mode)
{
    switch (mode) {
    case MmLoMetric: return 0.1;
    case MmHiMetric: return 0.01;
    case MmLoEnglish: return 0.254;
    case MmHiEnglish: return 0.0254;
    case MmTwips: return 25.4 / 1440;
    default: return 0;
    }
}

bool usableExtent(QSizeF ext)
{
    return std::isfinite(ext.width()) && std::isfinite(ext.height()) && ext.width() != 0 &&
           ext.height() != 0;
}

// GDI's hatches, 8 pixels apart on the device, as Qt's brush patterns.
Qt::BrushStyle hatchPattern(int hatch)
{
    switch (hatch) {
    case 0: return Qt::HorPattern;
    case 1: return Qt::VerPattern;
    case 2: return Qt::FDiagPattern; // falling from left to right
    case 3: return Qt::BDiagPattern; // rising from left to right
    case 4: return Qt::CrossPattern;
    default: return Qt::DiagCrossPattern;
    }
}

Qt::PenStyle qtPenStyle(quint32 style)
{
    switch (style & PsStyleMask) {
    case PsDash: return Qt::DashLine;
    case PsDot: return Qt::DotLine;
    case PsDashDot: return Qt::DashDotLine;
    case PsDashDotDot: return Qt::DashDotDotLine;
    case PsNull: return Qt::NoPen;
    default: return Qt::SolidLine;
    }
}

// A hairline: a pen of no width, which draws one pixel wide whatever the mapping, or one whose
// width comes to a pixel, as files made for the screen write it. A pen whose width only comes
// near a pixel (Inkscape writes 0.96 or 1.04 of one, in its units of 1/1200 inch) is drawn by
// its share of the pixels it crosses, where its coordinates put it, as Inkscape draws it.
constexpr double HairlineTolerance = 0.02; // pixels

bool isHairline(const MetafilePen& pen, const QTransform& toImage)
{
    const double pixels = pen.width * std::sqrt(std::abs(toImage.determinant()));
    return pen.width <= 0 || std::abs(pixels - 1) <= HairlineTolerance;
}

} // namespace

QColor MetafileColor(quint32 colorRef)
{
    return QColor(int(colorRef & 0xFF), int((colorRef >> 8) & 0xFF), int((colorRef >> 16) & 0xFF));
}

MetafilePlayer::MetafilePlayer(QPainter* painter, const Setup& setup)
    : m_painter(painter)
    , m_deviceToImage(setup.deviceToImage)
    , m_viewportFallback(setup.viewportFallback)
    , m_deviceUnitsPerMm(setup.deviceUnitsPerMm)
{
    m_dc.windowOrg = setup.origin;
    m_dc.viewportOrg = setup.origin;
}

void MetafilePlayer::saveDc()
{
    if (m_saved.size() < MaxSavedStates)
        m_saved.push_back(m_dc);
}

void MetafilePlayer::restoreDc(int which)
{
    const qint64 count = qint64(m_saved.size());
    const qint64 index = which < 0 ? count + which : qint64(which) - 1;
    if (index < 0 || index >= count)
        return;
    m_dc = m_saved[std::size_t(index)];
    m_saved.resize(std::size_t(index));
    setClip(m_dc.clip);
}

void MetafilePlayer::setMapMode(int mode)
{
    if (mode >= MmText && mode <= MmAnisotropic)
        m_dc.mapMode = mode;
}

void MetafilePlayer::setWindowOrg(QPointF org)
{
    m_dc.windowOrg = org;
}

void MetafilePlayer::setWindowExt(QSizeF ext)
{
    if (usableExtent(ext))
        m_dc.windowExt = ext;
}

void MetafilePlayer::setViewportOrg(QPointF org)
{
    m_dc.viewportOrg = org;
}

void MetafilePlayer::setViewportExt(QSizeF ext)
{
    if (usableExtent(ext))
        m_dc.viewportExt = ext;
}

void MetafilePlayer::offsetWindowOrg(QPointF by)
{
    m_dc.windowOrg += by;
}

void MetafilePlayer::offsetViewportOrg(QPointF by)
{
    m_dc.viewportOrg += by;
}

void MetafilePlayer::scaleWindowExt(double xNum, double xDenom, double yNum, double yDenom)
{
    if (m_dc.windowExt && xDenom != 0 && yDenom != 0)
        setWindowExt(QSizeF(m_dc.windowExt->width() * xNum / xDenom,
                            m_dc.windowExt->height() * yNum / yDenom));
}

void MetafilePlayer::scaleViewportExt(double xNum, double xDenom, double yNum, double yDenom)
{
    const QSizeF current =
        m_dc.viewportExt ? *m_dc.viewportExt : m_viewportFallback.value_or(QSizeF(1, 1));
    if (xDenom != 0 && yDenom != 0)
        setViewportExt(QSizeF(current.width() * xNum / xDenom, current.height() * yNum / yDenom));
}

// Logical units to device units. The window's extent maps onto the viewport's; a file that sets
// a window without a viewport (as placeable Windows metafiles do) is mapped onto the fallback
// viewport, the picture's frame, as the program that plays it sets it up.
QTransform MetafilePlayer::pageTransform() const
{
    double sx = 1, sy = 1;
    if (const double mm = millimetresPerUnit(m_dc.mapMode); mm > 0) {
        sx = mm * m_deviceUnitsPerMm;
        sy = -sx; // up the page
    } else if (m_dc.mapMode == MmIsotropic || m_dc.mapMode == MmAnisotropic) {
        const std::optional<QSizeF> viewport =
            m_dc.viewportExt ? m_dc.viewportExt : m_viewportFallback;
        if (m_dc.windowExt && viewport) {
            sx = viewport->width() / m_dc.windowExt->width();
            sy = viewport->height() / m_dc.windowExt->height();
        }
        if (m_dc.mapMode == MmIsotropic) {
            const double s = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(s, sx);
            sy = std::copysign(s, sy);
        }
    }
    const QPointF& w = m_dc.windowOrg;
    const QPointF& v = m_dc.viewportOrg;
    return QTransform(sx, 0, 0, sy, v.x() - w.x() * sx, v.y() - w.y() * sy);
}

QPainterPath MetafilePlayer::wholePicture() const
{
    constexpr double Far = 1e7;
    QPainterPath whole;
    whole.addRect(QRectF(-Far, -Far, 2 * Far, 2 * Far));
    return whole;
}

void MetafilePlayer::setClip(std::optional<QPainterPath> clip)
{
    m_dc.clip = std::move(clip);
    if (!m_painter)
        return;
    m_painter->setTransform(QTransform());
    if (m_dc.clip)
        m_painter->setClipPath(*m_dc.clip);
    else
        m_painter->setClipping(false);
}

void MetafilePlayer::combineImageClip(const QPainterPath& image, int mode)
{
    const QPainterPath current = m_dc.clip ? *m_dc.clip : wholePicture();
    switch (mode) {
    case RgnAnd: setClip(m_dc.clip ? current.intersected(image) : image); break;
    case RgnOr: setClip(current.united(image)); break;
    case RgnXor: setClip(current.united(image).subtracted(current.intersected(image))); break;
    case RgnDiff: setClip(current.subtracted(image)); break;
    case RgnCopy: setClip(image); break;
    default: break;
    }
}

void MetafilePlayer::intersectClipRect(const QRectF& rect)
{
    QPainterPath path;
    path.addRect(rect.normalized());
    combineImageClip(logicalToImage().map(path), RgnAnd);
}

void MetafilePlayer::excludeClipRect(const QRectF& rect)
{
    QPainterPath path;
    path.addRect(rect.normalized());
    combineImageClip(logicalToImage().map(path), RgnDiff);
}

void MetafilePlayer::combineClip(const QPainterPath& logical, int mode)
{
    combineImageClip(logicalToImage().map(logical), mode);
}

void MetafilePlayer::combineDeviceClip(const std::optional<QPainterPath>& device, int mode)
{
    if (!device) {
        if (mode == RgnCopy)
            setClip(std::nullopt);
        return;
    }
    combineImageClip(m_deviceToImage.map(*device), mode);
}

void MetafilePlayer::offsetClip(QPointF by)
{
    if (!m_dc.clip)
        return;
    const QTransform t = logicalToImage();
    const QPointF shift = t.map(by) - t.map(QPointF(0, 0));
    setClip(m_dc.clip->translated(shift));
}

void MetafilePlayer::note(const QRectF& imageRect)
{
    m_measured = m_measured.isNull() ? imageRect : m_measured.united(imageRect);
}

std::optional<QPainter::CompositionMode> MetafilePlayer::rop2Mode() const
{
    using M = QPainter::CompositionMode;
    switch (m_dc.rop2) {
    case R2Black: return M::RasterOp_ClearDestination;
    case R2NotMergePen: return M::RasterOp_NotSourceAndNotDestination;
    case R2MaskNotPen: return M::RasterOp_NotSourceAndDestination;
    case R2NotCopyPen: return M::RasterOp_NotSource;
    case R2MaskPenNot: return M::RasterOp_SourceAndNotDestination;
    case R2Not: return M::RasterOp_NotDestination;
    case R2XorPen: return M::RasterOp_SourceXorDestination;
    case R2NotMaskPen: return M::RasterOp_NotSourceOrNotDestination;
    case R2MaskPen: return M::RasterOp_SourceAndDestination;
    case R2NotXorPen: return M::RasterOp_NotSourceXorDestination;
    case R2Nop: return std::nullopt;
    case R2MergeNotPen: return M::RasterOp_NotSourceOrDestination;
    case R2MergePenNot: return M::RasterOp_SourceOrNotDestination;
    case R2MergePen: return M::RasterOp_SourceOrDestination;
    case R2White: return M::RasterOp_SetDestination;
    default: return M::CompositionMode_SourceOver;
    }
}

namespace {

// The pixels bounds touches, with one around, within size; empty for bounds that are not finite.
QRect pixelsAround(const QRectF& bounds, QSize size)
{
    if (!std::isfinite(bounds.left()) || !std::isfinite(bounds.top()) ||
        !std::isfinite(bounds.right()) || !std::isfinite(bounds.bottom()))
        return {};
    const auto at = [](double v, int most) { return int(std::clamp(v, 0.0, double(most))); };
    return QRect(QPoint(at(std::floor(bounds.left()) - 1, size.width()),
                        at(std::floor(bounds.top()) - 1, size.height())),
                 QPoint(at(std::ceil(bounds.right()) + 1, size.width()) - 1,
                        at(std::ceil(bounds.bottom()) + 1, size.height()) - 1));
}

void putPixels(QImage& page, const QRect& area, const QImage& pixels)
{
    for (int y = 0; y < area.height(); ++y)
        std::memcpy(page.scanLine(area.top() + y) + std::size_t(area.left()) * 4,
                    pixels.constScanLine(y), std::size_t(area.width()) * 4);
}

} // namespace

QImage* MetafilePlayer::page() const
{
    if (!m_painter || m_painter->device()->devType() != QInternal::Image)
        return nullptr;
    auto* image = static_cast<QImage*>(m_painter->device());
    return image->format() == QImage::Format_ARGB32_Premultiplied ? image : nullptr;
}

// Programs fill a shape with a gradient by XOR-ing the gradient over its box, filling the shape
// black (with a black outline), and XOR-ing the gradient again: outside the shape the two XORs
// cancel. Windows draws the black shape without antialiasing; drawn with it, its edge pixels are
// partly black, the second XOR cannot cancel there, and the shape gets a dark rim. So the plain
// drawing of a record right after raster operations over the same pixels is drawn both ways, and
// its pixels without antialiasing are put back if the next record draws a raster operation.
void MetafilePlayer::paintKeepingAliased(const QRectF& area, const std::function<void()>& paint)
{
    QImage* image = page();
    if (m_aliased && m_aliased->ended)
        forgetAliased();
    if (!m_aliased && image && pixelsAround(area, image->size()).intersects(m_ropArea))
        m_aliased = Aliased{m_ropArea, image->copy(m_ropArea)};
    if (!m_aliased) {
        m_ropArea = QRect();
        paint();
        return;
    }
    // The page as it is, then this drawing without antialiasing over the record's earlier ones.
    const QRect& kept = m_aliased->area;
    const QImage smooth = image->copy(kept);
    putPixels(*image, kept, m_aliased->pixels);
    m_painter->save();
    m_painter->setRenderHint(QPainter::Antialiasing, false);
    paint();
    m_painter->restore();
    m_aliased->pixels = image->copy(kept);
    putPixels(*image, kept, smooth);
    paint();
}

void MetafilePlayer::combine(QPainter::CompositionMode mode, const QRectF& area,
                             const std::function<void()>& paint)
{
    if (mode == QPainter::CompositionMode_SourceOver) {
        paintKeepingAliased(area, paint);
        return;
    }
    QImage* image = page();
    const QRect pixels = image ? pixelsAround(area, image->size()) : QRect();
    if (m_aliased && m_aliased->area.intersects(pixels))
        putPixels(*image, m_aliased->area, m_aliased->pixels);
    if (m_aliased)
        forgetAliased();
    m_ropArea |= pixels;
    toPaper(area);
    m_painter->save();
    m_painter->setCompositionMode(mode);
    // A raster operation takes a pixel whole or not at all: antialiased edges would combine
    // in full, and the edge two shapes share would be combined twice.
    m_painter->setRenderHint(QPainter::Antialiasing, false);
    paint();
    m_painter->restore();
}

void MetafilePlayer::toPaper(const QRectF& bounds)
{
    if (m_painter->device()->devType() != QInternal::Image)
        return;
    auto* page = static_cast<QImage*>(m_painter->device());
    if (page->format() != QImage::Format_ARGB32_Premultiplied)
        return;
    // A pixel around, and the whole page for bounds that are not finite.
    const auto within = [](double v, double fallback, int most) {
        return std::isfinite(v) ? int(std::clamp(v, 0.0, double(most))) : int(fallback);
    };
    const int w = page->width(), h = page->height();
    const QRect area(QPoint(within(std::floor(bounds.left()) - 1, 0, w),
                            within(std::floor(bounds.top()) - 1, 0, h)),
                     QPoint(within(std::ceil(bounds.right()) + 1, w, w) - 1,
                            within(std::ceil(bounds.bottom()) + 1, h, h) - 1));
    if (area.isEmpty())
        return;
    if (m_paper.isNull()) {
        m_paper = QImage(page->size(), QImage::Format_Grayscale8);
        m_paper.fill(0);
    }
    const bool marked = !m_paper.isNull();
    if (marked)
        m_paperArea |= area;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(page->scanLine(y));
        uchar* marks = marked ? m_paper.scanLine(y) : nullptr;
        for (int x = area.left(); x <= area.right(); ++x) {
            const QRgb p = row[x];
            const int a = qAlpha(p);
            if (a == 255)
                continue;
            if (a == 0 && marks)
                marks[x] = 1;
            // Premultiplied over white: each channel gains what the pixel lets through.
            const int through = 255 - a;
            row[x] = qRgb(qRed(p) + through, qGreen(p) + through, qBlue(p) + through);
        }
    }
}

void MetafilePlayer::finish()
{
    if (m_paper.isNull() || !m_painter || m_painter->device()->devType() != QInternal::Image)
        return;
    auto* page = static_cast<QImage*>(m_painter->device());
    const QRect area = m_paperArea & page->rect();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(page->scanLine(y));
        const uchar* marks = m_paper.constScanLine(y);
        for (int x = area.left(); x <= area.right(); ++x) {
            if (marks[x] && row[x] == 0xFFFFFFFF)
                row[x] = 0;
        }
    }
    m_paper = QImage();
    m_paperArea = QRect();
}

bool MetafilePlayer::fillRepeat(const QPainterPath& image)
{
    if (!m_repeatFill)
        return false;
    m_repeatFilled = true;
    forgetAliased();
    if (!m_painter) {
        note(image.boundingRect());
        return true;
    }
    m_painter->setTransform(QTransform());
    m_painter->fillPath(image, *m_repeatFill);
    return true;
}

void MetafilePlayer::fillImage(const QPainterPath& device, const MetafileBrush& brush)
{
    if (brush.style == BsNull || fillRepeat(device))
        return;
    if (!m_painter) {
        note(device.boundingRect());
        return;
    }
    const std::optional<QPainter::CompositionMode> mode = rop2Mode();
    if (!mode)
        return;
    m_painter->setTransform(QTransform());
    combine(*mode, device.boundingRect(), [&] {
        switch (brush.style) {
        case BsHatched:
            // The background mode applies to the gaps between hatches, never to a solid fill.
            if (m_dc.backgroundMode == BkOpaque)
                m_painter->fillPath(device, m_dc.backgroundColor);
            m_painter->fillPath(device, QBrush(brush.color, hatchPattern(brush.hatch)));
            break;
        case BsPattern:
        case BsDibPattern:
            if (!brush.pattern.isNull()) {
                m_painter->fillPath(device, QBrush(brush.pattern));
                break;
            }
            m_painter->fillPath(device, brush.color);
            break;
        default: m_painter->fillPath(device, brush.color); break;
        }
    });
}

void MetafilePlayer::fillWith(const QPainterPath& path, const MetafileBrush& brush)
{
    QPainterPath device = logicalToImage().map(path);
    device.setFillRule(path.fillRule());
    fillImage(device, brush);
}

void MetafilePlayer::fillRegion(const QPainterPath& device, const MetafileBrush* brush)
{
    fillImage(m_deviceToImage.map(device), brush ? *brush : m_dc.brush);
}

void MetafilePlayer::fillLogical(const QPainterPath& path, const QBrush& brush)
{
    const QTransform toImage = logicalToImage();
    if (fillRepeat(toImage.map(path)))
        return;
    forgetAliased();
    if (!m_painter) {
        note(toImage.map(path).boundingRect());
        return;
    }
    m_painter->setTransform(toImage);
    m_painter->fillPath(path, brush);
}

void MetafilePlayer::draw(const QPainterPath& path, bool fill, bool stroke)
{
    if (path.isEmpty())
        return;
    if (fill) {
        QPainterPath filled = path;
        filled.setFillRule(m_dc.fillRule);
        fillWith(filled, m_dc.brush);
    }
    const MetafilePen& pen = m_dc.pen;
    if (!stroke || (pen.style & PsStyleMask) == PsNull || m_repeatFill)
        return;
    // Windows takes a pen's line through the centres of the pixels its coordinates name, where a
    // fill covers the pixels whose centres lie inside it: a line along a fill's edge lights the
    // row the fill starts on, and a hairline at y = 10 lights row 10 alone. Here pixel centres
    // lie half a pixel in from whole coordinates, so such a line moves by half a pixel: always
    // for a hairline (drawn where its coordinates put it, it would fall on the border of two
    // rows and grey both), and for any pen where drawing combines with raster operations (a
    // pen's own, or those just before), whose pixels must be Windows' own. Wider pens are
    // otherwise drawn where their coordinates put them, as other programs draw these files.
    const std::optional<QPainter::CompositionMode> penMode = rop2Mode();
    const bool windowsPixels = !m_ropArea.isEmpty() || (m_aliased && !m_aliased->ended) ||
                               penMode != QPainter::CompositionMode_SourceOver ||
                               isHairline(pen, logicalToImage());
    const QTransform toImage =
        windowsPixels ? logicalToImage() * QTransform::fromTranslate(0.5, 0.5) : logicalToImage();
    if (!m_painter) {
        const double half = pen.width * std::sqrt(std::abs(toImage.determinant())) / 2;
        note(toImage.map(path).boundingRect().adjusted(-half, -half, half, half));
        return;
    }
    QPen qpen(pen.color);
    qpen.setWidthF(pen.width > 0 ? pen.width : 0);
    qpen.setCosmetic(pen.width <= 0);
    switch (pen.style & PsCapMask) {
    case PsCapSquare: qpen.setCapStyle(Qt::SquareCap); break;
    case PsCapFlat: qpen.setCapStyle(Qt::FlatCap); break;
    default: qpen.setCapStyle(Qt::RoundCap); break;
    }
    switch (pen.style & PsJoinMask) {
    case PsJoinBevel: qpen.setJoinStyle(Qt::BevelJoin); break;
    case PsJoinMiter:
        // Beyond the limit (the miter's length over the pen's width, as in SVG) the corner is
        // beveled; Qt's plain miter join would cut the miter off at the limit instead.
        qpen.setJoinStyle(Qt::SvgMiterJoin);
        qpen.setMiterLimit(std::max(1.0, m_dc.miterLimit));
        break;
    default: qpen.setJoinStyle(Qt::RoundJoin); break;
    }
    const std::optional<QPainter::CompositionMode> mode = rop2Mode();
    if (!mode)
        return;
    const Qt::PenStyle style = qtPenStyle(pen.style);
    if (style == Qt::SolidLine && !qpen.isCosmetic()) {
        // A pen with a width of its own is drawn as the outline it sweeps, filled, so that a
        // pen narrower than a pixel covers its true share of the pixels it crosses. (Qt draws
        // such a pen as a one-pixel hairline of reduced opacity, smeared over the neighbouring
        // rows.)
        QPainterPathStroker stroker(qpen);
        QPainterPath outline = toImage.map(stroker.createStroke(path));
        outline.setFillRule(Qt::WindingFill);
        m_painter->setTransform(QTransform());
        combine(*mode, outline.boundingRect(), [&] { m_painter->fillPath(outline, pen.color); });
        return;
    }
    // Wide enough for a cosmetic pen and for the caps and joins of a dashed one.
    const double half = qpen.isCosmetic()
                            ? 1
                            : (pen.width * std::sqrt(std::abs(toImage.determinant())) *
                                   std::max(1.0, m_dc.miterLimit) +
                               1);
    const QRectF area = toImage.map(path).boundingRect().adjusted(-half, -half, half, half);
    m_painter->setTransform(toImage);
    combine(*mode, area, [&] {
        if (style != Qt::SolidLine && m_dc.backgroundMode == BkOpaque) {
            // The gaps of a dashed line take the background colour.
            QPen gaps = qpen;
            gaps.setColor(m_dc.backgroundColor);
            m_painter->strokePath(path, gaps);
        }
        qpen.setStyle(style);
        m_painter->strokePath(path, qpen);
    });
}

QPainterPath MetafilePlayer::arcPath(const QRectF& box, QPointF start, QPointF end, bool joinCentre,
                                     bool close) const
{
    const QRectF r = box.normalized();
    QPainterPath path;
    if (r.width() <= 0 || r.height() <= 0)
        return path;
    const QPointF c = r.center();
    // Qt's angles run counterclockwise on the unit circle the ellipse is stretched from; GDI's
    // ends are where the lines from the centre through the given points meet the ellipse.
    const auto angle = [&](QPointF p) {
        return qRadiansToDegrees(
            std::atan2(-(p.y() - c.y()) / r.height(), (p.x() - c.x()) / r.width()));
    };
    const double a0 = angle(start);
    double sweep = angle(end) - a0;
    if (m_dc.arcClockwise) {
        sweep = std::fmod(-sweep, 360.0);
        if (sweep <= 0)
            sweep += 360;
        sweep = -sweep;
    } else {
        sweep = std::fmod(sweep, 360.0);
        if (sweep <= 0)
            sweep += 360;
    }
    if (joinCentre)
        path.moveTo(c);
    else
        path.arcMoveTo(r, a0);
    path.arcTo(r, a0, sweep);
    if (joinCentre || close)
        path.closeSubpath();
    return path;
}

void MetafilePlayer::setPixel(QPointF at, QColor color)
{
    QPainterPath pixel;
    pixel.addRect(QRectF(at, QSizeF(1, 1)));
    MetafileBrush solid;
    solid.color = color;
    fillPlain(pixel, solid);
}

void MetafilePlayer::fillDevice(const QPainterPath& device, QColor color)
{
    const QPainterPath image = m_deviceToImage.map(device);
    forgetAliased();
    if (!m_painter) {
        note(image.boundingRect());
        return;
    }
    m_painter->setTransform(QTransform());
    m_painter->fillPath(image, color);
}

void MetafilePlayer::fillPlain(const QPainterPath& path, const MetafileBrush& brush)
{
    const int rop2 = std::exchange(m_dc.rop2, int(R2CopyPen));
    fillWith(path, brush);
    m_dc.rop2 = rop2;
}

} // namespace tessivo
