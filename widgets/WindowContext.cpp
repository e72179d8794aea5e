#include "widgets/WindowContext.h"

#include "engine/Version.h"

namespace tessivo {

QString WindowContext::MainWindowTitle()
{
    return QStringLiteral("Tessivo " TESSIVO_VERSION " - Quillan ");
}

} // namespace tessivo
