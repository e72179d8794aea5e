#include "canvas/ui/ToolColumn.h"

#include "widgets/ShapeWidget.h"
#include "widgets/TwipsLayout.h"

#include <QButtonGroup>
#include <QPushButton>

#include <array>

namespace tessivo {

namespace {

struct ToolButton {
    Tool tool;
    const char* name;
    const char* caption;
};

constexpr std::array<ToolButton, 8> Tools = {{
    {Tool::Mouse, "Option3", "鼠标"},
    {Tool::Pen, "Option4", "画笔"},
    {Tool::Ellipse, "Option2", "圆形"},
    {Tool::Rectangle, "Option1", "矩形"},
    {Tool::RoundedRectangle, "Option5", "圆矩"},
    {Tool::Line, "Option12", "直线"},
    {Tool::TextPosition, "Option10", "字位置"},
    {Tool::CanvasSize, "Option11", "画布"},
}};

} // namespace

ToolColumn::ToolColumn(QWidget* parent)
    : QFrame(parent)
    , m_group(new QButtonGroup(this))
{
    setObjectName(QStringLiteral("Frame7"));
    PlaceInTwips(this, 50, 1930, 1000, 4680);
    int top = 60;
    for (const ToolButton& t : Tools) {
        auto* b = new QPushButton(QString::fromUtf8(t.caption), this);
        b->setObjectName(QLatin1String(t.name));
        b->setCheckable(true);
        PlaceInTwips(b, 45, top, 930, 405);
        m_group->addButton(b, int(t.tool));
        top += 450;
    }
    m_group->button(int(Tool::Mouse))->setChecked(true);

    m_swatch = new ShapeWidget(this);
    m_swatch->setObjectName(QStringLiteral("showx"));
    m_swatch->setFilled(true);
    m_swatch->setFillColor(0);
    m_swatch->setBorderColor(0);
    m_swatch->setBorderWidth(3);
    PlaceInTwips(m_swatch, 165, top + 120, 690, 690);

    connect(m_group, &QButtonGroup::idClicked, this,
            [this](int id) { emit toolSelected(Tool(id)); });
}

Tool ToolColumn::selectedTool() const
{
    return Tool(m_group->checkedId());
}

QAbstractButton* ToolColumn::button(Tool tool) const
{
    return m_group->button(int(tool));
}

void ToolColumn::selectTool(Tool tool)
{
    button(tool)->click();
}

} // namespace tessivo
