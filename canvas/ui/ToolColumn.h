#pragma once

#include <QFrame>

class QAbstractButton;
class QButtonGroup;

namespace tessivo {

class ShapeWidget;

// The drawing tools, top to bottom in the tool column.
enum class Tool {
    Mouse,
    Pen,
    Ellipse,
    Rectangle,
    RoundedRectangle,
    Line,
    TextPosition,
    CanvasSize
};

// The tool column (Frame7) shown beside the canvas page: eight mutually exclusive tool buttons
// ("鼠标" selected at start) and the colour swatch showx.
class ToolColumn : public QFrame {
    Q_OBJECT

public:
    explicit ToolColumn(QWidget* parent = nullptr);

    Tool selectedTool() const;
    QAbstractButton* button(Tool tool) const;
    // Selects a tool as a click on its button would.
    void selectTool(Tool tool);
    ShapeWidget* swatch() const { return m_swatch; }

signals:
    // A tool was chosen (also when it was chosen already).
    void toolSelected(tessivo::Tool tool);

private:
    QButtonGroup* m_group;
    ShapeWidget* m_swatch;
};

} // namespace tessivo
