#pragma once

#include "settings/SettingsTable.h"

#include <QObject>

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
    // Every change a setting makes to the Canvas is a step of history; a drag is one step.
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

    WindowContext& m_window;
    CanvasModel& m_canvas;
    CanvasHistory& m_history;
    const PictureHolder& m_holder;
    CharTables& m_tables;
    GenerationRun& m_run;
};

} // namespace tessivo
