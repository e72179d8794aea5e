// The records of a Windows metafile, played onto a MetafilePlayer. Parameters are 16-bit words,
// points given as y before x and rectangles as bottom, right, top, left.

#include "loading/MetafileRecords.h"

#include <QStringDecoder>

#include <optional>
#include <vector>

namespace tessivo {

namespace {

constexpr qsizetype HeaderBytes = 18;
constexpr qsizetype ObjectCountAt = 10;
constexpr qsizetype RecordHeaderBytes = 6;
constexpr qsizetype RecordFunctionAt = 4;
constexpr qsizetype BytesPerWord = 2;
constexpr std::size_t MostObjects = 65536;

enum Function : quint16 {
    Eof = 0x0000,
    SaveDc = 0x001E,
    SetBkMode = 0x0102,
    SetMapMode = 0x0103,
    SetRop2 = 0x0104,
    SetPolyFillMode = 0x0106,
    RestoreDc = 0x0127,
    SelectClipRegion = 0x012C,
    SelectObject = 0x012D,
    PaintRegion = 0x012B,
    SetTextAlign = 0x012E,
    DibCreatePatternBrush = 0x0142,
    DeleteObject = 0x01F0,
    SetBkColor = 0x0201,
    SetTextColor = 0x0209,
    SetWindowOrg = 0x020B,
    SetWindowExt = 0x020C,
    SetViewportOrg = 0x020D,
    SetViewportExt = 0x020E,
    OffsetWindowOrg = 0x020F,
    OffsetViewportOrg = 0x0211,
    LineTo = 0x0213,
    MoveTo = 0x0214,
    OffsetClipRgn = 0x0220,
    FillRegion = 0x0228,
    CreatePenIndirect = 0x02FA,
    CreateFontIndirect = 0x02FB,
    CreateBrushIndirect = 0x02FC,
    Polygon = 0x0324,
    Polyline = 0x0325,
    ScaleWindowExt = 0x0410,
    ScaleViewportExt = 0x0412,
    ExcludeClipRect = 0x0415,
    IntersectClipRect = 0x0416,
    Ellipse = 0x0418,
    Rectangle = 0x041B,
    SetPixel = 0x041F,
    TextOut = 0x0521,
    PolyPolygon = 0x0538,
    RoundRect = 0x061C,
    PatBlt = 0x061D,
    Escape = 0x0626,
    CreateRegion = 0x06FF,
    Arc = 0x0817,
    Pie = 0x081A,
    Chord = 0x0830,
    DibBitBlt = 0x0940,
    ExtTextOut = 0x0A32,
    DibStretchBlt = 0x0B41,
    SetDibToDev = 0x0D33,
    StretchDib = 0x0F43,
    // Objects drawn as nothing, which still take a place in the table.
    CreatePalette = 0x00F7,
    CreatePatternBrush = 0x01F9,
};

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
    const bool spaced = dxAt >= 0 && p.holds(dxAt, bytes.size() * BytesPerWord);
    double pending = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (spaced)
            pending += p.at<qint16>(dxAt + i * BytesPerWord);
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

QPointF pointAt(const RecordParams& p, int word) // y, then x
{
    return QPointF(p.at<qint16>(2 * (word + 1)), p.at<qint16>(2 * word));
}

QRectF rectAt(const RecordParams& p, int word) // bottom, right, top, left
{
    const double b = p.at<qint16>(2 * word), r = p.at<qint16>(2 * word + 2);
    const double t = p.at<qint16>(2 * word + 4), l = p.at<qint16>(2 * word + 6);
    return QRectF(QPointF(l, t), QPointF(r, b));
}

QSizeF sizeAt(const RecordParams& p, int word) // y, then x
{
    return QSizeF(p.at<qint16>(2 * (word + 1)), p.at<qint16>(2 * word));
}

// Points as x, y pairs from offset, as many as the record holds of the count.
QPolygonF pointsAt(const RecordParams& p, qsizetype offset, qsizetype count)
{
    count = std::min(count, (p.size() - std::min(offset, p.size())) / 4);
    QPolygonF points;
    points.reserve(count);
    for (qsizetype i = 0; i < count; ++i)
        points.append(QPointF(p.at<qint16>(offset + 4 * i), p.at<qint16>(offset + 4 * i + 2)));
    return points;
}

// A region object: its scans, each a band of rows with the left and right of its pieces. None
// when it has more pieces than a record may draw, at four points each.
std::optional<QPainterPath> regionAt(const RecordParams& p)
{
    constexpr qsizetype ScanCountAt = 10, ScansAt = 22;
    QPainterPath region;
    qint64 pieces = 0;
    const int scans = p.at<quint16>(ScanCountAt);
    qsizetype at = ScansAt;
    for (int s = 0; s < scans && p.holds(at, 6); ++s) {
        const int count = p.at<quint16>(at);
        const double top = p.at<qint16>(at + 2), bottom = p.at<qint16>(at + 4);
        for (int i = 0; i + 1 < count && p.holds(at + 6 + 2 * i, 4); i += 2) {
            if (++pieces * 4 > MaxRecordPoints)
                return std::nullopt;
            region.addRect(QRectF(QPointF(p.at<qint16>(at + 6 + 2 * i), top),
                                  QPointF(p.at<qint16>(at + 8 + 2 * i), bottom)));
        }
        at += 6 + 2 * qsizetype(count) + 2;
    }
    return region;
}

class WmfPlay {
public:
    WmfPlay(MetafilePlayer& player, std::size_t objects)
        : m_player(player)
    {
        m_objects.resize(std::min(objects, MostObjects));
    }

    void record(quint16 function, const RecordParams& p);

private:
    void create(MetafileObject object)
    {
        for (MetafileObject& slot : m_objects) {
            if (slot.kind == MetafileObject::Empty) {
                slot = std::move(object);
                return;
            }
        }
        if (m_objects.size() < MostObjects)
            m_objects.push_back(std::move(object));
    }
    const MetafileObject* object(const RecordParams& p, qsizetype at) const
    {
        const std::size_t index = p.at<quint16>(at);
        return index < m_objects.size() ? &m_objects[index] : nullptr;
    }
    void select(const MetafileObject* o);
    void bitmap(const RecordParams& p, qsizetype dibAt, QRectF source, QRectF destination,
                quint32 rop, bool fromBottom);
    void text(QPointF at, QByteArrayView bytes, const RecordParams& p, qsizetype dxAt,
              quint32 options, QRectF box);

    MetafilePlayer& m_player;
    std::vector<MetafileObject> m_objects;
    int m_charset = 0;
};

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

void WmfPlay::bitmap(const RecordParams& p, qsizetype dibAt, QRectF source, QRectF destination,
                     quint32 rop, bool fromBottom)
{
    const QImage image = MetafileBitmap(p.from(dibAt), {});
    if (image.isNull())
        return;
    // Stretched device-independent bitmaps count their source rows from the bottom.
    if (fromBottom)
        source.moveTop(image.height() - source.top() - source.height());
    m_player.drawBitmap(image, source, destination, rop);
}

void WmfPlay::text(QPointF at, QByteArrayView bytes, const RecordParams& p, qsizetype dxAt,
                   quint32 options, QRectF box)
{
    const DecodedText decoded = decodeText(bytes, p, dxAt, m_charset);
    m_player.drawText(at, decoded.text, decoded.advances, options, box);
}

void WmfPlay::record(quint16 function, const RecordParams& p)
{
    MetafilePlayer& pl = m_player;
    const auto s16 = [&](int word) { return double(p.at<qint16>(2 * word)); };
    switch (function) {
    case SaveDc: pl.saveDc(); break;
    case RestoreDc: pl.restoreDc(p.at<qint16>(0)); break;
    case SetBkMode: pl.setBackgroundMode(p.at<quint16>(0)); break;
    case SetMapMode: pl.setMapMode(p.at<quint16>(0)); break;
    case SetRop2: pl.setRop2(p.at<quint16>(0)); break;
    case SetPolyFillMode:
        pl.setFillRule(p.at<quint16>(0) == 2 ? Qt::WindingFill : Qt::OddEvenFill);
        break;
    case SetTextAlign: pl.setTextAlign(p.at<quint16>(0)); break;
    case SetBkColor: pl.setBackgroundColor(MetafileColor(p.at<quint32>(0))); break;
    case SetTextColor: pl.setTextColor(MetafileColor(p.at<quint32>(0))); break;
    case SetWindowOrg: pl.setWindowOrg(pointAt(p, 0)); break;
    case SetWindowExt: pl.setWindowExt(sizeAt(p, 0)); break;
    case SetViewportOrg: pl.setViewportOrg(pointAt(p, 0)); break;
    case SetViewportExt: pl.setViewportExt(sizeAt(p, 0)); break;
    case OffsetWindowOrg: pl.offsetWindowOrg(pointAt(p, 0)); break;
    case OffsetViewportOrg: pl.offsetViewportOrg(pointAt(p, 0)); break;
    case ScaleWindowExt: pl.scaleWindowExt(s16(3), s16(2), s16(1), s16(0)); break;
    case ScaleViewportExt: pl.scaleViewportExt(s16(3), s16(2), s16(1), s16(0)); break;
    case IntersectClipRect: pl.intersectClipRect(rectAt(p, 0)); break;
    case ExcludeClipRect: pl.excludeClipRect(rectAt(p, 0)); break;
    case OffsetClipRgn: pl.offsetClip(pointAt(p, 0)); break;
    case SelectObject: select(object(p, 0)); break;
    case SelectClipRegion: {
        const MetafileObject* o = object(p, 0);
        if (o && o->kind == MetafileObject::Region)
            pl.combineClip(o->region, RgnCopy);
        else
            pl.combineDeviceClip(std::nullopt, RgnCopy);
        break;
    }
    case DeleteObject:
        if (const std::size_t index = p.at<quint16>(0); index < m_objects.size())
            m_objects[index] = MetafileObject();
        break;
    case CreatePenIndirect: {
        MetafileObject o;
        o.kind = MetafileObject::Pen;
        o.pen.style = p.at<quint16>(0);
        o.pen.width = std::abs(s16(1));
        o.pen.color = MetafileColor(p.at<quint32>(6));
        create(std::move(o));
        break;
    }
    case CreateBrushIndirect: {
        MetafileObject o;
        o.kind = MetafileObject::Brush;
        o.brush.style = p.at<quint16>(0);
        o.brush.color = MetafileColor(p.at<quint32>(2));
        o.brush.hatch = p.at<quint16>(6);
        if (o.brush.style == BsPattern || o.brush.style == BsDibPattern)
            o.brush.style = BsSolid; // a pattern brush needs a bitmap, which this has not
        create(std::move(o));
        break;
    }
    case DibCreatePatternBrush: {
        MetafileObject o;
        o.kind = MetafileObject::Brush;
        o.brush.style = BsDibPattern;
        o.brush.color = Qt::black;
        o.brush.pattern = MetafileBitmap(p.from(4), {});
        create(std::move(o));
        break;
    }
    case CreateFontIndirect: {
        MetafileObject o;
        o.kind = MetafileObject::Font;
        MetafileFont& f = o.font;
        f.height = s16(0);
        f.width = s16(1);
        f.escapement = p.at<qint16>(4);
        f.weight = p.at<qint16>(8);
        f.italic = p.at<quint8>(10) != 0;
        f.underline = p.at<quint8>(11) != 0;
        f.strikeOut = p.at<quint8>(12) != 0;
        f.charset = p.at<quint8>(13);
        QByteArrayView face = p.bytes(18, 32);
        if (const qsizetype nul = face.indexOf('\0'); nul >= 0)
            face = face.first(nul);
        f.face = decoderFor(f.charset).decode(face);
        create(std::move(o));
        break;
    }
    case CreateRegion: {
        std::optional<QPainterPath> region = regionAt(p);
        if (!region) {
            pl.refuse();
            break;
        }
        MetafileObject o;
        o.kind = MetafileObject::Region;
        o.region = std::move(*region);
        create(std::move(o));
        break;
    }
    case CreatePalette:
    case CreatePatternBrush: {
        MetafileObject o;
        o.kind = MetafileObject::Other;
        create(std::move(o));
        break;
    }
    case MoveTo: pl.setCurrentPosition(pointAt(p, 0)); break;
    case LineTo: {
        QPainterPath path(pl.currentPosition());
        path.lineTo(pointAt(p, 0));
        pl.draw(path, false, true);
        pl.setCurrentPosition(pointAt(p, 0));
        break;
    }
    case Rectangle:
    case Ellipse:
    case RoundRect: {
        QPainterPath path;
        const QRectF box = rectAt(p, function == RoundRect ? 2 : 0).normalized();
        if (function == Rectangle)
            path.addRect(box);
        else if (function == Ellipse)
            path.addEllipse(box);
        else
            path.addRoundedRect(box, std::abs(s16(1)) / 2, std::abs(s16(0)) / 2);
        pl.draw(path, true, true);
        break;
    }
    case Arc:
    case Pie:
    case Chord: {
        const QPainterPath path = pl.arcPath(rectAt(p, 4), pointAt(p, 2), pointAt(p, 0),
                                             function == Pie, function == Chord);
        pl.draw(path, function != Arc, true);
        break;
    }
    case Polygon:
    case Polyline: { // of at most 65535 points, which no picture is refused for
        QPainterPath path;
        path.addPolygon(pointsAt(p, 2, p.at<quint16>(0)));
        if (function == Polygon)
            path.closeSubpath();
        pl.draw(path, function == Polygon, true);
        break;
    }
    case PolyPolygon: {
        const int polygons = p.at<quint16>(0);
        qsizetype at = 2 + 2 * qsizetype(polygons);
        qint64 total = 0;
        for (int i = 0; i < polygons; ++i)
            total += p.at<quint16>(2 + 2 * i);
        if (!pl.admits(std::min(total, qint64(p.size() - std::min(at, p.size())) / 4)))
            break;
        QPainterPath path;
        for (int i = 0; i < polygons && at < p.size(); ++i) {
            const qsizetype count = p.at<quint16>(2 + 2 * i);
            const QPolygonF points = pointsAt(p, at, count);
            path.addPolygon(points);
            path.closeSubpath();
            at += 4 * count;
        }
        pl.draw(path, true, true);
        break;
    }
    case SetPixel: pl.setPixel(pointAt(p, 2), MetafileColor(p.at<quint32>(0))); break;
    case FillRegion: {
        const MetafileObject* region = object(p, 0);
        const MetafileObject* brush = object(p, 2);
        if (region && brush && region->kind == MetafileObject::Region &&
            brush->kind == MetafileObject::Brush)
            pl.fillWith(region->region, brush->brush);
        break;
    }
    case PaintRegion:
        if (const MetafileObject* region = object(p, 0);
            region && region->kind == MetafileObject::Region)
            pl.draw(region->region, true, false);
        break;
    case Escape:
        if (p.at<quint16>(0) == SetMiterLimitEscape && p.at<quint16>(2) >= MiterLimitBytes &&
            p.holds(4, MiterLimitBytes) && p.at<qint32>(4) >= 1)
            pl.setMiterLimit(p.at<qint32>(4));
        break;
    case PatBlt: pl.patternBlt(QRectF(pointAt(p, 4), sizeAt(p, 2)), p.at<quint32>(0)); break;
    case DibBitBlt:
        // Without a bitmap its record has a reserved word more and works as a pattern blt.
        if (p.size() == 2 * ((function >> 8) + 3) - RecordHeaderBytes)
            pl.patternBlt(QRectF(pointAt(p, 7), sizeAt(p, 5)), p.at<quint32>(0));
        else
            bitmap(p, 16, QRectF(pointAt(p, 2), sizeAt(p, 4)), QRectF(pointAt(p, 6), sizeAt(p, 4)),
                   p.at<quint32>(0), false);
        break;
    case DibStretchBlt:
        if (p.size() == 2 * ((function >> 8) + 3) - RecordHeaderBytes)
            pl.patternBlt(QRectF(pointAt(p, 9), sizeAt(p, 7)), p.at<quint32>(0));
        else
            bitmap(p, 20, QRectF(pointAt(p, 4), sizeAt(p, 2)), QRectF(pointAt(p, 8), sizeAt(p, 6)),
                   p.at<quint32>(0), false);
        break;
    case StretchDib:
        bitmap(p, 22, QRectF(pointAt(p, 5), sizeAt(p, 3)), QRectF(pointAt(p, 9), sizeAt(p, 7)),
               p.at<quint32>(0), true);
        break;
    case SetDibToDev:
        bitmap(p, 18, QRectF(pointAt(p, 3), sizeAt(p, 5)), QRectF(pointAt(p, 7), sizeAt(p, 5)),
               0x00CC0020, true);
        break;
    case TextOut: {
        const qsizetype length = p.at<quint16>(0);
        const qsizetype padded = (length + 1) / 2 * 2;
        text(pointAt(p, int(1 + padded / 2)), p.bytes(2, length), p, -1, 0, {});
        break;
    }
    case ExtTextOut: {
        const qsizetype length = p.at<quint16>(4);
        const quint32 options = p.at<quint16>(6);
        QRectF box;
        qsizetype at = 8;
        if (options & EtoOpaqueOrClipped) {
            box = QRectF(QPointF(s16(4), s16(5)), QPointF(s16(6), s16(7)));
            at += 8;
        }
        const qsizetype padded = (length + 1) / 2 * 2;
        text(pointAt(p, 0), p.bytes(at, length), p, at + padded, options, box);
        break;
    }
    default: break; // drawn as nothing
    }
}

} // namespace

void PlayWmfRecords(QByteArrayView file, qsizetype headerAt, MetafilePlayer& player)
{
    if (file.size() < headerAt + HeaderBytes)
        return;
    WmfPlay play(player, readLe<quint16>(file, headerAt + ObjectCountAt));
    qsizetype offset = headerAt + HeaderBytes;
    while (offset + RecordHeaderBytes <= file.size()) {
        const qint64 recordBytes = qint64(readLe<quint32>(file, offset)) * BytesPerWord;
        const quint16 function = readLe<quint16>(file, offset + RecordFunctionAt);
        if (recordBytes < RecordHeaderBytes || recordBytes > file.size() - offset)
            return;
        if (function == Eof && recordBytes == RecordHeaderBytes)
            return;
        play.record(function, RecordParams(file.sliced(offset + RecordHeaderBytes,
                                                       recordBytes - RecordHeaderBytes)));
        if (player.refused())
            return;
        offset += recordBytes;
    }
}

} // namespace tessivo
