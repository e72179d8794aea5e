#include "app/SettingsController.h"

#include "canvas/CanvasModel.h"
#include "engine/CharTable.h"
#include "engine/GenerationRun.h"
#include "history/CanvasHistory.h"
#include "loading/PictureLoader.h"
#include "settings/ui/SettingsPage.h"
#include "widgets/ScrollBar.h"
#include "widgets/WindowContext.h"

#include <QSignalBlocker>

#include <algorithm>
#include <array>
#include <cmath>

namespace tessivo {

namespace {

// The settings whose changes are steps of the Canvas's history.
constexpr std::array SteppedSettings = {Setting::CanvasColor, Setting::PreviewWidth,
                                        Setting::PreviewHeight, Setting::ZoomRatio,
                                        Setting::PreviewFontSize};

qsizetype steppedIndex(Setting setting)
{
    return std::find(SteppedSettings.begin(), SteppedSettings.end(), setting) -
           SteppedSettings.begin();
}

} // namespace

SettingsController::SettingsController(SettingsPage& page, WindowContext& window,
                                       CanvasModel& canvas, CanvasHistory& history,
                                       const PictureHolder& holder, CharTables& tables,
                                       GenerationRun& run, QObject* parent)
    : QObject(parent)
    , m_page(page)
    , m_window(window)
    , m_canvas(canvas)
    , m_history(history)
    , m_holder(holder)
    , m_tables(tables)
    , m_run(run)
{
    for (const Setting setting : SteppedSettings)
        m_applied.append(page.bar(setting)->value());
    m_history.addViewState([this] { return m_applied; },
                           [this](const QList<int>& values) { restoreBars(values); });

    connect(&page, &SettingsPage::dragStarted, this, [this] {
        m_stepDragged.reset();
        m_history.beginGesture();
    });
    connect(&page, &SettingsPage::dragged, this, &SettingsController::onDragged);
    connect(&page, &SettingsPage::settled, this, &SettingsController::onSettled);
}

void SettingsController::onDragged(Setting setting, int position)
{
    const auto showValue = [&] { m_window.setTitle(QString::number(position)); };
    switch (setting) {
    case Setting::ColorLevel:
    case Setting::Contrast:
    case Setting::IgnoreValue:
    case Setting::RunEfficiency: showValue(); break;
    case Setting::CanvasColor:
        showValue();
        m_stepDragged = setting;
        m_history.recordGesture();
        // The value is taken as it is: red in the low byte, green above it, never any blue.
        m_canvas.setBackColor(position);
        break;
    case Setting::PreviewWidth:
        showValue();
        m_stepDragged = setting;
        m_history.recordGesture();
        m_canvas.setWidthTwips(position);
        break;
    case Setting::PreviewHeight:
        showValue();
        m_stepDragged = setting;
        m_history.recordGesture();
        m_canvas.setHeightTwips(position);
        break;
    case Setting::ZoomRatio:
        m_stepDragged = setting;
        m_history.recordGesture();
        zoomRedraw(position);
        break;
    // The sampling bars act on a drag only through linked sampling, which the page handles.
    case Setting::SampleX:
    case Setting::SampleY:
    case Setting::PreviewFontSize:
    case Setting::PictureFit: break;
    }
}

void SettingsController::onSettled(Setting setting, int value)
{
    // The step of a drag was recorded when it began, with the bar's value before it.
    if (m_stepDragged == setting) {
        m_stepDragged.reset();
        applied(setting, value);
    }
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
    case Setting::PreviewFontSize:
        // The step is recorded by the imprint, with the value applied before.
        emit previewFontSizeChanged(value);
        applied(setting, value);
        break;
    case Setting::PictureFit:
        // Stays in the title until something else sets it.
        m_window.setTitle(QStringLiteral("%1,%2,%3")
                              .arg(m_canvas.widthTwips())
                              .arg(m_canvas.heightTwips())
                              .arg(value));
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

void SettingsController::applied(Setting setting, int value)
{
    m_applied[steppedIndex(setting)] = value;
}

void SettingsController::restoreBars(const QList<int>& values)
{
    // Only the bars whose steps are undone (or redone) move; they report nothing, as the Canvas
    // is already put back.
    for (qsizetype i = 0; i < m_applied.size() && i < values.size(); ++i) {
        if (values[i] == m_applied[i])
            continue;
        m_applied[i] = values[i];
        ScrollBar* bar = m_page.bar(SteppedSettings[i]);
        const QSignalBlocker blocker(bar);
        bar->setValue(values[i]);
    }
}

void SettingsController::zoomRedraw(int value)
{
    const double pictureWidth = m_holder.widthTwips();
    const double pictureHeight = m_holder.heightTwips();
    m_canvas.clear();

    // Left of the middle enlarges (value / 10), the middle two show the natural size, right of
    // it reduces by whole factors.
    const double half = SettingInfo(Setting::ZoomRatio).maximum / 2.0;
    double factor = value - half;
    if (factor < 0)
        factor = std::abs(half / 10 - factor / 10 - 1);
    if (factor == 0)
        factor = 1;
    // Every digit a double holds, so the title shows the factor exactly.
    constexpr int FactorDigits = 15;
    m_window.setTitle(QString::number(factor, 'g', FactorDigits));

    if (m_holder.hasPicture())
        m_canvas.paintPicture(m_holder.picture(), 0, 0, pictureWidth / factor,
                              pictureHeight / factor);
}

} // namespace tessivo
