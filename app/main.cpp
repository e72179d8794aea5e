#include "app/MainWindow.h"
#include "canvas/Fonts.h"

#include <QApplication>
#include <QDir>
#include <QScreen>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    tessivo::RegisterFontSubstitutes();
    QApplication::setFont(QFont(QStringLiteral("宋体"), 9));

    tessivo::MainWindow window(QDir::currentPath());
    // Centred on the screen.
    if (const QScreen* screen = window.screen()) {
        const QRect frame = window.frameGeometry();
        window.move(screen->availableGeometry().center() - frame.center() + window.pos());
    }
    window.show();
    window.findChild<QWidget*>(QStringLiteral("focus"))->setFocus();
    return app.exec();
}
