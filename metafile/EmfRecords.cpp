// The walk over an enhanced metafile's records, and reading the parts of its records:
// rectangles, points, regions, transforms and bitmaps, and the text and gradient records.

#include "metafile/EmfRecords.h"

#include "loading/LittleEndian.h"

#include <QLinearGradient>
#include <QStringDecoder>

#include <cmath>

namespace tessivo::emf {

bool WalkRecords(QByteArrayView file, qsizetype fileBytes,
                 const std::function<bool(const Record&)>& visit)
{
    fileBytes = std::min(fileBytes, file.size());
    qsizetype offset = 0;
    while (offset + qsizetype(RecordHeaderBytes) <= fileBytes) {
        const quint32 type = readLe<quint32>(file, offset);
        const quint32 recordBytes = readLe<quint32>(file, offset + RecordBytesAt);
        if (recordBytes < RecordHeaderBytes || recordBytes % RecordAlignment != 0 ||
            recordBytes > fileBytes - offset)
            return false;
        if (type == Eof)
            return true;
        if (!visit(Record{type, file.sliced(offset, recordBytes)}))
            return false;
        offset += recordBytes;
    }
    return false;
}

} // namespace tessivo::emf

namespace tessivo {

namespace {

constexpr quint32 EtoPdy = 0x2000; // the advances come as pairs, x and y

// A region's data: its header, with the count of its rectangles, then the rectangles.
constexpr qsizetype RegionCountAt = 8, RegionRectsAt = 32, RegionRectBytes = 16;

} // namespace

QRectF EmfRect(const RecordParams& p, qsizetype at) // left, top, right, bottom
{
    return QRectF(QPointF(p.at<qint32>(at), p.at<qint32>(at + 4)),
                  QPointF(p.at<qint32>(at + 8), p.at<qint32>(at + 12)));
}

QPointF EmfPoint(const RecordParams& p, qsizetype at)
{
    return QPointF(p.at<qint32>(at), p.at<qint32>(at + 4));
}

qint64 EmfPointsHeld(const RecordParams& p, qsizetype at, qint64 count, bool small)
{
    const qsizetype step = small ? 4 : 8;
    return std::clamp<qint64>(count, 0, (p.size() - std::clamp(at, qsizetype(0), p.size())) / step);
}

QPolygonF EmfPoints(const RecordParams& p, qsizetype at, qint64 count, bool small)
{
    const qsizetype step = small ? 4 : 8;
    count = EmfPointsHeld(p, at, count, small);
    QPolygonF points;
    points.reserve(qsizetype(count));
    for (qsizetype i = 0; i < count; ++i, at += step)
        points.append(small ? QPointF(p.at<qint16>(at), p.at<qint16>(at + 2)) : EmfPoint(p, at));
    return points;
}

qint64 EmfRegionRectangles(const RecordParams& p, qsizetype at)
{
    const qint64 count = p.at<quint32>(at + RegionCountAt);
    if (at < 0 || !p.holds(at + RegionRectsAt, 0))
        return 0;
    return std::min<qint64>(count, (p.size() - at - RegionRectsAt) / RegionRectBytes);
}

std::optional<QPainterPath> EmfRegion(const RecordParams& p, qsizetype at, quint32 bytes)
{
    if (bytes == 0)
        return std::nullopt;
    QPainterPath region;
    const qint64 count = EmfRegionRectangles(p, at);
    for (qint64 i = 0; i < count; ++i)
        region.addRect(EmfRect(p, at + RegionRectsAt + RegionRectBytes * i).normalized());
    return region;
}

std::optional<QTransform> EmfTransform(const RecordParams& p, qsizetype at)
{
    const QTransform t(p.f32(at), p.f32(at + 4), p.f32(at + 8), p.f32(at + 12), p.f32(at + 16),
                       p.f32(at + 20));
    for (const double v : {t.m11(), t.m12(), t.m21(), t.m22(), t.dx(), t.dy()})
        if (!std::isfinite(v))
            return std::nullopt;
    return t;
}

QImage EmfBitmap(const RecordParams& p, qsizetype infoAt, bool alpha)
{
    const qsizetype offInfo = p.at<quint32>(infoAt), infoBytes = p.at<quint32>(infoAt + 4);
    const qsizetype offBits = p.at<quint32>(infoAt + 8), bitsBytes = p.at<quint32>(infoAt + 12);
    if (infoBytes == 0 || !p.holds(offInfo, infoBytes) || !p.holds(offBits, bitsBytes))
        return {};
    return MetafileBitmap(p.bytes(offInfo, infoBytes), p.bytes(offBits, bitsBytes), alpha);
}

void PlayEmfText(const RecordParams& p, bool wide, MetafilePlayer& player)
{
    constexpr qsizetype ReferenceAt = 36, CharsAt = 44, StringAt = 48, OptionsAt = 52;
    constexpr qsizetype BoxAt = 56, DxAt = 72;
    const qint64 chars = p.at<quint32>(CharsAt);
    const qsizetype stringAt = p.at<quint32>(StringAt);
    const quint32 options = p.at<quint32>(OptionsAt);
    const qsizetype unit = wide ? 2 : 1;
    if (chars > p.size() || !p.holds(stringAt, qsizetype(chars) * unit))
        return;
    const QByteArrayView raw = p.bytes(stringAt, qsizetype(chars) * unit);
    QString text;
    if (wide)
        text = QString::fromUtf16(reinterpret_cast<const char16_t*>(raw.data()), raw.size() / 2);
    else
        text = QStringDecoder("windows-1252").decode(raw);
    std::vector<double> advances;
    const qsizetype dxAt = p.at<quint32>(DxAt);
    const qsizetype stride = options & EtoPdy ? 8 : 4;
    if (dxAt > 0 && p.holds(dxAt, qsizetype(chars) * stride) && text.size() == chars) {
        for (qsizetype i = 0; i < chars; ++i)
            advances.push_back(p.at<qint32>(dxAt + i * stride));
    }
    if (const qsizetype nul = text.indexOf(QChar(0)); nul >= 0) {
        text.truncate(nul);
        if (!advances.empty())
            advances.resize(std::size_t(nul));
    }
    player.drawText(EmfPoint(p, ReferenceAt), text, advances, options, EmfRect(p, BoxAt));
}

void PlayEmfGradient(const RecordParams& p, MetafilePlayer& player)
{
    constexpr qsizetype VertexCountAt = 24, ShapeCountAt = 28, ModeAt = 32, VerticesAt = 36;
    constexpr qsizetype VertexBytes = 16;
    const quint32 vertices = p.at<quint32>(VertexCountAt);
    const quint32 shapes = p.at<quint32>(ShapeCountAt);
    const quint32 mode = p.at<quint32>(ModeAt);
    if (!p.holds(VerticesAt, qsizetype(vertices) * VertexBytes))
        return;
    const auto vertex = [&](quint32 i) { return EmfPoint(p, VerticesAt + i * VertexBytes); };
    const auto color = [&](quint32 i) {
        const qsizetype at = VerticesAt + qsizetype(i) * VertexBytes + 8;
        return QColor(p.at<quint16>(at) >> 8, p.at<quint16>(at + 2) >> 8,
                      p.at<quint16>(at + 4) >> 8);
    };
    const bool triangles = mode == 2;
    const qsizetype shapeBytes = triangles ? 12 : 8;
    qsizetype at = VerticesAt + qsizetype(vertices) * VertexBytes;
    for (quint32 s = 0; s < shapes && p.holds(at, shapeBytes); ++s, at += shapeBytes) {
        const quint32 a = p.at<quint32>(at), b = p.at<quint32>(at + 4);
        const quint32 c = triangles ? p.at<quint32>(at + 8) : 0;
        if (a >= vertices || b >= vertices || c >= vertices)
            continue;
        QPainterPath path;
        if (triangles) {
            path.addPolygon(QPolygonF({vertex(a), vertex(b), vertex(c)}));
            path.closeSubpath();
            const QColor ca = color(a), cb = color(b), cc = color(c);
            player.fillLogical(path, QColor((ca.red() + cb.red() + cc.red()) / 3,
                                            (ca.green() + cb.green() + cc.green()) / 3,
                                            (ca.blue() + cb.blue() + cc.blue()) / 3));
            continue;
        }
        const QRectF box = QRectF(vertex(a), vertex(b)).normalized();
        path.addRect(box);
        QLinearGradient shade(vertex(a), mode == 1 ? QPointF(vertex(a).x(), vertex(b).y())
                                                   : QPointF(vertex(b).x(), vertex(a).y()));
        shade.setColorAt(0, color(a));
        shade.setColorAt(1, color(b));
        player.fillLogical(path, shade);
    }
}

} // namespace tessivo
