#pragma once

// Small helpers shared by the widget tests: finding widgets by object name and driving scroll
// bars with the mouse.

#include <QApplication>
#include <QMessageBox>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTimer>
#include <QtTest>

#include <functional>

namespace tessivo::testing {

// Runs action once a modal window is up (a chooser, a file dialog or a message box), from inside
// its loop.
inline void whenModal(const std::function<bool(QWidget*)>& isIt,
                      const std::function<void(QWidget*)>& action)
{
    QTimer::singleShot(0, [=] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && isIt(modal))
            action(modal);
        else
            whenModal(isIt, action);
    });
}

template <typename T = QWidget> T* child(QWidget* window, const char* name)
{
    T* widget = window->findChild<T*>(QLatin1String(name));
    [&] { QVERIFY2(widget, name); }();
    return widget;
}

// Reaches a scroll bar's protected style option through a member pointer.
struct StyleOptionAccess : QScrollBar {
    static constexpr auto init = &StyleOptionAccess::initStyleOption;
};

// Where a part of a scroll bar (thumb, arrows, track) lies, in the bar's own pixels.
inline QRect scrollBarPart(QScrollBar* bar, QStyle::SubControl control)
{
    QStyleOptionSlider option;
    (bar->*StyleOptionAccess::init)(&option);
    return bar->style()->subControlRect(QStyle::CC_ScrollBar, &option, control, bar);
}

// Drags a horizontal scroll bar's thumb by dx pixels with the mouse, in a number of moves.
inline void dragThumb(QScrollBar* bar, int dx, int moves = 4)
{
    const QPoint start = scrollBarPart(bar, QStyle::SC_ScrollBarSlider).center();
    QTest::mousePress(bar, Qt::LeftButton, {}, start);
    for (int step = 1; step <= moves; ++step)
        QTest::mouseMove(bar, start + QPoint(dx * step / moves, 0));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, start + QPoint(dx, 0));
}

// Closes the message box that comes up next, and keeps its text.
inline void answerMessage(QString* text)
{
    QTimer::singleShot(0, [text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            *text = box->text();
            box->accept();
        } else {
            answerMessage(text);
        }
    });
}

} // namespace tessivo::testing
