#include "widgets/UserSettings.h"

#include <QStandardPaths>

namespace tessivo {

QSettings UserSettings()
{
    return QSettings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/tessivo/tessivo.conf"),
                     QSettings::IniFormat);
}

void KeepUserSetting(const QString& key, const QVariant& value)
{
    QSettings settings = UserSettings();
    // Read back from the file as text, whatever was written.
    if (!settings.contains(key) || settings.value(key).toString() != value.toString())
        settings.setValue(key, value);
}

} // namespace tessivo
