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
#include <QActionGroup>
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

void MainWindow::buildCharacterChoice()
{
    // Three choices in Text1's context menu; tone, the program's own, is checked at start-up.
    auto* group = new QActionGroup(this);
    const auto add = [&](const QString& text, const QString& name, const QString& tip) {
        auto* action = new QAction(text, group);
        action->setObjectName(name);
        action->setCheckable(true);
        action->setToolTip(tip);
        resultBox()->addContextAction(action);
        return action;
    };
    QAction* tone = add(QStringLiteral("按色调选字"), QStringLiteral("toneChoiceAction"),
                        QStringLiteral("生成时按每格的色调在当前字符表中选字（启动时的方式）"));
    m_inkAction = add(QStringLiteral("按墨量选字"), QStringLiteral("inkChoiceAction"),
                      QStringLiteral("生成时从载入的字符表中选出墨色与每格深浅最接近的字，"
                                     "墨色相近的字中取墨迹最匀的；量墨按结果框的字体实际画出；"
                                     "一格表现不出的深浅分给后面的格子，渐变平滑、浅灰不成空白；"
                                     "格子按字体的宽高比铺满整个画布，列数由采样X定，行数随字体；"
                                     "采样Y、图像适应和运行效率在此方式下不起作用"));
    m_shapeAction = add(QStringLiteral("按字形选字"), QStringLiteral("shapeChoiceAction"),
                        QStringLiteral("同按墨量选字，但在墨色相近的字中选墨迹分布（上下左右）"
                                       "与每格画面深浅分布最接近的字，边缘和线条更清楚；"
                                       "画面平坦处相邻的格子用同一个字"));
    tone->setChecked(true);
    connect(group, &QActionGroup::triggered, this, [this](QAction* action) {
        setCharacterChoice(action == m_inkAction     ? CharacterChoice::Ink
                           : action == m_shapeAction ? CharacterChoice::Shape
                                                     : CharacterChoice::Tone);
    });
}

void MainWindow::setCharacterChoice(CharacterChoice choice)
{
    m_choice = choice;
    m_inkAction->setChecked(choice == CharacterChoice::Ink);
    m_shapeAction->setChecked(choice == CharacterChoice::Shape);
    if (m_workshop)
        m_workshop->setCharacterChoice(choice);
}

void MainWindow::openWorkshop()
{
    if (!m_workshop) {
        m_workshop = new TableWorkshopDialog(
            m_canvas, *m_settingsPage, [this] { return m_run.bandCount(); }, this);
        m_workshop->setResultFont(resultBox()->fontFamily(), resultBox()->fontSize());
        m_workshop->setCharacterChoice(m_choice);
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
