#include "engine/FreshMemory.h"
#include "engine/GenerationRun.h"
#include "settings/SettingValues.h"

#include <QtTest>

#include <functional>
#include <limits>

using namespace tessivo;

namespace {

// A Canvas stand-in: a colour per position, a size that tests can change between ticks, and a
// log of every read.
class FakeCanvas : public PixelSource {
public:
    std::function<std::int32_t(int, int)> m_color = [](int, int) { return 0xFFFFFF; };
    int m_width = 7885;
    int m_height = 5535;
    mutable QList<QPoint> m_reads;
    bool m_logReads = false;

    std::int32_t pixelAt(int x, int y) const override
    {
        if (m_logReads)
            m_reads.append(QPoint(x, y));
        return m_color(x, y);
    }
    int canvasWidth() const override { return m_width; }
    int canvasHeight() const override { return m_height; }
};

struct RunLog {
    int sampledTicks = 0;
    QList<int> stepTicks; // 1-based tick numbers of the line steps
    QList<double> progressAfterSteps;
};

RunLog runToEnd(GenerationRun& run, const FakeCanvas& canvas, const GenerationSettings& settings)
{
    RunLog log;
    for (int tick = 1;; ++tick) {
        const GenerationRun::TickOutcome outcome = run.tick(canvas, settings);
        if (outcome == GenerationRun::TickOutcome::Finished)
            break;
        ++log.sampledTicks;
        if (outcome == GenerationRun::TickOutcome::SteppedLine) {
            log.stepTicks.append(tick);
            log.progressAfterSteps.append(run.progress());
        }
    }
    return log;
}

QStringList artLines(const QString& art)
{
    QStringList lines = art.split(QStringLiteral("\r\n"));
    if (!art.isEmpty()) {
        // Every line ends in CR LF, so the split leaves one empty remainder.
        [&] { QCOMPARE(lines.last(), QString()); }();
        lines.removeLast();
    }
    return lines;
}

} // namespace

class TestGenerationRun : public QObject {
    Q_OBJECT

private slots:
    void workedExampleLayout();
    void workedExampleTicksAndProgress();
    void workedExampleReadsEveryCellOnce();
    void workedExampleText();
    void pictureFit100FinishesAtOnce();
    void narrowCanvasGivesOneCellPerLine();
    void rowsOfAnyLengthEndCleanly_data();
    void rowsOfAnyLengthEndCleanly();
    void blankLineRemovalKeepsLineEnds();
    void recordedColoursFollowEveryCharacter_data();
    void recordedColoursFollowEveryCharacter();
    void secondRunStartsAfresh();
    void startDuringRunStartsAfresh();
    void everyCellGetsItsRow_data();
    void everyCellGetsItsRow();
    void settingsAndWidthAreReadLive();
    void bandCountRecreatesArrays();
    void bandCountStaysInRange_data();
    void bandCountStaysInRange();
    void positionsBeyond16BitsAreRefused_data();
    void positionsBeyond16BitsAreRefused();
    void textLengthCountsLineEnds_data();
    void textLengthCountsLineEnds();
    void preparedMemoryKeepsItsContents_data();
    void preparedMemoryKeepsItsContents();
};

void TestGenerationRun::workedExampleLayout()
{
    GenerationRun run;
    run.setBandCount(50);
    SettingValues settings;
    FakeCanvas canvas;
    QCOMPARE(run.start(canvas, settings), GenerationRun::StartResult::Started);
    QCOMPARE(run.bandStep(), 0.95 * 5535 / 50);
    QCOMPARE(run.bandRowY(1), 105);
    QCOMPARE(run.bandRowY(2), 210);
    QCOMPARE(run.bandRowY(3), 315);
    QCOMPARE(run.bandRowY(4), 421);
    QCOMPARE(run.bandRowY(50), 5258);
    QCOMPARE(run.bandHeight(), 105);
    QCOMPARE(run.scanX(), 0);
    QCOMPARE(run.scanOffset(), 0);
}

void TestGenerationRun::workedExampleTicksAndProgress()
{
    GenerationRun run;
    run.setBandCount(50);
    SettingValues settings;
    FakeCanvas canvas;
    run.start(canvas, settings);
    const RunLog log = runToEnd(run, canvas, settings);

    QCOMPARE(log.sampledTicks, 1821);
    QCOMPARE(log.stepTicks, QList<int>({456, 911, 1366, 1821}));
    QCOMPARE(log.progressAfterSteps,
             QList<double>({30.0 / 105, 60.0 / 105, 90.0 / 105, 120.0 / 105}));
    // The bar of a 9075-twip track after each step.
    QCOMPARE(int(std::floor(9075 * log.progressAfterSteps[0])), 2592);
    QVERIFY(log.progressAfterSteps.last() > 1);
}

void TestGenerationRun::workedExampleReadsEveryCellOnce()
{
    GenerationRun run;
    run.setBandCount(50);
    SettingValues settings;
    FakeCanvas canvas;
    canvas.m_logReads = true;
    run.start(canvas, settings);
    QList<int> starts;
    for (int i = 1; i <= 50; ++i)
        starts.append(run.bandRowY(i));

    // First tick: column 0 of every band, in band order.
    run.tick(canvas, settings);
    QCOMPARE(canvas.m_reads.size(), 50);
    for (int i = 0; i < 50; ++i)
        QCOMPARE(canvas.m_reads[i], QPoint(0, starts[i]));

    runToEnd(run, canvas, settings);
    QCOMPARE(canvas.m_reads.size(), 1821 * 50);
    // Tick t (0-based) reads line t / 455 (the fifth "line" being the extra cell) at column
    // 17 * (t % 455).
    for (int t : {454, 455, 910, 1364, 1365, 1820}) {
        const int line = t / 455;
        const int column = 17 * (t % 455);
        for (int i = 0; i < 50; i += 7)
            QCOMPARE(canvas.m_reads[t * 50 + i], QPoint(column, starts[i] + 30 * line));
    }
    QCOMPARE(canvas.m_reads[454 * 50].x(), 7718); // the last column: 7718 <= 7725 < 7735
}

void TestGenerationRun::workedExampleText()
{
    GenerationRun run;
    run.setBandCount(50);
    SettingValues settings;
    FakeCanvas canvas;
    // Black above y = 2000 twips, white below, a grey column at x = 17 * 3.
    canvas.m_color = [](int x, int y) {
        if (x == 51)
            return 0x808080;
        return y < 2000 ? 0x000000 : 0xFFFFFF;
    };
    run.start(canvas, settings);
    QList<int> starts;
    for (int i = 1; i <= 50; ++i)
        starts.append(run.bandRowY(i));
    runToEnd(run, canvas, settings);

    const QString text = run.resultText();
    QVERIFY(text.endsWith(
        QStringLiteral("\r\n\r\n最佳显示字体:新宋体;\r\n字体大小：小五\r\nTessivo 1.2 - Orlen")));
    const QStringList lines = artLines(run.art().toString());
    QCOMPARE(lines.size(), 200);
    for (int k = 0; k < 200; ++k) {
        const int y = starts[k / 4] + 30 * (k % 4);
        QString expected(455, y < 2000 ? QLatin1Char('M') : QLatin1Char(' '));
        expected[3] = QLatin1Char('7');
        QCOMPARE(lines[k], expected);
    }
    for (int i = 1; i <= 50; ++i)
        QVERIFY(run.bandText(i).isEmpty());
}

void TestGenerationRun::pictureFit100FinishesAtOnce()
{
    GenerationRun run;
    run.setBandCount(50);
    SettingValues settings;
    settings.setValue(Setting::PictureFit, 100);
    FakeCanvas canvas;
    canvas.m_logReads = true;
    QCOMPARE(run.start(canvas, settings), GenerationRun::StartResult::Started);
    QCOMPARE(run.bandStep(), 0.0);
    QCOMPARE(run.bandHeight(), 0);
    QCOMPARE(run.tick(canvas, settings), GenerationRun::TickOutcome::Finished);
    QVERIFY(canvas.m_reads.isEmpty());
    QCOMPARE(run.resultText(), GenerationRun::Footer);
    QVERIFY(run.resultText().startsWith(QStringLiteral("\r\n最佳")));
    QCOMPARE(run.progress(), 0.0);
}

void TestGenerationRun::narrowCanvasGivesOneCellPerLine()
{
    GenerationRun run;
    run.setBandCount(2);
    SettingValues settings;
    settings.setValue(Setting::PictureFit, 50);
    FakeCanvas canvas;
    canvas.m_width = 150; // under 160: every tick steps to a new line
    canvas.m_height = 600;
    canvas.m_color = [](int, int) { return 0; };
    run.start(canvas, settings); // band step 150, bands at 150 and 300, 5 lines each
    QCOMPARE(run.bandHeight(), 150);
    const RunLog log = runToEnd(run, canvas, settings);
    QCOMPARE(log.sampledTicks, 5);
    QCOMPARE(log.stepTicks, QList<int>({1, 2, 3, 4, 5}));
    QCOMPARE(artLines(run.art().toString()),
             QStringList({"", "M", "M", "M", "M", "", "M", "M", "M", "M"}));
}

void TestGenerationRun::rowsOfAnyLengthEndCleanly_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QString>("dark");
    QTest::addColumn<QString>("light");

    QTest::newRow("one character") << QStringList{"#"} << "#"
                                   << " ";
    QTest::newRow("two characters") << QStringList{"##", "..", "  "} << "##"
                                    << " ";
    QTest::newRow("empty dark row") << QStringList{"", "o", "o"} << ""
                                    << " ";
    // The blank row takes the two cells of a full-width character.
    QTest::newRow("wide characters") << QStringList{"国国", "中中"} << "国国"
                                     << "  ";
}

void TestGenerationRun::rowsOfAnyLengthEndCleanly()
{
    QFETCH(QStringList, table);
    QFETCH(QString, dark);
    QFETCH(QString, light);

    GenerationRun run;
    run.setBandCount(3);
    SettingValues settings;
    settings.setLoadedTable(table);
    settings.setValue(Setting::Contrast, 1);
    settings.setValue(Setting::SampleX, 300);
    FakeCanvas canvas;
    canvas.m_width = 1060; // columns 0, 300, 600, 900 -> 4 cells... 900 <= 900
    canvas.m_height = 900;
    // Dark on the left half, light on the right: every line is dark, dark, light, light.
    canvas.m_color = [](int x, int) { return x < 500 ? 0x000000 : 0xFFFFFF; };
    run.start(canvas, settings);
    runToEnd(run, canvas, settings);

    const QString line = dark + dark + light + light;
    const QStringList lines = artLines(run.art().toString());
    const int perBand = (run.bandHeight() + 29) / 30;
    QCOMPARE(lines.size(), 3 * perBand);
    for (const QString& l : lines)
        QCOMPARE(l, line);
    // No stray CR, nothing in front of a band's first line.
    QCOMPARE(run.art().toString().count(QLatin1Char('\r')), lines.size());
    QCOMPARE(run.art().toString().count(QLatin1Char('\n')), lines.size());
}

void TestGenerationRun::blankLineRemovalKeepsLineEnds()
{
    GenerationRun run;
    run.setBandCount(4);
    SettingValues settings;
    settings.setRemoveBlankLines(true);
    FakeCanvas canvas;
    // White (space cells) except one black band of rows in the middle.
    canvas.m_color = [](int, int y) { return (y > 2500 && y < 3000) ? 0x000000 : 0xFFFFFF; };
    run.start(canvas, settings);
    runToEnd(run, canvas, settings);

    const QString art = run.art().toString();
    QVERIFY(!art.isEmpty());
    QVERIFY(art.startsWith(QLatin1Char('M')));
    QVERIFY(art.endsWith(QStringLiteral("\r\n")));
    QVERIFY(!art.endsWith(QStringLiteral("\r\n\r\r\n")));
    QCOMPARE(art.count(QLatin1Char('\r')), art.count(QStringLiteral("\r\n")));
    for (const QString& line : artLines(art))
        QVERIFY(line.isEmpty() || line == QString(455, QLatin1Char('M')));
}

void TestGenerationRun::recordedColoursFollowEveryCharacter_data()
{
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<bool>("removeBlankLines");

    QTest::newRow("one character") << QStringList{"#"} << false;
    QTest::newRow("one character, blank lines removed") << QStringList{"#"} << true;
    QTest::newRow("two characters") << QStringList{"##", "..", "  "} << false;
    QTest::newRow("two characters, blank lines removed") << QStringList{"##", "..", "  "} << true;
    QTest::newRow("wide characters, blank lines removed") << QStringList{"国国", "中中"} << true;
}

void TestGenerationRun::recordedColoursFollowEveryCharacter()
{
    QFETCH(QStringList, table);
    QFETCH(bool, removeBlankLines);

    GenerationRun run;
    run.setBandCount(7);
    run.setRecordColours(true);
    SettingValues settings;
    settings.setLoadedTable(table);
    settings.setValue(Setting::Contrast, 1);
    settings.setRemoveBlankLines(removeBlankLines);
    FakeCanvas canvas;
    // White above and below a dark stretch whose green tells the column (the step is 17 twips).
    const auto dark = [](int column) { return ComposeColor(0, column % 64, 8); };
    canvas.m_color = [&](int x, int y) { return (y > 1500 && y < 4000) ? dark(x / 17) : 0xFFFFFF; };
    run.start(canvas, settings);
    runToEnd(run, canvas, settings);

    const QString art = run.art().toString();
    const QList<ColorValue>& colours = run.artColours();
    QCOMPARE(colours.size(), art.size());
    const QString darkRow = table.first();
    int darkLines = 0;
    int emptyLines = 0;
    qsizetype at = 0;
    for (const QString& line : artLines(art)) {
        const bool isDark = line.startsWith(darkRow);
        darkLines += isDark;
        emptyLines += line.isEmpty();
        for (qsizetype k = 0; k < line.size(); ++k) {
            const ColorValue expected = isDark ? dark(int(k / darkRow.size())) : 0xFFFFFF;
            QVERIFY2(colours.at(at + k) == expected,
                     qPrintable(QStringLiteral("character %1 of a line").arg(k)));
        }
        at += line.size();
        QCOMPARE(colours.mid(at, 2), QList<ColorValue>({0, 0}));
        at += 2;
    }
    QVERIFY(darkLines > 0);
    // The white lines above the dark ones go, those below are emptied.
    QCOMPARE(art.startsWith(darkRow), removeBlankLines);
    QCOMPARE(emptyLines > 0, removeBlankLines);

    // A run that does not record keeps no colours, also after one that did.
    run.setRecordColours(false);
    run.start(canvas, settings);
    runToEnd(run, canvas, settings);
    QCOMPARE(run.art().toString(), art);
    QVERIFY(run.artColours().isEmpty());
}

void TestGenerationRun::secondRunStartsAfresh()
{
    GenerationRun run;
    run.setBandCount(5);
    SettingValues settings;
    FakeCanvas canvas;
    run.start(canvas, settings);
    runToEnd(run, canvas, settings);
    const QString first = run.resultText();

    run.start(canvas, settings);
    QCOMPARE(run.scanOffset(), 0);
    runToEnd(run, canvas, settings);
    QCOMPARE(run.resultText(), first);
    QCOMPARE(run.resultText().count(QStringLiteral("Tessivo 1.2 - Orlen")), 1);
}

void TestGenerationRun::startDuringRunStartsAfresh()
{
    GenerationRun run;
    run.setBandCount(5);
    SettingValues settings;
    FakeCanvas canvas;
    canvas.m_color = [](int x, int y) { return (x + y) % 700 < 300 ? 0 : 0xFFFFFF; };
    run.start(canvas, settings);
    runToEnd(run, canvas, settings);
    const QString whole = run.resultText();

    run.start(canvas, settings);
    for (int i = 0; i < 1000; ++i)
        run.tick(canvas, settings);
    run.start(canvas, settings);
    runToEnd(run, canvas, settings);
    QCOMPARE(run.resultText(), whole);
}

void TestGenerationRun::everyCellGetsItsRow_data()
{
    QTest::addColumn<QStringList>("table"); // empty: the table after start-up
    QTest::addColumn<int>("colorLevel");
    QTest::addColumn<int>("ignoreValue");
    QTest::addColumn<bool>("record");

    const QStringList mixed{"##", "", "@@@", "国国", "o", "-"};
    QTest::newRow("start-up table") << QStringList() << 1 << 1 << false;
    QTest::newRow("start-up table, level 3, ignore 12") << QStringList() << 3 << 12 << false;
    QTest::newRow("start-up table, colours") << QStringList() << 2 << 23 << true;
    QTest::newRow("rows of other lengths") << mixed << 1 << 1 << false;
    QTest::newRow("rows of other lengths, colours") << mixed << 1 << 12 << true;
}

void TestGenerationRun::everyCellGetsItsRow()
{
    QFETCH(QStringList, table);
    QFETCH(int, colorLevel);
    QFETCH(int, ignoreValue);
    QFETCH(bool, record);
    SettingValues settings;
    if (!table.isEmpty())
        settings.setLoadedTable(table);
    settings.setValue(Setting::Contrast, 1);
    settings.setValue(Setting::ColorLevel, colorLevel);
    settings.setValue(Setting::IgnoreValue, ignoreValue);
    settings.setValue(Setting::SampleX, 60);
    FakeCanvas canvas;
    canvas.m_width = 3000;
    canvas.m_height = 2000;
    canvas.m_logReads = true;
    // Plain greys on the left; then reads outside the picture, the sums 85 and 170 that
    // straddle IgnoreValue thresholds, and any colour.
    canvas.m_color = [](int x, int y) -> std::int32_t {
        const std::uint32_t h = std::uint32_t(x) * 2654435761u ^ std::uint32_t(y) * 40503u;
        if (x < 1000)
            return y < 1000 ? 0xFFFFFF : 0x808080;
        const std::int32_t special[] = {-1, 0x1D1C1C, 0x393938};
        return h % 8 < 3 ? special[h % 8] : std::int32_t(h & 0xFFFFFF);
    };
    GenerationRun run;
    run.setBandCount(6);
    run.setRecordColours(record);
    run.start(canvas, settings);

    // The run again, cell by cell from its reads: each band's text, colours and complete length.
    QList<QString> texts(6);
    QList<QList<ColorValue>> colours(6);
    QList<qsizetype> complete(6, 0);
    for (int tick = 1;; ++tick) {
        if (tick == 200) // another table from here on
            settings.setValue(Setting::Contrast, 600);
        const QStringList rows = settings.charTable();
        const qsizetype read = canvas.m_reads.size();
        const GenerationRun::TickOutcome outcome = run.tick(canvas, settings);
        if (outcome == GenerationRun::TickOutcome::Finished)
            break;
        for (int b = 0; b < 6; ++b) {
            if (outcome == GenerationRun::TickOutcome::SteppedLine) {
                texts[b] += QStringLiteral("\r\n");
                colours[b] += {0, 0};
                complete[b] = texts[b].size();
            }
            const QPoint at = canvas.m_reads.at(read + b);
            const ColorValue sample = canvas.m_color(at.x(), at.y());
            const QString& row =
                rows.at(CharIndexFor(colorLevel * sample, ignoreValue, int(rows.size())));
            texts[b] += row;
            colours[b].insert(colours[b].size(), row.size(), sample);
        }
    }
    QString art;
    QList<ColorValue> artColours;
    for (int b = 0; b < 6; ++b) {
        art += texts[b].first(complete[b]);
        artColours += colours[b].first(complete[b]);
    }
    QVERIFY(art.size() > 1000);
    QCOMPARE(run.art().toString(), art);
    QCOMPARE(run.artColours(), record ? artColours : QList<ColorValue>());
}

void TestGenerationRun::settingsAndWidthAreReadLive()
{
    GenerationRun run;
    run.setBandCount(1);
    SettingValues settings;
    settings.setValue(Setting::SampleX, 100);
    FakeCanvas canvas;
    canvas.m_width = 560; // columns 0, 100, ..., 400
    canvas.m_height = 300;
    canvas.m_logReads = true;
    run.start(canvas, settings);

    run.tick(canvas, settings);              // x 0
    settings.setValue(Setting::SampleX, 50); // the next column is still 100, then steps of 50
    run.tick(canvas, settings);              // x 100
    run.tick(canvas, settings);              // x 150
    canvas.m_width = 310;                    // the line now ends after x 150
    QCOMPARE(run.tick(canvas, settings), GenerationRun::TickOutcome::SteppedLine);
    QCOMPARE(canvas.m_reads.mid(0, 4), QList<QPoint>({{0, 285}, {100, 285}, {150, 285}, {0, 315}}));
}

void TestGenerationRun::bandCountRecreatesArrays()
{
    GenerationRun run;
    QCOMPARE(run.bandCount(), 15);
    SettingValues settings;
    FakeCanvas canvas;
    run.setBandCount(100);
    run.start(canvas, settings);
    run.tick(canvas, settings);
    QVERIFY(!run.bandText(100).isEmpty());
    run.setBandCount(100);
    QCOMPARE(run.bandRowY(100), 0);
    QVERIFY(run.bandText(100).isEmpty());
    run.setBandCount(1);
    QCOMPARE(run.bandCount(), 1);
    QCOMPARE(run.bandRowY(1), 0);
}

void TestGenerationRun::bandCountStaysInRange_data()
{
    QTest::addColumn<int>("asked");
    QTest::addColumn<int>("bandCount");

    QTest::newRow("negative") << -7 << 1;
    QTest::newRow("zero") << 0 << 1;
    QTest::newRow("one") << 1 << 1;
    QTest::newRow("hundred") << 100 << 100;
    QTest::newRow("past hundred") << 101 << 100;
    QTest::newRow("largest int") << std::numeric_limits<int>::max() << 100;
}

void TestGenerationRun::bandCountStaysInRange()
{
    QFETCH(int, asked);
    QFETCH(int, bandCount);
    GenerationRun run;
    run.setBandCount(asked);
    QCOMPARE(run.bandCount(), bandCount);
    QCOMPARE(run.bandRowY(bandCount), 0);
    QVERIFY(run.bandText(bandCount).isEmpty());
}

void TestGenerationRun::positionsBeyond16BitsAreRefused_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("sampleX");
    QTest::addColumn<int>("sampleY");
    QTest::addColumn<int>("pictureFit");
    QTest::addColumn<bool>("started");

    QTest::newRow("largest window Canvas, finest") << 7935 << 5895 << 2 << 2 << 1 << true;
    QTest::newRow("tall, last line past 32767") << 7885 << 32767 << 17 << 300 << 1 << false;
    QTest::newRow("tall, last line inside") << 7885 << 32000 << 17 << 30 << 5 << true;
    // The column after a line's last cell: 151 x 217 = 32767, and 128 x 256 = 32768.
    QTest::newRow("wide, columns end at 32767") << 32767 << 5535 << 217 << 30 << 5 << true;
    QTest::newRow("wide, columns end one past") << 32767 << 5535 << 256 << 30 << 5 << false;
    QTest::newRow("empty Canvas") << 0 << 0 << 2 << 2 << 1 << true;
}

void TestGenerationRun::positionsBeyond16BitsAreRefused()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, sampleX);
    QFETCH(int, sampleY);
    QFETCH(int, pictureFit);
    QFETCH(bool, started);

    GenerationRun run;
    run.setBandCount(50);
    SettingValues settings;
    settings.setValue(Setting::SampleX, sampleX);
    settings.setValue(Setting::SampleY, sampleY);
    settings.setValue(Setting::PictureFit, pictureFit);
    FakeCanvas canvas;
    canvas.m_width = width;
    canvas.m_height = height;
    const auto result = run.start(canvas, settings);
    QCOMPARE(result == GenerationRun::StartResult::Started, started);
    if (!started)
        return;
    // Every read of the run stays inside the 16-bit range.
    int maxX = 0, maxY = 0;
    canvas.m_color = [&](int x, int y) {
        maxX = std::max(maxX, x);
        maxY = std::max(maxY, y);
        return 0xFFFFFF;
    };
    runToEnd(run, canvas, settings);
    QVERIFY(maxX <= 32767 && maxY <= 32767);
    QVERIFY(run.scanX() <= 32767 && run.scanOffset() <= 32767);
}

void TestGenerationRun::textLengthCountsLineEnds_data()
{
    // One band of 1024 lines of one cell each, every cell the table's one row: a line is the
    // row and its CR LF, so a row of 32766 characters makes exactly MaxTextLength characters.
    static_assert(GenerationRun::MaxTextLength == 1024 * (32766 + 2));
    QTest::addColumn<int>("rowLength");
    QTest::addColumn<bool>("started");
    QTest::newRow("at the limit") << 32766 << true;
    QTest::newRow("one character past it") << 32767 << false;
}

void TestGenerationRun::textLengthCountsLineEnds()
{
    QFETCH(int, rowLength);
    QFETCH(bool, started);
    GenerationRun run;
    run.setBandCount(1);
    SettingValues settings;
    settings.setLoadedTable({QString(rowLength, QLatin1Char('#'))});
    settings.setValue(Setting::SampleY, 2);
    settings.setValue(Setting::PictureFit, 1);
    FakeCanvas canvas;
    canvas.m_width = 100;   // narrower than the line-end margin: one cell a line
    canvas.m_height = 2067; // a band of 2046 twips: 1023 steps of 2, 1024 lines
    QVERIFY(run.start(canvas, settings) == (started ? GenerationRun::StartResult::Started
                                                    : GenerationRun::StartResult::TextTooLong));
}

void TestGenerationRun::preparedMemoryKeepsItsContents_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("bytes");
    QTest::newRow("small, left alone") << 3 << 1000;
    QTest::newRow("large, unaligned ends") << 4097 << 3'000'001;
    QTest::newRow("whole buffer") << 0 << 4'000'000;
}

void TestGenerationRun::preparedMemoryKeepsItsContents()
{
    // Preparing pages for writing must never change what a buffer already holds, inside the
    // range or beside it.
    QFETCH(int, offset);
    QFETCH(int, bytes);
    QByteArray buffer(4'000'000, Qt::Uninitialized);
    for (qsizetype i = 0; i < buffer.size(); ++i)
        buffer[i] = char(i * 7 + i / 4096);
    const QByteArray before = buffer;
    PrepareForWriting(buffer.data() + offset, std::size_t(bytes));
    QVERIFY(buffer == before);
}

QTEST_GUILESS_MAIN(TestGenerationRun)
#include "tst_generationrun.moc"
