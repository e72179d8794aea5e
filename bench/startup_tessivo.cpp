// Tessivo's main window started as the program starts it, quitting once it is shown.
#include "ProbeSupport.h"
#include "app/MainWindow.h"
#include "app/Startup.h"

#include <QApplication>
#include <QDir>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    tessivo::SetUpApplication();
    tessivo::MainWindow window(QDir::currentPath());
    window.show();
    reportWhenShownAndQuit(window);
    return app.exec();
}
