#include "app/MainWindow.h"

#include "app/AboutPage.h"
#include "app/GenerationPage.h"
#include "app/ResultSaver.h"
#include "app/ResultWindow.h"
#include "app/SettingsController.h"
#include "app/StatusTexts.h"
#include "canvas/ui/CanvasPage.h"
#include "canvas/ui/DrawingPage.h"
#include "canvas/ui/DrawingTools.h"
#include "canvas/ui/ToolColumn.h"
#include "engine/TableFile.h"
#include "loading/ui/PictureChooser.h"
#include "settings/SettingsTable.h"
#include "settings/ui/SettingsPage.h"
#include "widgets/CanvasWidget.h"
#include "widgets/ScrollBar.h"
#include "widgets/ShapeWidget.h"
#include "widgets/TwipsLayout.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShortcut>
#include <QTimer>

#include <malloc.h>

namespace tessivo {

namespace {

struct PageInfo {
    const char* button;
    const char* caption;
    int buttonTop;
};

// In the order of MainWindow::Page.
constexpr std::array<PageInfo, 5> Pages = {{
    {"Command4", "生成", 100},
    {"Command5", "画布", 460},
    {"Command10", "画笔", 820},
    {"Command6", "设置", 1180},
    {"Command7", "关于", 1540},
}};

// The window's outer size is 9255 x 7415 twips; its client area is that less the title bar,
// down to the bottom of the progress display.
constexpr int ClientWidthTwips = 9255;
constexpr int ClientHeightTwips = 7020;

} // namespace

// Watches the application's input: whether the user is working with the keyboard (a page switch
// or a settled bar then leaves the focus where the user put it), and, while told to, throws keys
// away.
class InputWatch : public QObject {
public:
    explicit InputWatch(QObject* parent)
        : QObject(parent)
    {
        qApp->installEventFilter(this);
    }
    bool keyboardInUse() const { return m_keyboard; }
    void setDroppingKeys(bool dropping) { m_dropping = dropping; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::ShortcutOverride:
            if (m_dropping) {
                // Accepted, the key starts no shortcut; it then comes as a press, dropped too.
                event->accept();
                return true;
            }
            break;
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
            if (m_dropping)
                return true;
            m_keyboard = true;
            break;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel: m_keyboard = false; break;
        default: break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool m_keyboard = false;
    bool m_dropping = false;
};

MainWindow::MainWindow(const QStringList& folders, ImportQuestion askToImport)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(MainWindowTitle());
    // The window has a fixed size: no maximize button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    m_input = new InputWatch(this);

    // The focus sink comes first, so that it is first in the tab order; it lies below the
    // visible client area.
    m_focusSink = new QLineEdit(this);
    m_focusSink->setObjectName(QStringLiteral("focus"));
    PlaceInTwips(m_focusSink, 1680, 8760, 375, 270);

    buildPageButtons();
    m_generationPage = new GenerationPage(*this, this);
    m_canvasPage = new CanvasPage(*this, m_canvas, m_history, this);
    m_drawingPage = new DrawingPage(*this, m_canvas, m_history, this);
    m_colorPicker = m_drawingPage->colorPicker();
    m_settingsPage = new SettingsPage(*this, m_tables, this);
    m_settingsController = new SettingsController(*m_settingsPage, *this, m_canvas, m_history,
                                                  m_holder, m_tables, m_run, this);
    m_aboutPage = new AboutPage(this);
    m_pages = {m_generationPage, m_canvasPage, m_drawingPage, m_settingsPage, m_aboutPage};
    for (QWidget* page : m_pages)
        page->setGeometry(TwipsRect(PageRectTwips));

    m_toolColumn = new ToolColumn(this);
    m_toolColumn->hide();
    new DrawingTools(m_canvas, m_history, *m_canvasPage->canvasWidget(), *m_toolColumn,
                     *m_drawingPage->roundingBar(), this);

    buildStatusLine();
    buildHistoryKeys();
    buildFileDrops();
    m_saver = new ResultSaver(m_runRecord, this);
    m_saver->attach(resultBox(), this);
    buildWorkshop();
    buildCharacterChoice();
    buildKeyboard();

    m_timer = new QTimer(this);
    // As fast as the event loop allows: input and painting are served between ticks.
    m_timer->setInterval(0);
    connect(m_timer, &QTimer::timeout, this, &MainWindow::Timer1_Timer);

    connect(m_generationPage, &GenerationPage::generateRequested, this,
            &MainWindow::Command1_Click);
    connect(m_generationPage, &GenerationPage::viewRequested, this, &MainWindow::Command9_Click);
    connect(m_settingsController, &SettingsController::previewFontSizeChanged, m_canvasPage,
            &CanvasPage::previewFont);
    connect(m_drawingPage, &DrawingPage::fontSizeChanged, m_canvasPage, &CanvasPage::previewFont);
    connect(m_canvasPage, &CanvasPage::loadPictureRequested, this, &MainWindow::Command3_Click);

    startUp(folders, askToImport ? askToImport : ImportQuestion(&MainWindow::AskToImportTable));
}

MainWindow::MainWindow(const QString& folder, ImportQuestion askToImport)
    : MainWindow(QStringList{folder}, askToImport)
{
}

ResultBox* MainWindow::resultBox() const
{
    return m_generationPage->resultBox();
}

MainWindow::~MainWindow()
{
    delete m_resultWindow;
    // The pages, tools and controllers go while the Canvas, the holder and the tables they use
    // are still here: a page losing the focus as it goes still reaches the Canvas.
    const QObjectList children = this->children();
    qDeleteAll(children);
}

bool MainWindow::AskToImportTable()
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tessivo"),
                    QStringLiteral("发现外部数据源，需要导入吗？"),
                    QMessageBox::Ok | QMessageBox::Cancel);
    box.setObjectName(QStringLiteral("importQuestion"));
    return box.exec() == QMessageBox::Ok;
}

void MainWindow::buildPageButtons()
{
    for (std::size_t i = 0; i < Pages.size(); ++i) {
        auto* button = new QPushButton(QString::fromUtf8(Pages[i].caption), this);
        button->setObjectName(QLatin1String(Pages[i].button));
        PlaceInTwips(button, 0, Pages[i].buttonTop, 1095, 375);
        connect(button, &QPushButton::clicked, this, [this, i] { showPage(Page(i)); });
        m_pageButtons[i] = button;
    }
}

void MainWindow::buildStatusLine()
{
    m_track = new ShapeWidget(this);
    m_track->setObjectName(QStringLiteral("Shape1"));
    m_track->setBorderColor(0x808080);
    PlaceInTwips(m_track, 45, 6630, 9075, 375);

    m_bar = new ShapeWidget(this);
    m_bar->setObjectName(QStringLiteral("Shape2"));
    m_bar->setFilled(true);
    m_bar->setFillColor(0xD9A77F);
    m_bar->setBorderColor(0xB07A50);
    PlaceInTwips(m_bar, 45, 6630, 15, 375);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("Label1"));
    PlaceInTwips(m_status, 4080, 6720, 1935, 255);
    m_status->raise();
}

namespace {

QList<QKeySequence> undoKeys()
{
    return {QKeySequence(Qt::CTRL | Qt::Key_Z)};
}

QList<QKeySequence> redoKeys()
{
    return {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)};
}

// The keys that start a run, as "生成" does; the button's tooltip names them.
QList<QKeySequence> runKeys()
{
    return {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL | Qt::Key_Return),
            QKeySequence(Qt::CTRL | Qt::Key_Enter)};
}

// The keys the window's shortcuts answer, which the focus sink must not keep for itself.
bool isWindowKey(const QKeyEvent& key)
{
    const QKeySequence pressed(key.keyCombination());
    return undoKeys().contains(pressed) || redoKeys().contains(pressed) ||
           runKeys().contains(pressed) || key.matches(QKeySequence::Paste);
}

} // namespace

void MainWindow::buildHistoryKeys()
{
    auto* undo = new QShortcut(this);
    undo->setKeys(undoKeys());
    connect(undo, &QShortcut::activated, this, &MainWindow::undoCanvas);
    auto* redo = new QShortcut(this);
    redo->setKeys(redoKeys());
    connect(redo, &QShortcut::activated, this, &MainWindow::redoCanvas);
    // The focus sink is a line edit only to hold the focus; the keys are not its own.
    m_focusSink->installEventFilter(this);
}

void MainWindow::buildKeyboard()
{
    auto* run = new QShortcut(this);
    run->setKeys(runKeys());
    connect(run, &QShortcut::activated, this, &MainWindow::startRunByKey);

    // The tool column stands under the page buttons: Tab reaches it before the page.
    QWidget* previous = m_pageButtons.back();
    for (QAbstractButton* tool : m_toolColumn->findChildren<QAbstractButton*>()) {
        setTabOrder(previous, tool);
        previous = tool;
    }
    // The drawing-tools page reads in rows: "字体" and "颜色" side by side, then "形状", then
    // "总体属性".
    const auto drawingControl = [this](const char* name) {
        return m_drawingPage->findChild<QWidget*>(QLatin1String(name));
    };
    QWidgetList drawingOrder{drawingControl("HScroll15")};
    for (QWidget* control : m_colorPicker->findChildren<QWidget*>()) {
        if (control->focusPolicy() & Qt::TabFocus)
            drawingOrder << control;
    }
    drawingOrder << drawingControl("HScroll14") << drawingControl("HScroll13")
                 << drawingControl("Option7") << drawingControl("Option6");
    if (!drawingOrder.contains(nullptr)) {
        for (qsizetype i = 1; i < drawingOrder.size(); ++i)
            setTabOrder(drawingOrder[i - 1], drawingOrder[i]);
    }
    // Tab leaves the text to imprint, as it leaves the result box, instead of typing a tab.
    if (auto* text = m_canvasPage->findChild<QPlainTextEdit*>(QStringLiteral("Text2")))
        text->setTabChangesFocus(true);
}

void MainWindow::startRunByKey()
{
    if (!isRunning() && m_generationPage->generateButton()->isEnabled())
        Command1_Click();
}

void MainWindow::dropKeysPressedDuringRun()
{
    // The window system's queue is read, and what it held delivered, with keys thrown away.
    // Twice: the first pass may only move the events into Qt's own queue.
    m_input->setDroppingKeys(true);
    for (int pass = 0; pass < 2; ++pass) {
        QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
    }
    m_input->setDroppingKeys(false);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (handleFileDrop(event))
        return true;
    if (watched == m_focusSink && event->type() == QEvent::ShortcutOverride &&
        isWindowKey(*static_cast<QKeyEvent*>(event))) {
        event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::undoCanvas()
{
    if (!isRunning())
        m_history.undo();
}

void MainWindow::redoCanvas()
{
    if (!isRunning())
        m_history.redo();
}

void MainWindow::startUp(const QStringList& folders, const ImportQuestion& askToImport)
{
    // The custom table, on the user's agreement.
    switch (LoadCustomTable(m_tables, folders, askToImport)) {
    case ImportOutcome::Imported:
        setWindowTitle(windowTitle() + TableImportedTitleSuffix());
        ShowStatus(*m_status, StatusTextFor(Status::TableImported));
        break;
    case ImportOutcome::Failed:
        ShowStatus(*m_status, StatusTextFor(Status::TableReadFailed));
        break;
    case ImportOutcome::NoFile:
    case ImportOutcome::Declined: break;
    }
    m_tables.copyLoadedToActive();

    m_settingsPage->setPanelScrollRange();
    m_run.setBandCount(GenerationRun::InitialBandCount);
    setFixedSize(TwipsToPixels(ClientWidthTwips), TwipsToPixels(ClientHeightTwips));
    m_canvasPage->fillZoomBoxes();

    for (QWidget* page : m_pages)
        page->setVisible(page == m_generationPage);
    m_pageButtons[0]->setText(QStringLiteral("生成-->"));

    // The start values of the settings table. Assigned values run their settle handling at once:
    // BandCount follows RunEfficiency, and the active table is rebuilt for Contrast.
    const auto assignStartValue = [this](Setting s) {
        m_settingsPage->bar(s)->setValue(SettingInfo(s).startValue);
    };
    assignStartValue(Setting::RunEfficiency);
    assignStartValue(Setting::ZoomRatio);

    m_canvasPage->canvasWidget()->setOutlineVisible(false);
    m_canvas.setForeColor(lineColor());
    m_canvas.setFillStyle(CanvasModel::Solid);
    m_canvas.setCurrentPosition(0, 0);

    assignStartValue(Setting::Contrast);

    // Give back the memory start-up no longer needs.
    malloc_trim(0);
}

void MainWindow::showPage(Page page)
{
    if (page == Page::Generation)
        m_toolColumn->selectTool(Tool::Mouse);
    m_toolColumn->setVisible(page == Page::Canvas);
    for (std::size_t i = 0; i < m_pages.size(); ++i) {
        const bool shown = i == std::size_t(page);
        m_pageButtons[i]->setText(QString::fromUtf8(Pages[i].caption) +
                                  (shown ? QStringLiteral("-->") : QString()));
        m_pages[i]->setVisible(shown);
    }
    if (page == Page::About)
        m_aboutPage->navigate();
    // The drawing-tools page leaves the title as it is.
    if (page != Page::DrawingTools)
        restoreTitle();
    moveFocusToSink();
    if (page == Page::Canvas) {
        m_toolColumn->swatch()->setFillColor(shapeFillColor());
        m_toolColumn->swatch()->setBorderColor(lineColor());
    }
}

void MainWindow::Command3_Click()
{
    if (!m_chooser) {
        m_chooser = new PictureChooser(m_canvas, m_holder, m_history, this);
        connect(m_chooser, &PictureChooser::pictureOpened, this, &MainWindow::showPictureOutcome);
    }
    m_chooser->exec();
    // After "取消" or a failed open the chooser goes, and the next one starts afresh.
    if (m_chooser && m_chooser->shouldUnload()) {
        delete m_chooser;
        m_chooser = nullptr;
    }
}

void MainWindow::setTitle(const QString& title)
{
    setWindowTitle(title);
}

void MainWindow::moveFocusToSink()
{
    // A keyboard user keeps the focus where the keys put it: on the page button just pressed,
    // on the bar just moved by its keys.
    if (m_input->keyboardInUse()) {
        const QWidget* focused = QApplication::focusWidget();
        if (focused && focused != m_focusSink && focused->window() == this &&
            focused->isVisible() && focused->isEnabled())
            return;
    }
    m_focusSink->setFocus(Qt::OtherFocusReason);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // No further ticks once the window goes; the chooser and the result window go with it.
    m_timer->stop();
    delete m_chooser;
    m_chooser = nullptr;
    if (m_resultWindow)
        m_resultWindow->close();
    event->accept();
}

} // namespace tessivo
