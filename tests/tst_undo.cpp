#include "app/MainWindow.h"
#include "canvas/ui/DrawingPage.h"
#include "canvas/ui/ToolColumn.h"
#include "loading/CanvasHistory.h"
#include "settings/ui/SettingsPage.h"
#include "widgets/CanvasWidget.h"
#include "widgets/ScrollBar.h"

#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

constexpr ColorValue White = 0xFFFFFF;

// The main window on its canvas page, with no table file to offer.
struct Window {
    Window()
        : main(dir.path())
    {
        main.show();
        [&] { QVERIFY(QTest::qWaitForWindowExposed(&main)); }();
        page("Command5");
    }
    void page(const char* button) { child<QAbstractButton>(&main, button)->click(); }
    CanvasModel& canvas() { return main.canvas(); }
    CanvasWidget* view() { return child<CanvasWidget>(&main, "Picture1"); }
    QComboBox* zoomX() { return child<QComboBox>(&main, "Combo1"); }
    ColorValue at(QPoint pixel) { return canvas().pixelAt(pixel.x() * 15, pixel.y() * 15); }
    // A rectangle drawn with the tool, from and to widget pixels.
    void rectangle(QPoint from, QPoint to)
    {
        QTest::mouseClick(main.toolColumn()->button(Tool::Rectangle), Qt::LeftButton);
        QTest::mousePress(view(), Qt::LeftButton, {}, from);
        QTest::mouseMove(view(), to);
        QTest::mouseRelease(view(), Qt::LeftButton, {}, to);
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : &main, Qt::Key(key), modifiers);
    }
    void undo() { key(Qt::Key_Z); }
    void redo() { key(Qt::Key_Y); }

    QTemporaryDir dir;
    MainWindow main;
};

void wheel(QWidget* widget, int notches)
{
    const QPoint at = widget->rect().center();
    QWheelEvent event(at, widget->mapToGlobal(at), {}, QPoint(0, 120 * notches), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

} // namespace

class TestUndo : public QObject {
    Q_OBJECT

private slots:
    void undoRedoRestoresImageAndOrder();
    void zoomShrinkThenGrowUndoneTwice();
    void clearAndFontClearUndoRedo();
    void keysBelongToTextBoxesAndWaitForRuns();
    void wheelChangesNothingUnfocused();
    void roundedOutlineShowsTheDrawnCorners();
};

void TestUndo::undoRedoRestoresImageAndOrder()
{
    // Five steps, each a line: only the last three fit a limit of three steps, and a limit by
    // bytes drops the oldest first as well.
    CanvasModel canvas;
    PictureHolder holder;
    CanvasHistory history(canvas, holder);
    history.setLimits(3, CanvasHistory::DefaultMaxBytes);
    for (int i = 0; i < 5; ++i) {
        history.record();
        canvas.line(0, i * 150, 1500, i * 150);
    }
    QCOMPARE(history.undoCount(), 3);
    QVERIFY(history.undo() && history.undo() && history.undo());
    QVERIFY(!history.undo());
    // Back to the Canvas after the first two lines.
    QCOMPARE(canvas.pixelAt(150, 150), 0);
    QCOMPARE(canvas.pixelAt(150, 300), White);
    QVERIFY(history.redo());
    QCOMPARE(canvas.pixelAt(150, 300), 0);
    QCOMPARE(canvas.pixelAt(150, 450), White);
    // A new change drops what could still be redone.
    history.record();
    canvas.clear();
    QVERIFY(!history.canRedo());

    const qint64 step = canvas.image().sizeInBytes();
    history.setLimits(CanvasHistory::DefaultMaxSteps, 2 * step);
    QCOMPARE(history.undoCount(), 2);
    QVERIFY(history.bytes() <= 2 * step);
}

void TestUndo::zoomShrinkThenGrowUndoneTwice()
{
    Window w;
    w.rectangle({400, 250}, {450, 300});
    QCOMPARE(w.at({400, 275}), 0);

    // "40%" then "100%": the drawing right of 210 pixels is cut off, and growing back brings only
    // background.
    w.zoomX()->setFocus();
    QTest::keyClick(w.zoomX(), Qt::Key_Home);
    QCOMPARE(w.zoomX()->currentText(), QStringLiteral("40%"));
    QCOMPARE(w.canvas().widthTwips(), 3150);
    QTest::keyClick(w.zoomX(), Qt::Key_End);
    QCOMPARE(w.zoomX()->currentText(), QStringLiteral("100%"));
    QCOMPARE(w.canvas().widthTwips(), 7890);
    QCOMPARE(w.at({400, 275}), White);

    w.undo();
    QCOMPARE(w.canvas().widthTwips(), 3150);
    QCOMPARE(w.zoomX()->currentText(), QStringLiteral("40%"));
    w.undo();
    QCOMPARE(w.canvas().widthTwips(), 7935);
    QCOMPARE(w.canvas().canvasWidth(), 7885);
    QCOMPARE(w.zoomX()->currentIndex(), -1);
    QCOMPARE(w.at({400, 275}), 0);
    QCOMPARE(w.view()->width(), 529);

    w.redo();
    QCOMPARE(w.canvas().widthTwips(), 3150);
}

void TestUndo::clearAndFontClearUndoRedo()
{
    Window w;
    w.rectangle({20, 20}, {60, 60});
    child<QAbstractButton>(&w.main, "Command11")->click(); // 清空画布
    QCOMPARE(w.at({20, 40}), White);

    // 预览字体 settles: the Canvas is cleared and the text box's text printed anew.
    w.rectangle({100, 100}, {140, 140});
    w.page("Command6");
    w.main.settingsPage()->bar(Setting::PreviewFontSize)->setValue(30);
    QCOMPARE(w.at({100, 120}), White);

    w.undo(); // the font clear
    QCOMPARE(w.at({100, 120}), 0);
    w.undo(); // the second rectangle
    QCOMPARE(w.at({100, 120}), White);
    QCOMPARE(w.at({20, 40}), White);
    w.undo(); // 清空画布
    QCOMPARE(w.at({20, 40}), 0);
    w.redo();
    QCOMPARE(w.at({20, 40}), White);
    w.redo();
    QCOMPARE(w.at({100, 120}), 0);
    // Undo never changes a setting.
    QCOMPARE(w.main.settingsPage()->bar(Setting::PreviewFontSize)->value(), 30);
}

void TestUndo::keysBelongToTextBoxesAndWaitForRuns()
{
    Window w;
    w.rectangle({20, 20}, {60, 60});
    // In the text to imprint, Ctrl+Z undoes typing, not the drawing.
    auto* text = child<QPlainTextEdit>(&w.main, "Text2");
    text->setFocus();
    QTest::keyClicks(text, QStringLiteral("ab"));
    QTest::keyClick(text, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(w.at({20, 40}), 0);
    QVERIFY(w.main.history().canUndo());

    // While a run is going the keys do nothing.
    w.page("Command4");
    child<QAbstractButton>(&w.main, "Command1")->click();
    QVERIFY(w.main.isRunning());
    w.undo();
    QCOMPARE(w.at({20, 40}), 0);
    QTRY_VERIFY(!w.main.isRunning());
    w.undo();
    QCOMPARE(w.at({20, 40}), White);
}

void TestUndo::wheelChangesNothingUnfocused()
{
    Window w;
    const QImage before = w.canvas().image();
    wheel(w.zoomX(), -1);
    QCOMPARE(w.zoomX()->currentIndex(), -1);
    QCOMPARE(w.canvas().image(), before);

    w.page("Command6");
    ScrollBar* font = w.main.settingsPage()->bar(Setting::PreviewFontSize);
    ScrollBar* panel = w.main.settingsPage()->panelBar();
    const int value = font->value();
    wheel(font, -1);
    QCOMPARE(font->value(), value);
    QCOMPARE(w.canvas().image(), before);
    // The wheel that no bar takes scrolls the panel, and the panel follows.
    QVERIFY(panel->value() > 0);
    QCOMPARE(child<QWidget>(&w.main, "Picture4")->y(), -TwipsToPixels(panel->value()));

    // With the focus, a bar takes the wheel.
    font->setFocus();
    wheel(font, -1);
    QVERIFY(font->value() != value);
}

void TestUndo::roundedOutlineShowsTheDrawnCorners()
{
    Window w;
    w.main.findChild<DrawingPage*>()->roundingBar()->setValue(4);
    QTest::mouseClick(w.main.toolColumn()->button(Tool::RoundedRectangle), Qt::LeftButton);
    QTest::mousePress(w.view(), Qt::LeftButton, {}, {10, 10});
    QTest::mouseMove(w.view(), {90, 50});
    QCOMPARE(w.view()->outlineCorner(), QSizeF(20, 10));
    QTest::mouseRelease(w.view(), Qt::LeftButton, {}, {90, 50});
}

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
