// Measures Tessivo's run and loading against their baselines; prints key=value lines.
//   tessivo-bench run PICTURE default|finest   the window's run against the run class alone
//   tessivo-bench loop PICTURE [RUNS [colours]]
//                                              the default run, RUNS times (3) on one Canvas, for
//                                              callgrind: only the runs are collected; with
//                                              colours, the runs record them
//   tessivo-bench load PICTURE                 opening a picture in the window against a decode
//   tessivo-bench memory PICTURE               peak memory of opening a picture in the window and
//                                              of zooming it to its natural size
//   tessivo-bench ink PICTURE COLSxLINES [RUNS]
//                                              the ink mode's drawing of a decoded picture alone,
//                                              the median of RUNS (50) in milliseconds
#include "app/MainWindow.h"
#include "app/ResultBox.h"
#include "art/InkArt.h"
#include "canvas/CanvasModel.h"
#include "canvas/Fonts.h"
#include "engine/GenerationRun.h"
#include "loading/PictureLoader.h"
#include "settings/SettingValues.h"
#include "settings/SettingsTable.h"
#include "settings/ui/SettingsPage.h"
#include "widgets/ScrollBar.h"

#include "MemoryProbe.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImageReader>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <malloc.h>
#include <sys/resource.h>

#if __has_include(<valgrind/callgrind.h>)
#include <valgrind/callgrind.h>
#else
#define CALLGRIND_TOGGLE_COLLECT
#endif

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

// Minor page faults so far: on a virtual machine a first touch of fresh memory can cost more
// than the work done on it.
long pageFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Every measured path starts from the same memory state: the free memory of earlier paths goes
// back to the system, as it does at the program's start-up. Otherwise a path would be timed
// with or without the memory an earlier one left behind, depending on the order of the runs.
void giveBackFreeMemory()
{
    malloc_trim(0);
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
        canvas.setSizeTwips(7935, 5895);
    PictureHolder holder;
    LoadPictureOntoCanvas(picture, canvas, holder);
    SettingValues values;
    values.setValue(Setting::SampleX, setup.sampleX());
    values.setValue(Setting::SampleY, setup.sampleY());
    values.setValue(Setting::PictureFit, setup.pictureFit());
    GenerationRun run;
    run.setBandCount(setup.bands());

    giveBackFreeMemory();
    QElapsedTimer clock;
    clock.start();
    run.start(canvas, values);
    qint64 ticks = 0;
    while (run.tick(canvas, values) != GenerationRun::TickOutcome::Finished)
        ++ticks;
    *cells = ticks * setup.bands();
    return millis(clock);
}

// The default run, start to finish, RUNS times on one Canvas, recording colours when asked. Under
// `valgrind --tool=callgrind --collect-atstart=no` only the runs are counted, so the instructions
// divided by the cells printed are the run class's cost per cell.
int benchLoop(const QString& picture, int runs, bool colours)
{
    CanvasModel canvas;
    PictureHolder holder;
    if (!LoadPictureOntoCanvas(picture, canvas, holder))
        return 1;
    SettingValues values;
    GenerationRun run;
    run.setBandCount(values.value(Setting::RunEfficiency));
    run.setRecordColours(colours);
    qint64 cells = 0;
    CALLGRIND_TOGGLE_COLLECT;
    for (int i = 0; i < runs; ++i) {
        run.start(canvas, values);
        qint64 ticks = 0;
        while (run.tick(canvas, values) != GenerationRun::TickOutcome::Finished)
            ++ticks;
        cells += ticks * run.bandCount();
    }
    CALLGRIND_TOGGLE_COLLECT;
    std::printf("cells=%lld\nchars=%lld\n", cells, qint64(run.resultText().size()));
    return 0;
}

// Time spent in the event loop from an action until done() holds, measured by a zero timer
// beside the program's own: the time between two of its calls is the time the loop was busy.
struct LoopTimes {
    double total = 0;  // from the action to the first free turn of the loop once done
    double maxGap = 0; // the longest time between two turns of the loop
    long pageFaults = 0;
};

LoopTimes timeEventLoop(const std::function<void()>& action, const std::function<bool()>& done)
{
    LoopTimes result;
    QElapsedTimer clock;
    QElapsedTimer sinceLastTurn;
    QTimer heartbeat;
    heartbeat.setInterval(0);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        result.maxGap = std::max(result.maxGap, millis(sinceLastTurn));
        sinceLastTurn.start();
        if (done()) {
            result.total = millis(clock);
            heartbeat.stop();
            QCoreApplication::quit();
        }
    });
    giveBackFreeMemory();
    const long faults = pageFaults();
    clock.start();
    sinceLastTurn.start();
    action();
    heartbeat.start();
    QApplication::exec();
    result.pageFaults = pageFaults() - faults;
    return result;
}

struct WindowRun {
    LoopTimes times; // from the click on "生成" to the text in the box
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
        window.canvas().setSizeTwips(7935, 5895);
    LoadPictureOntoCanvas(picture, window.canvas(), window.holder());
    QApplication::processEvents();

    WindowRun result;
    auto* generate = window.findChild<QPushButton*>(QStringLiteral("Command1"));
    result.times =
        timeEventLoop([generate] { generate->click(); }, [&window] { return !window.isRunning(); });
    result.text = window.resultBox()->text();
    result.font = window.resultBox()->font();
    result.size = window.resultBox()->size();
    return result;
}

// The bare text box the finish is compared with: shown, as large as the result box, in the same
// font, without line wrapping. Measured as the finish is, as the time the event loop is kept
// busy, the box's repaint included.
LoopTimes bareSetText(const WindowRun& like)
{
    QPlainTextEdit bare;
    bare.setLineWrapMode(QPlainTextEdit::NoWrap);
    bare.setFont(like.font);
    bare.resize(like.size);
    bare.show();
    QApplication::processEvents();
    return timeEventLoop([&] { bare.setPlainText(like.text); }, [] { return true; });
}

int benchRun(const QString& picture, const RunSetup& setup)
{
    QList<double> tight, windowTotal, gaps, setText, windowFaults, bareFaults;
    qint64 cells = 0;
    WindowRun last;
    for (int i = 0; i < 5; ++i) {
        tight.append(tightLoop(picture, setup, &cells));
        last = windowRun(picture, setup);
        windowTotal.append(last.times.total);
        gaps.append(last.times.maxGap);
        windowFaults.append(double(last.times.pageFaults));
        const LoopTimes bare = bareSetText(last);
        setText.append(bare.maxGap);
        bareFaults.append(double(bare.pageFaults));
    }
    std::printf("cells=%lld\nchars=%lld\ntight_ms=%.2f\nwindow_ms=%.2f\nmax_gap_ms=%.2f\n"
                "bare_settext_ms=%.2f\ncells_per_second=%.0f\nwindow_page_faults=%.0f\n"
                "bare_settext_page_faults=%.0f\n",
                cells, qint64(last.text.size()), median(tight), median(windowTotal), median(gaps),
                median(setText), cells / (median(tight) / 1000), median(windowFaults),
                median(bareFaults));
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

// Gives free memory back and starts the high-water mark again from what is resident now.
qint64 restartPeak()
{
    giveBackFreeMemory();
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    return MemoryProbe::statusKb("VmRSS");
}

// The window opens the picture, then 缩放比例 is dragged to the middle, where the held picture is
// drawn at its natural size, then one step further. Each step's peak is printed with what was
// resident before it.
int benchMemory(const QString& picture)
{
    QTemporaryDir folder;
    MainWindow window(folder.path(), [] { return false; });
    window.show();
    QApplication::processEvents();

    const auto step = [](const char* name, const std::function<void()>& action) {
        const qint64 before = restartPeak();
        action();
        std::printf("%s_before_kib=%lld\n%s_peak_kib=%lld\n", name, before, name,
                    MemoryProbe::statusKb("VmHWM"));
    };
    bool loaded = false;
    step("load",
         [&] { loaded = LoadPictureOntoCanvas(picture, window.canvas(), window.holder()); });
    SettingsPage* settings = window.settingsPage();
    const int natural = SettingInfo(Setting::ZoomRatio).maximum / 2;
    emit settings->dragStarted(Setting::ZoomRatio);
    step("zoom", [&] { emit settings->dragged(Setting::ZoomRatio, natural); });
    step("zoom_again", [&] { emit settings->dragged(Setting::ZoomRatio, natural + 1); });
    emit settings->settled(Setting::ZoomRatio, natural + 1);
    std::printf("held_picture_kib=%lld\n", window.holder().bytes() / 1024);
    return loaded && !window.holder().picture().isNull() ? 0 : 1;
}

// The ink mode's own work on a picture already decoded: tiling it and choosing each cell's row.
int benchInk(const QString& picture, const QString& grid, int runs)
{
    const QImage image = QImage(picture).convertToFormat(QImage::Format_RGB32);
    const QStringList size = grid.split(QLatin1Char('x'));
    if (image.isNull() || size.size() != 2)
        return 1;
    SettingValues values;
    const InkPalette palette(values.tables().loaded(), QStringLiteral("新宋体"), 9);
    InkOptions options;
    options.columns = size[0].toInt();
    options.lines = size[1].toInt();
    QList<double> times;
    qsizetype length = 0;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer clock;
        clock.start();
        length += DrawInkArt(image, palette, options).text.size();
        times << millis(clock);
    }
    std::printf("ink_ms=%.3f\nchars=%lld\n", median(times), qint64(length / std::max(1, runs)));
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
    if (args.size() >= 3 && args[1] == QLatin1String("loop"))
        return benchLoop(args[2], args.size() >= 4 ? args[3].toInt() : 3,
                         args.size() >= 5 && args[4] == QLatin1String("colours"));
    if (args.size() >= 3 && args[1] == QLatin1String("load"))
        return benchLoad(args[2]);
    if (args.size() >= 3 && args[1] == QLatin1String("memory"))
        return benchMemory(args[2]);
    if (args.size() >= 4 && args[1] == QLatin1String("ink"))
        return benchInk(args[2], args[3], args.size() >= 5 ? args[4].toInt() : 50);
    std::fprintf(stderr, "usage: tessivo-bench run PICTURE default|finest | loop PICTURE [RUNS "
                         "[colours]] | load PICTURE | "
                         "memory PICTURE | ink PICTURE COLSxLINES [RUNS]\n");
    return 2;
}
