#pragma once

#include "canvas/ui/ToolColumn.h"

#include <QObject>

class QAbstractSlider;

namespace tessivo {

class CanvasHistory;
class CanvasModel;
class CanvasWidget;

// What a press, a drag and a release on the Canvas do with the tool chosen in the tool column.
// Committed shapes are the Canvas model's own operations; the outline (xiankuang), the line
// preview (Line1) and the text-position marker (youbiao) are the Canvas widget's overlays.
// The tool is read from the column at every event; nothing about it is kept from the press.
class DrawingTools : public QObject {
    Q_OBJECT

public:
    // rounding is "圆矩弧度": the rounded rectangle's corners are its box divided by its value.
    // Every shape, stroke and size drag is one step of history; an undo or redo hides the
    // previews.
    DrawingTools(CanvasModel& canvas, CanvasHistory& history, CanvasWidget& view,
                 const ToolColumn& tools, const QAbstractSlider& rounding,
                 QObject* parent = nullptr);

    // Positions in Canvas twips; buttons is the button set (1 left, 2 right, 4 middle).
    void press(int buttons, double x, double y);
    void drag(int buttons, double x, double y);
    void release(int buttons, double x, double y);
    // The effect of choosing a tool in the column: outline shape and marker visibility.
    void toolChosen(Tool tool);

private:
    double roundingDivisor() const;

    CanvasModel& m_canvas;
    CanvasHistory& m_history;
    CanvasWidget& m_view;
    const ToolColumn& m_tools;
    const QAbstractSlider& m_rounding;

    // The anchor of a drag: the press point in pixels for the shapes, the end of the last
    // segment in twips for the pen.
    int m_StartX = 0;
    int m_StartY = 0;
    // The press point in twips, where the outline and the straight line start. The two are
    // kept as the drawing tools always kept them: x at single precision, fractions and all, y
    // rounded to a whole twip; a line drawn from them starts exactly there.
    float m_LineStartX = 0;
    int m_LineStartY = 0;
    // Whether a press point has been recorded since the last left-button release. The point
    // itself may be 0 (the leftmost column or the top row), so it cannot tell.
    bool m_pressed = false;
    // An undo or redo came while the shape was being drawn: its release draws nothing.
    bool m_shapeDropped = false;
};

} // namespace tessivo
