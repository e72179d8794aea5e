#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QTimer>
#include <QWidget>

#include <cstdio>

namespace probe {

// Prints the resident memory and quits.
inline void reportAndQuit()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmRSS:") || line.startsWith("VmHWM:"))
                std::printf("%s\n", line.simplified().constData());
        }
    }
    QCoreApplication::quit();
}

// Waits for the window's first paint, which comes once the system has exposed it.
class FirstPaint : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && !m_painted) {
            m_painted = true;
            // Reported on the next turn of the event loop, when the rest of the window has been
            // painted too.
            QTimer::singleShot(0, &reportAndQuit);
        }
        return false;
    }

private:
    bool m_painted = false;
};

} // namespace probe

// Reports the resident memory once the window is shown, painted as the user first sees it, and
// quits.
inline void reportWhenShownAndQuit(QWidget& window)
{
    window.installEventFilter(new probe::FirstPaint(&window));
}
