#pragma once

#include "engine/Color.h"

#include <QWidget>

#include <array>

class QLineEdit;
class QRadioButton;

namespace tessivo {

class CanvasModel;
class ScrollBar;
class ShapeWidget;
class WindowContext;

// The colour group "颜色": which drawing colour is edited ("线条/字体颜色" Option8 for LineColor,
// "填充颜色" Option9 for ShapeFillColor), its red, green and blue parts as sliders (RH, GH, BH)
// and as text (R, G, B), and the swatch Shape3 showing both colours.
//
// Only a thumb drag composes a colour, from all three sliders. Any settled slider hands both
// colours to the Canvas. Typed text moves the sliders without changing a colour, and choosing
// a target shows its parts in the text boxes; a part of 0 cannot be shown by a slider (1..255),
// so that slider stays where it was.
class ColorPicker : public QWidget {
    Q_OBJECT

public:
    enum Channel { Red, Green, Blue };

    ColorPicker(WindowContext& window, CanvasModel& canvas, QWidget* parent = nullptr);

    ColorValue lineColor() const { return m_LineColor; }
    ColorValue shapeFillColor() const { return m_ShapeFillColor; }

    QRadioButton* lineTarget() const { return m_lineTarget; }
    QRadioButton* fillTarget() const { return m_fillTarget; }
    ScrollBar* bar(Channel channel) const { return m_bars[channel]; }
    QLineEdit* box(Channel channel) const { return m_boxes[channel]; }
    ShapeWidget* swatch() const { return m_swatch; }

signals:
    // LineColor or ShapeFillColor changed.
    void colorsChanged();

private:
    void barDragged();
    void barSettled();
    void textChanged();
    void targetChosen(ColorValue color);
    // Moves a slider to the text's number when the text holds one the slider accepts.
    void takeText(Channel channel);
    void refreshSwatch();

    WindowContext& m_window;
    CanvasModel& m_canvas;
    ColorValue m_LineColor = 0;
    ColorValue m_ShapeFillColor = 0;

    QRadioButton* m_lineTarget;
    QRadioButton* m_fillTarget;
    std::array<ScrollBar*, 3> m_bars{};
    std::array<QLineEdit*, 3> m_boxes{};
    ShapeWidget* m_swatch;
};

} // namespace tessivo
