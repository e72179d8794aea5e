#pragma once

// The drawing half of the metafile players: a device context as Windows metafiles and enhanced
// metafiles both know it (the mapping from logical units to the device, the world transform,
// the selected pen, brush and font, colours and modes, the clip, the saved states) and the
// drawing operations, which paint onto a QPainter. WmfPlayer and EmfPlayer read the records and
// call these. Without a painter the player only measures what would be drawn.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRectF>
#include <QString>
#include <QTransform>

#include <functional>
#include <optional>
#include <vector>

namespace tessivo {

struct DibHeader;

// A metafile's natural size is reckoned at this resolution.
constexpr double MetafilePixelsPerInch = 96.0;

// The most points one record may draw (a region counts four for each of its rectangles), and
// the most an enhanced metafile's path may gather before it is drawn; beyond them the picture is
// refused. Qt's fill makes several copies of a path, some hundred bytes a point in all, and
// does not check its allocations: a polygon of 8 million points took tessivo-metafile past its
// memory limit and crashed it. Real drawings stay far below a million: their largest outlines
// (a traced photograph, a detailed map) run to some tens of thousands of points. With a
// polygon of a million points on the largest picture allowed the helper stays under 400 MB of
// the 1.5 GiB it may use.
constexpr qint64 MaxRecordPoints = 1'000'000;

// Whether text can be drawn: fonts need a GUI application. Without one text is left out.
bool MetafileFontsAvailable();

// A colour as the files store it: 0x00BBGGRR.
QColor MetafileColor(quint32 colorRef);

enum MapMode : int {
    MmText = 1,
    MmLoMetric = 2,
    MmHiMetric = 3,
    MmLoEnglish = 4,
    MmHiEnglish = 5,
    MmTwips = 6,
    MmIsotropic = 7,
    MmAnisotropic = 8,
};

enum BackgroundMode : int { BkTransparent = 1, BkOpaque = 2 };

// Pen styles, and the end caps and joins of geometric pens.
enum PenStyle : quint32 {
    PsSolid = 0,
    PsDash = 1,
    PsDot = 2,
    PsDashDot = 3,
    PsDashDotDot = 4,
    PsNull = 5,
    PsInsideFrame = 6,
    PsStyleMask = 0x0F,
    PsCapMask = 0x0F00,
    PsCapSquare = 0x0100,
    PsCapFlat = 0x0200,
    PsJoinMask = 0xF000,
    PsJoinBevel = 0x1000,
    PsJoinMiter = 0x2000,
};

enum BrushStyle : quint32 {
    BsSolid = 0,
    BsNull = 1,
    BsHatched = 2,
    BsPattern = 3,
    BsDibPattern = 5
};

// Text alignment flags.
enum TextAlign : quint32 {
    TaUpdateCp = 1,
    TaRight = 2,
    TaCenter = 6,
    TaHorizontalMask = 6,
    TaBottom = 8,
    TaBaseline = 24,
    TaVerticalMask = 24,
};

// ExtTextOut options.
enum TextOptions : quint32 { EtoOpaque = 2, EtoClipped = 4 };

// The raster operation that copies a bitmap as it is, for the records that name none; those that
// OR and AND a bitmap onto the page.
constexpr quint32 RopSrcCopy = 0x00CC0020;
constexpr quint32 RopSrcPaint = 0x00EE0086;
constexpr quint32 RopSrcAnd = 0x008800C6;
// A picture made partly transparent by a mask of its size: white is opaque, black transparent,
// the greys between as their level.
QImage MaskedBitmap(const QImage& picture, const QImage& mask);

// How a pen or brush combines with the page (SETROP2): the pen's colour P and the page's D.
enum BinaryRop : int {
    R2Black = 1,
    R2NotMergePen = 2,  // ~(P | D)
    R2MaskNotPen = 3,   // ~P & D
    R2NotCopyPen = 4,   // ~P
    R2MaskPenNot = 5,   // P & ~D
    R2Not = 6,          // ~D
    R2XorPen = 7,       // P ^ D
    R2NotMaskPen = 8,   // ~(P & D)
    R2MaskPen = 9,      // P & D
    R2NotXorPen = 10,   // ~(P ^ D)
    R2Nop = 11,         // D
    R2MergeNotPen = 12, // ~P | D
    R2CopyPen = 13,     // P
    R2MergePenNot = 14, // P | ~D
    R2MergePen = 15,    // P | D
    R2White = 16,
};

// How a new clip region combines with the current one.
enum RegionMode : int { RgnAnd = 1, RgnOr = 2, RgnXor = 3, RgnDiff = 4, RgnCopy = 5 };

struct MetafilePen {
    quint32 style = PsSolid;
    double width = 0; // logical units; 0 draws one pixel wide whatever the mapping
    QColor color = Qt::black;
};

struct MetafileBrush {
    quint32 style = BsSolid;
    QColor color = Qt::white;
    int hatch = 0;
    QImage pattern; // for pattern brushes
};

struct MetafileFont {
    double height = 0;  // logical units; negative: the height of the characters alone
    double width = 0;   // the average character width, 0 for the face's own
    int escapement = 0; // tenths of a degree, counterclockwise
    int weight = 400;
    bool italic = false;
    bool underline = false;
    bool strikeOut = false;
    int charset = 0;
    QString face;
};

// An object a metafile creates and selects later by its index.
struct MetafileObject {
    enum Kind { Empty, Pen, Brush, Font, Region, Other } kind = Empty;
    MetafilePen pen;
    MetafileBrush brush;
    MetafileFont font;
    QPainterPath region; // logical units for a Windows metafile, device units for an enhanced one
};

class MetafilePlayer {
public:
    // deviceToImage places the metafile's device units (for a placeable Windows metafile, its
    // frame's units) on the picture. Initial window and viewport origins, and the viewport a
    // window maps onto when the file sets no viewport extent of its own: viewportFallback, when
    // given; without it a window set alone maps one to one.
    struct Setup {
        QTransform deviceToImage;
        QPointF origin;                         // of both the window and the viewport at start
        std::optional<QSizeF> viewportFallback; // device units
        double deviceUnitsPerMm = 96 / 25.4;
    };

    MetafilePlayer(QPainter* painter, const Setup& setup);

    // Everything drawn so far, in image pixels; for a player without a painter.
    QRectF measured() const { return m_measured; }

    // Whether a record may draw this many points. When it may not, the whole picture is refused:
    // the records after it are not played, and the picture reads as unreadable.
    bool admits(qint64 points)
    {
        if (points > MaxRecordPoints)
            m_refused = true;
        return !m_refused;
    }
    void refuse() { m_refused = true; }
    bool refused() const { return m_refused; }

    // The state, saved and restored whole. restoreDc takes a negative count relative to the
    // latest save, a positive one as the save's number.
    void saveDc();
    void restoreDc(int which);

    void setMapMode(int mode);
    void setWindowOrg(QPointF org);
    void setWindowExt(QSizeF ext);
    void setViewportOrg(QPointF org);
    void setViewportExt(QSizeF ext);
    void offsetWindowOrg(QPointF by);
    void offsetViewportOrg(QPointF by);
    void scaleWindowExt(double xNum, double xDenom, double yNum, double yDenom);
    void scaleViewportExt(double xNum, double xDenom, double yNum, double yDenom);
    QTransform worldTransform() const { return m_dc.world; }
    void setWorldTransform(const QTransform& world) { m_dc.world = world; }

    void setPen(const MetafilePen& pen) { m_dc.pen = pen; }
    void setBrush(const MetafileBrush& brush) { m_dc.brush = brush; }
    void setFont(const MetafileFont& font) { m_dc.font = font; }
    void setTextColor(QColor color) { m_dc.textColor = color; }
    void setBackgroundColor(QColor color) { m_dc.backgroundColor = color; }
    void setBackgroundMode(int mode) { m_dc.backgroundMode = mode; }
    void setFillRule(Qt::FillRule rule) { m_dc.fillRule = rule; }
    Qt::FillRule fillRule() const { return m_dc.fillRule; }
    void setTextAlign(quint32 align) { m_dc.textAlign = align; }
    void setArcClockwise(bool clockwise) { m_dc.arcClockwise = clockwise; }
    bool arcClockwise() const { return m_dc.arcClockwise; }
    void setMiterLimit(double limit) { m_dc.miterLimit = limit; }
    // Lines and fills (not text, bitmaps or gradients) combine with the page by this; others
    // are ignored.
    void setRop2(int rop)
    {
        if (rop >= R2Black && rop <= R2White)
            m_dc.rop2 = rop;
    }
    QPointF currentPosition() const { return m_dc.current; }
    void setCurrentPosition(QPointF at) { m_dc.current = at; }

    // Clipping, in logical units; regions of an enhanced metafile come in device units.
    void intersectClipRect(const QRectF& rect);
    void excludeClipRect(const QRectF& rect);
    void combineClip(const QPainterPath& logical, int mode);
    void combineDeviceClip(const std::optional<QPainterPath>& device, int mode);
    void offsetClip(QPointF by);

    // Fills with the brush and outlines with the pen, either one as asked.
    void draw(const QPainterPath& path, bool fill, bool stroke);
    // Fills with another brush, the background mode and colour applying to hatches.
    void fillWith(const QPainterPath& path, const MetafileBrush& brush);
    // Fills a region in device units with a brush, or the selected one.
    void fillRegion(const QPainterPath& device, const MetafileBrush* brush);
    // Fills with a brush given in logical units, a gradient say.
    void fillLogical(const QPainterPath& path, const QBrush& brush);
    // The path of an arc of the ellipse in box, from the direction of start to that of end, as
    // GDI draws it: counterclockwise unless arcClockwise().
    QPainterPath arcPath(const QRectF& box, QPointF start, QPointF end, bool joinCentre,
                         bool close) const;

    // Text at a reference point, with the advances of its characters when the file gives them.
    void drawText(QPointF at, const QString& text, const std::vector<double>& advances,
                  quint32 options, const QRectF& box);

    // A bitmap's source rectangle (in its own pixels) onto a destination in logical units, with
    // a raster operation of three operands (source, destination, brush).
    void drawBitmap(const QImage& bitmap, const QRectF& source, const QRectF& destination,
                    quint32 rop);
    // A raster operation without a source over a destination.
    void patternBlt(const QRectF& destination, quint32 rop);
    void setPixel(QPointF at, QColor color);
    // Fills a path in device units with a colour laid over what is there, whatever the raster
    // operation: the fills of EMF+ records.
    void fillDevice(const QPainterPath& device, QColor color);
    // The plain records of a dual file that repeat an EMF+ fill of this colour: while they are
    // read, the state follows them and their fills are drawn in the colour (the EMF+ record
    // gives the transparency the plain ones cannot), and nothing else of theirs is drawn.
    void setRepeating(std::optional<QColor> fill)
    {
        m_repeatFill = fill;
        m_repeatFilled = false;
    }
    // Whether the records repeating a fill have filled something.
    bool repeatFilled() const { return m_repeatFilled; }

    // Each record's start: the plain drawing a record made ends with it (see combine()).
    void nextRecord()
    {
        if (m_aliased)
            m_aliased->ended = true;
    }
    // Ends the drawing: where raster operations took the transparent page as white paper and
    // left it white, it is transparent again.
    void finish();

private:
    struct Dc {
        int mapMode = MmText;
        QPointF windowOrg, viewportOrg;
        std::optional<QSizeF> windowExt, viewportExt;
        QTransform world;
        MetafilePen pen;
        MetafileBrush brush;
        MetafileFont font;
        QColor textColor = Qt::black;
        QColor backgroundColor = Qt::white;
        int backgroundMode = BkOpaque;
        Qt::FillRule fillRule = Qt::OddEvenFill;
        quint32 textAlign = 0;
        bool arcClockwise = false;
        double miterLimit = 10;
        int rop2 = R2CopyPen;
        QPointF current;
        std::optional<QPainterPath> clip; // image pixels
    };

    QTransform pageTransform() const;
    QTransform logicalToImage() const { return m_dc.world * pageTransform() * m_deviceToImage; }
    void fillImage(const QPainterPath& image, const MetafileBrush& brush);
    bool fillRepeat(const QPainterPath& image);
    void note(const QRectF& imageRect);
    void setClip(std::optional<QPainterPath> clip);
    void combineImageClip(const QPainterPath& image, int mode);
    QPainterPath wholePicture() const;
    // Paints with the painter in a raster operation over area (image pixels). The page there is
    // first made the white paper it will be shown on: it starts transparent, and a raster
    // operation combines with what is under it. SourceOver paints as it is.
    void combine(QPainter::CompositionMode mode, const QRectF& area,
                 const std::function<void()>& paint);
    void toPaper(const QRectF& bounds);
    // The page when the painter paints onto an image of its own format, else none.
    QImage* page() const;
    // Paints a plain drawing; when its record drew over what raster operations just before it
    // drew, also keeps the pixels it would have made without antialiasing, for a raster
    // operation right after the record to combine with (see combine()).
    void paintKeepingAliased(const QRectF& area, const std::function<void()>& paint);
    // For drawings that paint without combine(): what was kept is no longer on the page.
    void forgetAliased()
    {
        m_aliased.reset();
        m_ropArea = QRect();
    }
    // Fills as the pen's raster operation were a copy: for a pixel set, a pattern blt.
    void fillPlain(const QPainterPath& path, const MetafileBrush& brush);
    // The painter's mode for the binary raster operation; none for R2Nop.
    std::optional<QPainter::CompositionMode> rop2Mode() const;

    QPainter* m_painter;
    QTransform m_deviceToImage;
    std::optional<QSizeF> m_viewportFallback;
    double m_deviceUnitsPerMm;
    Dc m_dc;
    std::vector<Dc> m_saved;
    QRectF m_measured;
    bool m_refused = false;
    std::optional<QColor> m_repeatFill;
    bool m_repeatFilled = false;
    QImage m_paper;    // page-sized; non-zero where a transparent pixel was made white paper
    QRect m_paperArea; // where m_paper has marks
    QRect m_ropArea;   // the pixels of the raster operations since the last plain drawing
    struct Aliased {
        QRect area;
        QImage pixels;
        bool ended = false; // the record that drew them has ended
    };
    std::optional<Aliased> m_aliased; // the last record's plain drawing without antialiasing
};

// Bitmaps with transparent parts, as some programs write them: a mask OR-ed onto the page (white
// where the picture shows), then in the very next record the picture AND-ed onto the same place.
// The mask is held back for that record; the two are drawn as one picture with the mask as its
// opacity, so that a mask of greys gives the picture partial transparency, as those programs
// mean it to. (With a mask of black and white this is what the two operations give on white
// paper.) Both kinds of metafile write them, and draw them alike.
class MaskedBitmaps {
public:
    explicit MaskedBitmaps(MetafilePlayer& player)
        : m_player(player)
    {
    }
    // Draws a bitmap, or holds it when it may be a mask.
    void draw(const QImage& bitmap, const QRectF& source, const QRectF& destination, quint32 rop);
    // Draws the mask held, before any record but the one that may pair with it.
    void flush();
    bool holding() const { return m_mask.has_value(); }

private:
    struct Mask {
        QImage bitmap;
        QRectF source, destination;
    };
    MetafilePlayer& m_player;
    std::optional<Mask> m_mask;
};

// A device-independent bitmap (its header, colour table and rows, or the header and colour
// table with the rows apart) as an image; null when it is not a whole, readable bitmap of
// acceptable size. With alpha, 32-bit rows carry premultiplied alpha in their fourth byte.
QImage MetafileBitmap(QByteArrayView info, QByteArrayView bits, bool alpha = false);
// Whether MetafileBitmap reads bitmaps of the header: a size within the limits on a side, a bit
// depth and a compression it knows (run lengths of 8 or 4 bits only at that depth).
bool MetafileBitmapReadable(const DibHeader& dib);

} // namespace tessivo
