#pragma once

#include "app/RunRecord.h"
#include "art/InkArt.h"
#include "canvas/CanvasModel.h"
#include "canvas/ui/ColorPicker.h"
#include "engine/CharTable.h"
#include "engine/Color.h"
#include "engine/GenerationRun.h"
#include "history/CanvasHistory.h"
#include "loading/PictureLoader.h"
#include "widgets/WindowContext.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>

class QAction;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace tessivo {

class AboutPage;
class CanvasPage;
class DrawingPage;
class GenerationPage;
class InputWatch;
class PictureChooser;
class ResultBox;
class ResultSaver;
class ResultWindow;
class ScrollBar;
class SettingsController;
class SettingsPage;
class ShapeWidget;
class TableWorkshopDialog;
class ToolColumn;

// The main window (Form1): five pages in one place, switched by the page buttons in the left
// column; the status line and the progress display below. It owns the program's state: the
// character tables, the Canvas, the picture holder and the generation run.
class MainWindow : public QWidget, private WindowContext {
    Q_OBJECT

public:
    // Asks whether to import a table file found at start-up; true means import.
    using ImportQuestion = std::function<bool()>;

    enum class Page { Generation, Canvas, DrawingTools, Settings, About };

    // Builds the window and runs the start-up sequence; the table file is looked for in folders,
    // the first found is offered. The question defaults to the program's message box.
    explicit MainWindow(const QStringList& folders, ImportQuestion askToImport = {});
    // The same with the table file looked for in one folder.
    explicit MainWindow(const QString& folder, ImportQuestion askToImport = {});
    ~MainWindow() override;

    // The question box: "发现外部数据源，需要导入吗？", OK and Cancel.
    static bool AskToImportTable();

    CharTables& tables() { return m_tables; }
    CanvasModel& canvas() { return m_canvas; }
    PictureHolder& holder() { return m_holder; }
    CanvasHistory& history() { return m_history; }
    GenerationRun& run() { return m_run; }
    SettingsPage* settingsPage() const { return m_settingsPage; }
    CanvasPage* canvasPage() const { return m_canvasPage; }
    ToolColumn* toolColumn() const { return m_toolColumn; }
    AboutPage* aboutPage() const { return m_aboutPage; }
    GenerationPage* generationPage() const { return m_generationPage; }
    ResultBox* resultBox() const;
    // The result window, once "浏览" has made it.
    ResultWindow* resultWindow() const;
    bool isRunning() const;
    // "另存为…" and "复制为图片" of both result boxes.
    ResultSaver* resultSaver() const { return m_saver; }

    ColorPicker* colorPicker() const { return m_colorPicker; }
    ColorValue lineColor() const { return m_colorPicker->lineColor(); }
    ColorValue shapeFillColor() const { return m_colorPicker->shapeFillColor(); }

    // The page buttons' clicks.
    void showPage(Page page);

    // Ctrl+Z and Ctrl+Y (or Ctrl+Shift+Z), from any page: a step of the Canvas's history back
    // or forward. Nothing happens while a run is going; a text box with the keyboard focus keeps
    // the keys for its own text.
    void undoCanvas();
    void redoCanvas();

    // Opens a picture file as "打开" in the picture chooser does, and shows the canvas page; a
    // file that does not read gets the message and changes nothing. Returns whether it loaded.
    // Files named on the command line and dropped on the window come here.
    bool openPicture(const QString& path);
    // Ctrl+V on the canvas page, when no text box has the focus: the clipboard's picture is
    // drawn and held as an opened picture is. Returns whether there was one.
    bool pastePicture();

    // "载入图片": the picture chooser, modal; made on first use, kept while it is only hidden.
    void Command3_Click();
    PictureChooser* chooser() const { return m_chooser; }

    // "字符表工坊…" in Text1's context menu, or Ctrl+Shift+T: the table workshop, window-modal;
    // made on first use and kept, rows and all, while it is only hidden.
    void openWorkshop();
    TableWorkshopDialog* workshop() const { return m_workshop; }

    // How "生成" chooses each cell's row: by tone (the start-up choice) or by measured ink, from
    // Text1's context menu.
    CharacterChoice characterChoice() const { return m_choice; }
    void setCharacterChoice(CharacterChoice choice);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    // WindowContext
    void setTitle(const QString& title) override;
    void moveFocusToSink() override;

    void buildPageButtons();
    void buildStatusLine();
    void buildHistoryKeys();
    void buildFileDrops();
    void buildWorkshop();
    void buildCharacterChoice();
    // The keys that start a run and the tab order where creation order is not reading order.
    void buildKeyboard();
    // F5 and Ctrl+Return: "生成", when it can be clicked.
    void startRunByKey();
    // Keys pressed while a run held the window are still queued when it ends: they are thrown
    // away rather than carried out on what the run left.
    void dropKeysPressedDuringRun();
    // "立即使用": the workshop's table becomes the loaded table, as an accepted import's would.
    void useWorkshopTable(const QStringList& loadedTable);
    // A drag or drop that carries a file: taken, and the file opened on the drop.
    bool handleFileDrop(QEvent* event);
    // What the status line says of a picture opened (from the chooser, a drop or the command
    // line): a picture read only in part, named.
    void showPictureOutcome(const QString& path, PictureRead outcome);
    void startUp(const QStringList& folders, const ImportQuestion& askToImport);

    // Generation page
    void Command1_Click();
    void Timer1_Timer();
    void Command9_Click();
    void setProgressWidth(int twips);
    void setRunControlsEnabled(bool enabled);

    CharTables m_tables;
    CanvasModel m_canvas;
    PictureHolder m_holder;
    CanvasHistory m_history{m_canvas, m_holder};
    GenerationRun m_run;
    RunRecord m_runRecord;
    CharacterChoice m_choice = CharacterChoice::Tone;
    QAction* m_inkAction = nullptr;
    QAction* m_shapeAction = nullptr;

    std::array<QPushButton*, 5> m_pageButtons{};
    std::array<QWidget*, 5> m_pages{};
    SettingsPage* m_settingsPage = nullptr;
    CanvasPage* m_canvasPage = nullptr;
    DrawingPage* m_drawingPage = nullptr;
    ColorPicker* m_colorPicker = nullptr;
    AboutPage* m_aboutPage = nullptr;
    ToolColumn* m_toolColumn = nullptr;

    GenerationPage* m_generationPage = nullptr;
    SettingsController* m_settingsController = nullptr;
    QPointer<ResultWindow> m_resultWindow;
    ResultSaver* m_saver = nullptr;
    PictureChooser* m_chooser = nullptr; // Form3
    TableWorkshopDialog* m_workshop = nullptr;

    QLabel* m_status = nullptr;       // Label1
    ShapeWidget* m_track = nullptr;   // Shape1
    ShapeWidget* m_bar = nullptr;     // Shape2
    QLineEdit* m_focusSink = nullptr; // focus
    QTimer* m_timer = nullptr;        // Timer1
    InputWatch* m_input = nullptr;
};

} // namespace tessivo
