#pragma once

#include <QFont>
#include <QString>

namespace tessivo {

// The Song-style fonts the program asks for do not exist on Linux, and Qt would silently fall
// back to a proportional font. Registers fixed-pitch Song-style substitutes; call once after
// the QGuiApplication exists.
void RegisterFontSubstitutes();

// The Canvas font as values, so that a Canvas can exist without a QGuiApplication; a QFont is
// made only when text is drawn.
struct CanvasFont {
    QString family = QStringLiteral("宋体");
    double pointSize = 20.25;
    int weight = 400; // normal
    QFont toQFont() const;
    friend bool operator==(const CanvasFont&, const CanvasFont&) = default;
};

} // namespace tessivo
