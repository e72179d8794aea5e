// The records of an enhanced metafile, played onto a MetafilePlayer, one family of records to a
// function. Where each record keeps its parameters is in EmfRecords.h.

#include "metafile/EmfPlusRecords.h"
#include "metafile/EmfRecords.h"

#include <cmath>
#include <vector>

namespace tessivo {

namespace {

using namespace emf;

constexpr quint32 StockObject = 0x80000000;
constexpr quint32 PenTypeGeometric = 0x00010000;
constexpr quint32 ArcClockwise = 2;
constexpr quint32 AcSrcAlpha = 0x01000000; // in the blend function of an alpha blend

// How MODIFYWORLDTRANSFORM combines its transform with the world's.
enum WorldModify : quint32 {
    MwtIdentity = 1,
    MwtLeftMultiply = 2,
    MwtRightMultiply = 3,
    MwtSet = 4
};

double i32(const RecordParams& p, qsizetype at)
{
    return p.at<qint32>(at);
}

QSizeF sizeAt(const RecordParams& p, qsizetype at) // width, then height
{
    return QSizeF(i32(p, at), i32(p, at + 4));
}

MetafileObject penObject(quint32 type, const RecordParams& p)
{
    MetafileObject o;
    o.kind = MetafileObject::Pen;
    if (type == ExtCreatePen) {
        o.pen.style = p.at<quint32>(ExtPenAt::Style);
        o.pen.width = std::abs(i32(p, ExtPenAt::Width));
        o.pen.color = MetafileColor(p.at<quint32>(ExtPenAt::Color));
        if (!(o.pen.style & PenTypeGeometric))
            o.pen.width = 0; // cosmetic: one pixel
        if (p.at<quint32>(ExtPenAt::BrushStyle) == BsNull)
            o.pen.style = PsNull;
    } else {
        o.pen.style = p.at<quint32>(PenAt::Style);
        o.pen.width = std::abs(i32(p, PenAt::Width));
        o.pen.color = MetafileColor(p.at<quint32>(PenAt::Color));
    }
    return o;
}

MetafileObject brushObject(const RecordParams& p)
{
    MetafileObject o;
    o.kind = MetafileObject::Brush;
    o.brush.style = p.at<quint32>(BrushAt::Style);
    o.brush.color = MetafileColor(p.at<quint32>(BrushAt::Color));
    o.brush.hatch = int(p.at<quint32>(BrushAt::Hatch));
    if (o.brush.style != BsNull && o.brush.style != BsHatched)
        o.brush.style = BsSolid;
    return o;
}

MetafileObject fontObject(const RecordParams& p)
{
    MetafileObject o;
    o.kind = MetafileObject::Font;
    o.font = FontFields<qint32, FontAt>(p);
    const QByteArrayView face = p.bytes(FontAt::Face, FontAt::FaceBytes);
    QString& name = o.font.face;
    name = QString::fromUtf16(reinterpret_cast<const char16_t*>(face.data()), face.size() / 2);
    if (const qsizetype nul = name.indexOf(QChar(0)); nul >= 0)
        name.truncate(nul);
    return o;
}

class EmfPlay {
public:
    EmfPlay(MetafilePlayer& player, std::size_t objects)
        : m_player(player)
        , m_objects(objects)
        , m_plus(player)
        , m_masks(player)
    {
    }
    void record(quint32 type, const RecordParams& p);
    // Draws what is held back.
    void end()
    {
        m_masks.flush();
        m_plus.end();
    }

private:
    // The families of records: each plays a record of its own and answers whether it was one.
    bool state(quint32 type, const RecordParams& p);
    bool objects(quint32 type, const RecordParams& p);
    bool clipping(quint32 type, const RecordParams& p);
    bool paths(quint32 type, const RecordParams& p);
    bool lines(quint32 type, const RecordParams& p);
    bool shapes(quint32 type, const RecordParams& p);
    bool bitmaps(quint32 type, const RecordParams& p);
    bool text(quint32 type, const RecordParams& p);

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
    void modifyWorld(const RecordParams& p);
    void select(quint32 index);
    void shape(const QPainterPath& path, bool fill, bool stroke);
    void polyTo(const QPolygonF& points, bool bezier);
    void poly(quint32 type, const RecordParams& p);
    void polyPoly(quint32 type, const RecordParams& p);
    void blt(quint32 type, const RecordParams& p);
    void diBits(quint32 type, const RecordParams& p);

    MetafilePlayer& m_player;
    MetafileObjects m_objects;
    EmfPlusPlay m_plus;
    MaskedBitmaps m_masks;
    QPainterPath m_path;
    bool m_inPath = false;
};

void EmfPlay::record(quint32 type, const RecordParams& p)
{
    if (type == Comment) {
        m_plus.comment(p);
        return;
    }
    if (type != StretchDiBits)
        m_masks.flush();
    m_player.nextRecord();
    for (const auto family :
         {&EmfPlay::state, &EmfPlay::objects, &EmfPlay::clipping, &EmfPlay::paths, &EmfPlay::lines,
          &EmfPlay::shapes, &EmfPlay::bitmaps, &EmfPlay::text})
        if ((this->*family)(type, p))
            return;
    // Any other record is drawn as nothing.
}

// Saved states, modes, colours, the window, the viewport and the world transform.
bool EmfPlay::state(quint32 type, const RecordParams& p)
{
    MetafilePlayer& pl = m_player;
    const quint32 value = p.at<quint32>(ValueAt);
    switch (type) {
    case SaveDc: pl.saveDc(); break;
    case RestoreDc: pl.restoreDc(p.at<qint32>(ValueAt)); break;
    case SetBkMode: pl.setBackgroundMode(int(value)); break;
    case SetMapMode: pl.setMapMode(int(value)); break;
    case SetRop2: pl.setRop2(int(value)); break;
    case SetPolyFillMode: pl.setFillRule(value == 2 ? Qt::WindingFill : Qt::OddEvenFill); break;
    case SetTextAlign: pl.setTextAlign(value); break;
    case SetTextColor: pl.setTextColor(MetafileColor(value)); break;
    case SetBkColor: pl.setBackgroundColor(MetafileColor(value)); break;
    case SetArcDirection: pl.setArcClockwise(value == ArcClockwise); break;
    case SetMiterLimit:
        // Written as a whole number by some programs and as a float by others.
        pl.setMiterLimit(value < 0x10000 ? double(value) : double(p.f32(ValueAt)));
        break;
    case SetWindowExtEx: pl.setWindowExt(sizeAt(p, SizeAt)); break;
    case SetWindowOrgEx: pl.setWindowOrg(EmfPoint(p, PointAt)); break;
    case SetViewportExtEx: pl.setViewportExt(sizeAt(p, SizeAt)); break;
    case SetViewportOrgEx: pl.setViewportOrg(EmfPoint(p, PointAt)); break;
    case ScaleWindowExtEx:
    case ScaleViewportExtEx: {
        const double xNum = i32(p, ScaleExtAt::XNum), xDenom = i32(p, ScaleExtAt::XDenom);
        const double yNum = i32(p, ScaleExtAt::YNum), yDenom = i32(p, ScaleExtAt::YDenom);
        if (type == ScaleWindowExtEx)
            pl.scaleWindowExt(xNum, xDenom, yNum, yDenom);
        else
            pl.scaleViewportExt(xNum, xDenom, yNum, yDenom);
        break;
    }
    case SetWorldTransform:
        if (const std::optional<QTransform> t = EmfTransform(p, TransformAt::Transform))
            pl.setWorldTransform(*t);
        break;
    case ModifyWorldTransform: modifyWorld(p); break;
    default: return false;
    }
    return true;
}

void EmfPlay::modifyWorld(const RecordParams& p)
{
    MetafilePlayer& pl = m_player;
    const std::optional<QTransform> t = EmfTransform(p, TransformAt::Transform);
    switch (p.at<quint32>(TransformAt::Mode)) {
    case MwtIdentity: pl.setWorldTransform(QTransform()); break;
    case MwtLeftMultiply:
        if (t)
            pl.setWorldTransform(*t * pl.worldTransform());
        break;
    case MwtRightMultiply:
        if (t)
            pl.setWorldTransform(pl.worldTransform() * *t);
        break;
    case MwtSet:
        if (t)
            pl.setWorldTransform(*t);
        break;
    default: break;
    }
}

// Pens, brushes and fonts: made, selected and deleted.
bool EmfPlay::objects(quint32 type, const RecordParams& p)
{
    const quint32 index = p.at<quint32>(ObjectIndexAt);
    switch (type) {
    case SelectObject: select(index); break;
    case DeleteObject: m_objects.remove(index); break;
    case CreatePen:
    case ExtCreatePen: m_objects.put(index, penObject(type, p)); break;
    case CreateBrushIndirect: m_objects.put(index, brushObject(p)); break;
    case CreateMonoBrush:
    case CreateDibPatternBrushPt:
        m_objects.put(index, PatternBrushObject(EmfBitmap(p, PatternBrushAt::Bitmap)));
        break;
    case ExtCreateFontIndirectW: m_objects.put(index, fontObject(p)); break;
    default: return false;
    }
    return true;
}

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
    const MetafileObject* o = m_objects.at(index);
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

bool EmfPlay::clipping(quint32 type, const RecordParams& p)
{
    MetafilePlayer& pl = m_player;
    switch (type) {
    case IntersectClipRect: pl.intersectClipRect(EmfRect(p, RectAt)); break;
    case ExcludeClipRect: pl.excludeClipRect(EmfRect(p, RectAt)); break;
    case OffsetClipRgn: pl.offsetClip(EmfPoint(p, PointAt)); break;
    case ExtSelectClipRgn:
        pl.combineDeviceClip(region(p, ClipRegionAt::Region, p.at<quint32>(ClipRegionAt::Bytes)),
                             int(p.at<quint32>(ClipRegionAt::Mode)));
        break;
    case SelectClipPath: {
        QPainterPath clip = m_path;
        clip.setFillRule(pl.fillRule());
        pl.combineClip(clip, int(p.at<quint32>(ValueAt)));
        m_path = QPainterPath();
        break;
    }
    default: return false;
    }
    return true;
}

// A path gathers what the records between its beginning and its end draw, to be filled, stroked
// or made the clip.
bool EmfPlay::paths(quint32 type, const RecordParams&)
{
    switch (type) {
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
            m_player.setCurrentPosition(m_path.currentPosition());
        }
        break;
    case FillPath:
    case StrokePath:
    case StrokeAndFillPath:
        m_player.draw(m_path, type != StrokePath, type != FillPath);
        m_path = QPainterPath();
        break;
    default: return false;
    }
    return true;
}

// The current position, lines, polygons and Bézier curves.
bool EmfPlay::lines(quint32 type, const RecordParams& p)
{
    switch (type) {
    case MoveToEx:
        m_player.setCurrentPosition(EmfPoint(p, PointAt));
        if (m_inPath)
            m_path.moveTo(EmfPoint(p, PointAt));
        break;
    case LineTo: polyTo(QPolygonF({EmfPoint(p, PointAt)}), false); break;
    case PolylineTo:
    case PolylineTo16:
    case PolyBezierTo:
    case PolyBezierTo16:
        polyTo(points(p, PolyAt::Points, p.at<quint32>(PolyAt::Count), type >= PolyBezier16),
               type == PolyBezierTo || type == PolyBezierTo16);
        break;
    case Polygon:
    case Polygon16:
    case Polyline:
    case Polyline16:
    case PolyBezier:
    case PolyBezier16: poly(type, p); break;
    case PolyPolygon:
    case PolyPolygon16:
    case PolyPolyline:
    case PolyPolyline16: polyPoly(type, p); break;
    default: return false;
    }
    return true;
}

void EmfPlay::poly(quint32 type, const RecordParams& p)
{
    const QPolygonF corners =
        points(p, PolyAt::Points, p.at<quint32>(PolyAt::Count), type >= PolyBezier16);
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
}

void EmfPlay::polyPoly(quint32 type, const RecordParams& p)
{
    const bool small = type == PolyPolygon16 || type == PolyPolyline16;
    const bool polygon = type == PolyPolygon || type == PolyPolygon16;
    const quint32 polys = p.at<quint32>(PolyPolyAt::Count);
    if (!p.holds(PolyPolyAt::Counts, qsizetype(polys) * PolyPolyAt::CountBytes))
        return;
    const auto countOf = [&](quint32 i) {
        return p.at<quint32>(PolyPolyAt::Counts + PolyPolyAt::CountBytes * qsizetype(i));
    };
    qsizetype at = PolyPolyAt::Counts + qsizetype(polys) * PolyPolyAt::CountBytes;
    qint64 total = 0;
    for (quint32 i = 0; i < polys; ++i)
        total += countOf(i);
    if (!m_player.admits(EmfPointsHeld(p, at, total, small)))
        return;
    QPainterPath path;
    for (quint32 i = 0; i < polys && at < p.size(); ++i) {
        const quint32 count = countOf(i);
        path.addPolygon(EmfPoints(p, at, count, small));
        if (polygon)
            path.closeSubpath();
        at += qsizetype(std::min<quint32>(count, quint32(p.size()))) * (small ? 4 : 8);
    }
    shape(path, polygon, true);
}

// Rectangles, ellipses, arcs, pies and chords, pixels, regions and gradients.
bool EmfPlay::shapes(quint32 type, const RecordParams& p)
{
    MetafilePlayer& pl = m_player;
    switch (type) {
    case Rectangle:
    case Ellipse:
    case RoundRect: {
        QPainterPath path;
        const QRectF box = EmfRect(p, RectAt).normalized();
        if (type == Rectangle)
            path.addRect(box);
        else if (type == Ellipse)
            path.addEllipse(box);
        else
            path.addRoundedRect(box, std::abs(i32(p, RoundRectAt::CornerWidth)) / 2,
                                std::abs(i32(p, RoundRectAt::CornerHeight)) / 2);
        shape(path, true, true);
        break;
    }
    case Arc:
    case ArcTo:
    case Chord:
    case Pie: {
        QPainterPath path = pl.arcPath(EmfRect(p, ArcAt::Box), EmfPoint(p, ArcAt::Start),
                                       EmfPoint(p, ArcAt::End), type == Pie, type == Chord);
        if (type == ArcTo) {
            QPainterPath joined(pl.currentPosition());
            joined.connectPath(path);
            path = joined;
            pl.setCurrentPosition(path.currentPosition());
        }
        shape(path, type == Chord || type == Pie, true);
        break;
    }
    case SetPixelV:
        pl.setPixel(EmfPoint(p, PixelAt::Point), MetafileColor(p.at<quint32>(PixelAt::Color)));
        break;
    case FillRgn:
        if (const MetafileObject* brush = m_objects.at(p.at<quint32>(FillRgnAt::Brush));
            brush && brush->kind == MetafileObject::Brush)
            if (const std::optional<QPainterPath> rects =
                    region(p, FillRgnAt::Region, p.at<quint32>(FillRgnAt::Bytes)))
                pl.fillRegion(*rects, &brush->brush);
        break;
    case PaintRgn:
        if (const std::optional<QPainterPath> rects =
                region(p, PaintRgnAt::Region, p.at<quint32>(PaintRgnAt::Bytes)))
            pl.fillRegion(*rects, nullptr);
        break;
    case GradientFill: PlayEmfGradient(p, pl); break;
    default: return false;
    }
    return true;
}

bool EmfPlay::bitmaps(quint32 type, const RecordParams& p)
{
    switch (type) {
    case BitBlt:
    case StretchBlt:
    case AlphaBlend: blt(type, p); break;
    case StretchDiBits:
    case SetDiBitsToDevice: diBits(type, p); break;
    default: return false;
    }
    return true;
}

void EmfPlay::blt(quint32 type, const RecordParams& p)
{
    const QRectF destination(EmfPoint(p, BltAt::Destination), sizeAt(p, BltAt::DestinationSize));
    const quint32 rop = p.at<quint32>(BltAt::Rop);
    if (p.at<quint32>(BltAt::BitmapInfoBytes) == 0) { // no bitmap: the brush alone
        m_player.patternBlt(destination, rop);
        return;
    }
    const bool alpha = type == AlphaBlend && (rop & AcSrcAlpha);
    const QImage image = EmfBitmap(p, BltAt::Bitmap, alpha);
    const QSizeF source = type == BitBlt ? destination.size() : sizeAt(p, BltAt::SourceSize);
    m_player.drawBitmap(image, QRectF(EmfPoint(p, BltAt::Source), source), destination,
                        type == AlphaBlend ? RopSrcCopy : rop);
}

void EmfPlay::diBits(quint32 type, const RecordParams& p)
{
    const QImage image = EmfBitmap(p, DiBitsAt::Bitmap);
    if (image.isNull())
        return;
    QRectF source(EmfPoint(p, DiBitsAt::Source), sizeAt(p, DiBitsAt::SourceSize));
    // Rows of a device-independent bitmap count from its bottom.
    source.moveTop(image.height() - source.top() - source.height());
    const QSizeF size =
        type == StretchDiBits ? sizeAt(p, DiBitsAt::DestinationSize) : source.size();
    const QRectF destination(EmfPoint(p, DiBitsAt::Destination), size);
    const quint32 rop = type == StretchDiBits ? p.at<quint32>(DiBitsAt::Rop) : RopSrcCopy;
    m_masks.draw(image, source, destination, rop);
}

bool EmfPlay::text(quint32 type, const RecordParams& p)
{
    if (type != ExtTextOutA && type != ExtTextOutW)
        return false;
    PlayEmfText(p, type == ExtTextOutW, m_player);
    return true;
}

} // namespace

void PlayEmfRecords(QByteArrayView file, qsizetype fileBytes, MetafilePlayer& player)
{
    fileBytes = std::min(fileBytes, file.size());
    if (fileBytes < HandleCountAt + 2)
        return;
    EmfPlay play(player, readLe<quint16>(file, HandleCountAt));
    WalkRecords(file, fileBytes, [&](const Record& record) {
        play.record(record.type, RecordParams(record.bytes));
        return !player.refused();
    });
    play.end();
}

} // namespace tessivo
