#include "canvas/ui/CanvasPage.h"

#include "canvas/CanvasModel.h"
#include "history/CanvasHistory.h"
#include "widgets/CanvasWidget.h"
#include "widgets/TwipsLayout.h"
#include "widgets/WindowContext.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

namespace tessivo {

namespace {

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect twips)
{
    return Placed<QPushButton>(parent, name, twips, caption);
}

QComboBox* zoomBox(QWidget* parent, const char* name, const QString& caption, int top)
{
    auto* label = new QLabel(caption, parent);
    PlaceInTwips(label, 3480, top + 45, 255, 255);
    // Only choosing an entry zooms; the box shows "100%" until an entry is chosen.
    auto* box = new QComboBox(parent);
    box->setObjectName(QLatin1String(name));
    box->setPlaceholderText(QStringLiteral("100%"));
    // With no entry chosen the box reads "100%" in the ordinary text colour, not the grey of a
    // hint: the Canvas is at its full size, and the box is not disabled.
    QPalette palette = box->palette();
    for (const auto group : {QPalette::Active, QPalette::Inactive})
        palette.setColor(group, QPalette::PlaceholderText,
                         palette.color(group, QPalette::ButtonText));
    box->setPalette(palette);
    PlaceInTwips(box, 3735, top, 1095, 330);
    return box;
}

} // namespace

CanvasPage::CanvasPage(WindowContext& window, CanvasModel& canvas, CanvasHistory& history,
                       QWidget* parent)
    : QGroupBox(QStringLiteral("画布"), parent)
    , m_window(window)
    , m_canvas(canvas)
    , m_history(history)
{
    setObjectName(QStringLiteral("Frame2"));

    m_canvasWidget = new CanvasWidget(canvas, this);
    m_canvasWidget->move(TwipsRect(120, 240, 0, 0).topLeft());

    m_text = new QPlainTextEdit(this);
    m_text->setObjectName(QStringLiteral("Text2"));
    m_text->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    PlaceInTwips(m_text, 120, 5880, 3255, 660);

    m_zoomX = zoomBox(this, "Combo1", QStringLiteral("X:"), 5850);
    m_zoomY = zoomBox(this, "Combo2", QStringLiteral("Y:"), 6225);

    auto* imprintButton =
        button(this, "Command2", QStringLiteral("印入文字"), {4920, 5850, 1095, 375});
    imprintButton->setToolTip(QStringLiteral("更多设置在'设置选项卡'"));
    auto* clearButton =
        button(this, "Command11", QStringLiteral("清空画布"), {4920, 6190, 1095, 375});
    auto* loadButton =
        button(this, "Command3", QStringLiteral("载入图片"), {6960, 6190, 1095, 375});

    // Picture auto-fit exists on the page but is never offered.
    auto* autoFit = new QCheckBox(QStringLiteral("图像自适应"), this);
    autoFit->setObjectName(QStringLiteral("Check1"));
    autoFit->setEnabled(false);
    autoFit->hide();

    // The Canvas lies beneath the controls when it is made taller than its place.
    m_canvasWidget->lower();

    connect(imprintButton, &QPushButton::clicked, this, &CanvasPage::imprint);
    clearButton->setToolTip(QStringLiteral("清空画布后可按 Ctrl+Z 撤销，Ctrl+Y 重做"));
    loadButton->setToolTip(QStringLiteral("载入的图片可按 Ctrl+Z 撤销，Ctrl+Y 重做"));
    connect(clearButton, &QPushButton::clicked, this, [this] {
        m_history.record();
        m_canvas.clear();
    });
    connect(loadButton, &QPushButton::clicked, this, &CanvasPage::loadPictureRequested);
    connect(m_zoomX, &QComboBox::activated, this, [this](int index) { zoom(m_zoomX, index); });
    connect(m_zoomY, &QComboBox::activated, this, [this](int index) { zoom(m_zoomY, index); });
    for (QComboBox* box : {m_zoomX, m_zoomY}) {
        // A wheel turned over a zoom box in passing must not resize the Canvas: the boxes take
        // the wheel only while they have the keyboard focus, and the wheel gives them none.
        box->setFocusPolicy(Qt::StrongFocus);
        box->installEventFilter(this);
    }

    // An undo puts back the choices the zoom boxes showed.
    m_history.addViewState(
        [this] {
            return QList<int>{m_zoomXIndex, m_zoomYIndex};
        },
        [this](const QList<int>& view) {
            if (view.size() == 2) {
                m_zoomXIndex = view[0];
                m_zoomYIndex = view[1];
                m_zoomX->setCurrentIndex(m_zoomXIndex);
                m_zoomY->setCurrentIndex(m_zoomYIndex);
            }
        });
}

void CanvasPage::fillZoomBoxes()
{
    for (QComboBox* box : {m_zoomX, m_zoomY}) {
        for (int percent = 40; percent <= 100; percent += 10)
            box->addItem(QStringLiteral("%1%").arg(percent));
        box->setCurrentIndex(-1);
    }
}

void CanvasPage::zoom(QComboBox* box, int index)
{
    // Not cumulative: each choice is a fraction of the size at start-up.
    QString text = box->itemText(index);
    text.remove(QLatin1Char('%'));
    const double fraction = text.toDouble() / 100;
    m_history.record();
    if (box == m_zoomX) {
        m_zoomXIndex = index;
        m_canvas.setWidthTwips(float(fraction * m_canvas.baseWidth()));
    } else {
        m_zoomYIndex = index;
        m_canvas.setHeightTwips(float(fraction * m_canvas.baseHeight()));
    }
}

bool CanvasPage::eventFilter(QObject* watched, QEvent* event)
{
    // "X:" losing the focus records the Canvas size.
    if (event->type() == QEvent::FocusOut && watched == m_zoomX)
        m_canvas.recordSize();
    if (event->type() == QEvent::Wheel && (watched == m_zoomX || watched == m_zoomY) &&
        !static_cast<QWidget*>(watched)->hasFocus())
        return true;
    return QGroupBox::eventFilter(watched, event);
}

void CanvasPage::printText()
{
    const QPointF marker = m_canvasWidget->markerPosition();
    // Text starts at the marker's right edge.
    m_canvas.setCurrentPosition(marker.x() + CanvasWidget::MarkerWidth, marker.y());
    m_canvas.print(m_text->toPlainText());
}

void CanvasPage::imprint()
{
    m_history.record();
    printText();
    m_window.moveFocusToSink();
}

void CanvasPage::previewFont(int points)
{
    m_history.record();
    m_canvas.clear();
    m_canvas.setFontSize(points);
    printText();
    m_window.setTitle(QString::number(points));
    m_window.restore();
}

} // namespace tessivo
