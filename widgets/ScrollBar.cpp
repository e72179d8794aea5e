#include "widgets/ScrollBar.h"

#include <QWheelEvent>

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
    // A wheel turned over the bar must not give it the focus, or it would take that wheel.
    if ((focusPolicy() & Qt::WheelFocus) == Qt::WheelFocus)
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
    QScrollBar::wheelEvent(event);
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
