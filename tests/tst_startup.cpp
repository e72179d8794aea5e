#include "app/MainWindow.h"
#include "app/ResultBox.h"
#include "app/Startup.h"
#include "engine/CharTable.h"
#include "engine/TableFile.h"

#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

QString withoutMnemonic(QString text)
{
    return text.remove(QLatin1Char('&'));
}

// The texts of a message box's OK and Cancel buttons.
QStringList okAndCancel(const QMessageBox& box)
{
    return {withoutMnemonic(box.button(QMessageBox::Ok)->text()),
            withoutMnemonic(box.button(QMessageBox::Cancel)->text())};
}

QStringList okAndCancel()
{
    const QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tessivo"), QStringLiteral("?"),
                          QMessageBox::Ok | QMessageBox::Cancel);
    return okAndCancel(box);
}

void writeTable(const QString& folder, const QByteArray& row)
{
    [&] { QVERIFY(QDir().mkpath(folder)); }();
    QFile file(QDir(folder).filePath(QString::fromLatin1(TableFileName)));
    [&] { QVERIFY(file.open(QIODevice::WriteOnly)); }();
    file.write(row + "\r\n");
}

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void missingTranslationIsNoError();
    void qtTextsInChinese();
    void tableFileFolders_data();
    void tableFileFolders();
    void programIcon();
};

void TestStartup::initTestCase()
{
    RegisterFontSubstitutes();
    QApplication::setFont(WindowFont());
}

// Runs first, before any translation is installed.
void TestStartup::missingTranslationIsNoError()
{
    QTemporaryDir empty;
    QVERIFY(!InstallQtTranslation(empty.path()));
    QCOMPARE(okAndCancel(), QStringList({"OK", "Cancel"}));

    MainWindow window(empty.path(), [] { return false; });
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(child<QLabel>(&window, "Label1")->text(), QString());
}

void TestStartup::qtTextsInChinese()
{
    QVERIFY(InstallQtTranslation());
    QCOMPARE(okAndCancel(), QStringList({"确定", "取消"}));

    // The program's own question, answered with its Chinese cancel button.
    QStringList buttons;
    QTimer::singleShot(0, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        QVERIFY(box);
        QCOMPARE(box->objectName(), QStringLiteral("importQuestion"));
        buttons = okAndCancel(*box);
        box->button(QMessageBox::Cancel)->click();
    });
    QVERIFY(!MainWindow::AskToImportTable());
    QCOMPARE(buttons, QStringList({"确定", "取消"}));

    // A text box's context menu.
    QTemporaryDir dir;
    MainWindow window(dir.path());
    const std::unique_ptr<QMenu> menu(window.resultBox()->createStandardContextMenu());
    QStringList actions;
    for (const QAction* action : menu->actions())
        actions << withoutMnemonic(action->text()).section(QLatin1Char('\t'), 0, 0);
    QVERIFY2(actions.contains(QStringLiteral("复制(C)")), qPrintable(actions.join(u'|')));
    QVERIFY2(actions.contains(QStringLiteral("全选")), qPrintable(actions.join(u'|')));

    // A folder without the translation afterwards leaves the installed one.
    QVERIFY(!InstallQtTranslation(dir.path()));
    QCOMPARE(okAndCancel(), QStringList({"确定", "取消"}));
}

void TestStartup::tableFileFolders_data()
{
    QTest::addColumn<bool>("inWorkingFolder");
    QTest::addColumn<bool>("inConfigFolder");
    QTest::addColumn<QString>("imported");

    QTest::newRow("none") << false << false << QString();
    QTest::newRow("configuration folder") << false << true << QStringLiteral("config");
    QTest::newRow("working folder first") << true << true << QStringLiteral("work");
}

// The working folder, the program's folder, then tessivo/ in the configuration folder: the first
// table found is offered and imported.
void TestStartup::tableFileFolders()
{
    QFETCH(bool, inWorkingFolder);
    QFETCH(bool, inConfigFolder);
    QFETCH(QString, imported);

    QTemporaryDir dir;
    const QString work = dir.filePath(QStringLiteral("work"));
    const QString config = dir.filePath(QStringLiteral("config"));
    QVERIFY(QDir().mkpath(work));
    const QString folderBefore = QDir::currentPath();
    const bool configWasSet = qEnvironmentVariableIsSet("XDG_CONFIG_HOME");
    const QByteArray configBefore = qgetenv("XDG_CONFIG_HOME");
    const auto restore = qScopeGuard([&] {
        QDir::setCurrent(folderBefore);
        if (configWasSet)
            qputenv("XDG_CONFIG_HOME", configBefore);
        else
            qunsetenv("XDG_CONFIG_HOME");
    });
    QVERIFY(QDir::setCurrent(work));
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());

    const QStringList folders = TableFileFolders();
    QCOMPARE(folders, QStringList({QDir::currentPath(), QCoreApplication::applicationDirPath(),
                                   config + QStringLiteral("/tessivo")}));
    if (!FindTableFile(QCoreApplication::applicationDirPath()).isEmpty())
        QSKIP("the test program's folder holds a table file");

    if (inWorkingFolder)
        writeTable(work, "work");
    if (inConfigFolder)
        writeTable(config + QStringLiteral("/tessivo"), "config");

    int asked = 0;
    MainWindow window(folders, [&] {
        ++asked;
        return true;
    });
    QCOMPARE(asked, imported.isEmpty() ? 0 : 1);
    QCOMPARE(window.tables().loaded(),
             imported.isEmpty() ? DefaultCharTable() : QStringList({imported, " "}));
    QCOMPARE(child<QLabel>(&window, "Label1")->text(),
             imported.isEmpty() ? QString() : TableImportedStatusText());
}

void TestStartup::programIcon()
{
    // Each size from the picture drawn for it, or from the next larger one; never enlarged.
    const QIcon icon = ProgramIcon();
    QCOMPARE(icon.availableSizes().size(), 6);
    const auto premultiplied = [](const QImage& image) {
        return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    };
    QCOMPARE(premultiplied(icon.pixmap(16).toImage()),
             premultiplied(QImage(QStringLiteral(":/icons/tessivo-16.png"))));
    QCOMPARE(icon.pixmap(24).size(), QSize(24, 24));
    QCOMPARE(icon.pixmap(512).size(), QSize(256, 256));
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
