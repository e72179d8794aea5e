#pragma once

#include <QFile>

// The memory of this process as the kernel counts it, in kB (Linux).
namespace MemoryProbe {

// A field of /proc/self/status, such as "VmRSS" (resident now) or "VmHWM" (resident at most).
inline qint64 statusKb(const char* field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray prefix = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(prefix))
            return line.mid(prefix.size()).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

inline qint64 residentKb()
{
    return statusKb("VmRSS");
}

// The peak resident memory since the last call, above what was resident at that call: the
// kernel's high-water mark is reset to the current size by writing 5 to clear_refs.
class Peak {
public:
    Peak() { restart(); }
    void restart()
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5");
        m_start = residentKb();
    }
    qint64 growthKb() const { return statusKb("VmHWM") - m_start; }

private:
    qint64 m_start = 0;
};

} // namespace MemoryProbe
