#pragma once

#include "settings/SettingsTable.h"

#include <QList>
#include <QObject>

#include <optional>

namespace tessivo {

class CanvasHistory;
class CanvasModel;
class CharTables;
class GenerationRun;
class PictureHolder;
class SettingsPage;
class WindowContext;

// Applies what the user does on the settings page to the program's state: the Canvas (its
// colour, size and the zoomed picture), the active table and the run's band count. The page
// only reports; this is the one place that knows what each setting changes.
class SettingsController : public QObject {
    Q_OBJECT

public:
    // Every change a setting makes to the Canvas is a step of history; a drag is one step. An
    // undo puts back the bars that made the steps it undoes.
    SettingsController(SettingsPage& page, WindowContext& window, CanvasModel& canvas,
                       CanvasHistory& history, const PictureHolder& holder, CharTables& tables,
                       GenerationRun& run, QObject* parent = nullptr);

signals:
    // PreviewFontSize settled on a new value: the Canvas text is to be imprinted anew at that
    // size.
    void previewFontSizeChanged(int points);

private:
    void onDragged(Setting setting, int position);
    void onSettled(Setting setting, int value);
    void zoomRedraw(int value);
    // A bar that changes the Canvas settled: the value is applied, as far as history goes.
    void applied(Setting setting, int value);
    void restoreBars(const QList<int>& values);

    SettingsPage& m_page;
    WindowContext& m_window;
    CanvasModel& m_canvas;
    CanvasHistory& m_history;
    const PictureHolder& m_holder;
    CharTables& m_tables;
    GenerationRun& m_run;
    // The values last applied of the bars that change the Canvas (SteppedSettings), as steps
    // keep them; a bar moved without changing the Canvas (an arrow of 画布颜色) is not counted.
    QList<int> m_applied;
    // The setting whose drag has changed the Canvas, until the drag settles.
    std::optional<Setting> m_stepDragged;
};

} // namespace tessivo
