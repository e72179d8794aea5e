// Shows each page of the main window and saves a picture of it into the folder given:
// tessivo-screenshots FOLDER PICTURE
#include "app/MainWindow.h"
#include "app/ResultBox.h"
#include "app/ResultWindow.h"
#include "canvas/Fonts.h"
#include "loading/PictureLoader.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QScrollBar>

using namespace tessivo;

namespace {

void settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

bool save(QWidget* widget, const QString& path)
{
    settle();
    const bool ok = widget->grab().save(path);
    qInfo("%s %s", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    if (argc < 3) {
        qWarning("usage: tessivo-screenshots FOLDER PICTURE");
        return 2;
    }
    RegisterFontSubstitutes();
    QApplication::setFont(QFont(QStringLiteral("宋体"), 9));
    const QDir folder(QString::fromLocal8Bit(argv[1]));

    MainWindow window(QDir::currentPath());
    window.show();
    bool ok = save(&window, folder.filePath(QStringLiteral("page-generation-help.png")));

    const auto click = [&](const char* name) {
        window.findChild<QAbstractButton*>(QLatin1String(name))->click();
    };
    click("Command5");
    ok &= LoadPictureOntoCanvas(QString::fromLocal8Bit(argv[2]), window.canvas(), window.holder());
    ok &= save(&window, folder.filePath(QStringLiteral("page-canvas.png")));
    click("Command10");
    ok &= save(&window, folder.filePath(QStringLiteral("page-drawing-tools.png")));
    click("Command6");
    ok &= save(&window, folder.filePath(QStringLiteral("page-settings.png")));
    click("Command7");
    ok &= save(&window, folder.filePath(QStringLiteral("page-about.png")));

    click("Command4");
    click("Command1");
    while (window.isRunning())
        QApplication::processEvents();
    // Zoomed out with "缩放浏览", so that the whole picture shows.
    auto* zoom = window.findChild<QScrollBar*>(QStringLiteral("HScroll7"));
    zoom->setSliderDown(true);
    zoom->setSliderPosition(2);
    zoom->setSliderDown(false);
    ok &= save(&window, folder.filePath(QStringLiteral("page-generation-result.png")));

    click("Command9");
    window.resultWindow()->resize(900, 600);
    ok &= save(window.resultWindow(), folder.filePath(QStringLiteral("result-window.png")));
    window.close();
    return ok ? 0 : 1;
}
