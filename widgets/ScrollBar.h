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

    // A bar takes the wheel only while it has the keyboard focus, so that a wheel turned over it
    // in passing changes nothing; the wheel then goes to the widget beneath (a panel that
    // scrolls). A bar that scrolls a view may take it always.
    void setWheelNeedsFocus(bool needsFocus) { m_wheelNeedsFocus = needsFocus; }

    // Sets range and steps in one call.
    void configure(int minimum, int maximum, int smallChange, int largeChange, int value);
    int current() const { return sliderPosition(); }

signals:
    void dragged(int position);
    void settled(int value);

protected:
    void wheelEvent(QWheelEvent* event) override;

private:
    bool m_wheelNeedsFocus = true;
};

} // namespace tessivo
