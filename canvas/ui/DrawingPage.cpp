#include "canvas/ui/DrawingPage.h"

#include "settings/ui/Twips.h"

namespace tessivo {

namespace {

QGroupBox* group(QWidget* parent, const QString& title, int left, int top, int width, int height)
{
    auto* box = new QGroupBox(title, parent);
    PlaceInTwips(box, left, top, width, height);
    return box;
}

} // namespace

DrawingPage::DrawingPage(QWidget* parent)
    : QGroupBox(QStringLiteral("画笔工具"), parent)
{
    setObjectName(QStringLiteral("Frame5"));
    m_font = group(this, QStringLiteral("字体"), 120, 240, 3855, 1335);
    m_shape = group(this, QStringLiteral("形状"), 120, 1680, 3855, 1935);
    m_color = group(this, QStringLiteral("颜色"), 4110, 240, 3855, 3375);
    m_general = group(this, QStringLiteral("总体属性"), 120, 3720, 7845, 1215);
}

} // namespace tessivo
