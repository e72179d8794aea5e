// The main window's side of the generation page: "生成" runs the Canvas through a generation
// run, one tick per timer event, and "浏览" shows the result in the result window.

#include "app/MainWindow.h"

#include "app/GenerationPage.h"
#include "app/InkRun.h"
#include "app/ResultBox.h"
#include "app/ResultSaver.h"
#include "app/ResultWindow.h"
#include "app/StatusTexts.h"
#include "canvas/ui/CanvasPage.h"
#include "canvas/ui/DrawingPage.h"
#include "settings/SettingsTable.h"
#include "settings/ui/SettingsPage.h"
#include "widgets/CanvasWidget.h"
#include "widgets/ScrollBar.h"
#include "widgets/ShapeWidget.h"
#include "widgets/TwipsLayout.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

#include <cmath>

namespace tessivo {

namespace {

// The progress track is 9075 twips wide.
constexpr int TrackWidthTwips = 9075;

// How long one timer event may run ticks; well under a frame, so the window never stalls.
constexpr qint64 TickSliceNanoseconds = 4'000'000;

} // namespace

ResultWindow* MainWindow::resultWindow() const
{
    return m_resultWindow;
}

bool MainWindow::isRunning() const
{
    return m_timer->isActive();
}

void MainWindow::setRunControlsEnabled(bool enabled)
{
    m_settingsPage->setEnabled(enabled);
    m_drawingPage->setEnabled(enabled);
    m_canvasPage->canvasWidget()->setEnabled(enabled);
    m_generationPage->generateButton()->setEnabled(enabled);
    m_saver->setEnabled(enabled);
}

void MainWindow::setProgressWidth(int twips)
{
    m_bar->resize(TwipsToPixels(twips), m_bar->height());
}

void MainWindow::Command1_Click()
{
    if (m_choice != CharacterChoice::Tone) {
        // The whole Canvas at once: a few milliseconds, no timer, nothing to disable meanwhile.
        QApplication::setOverrideCursor(Qt::WaitCursor);
        resultBox()->setFontSize(10);
        const bool shape = m_choice == CharacterChoice::Shape;
        // Kept with its colours, so that a coloured save writes this result, not the last run's.
        ArtDocument art = InkResultArt(m_canvas, m_tables.loaded(), *m_settingsPage,
                                       resultBox()->fontFamily(), resultBox()->fontSize(), shape);
        resultBox()->setText(art.text);
        m_runRecord.finishedWith(std::move(art));
        QApplication::restoreOverrideCursor();
        setProgressWidth(TrackWidthTwips);
        QApplication::beep();
        ShowStatus(*m_status, StatusTextFor(shape ? Status::ShapeRunDone : Status::InkRunDone));
        moveFocusToSink();
        dropKeysPressedDuringRun();
        return;
    }
    // The layout is checked before anything changes, so a refused run leaves all as it was.
    switch (m_run.start(m_canvas, *m_settingsPage)) {
    case GenerationRun::StartResult::Started: break;
    case GenerationRun::StartResult::PositionsTooLarge:
        ShowStatus(*m_status, StatusTextFor(Status::PositionsTooLarge));
        return;
    case GenerationRun::StartResult::TextTooLong:
        ShowStatus(*m_status, StatusTextFor(Status::TextTooLong));
        return;
    }
    m_runRecord.started(m_canvas, *m_settingsPage, m_run.bandCount());
    setRunControlsEnabled(false);
    resultBox()->setText(QString());
    setProgressWidth(0);
    resultBox()->setFontSize(10);
    ShowStatus(*m_status, StatusTextFor(Status::RunStarted,
                                        m_settingsPage->bar(Setting::RunEfficiency)->value()));
    m_timer->start();
    moveFocusToSink();
}

void MainWindow::Timer1_Timer()
{
    // A timer event runs ticks for a slice of a few milliseconds: a single tick is so short that
    // the event loop's own turn would cost more than the work. Input and painting are served
    // between slices, and a Canvas changed between them is what the next ticks sample.
    // The progress bar is sized once a slice, after its last line step: nothing is painted in
    // between, and a run on a narrow Canvas steps a line on every tick.
    QElapsedTimer slice;
    slice.start();
    bool stepped = false;
    const auto showProgress = [&] {
        if (stepped)
            setProgressWidth(int(std::floor(TrackWidthTwips * m_run.progress())));
    };
    for (;;) {
        const GenerationRun::TickOutcome outcome = m_run.tick(m_canvas, *m_settingsPage);
        if (outcome == GenerationRun::TickOutcome::Finished)
            break;
        stepped = stepped || outcome == GenerationRun::TickOutcome::SteppedLine;
        if (slice.nsecsElapsed() >= TickSliceNanoseconds) {
            showProgress();
            return;
        }
    }
    showProgress();
    m_timer->stop();
    QApplication::beep();
    m_runRecord.finished(m_run);
    resultBox()->setText(m_run.resultText());
    if (m_bar->width() > m_track->width())
        m_bar->resize(m_track->width(), m_bar->height());
    ShowStatus(*m_status, StatusTextFor(Status::RunDone));
    setRunControlsEnabled(true);
    dropKeysPressedDuringRun();
}

void MainWindow::Command9_Click()
{
    if (!m_resultWindow) {
        m_resultWindow = new ResultWindow;
        m_saver->attach(m_resultWindow->textBox(), m_resultWindow);
    }
    m_resultWindow->show();
    ResultBox* copy = m_resultWindow->textBox();
    copy->setText(resultBox()->text());
    copy->setFontFamily(resultBox()->fontFamily());
    copy->setFontSize(resultBox()->fontSize());
    moveFocusToSink();
}

} // namespace tessivo
