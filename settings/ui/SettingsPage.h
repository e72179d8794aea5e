#pragma once

#include "settings/SettingsSource.h"
#include "settings/SettingsTable.h"

#include <QGroupBox>

#include <array>

class QCheckBox;
class QWheelEvent;
class QPushButton;

namespace tessivo {

class CharTables;
class ScrollBar;
class WindowContext;

// The settings page "设置" (Frame3): one scroll bar per setting, built from the settings table,
// on a panel (Picture4) that a vertical scroll bar (VScroll1) moves inside a viewport
// (Picture3); the linked-sampling box Check2, the blank-line box Check3 and "默认" (Command8).
// A generation run reads its settings from here, live: each setting's value is its bar's value.
// The page reports what the user does with a bar; what a change does to the Canvas, the tables
// or the run is up to whoever listens.
class SettingsPage : public QGroupBox, public SettingsSource {
    Q_OBJECT

public:
    SettingsPage(WindowContext& window, const CharTables& tables, QWidget* parent = nullptr);

    ScrollBar* bar(Setting setting) const;
    ScrollBar* panelBar() const { return m_panelBar; }                    // VScroll1
    QCheckBox* linkSampling() const { return m_linkSampling; }            // Check2
    QCheckBox* removeBlankLinesBox() const { return m_removeBlankLines; } // Check3

    // The panel scroll range, set once at start-up from the viewport's and the panel's design
    // heights: maximum |8535 - 7455| + 700 = 1780, large change 178.
    void setPanelScrollRange();

    // Reset ("默认"), also reachable as a click on Command8.
    void resetToDefaults();

    int value(Setting setting) const override;
    bool removeBlankLines() const override;
    const QStringList& charTable() const override;

signals:
    // The user took hold of a setting's thumb: a drag begins.
    void dragStarted(Setting setting);
    // A setting's thumb is being dragged to position; linked sampling has already moved the
    // other sampling bar.
    void dragged(Setting setting, int position);
    // A setting settled on a new value: arrows, track, keys, the end of a drag or an assignment.
    void settled(Setting setting, int value);

protected:
    // A wheel over the page scrolls the panel, unless it is over the bar that has the keyboard
    // focus: that bar takes it.
    void wheelEvent(QWheelEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void onDragged(Setting setting, int position);
    void movePanelTo(int position);
    // Moves the panel so that a control on it that takes the focus shows whole.
    void scrollIntoView(const QWidget* widget);

    WindowContext& m_window;
    const CharTables& m_tables;

    // By Setting; a run reads some of them for every cell.
    std::array<ScrollBar*, SettingCount> m_bars{};
    QWidget* m_viewport = nullptr; // Picture3
    QWidget* m_panel = nullptr;    // Picture4
    ScrollBar* m_panelBar = nullptr;
    QCheckBox* m_linkSampling = nullptr;
    QCheckBox* m_removeBlankLines = nullptr;
    QPushButton* m_reset = nullptr;
};

} // namespace tessivo
