#include "app/MainWindow.h"
#include "canvas/Fonts.h"
#include "canvas/ui/ColorPicker.h"
#include "canvas/ui/ToolColumn.h"
#include "widgets/CanvasWidget.h"
#include "widgets/ScrollBar.h"
#include "widgets/ShapeWidget.h"

#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace tessivo;
using namespace tessivo::testing;

Q_DECLARE_METATYPE(tessivo::Tool)
Q_DECLARE_METATYPE(tessivo::CanvasWidget::OutlineShape)

namespace {

using Shape = CanvasWidget::OutlineShape;
constexpr ColorValue White = 0xFFFFFF;
constexpr ColorValue Red = 0x0000FF;
constexpr ColorValue Green = 0x00FF00;
constexpr int Tw = 15;

// The main window on its canvas page.
struct Window {
    explicit Window(const QString& folder)
        : main(folder)
    {
        main.show();
        [&] { QVERIFY(QTest::qWaitForWindowExposed(&main)); }();
        page("Command5");
    }
    void page(const char* button) { child<QAbstractButton>(&main, button)->click(); }
    CanvasWidget* view() { return child<CanvasWidget>(&main, "Picture1"); }
    CanvasModel& canvas() { return main.canvas(); }
    ColorPicker* picker() { return main.colorPicker(); }
    QRgb pixel(QPoint p) { return QRgb(canvas().pixelAt(p.x() * Tw, p.y() * Tw)); }
    void choose(Tool tool) { QTest::mouseClick(main.toolColumn()->button(tool), Qt::LeftButton); }
    // A mouse drag on the Canvas in widget pixels, through the points given.
    void drag(QPoint from, const QList<QPoint>& through, Qt::MouseButton button = Qt::LeftButton)
    {
        QTest::mousePress(view(), button, {}, from);
        for (const QPoint& p : through)
            QTest::mouseMove(view(), p);
        QTest::mouseRelease(view(), button, {}, through.isEmpty() ? from : through.last());
    }

    MainWindow main;
};

// The bounding box of every pixel of the image that is not white, within a region.
QRect inkBox(const QImage& image, const QRect& region)
{
    QRect box;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            if ((image.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

} // namespace

class TestDrawingTools : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        RegisterFontSubstitutes();
        QVERIFY(m_dir.isValid());
        QLocale::setDefault(QLocale::c());
    }

    void shapes_data()
    {
        QTest::addColumn<Tool>("tool");
        QTest::addColumn<int>("rounding");
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<Shape>("outlineShape");
        QTest::addColumn<QList<QPoint>>("filled");
        QTest::addColumn<QList<QPoint>>("outlined");
        QTest::addColumn<QList<QPoint>>("white");

        // A box of 120 x 60 pixels from (100, 100); pen 4 pixels wide.
        const QList<QPoint> edges = {{100, 130}, {220, 130}, {160, 100}, {160, 160}};
        const QList<QPoint> around = {{95, 130}, {225, 130}, {160, 95}, {160, 165}};
        const QList<QPoint> centre = {{160, 130}};
        QTest::newRow("rectangle")
            << Tool::Rectangle << 50 << QPoint(100, 100) << QPoint(220, 160) << Shape::Rectangle
            << QList<QPoint>{{160, 130}, {104, 104}} << edges << around;
        QTest::newRow("rectangle dragged up-left")
            << Tool::Rectangle << 50 << QPoint(220, 160) << QPoint(100, 100) << Shape::Rectangle
            << QList<QPoint>{{160, 130}, {216, 156}} << edges << around;
        QTest::newRow("ellipse") << Tool::Ellipse << 50 << QPoint(100, 100) << QPoint(220, 160)
                                 << Shape::Oval << centre << edges
                                 << around + QList<QPoint>{{102, 102}, {218, 158}};
        // Released next to the left edge: still the ellipse inscribed in the box.
        QTest::newRow("ellipse released at the left edge")
            << Tool::Ellipse << 50 << QPoint(200, 100) << QPoint(1, 160) << Shape::Oval
            << QList<QPoint>{{100, 130}} << QList<QPoint>{{1, 130}, {100, 100}}
            << QList<QPoint>{{5, 104}, {5, 156}};
        QTest::newRow("rounded, 圆矩弧度 50: corners of 2 x 1")
            << Tool::RoundedRectangle << 50 << QPoint(100, 100) << QPoint(220, 160)
            << Shape::RoundedRectangle << QList<QPoint>{{160, 130}, {104, 104}} << edges << around;
        // The top edge runs straight from 30 pixels in: corners half as wide would leave it
        // curving down from there.
        QTest::newRow("rounded, 圆矩弧度 2: corners of 60 x 30")
            << Tool::RoundedRectangle << 2 << QPoint(100, 100) << QPoint(220, 160)
            << Shape::RoundedRectangle << centre << edges + QList<QPoint>{{130, 99}, {190, 99}}
            << around + QList<QPoint>{{102, 102}, {218, 158}};
        QTest::newRow("rounded, 圆矩弧度 1 gives the ellipse")
            << Tool::RoundedRectangle << 1 << QPoint(100, 100) << QPoint(220, 160)
            << Shape::RoundedRectangle << centre << edges
            << around + QList<QPoint>{{104, 104}, {216, 156}};
    }

    void shapes()
    {
        QFETCH(Tool, tool);
        QFETCH(int, rounding);
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(Shape, outlineShape);
        QFETCH(QList<QPoint>, filled);
        QFETCH(QList<QPoint>, outlined);
        QFETCH(QList<QPoint>, white);

        Window w(m_dir.path());
        w.canvas().setForeColor(Red);
        w.canvas().setFillColor(Green);
        child<QScrollBar>(&w.main, "HScroll13")->setValue(rounding);
        w.choose(tool);
        QCOMPARE(w.view()->outlineShape(), outlineShape);

        QTest::mousePress(w.view(), Qt::LeftButton, {}, from);
        QVERIFY(w.view()->outlineVisible());
        QTest::mouseMove(w.view(), (from + to) / 2);
        QTest::mouseMove(w.view(), to);
        // The outline spans the press point and the pointer, whichever way the drag went.
        const QPoint size = to - from;
        QCOMPARE(w.view()->outline(),
                 QRectF(std::min(from.x(), to.x()) * Tw, std::min(from.y(), to.y()) * Tw,
                        std::abs(size.x()) * Tw, std::abs(size.y()) * Tw));
        QCOMPARE(w.pixel((from + to) / 2), White);
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, to);
        QVERIFY(!w.view()->outlineVisible());

        const auto expect = [&](const QList<QPoint>& points, QRgb colour) {
            for (const QPoint& p : points)
                QVERIFY2(w.pixel(p) == colour,
                         qPrintable(QStringLiteral("%1,%2").arg(p.x()).arg(p.y())));
        };
        expect(filled, Green);
        expect(outlined, Red);
        expect(white, White);
    }

    void roundedCornersFollowTheBox()
    {
        // Two boxes of the same size far apart get the same corners.
        Window w(m_dir.path());
        child<QScrollBar>(&w.main, "HScroll13")->setValue(100);
        w.canvas().setFillColor(Green);
        w.choose(Tool::RoundedRectangle);
        w.drag({20, 20}, {{80, 60}});
        w.drag({400, 300}, {{460, 340}});
        const QImage& image = w.canvas().image();
        QCOMPARE(image.copy(14, 14, 72, 52), image.copy(394, 294, 72, 52));
        // 60 / 100 and 40 / 100 pixels round to corners of 1 by 0: square.
        QCOMPARE(w.pixel({22, 22}), Green);
    }

    void line_data()
    {
        QTest::addColumn<QPoint>("from");
        QTest::addColumn<QPoint>("to");
        QTest::addColumn<QPoint>("onLine");

        QTest::newRow("inside") << QPoint(50, 50) << QPoint(150, 50) << QPoint(100, 50);
        QTest::newRow("pressed at the left edge")
            << QPoint(0, 80) << QPoint(150, 80) << QPoint(75, 80);
        QTest::newRow("pressed at the top edge")
            << QPoint(60, 0) << QPoint(60, 150) << QPoint(60, 75);
        QTest::newRow("drawn up-left") << QPoint(200, 200) << QPoint(100, 100) << QPoint(150, 150);
    }

    void line()
    {
        QFETCH(QPoint, from);
        QFETCH(QPoint, to);
        QFETCH(QPoint, onLine);

        Window w(m_dir.path());
        w.canvas().setForeColor(Red);
        w.choose(Tool::Line);
        QTest::mousePress(w.view(), Qt::LeftButton, {}, from);
        QVERIFY(w.view()->linePreviewVisible());
        QCOMPARE(w.view()->linePreviewWidth(), 4);
        QTest::mouseMove(w.view(), to);
        QCOMPARE(w.view()->linePreview(), QLineF(from * Tw, to * Tw));
        QCOMPARE(w.pixel(onLine), White);
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, to);

        QCOMPARE(w.pixel(onLine), Red);
        QCOMPARE(w.pixel(onLine + QPoint(20, -20)), White);
        // The preview stays on the line drawn, also when the Canvas is cleared.
        child<QAbstractButton>(&w.main, "Command11")->click();
        QVERIFY(w.view()->linePreviewVisible());
        QCOMPARE(w.pixel(onLine), White);
    }

    void penStrokes()
    {
        Window w(m_dir.path());
        w.canvas().setForeColor(Red);
        w.choose(Tool::Pen);

        // A press and a release without a move draw nothing.
        w.drag({30, 30}, {});
        QCOMPARE(w.pixel({30, 30}), White);

        // Each move draws on from where the last one ended.
        w.drag({10, 10}, {{60, 10}, {60, 60}});
        QCOMPARE(w.pixel({35, 10}), Red);
        QCOMPARE(w.pixel({60, 35}), Red);
        QCOMPARE(w.pixel({35, 35}), White);
        QVERIFY(!w.view()->outlineVisible());
        QVERIFY(!w.view()->markerVisible());
    }

    void rightButtonDrawsNothing()
    {
        Window w(m_dir.path());
        const QImage before = w.canvas().image();
        for (const Tool tool :
             {Tool::Mouse, Tool::Pen, Tool::Ellipse, Tool::Rectangle, Tool::RoundedRectangle,
              Tool::Line, Tool::TextPosition, Tool::CanvasSize}) {
            w.choose(tool);
            w.drag({50, 50}, {{150, 120}, {200, 200}}, Qt::RightButton);
            QCOMPARE(w.canvas().image(), before);
            QVERIFY(!w.view()->outlineVisible());
        }
        // A right press with the text-position tool moves the marker all the same: an upright
        // bar a pixel wide and 9 high (135 twips) below it.
        QVERIFY(w.view()->markerVisible());
        QCOMPARE(w.view()->markerPosition(), QPointF(750, 750));
        const QImage shown = w.view()->grab().toImage();
        QVERIFY(shown.pixel(50, 58) != qRgb(255, 255, 255));
        QCOMPARE(shown.pixel(51, 50), qRgb(255, 255, 255));
        QCOMPARE(shown.pixel(50, 59), qRgb(255, 255, 255));
    }

    void canvasTool_data()
    {
        QTest::addColumn<QPoint>("pointer");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QRectF>("outline");

        // Pressed at (100, 100) pixels, 1500 twips.
        QTest::newRow("inside") << QPoint(300, 200) << QSize(4500, 3000)
                                << QRectF(1500, 1500, 3000, 1500);
        QTest::newRow("too small")
            << QPoint(5, 5) << QSize(300, 300) << QRectF(300, 300, 1200, 1200);
        QTest::newRow("negative") << QPoint(-50, -40) << QSize(300, 300)
                                  << QRectF(300, 300, 1200, 1200);
        // 5585 twips are 372 whole pixels.
        QTest::newRow("too large")
            << QPoint(1000, 800) << QSize(7935, 5580) << QRectF(1500, 1500, 6435, 4085);
    }

    void canvasTool()
    {
        QFETCH(QPoint, pointer);
        QFETCH(QSize, size);
        QFETCH(QRectF, outline);

        Window w(m_dir.path());
        w.choose(Tool::CanvasSize);
        QTest::mousePress(w.view(), Qt::LeftButton, {}, {100, 100});
        QTest::mouseMove(w.view(), pointer);
        QCOMPARE(QSize(w.canvas().widthTwips(), w.canvas().heightTwips()), size);
        QCOMPARE(QSize(w.canvas().canvasWidth(), w.canvas().canvasHeight()), size);
        QCOMPARE(w.view()->size(), size / Tw);
        QVERIFY(w.view()->outlineVisible());
        QCOMPARE(w.view()->outline(), outline);
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, pointer);
        QVERIFY(!w.view()->outlineVisible());
        QCOMPARE(inkBox(w.canvas().image(), w.canvas().image().rect()), QRect());
    }

    void toolSelection_data()
    {
        QTest::addColumn<Tool>("tool");
        QTest::addColumn<Shape>("shape");
        QTest::addColumn<bool>("marker");

        // Chosen after the ellipse, then the text position.
        QTest::newRow("mouse") << Tool::Mouse << Shape::Square << false;
        QTest::newRow("pen") << Tool::Pen << Shape::Oval << false;
        QTest::newRow("ellipse") << Tool::Ellipse << Shape::Oval << false;
        QTest::newRow("rectangle") << Tool::Rectangle << Shape::Rectangle << false;
        QTest::newRow("rounded") << Tool::RoundedRectangle << Shape::RoundedRectangle << false;
        QTest::newRow("line keeps both") << Tool::Line << Shape::Oval << true;
        QTest::newRow("text position") << Tool::TextPosition << Shape::Oval << true;
        QTest::newRow("canvas keeps both") << Tool::CanvasSize << Shape::Oval << true;
    }

    void toolSelection()
    {
        QFETCH(Tool, tool);
        QFETCH(Shape, shape);
        QFETCH(bool, marker);

        Window w(m_dir.path());
        QCOMPARE(w.view()->outlineShape(), Shape::Rectangle);
        w.choose(Tool::Ellipse);
        w.choose(Tool::TextPosition);
        QVERIFY(w.view()->markerVisible());
        w.choose(tool);
        QCOMPARE(w.view()->outlineShape(), shape);
        QCOMPARE(w.view()->markerVisible(), marker);
    }

    void xorWithBlackLeavesImage()
    {
        Window w(m_dir.path());
        w.page("Command10");
        QVERIFY(child<QRadioButton>(&w.main, "Option7")->isChecked());
        QTest::mouseClick(child<QRadioButton>(&w.main, "Option6"), Qt::LeftButton);
        QCOMPARE(w.canvas().drawMode(), int(CanvasModel::XorPen));
        w.page("Command5");

        const QImage before = w.canvas().image();
        for (const Tool tool :
             {Tool::Rectangle, Tool::Ellipse, Tool::RoundedRectangle, Tool::Line, Tool::Pen}) {
            w.choose(tool);
            w.drag({40, 40}, {{120, 60}, {200, 150}});
        }
        QCOMPARE(w.canvas().image(), before);

        w.page("Command10");
        QTest::mouseClick(child<QRadioButton>(&w.main, "Option7"), Qt::LeftButton);
        QCOMPARE(w.canvas().drawMode(), int(CanvasModel::CopyPen));
        w.page("Command5");
        w.drag({40, 40}, {{200, 150}});
        QCOMPARE(w.pixel({120, 95}), 0u);
    }

    void lineWidthOnlyByThumbDrag()
    {
        Window w(m_dir.path());
        auto* bar = child<ScrollBar>(&w.main, "HScroll14");
        const auto strokeWidth = [&](int y) {
            w.choose(Tool::Pen);
            w.drag({50, y}, {{150, y}});
            int width = 0;
            for (int dy = -20; dy <= 20; ++dy)
                width += w.pixel({100, y + dy}) == 0 ? 1 : 0;
            return width;
        };

        QCOMPARE(bar->value(), 2);
        QCOMPARE(w.canvas().drawWidth(), 4);
        QCOMPARE(strokeWidth(50), 4);

        // Arrows, track and assignments move the bar alone.
        w.page("Command10");
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 3, bar->height() / 2));
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() * 3 / 4, bar->height() / 2));
        bar->setValue(20);
        QCOMPARE(bar->value(), 20);
        QCOMPARE(w.canvas().drawWidth(), 4);

        dragThumb(bar, -bar->width() / 2);
        QVERIFY(bar->value() < 20);
        QCOMPARE(w.canvas().drawWidth(), bar->value());
        const int width = bar->value();
        w.page("Command5");
        QCOMPARE(strokeWidth(120), width);
        w.choose(Tool::Line);
        QTest::mousePress(w.view(), Qt::LeftButton, {}, {50, 200});
        QCOMPARE(w.view()->linePreviewWidth(), width);
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, {50, 200});
    }

    void typedParts_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("slider");

        // The sliders stand at 77; what they cannot take leaves them there.
        QTest::newRow("128") << "C"
                             << "128" << 128;
        QTest::newRow("0") << "C"
                           << "0" << 77;
        QTest::newRow("300") << "C"
                             << "300" << 77;
        QTest::newRow("1, the least") << "C"
                                      << "1" << 1;
        QTest::newRow("255, the most") << "C"
                                       << "255" << 255;
        QTest::newRow("abc") << "C"
                             << "abc" << 77;
        QTest::newRow("empty") << "C"
                               << "" << 77;
        QTest::newRow("12.5 rounds to even") << "C"
                                             << "12.5" << 12;
        QTest::newRow("13.5 rounds to even") << "C"
                                             << "13.5" << 14;
        QTest::newRow("255.5 rounds out of range") << "C"
                                                   << "255.5" << 77;
        QTest::newRow("decimal comma") << "de_DE"
                                       << "13,5" << 14;
    }

    void typedParts()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(int, slider);

        Window w(m_dir.path());
        w.page("Command10");
        ColorPicker* picker = w.picker();
        const auto channels = {ColorPicker::Red, ColorPicker::Green, ColorPicker::Blue};
        for (const auto channel : channels) {
            QCOMPARE(picker->box(channel)->text(), QStringLiteral("0"));
            QCOMPARE(picker->bar(channel)->value(), 1);
        }
        QVERIFY(picker->lineTarget()->isChecked());

        for (const auto channel : channels)
            picker->box(channel)->setText(QStringLiteral("77"));
        QLocale::setDefault(QLocale(locale));
        for (const auto channel : channels)
            picker->box(channel)->setText(text);
        QLocale::setDefault(QLocale::c());
        for (const auto channel : channels)
            QCOMPARE(picker->bar(channel)->value(), slider);
        // Typing changes no colour.
        QCOMPARE(w.main.lineColor(), 0);
        QCOMPARE(w.main.shapeFillColor(), 0);
        QCOMPARE(w.canvas().foreColor(), 0);
        QCOMPARE(picker->swatch()->borderColor(), 0);
    }

    void dragsComposeColours()
    {
        Window w(m_dir.path());
        w.page("Command10");
        ColorPicker* picker = w.picker();
        QSignalSpy changes(picker, &ColorPicker::colorsChanged);
        ScrollBar* red = picker->bar(ColorPicker::Red);
        ScrollBar* green = picker->bar(ColorPicker::Green);

        // Typed 128 into R, then a drag of the green thumb: the colour takes all three sliders.
        picker->box(ColorPicker::Red)->setText(QStringLiteral("128"));
        QCOMPARE(w.main.lineColor(), 0);
        dragThumb(green, 40);
        const int g = green->value();
        QVERIFY(g > 1);
        QCOMPARE(w.main.lineColor(), ComposeColor(128, g, 1));
        QCOMPARE(w.main.shapeFillColor(), 0);
        QCOMPARE(picker->box(ColorPicker::Red)->text(), QStringLiteral("128"));
        QCOMPARE(picker->box(ColorPicker::Green)->text(), QString::number(g));
        QCOMPARE(picker->box(ColorPicker::Blue)->text(), QStringLiteral("1"));
        QCOMPARE(picker->swatch()->borderColor(), w.main.lineColor());
        QCOMPARE(w.canvas().foreColor(), w.main.lineColor());
        QCOMPARE(QApplication::focusWidget(), child(&w.main, "focus"));
        QVERIFY(changes.count() > 0);

        // A click on the track moves the slider but composes nothing.
        const ColorValue line = w.main.lineColor();
        QTest::mouseClick(red, Qt::LeftButton, {}, QPoint(red->width() - 20, red->height() / 2));
        QVERIFY(red->value() > 128);
        QCOMPARE(w.main.lineColor(), line);

        // The fill colour: the darkest the sliders give is 1, 1, 1.
        QTest::mouseClick(picker->fillTarget(), Qt::LeftButton);
        red->setValue(1);
        green->setValue(1);
        dragThumb(picker->bar(ColorPicker::Blue), 30);
        dragThumb(picker->bar(ColorPicker::Blue), -picker->width(), 1);
        QCOMPARE(w.main.shapeFillColor(), 0x010101);
        QCOMPARE(w.main.lineColor(), line);
        QCOMPARE(w.canvas().fillColor(), 0x010101);
        QCOMPARE(picker->swatch()->fillColor(), 0x010101);

        // Both reach the Canvas page's swatch and the drawing.
        w.page("Command5");
        auto* showx = child<ShapeWidget>(&w.main, "showx");
        QCOMPARE(showx->fillColor(), 0x010101);
        QCOMPARE(showx->borderColor(), line);
        w.choose(Tool::Rectangle);
        w.drag({100, 100}, {{200, 200}});
        QCOMPARE(w.canvas().pixelAt(100 * Tw, 150 * Tw), line);
        QCOMPARE(w.canvas().pixelAt(150 * Tw, 150 * Tw), 0x010101);
    }

    void switchingTargets()
    {
        Window w(m_dir.path());
        w.page("Command10");
        ColorPicker* picker = w.picker();
        ScrollBar* green = picker->bar(ColorPicker::Green);
        const auto texts = [&] {
            return QStringList{picker->box(ColorPicker::Red)->text(),
                               picker->box(ColorPicker::Green)->text(),
                               picker->box(ColorPicker::Blue)->text()};
        };

        QTest::mouseClick(picker->fillTarget(), Qt::LeftButton);
        dragThumb(green, 50);
        const int g = green->value();
        QCOMPARE(w.main.shapeFillColor(), ComposeColor(1, g, 1));

        // Back to the black line colour: its parts of 0 show in the boxes, the sliders stay.
        QTest::mouseClick(picker->lineTarget(), Qt::LeftButton);
        QCOMPARE(texts(), QStringList({"0", "0", "0"}));
        QCOMPARE(green->value(), g);
        QCOMPARE(w.main.lineColor(), 0);

        QTest::mouseClick(picker->fillTarget(), Qt::LeftButton);
        QCOMPARE(texts(), QStringList({"1", QString::number(g), "1"}));
        QCOMPARE(green->value(), g);
    }

    void imprintPosition()
    {
        Window w(m_dir.path());
        auto* text = child<QPlainTextEdit>(&w.main, "Text2");
        auto* imprint = child<QAbstractButton>(&w.main, "Command2");
        const QImage& image = w.canvas().image();
        text->setPlainText(QStringLiteral("M\nM"));

        // Lines of the imprint: the ink above and below the first blank row after the first line.
        const auto lines = [&] {
            const QRect all = inkBox(image, image.rect());
            int gap = all.top();
            while (gap <= all.bottom() && !inkBox(image, QRect(0, gap, image.width(), 1)).isEmpty())
                ++gap;
            return std::pair{inkBox(image, QRect(0, 0, image.width(), gap)),
                             inkBox(image, QRect(0, gap, image.width(), image.height() - gap))};
        };

        // Before the marker was ever placed: the first line starts 15 twips in, the next at x = 0.
        imprint->click();
        const auto [first, second] = lines();
        QVERIFY(!first.isEmpty() && !second.isEmpty());
        QCOMPARE(first.left() - second.left(), 1);
        QCOMPARE(first.top() < 20, true);

        child<QAbstractButton>(&w.main, "Command11")->click();
        w.choose(Tool::TextPosition);
        w.drag({100, 80}, {});
        QCOMPARE(w.view()->markerPosition(), QPointF(1500, 1200));
        imprint->click();
        const auto [moved, next] = lines();
        QCOMPARE(moved, first.translated(100, 80));
        QCOMPARE(next.left(), second.left());
        QCOMPARE(next.top(), second.top() + 80);
    }

    void fontSizeSlider()
    {
        Window w(m_dir.path());
        QImage picture(200, 100, QImage::Format_RGB32);
        picture.fill(Qt::darkBlue);
        const QString path = m_dir.filePath(QStringLiteral("blue.png"));
        QVERIFY(picture.save(path));
        QVERIFY(LoadPictureOntoCanvas(path, w.canvas(), w.main.holder()));
        w.choose(Tool::Rectangle);
        w.drag({300, 200}, {{400, 300}});
        const QImage& image = w.canvas().image();
        QVERIFY(!inkBox(image, QRect(0, 0, 200, 100)).isEmpty());

        w.page("Command10");
        auto* bar = child<ScrollBar>(&w.main, "HScroll15");
        QCOMPARE(bar->value(), 20);

        // With Text2 empty the Canvas is wiped, picture and drawing alike.
        bar->setValue(60);
        QCOMPARE(w.canvas().font().pointSize, 60.0);
        QCOMPARE(inkBox(image, image.rect()), QRect());
        QCOMPARE(w.main.windowTitle(), QStringLiteral("Tessivo 1.2 - Quillan "));
        QCOMPARE(QApplication::focusWidget(), child(&w.main, "focus"));

        // With text: printed anew at the new size, at the marker.
        child<QPlainTextEdit>(&w.main, "Text2")->setPlainText(QStringLiteral("M"));
        QTest::mouseClick(bar, Qt::LeftButton, {}, QPoint(bar->width() - 3, bar->height() / 2));
        QCOMPARE(bar->value(), 61);
        QCOMPARE(w.canvas().font().pointSize, 61.0);
        const QRect big = inkBox(image, image.rect());
        QVERIFY(big.height() > 30);
        bar->setValue(1000);
        QCOMPARE(w.canvas().font().pointSize, 400.0);
        QVERIFY(inkBox(image, image.rect()).height() > 4 * big.height());
    }
};

QTEST_MAIN(TestDrawingTools)
#include "tst_drawingtools.moc"
