#include "cli/TerminalPlay.h"

#include "engine/OutputFile.h"

#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <optional>

namespace tessivo {

TerminalPlayer::TerminalPlayer(TerminalDevice device)
    : m_device(std::move(device))
{
}

bool TerminalPlayer::show(const QByteArray& frame, int delay)
{
    QByteArray bytes;
    if (!m_started) {
        bytes = QByteArray(terminal::HideCursor) + terminal::ClearScreen;
        m_started = true;
    } else {
        m_device.waitUntil(m_due);
    }
    m_due += delay;
    return m_device.write(bytes + terminal::CursorHome + frame);
}

bool TerminalPlayer::finish()
{
    return !m_started || m_device.write(QByteArray(terminal::ResetColours) + terminal::ShowCursor);
}

QByteArray TerminalRestore(int lines)
{
    return QByteArray(terminal::ResetColours) + terminal::ShowCursor + "\x1b[" +
           QByteArray::number(std::max(lines, 1)) + ";1H\r\n";
}

namespace {

// What the signal handler writes: set before it can run, read only by it.
constexpr std::size_t MostRestoreBytes = 64;
std::array<char, MostRestoreBytes> restoreBytes{};
std::atomic<std::size_t> restoreLength{0};

constexpr int Signals[] = {SIGINT, SIGTERM};
std::array<struct sigaction, 2> previous{};
std::array<bool, 2> installed{};

extern "C" void restoreTerminal(int signal)
{
    const std::size_t length = restoreLength.load();
    for (std::size_t done = 0; done < length;) {
        const ssize_t n = ::write(STDOUT_FILENO, restoreBytes.data() + done, length - done);
        if (n <= 0)
            break;
        done += std::size_t(n);
    }
    // Then what the program does on the signal otherwise: remove its unfinished files and end.
    for (std::size_t i = 0; i < std::size(Signals); ++i) {
        if (Signals[i] != signal)
            continue;
        ::sigaction(signal, &previous[i], nullptr);
        if (previous[i].sa_handler != SIG_DFL && previous[i].sa_handler != SIG_IGN &&
            !(previous[i].sa_flags & SA_SIGINFO)) {
            previous[i].sa_handler(signal);
            return;
        }
    }
    ::raise(signal);
}

void setRestore(const QByteArray& bytes)
{
    const std::size_t length = std::min<std::size_t>(std::size_t(bytes.size()), MostRestoreBytes);
    restoreLength.store(0);
    std::memcpy(restoreBytes.data(), bytes.constData(), length);
    restoreLength.store(length);
}

timespec now()
{
    timespec time{};
    clock_gettime(CLOCK_MONOTONIC, &time);
    return time;
}

} // namespace

StandardOutputTerminal::StandardOutputTerminal()
{
    setRestore(TerminalRestore(1));
    struct sigaction action {};
    action.sa_handler = restoreTerminal;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(Signals); ++i) {
        // A signal the program was started ignoring stays ignored.
        installed[i] = ::sigaction(Signals[i], nullptr, &previous[i]) == 0 &&
                       previous[i].sa_handler != SIG_IGN &&
                       ::sigaction(Signals[i], &action, nullptr) == 0;
    }
}

StandardOutputTerminal::~StandardOutputTerminal()
{
    for (std::size_t i = 0; i < std::size(Signals); ++i) {
        if (installed[i])
            ::sigaction(Signals[i], &previous[i], nullptr);
    }
}

TerminalDevice StandardOutputTerminal::device()
{
    // The clock starts when the first frame is written.
    auto start = std::make_shared<std::optional<timespec>>();
    TerminalDevice device;
    device.write = [start](const QByteArray& bytes) {
        if (!*start)
            *start = now();
        return WriteAll(STDOUT_FILENO, bytes);
    };
    device.waitUntil = [start](qint64 milliseconds) {
        if (!*start)
            return;
        constexpr qint64 NanosecondsPerMillisecond = 1000000, NanosecondsPerSecond = 1000000000;
        const qint64 nanoseconds =
            qint64((*start)->tv_nsec) + milliseconds * NanosecondsPerMillisecond;
        timespec due{};
        due.tv_sec = (*start)->tv_sec + time_t(nanoseconds / NanosecondsPerSecond);
        due.tv_nsec = long(nanoseconds % NanosecondsPerSecond);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
        }
    };
    return device;
}

void StandardOutputTerminal::setLines(int lines)
{
    setRestore(TerminalRestore(lines));
}

} // namespace tessivo
