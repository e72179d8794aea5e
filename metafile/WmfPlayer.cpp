// The records of a Windows metafile, played onto a MetafilePlayer, one family of records to a
// function. Where each record keeps its parameters is in WmfRecords.h.

#include "metafile/MetafileRecords.h"
#include "metafile/WmfRecords.h"

#include <QStringDecoder>

#include <optional>
#include <vector>

namespace tessivo {

namespace {

using namespace wmf;

constexpr quint32 EtoOpaqueOrClipped = EtoOpaque | EtoClipped;

// The escape that carries a miter limit, as a 32-bit whole number after the escape's function
// and byte count. (Windows metafiles have no record of their own for it.)
constexpr quint16 SetMiterLimitEscape = 0x0017;
constexpr quint16 MiterLimitBytes = 4;

// Font character sets whose text is not in the Western code page.
constexpr int DefaultCharset = 1;
constexpr int ShiftJisCharset = 128;
constexpr int HangulCharset = 129;
constexpr int Gb2312Charset = 134;
constexpr int ChineseBig5Charset = 136;

QStringDecoder decoderFor(int charset)
{
    const char* codec = "windows-1252";
    switch (charset) {
    case DefaultCharset: // the system's default: GBK on the systems this program is made for
    case Gb2312Charset: codec = "GBK"; break;
    case ShiftJisCharset: codec = "Shift_JIS"; break;
    case HangulCharset: codec = "EUC-KR"; break;
    case ChineseBig5Charset: codec = "Big5"; break;
    }
    QStringDecoder decoder(codec);
    return decoder.isValid() ? std::move(decoder) : QStringDecoder(QStringDecoder::Latin1);
}

// Text in the code page of its font's character set, and the advances the file gives for its
// bytes summed up for each UTF-16 unit of the text.
struct DecodedText {
    QString text;
    std::vector<double> advances;
};

DecodedText decodeText(QByteArrayView bytes, const RecordParams& p, qsizetype dxAt, int charset)
{
    DecodedText out;
    QStringDecoder decoder = decoderFor(charset);
    const bool spaced = dxAt >= 0 && p.holds(dxAt, bytes.size() * wmf::BytesPerWord);
    double pending = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (spaced)
            pending += p.at<qint16>(dxAt + i * wmf::BytesPerWord);
        const QString piece = decoder.decode(bytes.sliced(i, 1));
        for (qsizetype u = 0; u < piece.size(); ++u) {
            out.advances.push_back(u == 0 ? pending : 0);
            pending = 0;
        }
        out.text += piece;
    }
    out.text += decoder.decode(QByteArrayView());
    if (!spaced || out.advances.size() != std::size_t(out.text.size()))
        out.advances.clear();
    // Text ends at its first NUL, which some writers count in.
    const qsizetype nul = out.text.indexOf(QChar(0));
    if (nul >= 0) {
        out.text.truncate(nul);
        if (!out.advances.empty())
            out.advances.resize(std::size_t(nul));
    }
    return out;
}

QPointF pointAt(const RecordParams& p, qsizetype at) // y, then x
{
    return QPointF(p.at<qint16>(at + 2), p.at<qint16>(at));
}

QRectF rectAt(const RecordParams& p, qsizetype at) // bottom, right, top, left
{
    const double b = p.at<qint16>(at), r = p.at<qint16>(at + 2);
    const double t = p.at<qint16>(at + 4), l = p.at<qint16>(at + 6);
    return QRectF(QPointF(l, t), QPointF(r, b));
}

QSizeF sizeAt(const RecordParams& p, qsizetype at) // height, then width
{
    return QSizeF(p.at<qint16>(at + 2), p.at<qint16>(at));
}

double s16(const RecordParams& p, qsizetype at)
{
    return p.at<qint16>(at);
}

// Points as x, y pairs from offset, as many as the record holds of the count.
QPolygonF pointsAt(const RecordParams& p, qsizetype offset, qsizetype count)
{
    count = std::min(count, (p.size() - std::min(offset, p.size())) / PointPairBytes);
    QPolygonF points;
    points.reserve(count);
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype at = offset + PointPairBytes * i;
        points.append(QPointF(p.at<qint16>(at), p.at<qint16>(at + 2)));
    }
    return points;
}

// A region object: its scans, each a band of rows with the left and right of its pieces. None
// when it has more pieces than a record may draw, at four points each.
std::optional<QPainterPath> regionAt(const RecordParams& p)
{
    constexpr qsizetype ScanHeaderBytes = RegionAt::ScanHeaderBytes;
    QPainterPath region;
    qint64 pieces = 0;
    const int scans = p.at<quint16>(RegionAt::ScanCount);
    qsizetype at = RegionAt::Scans;
    for (int s = 0; s < scans && p.holds(at, ScanHeaderBytes); ++s) {
        const int count = p.at<quint16>(at);
        const double top = p.at<qint16>(at + 2), bottom = p.at<qint16>(at + 4);
        const qsizetype sides = at + ScanHeaderBytes;
        for (int i = 0; i + 1 < count && p.holds(sides + 2 * i, 4); i += 2) {
            if (++pieces * 4 > MaxRecordPoints)
                return std::nullopt;
            region.addRect(QRectF(QPointF(p.at<qint16>(sides + 2 * i), top),
                                  QPointF(p.at<qint16>(sides + 2 * i + 2), bottom)));
        }
        at = sides + 2 * qsizetype(count) + RegionAt::ScanCountAfterBytes;
    }
    return region;
}

MetafileObject penObject(const RecordParams& p)
{
    MetafileObject o;
    o.kind = MetafileObject::Pen;
    o.pen.style = p.at<quint16>(PenAt::Style);
    o.pen.width = std::abs(s16(p, PenAt::Width));
    o.pen.color = MetafileColor(p.at<quint32>(PenAt::Color));
    return o;
}

MetafileObject brushObject(const RecordParams& p)
{
    MetafileObject o;
    o.kind = MetafileObject::Brush;
    o.brush.style = p.at<quint16>(BrushAt::Style);
    o.brush.color = MetafileColor(p.at<quint32>(BrushAt::Color));
    o.brush.hatch = p.at<quint16>(BrushAt::Hatch);
    if (o.brush.style == BsPattern || o.brush.style == BsDibPattern)
        o.brush.style = BsSolid; // a pattern brush needs a bitmap, which this has not
    return o;
}

MetafileObject fontObject(const RecordParams& p)
{
    MetafileObject o;
    o.kind = MetafileObject::Font;
    o.font = FontFields<qint16, FontAt>(p);
    QByteArrayView face = p.bytes(FontAt::Face, FontAt::FaceBytes);
    if (const qsizetype nul = face.indexOf('\0'); nul >= 0)
        face = face.first(nul);
    o.font.face = decoderFor(o.font.charset).decode(face);
    return o;
}

class WmfPlay {
public:
    WmfPlay(MetafilePlayer& player, std::size_t objects)
        : m_player(player)
        , m_objects(objects)
        , m_masks(player)
    {
    }

    void record(quint16 function, const RecordParams& p);
    // Draws what is held back.
    void end() { m_masks.flush(); }

private:
    // The families of records: each plays a record of its own and answers whether it was one.
    bool state(quint16 function, const RecordParams& p);
    bool objects(quint16 function, const RecordParams& p);
    bool clipping(quint16 function, const RecordParams& p);
    bool drawing(quint16 function, const RecordParams& p);
    bool text(quint16 function, const RecordParams& p);
    bool bitmaps(quint16 function, const RecordParams& p);

    const MetafileObject* object(const RecordParams& p, qsizetype at) const
    {
        return m_objects.at(p.at<quint16>(at));
    }
    void select(const MetafileObject* o);
    void shape(quint16 function, const RecordParams& p);
    void polyPolygon(const RecordParams& p);
    void bitmap(const RecordParams& p, qsizetype dibAt, QRectF source, QRectF destination,
                quint32 rop, bool fromBottom);
    void drawText(QPointF at, QByteArrayView bytes, const RecordParams& p, qsizetype dxAt,
                  quint32 options, QRectF box);

    MetafilePlayer& m_player;
    MetafileObjects m_objects;
    MaskedBitmaps m_masks;
    int m_charset = 0;
};

void WmfPlay::record(quint16 function, const RecordParams& p)
{
    if (function != StretchDib && function != DibStretchBlt && function != DibBitBlt)
        m_masks.flush();
    m_player.nextRecord();
    for (const auto family : {&WmfPlay::state, &WmfPlay::objects, &WmfPlay::clipping,
                              &WmfPlay::drawing, &WmfPlay::text, &WmfPlay::bitmaps})
        if ((this->*family)(function, p))
            return;
    // Any other record is drawn as nothing.
}

// Saved states, modes, colours, the window and the viewport.
bool WmfPlay::state(quint16 function, const RecordParams& p)
{
    MetafilePlayer& pl = m_player;
    const auto value = [&] { return p.at<quint16>(ValueAt); };
    switch (function) {
    case SaveDc: pl.saveDc(); break;
    case RestoreDc: pl.restoreDc(p.at<qint16>(ValueAt)); break;
    case SetBkMode: pl.setBackgroundMode(value()); break;
    case SetMapMode: pl.setMapMode(value()); break;
    case SetRop2: pl.setRop2(value()); break;
    case SetPolyFillMode: pl.setFillRule(value() == 2 ? Qt::WindingFill : Qt::OddEvenFill); break;
    case SetTextAlign: pl.setTextAlign(value()); break;
    case SetBkColor: pl.setBackgroundColor(MetafileColor(p.at<quint32>(ValueAt))); break;
    case SetTextColor: pl.setTextColor(MetafileColor(p.at<quint32>(ValueAt))); break;
    case SetWindowOrg: pl.setWindowOrg(pointAt(p, PointAt)); break;
    case SetWindowExt: pl.setWindowExt(sizeAt(p, PointAt)); break;
    case SetViewportOrg: pl.setViewportOrg(pointAt(p, PointAt)); break;
    case SetViewportExt: pl.setViewportExt(sizeAt(p, PointAt)); break;
    case OffsetWindowOrg: pl.offsetWindowOrg(pointAt(p, PointAt)); break;
    case OffsetViewportOrg: pl.offsetViewportOrg(pointAt(p, PointAt)); break;
    case ScaleWindowExt:
    case ScaleViewportExt: {
        const double xNum = s16(p, ScaleExtAt::XNum), xDenom = s16(p, ScaleExtAt::XDenom);
        const double yNum = s16(p, ScaleExtAt::YNum), yDenom = s16(p, ScaleExtAt::YDenom);
        if (function == ScaleWindowExt)
            pl.scaleWindowExt(xNum, xDenom, yNum, yDenom);
        else
            pl.scaleViewportExt(xNum, xDenom, yNum, yDenom);
        break;
    }
    case Escape:
        if (p.at<quint16>(EscapeAt::Function) == SetMiterLimitEscape &&
            p.at<quint16>(EscapeAt::Bytes) >= MiterLimitBytes &&
            p.holds(EscapeAt::Data, MiterLimitBytes) && p.at<qint32>(EscapeAt::Data) >= 1)
            pl.setMiterLimit(p.at<qint32>(EscapeAt::Data));
        break;
    default: return false;
    }
    return true;
}

// Pens, brushes, fonts and regions: made, selected and deleted.
bool WmfPlay::objects(quint16 function, const RecordParams& p)
{
    switch (function) {
    case SelectObject: select(object(p, ValueAt)); break;
    case DeleteObject: m_objects.remove(p.at<quint16>(ValueAt)); break;
    case CreatePenIndirect: m_objects.add(penObject(p)); break;
    case CreateBrushIndirect: m_objects.add(brushObject(p)); break;
    case DibCreatePatternBrush:
        m_objects.add(PatternBrushObject(MetafileBitmap(p.from(PatternBrushAt::Bitmap), {})));
        break;
    case CreateFontIndirect: m_objects.add(fontObject(p)); break;
    case CreateRegion: {
        std::optional<QPainterPath> region = regionAt(p);
        if (!region) {
            m_player.refuse();
            break;
        }
        MetafileObject o;
        o.kind = MetafileObject::Region;
        o.region = std::move(*region);
        m_objects.add(std::move(o));
        break;
    }
    case CreatePalette:
    case CreatePatternBrush: {
        MetafileObject o;
        o.kind = MetafileObject::Other;
        m_objects.add(std::move(o));
        break;
    }
    default: return false;
    }
    return true;
}

void WmfPlay::select(const MetafileObject* o)
{
    if (!o)
        return;
    switch (o->kind) {
    case MetafileObject::Pen: m_player.setPen(o->pen); break;
    case MetafileObject::Brush: m_player.setBrush(o->brush); break;
    case MetafileObject::Font:
        m_player.setFont(o->font);
        m_charset = o->font.charset;
        break;
    case MetafileObject::Region: m_player.combineClip(o->region, RgnCopy); break;
    default: break;
    }
}

bool WmfPlay::clipping(quint16 function, const RecordParams& p)
{
    MetafilePlayer& pl = m_player;
    switch (function) {
    case IntersectClipRect: pl.intersectClipRect(rectAt(p, RectAt)); break;
    case ExcludeClipRect: pl.excludeClipRect(rectAt(p, RectAt)); break;
    case OffsetClipRgn: pl.offsetClip(pointAt(p, PointAt)); break;
    case SelectClipRegion: {
        const MetafileObject* o = object(p, ValueAt);
        if (o && o->kind == MetafileObject::Region)
            pl.combineClip(o->region, RgnCopy);
        else
            pl.combineDeviceClip(std::nullopt, RgnCopy);
        break;
    }
    default: return false;
    }
    return true;
}

// Lines, shapes, polygons, pixels and regions.
bool WmfPlay::drawing(quint16 function, const RecordParams& p)
{
    MetafilePlayer& pl = m_player;
    switch (function) {
    case MoveTo: pl.setCurrentPosition(pointAt(p, PointAt)); break;
    case LineTo: {
        QPainterPath path(pl.currentPosition());
        path.lineTo(pointAt(p, PointAt));
        pl.draw(path, false, true);
        pl.setCurrentPosition(pointAt(p, PointAt));
        break;
    }
    case Rectangle:
    case Ellipse:
    case RoundRect:
    case Arc:
    case Pie:
    case Chord: shape(function, p); break;
    case Polygon:
    case Polyline: { // of at most 65535 points, which no picture is refused for
        QPainterPath path;
        path.addPolygon(pointsAt(p, PolyAt::Points, p.at<quint16>(PolyAt::Count)));
        if (function == Polygon)
            path.closeSubpath();
        pl.draw(path, function == Polygon, true);
        break;
    }
    case PolyPolygon: polyPolygon(p); break;
    case SetPixel:
        pl.setPixel(pointAt(p, SetPixelAt::Point), MetafileColor(p.at<quint32>(SetPixelAt::Color)));
        break;
    case FillRegion: {
        const MetafileObject* region = object(p, FillRegionAt::Region);
        const MetafileObject* brush = object(p, FillRegionAt::Brush);
        if (region && brush && region->kind == MetafileObject::Region &&
            brush->kind == MetafileObject::Brush)
            pl.fillWith(region->region, brush->brush);
        break;
    }
    case PaintRegion:
        if (const MetafileObject* region = object(p, ValueAt);
            region && region->kind == MetafileObject::Region)
            pl.draw(region->region, true, false);
        break;
    default: return false;
    }
    return true;
}

// Rectangles, ellipses, rounded rectangles, arcs, pies and chords.
void WmfPlay::shape(quint16 function, const RecordParams& p)
{
    if (function == Arc || function == Pie || function == Chord) {
        const QPainterPath path =
            m_player.arcPath(rectAt(p, ArcAt::Box), pointAt(p, ArcAt::Start),
                             pointAt(p, ArcAt::End), function == Pie, function == Chord);
        m_player.draw(path, function != Arc, true);
        return;
    }
    QPainterPath path;
    const QRectF box = rectAt(p, function == RoundRect ? RoundRectAt::Box : RectAt).normalized();
    if (function == Rectangle)
        path.addRect(box);
    else if (function == Ellipse)
        path.addEllipse(box);
    else
        path.addRoundedRect(box, std::abs(s16(p, RoundRectAt::CornerWidth)) / 2,
                            std::abs(s16(p, RoundRectAt::CornerHeight)) / 2);
    m_player.draw(path, true, true);
}

void WmfPlay::polyPolygon(const RecordParams& p)
{
    const int polygons = p.at<quint16>(PolyPolygonAt::Count);
    const auto countOf = [&](int i) { return p.at<quint16>(PolyPolygonAt::Counts + 2 * i); };
    qsizetype at = PolyPolygonAt::Counts + 2 * qsizetype(polygons);
    qint64 total = 0;
    for (int i = 0; i < polygons; ++i)
        total += countOf(i);
    if (!m_player.admits(
            std::min(total, qint64(p.size() - std::min(at, p.size())) / PointPairBytes)))
        return;
    QPainterPath path;
    for (int i = 0; i < polygons && at < p.size(); ++i) {
        const qsizetype count = countOf(i);
        path.addPolygon(pointsAt(p, at, count));
        path.closeSubpath();
        at += PointPairBytes * count;
    }
    m_player.draw(path, true, true);
}

bool WmfPlay::text(quint16 function, const RecordParams& p)
{
    switch (function) {
    case TextOut: {
        const qsizetype length = p.at<quint16>(TextOutAt::Length);
        const qsizetype padded = (length + 1) / 2 * 2;
        drawText(pointAt(p, TextOutAt::String + padded), p.bytes(TextOutAt::String, length), p, -1,
                 0, {});
        break;
    }
    case ExtTextOut: {
        const qsizetype length = p.at<quint16>(ExtTextOutAt::Length);
        const quint32 options = p.at<quint16>(ExtTextOutAt::Options);
        QRectF box;
        qsizetype at = ExtTextOutAt::Box;
        if (options & EtoOpaqueOrClipped) {
            constexpr qsizetype Box = ExtTextOutAt::Box;
            box = QRectF(QPointF(s16(p, Box), s16(p, Box + 2)),
                         QPointF(s16(p, Box + 4), s16(p, Box + 6)));
            at += ExtTextOutAt::BoxBytes;
        }
        const qsizetype padded = (length + 1) / 2 * 2;
        drawText(pointAt(p, ExtTextOutAt::Point), p.bytes(at, length), p, at + padded, options,
                 box);
        break;
    }
    default: return false;
    }
    return true;
}

void WmfPlay::drawText(QPointF at, QByteArrayView bytes, const RecordParams& p, qsizetype dxAt,
                       quint32 options, QRectF box)
{
    const DecodedText decoded = decodeText(bytes, p, dxAt, m_charset);
    m_player.drawText(at, decoded.text, decoded.advances, options, box);
}

// Pattern blts and bitmaps. A bit block transfer without a bitmap works as a pattern blt.
bool WmfPlay::bitmaps(quint16 function, const RecordParams& p)
{
    MetafilePlayer& pl = m_player;
    const quint32 rop = p.at<quint32>(RopAt);
    const bool withBitmap = BltCarriesBitmap(function, p.size() + RecordHeaderBytes);
    switch (function) {
    case PatBlt:
        pl.patternBlt(QRectF(pointAt(p, PatBltAt::Destination), sizeAt(p, PatBltAt::Size)), rop);
        break;
    case DibBitBlt: {
        using At = DibBitBltAt;
        if (!withBitmap)
            pl.patternBlt(QRectF(pointAt(p, At::PatternDestination), sizeAt(p, At::PatternSize)),
                          rop);
        else
            bitmap(p, At::Bitmap, QRectF(pointAt(p, At::Source), sizeAt(p, At::Size)),
                   QRectF(pointAt(p, At::Destination), sizeAt(p, At::Size)), rop, false);
        break;
    }
    case DibStretchBlt: {
        using At = DibStretchBltAt;
        if (!withBitmap)
            pl.patternBlt(QRectF(pointAt(p, At::PatternDestination), sizeAt(p, At::PatternSize)),
                          rop);
        else
            bitmap(p, At::Bitmap, QRectF(pointAt(p, At::Source), sizeAt(p, At::SourceSize)),
                   QRectF(pointAt(p, At::Destination), sizeAt(p, At::DestinationSize)), rop, false);
        break;
    }
    case StretchDib: {
        using At = StretchDibAt;
        bitmap(p, At::Bitmap, QRectF(pointAt(p, At::Source), sizeAt(p, At::SourceSize)),
               QRectF(pointAt(p, At::Destination), sizeAt(p, At::DestinationSize)), rop, true);
        break;
    }
    case SetDibToDev: {
        using At = SetDibToDevAt;
        bitmap(p, At::Bitmap, QRectF(pointAt(p, At::Source), sizeAt(p, At::Size)),
               QRectF(pointAt(p, At::Destination), sizeAt(p, At::Size)), RopSrcCopy, true);
        break;
    }
    default: return false;
    }
    return true;
}

void WmfPlay::bitmap(const RecordParams& p, qsizetype dibAt, QRectF source, QRectF destination,
                     quint32 rop, bool fromBottom)
{
    const QImage image = MetafileBitmap(p.from(dibAt), {});
    if (image.isNull())
        return;
    // Stretched device-independent bitmaps count their source rows from the bottom.
    if (fromBottom)
        source.moveTop(image.height() - source.top() - source.height());
    m_masks.draw(image, source, destination, rop);
}

} // namespace

void PlayWmfRecords(QByteArrayView file, qsizetype headerAt, MetafilePlayer& player)
{
    if (file.size() < headerAt + HeaderBytes)
        return;
    WmfPlay play(player, readLe<quint16>(file, headerAt + ObjectCountAt));
    WalkRecords(file, headerAt, [&](const Record& record) {
        play.record(record.function, RecordParams(record.params));
        return !player.refused();
    });
    play.end();
}

} // namespace tessivo
