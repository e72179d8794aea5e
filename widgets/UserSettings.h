#pragma once

#include <QSettings>

namespace tessivo {

// What the program keeps between its runs (folders last used, say), in the user's configuration
// folder: $XDG_CONFIG_HOME/tessivo/tessivo.conf, normally ~/.config/tessivo/tessivo.conf.
QSettings UserSettings();

// Keeps a value in the user's settings. The file is written (and waited for on the disk) only
// when the value changes: the chooser remembers the folder it shows each time it shows one.
void KeepUserSetting(const QString& key, const QVariant& value);

} // namespace tessivo
