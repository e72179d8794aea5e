#include "app/AboutPage.h"

#include "widgets/TwipsLayout.h"

#include <QTextBrowser>

// Q_INIT_RESOURCE must be used outside any namespace. The page is in a static library, whose
// resource initialiser the linker would otherwise leave out.
static void InitAboutResource()
{
    Q_INIT_RESOURCE(about);
}

namespace tessivo {

AboutPage::AboutPage(QWidget* parent)
    : QGroupBox(QStringLiteral("关于"), parent)
    , m_browser(new QTextBrowser(this))
{
    InitAboutResource();
    setObjectName(QStringLiteral("Frame4"));
    m_browser->setObjectName(QStringLiteral("eb"));
    PlaceInTwips(m_browser, 120, 240, 7935, 6285);
    // No source yet: the browser stays blank until the page is first opened.
}

QUrl AboutPage::Address()
{
    return QUrl(QStringLiteral("qrc:/about/index.html"));
}

void AboutPage::navigate()
{
    // setSource with the address already shown would only scroll; reload reads the page again.
    if (m_browser->source() == Address())
        m_browser->reload();
    else
        m_browser->setSource(Address());
    ++m_navigations;
}

} // namespace tessivo
