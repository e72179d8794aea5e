#include "settings/ui/SettingsPage.h"

#include "engine/CharTable.h"
#include "engine/Rounding.h"
#include "widgets/ScrollBar.h"
#include "widgets/TwipsLayout.h"
#include "widgets/WindowContext.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFocusEvent>
#include <QLabel>
#include <QPushButton>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

namespace tessivo {

namespace {

// The viewport Picture3: its design height sets the panel scroll range; on screen it ends
// 300 twips above the bottom of the page.
constexpr int ViewportLeft = 50;
constexpr int ViewportTop = 240;
constexpr int ViewportWidth = 7815;
constexpr int ViewportDesignHeight = 8535;
constexpr int ViewportHeight = PageRectTwips.height() - 300;

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

SettingsPage::SettingsPage(WindowContext& window, const CharTables& tables, QWidget* parent)
    : QGroupBox(QStringLiteral("设置"), parent)
    , m_window(window)
    , m_tables(tables)
{
    setObjectName(QStringLiteral("Frame3"));
    resize(TwipsRect(PageRectTwips).size());

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
        connect(bar, &ScrollBar::sliderPressed, this,
                [this, setting] { emit dragStarted(setting); });
        connect(bar, &ScrollBar::settled, this,
                [this, setting](int value) { emit settled(setting, value); });
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

    m_linkSampling = Placed<QCheckBox>(m_panel, "Check2", {600, 2040, 255, 255});
    m_removeBlankLines = Placed<QCheckBox>(m_panel, "Check3", {720, 6960, 2655, 255},
                                           QStringLiteral("自动去除空白段落部分"));
    m_reset =
        Placed<QPushButton>(m_panel, "Command8", {6315, 7080, 855, 375}, QStringLiteral("默认"));
    connect(m_reset, &QPushButton::clicked, this, &SettingsPage::resetToDefaults);
    // Tab goes down the panel: the linking box stands between the two sampling bars.
    setTabOrder(bar(Setting::SampleX), m_linkSampling);
    setTabOrder(m_linkSampling, bar(Setting::SampleY));

    // Everything on the panel passes the wheel to the panel's bar, but a focused setting bar.
    m_viewport->installEventFilter(this);
    m_panel->installEventFilter(this);
    for (QWidget* widget : m_panel->findChildren<QWidget*>())
        widget->installEventFilter(this);

    m_panelBar = new ScrollBar(Qt::Vertical, this);
    m_panelBar->setObjectName(QStringLiteral("VScroll1"));
    PlaceInTwips(m_panelBar, 7830, 100, 255, 6495);
    // The panel follows its bar whatever moves it: a drag, the arrows, the track, keys or the
    // wheel. (Following only a drag left panel and thumb disagreeing after an arrow click.)
    m_panelBar->setWheelNeedsFocus(false);
    // A notch of the wheel moves the panel three lines of text, as scrolled views do; the
    // arrows keep their small change.
    m_panelBar->setWheelStep(PixelsToTwips(3 * fontMetrics().lineSpacing()));
    connect(m_panelBar, &ScrollBar::dragged, this, &SettingsPage::movePanelTo);
    connect(m_panelBar, &ScrollBar::settled, this, [this](int value) {
        movePanelTo(value);
        m_window.restore();
    });
}

void SettingsPage::movePanelTo(int position)
{
    m_panel->move(0, TwipsToPixels(-position));
}

void SettingsPage::wheelEvent(QWheelEvent* event)
{
    QCoreApplication::sendEvent(m_panelBar, event);
}

void SettingsPage::scrollIntoView(const QWidget* widget)
{
    // The panel moves as far as needed to show the whole control, its bar's thumb with it; the
    // bar's settle handling stays out of it, as a move that the user did not make.
    const int top = widget->mapTo(m_panel, QPoint()).y();
    const int shownTop = -m_panel->y();
    int position = shownTop;
    if (top < shownTop)
        position = top;
    else if (top + widget->height() > shownTop + m_viewport->height())
        position = top + widget->height() - m_viewport->height();
    if (position == shownTop)
        return;
    const int twips =
        std::clamp(PixelsToTwips(position), m_panelBar->minimum(), m_panelBar->maximum());
    const QSignalBlocker blocker(m_panelBar);
    m_panelBar->setValue(twips);
    movePanelTo(twips);
}

bool SettingsPage::eventFilter(QObject* watched, QEvent* event)
{
    // Tab brings the control it reaches into view; a click or code leaves the panel alone.
    if (event->type() == QEvent::FocusIn && watched != m_viewport && watched != m_panel) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason)
            scrollIntoView(static_cast<QWidget*>(watched));
    }
    if (event->type() != QEvent::Wheel)
        return QGroupBox::eventFilter(watched, event);
    if (auto* bar = qobject_cast<ScrollBar*>(watched); bar && bar->hasFocus())
        return false;
    QCoreApplication::sendEvent(m_panelBar, event);
    return true;
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
    // With linked sampling on, the other sampling bar follows the dragged one; its own settle
    // handling restores the title at once.
    const auto linkedSampling = [&](Setting other) {
        if (!m_linkSampling->isChecked())
            return;
        m_window.setTitle(QString::number(position));
        bar(other)->setValue(position);
    };
    if (setting == Setting::SampleX)
        linkedSampling(Setting::SampleY);
    else if (setting == Setting::SampleY)
        linkedSampling(Setting::SampleX);
    emit dragged(setting, position);
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
    return m_tables.active();
}

} // namespace tessivo
