#include "widgets/WindowContext.h"

namespace tessivo {

QString WindowContext::MainWindowTitle()
{
    return QStringLiteral("Tessivo 1.2 - Quillan ");
}

} // namespace tessivo
