#include "app/GenerationPage.h"
#include "app/MainWindow.h"
#include "app/ResultBox.h"
#include "app/Startup.h"
#include "app/TableWorkshopDialog.h"
#include "art/TableMeter.h"
#include "engine/CharTable.h"
#include "engine/GenerationRun.h"
#include "engine/TableFile.h"
#include "settings/ui/SettingsPage.h"
#include "widgets/ScrollBar.h"

#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextLayout>
#include <QWheelEvent>
#include <QtTest>

#include <cstdio>
#include <memory>

using namespace tessivo;
using namespace tessivo::testing;

class TestWorkshopDialog : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { m_window.reset(); }
    void useNowLoadsTheTableAndARunUsesIt_data();
    void useNowLoadsTheTableAndARunUsesIt();
    void useNowWaitsForARun();
    void saveRefusesARowGbkCannotHold();
    void fitsTheScreenAndKeepsItsControlsStill();
    void fitsAtTwiceTheScale();
    void sizesFromOneToSeventyTwoPoints();
    void saveDialogOpensWhereTheLastSaveWent();

private:
    // Opens the workshop by its context action or its key, and types rows into its box.
    TableWorkshopDialog* openAndType(bool byKey, const QStringList& rows);

    QTemporaryDir m_dir;
    QString m_picture;
    std::unique_ptr<MainWindow> m_window;
};

void TestWorkshopDialog::initTestCase()
{
    SetUpApplication();
    QVERIFY(m_dir.isValid());
    // Dark on the left to white on the right: every row of a table has its part.
    QImage image(400, 300, QImage::Format_RGB32);
    for (int x = 0; x < image.width(); ++x) {
        const int grey = 255 * x / (image.width() - 1);
        for (int y = 0; y < image.height(); ++y)
            image.setPixel(x, y, qRgb(grey, grey, grey));
    }
    m_picture = m_dir.filePath(QStringLiteral("gradient.png"));
    QVERIFY(image.save(m_picture));
}

void TestWorkshopDialog::init()
{
    m_window = std::make_unique<MainWindow>(m_dir.path());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowActive(m_window.get()));
    QVERIFY(m_window->openPicture(m_picture));
    m_window->showPage(MainWindow::Page::Generation);
}

TableWorkshopDialog* TestWorkshopDialog::openAndType(bool byKey, const QStringList& rows)
{
    if (byKey) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_T,
                        Qt::ControlModifier | Qt::ShiftModifier);
    } else {
        const QList<QAction*> actions = m_window->resultBox()->contextActions();
        const auto it = std::find_if(actions.begin(), actions.end(), [](QAction* a) {
            return a->objectName() == QLatin1String("workshopAction");
        });
        if (it == actions.end())
            return nullptr;
        (*it)->trigger();
    }
    TableWorkshopDialog* dialog = m_window->workshop();
    if (!dialog || !dialog->isVisible())
        return nullptr;
    auto* box = dialog->findChild<QPlainTextEdit*>(QStringLiteral("rowsBox"));
    for (const QString& row : rows) {
        QTest::keyClicks(box, row);
        QTest::keyClick(box, Qt::Key_Return);
    }
    return dialog;
}

void TestWorkshopDialog::useNowLoadsTheTableAndARunUsesIt_data()
{
    QTest::addColumn<bool>("byKey");
    QTest::newRow("context action") << false;
    QTest::newRow("Ctrl+Shift+T") << true;
}

void TestWorkshopDialog::useNowLoadsTheTableAndARunUsesIt()
{
    QFETCH(bool, byKey);
    // At Contrast 100 the active table holds every row.
    m_window->settingsPage()->bar(Setting::Contrast)->setValue(100);
    const QStringList rows = {"@", ".", "="};
    TableWorkshopDialog* dialog = openAndType(byKey, rows);
    QVERIFY(dialog);
    // The rows are measured in the result box's font.
    const TableMeter meter(m_window->resultBox()->fontFamily(), m_window->resultBox()->fontSize());
    QStringList loaded;
    for (const RowTone& row : SortDarkestFirst(meter.measure(rows)))
        loaded.append(row.row);
    loaded.append(QStringLiteral(" "));

    child<QAbstractButton>(dialog, "useTableButton")->click();
    QCOMPARE(m_window->tables().loaded(), loaded);
    QCOMPARE(m_window->tables().active(), RebuildActiveTable(loaded, 100));
    auto* status = child<QLabel>(m_window.get(), "Label1");
    QCOMPARE(status->text(), QStringLiteral("已使用工坊字符表"));
    QCOMPARE(status->toolTip(), QStringLiteral("已使用字符表工坊的字符表"));

    dialog->reject();
    child<QAbstractButton>(m_window.get(), "Command1")->click();
    QTRY_COMPARE_WITH_TIMEOUT(status->text(), QStringLiteral("完成 OK!"), 60000);
    const QString art = m_window->resultBox()->text().chopped(GenerationRun::Footer.size());
    for (const QChar c : QStringLiteral("@.="))
        QVERIFY2(art.contains(c), qPrintable(QString(c)));
    for (const QChar c : art)
        QVERIFY2(QStringLiteral("@.= \r\n").contains(c), qPrintable(QString(c)));
}

// A run maps tones to the active table as it goes: the table waits until the run is over.
void TestWorkshopDialog::useNowWaitsForARun()
{
    TableWorkshopDialog* dialog = openAndType(false, {"@"});
    QVERIFY(dialog);
    const QStringList before = m_window->tables().active();
    child<QAbstractButton>(m_window.get(), "Command1")->click();
    QVERIFY(m_window->isRunning());
    child<QAbstractButton>(dialog, "useTableButton")->click();
    QCOMPARE(m_window->tables().active(), before);
    QVERIFY(!child<QLabel>(dialog, "workshopNote")->text().isEmpty());
    QTRY_VERIFY_WITH_TIMEOUT(!m_window->isRunning(), 60000);
    child<QAbstractButton>(dialog, "useTableButton")->click();
    QCOMPARE(m_window->tables().loaded(), (QStringList{"@", " "}));
}

void TestWorkshopDialog::saveRefusesARowGbkCannotHold()
{
    TableWorkshopDialog* dialog = openAndType(false, {});
    QVERIFY(dialog);
    child<QPlainTextEdit>(dialog, "rowsBox")->setPlainText(QStringLiteral("龘\n\U0001F600\n一"));
    QTRY_COMPARE(dialog->workshop().rows().size(), 3);
    const QString path = m_dir.filePath(QStringLiteral("saved.zfh"));

    const QString problem = dialog->saveTable(path, TableEncoding::Gbk);
    QVERIFY2(problem.contains(QStringLiteral("\U0001F600")), qPrintable(problem));
    QVERIFY(!QFile::exists(path));

    QCOMPARE(dialog->saveTable(path, TableEncoding::Utf8), QString());
    const TableFileResult read = ReadTableFile(path);
    QCOMPARE(read.status, TableFileResult::Status::Read);
    QCOMPARE(read.rows, dialog->workshop().loadedTable());
}

// The workshop opens inside the screen's free area; its font and size boxes take the wheel only
// when focused; "≈：N 对" never breaks across lines, however narrow its note.
void TestWorkshopDialog::fitsTheScreenAndKeepsItsControlsStill()
{
    TableWorkshopDialog* dialog = openAndType(true, {"M", "i"});
    QVERIFY(dialog);
    QVERIFY(dialog->screen()->availableGeometry().contains(dialog->frameGeometry()));
    auto* font = child<QComboBox>(dialog, "fontBox");
    auto* size = child<QDoubleSpinBox>(dialog, "sizeBox");
    const QString before = font->currentText() + size->text();
    for (QWidget* over : {static_cast<QWidget*>(font), static_cast<QWidget*>(size)}) {
        QWheelEvent wheel(over->rect().center(), over->mapToGlobal(over->rect().center()), {},
                          {0, -120}, {}, {}, Qt::NoScrollPhase, false);
        QApplication::sendEvent(over, &wheel);
    }
    QCOMPARE(font->currentText() + size->text(), before);

    const QString text = child<QLabel>(dialog, "closeNote")->text();
    for (int width = 400; width > 60; width -= 3) {
        QTextLayout layout(text, child<QLabel>(dialog, "closeNote")->font());
        layout.beginLayout();
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine())
            line.setLineWidth(width);
        layout.endLayout();
        QCOMPARE(layout.lineForTextPosition(text.indexOf(u'对')).lineNumber(),
                 layout.lineForTextPosition(text.indexOf(u'≈')).lineNumber());
    }
}

void TestWorkshopDialog::sizesFromOneToSeventyTwoPoints()
{
    TableWorkshopDialog* dialog = openAndType(false, {"M", "i"});
    QVERIFY(dialog);
    auto* size = child<QDoubleSpinBox>(dialog, "sizeBox");
    for (const auto& [asked, taken] : {std::pair(0.5, 1.0), {12.25, 12.25}, {100.0, 72.0}}) {
        size->setValue(asked);
        QCOMPARE(size->value(), taken);
    }
}

// At twice the scale on a screen of 1600 x 1000 (800 x 500 in the program's pixels), with no
// window manager's frame known when the workshop is shown: where the screen's free area and the
// workshop's client area and buttons lie, in a process of their own.
static int workshopAtTwiceTheScale(int argc, char* argv[])
{
    QApplication app(argc, argv);
    SetUpApplication();
    QTemporaryDir folder;
    MainWindow window(folder.path(), [] { return false; });
    window.show();
    window.openWorkshop();
    TableWorkshopDialog* dialog = window.workshop();
    if (!dialog || !QTest::qWaitForWindowExposed(dialog))
        return 1;
    QRect buttons;
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        buttons |= QRect(button->mapTo(dialog, QPoint(0, 0)), button->size());
    const QRect shown[] = {dialog->screen()->availableGeometry(), dialog->geometry(), buttons};
    for (const QRect& r : shown)
        std::printf("%d %d %d %d\n", r.x(), r.y(), r.width(), r.height());
    return 0;
}

// The workshop fits a screen at twice the scale, its title bar included: its bottom row of
// buttons is never under the screen's edge.
void TestWorkshopDialog::fitsAtTwiceTheScale()
{
    QTemporaryDir folder;
    QFile screens(folder.filePath(QStringLiteral("screens.json")));
    QVERIFY(screens.open(QIODevice::WriteOnly));
    screens.write(R"({"windowFrameMargins": false,
                      "screens": [{"name": "1600x1000", "x": 0, "y": 0, "width": 1600,
                      "height": 1000, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})");
    screens.close();
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_SCALE_FACTOR", "2");
    environment.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + screens.fileName());
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(), {"--workshop-at-twice-the-scale"});
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitCode(), 0);
    QList<QRect> rects;
    for (const QByteArray& line : child.readAllStandardOutput().trimmed().split('\n')) {
        const QList<QByteArray> n = line.split(' ');
        QCOMPARE(n.size(), 4);
        rects.append(QRect(n[0].toInt(), n[1].toInt(), n[2].toInt(), n[3].toInt()));
    }
    QCOMPARE(rects.size(), 3);
    const QRect available = rects[0], client = rects[1], buttons = rects[2];
    QCOMPARE(available.size(), QSize(800, 500));
    // Room above for a title bar of 40 pixels of the screen's, and the client area below it.
    QVERIFY2(client.top() - available.top() >= 20 && available.contains(client),
             qPrintable(QStringLiteral("%1,%2 %3x%4")
                            .arg(client.x())
                            .arg(client.y())
                            .arg(client.width())
                            .arg(client.height())));
    QVERIFY(QRect(QPoint(0, 0), client.size()).contains(buttons));
}

// The save dialog opens in the folder the last table was saved to, while it is there.
void TestWorkshopDialog::saveDialogOpensWhereTheLastSaveWent()
{
    TableWorkshopDialog* dialog = openAndType(false, {"@", "."});
    QVERIFY(dialog);
    // The threshold for rows too close in tone starts at its default, shown in percent.
    QCOMPARE(child<QDoubleSpinBox>(dialog, "thresholdBox")->text(), QStringLiteral("0.25 %"));
    const QString folder = m_dir.filePath(QStringLiteral("tables"));
    QVERIFY(QDir().mkpath(folder));
    const auto isSaveDialog = [](QWidget* w) {
        return w->objectName() == QLatin1String("saveTableDialog");
    };
    QString openedIn;
    const auto look = [&](QWidget* w) {
        auto* files = static_cast<QFileDialog*>(w);
        openedIn = files->directory().absolutePath();
        files->reject();
    };
    whenModal(isSaveDialog, [&](QWidget* w) {
        auto* files = static_cast<QFileDialog*>(w);
        files->selectFile(folder + QStringLiteral("/mine.zfh"));
        static_cast<QDialog*>(files)->accept();
    });
    child<QAbstractButton>(dialog, "saveTableButton")->click();
    QVERIFY(QFile::exists(folder + QStringLiteral("/mine.zfh")));

    whenModal(isSaveDialog, look);
    child<QAbstractButton>(dialog, "saveTableButton")->click();
    QCOMPARE(openedIn, folder);

    QVERIFY(QDir(folder).removeRecursively());
    whenModal(isSaveDialog, look);
    child<QAbstractButton>(dialog, "saveTableButton")->click();
    QCOMPARE(openedIn, QDir::currentPath());
}

int main(int argc, char* argv[])
{
    if (argc == 2 && qstrcmp(argv[1], "--workshop-at-twice-the-scale") == 0)
        return workshopAtTwiceTheScale(argc, argv);
    QApplication app(argc, argv);
    TestWorkshopDialog test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_workshopdialog.moc"
