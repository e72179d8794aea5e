#pragma once

#include "canvas/Fonts.h"
#include "engine/Color.h"
#include "engine/GenerationSettings.h"
#include "engine/Twips.h"

#include <QImage>
#include <QObject>
#include <QRect>

namespace tessivo {

// The Canvas as a document: the retained image every drawing goes into and every generation run
// reads, its drawing attributes and its size bookkeeping. Every position and size is typed or
// named with its unit: Twips, Pixels, or a name ending in Twips or Pixels; the size bookkeeping
// (CanvasWidth, CanvasHeight, BaseWidth, BaseHeight) and pixel reads are in twips. The Canvas
// widget only paints this image and forwards the mouse.
class CanvasModel : public QObject, public PixelSource {
    Q_OBJECT

public:
    // The size the Canvas starts with, twips.
    static constexpr int StartWidth = 7935;
    static constexpr int StartHeight = 5535;
    enum DrawModeValue { CopyPen = 13, XorPen = 7 };
    enum FillStyleValue { Solid = 0, Transparent = 1 };

    // A Canvas as the window leaves it after start-up: 7935 x 5535 twips, white, black pen and
    // fill, solid fill, DrawWidth 4, copy mode, CanvasWidth 7885 (50 less than the width),
    // CanvasHeight 5535, and the same as the base size of the zoom boxes.
    explicit CanvasModel(QObject* parent = nullptr);

    // Outer size: the image's pixel size in twips.
    int widthTwips() const;
    int heightTwips() const;
    // A size in twips becomes whole pixels (TwipsToPixels). Content is kept at the top-left; new
    // area shows the background colour. Every change of size records the size.
    void setWidthTwips(Twips width);
    void setHeightTwips(Twips height);
    void setSizeTwips(Twips width, Twips height);

    // Size bookkeeping in twips: the size a generation run reads, and the base of the zoom
    // boxes.
    int canvasWidth() const override { return m_state.canvasWidth; }
    int canvasHeight() const override { return m_state.canvasHeight; }
    int baseWidth() const { return m_state.baseWidth; }
    int baseHeight() const { return m_state.baseHeight; }
    // CanvasWidth and CanvasHeight become the current width and height.
    void recordSize();

    // The image with its size and size bookkeeping, as an undo step keeps them. Taking one
    // costs no copy: the image's pixels are shared until the Canvas next draws.
    struct Snapshot {
        QImage image;
        Pixels width = 0;
        Pixels height = 0;
        int canvasWidth = 0;
        int canvasHeight = 0;
        int baseWidth = 0;
        int baseHeight = 0;
    };
    Snapshot snapshot() const;
    // Puts the image, size and bookkeeping back; the drawing attributes stay as they are.
    void restore(const Snapshot& snapshot);

    const QImage& image() const { return m_state.image; }
    // An image over the Canvas's own pixels, for a picture to be decoded into in place: writing
    // to it writes to the Canvas, without telling views. Valid until the Canvas is next resized,
    // restored or copied.
    QImage pixelsInPlace();

    ColorValue backColor() const { return m_backColor; }
    // Clears the image to the new colour, as setting the background colour always does.
    void setBackColor(ColorValue color);
    ColorValue foreColor() const { return m_foreColor; }
    void setForeColor(ColorValue color) { m_foreColor = color; }
    ColorValue fillColor() const { return m_fillColor; }
    void setFillColor(ColorValue color) { m_fillColor = color; }
    int fillStyle() const { return m_fillStyle; }
    void setFillStyle(int style) { m_fillStyle = style; }
    Pixels drawWidth() const { return m_drawWidth; }
    void setDrawWidth(Pixels width) { m_drawWidth = width; }
    int drawMode() const { return m_drawMode; }
    void setDrawMode(int mode) { m_drawMode = mode; }
    const CanvasFont& font() const { return m_font; }
    void setFontSize(double points) { m_font.pointSize = points; }
    Twips currentX() const { return m_currentX; }
    Twips currentY() const { return m_currentY; }
    void setCurrentPosition(Twips x, Twips y);

    // A line in ForeColor, DrawWidth pixels wide, combined by DrawMode.
    void line(Twips x1, Twips y1, Twips x2, Twips y2);
    // A rounded rectangle: corners in any order, corner ellipse limited to the box; outlined
    // with ForeColor and DrawWidth, filled with FillColor when FillStyle is solid, both combined
    // by DrawMode.
    void roundRectPixels(Pixels left, Pixels top, Pixels right, Pixels bottom, Pixels ellipseWidth,
                         Pixels ellipseHeight);
    // Prints text at (CurrentX, CurrentY) in the Canvas font and ForeColor without a background;
    // each line break (CR LF, CR or LF) starts a new line at x = 0, one text line lower.
    void print(const QString& text);
    // Fills the image with BackColor and puts the text position at (0, 0).
    void clear();
    // Paints a picture scaled into the rectangle with a smoothing filter; transparent parts show
    // what lies beneath.
    void paintPicture(const QImage& picture, Twips x, Twips y, Twips width, Twips height);

    // The colour of the pixel under the twip position (PixelUnder) as a ColorValue, -1 outside
    // the image.
    std::int32_t pixelAt(int x, int y) const override;
    void readColumn(int x, const int* ys, int count, std::int32_t* colors) const override;

signals:
    // Pixels of the image that changed.
    void changed(const QRect& pixels);
    // The size changed (and was recorded).
    void resized();

private:
    void resizeImage(Pixels width, Pixels height);

    // The image, its size and the size bookkeeping. The size in pixels is kept apart from the
    // image: an image of 0 rows or columns is a null QImage, which would forget the other
    // dimension.
    Snapshot m_state;
    ColorValue m_backColor;
    ColorValue m_foreColor = 0;
    ColorValue m_fillColor = 0;
    int m_fillStyle = Solid;
    Pixels m_drawWidth = 4;
    int m_drawMode = CopyPen;
    CanvasFont m_font;
    Twips m_currentX = 0;
    Twips m_currentY = 0;
};

} // namespace tessivo
