// A bare Qt Widgets window that shows one line of text in the program's font: beside
// startup-bare, it tells how much of Tessivo's start-up is the font system's, which any window
// that shows Chinese text pays and the empty bare window does not.
#include "ProbeSupport.h"
#include "canvas/Fonts.h"

#include <QApplication>
#include <QLabel>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    tessivo::RegisterFontSubstitutes();
    QApplication::setFont(QFont(QStringLiteral("宋体"), 9));
    QLabel window(QStringLiteral("生成"));
    window.resize(617, 468);
    window.show();
    reportWhenShownAndQuit(window);
    return app.exec();
}
