#include "art/TableWorkshop.h"
#include "canvas/CanvasModel.h"
#include "canvas/Fonts.h"
#include "engine/GenerationRun.h"
#include "engine/TextCells.h"
#include "settings/SettingValues.h"

#include <QGuiApplication>
#include <QPainter>
#include <QTest>

using namespace tessivo;

class TestTableWorkshop : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { RegisterFontSubstitutes(); }
    void rowsFromText_data();
    void rowsFromText();
    void tableIsSortedWithNearEqualRowsMarked();
    void previewIsARunWithTheWorkshopTable();
    void previewOfTooManyCellsStops();
};

void TestTableWorkshop::rowsFromText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("LF") << "M\nab\n." << QStringList{"M", "ab", "."};
    QTest::newRow("CR LF and CR") << "M\r\nab\r." << QStringList{"M", "ab", "."};
    QTest::newRow("blank lines and space rows dropped") << "\nM\n   \n\n. \n"
                                                        << QStringList{"M", ". "};
    QTest::newRow("comment lines dropped") << "###mine\n龘\n一" << QStringList{"龘", "一"};
    QTest::newRow("paragraph separator")
        << QString::fromUtf16(u"M\u2029.") << QStringList{"M", "."};
    QTest::newRow("nothing") << "" << QStringList{};
}

void TestTableWorkshop::rowsFromText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, rows);
    TableWorkshop workshop;
    workshop.setText(text);
    QCOMPARE(workshop.rows(), rows);
    QCOMPARE(workshop.loadedTable().size(), rows.size() + 1);
    QCOMPARE(workshop.loadedTable().last(), BlankRowFor(rows));
}

void TestTableWorkshop::tableIsSortedWithNearEqualRowsMarked()
{
    TableWorkshop workshop;
    workshop.setText(QStringLiteral("一\n龘\n中\n一"));
    QCOMPARE(workshop.table(), (QStringList{"龘", "中", "一", "一"}));
    // The blank row takes two cells, as the table's characters do.
    QCOMPARE(workshop.sorted().last().row, QStringLiteral("  "));
    // Only the repeated row is closer than the default threshold to its neighbour.
    QCOMPARE(workshop.closeTones(), (QList<ToneStep>{{2, 3, 0}}));
    workshop.setCloseThreshold(1);
    QCOMPARE(workshop.closeTones().size(), workshop.sorted().size() - 1);
}

// The preview gives what a run with the workshop's table loaded gives, and leaves the Canvas and
// the window's tables as they were.
void TestTableWorkshop::previewIsARunWithTheWorkshopTable()
{
    CanvasModel canvas;
    QImage picture(120, 80, QImage::Format_RGB32);
    QPainter painter(&picture);
    for (int x = 0; x < picture.width(); ++x) {
        painter.setPen(QColor::fromHsv(x * 3, 200, 255 - 2 * x));
        painter.drawLine(x, 0, x, picture.height());
    }
    painter.end();
    canvas.paintPicture(picture, 0, 0, 7935, 5535);
    const QImage canvasBefore = canvas.image();

    SettingValues window;
    window.setValue(Setting::Contrast, 100);
    const QStringList activeBefore = window.charTable();

    TableWorkshop workshop;
    workshop.setText(QStringLiteral("龘\n中\n一\n、"));
    QCOMPARE(workshop.startPreview(canvas, window, 100, 10), TableWorkshop::PreviewStart::Started);
    while (workshop.tickPreview(canvas, 1'000'000) == TableWorkshop::PreviewStep::Running) {
    }
    QVERIFY(!workshop.previewRunning());

    QCOMPARE(canvas.image(), canvasBefore);
    QCOMPARE(window.charTable(), activeBefore);

    SettingValues loaded;
    loaded.setLoadedTable(workshop.loadedTable());
    loaded.setValue(Setting::Contrast, 100);
    GenerationRun run;
    run.setBandCount(10);
    QCOMPARE(run.start(canvas, loaded), GenerationRun::StartResult::Started);
    while (run.tick(canvas, loaded) != GenerationRun::TickOutcome::Finished) {
    }
    QCOMPARE(workshop.previewText(), run.resultText());
    const QString art = workshop.previewText().chopped(GenerationRun::Footer.size());
    for (const QChar c : art)
        QVERIFY2(QStringLiteral("龘中一、 \r\n").contains(c), qPrintable(QString(c)));
    QVERIFY(art.contains(u'龘') && art.contains(u'、'));
}

void TestTableWorkshop::previewOfTooManyCellsStops()
{
    CanvasModel canvas;
    SettingValues window;
    window.setValue(Setting::SampleX, 2);
    window.setValue(Setting::SampleY, 2);
    TableWorkshop workshop;
    workshop.setText(QStringLiteral("M"));
    QCOMPARE(workshop.startPreview(canvas, window, 750, 100), TableWorkshop::PreviewStart::Started);
    TableWorkshop::PreviewStep step;
    do
        step = workshop.tickPreview(canvas, 1'000'000);
    while (step == TableWorkshop::PreviewStep::Running);
    QCOMPARE(step, TableWorkshop::PreviewStep::TooLarge);
    QVERIFY(workshop.previewText().isEmpty());
}

QTEST_MAIN(TestTableWorkshop)
#include "tst_tableworkshop.moc"
