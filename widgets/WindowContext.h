#pragma once

#include <QString>

namespace tessivo {

// What a page may do to the main window: use its title as a value display and put it back, and
// move the keyboard focus to the window's focus sink. Pages see this, never the window itself.
class WindowContext {
public:
    virtual ~WindowContext() = default;

    // The main window's normal title, with one blank at its end.
    static QString MainWindowTitle();

    virtual void setTitle(const QString& title) = 0;
    virtual void moveFocusToSink() = 0;

    void restoreTitle() { setTitle(MainWindowTitle()); }
    // Title back to normal, then the focus to the sink: the end of most settled changes.
    void restore()
    {
        restoreTitle();
        moveFocusToSink();
    }
};

} // namespace tessivo
