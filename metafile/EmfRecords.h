#pragma once

// The layout of an enhanced metafile: its header record, its records and where each record
// keeps its parameters (offsets count from the record's start, its type and size included), and
// the one walk over its record list that the checks and the player share. Then the parts of
// records read from their bytes, and the records drawn by functions of their own.

#include "metafile/MetafileRecords.h"

#include <QPolygonF>

#include <functional>
#include <optional>

namespace tessivo::emf {

// The header record, the first of the file, and where its fields are: the bounds (device
// pixels) and the frame (0.01 mm), each as left, top, right and bottom at 32 bits; the sizes of
// the header and the file; how many objects its records create at most; the description
// (characters and offset); the reference device's size in pixels and in millimetres.
constexpr quint32 HeaderMinBytes = 88;
constexpr qsizetype HeaderBytesAt = 4;
constexpr qsizetype BoundsAt = 8;
constexpr qsizetype FrameAt = 24;
constexpr qsizetype FileBytesAt = 48;
constexpr qsizetype HandleCountAt = 56;
constexpr qsizetype DescriptionCharsAt = 60;
constexpr qsizetype DescriptionOffsetAt = 64;
constexpr qsizetype DevicePixelsAt = 72;
constexpr qsizetype DeviceMmAt = 80;
// A later header goes on with the reference device's size in micrometres, which the rounded
// millimetres only approximate (a frame of 241 pixels stated as 63 mm is 1.2 % off).
constexpr qsizetype DeviceMicrometresAt = 100;
constexpr quint32 HeaderWithMicrometresBytes = 108;

// Each record: its type and its size in bytes (32 bits each), a whole number of 32-bit words.
constexpr quint32 RecordHeaderBytes = 8;
constexpr qsizetype RecordBytesAt = 4;
constexpr quint32 RecordAlignment = 4;

enum Type : quint32 {
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
    Comment = 70,
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

// Records of one parameter (a mode, a colour, an object's index, a saved state) and records of
// one point or size, or one rectangle: right after the type and size.
constexpr qsizetype ValueAt = 8;
constexpr qsizetype PointAt = 8;
constexpr qsizetype SizeAt = 8;
constexpr qsizetype RectAt = 8;

// Where the records keep their parameters. The bitmap fields are where a record gives the
// offset and size of its bitmap's header, then of its rows (see EmfBitmap).
struct ScaleExtAt { // SCALEWINDOWEXTEX, SCALEVIEWPORTEXTEX
    static constexpr qsizetype XNum = 8, XDenom = 12, YNum = 16, YDenom = 20;
};
struct TransformAt { // SETWORLDTRANSFORM, MODIFYWORLDTRANSFORM (with its mode)
    static constexpr qsizetype Transform = 8, Mode = 32;
};
struct ClipRegionAt { // EXTSELECTCLIPRGN: the region's size in bytes, the mode, the region
    static constexpr qsizetype Bytes = 8, Mode = 12, Region = 16;
};
struct PixelAt {
    static constexpr qsizetype Point = 8, Color = 16;
};
// The records that create an object give the index it takes first.
constexpr qsizetype ObjectIndexAt = 8;
struct PenAt { // CREATEPEN
    static constexpr qsizetype Style = 12, Width = 16, Color = 24;
};
struct ExtPenAt { // EXTCREATEPEN
    static constexpr qsizetype Style = 28, Width = 32, BrushStyle = 36, Color = 40;
};
struct BrushAt { // CREATEBRUSHINDIRECT
    static constexpr qsizetype Style = 12, Color = 16, Hatch = 20;
};
struct PatternBrushAt { // CREATEMONOBRUSH, CREATEDIBPATTERNBRUSHPT
    static constexpr qsizetype Bitmap = 16;
};
struct FontAt { // EXTCREATEFONTINDIRECTW
    static constexpr qsizetype Height = 12, Width = 16, Escapement = 20, Weight = 28;
    static constexpr qsizetype Italic = 32, Underline = 33, StrikeOut = 34, Charset = 35;
    static constexpr qsizetype Face = 40, FaceBytes = 64;
};
struct PolyAt { // the bounds, then the count and the points
    static constexpr qsizetype Count = 24, Points = 28;
};
struct PolyPolyAt { // the bounds, the count of polygons and of all points, each count, the points
    static constexpr qsizetype Count = 24, Counts = 32, CountBytes = 4;
};
struct RoundRectAt { // the box, then the corner's width and height
    static constexpr qsizetype CornerWidth = 24, CornerHeight = 28;
};
struct ArcAt { // ARC, ARCTO, CHORD, PIE
    static constexpr qsizetype Box = 8, Start = 24, End = 32;
};
struct FillRgnAt { // the bounds, the region's size in bytes, the brush, the region
    static constexpr qsizetype Bytes = 24, Brush = 28, Region = 32;
};
struct PaintRgnAt {
    static constexpr qsizetype Bytes = 24, Region = 28;
};
// BITBLT, STRETCHBLT and ALPHABLEND (whose blend function stands where the others have their
// raster operation); without a bitmap header (BitmapInfoBytes zero) only the brush is drawn.
struct BltAt {
    static constexpr qsizetype Destination = 24, DestinationSize = 32, Rop = 40, Source = 44;
    static constexpr qsizetype Bitmap = 84, BitmapInfoBytes = 88, SourceSize = 100;
};
// STRETCHDIBITS, and SETDIBITSTODEVICE, which has neither raster operation nor destination
// size: its source's size is its destination's.
struct DiBitsAt {
    static constexpr qsizetype Destination = 24, Source = 32, SourceSize = 40, Bitmap = 48;
    static constexpr qsizetype Rop = 68, DestinationSize = 72;
};

// One record of the list: its type and all its bytes.
struct Record {
    quint32 type = 0;
    QByteArrayView bytes;
};

// Walks the records of an enhanced metafile of fileBytes bytes, the header record first, handing
// each to visit until the end-of-file record. Each record must be at least a type and a size,
// a whole number of 32-bit words and lie within the file; the walk stops at the first that is
// not, or when visit answers false. True when it reached the end-of-file record.
bool WalkRecords(QByteArrayView file, qsizetype fileBytes,
                 const std::function<bool(const Record&)>& visit);

} // namespace tessivo::emf

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
