#pragma once

#include <QByteArray>

#include <functional>

namespace tessivo {

// The sequences a terminal stream of several frames is made of.
namespace terminal {
inline constexpr char ClearScreen[] = "\x1b[2J";
inline constexpr char CursorHome[] = "\x1b[H";
inline constexpr char HideCursor[] = "\x1b[?25l";
inline constexpr char ShowCursor[] = "\x1b[?25h";
inline constexpr char ResetColours[] = "\x1b[0m";
} // namespace terminal

// What frames are played on: a terminal that takes bytes, and a clock to wait on.
struct TerminalDevice {
    // Writes all the bytes; false when the terminal cannot take them.
    std::function<bool(const QByteArray&)> write;
    // Returns once this many milliseconds have passed since the first frame was shown.
    std::function<void(qint64)> waitUntil;
};

// Plays frames of terminal art in place: the screen cleared and the cursor hidden first, then
// each frame drawn from the top-left corner once the frame before it has been shown for its
// delay. Waits run from the first frame's start, so that the time spent making a frame is part
// of the delay before it, not added to it. finish() shows the cursor again.
class TerminalPlayer {
public:
    explicit TerminalPlayer(TerminalDevice device);
    // Shows a frame, written as the ansi writer writes a still, for delay milliseconds; false
    // when the terminal cannot be written.
    bool show(const QByteArray& frame, int delay);
    bool finish();

private:
    TerminalDevice m_device;
    qint64 m_due = 0; // when the next frame is shown
    bool m_started = false;
};

// The bytes that leave a terminal as it was after art of this many lines was drawn from its
// top-left corner: colours reset, the cursor shown and on the line below the art.
QByteArray TerminalRestore(int lines);

// Standard output, waited on with the monotonic clock. While it lives, SIGINT and SIGTERM
// (Ctrl+C, kill) write TerminalRestore(lines) there before the program ends as it otherwise
// would.
class StandardOutputTerminal {
public:
    StandardOutputTerminal();
    ~StandardOutputTerminal();
    StandardOutputTerminal(const StandardOutputTerminal&) = delete;
    StandardOutputTerminal& operator=(const StandardOutputTerminal&) = delete;

    TerminalDevice device();
    // The art's lines, once the first frame is known.
    void setLines(int lines);
};

} // namespace tessivo
