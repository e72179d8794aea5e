#include "app/ResultWindow.h"

#include "app/ResultBox.h"
#include "widgets/TwipsLayout.h"

#include <QResizeEvent>

#include <algorithm>

namespace tessivo {

ResultWindow::ResultWindow(QWidget* parent)
    : QWidget(parent)
    , m_text(new ResultBox(this))
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Tessivo"));
    m_text->setObjectName(QStringLiteral("Text1"));
    m_text->move(0, 0);
    resize(TwipsToPixels(9600), TwipsToPixels(7200));
}

void ResultWindow::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    // The box follows the outer size, borders and title bar included: it reaches a little past
    // the right edge, and 400 twips are left at the bottom for the title bar and borders. A very
    // low window (minimised, say) gives no room at all rather than a negative height.
    const QRect outer = frameGeometry();
    const int height = std::max(0, outer.height() - TwipsToPixels(400));
    m_text->setGeometry(0, 0, outer.width(), height);
}

} // namespace tessivo
