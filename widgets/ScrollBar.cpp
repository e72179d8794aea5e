#include "widgets/ScrollBar.h"

#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cstdlib>

namespace tessivo {

ScrollBar::ScrollBar(Qt::Orientation orientation, QWidget* parent)
    : QScrollBar(orientation, parent)
{
    // Without tracking, a thumb drag moves only the slider position; the value follows when the
    // thumb is let go.
    setTracking(false);
    // Scroll bars invert their controls so that the wheel and Page Up scroll towards the start;
    // on a horizontal bar that would make the Right key lower the value.
    if (orientation == Qt::Horizontal)
        setInvertedControls(false);
    // Tab and a click give the bar the focus, so that its keys reach it; a wheel turned over the
    // bar must not, or it would take that wheel.
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QScrollBar::sliderMoved, this, &ScrollBar::dragged);
    connect(this, &QScrollBar::valueChanged, this, &ScrollBar::settled);
}

void ScrollBar::wheelEvent(QWheelEvent* event)
{
    if (m_wheelNeedsFocus && !hasFocus()) {
        event->ignore();
        return;
    }
    if (m_wheelStep <= 0) {
        QScrollBar::wheelEvent(event);
        return;
    }
    // A notch is 120 eighths of a degree; a finer wheel moves in proportion. The rest is kept
    // in eighths of a degree times the step, so that nothing is lost to rounding.
    constexpr int Notch = 120;
    const QPoint delta = event->angleDelta();
    m_wheelRest +=
        (std::abs(delta.y()) >= std::abs(delta.x()) ? delta.y() : delta.x()) * qint64(m_wheelStep);
    const qint64 steps = m_wheelRest / Notch;
    m_wheelRest -= steps * Notch;
    // Turned away from the user, the wheel moves towards the start.
    if (steps != 0)
        setValue(int(std::clamp<qint64>(value() - steps, minimum(), maximum())));
    event->accept();
}

void ScrollBar::paintEvent(QPaintEvent* event)
{
    QScrollBar::paintEvent(event);
    if (!hasFocus())
        return;
    // The style draws no focus mark on a scroll bar: a frame in the highlight colour.
    QPainter painter(this);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

void ScrollBar::configure(int minimum, int maximum, int smallChange, int largeChange, int value)
{
    const QSignalBlocker blocker(this);
    setRange(minimum, maximum);
    setSingleStep(smallChange);
    setPageStep(largeChange);
    setValue(value);
}

} // namespace tessivo
