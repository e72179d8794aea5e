// A bare Qt Widgets window: the baseline for Tessivo's start-up time and memory.
#include "ProbeSupport.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(617, 468);
    window.show();
    reportWhenShownAndQuit(window);
    return app.exec();
}
