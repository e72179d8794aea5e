#include "app/MainWindow.h"
#include "app/Startup.h"

#include <QApplication>
#include <QScreen>

#include <cstdio>

int main(int argc, char* argv[])
{
    // --help and --version answer before anything needs a display.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const tessivo::WindowCommandLine command = tessivo::ParseWindowCommandLine(arguments);
    switch (command.action) {
    case tessivo::WindowCommandLine::Action::Run: break;
    case tessivo::WindowCommandLine::Action::PrintAndExit:
        std::fputs(command.text.toLocal8Bit().constData(), stdout);
        return 0;
    case tessivo::WindowCommandLine::Action::Fail:
        std::fputs(command.text.toLocal8Bit().constData(), stderr);
        return 2;
    }

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
    // A picture named on the command line (the desktop's "open with") is opened as "打开" in the
    // picture chooser would, once the window is up.
    if (!command.picture.isEmpty())
        window.openPicture(command.picture);
    return app.exec();
}
