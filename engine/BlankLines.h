#pragma once

#include "engine/Color.h"

#include <QList>
#include <QString>

namespace tessivo {

// Drops the blank lines (spaces only, or empty) before the first non-blank line and empties
// every later blank line, keeping its place. Lines are separated by CR LF.
QString ClearBlankLines(const QString& text);

// The same for a text with one colour per character: the colours of the characters dropped are
// dropped with them.
QString ClearBlankLines(const QString& text, const QList<ColorValue>& colours,
                        QList<ColorValue>& keptColours);

} // namespace tessivo
