#pragma once

// The parts of enhanced metafile records, read from a record's bytes (offsets count from the
// record's start), and the records drawn by functions of their own.

#include "loading/MetafileRecords.h"

#include <QPolygonF>

#include <optional>

namespace tessivo {

QRectF EmfRect(const RecordParams& p, qsizetype at); // left, top, right, bottom
QPointF EmfPoint(const RecordParams& p, qsizetype at);
// As many points of count as the record holds: pairs of 16-bit numbers when small.
QPolygonF EmfPoints(const RecordParams& p, qsizetype at, qint64 count, bool small);
// How many points EmfPoints reads.
qint64 EmfPointsHeld(const RecordParams& p, qsizetype at, qint64 count, bool small);
// A region's rectangles (device units); none for a region of no bytes.
std::optional<QPainterPath> EmfRegion(const RecordParams& p, qsizetype at, quint32 bytes);
// How many rectangles EmfRegion reads.
qint64 EmfRegionRectangles(const RecordParams& p, qsizetype at);
// None when any of its numbers is not finite.
std::optional<QTransform> EmfTransform(const RecordParams& p, qsizetype at);
// The bitmap whose header and rows lie at the offsets (and sizes) the record gives at infoAt.
QImage EmfBitmap(const RecordParams& p, qsizetype infoAt, bool alpha = false);

// EXTTEXTOUTA and EXTTEXTOUTW.
void PlayEmfText(const RecordParams& p, bool wide, MetafilePlayer& player);
// GRADIENTFILL: rectangles shaded from one corner's colour to the other's; triangles take the
// average of their corners.
void PlayEmfGradient(const RecordParams& p, MetafilePlayer& player);

} // namespace tessivo
