#include "app/MainWindow.h"
#include "canvas/ui/DrawingPage.h"
#include "canvas/ui/ToolColumn.h"
#include "history/CanvasHistory.h"
#include "settings/ui/SettingsPage.h"
#include "widgets/CanvasWidget.h"
#include "widgets/ScrollBar.h"

#include "GuiTestSupport.h"
#include "TestPictures.h"

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
        choose(Tool::Rectangle);
        QTest::mousePress(view(), Qt::LeftButton, {}, from);
        QTest::mouseMove(view(), to);
        QTest::mouseRelease(view(), Qt::LeftButton, {}, to);
    }
    void key(int key, Qt::KeyboardModifiers modifiers = Qt::ControlModifier)
    {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : &main, Qt::Key(key), modifiers);
    }
    void choose(Tool tool) { QTest::mouseClick(main.toolColumn()->button(tool), Qt::LeftButton); }
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
    void largeHeldPictureKeepsEveryStep();
    void heldPictureCountsAtTheCanvasDepth();
    void undoHidesThePreviews_data();
    void undoHidesThePreviews();
    void undoPutsBackTheValuesChanged_data();
    void undoPutsBackTheValuesChanged();
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
    // The three Canvases undo put back are kept for redo, and counted.
    QCOMPARE(history.bytes(), 3 * canvas.image().sizeInBytes());
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
    // Every buffer counted is given back with the last step that holds it.
    history.setLimits(0, 0);
    QCOMPARE(history.bytes(), 0);
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
    // Redone up to the font change, which is still undone with its setting.
    QCOMPARE(w.main.settingsPage()->bar(Setting::PreviewFontSize)->value(),
             SettingInfo(Setting::PreviewFontSize).startValue);
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

    // With the focus, a bar takes the wheel, and so does a zoom box.
    font->setFocus();
    wheel(font, -1);
    QVERIFY(font->value() != value);
    w.page("Command5");
    w.zoomX()->setFocus();
    wheel(w.zoomX(), -1);
    QVERIFY(w.zoomX()->currentIndex() >= 0);
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

void TestUndo::largeHeldPictureKeepsEveryStep()
{
    // A 12-megapixel picture held whole is shared by the steps: of 65 rectangles, the last 64
    // are undone, the most steps the window keeps.
    Window w;
    QImage photo(4000, 3000, QImage::Format_RGB32);
    photo.fill(0xC0C0C0);
    const QString path = w.dir.filePath(QStringLiteral("photo.png"));
    QVERIFY(photo.save(path) && w.main.openPicture(path));
    for (int i = 0; i < 65; ++i)
        w.rectangle({10 + i % 8 * 60, 10 + i / 8 * 35}, {50 + i % 8 * 60, 35 + i / 8 * 35});
    int undone = 0;
    for (QImage before; before != w.canvas().image(); ++undone) {
        before = w.canvas().image();
        w.undo();
    }
    QCOMPARE(undone - 1, 64);
}

void TestUndo::heldPictureCountsAtTheCanvasDepth()
{
    // A 16-bit picture is held as the Canvas draws it, four bytes a pixel, and its bytes count
    // against the bound with the Canvas's.
    QTemporaryDir dir;
    QImage deep(400, 300, QImage::Format_RGBX64);
    deep.fill(QColor(10, 20, 30));
    CanvasModel canvas;
    PictureHolder holder;
    CanvasHistory history(canvas, holder);
    QVERIFY(LoadPictureOntoCanvas(writeFile(dir.path(), "deep.png", encode(deep, "PNG")), canvas,
                                  holder));
    QCOMPARE(holder.bytes(), 400 * 300 * 4);
    history.record();
    QCOMPARE(history.bytes(), canvas.image().sizeInBytes() + holder.bytes());
    // A second step holds the same picture: once the first goes, the picture still counts.
    canvas.line(0, 300, 1500, 300);
    history.record();
    history.setLimits(1, CanvasHistory::DefaultMaxBytes);
    QCOMPARE(history.bytes(), canvas.image().sizeInBytes() + holder.bytes());

    // Over the bound by itself, the newest step is kept all the same: the change can be undone.
    history.setLimits(CanvasHistory::DefaultMaxSteps, holder.bytes());
    QCOMPARE(history.undoCount(), 1);
    canvas.line(0, 0, 1500, 1500);
    history.record();
    canvas.clear();
    QCOMPARE(history.undoCount(), 1);
    QVERIFY(history.undo());
    QCOMPARE(canvas.pixelAt(150, 150), 0);
    QCOMPARE(canvas.pixelAt(300, 75), 0x1E140A);
    QVERIFY(!history.undo());
}

void TestUndo::undoHidesThePreviews_data()
{
    QTest::addColumn<Tool>("tool");
    QTest::addColumn<bool>("released");
    QTest::newRow("line drawn") << Tool::Line << true;
    QTest::newRow("line being drawn") << Tool::Line << false;
    QTest::newRow("rectangle being drawn") << Tool::Rectangle << false;
}

void TestUndo::undoHidesThePreviews()
{
    QFETCH(Tool, tool);
    QFETCH(bool, released);
    Window w;
    w.rectangle({20, 20}, {60, 60});
    w.choose(tool);
    QTest::mousePress(w.view(), Qt::LeftButton, {}, {100, 100});
    QTest::mouseMove(w.view(), {200, 100});
    if (released)
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, {200, 100});
    for (const bool undo : {true, false}) {
        undo ? w.undo() : w.redo();
        QVERIFY(!w.view()->linePreviewVisible() && !w.view()->outlineVisible());
        QCOMPARE(w.at({150, 100}), released && !undo ? 0 : White);
    }
    // A shape undone while it is drawn is dropped.
    if (!released)
        QTest::mouseRelease(w.view(), Qt::LeftButton, {}, {200, 100});
    QCOMPARE(w.at({150, 100}), released ? 0 : White);
}

void TestUndo::undoPutsBackTheValuesChanged_data()
{
    QTest::addColumn<QByteArray>("bar");
    QTest::addColumn<int>("value"); // set, or 0 for a drag of the thumb
    QTest::newRow("画布颜色 drag") << QByteArray("HScroll5") << 0;
    QTest::newRow("预览字体") << QByteArray("HScroll4") << 30;
    QTest::newRow("字体大小") << QByteArray("HScroll15") << 40;
}

void TestUndo::undoPutsBackTheValuesChanged()
{
    QFETCH(QByteArray, bar);
    QFETCH(int, value);
    Window w;
    w.page(bar == "HScroll15" ? "Command10" : "Command6");
    auto* b = child<ScrollBar>(&w.main, bar.constData());
    const auto state = [&] {
        return QVariantList{b->value(), w.canvas().backColor(), w.canvas().font().pointSize};
    };
    const QVariantList before = state();
    value ? b->setValue(value) : dragThumb(b, 60);
    const QVariantList after = state();
    QVERIFY(after[0] != before[0] && after != before);

    w.undo();
    QCOMPARE(state(), before);
    w.redo();
    QCOMPARE(state(), after);
    w.undo();
    // 清空画布 paints the colour put back.
    child<QAbstractButton>(&w.main, "Command11")->click();
    QCOMPARE(w.at({300, 300}), before[1].toUInt());
}

QTEST_MAIN(TestUndo)
#include "tst_undo.moc"
