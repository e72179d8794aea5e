#pragma once

#include <QScrollBar>

namespace tessivo {

// A scroll bar that tells a drag from a settle. dragged() comes for every new thumb position
// while the user drags the thumb; settled() comes for every other change of the value: arrows,
// track, keys, the end of a drag, and setValue() with a different value (delivered at once,
// nested in the assignment). During a drag value() still holds the old value: current() is the
// thumb's position.
class ScrollBar : public QScrollBar {
    Q_OBJECT

public:
    explicit ScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    // Sets range and steps in one call.
    void configure(int minimum, int maximum, int smallChange, int largeChange, int value);
    int current() const { return sliderPosition(); }

signals:
    void dragged(int position);
    void settled(int value);
};

} // namespace tessivo
