#include "canvas/ui/DrawingPage.h"

#include "canvas/CanvasModel.h"
#include "canvas/ui/ColorPicker.h"
#include "history/CanvasHistory.h"
#include "widgets/ScrollBar.h"
#include "widgets/TwipsLayout.h"

#include <QLabel>
#include <QRadioButton>
#include <QSignalBlocker>

namespace tessivo {

namespace {

QGroupBox* group(QWidget* parent, const QString& title, int left, int top, int width, int height)
{
    auto* box = new QGroupBox(title, parent);
    PlaceInTwips(box, left, top, width, height);
    return box;
}

// A captioned slider in a group: the caption above, the bar below it.
ScrollBar* slider(QWidget* parent, const char* name, const QString& caption, int top, int minimum,
                  int maximum, int largeChange, int value)
{
    auto* label = new QLabel(caption, parent);
    PlaceInTwips(label, 240, top, 3375, 255);
    auto* bar = new ScrollBar(Qt::Horizontal, parent);
    bar->setObjectName(QLatin1String(name));
    PlaceInTwips(bar, 240, top + 300, 3375, 255);
    bar->configure(minimum, maximum, 1, largeChange, value);
    return bar;
}

QRadioButton* modeButton(QWidget* parent, const char* name, const QString& caption, int left,
                         int width)
{
    auto* b = new QRadioButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    PlaceInTwips(b, left, 480, width, 300);
    return b;
}

} // namespace

DrawingPage::DrawingPage(WindowContext& window, CanvasModel& canvas, CanvasHistory& history,
                         QWidget* parent)
    : QGroupBox(QStringLiteral("画笔工具"), parent)
    , m_canvas(canvas)
{
    setObjectName(QStringLiteral("Frame5"));
    m_font = group(this, QStringLiteral("字体"), 120, 240, 3855, 1335);
    m_shape = group(this, QStringLiteral("形状"), 120, 1680, 3855, 1935);
    m_color = group(this, QStringLiteral("颜色"), 4110, 240, 3855, 3375);
    m_general = group(this, QStringLiteral("总体属性"), 120, 3720, 7845, 1215);

    m_fontSize = slider(m_font, "HScroll15", QStringLiteral("字体大小"), 360, 1, 400, 1, 20);
    m_lineWidth = slider(m_shape, "HScroll14", QStringLiteral("线条粗度"), 360, 1, 30, 1, 2);
    m_rounding = slider(m_shape, "HScroll13", QStringLiteral("圆矩弧度"), 1080, 1, 100, 1, 50);

    m_copyMode = modeButton(m_general, "Option7", QStringLiteral("图案内部颜色填充"), 240, 2895);
    m_copyMode->setChecked(true);
    m_xorMode =
        modeButton(m_general, "Option6", QStringLiteral("图案内部颜色（空/画笔失效）"), 3480, 4095);

    m_picker = new ColorPicker(window, canvas, m_color);
    m_picker->setGeometry(m_color->rect());

    // Every settle of the font size shows a fresh preview, a step recorded with the size before;
    // a drag alone does nothing.
    m_appliedFontSize = m_fontSize->value();
    connect(m_fontSize, &ScrollBar::settled, this, [this](int points) {
        emit fontSizeChanged(points);
        m_appliedFontSize = points;
    });
    history.addViewState([this] { return QList<int>{m_appliedFontSize}; },
                         [this](const QList<int>& view) {
                             if (view.size() != 1 || view[0] == m_appliedFontSize)
                                 return;
                             m_appliedFontSize = view[0];
                             const QSignalBlocker blocker(m_fontSize);
                             m_fontSize->setValue(m_appliedFontSize);
                         });
    // Only a thumb drag changes the line width; the arrows and the track move the bar alone.
    connect(m_lineWidth, &ScrollBar::dragged, this,
            [this](int position) { m_canvas.setDrawWidth(position); });
    connect(m_copyMode, &QRadioButton::clicked, this,
            [this] { m_canvas.setDrawMode(CanvasModel::CopyPen); });
    connect(m_xorMode, &QRadioButton::clicked, this,
            [this] { m_canvas.setDrawMode(CanvasModel::XorPen); });
}

} // namespace tessivo
