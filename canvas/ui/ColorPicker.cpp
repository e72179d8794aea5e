#include "canvas/ui/ColorPicker.h"

#include "canvas/CanvasModel.h"
#include "canvas/ColorConvert.h"
#include "engine/Rounding.h"
#include "widgets/ScrollBar.h"
#include "widgets/ShapeWidget.h"
#include "widgets/TwipsLayout.h"
#include "widgets/WindowContext.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QRadioButton>

namespace tessivo {

namespace {

constexpr int MinPart = 1;
constexpr int MaxPart = 255;

struct ChannelRow {
    const char* bar;
    const char* box;
    const char* caption;
    ColorValue color;
};

constexpr std::array<ChannelRow, 3> Rows = {{
    {"RH", "R", "R", 0x0000FF},
    {"GH", "G", "G", 0x008000},
    {"BH", "B", "B", 0xFF0000},
}};

void colorText(QWidget* widget, ColorValue color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, ToQColor(color));
    palette.setColor(QPalette::Text, ToQColor(color));
    widget->setPalette(palette);
}

} // namespace

ColorPicker::ColorPicker(WindowContext& window, CanvasModel& canvas, QWidget* parent)
    : QWidget(parent)
    , m_window(window)
    , m_canvas(canvas)
{
    m_lineTarget = new QRadioButton(QStringLiteral("线条/字体颜色"), this);
    m_lineTarget->setObjectName(QStringLiteral("Option8"));
    m_lineTarget->setChecked(true);
    PlaceInTwips(m_lineTarget, 240, 300, 1695, 300);
    m_fillTarget = new QRadioButton(QStringLiteral("填充颜色"), this);
    m_fillTarget->setObjectName(QStringLiteral("Option9"));
    PlaceInTwips(m_fillTarget, 2040, 300, 1455, 300);

    for (std::size_t i = 0; i < Rows.size(); ++i) {
        const int top = 780 + int(i) * 420;
        auto* label = new QLabel(QLatin1String(Rows[i].caption), this);
        PlaceInTwips(label, 240, top + 30, 255, 255);
        colorText(label, Rows[i].color);

        auto* box = new QLineEdit(QStringLiteral("0"), this);
        box->setObjectName(QLatin1String(Rows[i].box));
        PlaceInTwips(box, 540, top, 615, 300);
        colorText(box, Rows[i].color);
        m_boxes[i] = box;

        auto* bar = new ScrollBar(Qt::Horizontal, this);
        bar->setObjectName(QLatin1String(Rows[i].bar));
        PlaceInTwips(bar, 1260, top + 15, 2355, 270);
        bar->configure(MinPart, MaxPart, 1, 1, MinPart);
        m_bars[i] = bar;
    }

    m_swatch = new ShapeWidget(this);
    m_swatch->setObjectName(QStringLiteral("Shape3"));
    m_swatch->setFilled(true);
    m_swatch->setBorderWidth(3);
    PlaceInTwips(m_swatch, 240, 2070, 3375, 1095);
    refreshSwatch();

    for (std::size_t i = 0; i < Rows.size(); ++i) {
        connect(m_bars[i], &ScrollBar::dragged, this, &ColorPicker::barDragged);
        connect(m_bars[i], &ScrollBar::settled, this, &ColorPicker::barSettled);
        connect(m_boxes[i], &QLineEdit::textChanged, this, &ColorPicker::textChanged);
    }
    connect(m_lineTarget, &QRadioButton::clicked, this, [this] { targetChosen(m_LineColor); });
    connect(m_fillTarget, &QRadioButton::clicked, this, [this] { targetChosen(m_ShapeFillColor); });
}

void ColorPicker::barDragged()
{
    // The thumb being dragged has not yet given the bar its value: read the thumb positions.
    const ColorValue color =
        ComposeColor(m_bars[Red]->current(), m_bars[Green]->current(), m_bars[Blue]->current());
    ColorValue& target = m_lineTarget->isChecked() ? m_LineColor : m_ShapeFillColor;
    const bool changed = target != color;
    target = color;

    // Each text change moves the sliders to the texts again, so every part is read only when
    // its own text is set.
    for (const Channel channel : {Red, Green, Blue})
        m_boxes[channel]->setText(QString::number(m_bars[channel]->current()));
    refreshSwatch();
    m_window.moveFocusToSink();
    if (changed)
        emit colorsChanged();
}

void ColorPicker::barSettled()
{
    m_canvas.setFillColor(m_ShapeFillColor);
    m_canvas.setForeColor(m_LineColor);
}

void ColorPicker::textChanged()
{
    for (const Channel channel : {Red, Green, Blue})
        takeText(channel);
    refreshSwatch();
}

void ColorPicker::takeText(Channel channel)
{
    bool ok = false;
    const double number = QLocale().toDouble(m_boxes[channel]->text(), &ok);
    if (!ok)
        return;
    const std::int64_t part = RoundEven(number);
    // The slider would clamp what it cannot show; it keeps its value instead.
    if (part < MinPart || part > MaxPart)
        return;
    m_bars[channel]->setValue(int(part));
}

void ColorPicker::targetChosen(ColorValue color)
{
    const Channels parts = SplitColor(color);
    const std::array<int, 3> values = {parts.ChannelR, parts.ChannelG, parts.ChannelB};
    for (const Channel channel : {Red, Green, Blue}) {
        m_boxes[channel]->setText(QString::number(values[channel]));
        if (values[channel] >= MinPart)
            m_bars[channel]->setValue(values[channel]);
    }
    refreshSwatch();
}

void ColorPicker::refreshSwatch()
{
    m_swatch->setFillColor(m_ShapeFillColor);
    m_swatch->setBorderColor(m_LineColor);
}

} // namespace tessivo
