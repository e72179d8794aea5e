#include "app/MainWindow.h"
#include "app/Startup.h"
#include "app/StatusTexts.h"
#include "engine/GenerationRun.h"
#include "engine/TableFile.h"

#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace tessivo;
using namespace tessivo::testing;

Q_DECLARE_METATYPE(tessivo::Status)

class TestStatusLine : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void everyTextFits_data();
    void everyTextFits();
    void toolTipGoesWithItsText();

private:
    QTemporaryDir m_dir;
    std::unique_ptr<MainWindow> m_window;
};

void TestStatusLine::initTestCase()
{
    SetUpApplication();
    QVERIFY(m_dir.isValid());
    m_window = std::make_unique<MainWindow>(m_dir.path());
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
    // Measured in the font the window really gets, not a fallback.
    QCOMPARE(QFontInfo(child<QLabel>(m_window.get(), "Label1")->font()).family(),
             QStringLiteral("AR PL UMing CN"));
}

void TestStatusLine::cleanupTestCase()
{
    m_window.reset();
}

namespace {

// What the program said before the status line's texts were shortened. A status added without a
// line here does not compile.
QString wholeText(Status status, int bands)
{
    switch (status) {
    case Status::TableImported: return QStringLiteral("成功获取外部数据源！");
    case Status::TableReadFailed: return QStringLiteral("外部数据源读取失败，仍使用内置字符表！");
    case Status::RunStarted: return QStringLiteral("正在处理%1X 处理速度...").arg(bands);
    case Status::RunDone: return QStringLiteral("完成 OK!");
    case Status::PositionsTooLarge:
        return QStringLiteral("画布过大，取样位置将超出32767缇，未能生成");
    case Status::TextTooLong:
        return QStringLiteral("字符表的行过长，生成的文字将超过33554432个字符，未能生成");
    case Status::WorkshopTableUsed: return QStringLiteral("已使用字符表工坊的字符表");
    case Status::InkRunDone:
        return QStringLiteral("完成：按墨量选字（生成框右键菜单可改回按色调）");
    case Status::ShapeRunDone:
        return QStringLiteral("完成：按字形选字（生成框右键菜单可改回按色调）");
    case Status::PictureIncomplete:
        return QStringLiteral("图片不完整：文件在图片结束之前就结束了，或中途已损坏，未能载入");
    }
    return {};
}

} // namespace

void TestStatusLine::everyTextFits_data()
{
    QTest::addColumn<Status>("status");
    QTest::addColumn<int>("bands");
    QTest::addColumn<QString>("whole");

    for (Status status : AllStatuses) {
        const QList<int> bandCounts =
            status == Status::RunStarted
                ? QList<int>{GenerationRun::MinBandCount, GenerationRun::InitialBandCount,
                             GenerationRun::MaxBandCount}
                : QList<int>{0};
        for (int bands : bandCounts) {
            const QString whole = wholeText(status, bands);
            QTest::newRow(qPrintable(whole)) << status << bands << whole;
        }
    }
}

// Every text the program puts in the status line fits it, with the whole explanation in the
// tooltip; the texts the program has always had keep their words.
void TestStatusLine::everyTextFits()
{
    QFETCH(Status, status);
    QFETCH(int, bands);
    QFETCH(QString, whole);

    auto* label = child<QLabel>(m_window.get(), "Label1");
    const StatusText shown = StatusTextFor(status, bands);
    ShowStatus(*label, shown);
    QCOMPARE(label->text(), shown.text);
    QCOMPARE(label->toolTip(), shown.toolTip);

    if (KeepsItsWording(status)) {
        QCOMPARE(shown.text, whole);
        QVERIFY(shown.toolTip.isEmpty());
        return;
    }
    const int width = QFontMetrics(label->font()).horizontalAdvance(shown.text);
    QVERIFY2(width <= label->width(), qPrintable(QStringLiteral("\"%1\" is %2 pixels, the line %3")
                                                     .arg(shown.text)
                                                     .arg(width)
                                                     .arg(label->width())));
    QCOMPARE(shown.toolTip, whole);
}

// The window's own flow: a failed import explains itself in the tooltip, and the run's text
// that follows takes the tooltip away.
void TestStatusLine::toolTipGoesWithItsText()
{
    QTemporaryDir dir;
    QFile file(dir.filePath(QString::fromLatin1(TableFileName)));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(MaxTableFileBytes + 1, 'x'));
    file.close();
    MainWindow window(dir.path(), [] { return true; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    auto* label = child<QLabel>(&window, "Label1");
    QCOMPARE(label->text(), StatusTextFor(Status::TableReadFailed).text);
    QCOMPARE(label->toolTip(), TableReadFailureText());

    QTest::mouseClick(child<QAbstractButton>(&window, "Command1"), Qt::LeftButton);
    QVERIFY(window.isRunning());
    QCOMPARE(label->text(), QStringLiteral("正在处理50X 处理速度..."));
    QCOMPARE(label->toolTip(), QString());
    window.close();
}

QTEST_MAIN(TestStatusLine)
#include "tst_statusline.moc"
