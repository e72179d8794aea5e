#include "widgets/CanvasWidget.h"

#include "canvas/CanvasModel.h"
#include "canvas/ColorConvert.h"

#include <QMouseEvent>
#include <QPainter>

namespace tessivo {

namespace {

QPointF toPixels(QPointF twips)
{
    return {TwipsToPixelsExact(twips.x()), TwipsToPixelsExact(twips.y())};
}

QRectF toPixels(const QRectF& twips)
{
    return {toPixels(twips.topLeft()),
            QSizeF(TwipsToPixelsExact(twips.width()), TwipsToPixelsExact(twips.height()))};
}

QPointF toTwips(QPointF pixels)
{
    return {PixelsToTwips(pixels.x()), PixelsToTwips(pixels.y())};
}

// The button set of a mouse event: 1 left, 2 right, 4 middle.
int buttonSet(Qt::MouseButtons buttons)
{
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

} // namespace

CanvasWidget::CanvasWidget(CanvasModel& model, QWidget* parent)
    : QWidget(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("Picture1"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_StaticContents);
    connect(&m_model, &CanvasModel::changed, this, [this](const QRect& pixels) { update(pixels); });
    connect(&m_model, &CanvasModel::resized, this, &CanvasWidget::followModelSize);
    followModelSize();
}

void CanvasWidget::followModelSize()
{
    // The model's size in twips is always a whole number of pixels.
    resize(m_model.widthTwips() / TwipsPerPixel, m_model.heightTwips() / TwipsPerPixel);
    update();
}

void CanvasWidget::setMarkerPosition(QPointF twips)
{
    m_marker = twips;
    update();
}

void CanvasWidget::setMarkerVisible(bool visible)
{
    m_markerVisible = visible;
    update();
}

void CanvasWidget::setOutline(const QRectF& twips)
{
    m_outline = twips;
    update();
}

void CanvasWidget::setOutlineShape(OutlineShape shape)
{
    m_outlineShape = shape;
    update();
}

void CanvasWidget::setOutlineVisible(bool visible)
{
    m_outlineVisible = visible;
    update();
}

void CanvasWidget::setLinePreview(const QLineF& twips)
{
    m_line = twips;
    update();
}

void CanvasWidget::setLinePreviewWidth(int pixels)
{
    m_lineWidth = pixels;
    update();
}

void CanvasWidget::setLinePreviewVisible(bool visible)
{
    m_lineVisible = visible;
    update();
}

void CanvasWidget::setOutlineCorner(const QSizeF& pixels)
{
    m_outlineCorner = pixels;
    update();
}

void CanvasWidget::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    painter.drawImage(event->rect().topLeft(), m_model.image(), event->rect());

    if (m_lineVisible) {
        painter.setPen(QPen(Qt::black, std::max(m_lineWidth, 1), Qt::SolidLine, Qt::RoundCap));
        painter.drawLine(QLineF(toPixels(m_line.p1()), toPixels(m_line.p2())));
    }
    if (m_outlineVisible) {
        QPen pen(ToQColor(0x008000), 1, Qt::DashDotDotLine);
        painter.setPen(pen);
        painter.setBrush(Qt::NoBrush);
        QRectF box = toPixels(m_outline);
        switch (m_outlineShape) {
        case OutlineShape::Rectangle: painter.drawRect(box); break;
        case OutlineShape::Square: {
            const double side = std::min(box.width(), box.height());
            box = QRectF(box.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
            painter.drawRect(box);
            break;
        }
        case OutlineShape::Oval: painter.drawEllipse(box); break;
        case OutlineShape::RoundedRectangle:
            painter.drawRoundedRect(box, m_outlineCorner.width() / 2, m_outlineCorner.height() / 2,
                                    Qt::AbsoluteSize);
            break;
        }
    }
    if (m_markerVisible) {
        const QRectF bar = toPixels(QRectF(m_marker, QSizeF(MarkerWidth, MarkerHeight)));
        painter.fillRect(bar, ToQColor(0xE0E0E0));
        painter.setPen(ToQColor(0x0000C0));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(bar.adjusted(0, 0, -1, -1));
    }
}

void CanvasWidget::mousePressEvent(QMouseEvent* event)
{
    const QPointF twips = toTwips(event->position());
    emit pressed(buttonSet(event->buttons() | event->button()), twips.x(), twips.y());
}

void CanvasWidget::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF twips = toTwips(event->position());
    emit moved(buttonSet(event->buttons()), twips.x(), twips.y());
}

void CanvasWidget::mouseReleaseEvent(QMouseEvent* event)
{
    // The button set of a release is the button let go.
    const QPointF twips = toTwips(event->position());
    emit released(buttonSet(event->button()), twips.x(), twips.y());
}

} // namespace tessivo
