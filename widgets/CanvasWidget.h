#pragma once

#include "engine/Color.h"
#include "engine/Twips.h"

#include <QLineF>
#include <QRectF>
#include <QWidget>

namespace tessivo {

class CanvasModel;

// The Canvas on screen (Picture1): paints the model's image at its size and, above it, three
// feedback marks that are never part of the image: the text-position marker (youbiao), the drag
// outline of the drawing tools (xiankuang) and the line preview (Line1). Mouse presses, moves
// and releases are passed on in Canvas twips with the button set (1 left, 2 right, 4 middle);
// during a drag they keep coming when the pointer leaves the Canvas.
class CanvasWidget : public QWidget {
    Q_OBJECT

public:
    enum class OutlineShape { Rectangle, Square, Oval, RoundedRectangle };

    explicit CanvasWidget(CanvasModel& model, QWidget* parent = nullptr);

    CanvasModel& model() const { return m_model; }

    // youbiao: a bar one pixel wide and 135 twips high.
    static constexpr Twips MarkerWidth = TwipsPerPixel;
    static constexpr Twips MarkerHeight = 135;

    // The marker's top-left corner in twips.
    QPointF markerPosition() const { return m_marker; }
    void setMarkerPosition(QPointF twips);
    bool markerVisible() const { return m_markerVisible; }
    void setMarkerVisible(bool visible);

    // xiankuang: its box in twips and its shape.
    QRectF outline() const { return m_outline; }
    void setOutline(const QRectF& twips);
    OutlineShape outlineShape() const { return m_outlineShape; }
    void setOutlineShape(OutlineShape shape);
    // The corner ellipse of the rounded-rectangle outline, pixels: the corners the shape will
    // be drawn with.
    QSizeF outlineCorner() const { return m_outlineCorner; }
    void setOutlineCorner(const QSizeF& pixels);
    bool outlineVisible() const { return m_outlineVisible; }
    void setOutlineVisible(bool visible);

    // Line1: its end points in twips and its width in pixels.
    QLineF linePreview() const { return m_line; }
    void setLinePreview(const QLineF& twips);
    int linePreviewWidth() const { return m_lineWidth; }
    void setLinePreviewWidth(int pixels);
    bool linePreviewVisible() const { return m_lineVisible; }
    void setLinePreviewVisible(bool visible);

signals:
    void pressed(int buttons, double x, double y);
    void moved(int buttons, double x, double y);
    void released(int buttons, double x, double y);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void followModelSize();

    CanvasModel& m_model;
    QPointF m_marker;
    bool m_markerVisible = false;
    QRectF m_outline;
    OutlineShape m_outlineShape = OutlineShape::Rectangle;
    QSizeF m_outlineCorner;
    bool m_outlineVisible = false;
    QLineF m_line;
    int m_lineWidth = 1;
    bool m_lineVisible = false;
};

} // namespace tessivo
