#pragma once

#include <QScrollBar>

namespace tessivo {

// A scroll bar that tells a drag from a settle. dragged() comes for every new thumb position
// while the user drags the thumb; settled() comes for every other change of the value: arrows,
// track, keys, the end of a drag, and setValue() with a different value (delivered at once,
// nested in the assignment). During a drag value() still holds the old value: current() is the
// thumb's position.
// Tab and a click give the bar the keyboard focus, which it shows with a frame; its keys (arrows,
// Page Up and Down, Home and End) then settle it.
class ScrollBar : public QScrollBar {
    Q_OBJECT

public:
    explicit ScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    // A bar takes the wheel only while it has the keyboard focus, so that a wheel turned over it
    // in passing changes nothing; the wheel then goes to the widget beneath (a panel that
    // scrolls). A bar that scrolls a view may take it always.
    void setWheelNeedsFocus(bool needsFocus) { m_wheelNeedsFocus = needsFocus; }
    // How far one notch of the wheel moves the value; 0 (the default) leaves it to the style
    // (three small changes).
    void setWheelStep(int step) { m_wheelStep = step; }

    // Sets range and steps in one call.
    void configure(int minimum, int maximum, int smallChange, int largeChange, int value);
    int current() const { return sliderPosition(); }

signals:
    void dragged(int position);
    void settled(int value);

protected:
    void wheelEvent(QWheelEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_wheelNeedsFocus = true;
    int m_wheelStep = 0;
    qint64 m_wheelRest = 0; // wheel turned but not yet a whole step
};

} // namespace tessivo
