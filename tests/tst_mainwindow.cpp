#include "app/AboutPage.h"
#include "app/HelpText.h"
#include "app/MainWindow.h"
#include "app/ResultBox.h"
#include "app/ResultWindow.h"
#include "canvas/Fonts.h"
#include "canvas/ui/CanvasPage.h"
#include "canvas/ui/ToolColumn.h"
#include "cli/Conversion.h"
#include "cli/ConvertOptions.h"
#include "settings/ui/SettingsPage.h"
#include "widgets/CanvasWidget.h"
#include "widgets/ScrollBar.h"
#include "widgets/ShapeWidget.h"
#include "widgets/TwipsLayout.h"

#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QTextBrowser>
#include <QtTest>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

const QString Title = QStringLiteral("Tessivo 1.2 - Quillan ");

// The page buttons, in the order of MainWindow::Page.
constexpr const char* Pages[] = {"Command4", "Command5", "Command10", "Command6", "Command7"};

// Answers the import question box as soon as it shows, with a real button click.
void answerImportQuestion(QMessageBox::StandardButton answer)
{
    QTimer::singleShot(0, [answer] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            answerImportQuestion(answer);
            return;
        }
        QCOMPARE(box->windowTitle(), QStringLiteral("Tessivo"));
        QCOMPARE(box->text(), QStringLiteral("发现外部数据源，需要导入吗？"));
        QCOMPARE(box->icon(), QMessageBox::NoIcon);
        box->button(answer)->click();
    });
}

QString writePicture(const QTemporaryDir& dir)
{
    QImage image(600, 400, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 255) / 600, (y * 255) / 400, ((x + y) * 255) / 1000));
    }
    const QString path = dir.filePath(QStringLiteral("gradient.png"));
    image.save(path);
    return path;
}

QString convert(const QStringList& args)
{
    const ParsedCommandLine parsed = ParseConvertOptions(args);
    return QString::fromUtf8(RunConversion(*parsed.options).out);
}

} // namespace

class TestMainWindow : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void startupState();
    void startupTableImport_data();
    void startupTableImport();
    void pageSwitching_data();
    void pageSwitching();
    void drawingPageKeepsTitle();
    void runMatchesConverter();
    void runRefusedForLongRows();
    void inkChoiceFromTheContextMenu_data();
    void inkChoiceFromTheContextMenu();
    void progressFollowsLineSteps_data();
    void progressFollowsLineSteps();
    void resultWindowIsReused();
    void zoomViewDrag();
    void zoomBoxes();
    void clearAndImprint();
    void fontSliderReimprints();
    void closingEndsEverything();
    void tabReachesEveryControl_data();
    void tabReachesEveryControl();
    void keysStartARunAndMoveBars();
    void keysPressedDuringARunAreDropped();
    void keptFocusIsThisWindows();
    void aboutPageNamesTheAdditions();

private:
    QTemporaryDir m_dir;
};

void TestMainWindow::initTestCase()
{
    RegisterFontSubstitutes();
    QVERIFY(m_dir.isValid());
}

void TestMainWindow::startupState()
{
    bool asked = false;
    MainWindow window(m_dir.path(), [&] { return asked = true; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QVERIFY(!asked);
    QCOMPARE(window.windowTitle(), Title);
    QCOMPARE(child<QLabel>(&window, "Label1")->text(), QString());
    QCOMPARE(window.run().bandCount(), 50);
    QCOMPARE(window.run().bandRowY(50), 0);
    SettingsPage* settings = window.settingsPage();
    QCOMPARE(settings->bar(Setting::RunEfficiency)->value(), 50);
    QCOMPARE(settings->bar(Setting::ZoomRatio)->value(), 5);
    QCOMPARE(settings->bar(Setting::Contrast)->value(), 750);
    QCOMPARE(window.tables().active().size(), 13);
    QCOMPARE(settings->panelBar()->maximum(), 1780);
    QCOMPARE(settings->panelBar()->pageStep(), 178);
    QCOMPARE(window.canvas().canvasWidth(), 7885);
    QCOMPARE(window.canvas().canvasHeight(), 5535);
    QCOMPARE(window.canvas().baseWidth(), 7885);
    QCOMPARE(window.canvas().widthTwips(), 7935);
    for (const char* name : {"Combo1", "Combo2"}) {
        auto* box = child<QComboBox>(&window, name);
        QCOMPARE(box->count(), 7);
        QCOMPARE(box->itemText(0), QStringLiteral("40%"));
        QCOMPARE(box->itemText(6), QStringLiteral("100%"));
        QCOMPARE(box->currentIndex(), -1);
        QCOMPARE(box->placeholderText(), QStringLiteral("100%"));
    }
    for (const char* name : {"Frame2", "Frame3", "Frame4", "Frame5", "Frame7"})
        QVERIFY2(!child(&window, name)->isVisible(), name);
    QVERIFY(child(&window, "Frame1")->isVisible());
    QCOMPARE(child<QAbstractButton>(&window, "Command4")->text(), QStringLiteral("生成-->"));
    QCOMPARE(window.resultBox()->text(), HelpText());
    QVERIFY(!window.isRunning());
    QVERIFY(window.aboutPage()->browser()->source().isEmpty());
    QVERIFY(child(&window, "focus")->hasFocus() || QApplication::focusWidget() == nullptr ||
            QApplication::focusWidget()->objectName() == QStringLiteral("focus"));
    // The focus sink lies below the visible client area.
    QVERIFY(child(&window, "focus")->geometry().top() > window.height());
    // The window has a fixed size: a close button, no maximize button.
    QVERIFY(window.windowFlags().testFlag(Qt::WindowCloseButtonHint));
    QVERIFY(!window.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
}

void TestMainWindow::startupTableImport_data()
{
    QTest::addColumn<int>("answer");
    QTest::addColumn<QStringList>("loaded");
    QTest::addColumn<QString>("status");

    QTest::newRow("OK") << int(QMessageBox::Ok) << QStringList{"#", "o", ".", " "}
                        << QStringLiteral("成功获取外部数据源！");
    QTest::newRow("Cancel") << int(QMessageBox::Cancel) << QStringList() << QString();
}

void TestMainWindow::startupTableImport()
{
    QFETCH(int, answer);
    QFETCH(QStringList, loaded);
    QFETCH(QString, status);

    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("zif.zfh")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("###table\r\n#\r\no\r\n.\r\n");
    file.close();

    answerImportQuestion(QMessageBox::StandardButton(answer));
    MainWindow window(dir.path());
    QCOMPARE(window.windowTitle(), Title);
    QCOMPARE(child<QLabel>(&window, "Label1")->text(), status);
    QCOMPARE(window.tables().loaded(), loaded.isEmpty() ? DefaultCharTable() : loaded);
    // Contrast 750 takes every eighth row, then the space row.
    if (!loaded.isEmpty())
        QCOMPARE(window.tables().active(), QStringList({"#", " "}));
    QCOMPARE(window.resultBox()->text(), HelpText());
}

void TestMainWindow::pageSwitching_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("frame");
    QTest::addColumn<bool>("toolColumn");

    QTest::newRow("generation") << "Command4"
                                << "Frame1" << false;
    QTest::newRow("canvas") << "Command5"
                            << "Frame2" << true;
    QTest::newRow("drawing tools") << "Command10"
                                   << "Frame5" << false;
    QTest::newRow("settings") << "Command6"
                              << "Frame3" << false;
    QTest::newRow("about") << "Command7"
                           << "Frame4" << false;
}

void TestMainWindow::pageSwitching()
{
    QFETCH(QString, button);
    QFETCH(QString, frame);
    QFETCH(bool, toolColumn);

    const QStringList buttons = {"Command4", "Command5", "Command10", "Command6", "Command7"};
    const QStringList captions = {"生成", "画布", "画笔", "设置", "关于"};
    const QStringList frames = {"Frame1", "Frame2", "Frame5", "Frame3", "Frame4"};

    MainWindow window(m_dir.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.toolColumn()->selectTool(Tool::Pen);
    window.setWindowTitle(QStringLiteral("7935,5535,5"));

    // Twice: the same switch again repeats all of it.
    for (int round = 0; round < 2; ++round) {
        QTest::mouseClick(child<QAbstractButton>(&window, button.toLatin1()), Qt::LeftButton);
        for (int i = 0; i < buttons.size(); ++i) {
            auto* b = child<QAbstractButton>(&window, buttons[i].toLatin1());
            const bool current = buttons[i] == button;
            QCOMPARE(b->text(), captions[i] + (current ? QStringLiteral("-->") : QString()));
            QCOMPARE(child(&window, frames[i].toLatin1())->isVisible(), frames[i] == frame);
        }
        QCOMPARE(child(&window, "Frame7")->isVisible(), toolColumn);
        QCOMPARE(window.windowTitle(),
                 button == QLatin1String("Command10") ? QStringLiteral("7935,5535,5") : Title);
        QCOMPARE(QApplication::focusWidget(), child(&window, "focus"));
    }
    // The generation page brings the mouse tool back; the others keep the tool.
    QCOMPARE(window.toolColumn()->selectedTool(),
             button == QLatin1String("Command4") ? Tool::Mouse : Tool::Pen);
    if (button == QLatin1String("Command7")) {
        QCOMPARE(window.aboutPage()->navigations(), 2);
        // The page is made by the build, with the version filled in.
        QVERIFY(window.aboutPage()->browser()->toPlainText().startsWith(
            QStringLiteral("Tessivo 1.2\n")));
    }
}

void TestMainWindow::drawingPageKeepsTitle()
{
    MainWindow window(m_dir.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(child<QAbstractButton>(&window, "Command6"), Qt::LeftButton);
    window.settingsPage()->bar(Setting::PictureFit)->setValue(6);
    QCOMPARE(window.windowTitle(), QStringLiteral("7935,5535,6"));
    QTest::mouseClick(child<QAbstractButton>(&window, "Command10"), Qt::LeftButton);
    QCOMPARE(window.windowTitle(), QStringLiteral("7935,5535,6"));
    QTest::mouseClick(child<QAbstractButton>(&window, "Command5"), Qt::LeftButton);
    QCOMPARE(window.windowTitle(), Title);
}

void TestMainWindow::runMatchesConverter()
{
    const QString picture = writePicture(m_dir);
    MainWindow window(m_dir.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(LoadPictureOntoCanvas(picture, window.canvas(), window.holder()));

    auto* generate = child<QAbstractButton>(&window, "Command1");
    auto* status = child<QLabel>(&window, "Label1");
    auto* bar = child(&window, "Shape2");
    auto* track = child(&window, "Shape1");
    const QList<QWidget*> disabled = {generate, child(&window, "Frame3"), child(&window, "Frame5"),
                                      child(&window, "Picture1")};

    QTest::mouseClick(generate, Qt::LeftButton);
    QVERIFY(window.isRunning());
    QCOMPARE(status->text(), QStringLiteral("正在处理50X 处理速度..."));
    // A picture dropped while the run reads the Canvas is not opened onto it.
    QImage red(50, 50, QImage::Format_RGB32);
    red.fill(Qt::red);
    const QString other = m_dir.filePath(QStringLiteral("red.png"));
    QVERIFY(red.save(other));
    const QImage canvasBefore = window.canvas().image();
    QVERIFY(!window.openPicture(other));
    QCOMPARE(window.canvas().image(), canvasBefore);
    QCOMPARE(window.resultBox()->text(), QString());
    QCOMPARE(window.resultBox()->fontSize(), 10.0);
    for (QWidget* w : disabled)
        QVERIFY(!w->isEnabled());
    // Page buttons and the canvas page's other controls stay usable.
    QVERIFY(child(&window, "Command5")->isEnabled());
    QVERIFY(child(&window, "Command11")->isEnabled());

    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("完成 OK!"), 60000);
    QVERIFY(!window.isRunning());
    for (QWidget* w : disabled)
        QVERIFY(w->isEnabled());
    QCOMPARE(bar->width(), track->width());
    // The track's border is a pixel wide, on every side.
    const QImage shownTrack = track->grab().toImage();
    const int w = shownTrack.width(), h = shownTrack.height();
    for (const auto& [edge, inside] : {std::pair(QPoint(0, h / 2), QPoint(1, h / 2)),
                                       {QPoint(w - 1, h / 2), QPoint(w - 2, h / 2)},
                                       {QPoint(w / 2, 0), QPoint(w / 2, 1)},
                                       {QPoint(w / 2, h - 1), QPoint(w / 2, h - 2)}}) {
        QCOMPARE(shownTrack.pixel(edge), qRgb(0x80, 0x80, 0x80));
        QVERIFY(shownTrack.pixel(inside) != qRgb(0x80, 0x80, 0x80));
    }
    QCOMPARE(window.resultBox()->text(), convert({picture}));

    // A second run with other settings: the box is replaced, the footer is there once.
    window.settingsPage()->bar(Setting::SampleX)->setValue(40);
    window.settingsPage()->bar(Setting::RunEfficiency)->setValue(7);
    window.settingsPage()->removeBlankLinesBox()->setChecked(true);
    QTest::mouseClick(generate, Qt::LeftButton);
    QCOMPARE(status->text(), QStringLiteral("正在处理7X 处理速度..."));
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("完成 OK!"), 60000);
    QCOMPARE(window.resultBox()->text(),
             convert({"--sample-x", "40", "--bands", "7", "--remove-blank-lines", picture}));
}

void TestMainWindow::inkChoiceFromTheContextMenu_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("status");
    QTest::addColumn<bool>("shape");
    QTest::newRow("ink") << "inkChoiceAction"
                         << "完成 OK!（墨量）" << false;
    QTest::newRow("shape") << "shapeChoiceAction"
                           << "完成 OK!（字形）" << true;
}

// The result box's context menu switches "生成" to the ink or shape mode and back; tone is where
// it starts.
void TestMainWindow::inkChoiceFromTheContextMenu()
{
    QFETCH(QString, action);
    QFETCH(QString, status);
    QFETCH(bool, shape);
    const QString picture = writePicture(m_dir);
    MainWindow window(m_dir.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(LoadPictureOntoCanvas(picture, window.canvas(), window.holder()));
    auto* tone = window.findChild<QAction*>(QStringLiteral("toneChoiceAction"));
    auto* ink = window.findChild<QAction*>(action);
    QVERIFY(tone && ink);
    QVERIFY(tone->isChecked() && !ink->isChecked());
    QVERIFY(window.resultBox()->contextActions().contains(ink));

    ink->trigger();
    QTest::mouseClick(child<QAbstractButton>(&window, "Command1"), Qt::LeftButton);
    QVERIFY(!window.isRunning());
    QCOMPARE(child<QLabel>(&window, "Label1")->text(), status);
    const QString result = window.resultBox()->text();
    QVERIFY(result.endsWith(GenerationRun::Footer));
    // The whole Canvas in the columns a run at SampleX gives, lines in the font's proportions.
    const QStringList lines = result.chopped(GenerationRun::Footer.size()).split("\r\n");
    const InkPalette palette(window.tables().loaded(), window.resultBox()->fontFamily(), 10);
    const int columns = RunColumns(window.canvas().widthTwips(), 17);
    QCOMPARE(lines.size() - 1, InkLinesFor(window.canvas().image().size(), columns, palette));
    QCOMPARE(lines.first().size(), columns);
    InkOptions options;
    options.columns = columns;
    options.lines = lines.size() - 1;
    options.shape = shape;
    QCOMPARE(result, DrawInkArt(window.canvas().image(),
                                InkPalette(window.tables().loaded(),
                                           window.resultBox()->fontFamily(), 10, shape),
                                options)
                             .text +
                         GenerationRun::Footer);

    tone->trigger();
    QTest::mouseClick(child<QAbstractButton>(&window, "Command1"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isRunning(), 60000);
    QCOMPARE(window.resultBox()->text(), convert({picture}));
}

// A table row of 10 KB could make the default run's text billions of characters long: the run
// is not started, and everything stays as it was.
void TestMainWindow::runRefusedForLongRows()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QStringLiteral("zif.zfh")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(10 * 1024, 'M') + "\r\n.\r\n");
    file.close();
    answerImportQuestion(QMessageBox::Ok);
    MainWindow window(dir.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QTest::mouseClick(child<QAbstractButton>(&window, "Command1"), Qt::LeftButton);
    QVERIFY(!window.isRunning());
    // The status line shows a short text, the tooltip the whole of it.
    QCOMPARE(child<QLabel>(&window, "Label1")->text(), QStringLiteral("字符表行过长，未生成"));
    QCOMPARE(child<QLabel>(&window, "Label1")->toolTip(),
             QStringLiteral("字符表的行过长，生成的文字将超过33554432个字符，未能生成"));
    QVERIFY(child(&window, "Command1")->isEnabled());
    QCOMPARE(window.resultBox()->text(), HelpText());
}

void TestMainWindow::progressFollowsLineSteps_data()
{
    QTest::addColumn<int>("canvasWidth");
    QTest::addColumn<int>("bands");
    // A Canvas narrower than 160 twips steps a line on every tick: thousands of steps.
    QTest::newRow("narrow Canvas, one band") << 150 << 1;
    QTest::newRow("default width, 50 bands") << 7935 << 50;
}

void TestMainWindow::progressFollowsLineSteps()
{
    QFETCH(int, canvasWidth);
    QFETCH(int, bands);
    MainWindow window(m_dir.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.canvas().setWidthTwips(canvasWidth);
    SettingsPage* settings = window.settingsPage();
    settings->bar(Setting::SampleY)->setValue(2);
    settings->bar(Setting::PictureFit)->setValue(1);
    settings->bar(Setting::RunEfficiency)->setValue(bands);
    auto* bar = child(&window, "Shape2");
    auto* track = child(&window, "Shape1");

    // Whenever the event loop turns during the run, the bar shows how far the run has come.
    int turns = 0;
    int wrong = 0;
    QTimer observer;
    observer.setInterval(0);
    connect(&observer, &QTimer::timeout, [&] {
        if (!window.isRunning())
            return;
        ++turns;
        const int expected = TwipsToPixels(std::floor(9075 * window.run().progress()));
        wrong += bar->width() == expected ? 0 : 1;
    });
    observer.start();
    QTest::mouseClick(child<QAbstractButton>(&window, "Command1"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isRunning(), 60000);
    QVERIFY(turns > 0);
    QCOMPARE(wrong, 0);
    QCOMPARE(bar->width(), track->width());
}

void TestMainWindow::resultWindowIsReused()
{
    MainWindow window(m_dir.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* view = child<QAbstractButton>(&window, "Command9");

    QTest::mouseClick(view, Qt::LeftButton);
    QPointer<ResultWindow> first = window.resultWindow();
    QVERIFY(first && first->isVisible());
    QCOMPARE(first->textBox()->text(), HelpText());
    QCOMPARE(first->textBox()->fontSize(), window.resultBox()->fontSize());

    window.resultBox()->setText(QStringLiteral("ab\r\ncd"));
    window.resultBox()->setFontSize(14);
    QTest::mouseClick(view, Qt::LeftButton);
    QCOMPARE(window.resultWindow(), first.data());
    QCOMPARE(first->textBox()->text(), QStringLiteral("ab\r\ncd"));
    QCOMPARE(first->textBox()->fontSize(), 14.0);
    QCOMPARE(first->textBox()->fontFamily(), window.resultBox()->fontFamily());
    QCOMPARE(QApplication::focusWidget(), child(&window, "focus"));
}

void TestMainWindow::zoomViewDrag()
{
    MainWindow window(m_dir.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* zoom = child<QScrollBar>(&window, "HScroll7");
    const double before = window.resultBox()->fontSize();

    // Arrows move the thumb only.
    zoom->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(zoom->value(), 11);
    QCOMPARE(window.resultBox()->fontSize(), before);

    dragThumb(zoom, 60);
    QVERIFY(zoom->value() > 11);
    QCOMPARE(window.windowTitle(), QString::number(zoom->value()));
    QCOMPARE(window.resultBox()->fontSize(), double(zoom->value()));

    // To 0: the title says so, the size stays.
    const double size = window.resultBox()->fontSize();
    dragThumb(zoom, -zoom->width(), 1);
    QCOMPARE(zoom->value(), 0);
    QCOMPARE(window.windowTitle(), QStringLiteral("0"));
    QCOMPARE(window.resultBox()->fontSize(), size);
}

void TestMainWindow::zoomBoxes()
{
    MainWindow window(m_dir.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(child<QAbstractButton>(&window, "Command5"), Qt::LeftButton);
    auto* x = child<QComboBox>(&window, "Combo1");
    auto* y = child<QComboBox>(&window, "Combo2");
    CanvasModel& canvas = window.canvas();

    // 40% of 7885 is 3154 twips, 210 pixels on screen.
    x->activated(0);
    QCOMPARE(canvas.widthTwips(), 3150);
    QCOMPARE(canvas.canvasWidth(), 3150);
    QCOMPARE(child(&window, "Picture1")->width(), 210);
    y->activated(0);
    QCOMPARE(canvas.heightTwips(), 2220);
    QCOMPARE(canvas.canvasHeight(), 2220);
    // Not cumulative.
    x->activated(1);
    x->activated(1);
    QCOMPARE(canvas.widthTwips(), 3945);
    x->activated(6);
    QCOMPARE(canvas.widthTwips(), 7890);

    // "X:" losing the focus records the size.
    canvas.setWidthTwips(6000);
    QCOMPARE(canvas.canvasWidth(), 6000);
    x->setFocus();
    child(&window, "focus")->setFocus();
    QCOMPARE(canvas.canvasWidth(), 6000);
}

void TestMainWindow::clearAndImprint()
{
    MainWindow window(m_dir.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(child<QAbstractButton>(&window, "Command5"), Qt::LeftButton);
    CanvasModel& canvas = window.canvas();

    QTest::keyClicks(child<QPlainTextEdit>(&window, "Text2"), QStringLiteral("MM"));
    QTest::mouseClick(child<QAbstractButton>(&window, "Command2"), Qt::LeftButton);
    // Printed at the marker's right edge, 15 twips in, at the top.
    int ink = 0;
    for (int x = 0; x < 60; ++x) {
        for (int y = 0; y < 40; ++y)
            ink += canvas.pixelAt(x * 15, y * 15) == 0 ? 1 : 0;
    }
    QVERIFY(ink > 20);
    for (int y = 0; y < 40; ++y)
        QCOMPARE(canvas.pixelAt(0, y * 15), 0xFFFFFF);
    QCOMPARE(QApplication::focusWidget(), child(&window, "focus"));

    QTest::mouseClick(child<QAbstractButton>(&window, "Command11"), Qt::LeftButton);
    for (int x = 0; x < 60; ++x)
        QCOMPARE(canvas.pixelAt(x * 15, 150), 0xFFFFFF);
}

void TestMainWindow::fontSliderReimprints()
{
    MainWindow window(m_dir.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    CanvasModel& canvas = window.canvas();
    canvas.setForeColor(0x0000FF);
    canvas.line(3000, 3000, 4000, 3000);
    QCOMPARE(canvas.pixelAt(3500, 3000), 0x0000FF);
    child<QPlainTextEdit>(&window, "Text2")->setPlainText(QStringLiteral("W"));

    window.settingsPage()->bar(Setting::PreviewFontSize)->setValue(60);
    QCOMPARE(canvas.pixelAt(3500, 3000), 0xFFFFFF);
    QCOMPARE(canvas.font().pointSize, 60.0);
    QCOMPARE(window.windowTitle(), Title);
    int ink = 0;
    for (int x = 0; x < 100; ++x) {
        for (int y = 0; y < 100; ++y)
            ink += canvas.pixelAt(x * 15, y * 15) == 0x0000FF ? 1 : 0;
    }
    QVERIFY(ink > 100);
}

void TestMainWindow::closingEndsEverything()
{
    MainWindow window(m_dir.path());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::mouseClick(child<QAbstractButton>(&window, "Command9"), Qt::LeftButton);
    QPointer<ResultWindow> result = window.resultWindow();
    QVERIFY(result->isVisible());
    QTest::mouseClick(child<QAbstractButton>(&window, "Command1"), Qt::LeftButton);
    QVERIFY(window.isRunning());

    window.close();
    QVERIFY(!window.isRunning());
    QVERIFY(!result || !result->isVisible());
    const QString before = window.resultBox()->text();
    QCoreApplication::processEvents();
    QCOMPARE(window.resultBox()->text(), before);
}

void TestMainWindow::tabReachesEveryControl_data()
{
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("controls"); // after the page buttons
    QTest::newRow("generation") << 0 << "Text1 HScroll7 Command9 Command1";
    // The tool column, under the page buttons, comes first (its tools share one stop).
    QTest::newRow("canvas") << 1 << "Option3 Text2 Combo1 Combo2 Command2 Command11 Command3";
    QTest::newRow("drawing") << 2 << "HScroll15 Option8 R RH G GH B BH HScroll14 HScroll13 Option7";
    QTest::newRow("settings") << 3
                              << "HScroll3 HScroll12 HScroll16 HScroll1 Check2 HScroll2 HScroll4 "
                                 "HScroll5 HScroll6 HScroll8 HScroll9 HScroll10 HScroll11 Check3 "
                                 "Command8 VScroll1";
    QTest::newRow("about") << 4 << "eb";
}

// Tab from the focus sink goes through the page buttons, then the page's controls in reading
// order, and comes back round; a bar shows a focus mark.
void TestMainWindow::tabReachesEveryControl()
{
    QFETCH(int, page);
    QFETCH(QString, controls);
    MainWindow window(m_dir.path(), [] { return false; });
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    child<QAbstractButton>(&window, Pages[page])->click();
    const QStringList expected = QStringList(std::begin(Pages), std::end(Pages)) +
                                 controls.split(' ') + QStringList{"focus"};
    QStringList reached;
    for (qsizetype i = 0; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        reached << QApplication::focusWidget()->objectName();
        if (auto* bar = qobject_cast<ScrollBar*>(QApplication::focusWidget()))
            QCOMPARE(bar->grab().toImage().pixelColor(0, 0),
                     bar->palette().color(QPalette::Highlight));
    }
    QCOMPARE(reached, expected);
}

// F5 and Ctrl+Return start a run; a focused bar takes its keys and keeps the focus; Tab brings
// the panel's lowest control into view.
void TestMainWindow::keysStartARunAndMoveBars()
{
    MainWindow window(m_dir.path(), [] { return false; });
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    for (const auto modifier : {Qt::NoModifier, Qt::ControlModifier}) {
        window.resultBox()->setText(QString());
        QTest::keyClick(QApplication::focusWidget(), modifier ? Qt::Key_Return : Qt::Key_F5,
                        modifier);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isRunning() && !window.resultBox()->text().isEmpty(),
                                 60000);
    }
    child<QAbstractButton>(&window, "Command6")->click();
    const auto tabTo = [&](const char* name) {
        while (QApplication::focusWidget()->objectName() != name)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    };
    tabTo("HScroll3");
    ScrollBar* colorLevel = window.settingsPage()->bar(Setting::ColorLevel);
    for (const auto& [key, value] : {std::pair{Qt::Key_Right, 2}, {Qt::Key_End, 10}}) {
        QTest::keyClick(colorLevel, key);
        QCOMPARE(colorLevel->value(), value);
        QVERIFY(colorLevel->hasFocus());
    }
    tabTo("Command8");
    auto* reset = child(&window, "Command8");
    QVERIFY(
        child(&window, "Picture3")
            ->rect()
            .contains(QRect(reset->mapTo(child(&window, "Picture3"), QPoint()), reset->size())));
}

// A Ctrl+Z queued while an ink run holds the window is thrown away, not carried out after it.
void TestMainWindow::keysPressedDuringARunAreDropped()
{
    MainWindow window(m_dir.path(), [] { return false; });
    window.show();
    QVERIFY(window.openPicture(writePicture(m_dir)));
    child<QAbstractButton>(&window, "Command4")->click();
    window.setCharacterChoice(CharacterChoice::Ink);
    QCoreApplication::postEvent(QApplication::focusWidget(),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier));
    QTest::mouseClick(child<QAbstractButton>(&window, "Command1"), Qt::LeftButton);
    QCoreApplication::processEvents();
    QVERIFY(window.history().canUndo());
    QVERIFY(window.canvas().pixelAt(0, 0) != 0xFFFFFF);
}

// A keyboard user's focus stays where the keys put it, in this window: with another window's
// field focused, a page switch still puts this window's own focus back on its sink.
void TestMainWindow::keptFocusIsThisWindows()
{
    MainWindow window(m_dir.path(), [] { return false; });
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QWidget* sink = child(&window, "focus");
    QVERIFY(window.focusWidget() && window.focusWidget() != sink);
    QLineEdit other;
    other.show();
    QVERIFY(QTest::qWaitForWindowActive(&other));
    other.setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), &other);
    child<QAbstractButton>(&window, "Command6")->click();
    QCOMPARE(window.focusWidget(), sink);
}

void TestMainWindow::aboutPageNamesTheAdditions()
{
    MainWindow window(m_dir.path(), [] { return false; });
    QTest::mouseClick(child<QAbstractButton>(&window, "Command7"), Qt::LeftButton);
    const QString page = window.aboutPage()->browser()->toPlainText();
    for (const char* named : {"Ctrl+Z", "Ctrl+S", "拖", "Ctrl+V", "字符表工坊", "tessivo-table"})
        QVERIFY2(page.contains(QString::fromUtf8(named)), named);
    // The three ways of choosing characters are named where the menu entries that choose them
    // are, each with what it does.
    for (const char* action : {"toneChoiceAction", "inkChoiceAction", "shapeChoiceAction"}) {
        const QAction* entry = window.findChild<QAction*>(QLatin1String(action));
        QVERIFY(entry);
        QVERIFY2(page.contains(entry->text()), action);
        QVERIFY2(entry->toolTip().size() > entry->text().size() + 10, action);
    }
    QVERIFY(page.contains(QStringLiteral("墨迹分布")) && page.contains(QStringLiteral("色调")));
    QCOMPARE(window.resultBox()->text(), HelpText());
}

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
