// Memory of undo over a large held picture: the window opens PICTURE and holds it at its natural
// size (a PNG or BMP when it opens, a JPEG once 缩放比例 is dragged to the natural size), then
// STEPS rectangles (64) are drawn on the Canvas, each a step of history as the rectangle tool
// makes it. Prints key=value lines: what was resident before the picture and before the
// rectangles, the peak of the whole, the steps kept and the bytes the history counts.
//   undo-memory PICTURE [STEPS]
#include "app/MainWindow.h"
#include "canvas/CanvasModel.h"
#include "canvas/Fonts.h"
#include "history/CanvasHistory.h"
#include "loading/PictureLoader.h"
#include "settings/SettingsTable.h"
#include "settings/ui/SettingsPage.h"

#include "MemoryProbe.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

#include <malloc.h>

using namespace tessivo;

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    RegisterFontSubstitutes();
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: undo-memory PICTURE [STEPS]\n");
        return 2;
    }
    const int steps = args.size() >= 3 ? args[2].toInt() : CanvasHistory::DefaultMaxSteps;

    QTemporaryDir folder;
    MainWindow window(folder.path(), [] { return false; });
    window.show();
    QApplication::processEvents();
    malloc_trim(0);
    // The peak is counted from here.
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
    clear.close();
    const qint64 start = MemoryProbe::residentKb();

    if (!window.openPicture(args[1]))
        return 1;
    SettingsPage* settings = window.settingsPage();
    emit settings->dragStarted(Setting::ZoomRatio);
    emit settings->dragged(Setting::ZoomRatio, SettingInfo(Setting::ZoomRatio).maximum / 2);
    if (window.holder().picture().isNull())
        return 1;
    QApplication::processEvents();
    const qint64 held = MemoryProbe::residentKb();

    CanvasModel& canvas = window.canvas();
    for (int i = 0; i < steps; ++i) {
        const int x = 10 + i % 8 * 60;
        const int y = 10 + i / 8 % 8 * 40;
        window.history().record();
        canvas.roundRectPixels(x, y, x + 40 + i / 64, y + 25, 1, 1);
        QApplication::processEvents();
    }
    std::printf("start_kib=%lld\nheld_kib=%lld\nend_kib=%lld\npeak_kib=%lld\n", start, held,
                MemoryProbe::residentKb(), MemoryProbe::statusKb("VmHWM"));
    std::printf("steps_kept=%d\nhistory_kib=%lld\nheld_picture_kib=%lld\ncanvas_kib=%lld\n",
                window.history().undoCount(), window.history().bytes() / 1024,
                window.holder().bytes() / 1024, canvas.image().sizeInBytes() / 1024);
    return 0;
}
