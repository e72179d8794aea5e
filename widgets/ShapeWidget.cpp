#include "widgets/ShapeWidget.h"

#include "canvas/ColorConvert.h"

#include <QPainter>

namespace tessivo {

ShapeWidget::ShapeWidget(QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void ShapeWidget::setFillColor(ColorValue color)
{
    m_fillColor = color;
    update();
}

void ShapeWidget::setFilled(bool filled)
{
    m_filled = filled;
    update();
}

void ShapeWidget::setBorderColor(ColorValue color)
{
    m_borderColor = color;
    update();
}

void ShapeWidget::setBorderWidth(int pixels)
{
    m_borderWidth = pixels;
    update();
}

void ShapeWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_filled)
        painter.fillRect(rect(), ToQColor(m_fillColor));
    if (m_borderWidth > 0) {
        const int w = std::min({m_borderWidth, width(), height()});
        const QColor border = ToQColor(m_borderColor);
        painter.fillRect(0, 0, width(), w, border);
        painter.fillRect(0, height() - w, width(), w, border);
        painter.fillRect(0, 0, w, height(), border);
        painter.fillRect(width() - w, 0, w, height(), border);
    }
}

} // namespace tessivo
