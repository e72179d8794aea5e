#include "app/SettingsController.h"
#include "canvas/CanvasModel.h"
#include "engine/CharTable.h"
#include "engine/GenerationRun.h"
#include "history/CanvasHistory.h"
#include "loading/PictureLoader.h"
#include "settings/SettingsTable.h"
#include "settings/ui/SettingsPage.h"
#include "widgets/ScrollBar.h"
#include "widgets/TwipsLayout.h"
#include "widgets/WindowContext.h"

#include "GuiTestSupport.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <memory>

using namespace tessivo;
using namespace tessivo::testing;

namespace {

constexpr int Tw = TwipsPerPixel;

// How a settle is brought about.
enum How { Arrow, HomeKey, EndKey, Code };

class FakeWindow : public WindowContext {
public:
    void setTitle(const QString& t) override { m_title = t; }
    void moveFocusToSink() override { ++m_focusMoves; }
    QString m_title = QStringLiteral("before");
    int m_focusMoves = 0;
};

// Presses the thumb and moves the mouse, in steps, to the first place where the thumb stands at
// or beyond the target; the button stays down. Returns the thumb position reached.
int dragTo(ScrollBar* bar, int target)
{
    const QPoint grip = scrollBarPart(bar, QStyle::SC_ScrollBarSlider).center();
    QTest::mousePress(bar, Qt::LeftButton, {}, grip);
    const bool horizontal = bar->orientation() == Qt::Horizontal;
    const auto at = [&](int c) { return horizontal ? QPoint(c, grip.y()) : QPoint(grip.x(), c); };
    int lo = 0, hi = (horizontal ? bar->width() : bar->height()) - 1;
    while (lo < hi) {
        const int mid = (lo + hi) / 2;
        QTest::mouseMove(bar, at(mid));
        if (bar->current() < target)
            lo = mid + 1;
        else
            hi = mid;
    }
    QTest::mouseMove(bar, at(lo));
    return bar->current();
}

void release(ScrollBar* bar)
{
    QTest::mouseRelease(bar, Qt::LeftButton, {},
                        scrollBarPart(bar, QStyle::SC_ScrollBarSlider).center());
}

// A drag to an exact value that the mouse may not reach at one value per pixel; the slider
// raises its drag signal the same way.
void holdAt(ScrollBar* bar, int value)
{
    bar->setSliderDown(true);
    bar->setSliderPosition(value);
}

} // namespace

class TestSettingsPage : public QObject {
    Q_OBJECT

    FakeWindow m_window;
    std::unique_ptr<CanvasModel> m_canvas;
    std::unique_ptr<PictureHolder> m_holder;
    std::unique_ptr<CanvasHistory> m_history;
    std::unique_ptr<CharTables> m_tables;
    std::unique_ptr<GenerationRun> m_run;
    std::unique_ptr<SettingsPage> m_page;
    std::unique_ptr<SettingsController> m_controller;

    ScrollBar* bar(const QString& name) { return m_page->findChild<ScrollBar*>(name); }
    ScrollBar* bar(Setting s) { return bar(QLatin1String(SettingInfo(s).control)); }
    QWidget* panel() { return m_page->findChild<QWidget*>(QStringLiteral("Picture4")); }

private slots:
    void init()
    {
        m_window.m_title = QStringLiteral("before");
        m_window.m_focusMoves = 0;
        m_canvas = std::make_unique<CanvasModel>();
        m_holder = std::make_unique<PictureHolder>();
        m_history = std::make_unique<CanvasHistory>(*m_canvas, *m_holder);
        m_tables = std::make_unique<CharTables>();
        m_tables->copyLoadedToActive();
        m_run = std::make_unique<GenerationRun>();
        m_page = std::make_unique<SettingsPage>(m_window, *m_tables);
        m_controller = std::make_unique<SettingsController>(
            *m_page, m_window, *m_canvas, *m_history, *m_holder, *m_tables, *m_run);
        m_page->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_page.get()));
    }

    void cleanup()
    {
        m_controller.reset();
        m_page.reset();
    }

    void barsFollowTheTable_data()
    {
        QTest::addColumn<Setting>("setting");
        for (const SettingRow& row : AllSettings())
            QTest::newRow(row.name) << row.setting;
    }
    void barsFollowTheTable()
    {
        QFETCH(Setting, setting);
        const SettingRow& row = SettingInfo(setting);
        ScrollBar* b = bar(setting);
        QVERIFY(b);
        QCOMPARE(m_page->bar(setting), b);
        QCOMPARE(b->parentWidget(), panel());
        QCOMPARE(b->geometry(), TwipsRect(row.left, row.top, 6375, 255));
        QCOMPARE(
            QList<int>({b->minimum(), b->maximum(), b->singleStep(), b->pageStep(), b->value()}),
            QList<int>(
                {row.minimum, row.maximum, row.smallChange, row.largeChange, row.designValue}));
    }

    // Drag shows the thumb position and leaves value() alone; release settles.
    void dragThenRelease_data()
    {
        QTest::addColumn<Setting>("setting");
        QTest::addColumn<int>("target");
        QTest::addColumn<int>("settleFocusMoves");
        QTest::newRow("ColorLevel") << Setting::ColorLevel << 7 << 1;
        QTest::newRow("Contrast") << Setting::Contrast << 150 << 0;
        QTest::newRow("IgnoreValue") << Setting::IgnoreValue << 20 << 1;
        QTest::newRow("CanvasColor") << Setting::CanvasColor << 9000 << 1;
        QTest::newRow("PreviewWidth") << Setting::PreviewWidth << 3000 << 1;
        QTest::newRow("PreviewHeight") << Setting::PreviewHeight << 0 << 1;
        QTest::newRow("RunEfficiency") << Setting::RunEfficiency << 77 << 1;
    }
    void dragThenRelease()
    {
        QFETCH(Setting, setting);
        QFETCH(int, target);
        QFETCH(int, settleFocusMoves);
        ScrollBar* b = bar(setting);
        const int before = b->value();
        const int bands = m_run->bandCount();
        const int pos = dragTo(b, target);
        QVERIFY(pos != before);
        QCOMPARE(m_window.m_title, QString::number(pos));
        QCOMPARE(b->value(), before);
        QCOMPARE(m_window.m_focusMoves, 0);
        QCOMPARE(m_tables->active().size(), 96); // not rebuilt while dragging
        if (setting == Setting::CanvasColor)
            QCOMPARE(m_canvas->pixelAt(7000, 5000), pos);
        if (setting == Setting::PreviewWidth)
            QCOMPARE(m_canvas->canvasWidth(), TwipsToPixels(pos) * Tw);
        if (setting == Setting::PreviewHeight)
            QCOMPARE(QList<int>({m_canvas->heightTwips(), m_canvas->canvasHeight()}),
                     QList<int>({0, 0}));

        release(b);
        QCOMPARE(b->value(), pos);
        QCOMPARE(m_window.m_title, WindowContext::MainWindowTitle());
        QCOMPARE(m_window.m_focusMoves, settleFocusMoves);
        if (setting == Setting::Contrast)
            QCOMPARE(m_tables->active(), RebuildActiveTable(DefaultCharTable(), pos));
        QCOMPARE(m_run->bandCount(), setting == Setting::RunEfficiency ? pos : bands);
    }

    // An arrow moves every bar by one, a click beside its thumb by the bar's page.
    void arrowsAndPages_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("page");
        QTest::newRow("ColorLevel") << "HScroll3" << 1;
        QTest::newRow("Contrast") << "HScroll12" << 30;
        QTest::newRow("IgnoreValue") << "HScroll16" << 1;
        QTest::newRow("SampleX") << "HScroll1" << 5;
        QTest::newRow("SampleY") << "HScroll2" << 5;
        QTest::newRow("PreviewFontSize") << "HScroll4" << 20;
        QTest::newRow("CanvasColor") << "HScroll5" << 3000;
        QTest::newRow("PictureFit") << "HScroll6" << 2;
        QTest::newRow("PreviewWidth") << "HScroll8" << 500;
        QTest::newRow("PreviewHeight") << "HScroll9" << 500;
        QTest::newRow("ZoomRatio") << "HScroll10" << 1;
        QTest::newRow("RunEfficiency") << "HScroll11" << 1;
    }
    void arrowsAndPages()
    {
        QFETCH(QString, name);
        QFETCH(int, page);
        ScrollBar* b = bar(name);
        QVERIFY(b);
        const int middle = (b->minimum() + b->maximum()) / 2;
        b->setValue(middle);
        const auto click = [b](QStyle::SubControl part) {
            QTest::mouseClick(b, Qt::LeftButton, {}, scrollBarPart(b, part).center());
        };
        click(QStyle::SC_ScrollBarAddLine);
        QCOMPARE(b->value(), middle + 1);
        click(QStyle::SC_ScrollBarSubLine);
        QCOMPARE(b->value(), middle);
        click(QStyle::SC_ScrollBarAddPage);
        QCOMPARE(b->value(), middle + page);
    }

    // Settling by arrow, key or code runs only the settle handling: the Canvas and the panel
    // never move.
    void settle_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("how");
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("focusMoves");
        const QString main = WindowContext::MainWindowTitle();
        const QString untouched = QStringLiteral("before");
        QTest::newRow("ColorLevel arrow") << "HScroll3" << +Arrow << 2 << main << 1;
        QTest::newRow("SampleX key") << "HScroll1" << +EndKey << 300 << main << 1;
        QTest::newRow("CanvasColor arrow") << "HScroll5" << +Arrow << 1 << main << 1;
        QTest::newRow("PreviewWidth key") << "HScroll8" << +HomeKey << 1 << main << 1;
        QTest::newRow("PreviewHeight code") << "HScroll9" << +Code << 100 << main << 1;
        QTest::newRow("ZoomRatio arrow") << "HScroll10" << +Arrow << 6 << untouched << 0;
        QTest::newRow("PictureFit arrow") << "HScroll6" << +Arrow << 6 << "7935,5535,6" << 0;
        QTest::newRow("Contrast code") << "HScroll12" << +Code << 150 << main << 0;
        QTest::newRow("RunEfficiency key") << "HScroll11" << +HomeKey << 1 << main << 1;
        QTest::newRow("PreviewFontSize code") << "HScroll4" << +Code << 40 << untouched << 0;
    }
    void settle()
    {
        QFETCH(QString, name);
        QFETCH(int, how);
        QFETCH(int, value);
        QFETCH(QString, title);
        QFETCH(int, focusMoves);
        const QImage image = m_canvas->image();
        const QRect panelAt = panel()->geometry();
        const int bands = m_run->bandCount();
        QSignalSpy fontSize(m_controller.get(), &SettingsController::previewFontSizeChanged);
        ScrollBar* b = bar(name);
        if (how == Arrow) {
            QTest::mouseClick(b, Qt::LeftButton, {},
                              scrollBarPart(b, QStyle::SC_ScrollBarAddLine).center());
        } else if (how == Code) {
            b->setValue(value);
        } else {
            b->setFocus();
            QTest::keyClick(b, how == HomeKey ? Qt::Key_Home : Qt::Key_End);
        }
        QCOMPARE(b->value(), value);
        QCOMPARE(m_window.m_title, title);
        QCOMPARE(m_window.m_focusMoves, focusMoves);
        QCOMPARE(m_canvas->image(), image);
        QCOMPARE(panel()->geometry(), panelAt);
        QCOMPARE(fontSize.count(), name == "HScroll4" ? 1 : 0);
        QCOMPARE(m_tables->active().size(), name == "HScroll12" ? 49 : 96);
        QCOMPARE(m_run->bandCount(), name == "HScroll11" ? 1 : bands);
    }

    void linkedSampling_data()
    {
        QTest::addColumn<Setting>("dragged");
        QTest::addColumn<Setting>("other");
        QTest::addColumn<bool>("linked");
        QTest::newRow("X unlinked") << Setting::SampleX << Setting::SampleY << false;
        QTest::newRow("Y unlinked") << Setting::SampleY << Setting::SampleX << false;
        QTest::newRow("X linked") << Setting::SampleX << Setting::SampleY << true;
        QTest::newRow("Y linked") << Setting::SampleY << Setting::SampleX << true;
    }
    void linkedSampling()
    {
        QFETCH(Setting, dragged);
        QFETCH(Setting, other);
        QFETCH(bool, linked);
        m_page->linkSampling()->setChecked(linked);
        const int otherBefore = bar(other)->value();
        const int pos = dragTo(bar(dragged), 150);
        QCOMPARE(bar(other)->value(), linked ? pos : otherBefore);
        QCOMPARE(m_window.m_title,
                 linked ? WindowContext::MainWindowTitle() : QStringLiteral("before"));
        QCOMPARE(m_window.m_focusMoves > 0, linked);
        release(bar(dragged));
    }

    void zoom_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<bool>("picture");
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("scale");
        QTest::newRow("1 tenfold") << 1 << true << "0.1" << 10;
        QTest::newRow("3") << 3 << false << "0.3" << 0;
        QTest::newRow("6 natural") << 6 << true << "1" << 1;
        QTest::newRow("6 no picture") << 6 << false << "1" << 0;
        QTest::newRow("8") << 8 << false << "3" << 0;
    }
    void zoom()
    {
        QFETCH(int, value);
        QFETCH(bool, picture);
        QFETCH(QString, title);
        QFETCH(int, scale);
        QImage image(20, 10, QImage::Format_RGB32);
        image.fill(Qt::blue);
        if (picture)
            m_holder->setPicture(image);
        m_canvas->line(0, 0, 3000, 3000); // must be cleared
        ScrollBar* b = bar(Setting::ZoomRatio);
        QCOMPARE(dragTo(b, value), value);
        QCOMPARE(m_window.m_title, title);
        const ColorValue blue = 0xFF0000, white = 0xFFFFFF;
        if (picture) {
            QCOMPARE(m_canvas->pixelAt((20 * scale - 1) * Tw, (10 * scale - 1) * Tw), blue);
            QCOMPARE(m_canvas->pixelAt(20 * scale * Tw, 0), white);
        }
        QCOMPARE(m_canvas->pixelAt(1500, 1500), white);
        release(b);
        QCOMPARE(m_window.m_title, title); // no settle handling
    }

    // The viewport clips the panel; VScroll1 moves it, whatever moves the bar.
    void panelScrolling()
    {
        QCOMPARE(m_page->objectName(), QStringLiteral("Frame3"));
        QCOMPARE(m_page->findChild<QWidget*>(QStringLiteral("Picture3"))->geometry(),
                 TwipsRect(50, 240, 7815, 6315));
        QCOMPARE(panel()->geometry(), TwipsRect(0, 0, 7695, 7455));
        m_page->setPanelScrollRange();
        ScrollBar* v = m_page->panelBar();
        QCOMPARE(QList<int>({v->minimum(), v->maximum(), v->singleStep(), v->pageStep()}),
                 QList<int>({0, 1780, 1, 178}));

        const int pos = dragTo(v, 900);
        QCOMPARE(panel()->pos(), QPoint(0, TwipsToPixels(-pos)));
        QCOMPARE(m_window.m_title, QStringLiteral("before"));
        release(v);
        QCOMPARE(m_window.m_title, WindowContext::MainWindowTitle());
        QCOMPARE(m_window.m_focusMoves, 1);
        QTest::mouseClick(v, Qt::LeftButton, {},
                          scrollBarPart(v, QStyle::SC_ScrollBarAddLine).center());
        QCOMPARE(v->value(), pos + 1);
        QCOMPARE(panel()->pos(), QPoint(0, TwipsToPixels(-pos - 1)));
        // The track and the keys move the panel with the thumb.
        QTest::mouseClick(v, Qt::LeftButton, {},
                          scrollBarPart(v, QStyle::SC_ScrollBarAddPage).center());
        QCOMPARE(v->value(), pos + 1 + 178);
        QCOMPARE(panel()->pos(), QPoint(0, TwipsToPixels(-v->value())));
        v->setFocus();
        QTest::keyClick(v, Qt::Key_Home);
        QCOMPARE(panel()->pos(), QPoint(0, 0));
    }

    // A notch of the wheel, over the panel (a label, an unfocused bar) or its bar, moves the
    // panel about three lines of text.
    void panelWheel()
    {
        m_page->setPanelScrollRange();
        const int lines = m_page->fontMetrics().lineSpacing() * 15;
        for (const auto& [over, notches, value] : {std::tuple{"HScroll12Caption", -1, 3 * lines},
                                                   {"HScroll5", -1, 6 * lines},
                                                   {"VScroll1", 2, 0}}) {
            auto* target = m_page->findChild<QWidget*>(over);
            const QPointF at = target->rect().center();
            QWheelEvent wheel(at, target->mapToGlobal(at), {}, QPoint(0, 120 * notches), {}, {},
                              Qt::NoScrollPhase, false);
            QApplication::sendEvent(target, &wheel);
            QCOMPARE(m_page->panelBar()->value(), value);
            QCOMPARE(panel()->pos(), QPoint(0, TwipsToPixels(-value)));
        }
        QCOMPARE(bar(Setting::CanvasColor)->value(), 0);
    }

    // The style draws no focus mark on a scroll bar: the bar with the focus, and only that
    // one, is framed in the highlight colour.
    void focusFrameOnlyWithTheFocus()
    {
        ScrollBar* contrast = bar(Setting::Contrast);
        const QRgb highlight = contrast->palette().color(QPalette::Highlight).rgb();
        const auto framed = [highlight](ScrollBar* b) {
            const QImage shown = b->grab().toImage();
            return shown.pixel(0, shown.height() / 2) == highlight &&
                   shown.pixel(shown.width() - 1, shown.height() / 2) == highlight;
        };
        QVERIFY(!framed(contrast));
        contrast->setFocus();
        QVERIFY(contrast->hasFocus());
        QVERIFY(framed(contrast));
        QVERIFY(!framed(bar(Setting::SampleX)));
    }

    void resetToDefaults()
    {
        holdAt(bar(Setting::CanvasColor), 256); // the value is the colour: green 1
        QCOMPARE(m_window.m_title, QStringLiteral("256"));
        QCOMPARE(m_canvas->pixelAt(0, 0), 0x000100);
        holdAt(bar(Setting::PreviewWidth), 3000);
        holdAt(bar(Setting::PreviewHeight), 1200);
        for (ScrollBar* b : m_page->findChildren<ScrollBar*>())
            b->setSliderDown(false);
        const std::map<Setting, int> changed = {
            {Setting::ColorLevel, 7},       {Setting::SampleX, 100},
            {Setting::SampleY, 50},         {Setting::PictureFit, 50},
            {Setting::PreviewFontSize, 40}, {Setting::ZoomRatio, 2},
            {Setting::Contrast, 150},       {Setting::IgnoreValue, 9},
            {Setting::RunEfficiency, 33}};
        for (const auto& [s, v] : changed)
            bar(s)->setValue(v);
        m_page->removeBlankLinesBox()->setChecked(true);
        const QImage image = m_canvas->image();
        QStringList order;
        QObject guard;
        for (const SettingRow& row : AllSettings())
            connect(bar(row.setting), &ScrollBar::settled, &guard,
                    [&order, &row] { order << row.name; });
        QSignalSpy fontSize(m_controller.get(), &SettingsController::previewFontSizeChanged);

        QTest::mouseClick(m_page->findChild<QPushButton*>(QStringLiteral("Command8")),
                          Qt::LeftButton);

        QCOMPARE(order.join(' '), QStringLiteral("ColorLevel SampleX SampleY PreviewFontSize "
                                                 "PictureFit CanvasColor PreviewWidth "
                                                 "PreviewHeight ZoomRatio Contrast"));
        for (const SettingRow& row : AllSettings())
            QCOMPARE(bar(row.setting)->value(),
                     row.resetValue ? *row.resetValue : changed.at(row.setting));
        QCOMPARE(m_canvas->image(), image);
        QCOMPARE(m_canvas->backColor(), 256);
        QCOMPARE(fontSize.count(), 1);
        QCOMPARE(fontSize.at(0).at(0).toInt(), 24);
        QCOMPARE(m_tables->active().size(), 13);
        QCOMPARE(m_run->bandCount(), 33);
        QCOMPARE(m_window.m_title, WindowContext::MainWindowTitle());

        // A run reads the bars as they stand.
        const GenerationSettings& settings = *m_page;
        QCOMPARE(QList<int>({settings.sampleX(), settings.sampleY(), settings.colorLevel(),
                             settings.ignoreValue(), settings.pictureFit()}),
                 QList<int>({30, 30, 1, 9, 5}));
        QVERIFY(settings.removeBlankLines());
        QCOMPARE(&settings.charTable(), &m_tables->active());
    }
};

QTEST_MAIN(TestSettingsPage)
#include "tst_settingspage.moc"
