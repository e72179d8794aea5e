#include "settings/ui/SettingsPage.h"

#include "canvas/CanvasModel.h"
#include "engine/CharTable.h"
#include "engine/GenerationRun.h"
#include "engine/Rounding.h"
#include "loading/PictureLoader.h"
#include "settings/ui/ScrollBar.h"
#include "settings/ui/Twips.h"
#include "settings/ui/WindowContext.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include <array>
#include <cmath>
#include <cstdlib>

namespace tessivo {

namespace {

// The page as the main window places it.
constexpr int PageWidth = 8100;
constexpr int PageHeight = 6615;

// The viewport Picture3: its design height sets the panel scroll range; on screen it ends
// 300 twips above the bottom of the page.
constexpr int ViewportLeft = 50;
constexpr int ViewportTop = 240;
constexpr int ViewportWidth = 7815;
constexpr int ViewportDesignHeight = 8535;
constexpr int ViewportHeight = PageHeight - 300;

// The panel Picture4 that carries the settings.
constexpr int PanelWidth = 7695;
constexpr int PanelHeight = 7455;
// The panel scrolls this much further than the height difference alone would allow.
constexpr int PanelScrollExtra = 700;

constexpr int BarWidth = 6375;
constexpr int BarHeight = 255;
constexpr int LabelHeight = 255;
constexpr int CaptionLeft = 60;
constexpr int NoteDrop = 300;
// A caption shared by two rows (the second row has none of its own) stands between their bars.
constexpr int SharedCaptionDrop = 240;

// "默认" assigns in this order; each assignment that changes a value settles at once.
constexpr std::array<Setting, 10> ResetOrder = {
    Setting::ColorLevel, Setting::SampleX,     Setting::SampleY,      Setting::PreviewFontSize,
    Setting::PictureFit, Setting::CanvasColor, Setting::PreviewWidth, Setting::PreviewHeight,
    Setting::ZoomRatio,  Setting::Contrast,
};

QLabel* makeLabel(const char* text, const QString& objectName, QWidget* parent, int left, int top,
                  int width)
{
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(objectName);
    PlaceInTwips(label, left, top, width, LabelHeight);
    return label;
}

} // namespace

SettingsPage::SettingsPage(WindowContext& window, CanvasModel& canvas, const PictureHolder& holder,
                           CharTables& tables, GenerationRun& run, QWidget* parent)
    : QGroupBox(QStringLiteral("设置"), parent)
    , m_window(window)
    , m_canvas(canvas)
    , m_holder(holder)
    , m_tables(tables)
    , m_run(run)
{
    setObjectName(QStringLiteral("Frame3"));
    resize(TwipsToPixels(PageWidth), TwipsToPixels(PageHeight));

    m_viewport = new QWidget(this);
    m_viewport->setObjectName(QStringLiteral("Picture3"));
    PlaceInTwips(m_viewport, ViewportLeft, ViewportTop, ViewportWidth, ViewportHeight);

    m_panel = new QWidget(m_viewport);
    m_panel->setObjectName(QStringLiteral("Picture4"));
    PlaceInTwips(m_panel, 0, 0, PanelWidth, PanelHeight);

    const auto rows = AllSettings();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const SettingRow& row = rows[i];
        const QString control = QLatin1String(row.control);

        auto* bar = new ScrollBar(Qt::Horizontal, m_panel);
        bar->setObjectName(control);
        PlaceInTwips(bar, row.left, row.top, BarWidth, BarHeight);
        // Start-up assigns the start values itself, so that their change handling runs.
        bar->configure(row.minimum, row.maximum, row.smallChange, row.largeChange, row.designValue);
        const Setting setting = row.setting;
        connect(bar, &ScrollBar::dragged, this,
                [this, setting](int position) { onDragged(setting, position); });
        connect(bar, &ScrollBar::settled, this,
                [this, setting](int value) { onSettled(setting, value); });
        m_bars[std::size_t(setting)] = bar;

        if (*row.caption) {
            const bool shared = i + 1 < rows.size() && !*rows[i + 1].caption;
            makeLabel(row.caption, control + QLatin1String("Caption"), m_panel, CaptionLeft,
                      shared ? row.top + SharedCaptionDrop : row.top, row.left - CaptionLeft);
        }
        if (*row.rightLabel) {
            const int left = row.left + BarWidth;
            makeLabel(row.rightLabel, control + QLatin1String("Right"), m_panel, left, row.top,
                      PanelWidth - left);
        }
        if (*row.note) {
            makeLabel(row.note, control + QLatin1String("Note"), m_panel, CaptionLeft,
                      row.top + NoteDrop, PanelWidth - CaptionLeft);
        }
    }

    m_linkSampling = new QCheckBox(m_panel);
    m_linkSampling->setObjectName(QStringLiteral("Check2"));
    PlaceInTwips(m_linkSampling, 600, 2040, 255, 255);

    m_removeBlankLines = new QCheckBox(QStringLiteral("自动去除空白段落部分"), m_panel);
    m_removeBlankLines->setObjectName(QStringLiteral("Check3"));
    PlaceInTwips(m_removeBlankLines, 720, 6960, 2655, 255);

    m_reset = new QPushButton(QStringLiteral("默认"), m_panel);
    m_reset->setObjectName(QStringLiteral("Command8"));
    PlaceInTwips(m_reset, 6315, 7080, 855, 375);
    connect(m_reset, &QPushButton::clicked, this, &SettingsPage::resetToDefaults);

    m_panelBar = new ScrollBar(Qt::Vertical, this);
    m_panelBar->setObjectName(QStringLiteral("VScroll1"));
    PlaceInTwips(m_panelBar, 7830, 100, 255, 6495);
    // Only a thumb drag moves the panel; arrows, track and keys move the thumb alone.
    connect(m_panelBar, &ScrollBar::dragged, this,
            [this](int position) { m_panel->move(0, TwipsToPixels(-position)); });
    connect(m_panelBar, &ScrollBar::settled, this, [this] { m_window.restore(); });
}

ScrollBar* SettingsPage::bar(Setting setting) const
{
    return m_bars[std::size_t(setting)];
}

void SettingsPage::setPanelScrollRange()
{
    // Taken from the design heights, not from the viewport as it is shown.
    const int maximum =
        int(RoundEven(std::abs(ViewportDesignHeight - PanelHeight) + PanelScrollExtra));
    const int largeChange = int(Floor(maximum / 10.0));
    m_panelBar->configure(0, maximum, 1, largeChange, m_panelBar->value());
}

void SettingsPage::resetToDefaults()
{
    for (const Setting setting : ResetOrder) {
        if (const std::optional<int> value = SettingInfo(setting).resetValue)
            bar(setting)->setValue(*value);
    }
}

void SettingsPage::onDragged(Setting setting, int position)
{
    const auto showValue = [&] { m_window.setTitle(QString::number(position)); };
    // With linked sampling on, the other sampling bar follows the dragged one; its own settle
    // handling restores the title at once.
    const auto linkedSampling = [&](Setting other) {
        if (!m_linkSampling->isChecked())
            return;
        showValue();
        bar(other)->setValue(position);
    };

    switch (setting) {
    case Setting::ColorLevel:
    case Setting::Contrast:
    case Setting::IgnoreValue:
    case Setting::RunEfficiency: showValue(); break;
    case Setting::SampleX: linkedSampling(Setting::SampleY); break;
    case Setting::SampleY: linkedSampling(Setting::SampleX); break;
    case Setting::CanvasColor:
        showValue();
        // The value is taken as it is: red in the low byte, green above it, never any blue.
        m_canvas.setBackColor(position);
        break;
    case Setting::PreviewWidth:
        showValue();
        m_canvas.setWidth(position);
        break;
    case Setting::PreviewHeight:
        showValue();
        m_canvas.setHeight(position);
        break;
    case Setting::ZoomRatio: zoomRedraw(position); break;
    case Setting::PreviewFontSize:
    case Setting::PictureFit: break;
    }
}

void SettingsPage::onSettled(Setting setting, int value)
{
    switch (setting) {
    case Setting::ColorLevel:
    case Setting::IgnoreValue:
    case Setting::SampleX:
    case Setting::SampleY:
    case Setting::CanvasColor:
    case Setting::PreviewWidth:
    case Setting::PreviewHeight: m_window.restore(); break;
    case Setting::Contrast:
        // The focus stays where it is.
        m_window.restoreTitle();
        m_tables.rebuildActive(value);
        break;
    case Setting::PreviewFontSize: emit previewFontSizeChanged(value); break;
    case Setting::PictureFit:
        // Stays in the title until something else sets it.
        m_window.setTitle(
            QStringLiteral("%1,%2,%3").arg(m_canvas.width()).arg(m_canvas.height()).arg(value));
        break;
    case Setting::ZoomRatio:
        // Zooming acts only while the thumb is dragged; its factor stays in the title.
        break;
    case Setting::RunEfficiency:
        m_window.restore();
        m_run.setBandCount(value);
        break;
    }
}

void SettingsPage::zoomRedraw(int value)
{
    const double pictureWidth = m_holder.width();
    const double pictureHeight = m_holder.height();
    m_canvas.clear();

    // Left of the middle enlarges (value / 10), the middle two show the natural size, right of
    // it reduces by whole factors.
    const double half = bar(Setting::ZoomRatio)->maximum() / 2.0;
    double factor = value - half;
    if (factor < 0)
        factor = std::abs(half / 10 - factor / 10 - 1);
    if (factor == 0)
        factor = 1;
    m_window.setTitle(QString::number(factor, 'g', 15));

    if (m_holder.hasPicture())
        m_canvas.paintPicture(m_holder.picture(), 0, 0, pictureWidth / factor,
                              pictureHeight / factor);
}

int SettingsPage::value(Setting setting) const
{
    return bar(setting)->value();
}

bool SettingsPage::removeBlankLines() const
{
    return m_removeBlankLines->isChecked();
}

const QStringList& SettingsPage::charTable() const
{
    return m_tables.CharTable();
}

} // namespace tessivo
