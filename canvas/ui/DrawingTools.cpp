#include "canvas/ui/DrawingTools.h"

#include "canvas/CanvasModel.h"
#include "engine/Rounding.h"
#include "history/CanvasHistory.h"
#include "settings/SettingsTable.h"
#include "widgets/CanvasWidget.h"

#include <QAbstractSlider>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessivo {

namespace {

// The canvas tool keeps the Canvas between these sizes, twips: as wide as the width bar
// (PreviewWidth) goes at most, but less tall than the height bar goes.
constexpr double MinCanvasSize = 300;
constexpr double MaxCanvasHeight = 5585;

double maxCanvasWidth()
{
    return SettingInfo(Setting::PreviewWidth).maximum;
}

// Pointer positions far outside the window must not wrap around.
int toInt(std::int64_t value)
{
    return int(std::clamp<std::int64_t>(value, std::numeric_limits<int>::min(),
                                        std::numeric_limits<int>::max()));
}

constexpr int LeftButtonOnly = 1;

} // namespace

DrawingTools::DrawingTools(CanvasModel& canvas, CanvasHistory& history, CanvasWidget& view,
                           const ToolColumn& tools, const QAbstractSlider& rounding,
                           QObject* parent)
    : QObject(parent)
    , m_canvas(canvas)
    , m_history(history)
    , m_view(view)
    , m_tools(tools)
    , m_rounding(rounding)
{
    connect(&view, &CanvasWidget::pressed, this, &DrawingTools::press);
    connect(&view, &CanvasWidget::moved, this, &DrawingTools::drag);
    connect(&view, &CanvasWidget::released, this, &DrawingTools::release);
    connect(&tools, &ToolColumn::toolSelected, this, &DrawingTools::toolChosen);
    // An undo or redo puts back a Canvas that holds nothing of the shape being previewed (or of
    // the line just drawn, whose preview stays after the release): the previews go, and a shape
    // still being drawn is dropped with them. A stroke goes on, as a step of its own.
    connect(&history, &CanvasHistory::restored, this, [this] {
        m_view.setLinePreviewVisible(false);
        m_view.setOutlineVisible(false);
        m_shapeDropped = m_pressed;
    });
}

double DrawingTools::roundingDivisor() const
{
    // The higher "圆矩弧度", the smaller the corners, in proportion to the box.
    return std::max(m_rounding.value(), 1);
}

void DrawingTools::toolChosen(Tool tool)
{
    using Shape = CanvasWidget::OutlineShape;
    const auto shapeTool = [this](Shape shape) {
        m_view.setOutlineShape(shape);
        m_view.setMarkerVisible(false);
    };
    switch (tool) {
    case Tool::Mouse: shapeTool(Shape::Square); break;
    case Tool::Pen: m_view.setMarkerVisible(false); break;
    case Tool::Ellipse: shapeTool(Shape::Oval); break;
    case Tool::Rectangle: shapeTool(Shape::Rectangle); break;
    case Tool::RoundedRectangle: shapeTool(Shape::RoundedRectangle); break;
    case Tool::TextPosition: m_view.setMarkerVisible(true); break;
    // The outline keeps the shape last chosen.
    case Tool::Line:
    case Tool::CanvasSize: break;
    }
}

void DrawingTools::press(int /*buttons*/, double x, double y)
{
    // Any button: a right-button press places the marker as well.
    const Tool tool = m_tools.selectedTool();
    if (tool == Tool::Line) {
        m_view.setLinePreviewVisible(true);
        m_view.setLinePreviewWidth(m_canvas.drawWidth());
    }
    if (tool == Tool::TextPosition) {
        m_view.setMarkerVisible(true);
        m_view.setMarkerPosition(QPointF(x, y));
        return;
    }
    if (tool == Tool::Pen) {
        m_StartX = toInt(RoundEven(x));
        m_StartY = toInt(RoundEven(y));
    } else {
        // Shapes are anchored at the pixel under the pointer.
        m_StartX = toInt(Floor(TwipsToPixelsExact(x)));
        m_StartY = toInt(Floor(TwipsToPixelsExact(y)));
        m_view.setOutlineVisible(true);
    }
    m_view.setOutline(QRectF(x, y, 0, 0));
    m_LineStartY = toInt(RoundEven(y));
    m_LineStartX = float(x);
    m_pressed = true;
    m_shapeDropped = false;
    // A stroke or a size drag is one step, recorded at its first move.
    m_history.beginGesture();
}

void DrawingTools::drag(int buttons, double x, double y)
{
    if (buttons != LeftButtonOnly)
        return;
    switch (m_tools.selectedTool()) {
    case Tool::Line: m_view.setLinePreview(QLineF(m_LineStartX, m_LineStartY, x, y)); return;
    case Tool::Pen:
        // Each move draws on from where the last one ended: a connected stroke.
        m_history.recordGesture();
        m_canvas.line(m_StartX, m_StartY, x, y);
        m_StartX = toInt(RoundEven(x));
        m_StartY = toInt(RoundEven(y));
        return;
    case Tool::CanvasSize:
        // The Canvas follows the pointer within its limits, then the outline does too.
        x = std::max(x, MinCanvasSize);
        y = std::max(y, MinCanvasSize);
        y = std::min(y, MaxCanvasHeight);
        x = std::min(x, maxCanvasWidth());
        m_history.recordGesture();
        m_canvas.setWidthTwips(x);
        m_canvas.setHeightTwips(y);
        break;
    case Tool::Mouse:
    case Tool::Ellipse:
    case Tool::Rectangle:
    case Tool::RoundedRectangle:
    case Tool::TextPosition: break;
    }
    // The box spanned by the press point and the pointer, whichever way the drag goes.
    const QRectF box(std::min<double>(m_LineStartX, x), std::min<double>(m_LineStartY, y),
                     std::abs(x - m_LineStartX), std::abs(y - m_LineStartY));
    // The rounded rectangle's outline shows the corners the shape will have.
    const double r = roundingDivisor();
    m_view.setOutlineCorner(
        QSizeF(TwipsToPixelsExact(box.width()) / r, TwipsToPixelsExact(box.height()) / r));
    m_view.setOutline(box);
}

void DrawingTools::release(int buttons, double x, double y)
{
    m_view.setOutlineVisible(false);
    const Tool tool = m_tools.selectedTool();
    if (buttons != LeftButtonOnly || tool == Tool::Mouse)
        return;
    if (m_shapeDropped) {
        m_shapeDropped = false;
        m_pressed = false;
        return;
    }

    // The far corner snaps to the nearest pixel.
    const Pixels right = TwipsToPixels(x);
    const Pixels bottom = TwipsToPixels(y);
    const double boxWidth = std::abs(double(right) - m_StartX);
    const double boxHeight = std::abs(double(bottom) - m_StartY);
    const bool drawsShape = tool == Tool::Rectangle || tool == Tool::Ellipse ||
                            tool == Tool::RoundedRectangle || (tool == Tool::Line && m_pressed);
    if (drawsShape)
        m_history.record();
    switch (tool) {
    case Tool::Rectangle: m_canvas.roundRectPixels(m_StartX, m_StartY, right, bottom, 1, 1); break;
    case Tool::Ellipse:
        // A corner ellipse as large as the box is the ellipse inscribed in it.
        m_canvas.roundRectPixels(m_StartX, m_StartY, right, bottom, toInt(RoundEven(boxWidth)),
                                 toInt(RoundEven(boxHeight)));
        break;
    case Tool::RoundedRectangle: {
        const double r = roundingDivisor();
        m_canvas.roundRectPixels(m_StartX, m_StartY, right, bottom, toInt(RoundEven(boxWidth / r)),
                                 toInt(RoundEven(boxHeight / r)));
        break;
    }
    case Tool::Line:
        if (m_pressed)
            m_canvas.line(m_LineStartX, m_LineStartY, x, y);
        break;
    case Tool::Mouse:
    case Tool::Pen:
    case Tool::TextPosition:
    case Tool::CanvasSize: break;
    }
    m_LineStartX = 0;
    m_LineStartY = 0;
    m_pressed = false;
}

} // namespace tessivo
