#include "widgets/UserSettings.h"

#include <QStandardPaths>

namespace tessivo {

QSettings UserSettings()
{
    return QSettings(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/tessivo/tessivo.conf"),
                     QSettings::IniFormat);
}

} // namespace tessivo
