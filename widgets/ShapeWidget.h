#pragma once

#include "engine/Color.h"

#include <QWidget>

namespace tessivo {

// A plain rectangle with a border and an optional fill, as the progress track and bar and the
// colour swatches show.
class ShapeWidget : public QWidget {
    Q_OBJECT

public:
    explicit ShapeWidget(QWidget* parent = nullptr);

    ColorValue fillColor() const { return m_fillColor; }
    void setFillColor(ColorValue color);
    bool filled() const { return m_filled; }
    void setFilled(bool filled);
    ColorValue borderColor() const { return m_borderColor; }
    void setBorderColor(ColorValue color);
    int borderWidth() const { return m_borderWidth; }
    void setBorderWidth(int pixels);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ColorValue m_fillColor = 0xFFFFFF;
    ColorValue m_borderColor = 0;
    int m_borderWidth = 1;
    bool m_filled = false;
};

} // namespace tessivo
