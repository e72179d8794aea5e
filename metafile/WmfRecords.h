#pragma once

// The layout of a Windows metafile: its two headers, its records and where each record keeps
// its parameters, and the one walk over its record list that the checks and the player share.
// Parameter offsets count in bytes from the end of a record's size and function. Points come as
// y before x, sizes as height before width and rectangles as bottom, right, top, left.

#include <QByteArrayView>

#include <functional>

namespace tessivo::wmf {

// The placeable header before the standard one: the key, a handle, the frame (left, top, right,
// bottom, 16 bits each) and the units per inch the frame is in.
constexpr qsizetype PlaceableHeaderBytes = 22;
constexpr qsizetype FrameLeftAt = 6;
constexpr qsizetype FrameTopAt = 8;
constexpr qsizetype FrameRightAt = 10;
constexpr qsizetype FrameBottomAt = 12;
constexpr qsizetype UnitsPerInchAt = 14;

// The header every Windows metafile has: how many objects its records create at most, and its
// largest record, in words.
constexpr qsizetype HeaderBytes = 18;
constexpr qsizetype ObjectCountAt = 10;
constexpr qsizetype LargestRecordWordsAt = 12;

// Each record: its size in 16-bit words (32 bits), then its function (16 bits), then its
// parameters.
constexpr qsizetype RecordHeaderBytes = 6;
constexpr qsizetype RecordFunctionAt = 4;
constexpr qsizetype BytesPerWord = 2;

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

// Records of one parameter (a mode, a colour, an object's index, a saved state) and records of
// one point or size, or one rectangle.
constexpr qsizetype ValueAt = 0;
constexpr qsizetype PointAt = 0;
constexpr qsizetype RectAt = 0;

// Where the records keep their parameters.
struct ScaleExtAt { // SCALEWINDOWEXT, SCALEVIEWPORTEXT
    static constexpr qsizetype YDenom = 0, YNum = 2, XDenom = 4, XNum = 6;
};
struct PenAt { // CREATEPENINDIRECT
    static constexpr qsizetype Style = 0, Width = 2, Color = 6;
};
struct BrushAt { // CREATEBRUSHINDIRECT
    static constexpr qsizetype Style = 0, Color = 2, Hatch = 6;
};
struct PatternBrushAt { // DIBCREATEPATTERNBRUSH: style and colour usage, then the bitmap
    static constexpr qsizetype Bitmap = 4;
};
struct FontAt { // CREATEFONTINDIRECT
    static constexpr qsizetype Height = 0, Width = 2, Escapement = 4, Weight = 8, Italic = 10;
    static constexpr qsizetype Underline = 11, StrikeOut = 12, Charset = 13, Face = 18;
    static constexpr qsizetype FaceBytes = 32;
};
struct RegionAt { // CREATEREGION: its scans, each a count, a top, a bottom, then its pieces
    static constexpr qsizetype ScanCount = 10, Scans = 22;
    static constexpr qsizetype ScanHeaderBytes = 6, ScanCountAfterBytes = 2;
};
struct FillRegionAt {
    static constexpr qsizetype Region = 0, Brush = 2;
};
struct RoundRectAt {
    static constexpr qsizetype CornerHeight = 0, CornerWidth = 2, Box = 4;
};
struct ArcAt { // ARC, PIE, CHORD
    static constexpr qsizetype End = 0, Start = 4, Box = 8;
};
struct PolyAt { // POLYGON, POLYLINE: a count, then the points as x, y pairs
    static constexpr qsizetype Count = 0, Points = 2;
};
struct PolyPolygonAt { // a count of polygons, the count of each, then all their points
    static constexpr qsizetype Count = 0, Counts = 2;
};
constexpr qsizetype PointPairBytes = 4; // a point of a polygon: x, then y

struct SetPixelAt {
    static constexpr qsizetype Color = 0, Point = 4;
};
struct EscapeAt { // the escape's function, its byte count, then its data
    static constexpr qsizetype Function = 0, Bytes = 2, Data = 4;
};
// An enhanced metafile that some programs carry inside a Windows metafile, in comment escapes
// of a few kilobytes each, so that a reader that knows the newer format draws the picture with
// what the older one cannot hold (transparency, say). Within each escape's data: its identifier,
// kind and version, a checksum and flags, how many escapes carry the file, the bytes this one
// carries, those still to come and the whole file's, then this escape's part of it.
constexpr quint16 EscapeComment = 0x000F;
constexpr quint32 EmbeddedEmfIdentifier = 0x43464D57; // "WMFC"
constexpr quint32 EmbeddedEmfKind = 1;
constexpr quint32 EmbeddedEmfVersion = 0x00010000;
struct EmbeddedEmfAt {
    static constexpr qsizetype Identifier = 0, Kind = 4, Version = 8, Count = 18, PartBytes = 22,
                               RemainingBytes = 26, TotalBytes = 30, Part = 34;
};

struct TextOutAt { // a length, the string padded to whole words, then the point
    static constexpr qsizetype Length = 0, String = 2;
};
struct ExtTextOutAt { // the box is there only with EtoOpaque or EtoClipped, as left, top,
                      // right, bottom; then the string padded to whole words, then advances
    static constexpr qsizetype Point = 0, Length = 4, Options = 6, Box = 8, BoxBytes = 8;
};

// The raster operation leads the block transfers. A bit block transfer without a bitmap has a
// reserved word after it and works as a pattern blt.
constexpr qsizetype RopAt = 0;
struct PatBltAt {
    static constexpr qsizetype Size = 4, Destination = 8;
};
struct DibBitBltAt {
    static constexpr qsizetype Source = 4, Size = 8, Destination = 12, Bitmap = 16;
    static constexpr qsizetype PatternSize = 10, PatternDestination = 14;
};
struct DibStretchBltAt {
    static constexpr qsizetype SourceSize = 4, Source = 8, DestinationSize = 12;
    static constexpr qsizetype Destination = 16, Bitmap = 20;
    static constexpr qsizetype PatternSize = 14, PatternDestination = 18;
};
struct StretchDibAt { // the raster operation, the colour usage, then the rectangles
    static constexpr qsizetype SourceSize = 6, Source = 10, DestinationSize = 14;
    static constexpr qsizetype Destination = 18, Bitmap = 22;
};
struct SetDibToDevAt { // colour usage, scan count, first scan, then source and destination
    static constexpr qsizetype Source = 6, Size = 10, Destination = 14, Bitmap = 18;
};

// Whether a bit block transfer of this function and record size carries a bitmap.
bool BltCarriesBitmap(quint16 function, qint64 recordBytes);
// Where a record keeps its bitmap, after its other parameters; -1 for a record without one.
qsizetype BitmapAt(quint16 function, qint64 recordBytes);

// One record of the list: its function and its parameters.
struct Record {
    quint16 function = 0;
    QByteArrayView params;
};

// Walks the records of a Windows metafile whose standard header starts at headerAt, handing
// each to visit until its end record (only the end record of its own size ends the list: others
// are handed on). Each record must lie within the file and any bitmap in it must be whole; the
// walk stops at the first that does not, or when visit answers false. True when it reached the
// end record: a file that ends before it is cut short.
bool WalkRecords(QByteArrayView file, qsizetype headerAt,
                 const std::function<bool(const Record&)>& visit);

// The enhanced metafile the records carry, whole and in order; empty when they carry none, or
// parts that do not make up the file they announce.
QByteArray EmbeddedEmf(QByteArrayView file, qsizetype headerAt);

} // namespace tessivo::wmf
