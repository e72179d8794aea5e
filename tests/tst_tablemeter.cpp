#include "art/TableMeter.h"
#include "canvas/Fonts.h"

#include <QFontInfo>
#include <QPainter>
#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <vector>

using namespace tessivo;

namespace {

QList<RowTone> tones(const QList<double>& values)
{
    QList<RowTone> rows;
    for (const double value : values)
        rows.append(RowTone{QString::number(rows.size()), value, 1});
    return rows;
}

QStringList rowsOf(const QList<RowTone>& tones)
{
    QStringList rows;
    for (const RowTone& tone : tones)
        rows.append(tone.row);
    return rows;
}

// The least sum of squared steps over keep rows, the first and the last among them: every
// earlier row tried before every row, for every count of rows before it.
double leastSpread(const QList<RowTone>& sorted, int keep)
{
    const int n = int(sorted.size());
    std::vector<double> least(n, qInf()), next(n);
    least[0] = 0;
    for (int k = 1; k < keep; ++k, least.swap(next)) {
        for (int i = 0; i < n; ++i) {
            next[i] = qInf();
            for (int j = 0; j < i; ++j)
                next[i] =
                    std::min(next[i], least[j] + std::pow(sorted[j].tone - sorted[i].tone, 2));
        }
    }
    return least[n - 1];
}

} // namespace

class TestTableMeter : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cells_data();
    void cells();
    void darkerGlyphsMeasureDarker_data();
    void darkerGlyphsMeasureDarker();
    void wideCharacterIsMeasuredOverTwoCells_data();
    void wideCharacterIsMeasuredOverTwoCells();
    void rowOfSeveralIsTheMeanOfItsCells();
    void sortIsDarkestFirstAndStable_data();
    void sortIsDarkestFirstAndStable();
    void equalInkSortsInGivenOrder();
    void closeTonesAndGaps();
    void suggestedDropsSpreadTheTones_data();
    void suggestedDropsSpreadTheTones();
    void suggestedDropsAreTheLeastSpread_data();
    void suggestedDropsAreTheLeastSpread();
    void suggestedDropsOfLargeTables();
};

void TestTableMeter::initTestCase()
{
    RegisterFontSubstitutes();
    // The result font is the Song-style substitute; everything below is measured in it.
    QCOMPARE(QFontInfo(TableMeter().font()).family(), QStringLiteral("AR PL UMing CN"));
}

void TestTableMeter::cells_data()
{
    QTest::addColumn<QString>("row");
    QTest::addColumn<int>("cells");

    QTest::newRow("ASCII") << "M" << 1;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("ideograph") << "中" << 2;
    QTest::newRow("CJK punctuation") << "、" << 2;
    QTest::newRow("full-width letter") << "Ｍ" << 2;
    QTest::newRow("half-width katakana") << "ｱ" << 1;
    QTest::newRow("beyond the first plane") << "𠀀" << 2;
    QTest::newRow("mixed") << "a中b國" << 6;
}

void TestTableMeter::cells()
{
    QFETCH(QString, row);
    QFETCH(int, cells);
    QCOMPARE(CellsOf(row), cells);
    const TableMeter meter;
    if (cells > 0)
        QCOMPARE(meter.render(row).width(), meter.artFont().cellLeft(cells));
}

void TestTableMeter::darkerGlyphsMeasureDarker_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("pointSize");

    QTest::newRow("result font") << "新宋体" << 9.0;
    QTest::newRow("Canvas font") << "宋体" << 20.25;
    QTest::newRow("sans, small") << "WenQuanYi Zen Hei Mono" << 7.5;
}

void TestTableMeter::darkerGlyphsMeasureDarker()
{
    QFETCH(QString, family);
    QFETCH(double, pointSize);
    const TableMeter meter(family, pointSize);
    const double at = meter.measure(u"@");
    const double m = meter.measure(u"M");
    const double dot = meter.measure(u".");
    QVERIFY2(at > dot && m > dot,
             qPrintable(QStringLiteral("@ %1, M %2, . %3").arg(at).arg(m).arg(dot)));
    QVERIFY(dot > 0);
    QCOMPARE(meter.measure(u" "), 0.0);
    QCOMPARE(meter.measure(u""), 0.0);
    QVERIFY(meter.measure(u"鬱") > meter.measure(u"一"));
    QVERIFY(at < 1);
}

void TestTableMeter::wideCharacterIsMeasuredOverTwoCells_data()
{
    QTest::addColumn<QString>("row");
    QTest::newRow("ideograph") << "國";
    QTest::newRow("full-width letter") << "Ｍ";
    QTest::newRow("ASCII, one cell") << "M";
}

void TestTableMeter::wideCharacterIsMeasuredOverTwoCells()
{
    // The glyph's whole ink, drawn with room to spare, spread over the cells the result gives it:
    // a wide glyph clipped to one cell or its ink spread over one cell would miss this.
    QFETCH(QString, row);
    const TableMeter meter;
    QImage roomy(meter.artFont().cellWidth() * 8, meter.artFont().lineHeight() * 3,
                 QImage::Format_RGB32);
    roomy.setDotsPerMeterX(meter.render(row).dotsPerMeterX());
    roomy.setDotsPerMeterY(meter.render(row).dotsPerMeterY());
    roomy.fill(Qt::white);
    {
        QPainter painter(&roomy);
        painter.setFont(meter.font());
        painter.setPen(Qt::black);
        painter.drawText(
            QPointF(meter.artFont().cellWidth() * 3, meter.artFont().lineHeight() * 1.5), row);
    }
    double ink = 0;
    for (int y = 0; y < roomy.height(); ++y) {
        for (int x = 0; x < roomy.width(); ++x)
            ink += (255 - qGray(roomy.pixel(x, y))) / 255.0;
    }
    const double cellArea = double(meter.artFont().cellWidth()) * meter.artFont().lineHeight();
    const double expected = ink / (CellsOf(row) * cellArea);
    const double measured = meter.measure(row);
    QVERIFY2(std::abs(measured - expected) < 0.1 * expected,
             qPrintable(QStringLiteral("measured %1, expected %2").arg(measured).arg(expected)));
}

void TestTableMeter::rowOfSeveralIsTheMeanOfItsCells()
{
    const TableMeter meter;
    const double m = meter.measure(u"M");
    const double dot = meter.measure(u".");
    const double wide = meter.measure(u"中");
    QVERIFY(std::abs(meter.measure(u"M.") - (m + dot) / 2) < 1e-9);
    QVERIFY(std::abs(meter.measure(u"M  ") - m / 3) < 1e-9);
    QVERIFY(std::abs(meter.measure(u"M中") - (m + 2 * wide) / 3) < 0.01);
}

void TestTableMeter::sortIsDarkestFirstAndStable_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<QStringList>("order");

    QTest::newRow("reversed") << QList<double>{0.1, 0.2, 0.3} << QStringList{"2", "1", "0"};
    QTest::newRow("ties keep order")
        << QList<double>{0.5, 0.2, 0.5, 0.2, 0.9} << QStringList{"4", "0", "2", "1", "3"};
    QTest::newRow("empty") << QList<double>{} << QStringList{};
}

void TestTableMeter::sortIsDarkestFirstAndStable()
{
    QFETCH(QList<double>, values);
    QFETCH(QStringList, order);
    QCOMPARE(rowsOf(SortDarkestFirst(tones(values))), order);
}

void TestTableMeter::equalInkSortsInGivenOrder()
{
    // The same glyphs in other cells put the same ink on the paper.
    const TableMeter meter;
    const QStringList rows = {". ", ":", " .", "M", "..", "  "};
    const QList<RowTone> measured = meter.measure(rows);
    QCOMPARE(measured[0].tone, measured[2].tone);
    QCOMPARE(rowsOf(SortDarkestFirst(measured)), QStringList({"M", ":", "..", ". ", " .", "  "}));
}

void TestTableMeter::closeTonesAndGaps()
{
    const QList<RowTone> sorted = tones({0.9, 0.895, 0.6, 0.58, 0.2, 0.2, 0.0});
    QCOMPARE(CloseTones(sorted, 0.01), (QList<ToneStep>{{0, 1, 0.9 - 0.895}, {4, 5, 0}}));
    QCOMPARE(CloseTones(sorted, 0.0), QList<ToneStep>{});
    const QList<ToneStep> close = CloseTones(sorted, 0.03);
    QCOMPARE(close.size(), 3);
    QCOMPARE(close[1].first, 2);

    const QList<ToneStep> gaps = LargestGaps(sorted, 2);
    QCOMPARE(gaps.size(), 2);
    QCOMPARE(gaps[0].first, 3); // 0.58 to 0.2
    QCOMPARE(gaps[1].first, 1); // 0.895 to 0.6
    QCOMPARE(LargestGaps(sorted, 100).size(), 6);
    QCOMPARE(LargestGaps(tones({0.5}), 3).size(), 0);
}

void TestTableMeter::suggestedDropsSpreadTheTones_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<int>("keep");
    QTest::addColumn<QList<int>>("drops");

    const QList<double> clustered = {1.0, 0.9, 0.52, 0.5, 0.48, 0.1, 0.0};
    QTest::newRow("three of a cluster") << clustered << 3 << QList<int>{1, 2, 4, 5};
    QTest::newRow("five of a cluster") << clustered << 5 << QList<int>{2, 4};
    QTest::newRow("ends always stay")
        << QList<double>{0.5, 0.49, 0.48, 0.0} << 2 << QList<int>{1, 2};
    QTest::newRow("equal tones, first kept")
        << QList<double>{1.0, 0.5, 0.5, 0.5, 0.0} << 3 << QList<int>{2, 3};
    // Below a wide first step, one of two nearly equal rows goes rather than a lone one.
    QTest::newRow("near pair under a gap")
        << QList<double>{1.0, 0.61, 0.6, 0.4, 0.2, 0.0} << 5 << QList<int>{2};
    QTest::newRow("near pairs everywhere")
        << QList<double>{0.9, 0.89, 0.6, 0.59, 0.3, 0.29, 0.0} << 4 << QList<int>{1, 3, 5};
    QTest::newRow("keep all") << clustered << 7 << QList<int>{};
    QTest::newRow("keep one") << QList<double>{0.3, 0.2, 0.1} << 1 << QList<int>{1, 2};
}

void TestTableMeter::suggestedDropsSpreadTheTones()
{
    QFETCH(QList<double>, values);
    QFETCH(int, keep);
    QFETCH(QList<int>, drops);
    QCOMPARE(SuggestDrops(tones(values), keep), drops);
}

void TestTableMeter::suggestedDropsAreTheLeastSpread_data()
{
    QTest::addColumn<int>("levels"); // how many tones there are to choose from; 0: any
    QTest::newRow("any tones") << 0;
    QTest::newRow("tenths, many ties") << 11;
    QTest::newRow("three tones") << 3;
}

void TestTableMeter::suggestedDropsAreTheLeastSpread()
{
    // Random tables of up to 40 rows, every count of rows kept, against the least sum; of rows
    // of one tone the earlier stay, the last row aside.
    QFETCH(int, levels);
    for (quint32 seed = 1; seed <= 100; ++seed) {
        QRandomGenerator random(seed);
        QList<double> values(2 + random.bounded(39));
        for (double& v : values)
            v = levels ? random.bounded(levels) / (levels - 1.0) : random.generateDouble();
        const QList<RowTone> sorted = SortDarkestFirst(tones(values));
        const int n = int(sorted.size());
        for (int keep = 2; keep < n; ++keep) {
            const QList<int> drops = SuggestDrops(sorted, keep);
            const QByteArray where =
                "seed " + QByteArray::number(seed) + ", keep " + QByteArray::number(keep);
            QVERIFY2(drops.size() == n - keep && drops.first() > 0 && drops.last() < n - 1 &&
                         std::is_sorted(drops.cbegin(), drops.cend()),
                     where);
            double spread = 0;
            for (int i = 1, last = 0; i < n; ++i) {
                if (drops.contains(i))
                    continue;
                spread += std::pow(sorted[last].tone - sorted[i].tone, 2);
                QVERIFY2(sorted[i - 1].tone != sorted[i].tone || last == i - 1 || i == n - 1,
                         where);
                last = i;
            }
            QVERIFY2(std::abs(spread - leastSpread(sorted, keep)) <= 1e-12, where);
        }
    }
}

void TestTableMeter::suggestedDropsOfLargeTables()
{
    for (const auto& [rows, keep] : {std::pair(100000, 20), std::pair(40000, 9999)}) {
        QRandomGenerator random(rows);
        QList<double> values(rows);
        for (double& v : values)
            v = random.generateDouble();
        const QList<int> drops = SuggestDrops(SortDarkestFirst(tones(values)), keep);
        QCOMPARE(drops.size(), rows - keep);
        QVERIFY(drops.first() > 0 && drops.last() < rows - 1);
    }
}

QTEST_MAIN(TestTableMeter)
#include "tst_tablemeter.moc"
