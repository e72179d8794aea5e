// The main window's side of the table workshop: reaching it from Text1's context menu and with
// Ctrl+Shift+T, and loading the table it makes.

#include "app/MainWindow.h"

#include "app/GenerationPage.h"
#include "app/ResultBox.h"
#include "app/StatusTexts.h"
#include "app/TableWorkshopDialog.h"
#include "settings/SettingsTable.h"
#include "settings/ui/SettingsPage.h"

#include <QAction>
#include <QLabel>
#include <QShortcut>

namespace tessivo {

namespace {

QKeySequence workshopKey()
{
    return QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T);
}

} // namespace

void MainWindow::buildWorkshop()
{
    const QString key = workshopKey().toString(QKeySequence::NativeText);
    // The key is named in the menu, after a tab as menus show keys; the window's shortcut below
    // is what answers it.
    auto* action = new QAction(QStringLiteral("字符表工坊…\t") + key, this);
    action->setObjectName(QStringLiteral("workshopAction"));
    action->setToolTip(
        QStringLiteral("字符表工坊：量出字符的深浅，排序、预览并使用字符表（%1）").arg(key));
    connect(action, &QAction::triggered, this, &MainWindow::openWorkshop);
    resultBox()->addContextAction(action);

    auto* shortcut = new QShortcut(workshopKey(), this);
    connect(shortcut, &QShortcut::activated, this, &MainWindow::openWorkshop);
}

void MainWindow::openWorkshop()
{
    if (!m_workshop) {
        m_workshop = new TableWorkshopDialog(
            m_canvas, *m_settingsPage, [this] { return m_run.bandCount(); }, this);
        m_workshop->setResultFont(resultBox()->fontFamily(), resultBox()->fontSize());
        connect(m_workshop, &TableWorkshopDialog::useRequested, this,
                &MainWindow::useWorkshopTable);
    }
    m_workshop->open();
}

void MainWindow::useWorkshopTable(const QStringList& loadedTable)
{
    // A run maps tones to the active table on every tick; changing it halfway would mix two
    // tables in one result, and longer rows could take the text past the length the run was
    // checked for when it started.
    if (isRunning()) {
        m_workshop->setNote(QStringLiteral("正在生成，完成后才能使用新的字符表"));
        return;
    }
    m_tables.setLoaded(loadedTable);
    m_tables.rebuildActive(m_settingsPage->value(Setting::Contrast));
    ShowStatus(*m_status, StatusTextFor(Status::WorkshopTableUsed));
    m_workshop->setNote(StatusTextFor(Status::WorkshopTableUsed).toolTip);
}

} // namespace tessivo
