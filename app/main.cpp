#include "app/MainWindow.h"
#include "app/Startup.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    tessivo::SetUpApplication();

    tessivo::MainWindow window(tessivo::TableFileFolders());
    // Centred on the screen.
    if (const QScreen* screen = window.screen()) {
        const QRect frame = window.frameGeometry();
        window.move(screen->availableGeometry().center() - frame.center() + window.pos());
    }
    window.show();
    window.findChild<QWidget*>(QStringLiteral("focus"))->setFocus();
    return app.exec();
}
