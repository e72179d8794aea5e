#include "canvas/CanvasModel.h"
#include "canvas/ColorConvert.h"
#include "canvas/Fonts.h"

#include <QFontMetricsF>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <climits>
#include <cstdlib>

using namespace tessivo;

namespace {

constexpr ColorValue White = 0xFFFFFF;
constexpr ColorValue Red = 0x0000FF;
constexpr ColorValue Blue = 0xFF0000;
constexpr ColorValue Cyan = 0xFFFF00;
constexpr int Tw = TwipsPerPixel;

QImage solid(int w, int h, QRgb rgb, QImage::Format format = QImage::Format_RGB32)
{
    QImage image(w, h, format);
    image.fill(rgb);
    return image;
}

// Bounding box of the pixels that differ from the colour given.
QRect inkedBox(const CanvasModel& canvas, ColorValue background = White)
{
    QRect box;
    for (int y = 0; y < canvas.image().height(); ++y)
        for (int x = 0; x < canvas.image().width(); ++x)
            if (canvas.pixelAt(x * Tw, y * Tw) != background)
                box |= QRect(x, y, 1, 1);
    return box;
}

// Leftmost column with ink in rows [top, bottom), or -1.
int leftmostInk(const CanvasModel& canvas, int top, int bottom)
{
    for (int x = 0; x < canvas.image().width(); ++x)
        for (int y = top; y < bottom; ++y)
            if (canvas.pixelAt(x * Tw, y * Tw) != canvas.backColor())
                return x;
    return -1;
}

ColorValue at(const CanvasModel& canvas, int px, int py)
{
    return canvas.pixelAt(px * Tw, py * Tw);
}

bool near(ColorValue a, ColorValue b, int tolerance)
{
    const Channels x = SplitColor(a), y = SplitColor(b);
    return std::abs(x.ChannelR - y.ChannelR) <= tolerance &&
           std::abs(x.ChannelG - y.ChannelG) <= tolerance &&
           std::abs(x.ChannelB - y.ChannelB) <= tolerance;
}

} // namespace

class TestCanvasModel : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterFontSubstitutes(); }

    void startState()
    {
        const CanvasModel canvas;
        QCOMPARE(canvas.widthTwips(), 7935);
        QCOMPARE(canvas.heightTwips(), 5535);
        QCOMPARE(canvas.image().size(), QSize(529, 369));
        QCOMPARE(canvas.image().format(), QImage::Format_RGB32);
        QCOMPARE(canvas.image().logicalDpiX(), 96);
        QCOMPARE(canvas.canvasWidth(), 7885);
        QCOMPARE(canvas.canvasHeight(), 5535);
        QCOMPARE(canvas.baseWidth(), 7885);
        QCOMPARE(canvas.baseHeight(), 5535);
        QCOMPARE(canvas.backColor(), White);
        QCOMPARE(canvas.drawWidth(), 4);
        QCOMPARE(canvas.drawMode(), int(CanvasModel::CopyPen));
        QVERIFY(inkedBox(canvas).isNull());
    }

    void pixelAt_data()
    {
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        QTest::addColumn<QPoint>("pixel"); // (-1, -1): outside

        const QPoint outside(-1, -1);
        QTest::newRow("origin") << 0 << 0 << QPoint(0, 0);
        QTest::newRow("14 twips is still pixel 0") << 14 << 14 << QPoint(0, 0);
        QTest::newRow("15 twips is pixel 1") << 15 << 15 << QPoint(1, 1);
        QTest::newRow("inside") << 3000 << 1000 << QPoint(200, 66);
        QTest::newRow("last column") << 528 * Tw + 14 << 0 << QPoint(528, 0);
        QTest::newRow("right of last column") << 529 * Tw << 0 << outside;
        QTest::newRow("last row") << 0 << 368 * Tw + 14 << QPoint(0, 368);
        QTest::newRow("below last row") << 0 << 369 * Tw << outside;
        QTest::newRow("bottom right corner") << 7934 << 5534 << QPoint(528, 368);
        QTest::newRow("x -1 twip") << -1 << 0 << outside;
        QTest::newRow("y -1 twip") << 0 << -1 << outside;
        QTest::newRow("INT_MIN") << INT_MIN << INT_MIN << outside;
        QTest::newRow("INT_MAX") << INT_MAX << INT_MAX << outside;
    }

    void pixelAt()
    {
        QFETCH(int, x);
        QFETCH(int, y);
        QFETCH(QPoint, pixel);

        // Every pixel a different colour: red and green from the column, blue from the row.
        CanvasModel canvas;
        QImage pattern(529, 369, QImage::Format_RGB32);
        for (int py = 0; py < pattern.height(); ++py)
            for (int px = 0; px < pattern.width(); ++px)
                pattern.setPixel(px, py, qRgb(px & 0xFF, px >> 8, py & 0xFF));
        canvas.paintPicture(pattern, 0, 0, 7935, 5535);

        const ColorValue expected =
            pixel.x() < 0 ? -1 : ComposeColor(pixel.x() & 0xFF, pixel.x() >> 8, pixel.y() & 0xFF);
        QCOMPARE(canvas.pixelAt(x, y), expected);
        // A run reads columns: the same, as the second of a pair and alone after one.
        const int ys[] = {0, y, y};
        std::int32_t column[3];
        canvas.readColumn(x, ys, 3, column);
        QCOMPARE(column[1], expected);
        QCOMPARE(column[2], expected);
    }

    void resize_data()
    {
        QTest::addColumn<int>("widthTwips");
        QTest::addColumn<int>("heightTwips");
        QTest::addColumn<QSize>("pixels");

        QTest::newRow("40% zoom rounds to whole pixels") << 3154 << 2214 << QSize(210, 148);
        QTest::newRow("larger") << 9000 << 6000 << QSize(600, 400);
        QTest::newRow("zero height") << 7935 << 0 << QSize(529, 0);
        QTest::newRow("negative clamps to nothing") << -300 << -15 << QSize(0, 0);
        QTest::newRow("16-bit twips at most") << 100000 << 40000 << QSize(2184, 2184);
    }

    void resize()
    {
        QFETCH(int, widthTwips);
        QFETCH(int, heightTwips);
        QFETCH(QSize, pixels);

        CanvasModel canvas;
        canvas.paintPicture(solid(10, 10, qRgb(255, 0, 0)), 0, 0, 150, 150);
        QSignalSpy resized(&canvas, &CanvasModel::resized);
        // Width and height one after the other, as the zoom boxes set them.
        canvas.setWidthTwips(widthTwips);
        QCOMPARE(canvas.canvasWidth(), canvas.widthTwips());
        QCOMPARE(canvas.canvasHeight(), 5535);
        canvas.setHeightTwips(heightTwips);

        QVERIFY(!resized.isEmpty());
        QCOMPARE(canvas.widthTwips(), pixels.width() * Tw);
        QCOMPARE(canvas.heightTwips(), pixels.height() * Tw);
        QCOMPARE(canvas.canvasWidth(), canvas.widthTwips());
        QCOMPARE(canvas.canvasHeight(), canvas.heightTwips());
        QCOMPARE(canvas.baseWidth(), 7885);
        if (pixels.isEmpty()) {
            QCOMPARE(canvas.pixelAt(0, 0), -1);
            return;
        }
        QCOMPARE(canvas.image().size(), pixels);
        QCOMPARE(canvas.image().logicalDpiY(), 96);
        QCOMPARE(canvas.pixelAt(0, 0), Red); // content kept at the top-left
        QCOMPARE(inkedBox(canvas), QRect(0, 0, 10, 10));
    }

    // A restore says the size changed, so that views follow, when either side changed.
    void restoreSaysWhenTheSizeChanges_data()
    {
        QTest::addColumn<QSize>("twips"); // of the snapshot, restored over 7935 x 5535
        QTest::newRow("same size") << QSize(7935, 5535);
        QTest::newRow("width alone") << QSize(3000, 5535);
        QTest::newRow("height alone") << QSize(7935, 3000);
    }

    void restoreSaysWhenTheSizeChanges()
    {
        QFETCH(QSize, twips);
        CanvasModel canvas;
        canvas.setSizeTwips(twips.width(), twips.height());
        const CanvasModel::Snapshot snapshot = canvas.snapshot();
        canvas.setSizeTwips(7935, 5535);
        QSignalSpy resized(&canvas, &CanvasModel::resized);
        canvas.restore(snapshot);
        QCOMPARE(QSize(canvas.widthTwips(), canvas.heightTwips()), twips);
        QCOMPARE(resized.count(), twips == QSize(7935, 5535) ? 0 : 1);
    }

    void sameSizeOnlyRecords()
    {
        CanvasModel canvas;
        canvas.line(0, 0, 1500, 1500);
        const QImage before = canvas.image();
        QSignalSpy resized(&canvas, &CanvasModel::resized);
        canvas.setWidthTwips(7935);
        QCOMPARE(resized.count(), 0);
        QCOMPARE(canvas.canvasWidth(), 7935); // was 7885 after start-up
        QCOMPARE(canvas.image(), before);
    }

    void zeroHeightIsSafe()
    {
        CanvasModel canvas;
        canvas.setHeightTwips(0);
        QCOMPARE(canvas.widthTwips(), 7935);
        canvas.line(0, 0, 3000, 3000);
        canvas.roundRectPixels(0, 0, 50, 50, 10, 10);
        canvas.setCurrentPosition(0, 0);
        canvas.print(QStringLiteral("text"));
        canvas.paintPicture(solid(5, 5, qRgb(0, 0, 0)), 0, 0, 75, 75);
        canvas.setBackColor(Blue);
        QCOMPARE(canvas.pixelAt(0, 0), -1);

        canvas.setHeightTwips(150);
        QCOMPARE(canvas.image().size(), QSize(529, 10));
        QCOMPARE(inkedBox(canvas, Blue), QRect());
    }

    void line_data()
    {
        QTest::addColumn<QLineF>("twips");
        QTest::addColumn<int>("width");
        QTest::addColumn<QRect>("inked"); // pixels

        QTest::newRow("horizontal") << QLineF(150, 300, 1500, 300) << 4 << QRect(8, 18, 94, 4);
        QTest::newRow("zero length leaves a dot")
            << QLineF(300, 300, 300, 300) << 4 << QRect(18, 18, 4, 4);
        QTest::newRow("zero length, width 1")
            << QLineF(300, 300, 300, 300) << 1 << QRect(20, 20, 1, 1);
    }

    void line()
    {
        QFETCH(QLineF, twips);
        QFETCH(int, width);
        QFETCH(QRect, inked);

        CanvasModel canvas;
        canvas.setDrawWidth(width);
        QSignalSpy changed(&canvas, &CanvasModel::changed);
        canvas.line(twips.x1(), twips.y1(), twips.x2(), twips.y2());
        const QRect box = inkedBox(canvas);
        // The round cap may add a pixel; the pen's extent must be there.
        QVERIFY(box.contains(inked));
        QVERIFY(inked.adjusted(-1, -1, 1, 1).contains(box));
        QCOMPARE(changed.count(), 1);
        QVERIFY(changed.first().first().toRect().contains(box));
    }

    // Past 2^28 pixels, beyond any Canvas, a position and a size added would overflow: drawing
    // there is dropped, and says nothing changed. Within that it is drawn.
    void farOffDrawing_data()
    {
        QTest::addColumn<bool>("picture"); // a picture placed in the rectangle, else a line
        QTest::addColumn<QRectF>("twips"); // the line from its top-left to its bottom-right
        QTest::addColumn<bool>("drawn");
        const double limit = double(Tw) * (1 << 28);
        QTest::newRow("line to a point inside the limit")
            << false << QRectF(QPointF(1500, 1500), QPointF(limit / 2, 1500)) << true;
        QTest::newRow("line to a point past it")
            << false << QRectF(QPointF(1500, 1500), QPointF(limit * 2, 1500)) << false;
        QTest::newRow("picture reaching the Canvas from past it")
            << true << QRectF(-limit * 4, 0, limit * 4 + 1500, 1500) << false;
    }

    void farOffDrawing()
    {
        QFETCH(bool, picture);
        QFETCH(QRectF, twips);
        QFETCH(bool, drawn);
        CanvasModel canvas;
        QSignalSpy changed(&canvas, &CanvasModel::changed);
        if (picture)
            canvas.paintPicture(solid(10, 10, qRgb(0, 0, 255)), twips.x(), twips.y(), twips.width(),
                                twips.height());
        else
            canvas.line(twips.left(), twips.top(), twips.right(), twips.bottom());
        QCOMPARE(inkedBox(canvas).isEmpty(), !drawn);
        QCOMPARE(changed.count(), drawn ? 1 : 0);
    }

    void xorMode_data()
    {
        QTest::addColumn<ColorValue>("color");
        QTest::addColumn<ColorValue>("result");

        QTest::newRow("black leaves white") << ColorValue(0) << White;
        QTest::newRow("red on white gives cyan") << Red << Cyan;
    }

    void xorMode()
    {
        QFETCH(ColorValue, color);
        QFETCH(ColorValue, result);

        CanvasModel canvas;
        canvas.setDrawMode(CanvasModel::XorPen);
        canvas.setForeColor(color);
        canvas.setFillColor(color);
        canvas.line(150, 1500, 3000, 1500);
        canvas.roundRectPixels(10, 150, 60, 200, 10, 10);
        QCOMPARE(at(canvas, 50, 100), result); // on the line
        QCOMPARE(at(canvas, 35, 175), result); // interior
        QCOMPARE(at(canvas, 100, 300), White); // elsewhere

        // The same line again takes itself away.
        canvas.line(150, 1500, 3000, 1500);
        QCOMPARE(at(canvas, 50, 100), White);
    }

    void roundRectCornerOrder()
    {
        QImage first;
        const QList<QRect> orders = {
            QRect(QPoint(20, 30), QPoint(120, 90)), QRect(QPoint(120, 30), QPoint(20, 90)),
            QRect(QPoint(20, 90), QPoint(120, 30)), QRect(QPoint(120, 90), QPoint(20, 30))};
        for (const QRect& r : orders) {
            CanvasModel canvas;
            canvas.setFillColor(Blue);
            canvas.roundRectPixels(r.left(), r.top(), r.right(), r.bottom(), 30, 20);
            if (first.isNull())
                first = canvas.image();
            QCOMPARE(canvas.image(), first);
        }
        QVERIFY(first.pixel(70, 60) == qRgb(0, 0, 255));
    }

    void roundRectShapes_data()
    {
        QTest::addColumn<int>("ellipseWidth");
        QTest::addColumn<int>("ellipseHeight");
        QTest::addColumn<int>("fillStyle");
        QTest::addColumn<bool>("squareCorner");

        QTest::newRow("1 by 1: square corners") << 1 << 1 << int(CanvasModel::Solid) << true;
        QTest::newRow("rounded corners") << 20 << 20 << int(CanvasModel::Solid) << false;
        QTest::newRow("ellipse the box's size") << 100 << 60 << int(CanvasModel::Solid) << false;
        QTest::newRow("ellipse larger than the box")
            << 5000 << 3000 << int(CanvasModel::Solid) << false;
        QTest::newRow("wider only") << 500 << 60 << int(CanvasModel::Solid) << false;
        QTest::newRow("transparent fill") << 20 << 20 << int(CanvasModel::Transparent) << false;
    }

    void roundRectShapes()
    {
        QFETCH(int, ellipseWidth);
        QFETCH(int, ellipseHeight);
        QFETCH(int, fillStyle);
        QFETCH(bool, squareCorner);

        CanvasModel canvas;
        canvas.setForeColor(Red);
        canvas.setFillColor(Blue);
        canvas.setFillStyle(fillStyle);
        canvas.roundRectPixels(20, 20, 120, 80, ellipseWidth, ellipseHeight);

        QCOMPARE(at(canvas, 21, 21), squareCorner ? Red : White);
        QCOMPARE(at(canvas, 70, 50), fillStyle == CanvasModel::Solid ? Blue : White);
        for (const QPoint& edge : {QPoint(70, 20), QPoint(70, 80), QPoint(20, 50), QPoint(120, 50)})
            QCOMPARE(at(canvas, edge.x(), edge.y()), Red);
        QCOMPARE(at(canvas, 125, 50), White);
        QCOMPARE(at(canvas, 70, 85), White);
    }

    void printLines_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QList<bool>>("inkedLines");

        QTest::newRow("CR LF") << QStringLiteral("MW\r\nMW") << QList<bool>{true, true, false};
        QTest::newRow("CR") << QStringLiteral("MW\rMW") << QList<bool>{true, true, false};
        QTest::newRow("LF") << QStringLiteral("MW\nMW") << QList<bool>{true, true, false};
        QTest::newRow("empty line between")
            << QStringLiteral("MW\r\n\r\n中文") << QList<bool>{true, false, true};
    }

    void printLines()
    {
        QFETCH(QString, text);
        QFETCH(QList<bool>, inkedLines);

        CanvasModel canvas;
        canvas.setBackColor(0x00C000);
        canvas.setForeColor(Red);
        canvas.setCurrentPosition(3000, 300); // pixel (200, 20)
        canvas.print(text);

        const double lineHeight = QFontMetricsF(canvas.font().toQFont(), &canvas.image()).height();
        QVERIFY(lineHeight > 20); // 20.25 points at 96 dpi
        for (int i = 0; i < inkedLines.size(); ++i) {
            const int top = 20 + int(i * lineHeight);
            const int left = leftmostInk(canvas, top, int(20 + (i + 1) * lineHeight));
            if (!inkedLines[i])
                QCOMPARE(left, -1);
            else if (i == 0)
                QVERIFY(left >= 200 && left < 210);
            else
                QVERIFY(left >= 0 && left < 10); // later lines start at the left edge
        }
        // Ink is the pen colour, everything else keeps the background.
        for (int y = 0; y < canvas.image().height(); ++y)
            for (int x = 0; x < canvas.image().width(); ++x) {
                const ColorValue c = at(canvas, x, y);
                if (c != Red && c != 0x00C000)
                    QFAIL(qPrintable(
                        QStringLiteral("pixel %1,%2 is %3").arg(x).arg(y).arg(c, 0, 16)));
            }
        QVERIFY(leftmostInk(canvas, 0, 20) == -1);
    }

    void clearAndBackColor_data()
    {
        QTest::addColumn<ColorValue>("backColor");
        QTest::addColumn<ColorValue>("reads");

        QTest::newRow("blue") << Blue << Blue;
        QTest::newRow("green 1 from a slider value of 256") << ColorValue(256) << ColorValue(256);
        QTest::newRow("system window colour") << ColorValue(0x80000005) << White;
        QTest::newRow("system desktop colour")
            << ColorValue(0x80000001) << ComposeColor(0x3A, 0x6E, 0xA5);
    }

    void clearAndBackColor()
    {
        QFETCH(ColorValue, backColor);
        QFETCH(ColorValue, reads);

        CanvasModel canvas;
        canvas.line(0, 0, 3000, 3000);
        canvas.setCurrentPosition(450, 900);
        canvas.setBackColor(backColor);
        QCOMPARE(inkedBox(canvas, reads), QRect());
        QCOMPARE(canvas.currentX(), 0.0);
        QCOMPARE(canvas.currentY(), 0.0);

        canvas.line(0, 0, 3000, 3000);
        canvas.setCurrentPosition(450, 900);
        canvas.clear(); // the same colour again
        QCOMPARE(inkedBox(canvas, reads), QRect());
        QCOMPARE(canvas.currentY(), 0.0);
    }

    void paintPictureScaling_data()
    {
        QTest::addColumn<QRectF>("twips");
        QTest::addColumn<QRect>("drawn");

        QTest::newRow("natural size") << QRectF(0, 0, 1500, 750) << QRect(0, 0, 100, 50);
        QTest::newRow("half") << QRectF(0, 0, 750, 375) << QRect(0, 0, 50, 25);
        QTest::newRow("twice, offset") << QRectF(150, 300, 3000, 1500) << QRect(10, 20, 200, 100);
        QTest::newRow("22.5 pixels round to even")
            << QRectF(0, 0, 337.5, 750) << QRect(0, 0, 22, 50);
        QTest::newRow("cut at the edges")
            << QRectF(6000, 3000, 3000, 3000) << QRect(400, 200, 129, 169);
        QTest::newRow("zero width") << QRectF(0, 0, 0, 750) << QRect();
        QTest::newRow("negative size") << QRectF(1500, 1500, -750, -750) << QRect();
        QTest::newRow("ten times, beyond the Canvas")
            << QRectF(0, 0, 15000, 7500) << QRect(0, 0, 529, 369);
    }

    void paintPictureScaling()
    {
        QFETCH(QRectF, twips);
        QFETCH(QRect, drawn);

        CanvasModel canvas;
        QSignalSpy changed(&canvas, &CanvasModel::changed);
        canvas.paintPicture(solid(100, 50, qRgb(0, 0, 255)), twips.x(), twips.y(), twips.width(),
                            twips.height());
        QCOMPARE(inkedBox(canvas), drawn);
        if (!drawn.isEmpty()) {
            QCOMPARE(at(canvas, drawn.center().x(), drawn.center().y()), Blue);
            QCOMPARE(changed.count(), 1);
            QVERIFY(changed.first().first().toRect().contains(drawn));
        }
    }

    void paintPictureFilters_data()
    {
        QTest::addColumn<int>("factor"); // drawn size = picture size * factor / 10

        QTest::newRow("reduced: tones averaged") << 5;
        QTest::newRow("enlarged ten times, only the visible part made") << 100;
    }

    void paintPictureFilters()
    {
        QFETCH(int, factor);

        // Left part a black and white checkerboard of single pixels, right part red.
        QImage picture(600, 500, QImage::Format_RGB32);
        for (int y = 0; y < picture.height(); ++y)
            for (int x = 0; x < picture.width(); ++x)
                picture.setPixel(x, y,
                                 x >= 20 ? qRgb(255, 0, 0)
                                         : ((x + y) % 2 ? qRgb(0, 0, 0) : qRgb(255, 255, 255)));
        CanvasModel canvas;
        const double scale = factor / 10.0;
        canvas.paintPicture(picture, 0, 0, 600 * Tw * scale, 500 * Tw * scale);

        const int edge = int(20 * scale); // first red column
        const int margin = std::max(2, int(scale));
        if (factor < 10)
            QVERIFY(near(at(canvas, edge / 2, 5), 0x808080, 8)); // grey, not black or white
        QCOMPARE(at(canvas, edge + margin, 5), Red);
        QVERIFY(at(canvas, edge - margin, 5) != Red);
    }

    void paintPictureAlpha_data()
    {
        QTest::addColumn<int>("alpha");
        QTest::addColumn<int>("scale");
        QTest::addColumn<ColorValue>("expected"); // on a blue background

        QTest::newRow("transparent, natural size") << 0 << 1 << Blue;
        QTest::newRow("transparent, reduced") << 0 << 2 << Blue;
        QTest::newRow("half red, natural size") << 128 << 1 << ComposeColor(128, 0, 127);
        QTest::newRow("half red, reduced") << 128 << 2 << ComposeColor(128, 0, 127);
        QTest::newRow("opaque red, reduced") << 255 << 2 << Red;
    }

    void paintPictureAlpha()
    {
        QFETCH(int, alpha);
        QFETCH(int, scale);
        QFETCH(ColorValue, expected);

        CanvasModel canvas;
        canvas.setBackColor(Blue);
        const QImage picture = solid(40, 40, qRgba(255, 0, 0, alpha), QImage::Format_ARGB32);
        canvas.paintPicture(picture, 0, 0, 600.0 / scale, 600.0 / scale);
        QVERIFY(near(at(canvas, 5, 5), expected, 2));
        QVERIFY(near(at(canvas, 40 / scale - 1, 40 / scale - 1), expected, 2));
        QCOMPARE(at(canvas, 40 / scale, 40 / scale), Blue);
    }

    void pixelsInPlace()
    {
        // Written through, the Canvas changes; a snapshot taken before keeps its pixels.
        CanvasModel canvas;
        const CanvasModel::Snapshot before = canvas.snapshot();
        QImage pixels = canvas.pixelsInPlace();
        QCOMPARE(pixels.size(), canvas.image().size());
        QCOMPARE(pixels.format(), canvas.image().format());
        pixels.setPixel(3, 2, qRgb(255, 0, 0));
        QCOMPARE(canvas.image().pixel(3, 2), qRgb(255, 0, 0));
        QCOMPARE(before.image.pixel(3, 2), qRgb(255, 255, 255));
    }
};

QTEST_MAIN(TestCanvasModel)
#include "tst_canvasmodel.moc"
