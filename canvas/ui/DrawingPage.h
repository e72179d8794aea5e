#pragma once

#include <QGroupBox>

class QRadioButton;

namespace tessivo {

class CanvasHistory;
class CanvasModel;
class ColorPicker;
class ScrollBar;
class WindowContext;

// The drawing-tools page "画笔工具" (Frame5) with its groups "字体" (font: "字体大小" HScroll15),
// "形状" (shape: "线条粗度" HScroll14 and "圆矩弧度" HScroll13), "颜色" (the colour picker) and
// "总体属性" (general properties: fill with copy, Option7, or exclusive or, Option6).
// A change of the font size is a step of the Canvas's history; its undo puts the bar back.
class DrawingPage : public QGroupBox {
    Q_OBJECT

public:
    DrawingPage(WindowContext& window, CanvasModel& canvas, CanvasHistory& history,
                QWidget* parent = nullptr);

    QGroupBox* fontGroup() const { return m_font; }
    QGroupBox* shapeGroup() const { return m_shape; }
    QGroupBox* colorGroup() const { return m_color; }
    QGroupBox* generalGroup() const { return m_general; }

    ScrollBar* fontSizeBar() const { return m_fontSize; }
    ScrollBar* lineWidthBar() const { return m_lineWidth; }
    ScrollBar* roundingBar() const { return m_rounding; }
    ColorPicker* colorPicker() const { return m_picker; }

signals:
    // "字体大小" settled on a new size, points.
    void fontSizeChanged(int points);

private:
    CanvasModel& m_canvas;
    QGroupBox* m_font;
    QGroupBox* m_shape;
    QGroupBox* m_color;
    QGroupBox* m_general;
    ScrollBar* m_fontSize;
    ScrollBar* m_lineWidth;
    ScrollBar* m_rounding;
    QRadioButton* m_copyMode;
    QRadioButton* m_xorMode;
    ColorPicker* m_picker;
    // The font size last settled on, as the steps of history keep it.
    int m_appliedFontSize = 0;
};

} // namespace tessivo
