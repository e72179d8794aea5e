#include "engine/Color.h"
#include "engine/Rounding.h"
#include "engine/Tone.h"
#include "settings/SettingValues.h"

#include <QtTest>

#include <vector>

using namespace tessivo;

namespace {

// One cell, as a run appends it.
void appendCell(QString& band, ColorValue sample, const GenerationSettings& settings)
{
    ToneCache cache;
    AppendCells(&band, &sample, 1, settings, cache);
}

} // namespace

class TestTone : public QObject {
    Q_OBJECT

private slots:
    void roundEven_data();
    void roundEven();
    void splitColor_data();
    void splitColor();
    void workedToneTable_data();
    void workedToneTable();
    void fullTableWhiteLandsOnOwnSpace();
    void halfwayIndexRoundsToEven();
    void oneRowTable();
    void multiCharacterRowsAppendWhole();
    void rowsBySumMatchEveryColour_data();
    void rowsBySumMatchEveryColour();
    void cellsFollowColorLevel_data();
    void cellsFollowColorLevel();
};

void TestTone::roundEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<qint64>("rounded");

    QTest::newRow("7.5") << 7.5 << qint64(8);
    QTest::newRow("2.5") << 2.5 << qint64(2);
    QTest::newRow("0.5") << 0.5 << qint64(0);
    QTest::newRow("1.5") << 1.5 << qint64(2);
    QTest::newRow("-2.5") << -2.5 << qint64(-2);
    QTest::newRow("-3.5") << -3.5 << qint64(-4);
    QTest::newRow("14.5") << 14.5 << qint64(14);
    QTest::newRow("2.4999") << 2.4999 << qint64(2);
    QTest::newRow("105.165 x 2") << 105.165 * 2 << qint64(210);
    QTest::newRow("105.165 x 50") << 0.95 * 5535 / 50 * 50 << qint64(5258);
    QTest::newRow("NaN") << std::nan("") << qint64(0);
    QTest::newRow("huge") << 1e300 << std::numeric_limits<qint64>::max();
}

void TestTone::roundEven()
{
    QFETCH(double, value);
    QFETCH(qint64, rounded);
    QCOMPARE(RoundEven(value), rounded);
}

void TestTone::splitColor_data()
{
    QTest::addColumn<int>("color");
    QTest::addColumn<int>("red");
    QTest::addColumn<int>("green");
    QTest::addColumn<int>("blue");

    QTest::newRow("white") << 0x00FFFFFF << 255 << 255 << 255;
    QTest::newRow("red") << 0x000000FF << 255 << 0 << 0;
    QTest::newRow("blue") << 0x00FF0000 << 0 << 0 << 255;
    QTest::newRow("palette-relative white x 3") << 0x02FFFFFD << 253 << 255 << 255;
    QTest::newRow("palette index: white x 2") << 0x01FFFFFE << 0 << 0 << 0;
    QTest::newRow("top byte 3") << 0x03FFFFFC << 0 << 0 << 0;
    QTest::newRow("top byte 0x7F") << 0x7F000000 << 0 << 0 << 0;
    QTest::newRow("minus one") << -1 << 0 << 0 << 0;
    QTest::newRow("system window colour") << int(0x80000005) << 255 << 255 << 255;
    QTest::newRow("system tooltip colour") << int(0x80000018) << 255 << 255 << 0xE1;
    QTest::newRow("system index 25 unassigned") << int(0x80000019) << 0 << 0 << 0;
    QTest::newRow("system index 31 invalid") << int(0x8000001F) << 0 << 0 << 0;
}

void TestTone::splitColor()
{
    QFETCH(int, color);
    QFETCH(int, red);
    QFETCH(int, green);
    QFETCH(int, blue);
    const Channels c = SplitColor(color);
    QCOMPARE(int(c.ChannelR), red);
    QCOMPARE(int(c.ChannelG), green);
    QCOMPARE(int(c.ChannelB), blue);
}

void TestTone::workedToneTable_data()
{
    QTest::addColumn<int>("sample");
    QTest::addColumn<int>("colorLevel");
    QTest::addColumn<int>("ignoreValue");
    QTest::addColumn<QString>("row");

    // With the 13-row table after start-up: M K G s m 7 a t d } / , space.
    QTest::newRow("black") << 0x000000 << 1 << 1 << "M";
    QTest::newRow("white") << 0xFFFFFF << 1 << 1 << " ";
    QTest::newRow("grey 64") << 0x404040 << 1 << 1 << "G";
    QTest::newRow("grey 128") << 0x808080 << 1 << 1 << "7";
    QTest::newRow("grey 192") << 0xC0C0C0 << 1 << 1 << "}";
    QTest::newRow("pure red") << 0x0000FF << 1 << 1 << "s";
    QTest::newRow("grey 64 lifted") << 0x404040 << 1 << 30 << " ";
    QTest::newRow("outside") << -1 << 1 << 1 << "M";
    QTest::newRow("outside lifted") << -1 << 1 << 2 << " ";
    QTest::newRow("white x 2") << 0xFFFFFF << 2 << 1 << "M";
    QTest::newRow("white x 3") << 0xFFFFFF << 3 << 1 << " ";
    QTest::newRow("white x 4") << 0xFFFFFF << 4 << 1 << "M";
    QTest::newRow("grey 64 x 2") << 0x404040 << 2 << 1 << "7";
    QTest::newRow("grey 128 x 2") << 0x808080 << 2 << 1 << "M";
    QTest::newRow("pure red x 2") << 0x0000FF << 2 << 1 << "s";
    QTest::newRow("outside x 10") << -1 << 10 << 1 << "M";
    QTest::newRow("white x 10") << 0xFFFFFF << 10 << 1 << "M";
    QTest::newRow("just below threshold") << 0x0A0A0A << 1 << 5 << " ";
    QTest::newRow("just above threshold") << 0x0D0D0D << 1 << 5 << "M";
}

void TestTone::workedToneTable()
{
    QFETCH(int, sample);
    QFETCH(int, colorLevel);
    QFETCH(int, ignoreValue);
    QFETCH(QString, row);

    SettingValues settings;
    settings.setValue(Setting::ColorLevel, colorLevel);
    settings.setValue(Setting::IgnoreValue, ignoreValue);
    QString band = QStringLiteral("x");
    appendCell(band, sample, settings);
    QCOMPARE(band, QStringLiteral("x") + row);
}

void TestTone::fullTableWhiteLandsOnOwnSpace()
{
    // 96 rows: white reaches index 94, the table's own space; 95 only through lifting.
    QCOMPARE(CharIndexFor(0xFFFFFF, 1, 96), 94);
    QCOMPARE(CharIndexFor(0x000000, 2, 96), 95);
    QCOMPARE(CharIndexFor(0xFFFFFF, 1, 50), 49);
}

void TestTone::halfwayIndexRoundsToEven()
{
    // Yellow: tone 0.66, Q 6600; with 25 rows Q * n / 10000 = 16.5, which rounds to 16.
    QCOMPARE(CharIndexFor(0x00FFFF, 1, 25), 15);
    // 0.33 * 10000 = 3300 exactly; 3300 * 15 / 10000 = 4.95 -> 5 -> 4.
    QCOMPARE(CharIndexFor(0x0000FF, 1, 15), 4);
}

void TestTone::oneRowTable()
{
    SettingValues settings;
    settings.setLoadedTable({"#"});
    settings.setValue(Setting::Contrast, 1);
    QCOMPARE(settings.charTable(), QStringList({"#", " "}));
    settings.tables().setLoaded({});
    settings.setValue(Setting::Contrast, 1);
    QCOMPARE(settings.charTable(), QStringList({" "}));
    for (int sample : {0, 0x808080, 0xFFFFFF, -1}) {
        QString band;
        appendCell(band, sample, settings);
        QCOMPARE(band, QStringLiteral(" "));
    }
}

void TestTone::multiCharacterRowsAppendWhole()
{
    SettingValues settings;
    settings.setLoadedTable({"##", "..", ""});
    settings.setValue(Setting::Contrast, 1);
    QString band;
    appendCell(band, 0x000000, settings);
    appendCell(band, 0x000000, settings);
    appendCell(band, 0xFFFFFF, settings);
    // White: tone 0.99 with 4 rows -> index 3, the appended space.
    QCOMPARE(band, QStringLiteral("#### "));
}

void TestTone::rowsBySumMatchEveryColour_data()
{
    QTest::addColumn<int>("ignoreValue");
    QTest::addColumn<int>("rowCount");

    QTest::newRow("nothing lifted, 96 rows") << 1 << 96;
    // Thresholds 0.11 and 0.22 are the tones of sums 85 and 170: the colours of those sums fall
    // on either side of them.
    QTest::newRow("threshold on sum 85") << 12 << 13;
    QTest::newRow("threshold on sum 170") << 23 << 7;
}

void TestTone::rowsBySumMatchEveryColour()
{
    QFETCH(int, ignoreValue);
    QFETCH(int, rowCount);
    ToneRows rows;
    rows.prepare(ignoreValue, rowCount);
    for (ColorValue rgb = 0; rgb <= 0xFFFFFF; ++rgb) {
        if (rows.rowFor(rgb) != CharIndexFor(rgb, ignoreValue, rowCount))
            QFAIL(qPrintable(QString::number(rgb, 16)));
    }
}

void TestTone::cellsFollowColorLevel_data()
{
    QTest::addColumn<int>("colorLevel");
    QTest::addColumn<int>("ignoreValue");
    QTest::addColumn<QStringList>("table"); // empty: the table after start-up

    for (int level = 1; level <= 10; ++level)
        QTest::newRow(qPrintable(QStringLiteral("level %1").arg(level)))
            << level << 1 << QStringList();
    QTest::newRow("level 3, threshold on sum 85") << 3 << 12 << QStringList();
    QTest::newRow("rows of other lengths") << 1 << 23 << QStringList{"##", "", "@", "国国", "o"};
    QTest::newRow("rows of other lengths, level 2")
        << 2 << 1 << QStringList{"##", "", "@", "国国", "o"};
}

void TestTone::cellsFollowColorLevel()
{
    QFETCH(int, colorLevel);
    QFETCH(int, ignoreValue);
    QFETCH(QStringList, table);
    SettingValues settings;
    if (!table.isEmpty()) {
        settings.setLoadedTable(table);
        settings.setValue(Setting::Contrast, 1);
    }
    settings.setValue(Setting::ColorLevel, colorLevel);
    settings.setValue(Setting::IgnoreValue, ignoreValue);
    const QStringList& rows = settings.charTable();

    // Colours spread over the cube, those of the threshold sums, and last a read outside the
    // picture.
    QList<ColorValue> samples{0, 0xFFFFFF, 0x1D1C1C, 0x393938, 0x555555};
    for (ColorValue c = 3; c <= 0xFFFFFF; c += 0x10101 * 7 + 0x35)
        samples.append(c);
    samples.append(-1);
    const int count = int(samples.size());
    QString expected;
    for (ColorValue sample : samples)
        expected += rows.at(CharIndexFor(colorLevel * sample, ignoreValue, int(rows.size())));

    ToneCache cache;
    QList<QString> appended(count);
    AppendCells(appended.data(), samples.constData(), count, settings, cache);
    QCOMPARE(appended.join(QString()), expected);

    // The run's forms: bands of one length written by stride until a cell needs more, then a
    // pointer per band.
    std::vector<char16_t> column(std::size_t(count) * 4);
    const int done = WriteOneCharacterCells(column.data(), 1, samples.constData(), count, cache);
    // Plain colours whose rows are single characters go through; the read outside does not.
    if (table.isEmpty() && ignoreValue == 1)
        QCOMPARE(done, count - 1);
    QVERIFY(done < count);
    char16_t* end = column.data() + done;
    for (int i = done; i < count; ++i)
        WriteCells(&end, samples.constData() + i, 1, cache);
    QCOMPARE(QStringView(column.data(), end), expected);
}

QTEST_GUILESS_MAIN(TestTone)
#include "tst_tone.moc"
