#pragma once

#include <QString>

namespace tessivo {

// The help text the generation page's result box shows at start-up: a sample picture in
// character art, what the program does, how to use it, and the format of the table file with a
// template. Lines end in CR LF, the last one too.
QString HelpText();

} // namespace tessivo
