#pragma once

#include <QString>

namespace tessivo {

// Drops the blank lines (spaces only, or empty) before the first non-blank line and empties
// every later blank line, keeping its place. Lines are separated by CR LF.
QString ClearBlankLines(const QString& text);

} // namespace tessivo
