#include "app/MainWindow.h"
#include "app/ResultBox.h"
#include "app/Startup.h"

#include "GuiTestSupport.h"

#include <QAbstractButton>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
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

} // namespace

class TestStartup : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void missingTranslationIsNoError();
    void qtTextsInChinese();
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

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
