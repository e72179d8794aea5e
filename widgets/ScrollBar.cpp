#include "widgets/ScrollBar.h"

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
    connect(this, &QScrollBar::sliderMoved, this, &ScrollBar::dragged);
    connect(this, &QScrollBar::valueChanged, this, &ScrollBar::settled);
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
