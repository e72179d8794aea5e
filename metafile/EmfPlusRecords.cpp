#include "metafile/EmfPlusRecords.h"

#include "metafile/MetafilePlayer.h"

#include <cmath>

namespace tessivo {

namespace {

using namespace emfplus;

// Units of the page transform, and how many of them make an inch.
enum Unit : quint16 {
    UnitDisplay = 1,
    UnitPixel = 2,
    UnitPoint = 3,
    UnitInch = 4,
    UnitDocument = 5,
    UnitMm = 6
};

constexpr quint16 CompositingSourceOver = 0;
constexpr qsizetype ShortPointBytes = 4, FloatPointBytes = 8;

QColor argb(quint32 value)
{
    return QColor::fromRgba(QRgb(value));
}

// The idx-th of count points or rectangle corners from at, as 16-bit integers or as floats.
double coordinate(const RecordParams& p, qsizetype at, qint64 index, bool small)
{
    return small ? double(p.at<qint16>(at + 2 * index)) : double(p.f32(at + 4 * index));
}

// A path object's outline, when it writes its points in a way read here.
std::optional<QPainterPath> pathObject(const RecordParams& p, MetafilePlayer& player)
{
    const quint32 count = p.at<quint32>(PathCountAt);
    const quint32 flags = p.at<quint32>(PathFlagsAt);
    const bool small = flags & PathShortPoints;
    const qsizetype typesAt =
        PathPointsAt + qsizetype(count) * (small ? ShortPointBytes : FloatPointBytes);
    if ((flags & (PathRelative | PathRunLengths)) ||
        !p.holds(PathPointsAt, typesAt - PathPointsAt) || !p.holds(typesAt, count) ||
        !player.admits(count))
        return std::nullopt;
    const auto point = [&](quint32 i) {
        return QPointF(coordinate(p, PathPointsAt, 2 * qint64(i), small),
                       coordinate(p, PathPointsAt, 2 * qint64(i) + 1, small));
    };
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    for (quint32 i = 0; i < count;) {
        const quint8 kind = p.at<quint8>(typesAt + i) & PointKindMask;
        if (kind == PointStart || path.elementCount() == 0) {
            path.moveTo(point(i));
        } else if (kind == PointBezier && count - i >= 3) {
            path.cubicTo(point(i), point(i + 1), point(i + 2));
            i += 2;
        } else {
            path.lineTo(point(i));
        }
        if (p.at<quint8>(typesAt + i) & PointCloses)
            path.closeSubpath();
        ++i;
    }
    return path;
}

} // namespace

void EmfPlusPlay::comment(const RecordParams& p)
{
    const bool first = std::exchange(m_first, false);
    if (!first && !m_on)
        return;
    WalkRecords(p, [&](const Record& r) {
        if (first && !m_on) {
            // Only a file that says it is EMF+ from its first comment on is read as one.
            if (r.type != Header)
                return;
            m_on = true;
            const double dpiX = r.params.at<quint32>(HeaderDpiXAt);
            const double dpiY = r.params.at<quint32>(HeaderDpiYAt);
            if (dpiX > 0 && dpiY > 0)
                m_dpi = QSizeF(dpiX, dpiY);
            return;
        }
        if (m_on)
            record(r);
    });
}

void EmfPlusPlay::settle()
{
    if (!m_fill)
        return;
    if (!m_player.repeatFilled())
        m_player.fillDevice(m_fill->device, m_fill->colour);
    m_player.setRepeating(std::nullopt);
    m_fill.reset();
}

void EmfPlusPlay::record(const Record& r)
{
    settle();
    switch (r.type) {
    case Header:
    case EndOfFile:
    case Comment: return;
    case GetDc: return;
    case Object: {
        const quint16 number = r.flags & ObjectNumberMask;
        const quint16 kind = (r.flags >> ObjectKindShift) & ObjectKindMask;
        std::optional<QColor>& brush = m_brushes[number];
        std::optional<QPainterPath>& path = m_paths[number];
        brush.reset();
        path.reset();
        if (r.flags & FlagContinued)
            return;
        if (kind == ObjectKindBrush && r.params.at<quint32>(ObjectTypeAt) == BrushSolidColour)
            brush = argb(r.params.at<quint32>(ObjectColourAt));
        else if (kind == ObjectKindPath)
            path = pathObject(r.params, m_player);
        return;
    }
    case ResetClip: return;
    case SetCompositingMode:
        if ((r.flags & 0xFF) != CompositingSourceOver)
            giveUp();
        return;
    default: break;
    }
    // Hints (antialiasing, text rendering, interpolation, pixel offset) change nothing here.
    if (r.type >= SetRenderingOrigin && r.type <= SetCompositingQuality)
        return;
    if (transforms(r) || saves(r))
        return;
    // Another drawing record leaves the plain records after it the drawing; a record that sets
    // what is not followed ends the reading.
    if (r.type == FillRects || r.type == FillPolygon || r.type == FillEllipse ||
        r.type == FillPath) {
        fills(r);
        return;
    }
    if (!(r.type >= Clear && r.type <= DrawString) && r.type != DrawDriverString &&
        r.type != StrokeFillPath)
        giveUp();
}

std::optional<QColor> EmfPlusPlay::brush(const Record& r) const
{
    const quint32 value = r.params.at<quint32>(BrushAt);
    if (r.flags & FlagColourBrush)
        return argb(value);
    return value < m_brushes.size() ? m_brushes[value] : std::nullopt;
}

bool EmfPlusPlay::fills(const Record& r)
{
    const std::optional<QColor> colour = brush(r);
    if (!colour || (r.flags & FlagRelativePoints))
        return false;
    const RecordParams& p = r.params;
    const bool small = r.flags & FlagShortPoints;
    QPainterPath path;
    path.setFillRule(Qt::OddEvenFill);
    if (r.type == FillPath) {
        const std::optional<QPainterPath>& object = m_paths[r.flags & ObjectNumberMask];
        if (!object)
            return false;
        path = *object;
    } else if (r.type == FillEllipse) {
        if (!p.holds(EllipseBoxAt, 4 * (small ? 2 : 4)))
            return false;
        const auto c = [&](int i) { return coordinate(p, EllipseBoxAt, i, small); };
        path.addEllipse(QRectF(c(0), c(1), c(2), c(3)));
    } else {
        const quint32 count = p.at<quint32>(CountAt);
        const qint64 numbers = qint64(count) * (r.type == FillRects ? 4 : 2);
        if (!p.holds(PointsAt, numbers * (small ? ShortPointBytes : FloatPointBytes) / 2) ||
            !m_player.admits(numbers / 2))
            return false;
        const auto c = [&](qint64 i) { return coordinate(p, PointsAt, i, small); };
        if (r.type == FillRects) {
            for (qint64 i = 0; i < numbers; i += 4)
                path.addRect(QRectF(c(i), c(i + 1), c(i + 2), c(i + 3)));
        } else {
            QPolygonF polygon;
            for (qint64 i = 0; i < numbers; i += 2)
                polygon << QPointF(c(i), c(i + 1));
            path.addPolygon(polygon);
            path.closeSubpath();
        }
    }
    const QTransform toDevice =
        m_state.world * QTransform::fromScale(m_state.pageScale, m_state.pageScale);
    m_fill = Fill{toDevice.map(path), *colour};
    m_player.setRepeating(*colour);
    return true;
}

bool EmfPlusPlay::transforms(const Record& r)
{
    const RecordParams& p = r.params;
    const auto value = [&](int i) { return double(p.f32(ValueAt + 4 * i)); };
    switch (r.type) {
    case SetWorldTransform:
        m_state.world = QTransform(value(0), value(1), value(2), value(3), value(4), value(5));
        break;
    case ResetWorldTransform: m_state.world = QTransform(); break;
    case MultiplyWorldTransform:
        multiply(QTransform(value(0), value(1), value(2), value(3), value(4), value(5)), r.flags);
        break;
    case TranslateWorldTransform:
        multiply(QTransform::fromTranslate(value(0), value(1)), r.flags);
        break;
    case ScaleWorldTransform: multiply(QTransform::fromScale(value(0), value(1)), r.flags); break;
    case RotateWorldTransform: multiply(QTransform().rotate(value(0)), r.flags); break;
    case SetPageTransform: {
        // Device pixels to the unit, at the resolution the header gives; the display and pixel
        // units are the device's own pixels.
        const double dpi = (m_dpi.width() + m_dpi.height()) / 2;
        double perUnit = 1;
        switch (r.flags & 0xFF) {
        case UnitDisplay:
        case UnitPixel: perUnit = 1; break;
        case UnitPoint: perUnit = dpi / 72; break;
        case UnitInch: perUnit = dpi; break;
        case UnitDocument: perUnit = dpi / 300; break;
        case UnitMm: perUnit = dpi / 25.4; break;
        default: giveUp(); return true;
        }
        m_state.pageScale = perUnit * value(0);
        break;
    }
    default: return false;
    }
    if (!m_state.world.isInvertible() || !std::isfinite(m_state.pageScale))
        giveUp();
    return true;
}

void EmfPlusPlay::multiply(const QTransform& t, quint16 flags)
{
    // Appended, the new transform acts after the world's; otherwise before it.
    m_state.world = (flags & FlagAppend) ? m_state.world * t : t * m_state.world;
}

bool EmfPlusPlay::saves(const Record& r)
{
    const quint32 index = r.params.at<quint32>(StackIndexAt);
    switch (r.type) {
    case Save:
    case BeginContainerNoParams:
        if (m_saved.size() < 4096)
            m_saved.emplace_back(index, m_state);
        return true;
    case Restore:
    case EndContainer:
        for (auto i = m_saved.size(); i-- > 0;) {
            if (m_saved[i].first == index) {
                m_state = m_saved[i].second;
                m_saved.resize(i);
                break;
            }
        }
        return true;
    default: return false;
    }
}

} // namespace tessivo
