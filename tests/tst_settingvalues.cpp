#include "engine/CharTable.h"
#include "settings/SettingValues.h"
#include "settings/SettingsTable.h"

#include <QtTest>

using namespace tessivo;

class TestSettingValues : public QObject {
    Q_OBJECT

private slots:
    void eachSettingKeepsItsOwnValue_data();
    void eachSettingKeepsItsOwnValue();
    void runGettersReadTheirSettings();
    void contrastRebuildsTheActiveTable();
};

void TestSettingValues::eachSettingKeepsItsOwnValue_data()
{
    QTest::addColumn<Setting>("setting");
    for (const SettingRow& row : AllSettings())
        QTest::newRow(row.name) << row.setting;
}

// A fresh set holds every start value; a new value for one setting leaves all others alone.
void TestSettingValues::eachSettingKeepsItsOwnValue()
{
    QFETCH(Setting, setting);
    SettingValues values;
    for (const SettingRow& row : AllSettings())
        QCOMPARE(values.value(row.setting), row.startValue);

    const int changed = SettingInfo(setting).minimum + 1;
    values.setValue(setting, changed);
    for (const SettingRow& row : AllSettings())
        QCOMPARE(values.value(row.setting), row.setting == setting ? changed : row.startValue);
}

void TestSettingValues::runGettersReadTheirSettings()
{
    SettingValues values;
    // Every setting a value of its own: 101, 102, ...
    for (const SettingRow& row : AllSettings())
        values.setValue(row.setting, 101 + int(row.setting));
    const GenerationSettings& run = values;
    const auto expected = [](Setting s) { return 101 + int(s); };
    QCOMPARE(run.sampleX(), expected(Setting::SampleX));
    QCOMPARE(run.sampleY(), expected(Setting::SampleY));
    QCOMPARE(run.colorLevel(), expected(Setting::ColorLevel));
    QCOMPARE(run.ignoreValue(), expected(Setting::IgnoreValue));
    QCOMPARE(run.pictureFit(), expected(Setting::PictureFit));
    QVERIFY(!run.removeBlankLines());
    values.setRemoveBlankLines(true);
    QVERIFY(run.removeBlankLines());
}

void TestSettingValues::contrastRebuildsTheActiveTable()
{
    SettingValues values;
    QCOMPARE(values.charTable(), RebuildActiveTable(DefaultCharTable(), 750));

    values.setValue(Setting::Contrast, 1);
    QCOMPARE(values.charTable(), RebuildActiveTable(DefaultCharTable(), 1));
    // Other settings leave the table as it is.
    values.setValue(Setting::ColorLevel, 10);
    values.setValue(Setting::RunEfficiency, 100);
    QCOMPARE(values.charTable(), RebuildActiveTable(DefaultCharTable(), 1));

    // A table file is thinned out by the Contrast already set.
    const QStringList rows = {"a", "b", "c", "d", "e", "f"};
    values.setValue(Setting::Contrast, 250);
    values.setLoadedTable(rows);
    QCOMPARE(values.charTable(), QStringList({"a", "c", "e", " "}));
}

QTEST_GUILESS_MAIN(TestSettingValues)
#include "tst_settingvalues.moc"
