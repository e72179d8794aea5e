// The records of an enhanced metafile, played onto a MetafilePlayer. Offsets below count from
// the start of each record, its type and size included.

#include "loading/EmfRecords.h"

#include <cmath>
#include <vector>

namespace tessivo {

namespace {

constexpr qsizetype HandleCountAt = 56; // in the header record
constexpr qsizetype RecordBytesAt = 4;
constexpr quint32 RecordHeaderBytes = 8;
constexpr std::size_t MostObjects = 65536;
constexpr quint32 StockObject = 0x80000000;
constexpr quint32 PenTypeGeometric = 0x00010000;
constexpr quint32 ArcClockwise = 2;
constexpr quint32 AcSrcAlpha = 0x01000000; // in the blend function of an alpha blend

enum Record : quint32 {
    PolyBezier = 2,
    Polygon = 3,
    Polyline = 4,
    PolyBezierTo = 5,
    PolylineTo = 6,
    PolyPolyline = 7,
    PolyPolygon = 8,
    SetWindowExtEx = 9,
    SetWindowOrgEx = 10,
    SetViewportExtEx = 11,
    SetViewportOrgEx = 12,
    Eof = 14,
    SetPixelV = 15,
    SetMapMode = 17,
    SetBkMode = 18,
    SetPolyFillMode = 19,
    SetRop2 = 20,
    SetTextAlign = 22,
    SetTextColor = 24,
    SetBkColor = 25,
    OffsetClipRgn = 26,
    MoveToEx = 27,
    ExcludeClipRect = 29,
    IntersectClipRect = 30,
    ScaleViewportExtEx = 31,
    ScaleWindowExtEx = 32,
    SaveDc = 33,
    RestoreDc = 34,
    SetWorldTransform = 35,
    ModifyWorldTransform = 36,
    SelectObject = 37,
    CreatePen = 38,
    CreateBrushIndirect = 39,
    DeleteObject = 40,
    Ellipse = 42,
    Rectangle = 43,
    RoundRect = 44,
    Arc = 45,
    Chord = 46,
    Pie = 47,
    LineTo = 54,
    ArcTo = 55,
    SetArcDirection = 57,
    SetMiterLimit = 58,
    BeginPath = 59,
    EndPath = 60,
    CloseFigure = 61,
    FillPath = 62,
    StrokeAndFillPath = 63,
    StrokePath = 64,
    SelectClipPath = 67,
    AbortPath = 68,
    FillRgn = 71,
    PaintRgn = 74,
    ExtSelectClipRgn = 75,
    BitBlt = 76,
    StretchBlt = 77,
    SetDiBitsToDevice = 80,
    StretchDiBits = 81,
    ExtCreateFontIndirectW = 82,
    ExtTextOutA = 83,
    ExtTextOutW = 84,
    PolyBezier16 = 85,
    Polygon16 = 86,
    Polyline16 = 87,
    PolyBezierTo16 = 88,
    PolylineTo16 = 89,
    PolyPolyline16 = 90,
    PolyPolygon16 = 91,
    CreateMonoBrush = 93,
    CreateDibPatternBrushPt = 94,
    ExtCreatePen = 95,
    AlphaBlend = 114,
    GradientFill = 118,
};

class EmfPlay {
public:
    EmfPlay(MetafilePlayer& player, std::size_t objects)
        : m_player(player)
    {
        m_objects.resize(std::min(objects, MostObjects));
    }
    void record(quint32 type, const RecordParams& p);

private:
    void create(quint32 index, MetafileObject object)
    {
        if (index >= MostObjects)
            return;
        if (index >= m_objects.size())
            m_objects.resize(index + 1);
        m_objects[index] = std::move(object);
    }
    const MetafileObject* object(quint32 index) const
    {
        return index < m_objects.size() ? &m_objects[index] : nullptr;
    }
    // A record's points, or its region's rectangles; none when there are more than a record may
    // draw, and the player then refuses the picture.
    QPolygonF points(const RecordParams& p, qsizetype at, qint64 count, bool small)
    {
        if (!m_player.admits(EmfPointsHeld(p, at, count, small)))
            return {};
        return EmfPoints(p, at, count, small);
    }
    std::optional<QPainterPath> region(const RecordParams& p, qsizetype at, quint32 bytes)
    {
        if (!m_player.admits(4 * EmfRegionRectangles(p, at)))
            return std::nullopt;
        return EmfRegion(p, at, bytes);
    }
    void select(quint32 index);
    void shape(const QPainterPath& path, bool fill, bool stroke);
    void polyTo(const QPolygonF& points, bool bezier);

    MetafilePlayer& m_player;
    std::vector<MetafileObject> m_objects;
    QPainterPath m_path;
    bool m_inPath = false;
};

void EmfPlay::select(quint32 index)
{
    if (index & StockObject) {
        MetafileBrush brush;
        MetafilePen pen;
        switch (index & ~StockObject) {
        case 0: brush.color = Qt::white; break;
        case 1: brush.color = QColor(0xC0, 0xC0, 0xC0); break;
        case 2: brush.color = QColor(0x80, 0x80, 0x80); break;
        case 3: brush.color = QColor(0x40, 0x40, 0x40); break;
        case 4: brush.color = Qt::black; break;
        case 5: brush.style = BsNull; break;
        case 6:
            pen.color = Qt::white;
            m_player.setPen(pen);
            return;
        case 7: m_player.setPen(pen); return;
        case 8:
            pen.style = PsNull;
            m_player.setPen(pen);
            return;
        case 10:
        case 11:
        case 12:
        case 13:
        case 14:
        case 16:
        case 17: m_player.setFont(MetafileFont()); return;
        default: return;
        }
        m_player.setBrush(brush);
        return;
    }
    const MetafileObject* o = object(index);
    if (!o)
        return;
    switch (o->kind) {
    case MetafileObject::Pen: m_player.setPen(o->pen); break;
    case MetafileObject::Brush: m_player.setBrush(o->brush); break;
    case MetafileObject::Font: m_player.setFont(o->font); break;
    default: break;
    }
}

// A path gathers the shapes of many records, and is held to what one record may draw.
void EmfPlay::shape(const QPainterPath& path, bool fill, bool stroke)
{
    if (m_inPath) {
        m_path.addPath(path);
        m_player.admits(m_path.elementCount());
    } else {
        m_player.draw(path, fill, stroke);
    }
}

// Lines or Bézier curves on from the current position, which moves to their end.
void EmfPlay::polyTo(const QPolygonF& points, bool bezier)
{
    if (points.isEmpty())
        return;
    QPainterPath own(m_player.currentPosition());
    QPainterPath& path = m_inPath ? m_path : own;
    if (path.elementCount() == 0 || path.currentPosition() != m_player.currentPosition())
        path.moveTo(m_player.currentPosition());
    qsizetype i = 0;
    if (bezier) {
        for (; i + 2 < points.size(); i += 3)
            path.cubicTo(points[i], points[i + 1], points[i + 2]);
    } else {
        for (; i < points.size(); ++i)
            path.lineTo(points[i]);
    }
    m_player.setCurrentPosition(path.currentPosition());
    if (!m_inPath)
        m_player.draw(own, false, true);
    else
        m_player.admits(m_path.elementCount());
}

void EmfPlay::record(quint32 type, const RecordParams& p)
{
    MetafilePlayer& pl = m_player;
    const auto u32 = [&](qsizetype at) { return p.at<quint32>(at); };
    const auto i32 = [&](qsizetype at) { return double(p.at<qint32>(at)); };
    switch (type) {
    case SaveDc: pl.saveDc(); break;
    case RestoreDc: pl.restoreDc(p.at<qint32>(8)); break;
    case SetBkMode: pl.setBackgroundMode(int(u32(8))); break;
    case SetMapMode: pl.setMapMode(int(u32(8))); break;
    case SetRop2: pl.setRop2(int(u32(8))); break;
    case SetPolyFillMode: pl.setFillRule(u32(8) == 2 ? Qt::WindingFill : Qt::OddEvenFill); break;
    case SetTextAlign: pl.setTextAlign(u32(8)); break;
    case SetTextColor: pl.setTextColor(MetafileColor(u32(8))); break;
    case SetBkColor: pl.setBackgroundColor(MetafileColor(u32(8))); break;
    case SetArcDirection: pl.setArcClockwise(u32(8) == ArcClockwise); break;
    case SetMiterLimit: {
        // Written as a whole number by some programs and as a float by others.
        const quint32 raw = u32(8);
        pl.setMiterLimit(raw < 0x10000 ? double(raw) : double(p.f32(8)));
        break;
    }
    case SetWindowExtEx: pl.setWindowExt(QSizeF(i32(8), i32(12))); break;
    case SetWindowOrgEx: pl.setWindowOrg(EmfPoint(p, 8)); break;
    case SetViewportExtEx: pl.setViewportExt(QSizeF(i32(8), i32(12))); break;
    case SetViewportOrgEx: pl.setViewportOrg(EmfPoint(p, 8)); break;
    case ScaleWindowExtEx: pl.scaleWindowExt(i32(8), i32(12), i32(16), i32(20)); break;
    case ScaleViewportExtEx: pl.scaleViewportExt(i32(8), i32(12), i32(16), i32(20)); break;
    case SetWorldTransform:
        if (const std::optional<QTransform> t = EmfTransform(p, 8))
            pl.setWorldTransform(*t);
        break;
    case ModifyWorldTransform: {
        const std::optional<QTransform> t = EmfTransform(p, 8);
        switch (u32(32)) {
        case 1: pl.setWorldTransform(QTransform()); break;
        case 2:
            if (t)
                pl.setWorldTransform(*t * pl.worldTransform());
            break;
        case 3:
            if (t)
                pl.setWorldTransform(pl.worldTransform() * *t);
            break;
        case 4:
            if (t)
                pl.setWorldTransform(*t);
            break;
        default: break;
        }
        break;
    }
    case IntersectClipRect: pl.intersectClipRect(EmfRect(p, 8)); break;
    case ExcludeClipRect: pl.excludeClipRect(EmfRect(p, 8)); break;
    case OffsetClipRgn: pl.offsetClip(EmfPoint(p, 8)); break;
    case ExtSelectClipRgn: pl.combineDeviceClip(region(p, 16, u32(8)), int(u32(12))); break;
    case SelectClipPath: {
        QPainterPath clip = m_path;
        clip.setFillRule(pl.fillRule());
        pl.combineClip(clip, int(u32(8)));
        m_path = QPainterPath();
        break;
    }
    case SelectObject: select(u32(8)); break;
    case DeleteObject:
        if (const quint32 index = u32(8); index < m_objects.size())
            m_objects[index] = MetafileObject();
        break;
    case CreatePen:
    case ExtCreatePen: {
        MetafileObject o;
        o.kind = MetafileObject::Pen;
        const bool extended = type == ExtCreatePen;
        o.pen.style = u32(extended ? 28 : 12);
        o.pen.width = std::abs(i32(extended ? 32 : 16));
        o.pen.color = MetafileColor(u32(extended ? 40 : 24));
        if (extended && !(o.pen.style & PenTypeGeometric))
            o.pen.width = 0; // cosmetic: one pixel
        if (extended && u32(36) == BsNull)
            o.pen.style = PsNull;
        create(u32(8), std::move(o));
        break;
    }
    case CreateBrushIndirect: {
        MetafileObject o;
        o.kind = MetafileObject::Brush;
        o.brush.style = u32(12);
        o.brush.color = MetafileColor(u32(16));
        o.brush.hatch = int(u32(20));
        if (o.brush.style != BsNull && o.brush.style != BsHatched)
            o.brush.style = BsSolid;
        create(u32(8), std::move(o));
        break;
    }
    case CreateMonoBrush:
    case CreateDibPatternBrushPt: {
        MetafileObject o;
        o.kind = MetafileObject::Brush;
        o.brush.style = BsDibPattern;
        o.brush.color = Qt::black;
        o.brush.pattern = EmfBitmap(p, 16);
        create(u32(8), std::move(o));
        break;
    }
    case ExtCreateFontIndirectW: {
        MetafileObject o;
        o.kind = MetafileObject::Font;
        MetafileFont& f = o.font;
        f.height = i32(12);
        f.width = i32(16);
        f.escapement = p.at<qint32>(20);
        f.weight = p.at<qint32>(28);
        f.italic = p.at<quint8>(32) != 0;
        f.underline = p.at<quint8>(33) != 0;
        f.strikeOut = p.at<quint8>(34) != 0;
        f.charset = p.at<quint8>(35);
        const QByteArrayView face = p.bytes(40, 64);
        f.face =
            QString::fromUtf16(reinterpret_cast<const char16_t*>(face.data()), face.size() / 2);
        if (const qsizetype nul = f.face.indexOf(QChar(0)); nul >= 0)
            f.face.truncate(nul);
        create(u32(8), std::move(o));
        break;
    }
    case BeginPath:
        m_path = QPainterPath();
        m_inPath = true;
        break;
    case EndPath: m_inPath = false; break;
    case AbortPath:
        m_path = QPainterPath();
        m_inPath = false;
        break;
    case CloseFigure:
        if (m_inPath && m_path.elementCount() > 0) {
            m_path.closeSubpath();
            pl.setCurrentPosition(m_path.currentPosition());
        }
        break;
    case FillPath:
    case StrokePath:
    case StrokeAndFillPath:
        pl.draw(m_path, type != StrokePath, type != FillPath);
        m_path = QPainterPath();
        break;
    case MoveToEx:
        pl.setCurrentPosition(EmfPoint(p, 8));
        if (m_inPath)
            m_path.moveTo(EmfPoint(p, 8));
        break;
    case LineTo: polyTo(QPolygonF({EmfPoint(p, 8)}), false); break;
    case PolylineTo:
    case PolylineTo16:
    case PolyBezierTo:
    case PolyBezierTo16:
        polyTo(points(p, 28, u32(24), type >= PolyBezier16),
               type == PolyBezierTo || type == PolyBezierTo16);
        break;
    case Polygon:
    case Polygon16:
    case Polyline:
    case Polyline16:
    case PolyBezier:
    case PolyBezier16: {
        const QPolygonF corners = points(p, 28, u32(24), type >= PolyBezier16);
        QPainterPath path;
        if (type == PolyBezier || type == PolyBezier16) {
            if (!corners.isEmpty())
                path.moveTo(corners[0]);
            for (qsizetype i = 1; i + 2 < corners.size(); i += 3)
                path.cubicTo(corners[i], corners[i + 1], corners[i + 2]);
        } else {
            path.addPolygon(corners);
        }
        const bool polygon = type == Polygon || type == Polygon16;
        if (polygon)
            path.closeSubpath();
        shape(path, polygon, true);
        break;
    }
    case PolyPolygon:
    case PolyPolygon16:
    case PolyPolyline:
    case PolyPolyline16: {
        const bool small = type == PolyPolygon16 || type == PolyPolyline16;
        const bool polygon = type == PolyPolygon || type == PolyPolygon16;
        const quint32 polys = u32(24);
        if (!p.holds(32, qsizetype(polys) * 4))
            break;
        qsizetype at = 32 + qsizetype(polys) * 4;
        qint64 total = 0;
        for (quint32 i = 0; i < polys; ++i)
            total += u32(32 + 4 * qsizetype(i));
        if (!pl.admits(EmfPointsHeld(p, at, total, small)))
            break;
        QPainterPath path;
        for (quint32 i = 0; i < polys && at < p.size(); ++i) {
            const quint32 count = u32(32 + 4 * qsizetype(i));
            path.addPolygon(EmfPoints(p, at, count, small));
            if (polygon)
                path.closeSubpath();
            at += qsizetype(std::min<quint32>(count, quint32(p.size()))) * (small ? 4 : 8);
        }
        shape(path, polygon, true);
        break;
    }
    case Rectangle:
    case Ellipse:
    case RoundRect: {
        QPainterPath path;
        const QRectF box = EmfRect(p, 8).normalized();
        if (type == Rectangle)
            path.addRect(box);
        else if (type == Ellipse)
            path.addEllipse(box);
        else
            path.addRoundedRect(box, std::abs(i32(24)) / 2, std::abs(i32(28)) / 2);
        shape(path, true, true);
        break;
    }
    case Arc:
    case ArcTo:
    case Chord:
    case Pie: {
        QPainterPath path =
            pl.arcPath(EmfRect(p, 8), EmfPoint(p, 24), EmfPoint(p, 32), type == Pie, type == Chord);
        if (type == ArcTo) {
            QPainterPath joined(pl.currentPosition());
            joined.connectPath(path);
            path = joined;
            pl.setCurrentPosition(path.currentPosition());
        }
        shape(path, type == Chord || type == Pie, true);
        break;
    }
    case SetPixelV: pl.setPixel(EmfPoint(p, 8), MetafileColor(u32(16))); break;
    case FillRgn:
        if (const MetafileObject* brush = object(u32(28));
            brush && brush->kind == MetafileObject::Brush)
            if (const std::optional<QPainterPath> rects = region(p, 32, u32(24)))
                pl.fillRegion(*rects, &brush->brush);
        break;
    case PaintRgn:
        if (const std::optional<QPainterPath> rects = region(p, 28, u32(24)))
            pl.fillRegion(*rects, nullptr);
        break;
    case BitBlt:
    case StretchBlt:
    case AlphaBlend: {
        const QRectF destination(EmfPoint(p, 24), QSizeF(i32(32), i32(36)));
        if (u32(88) == 0) { // no bitmap: the brush alone
            pl.patternBlt(destination, u32(40));
            break;
        }
        const bool alpha = type == AlphaBlend && (u32(40) & AcSrcAlpha);
        const QImage image = EmfBitmap(p, 84, alpha);
        const QSizeF source = type == BitBlt ? destination.size() : QSizeF(i32(100), i32(104));
        pl.drawBitmap(image, QRectF(EmfPoint(p, 44), source), destination,
                      type == AlphaBlend ? 0x00CC0020 : u32(40));
        break;
    }
    case StretchDiBits:
    case SetDiBitsToDevice: {
        const QImage image = EmfBitmap(p, 48);
        if (image.isNull())
            break;
        QRectF source(EmfPoint(p, 32), QSizeF(i32(40), i32(44)));
        // Rows of a device-independent bitmap count from its bottom.
        source.moveTop(image.height() - source.top() - source.height());
        const QSizeF size = type == StretchDiBits ? QSizeF(i32(72), i32(76)) : source.size();
        pl.drawBitmap(image, source, QRectF(EmfPoint(p, 24), size),
                      type == StretchDiBits ? u32(68) : 0x00CC0020);
        break;
    }
    case ExtTextOutA:
    case ExtTextOutW: PlayEmfText(p, type == ExtTextOutW, pl); break;
    case GradientFill: PlayEmfGradient(p, pl); break;
    default: break; // drawn as nothing
    }
}

} // namespace

void PlayEmfRecords(QByteArrayView file, qsizetype fileBytes, MetafilePlayer& player)
{
    fileBytes = std::min(fileBytes, file.size());
    if (fileBytes < HandleCountAt + 2)
        return;
    EmfPlay play(player, readLe<quint16>(file, HandleCountAt));
    qsizetype offset = 0;
    while (offset + qsizetype(RecordHeaderBytes) <= fileBytes) {
        const quint32 type = readLe<quint32>(file, offset);
        const quint32 recordBytes = readLe<quint32>(file, offset + RecordBytesAt);
        if (recordBytes < RecordHeaderBytes || recordBytes > fileBytes - offset)
            return;
        if (type == Eof)
            return;
        play.record(type, RecordParams(file.sliced(offset, recordBytes)));
        if (player.refused())
            return;
        offset += recordBytes;
    }
}

} // namespace tessivo
