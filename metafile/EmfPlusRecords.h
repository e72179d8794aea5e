#pragma once

// The EMF+ records that dual enhanced metafiles carry inside comment records, ahead of plain
// records drawing the same thing without what only EMF+ can say (a brush's transparency, say).
// Their layout, one walk over the records of a comment, and EmfPlusPlay, which draws the fills
// of solid colour they hold and tells the plain player which of its records only repeat them.

#include "metafile/MetafileRecords.h"

#include <QTransform>

#include <vector>

namespace tessivo {

namespace emfplus {

// A comment record holding EMF+ records: its type, size, data size, then "EMF+" and the records.
constexpr quint32 Identifier = 0x2B464D45;
constexpr qsizetype IdentifierAt = 12;
constexpr qsizetype RecordsAt = 16;

// Each record: its type and flags (16 bits each), its size with this header and the size of its
// data (32 bits each); the size is a whole number of 32-bit words.
constexpr qsizetype RecordHeaderBytes = 12;
constexpr qsizetype FlagsAt = 2;
constexpr qsizetype SizeAt = 4;
constexpr qsizetype DataSizeAt = 8;

enum Type : quint16 {
    Header = 0x4001,
    EndOfFile = 0x4002,
    Comment = 0x4003,
    GetDc = 0x4004,
    Object = 0x4008,
    Clear = 0x4009,
    FillRects = 0x400A,
    FillPolygon = 0x400C,
    FillEllipse = 0x400E,
    FillPath = 0x4014,
    DrawString = 0x401C,
    SetRenderingOrigin = 0x401D,
    SetCompositingMode = 0x4023,
    SetCompositingQuality = 0x4024,
    Save = 0x4025,
    Restore = 0x4026,
    BeginContainerNoParams = 0x4028,
    EndContainer = 0x4029,
    SetWorldTransform = 0x402A,
    ResetWorldTransform = 0x402B,
    MultiplyWorldTransform = 0x402C,
    TranslateWorldTransform = 0x402D,
    ScaleWorldTransform = 0x402E,
    RotateWorldTransform = 0x402F,
    SetPageTransform = 0x4030,
    ResetClip = 0x4031,
    DrawDriverString = 0x4036,
    StrokeFillPath = 0x4037,
};

// Flags of the drawing records: the brush given as a colour (ARGB) rather than an object's
// number, points and rectangles as 16-bit integers rather than floats, points relative to the
// one before. Of the transform records: the new transform applied after the world's.
constexpr quint16 FlagColourBrush = 0x8000;
constexpr quint16 FlagShortPoints = 0x4000;
constexpr quint16 FlagRelativePoints = 0x0800;
constexpr quint16 FlagAppend = 0x2000;
// Of an object record: continued in the next record, the object's kind, its number.
constexpr quint16 FlagContinued = 0x8000;
constexpr int ObjectKindShift = 8;
constexpr quint16 ObjectKindMask = 0x7F;
constexpr quint16 ObjectNumberMask = 0xFF;
constexpr quint16 ObjectKindBrush = 1;
constexpr quint16 ObjectKindPath = 3;
constexpr quint32 BrushSolidColour = 0;
// A path object: after its version, how many points, how they are written (16-bit integers or
// floats, relative to the point before, the point types run-length encoded), the points, then a
// type for each point: its kind in the low four bits (start, line, Bézier), and a flag for the
// point that closes a figure.
constexpr qsizetype PathCountAt = 16, PathFlagsAt = 20, PathPointsAt = 24;
constexpr quint32 PathShortPoints = 0x4000, PathRunLengths = 0x1000, PathRelative = 0x0800;
constexpr quint8 PointKindMask = 0x0F, PointStart = 0, PointBezier = 3, PointCloses = 0x80;

// Where the fields are, counted from a record's start.
constexpr qsizetype HeaderDpiXAt = 20; // after its version and flags
constexpr qsizetype HeaderDpiYAt = 24;
constexpr qsizetype BrushAt = 12;        // a drawing record's brush, then
constexpr qsizetype CountAt = 16;        // how many points or rectangles, then
constexpr qsizetype PointsAt = 20;       // them
constexpr qsizetype EllipseBoxAt = 16;   // an ellipse's box follows its brush
constexpr qsizetype ObjectTypeAt = 16;   // a brush object's type, after its version
constexpr qsizetype ObjectColourAt = 20; // and a solid brush's colour
constexpr qsizetype TransformAt = 12;    // six floats: m11, m12, m21, m22, dx, dy
constexpr qsizetype ValueAt = 12;        // the first float of the other transform records
constexpr qsizetype StackIndexAt = 12;   // of a save and its restore

struct Record {
    quint16 type = 0;
    quint16 flags = 0;
    RecordParams params{QByteArrayView()}; // the whole record, its header included
};

// Calls visit for each record of a comment record's data in turn; false, with nothing visited,
// when the comment holds no EMF+ records, or when a record's sizes do not fit within it.
template <typename Visit> bool WalkRecords(const RecordParams& comment, Visit&& visit)
{
    if (comment.at<quint32>(IdentifierAt) != Identifier)
        return false;
    std::vector<Record> records;
    for (qsizetype at = RecordsAt; at < comment.size();) {
        const quint32 size = comment.at<quint32>(at + SizeAt);
        const quint32 dataSize = comment.at<quint32>(at + DataSizeAt);
        if (size < RecordHeaderBytes || size % 4 != 0 || !comment.holds(at, size) ||
            dataSize > size - RecordHeaderBytes)
            return false;
        const RecordParams record(comment.bytes(at, size));
        records.push_back(Record{record.at<quint16>(0), record.at<quint16>(FlagsAt), record});
        at += size;
    }
    for (const Record& record : records)
        visit(record);
    return true;
}

} // namespace emfplus

class MetafilePlayer;

// Plays the EMF+ records of a dual file: fills of solid colour (polygons, rectangles, ellipses)
// under the EMF+ world and page transforms. The plain records after such a fill, up to the next
// EMF+ record, repeat it: they draw their fills in its colour, which gives them the transparency
// they cannot hold, and nothing else; only when they fill nothing is the EMF+ shape drawn. (The
// plain shape is the better one: one program writes a curve's control points as the corners of
// the EMF+ polygon.) After an EMF+ record not drawn here, the plain records stay the drawing. A
// file whose EMF+ records set what is not followed (a clip, a compositing that replaces) is
// played from its plain records from there on.
class EmfPlusPlay {
public:
    explicit EmfPlusPlay(MetafilePlayer& player)
        : m_player(player)
    {
    }
    // A comment record; ignored unless it holds EMF+ records.
    void comment(const RecordParams& p);
    // The end of the records: a fill still waiting for its repeat is drawn.
    void end() { settle(); }

private:
    struct State {
        QTransform world;
        double pageScale = 1; // device pixels to a world unit
    };
    void record(const emfplus::Record& r);
    bool fills(const emfplus::Record& r);
    void settle();
    bool transforms(const emfplus::Record& r);
    bool saves(const emfplus::Record& r);
    std::optional<QColor> brush(const emfplus::Record& r) const;
    void multiply(const QTransform& t, quint16 flags);
    void giveUp()
    {
        settle();
        m_on = false;
    }

    MetafilePlayer& m_player;
    bool m_on = false; // the file's first comment began with an EMF+ header
    bool m_first = true;
    struct Fill {
        QPainterPath device;
        QColor colour;
    };
    std::optional<Fill> m_fill; // the EMF+ fill the plain records now being read repeat
    QSizeF m_dpi{96, 96};
    State m_state;
    std::vector<std::pair<quint32, State>> m_saved;
    std::vector<std::optional<QColor>> m_brushes = std::vector<std::optional<QColor>>(256);
    std::vector<std::optional<QPainterPath>> m_paths =
        std::vector<std::optional<QPainterPath>>(256);
};

} // namespace tessivo
