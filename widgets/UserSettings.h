#pragma once

#include <QSettings>

namespace tessivo {

// What the program keeps between its runs (folders last used, say), in the user's configuration
// folder: $XDG_CONFIG_HOME/tessivo/tessivo.conf, normally ~/.config/tessivo/tessivo.conf.
QSettings UserSettings();

} // namespace tessivo
