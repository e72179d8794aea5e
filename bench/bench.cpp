// Measures Tessivo's run and loading against their baselines; prints key=value lines.
//   tessivo-bench run PICTURE default|finest   the window's run against the run class alone
//   tessivo-bench load PICTURE                 opening a picture in the window against a decode
#include "app/MainWindow.h"
#include "app/ResultBox.h"
#include "canvas/CanvasModel.h"
#include "canvas/Fonts.h"
#include "engine/GenerationRun.h"
#include "loading/PictureLoader.h"
#include "settings/SettingValues.h"
#include "settings/SettingsTable.h"
#include "settings/ui/ScrollBar.h"
#include "settings/ui/SettingsPage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QImageReader>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

using namespace tessivo;

namespace {

// The finest run: every setting at its finest, the largest Canvas.
struct RunSetup {
    bool finest = false;
    int sampleX() const { return finest ? 2 : 17; }
    int sampleY() const { return finest ? 2 : 30; }
    int pictureFit() const { return finest ? 1 : 5; }
    int bands() const { return finest ? 100 : 50; }
};

double millis(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The run class alone, ticked in a tight loop on a Canvas loaded the same way.
double tightLoop(const QString& picture, const RunSetup& setup, qint64* cells)
{
    CanvasModel canvas;
    if (setup.finest)
        canvas.setSize(7935, 5895);
    PictureHolder holder;
    LoadPictureOntoCanvas(picture, canvas, holder);
    SettingValues values;
    values.setSampleX(setup.sampleX());
    values.setSampleY(setup.sampleY());
    values.setPictureFit(setup.pictureFit());
    GenerationRun run;
    run.setBandCount(setup.bands());

    QElapsedTimer clock;
    clock.start();
    run.start(values, canvas);
    qint64 ticks = 0;
    while (run.tick(canvas, values) != GenerationRun::TickOutcome::Finished)
        ++ticks;
    *cells = ticks * setup.bands();
    return millis(clock);
}

struct WindowRun {
    double total = 0;  // from the click on "生成" to the text in the box
    double maxGap = 0; // longest time between two turns of the event loop
    QString text;
    QFont font;
    QSize size;
};

WindowRun windowRun(const QString& picture, const RunSetup& setup)
{
    QTemporaryDir folder;
    MainWindow window(folder.path(), [] { return false; });
    window.show();
    SettingsPage* settings = window.settingsPage();
    settings->bar(Setting::SampleX)->setValue(setup.sampleX());
    settings->bar(Setting::SampleY)->setValue(setup.sampleY());
    settings->bar(Setting::PictureFit)->setValue(setup.pictureFit());
    settings->bar(Setting::RunEfficiency)->setValue(setup.bands());
    if (setup.finest)
        window.canvas().setSize(7935, 5895);
    LoadPictureOntoCanvas(picture, window.canvas(), window.holder());
    QApplication::processEvents();

    WindowRun result;
    QElapsedTimer clock;
    QElapsedTimer sinceLastTurn;
    // A zero timer beside Timer1: the time between its calls is the time the loop was busy.
    QTimer heartbeat;
    heartbeat.setInterval(0);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        result.maxGap = std::max(result.maxGap, millis(sinceLastTurn));
        sinceLastTurn.start();
        if (!window.isRunning()) {
            result.total = millis(clock);
            heartbeat.stop();
            QCoreApplication::quit();
        }
    });
    clock.start();
    sinceLastTurn.start();
    window.findChild<QPushButton*>(QStringLiteral("Command1"))->click();
    heartbeat.start();
    QApplication::exec();
    result.text = window.resultBox()->text();
    result.font = window.resultBox()->font();
    result.size = window.resultBox()->size();
    return result;
}

int benchRun(const QString& picture, const RunSetup& setup)
{
    QList<double> tight, windowTotal, gaps, setText;
    qint64 cells = 0;
    WindowRun last;
    for (int i = 0; i < 5; ++i) {
        tight.append(tightLoop(picture, setup, &cells));
        last = windowRun(picture, setup);
        windowTotal.append(last.total);
        gaps.append(last.maxGap);
        // The bare text box the finish is compared with: shown, as large as the result box,
        // in the same font, without line wrapping.
        QPlainTextEdit bare;
        bare.setLineWrapMode(QPlainTextEdit::NoWrap);
        bare.setFont(last.font);
        bare.resize(last.size);
        bare.show();
        QApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        bare.setPlainText(last.text);
        setText.append(millis(clock));
    }
    std::printf("cells=%lld\nchars=%lld\ntight_ms=%.2f\nwindow_ms=%.2f\nmax_gap_ms=%.2f\n"
                "bare_settext_ms=%.2f\ncells_per_second=%.0f\n",
                cells, qint64(last.text.size()), median(tight), median(windowTotal), median(gaps),
                median(setText), cells / (median(tight) / 1000));
    return 0;
}

int benchLoad(const QString& picture)
{
    QList<double> window, bare;
    for (int i = 0; i < 5; ++i) {
        {
            QTemporaryDir folder;
            MainWindow main(folder.path(), [] { return false; });
            QElapsedTimer clock;
            clock.start();
            LoadPictureOntoCanvas(picture, main.canvas(), main.holder());
            window.append(millis(clock));
        }
        // A bare decode at the size drawn on a Canvas of 7935 twips, plus the natural-size
        // decode that a zoom of the held picture needs.
        QElapsedTimer clock;
        clock.start();
        QImageReader natural(picture);
        const QSize size = natural.size();
        const int ratio = ReductionRatio(size.width() * 15.0, 7935);
        QImageReader scaled(picture);
        if (ratio >= 1)
            scaled.setScaledSize(
                QSize(qRound(size.width() / double(ratio)), qRound(size.height() / double(ratio))));
        const QImage drawn = scaled.read();
        const QImage full = natural.read();
        bare.append(millis(clock));
        if (drawn.isNull() || full.isNull())
            return 1;
    }
    std::printf("window_load_ms=%.2f\nbare_decode_ms=%.2f\n", median(window), median(bare));
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    RegisterFontSubstitutes();
    const QStringList args = QCoreApplication::arguments();
    if (args.size() >= 4 && args[1] == QLatin1String("run"))
        return benchRun(args[2], RunSetup{args[3] == QLatin1String("finest")});
    if (args.size() >= 3 && args[1] == QLatin1String("load"))
        return benchLoad(args[2]);
    std::fprintf(stderr, "usage: tessivo-bench run PICTURE default|finest | load PICTURE\n");
    return 2;
}
