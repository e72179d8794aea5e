#include "cli/FileArguments.h"

#include "engine/OutputFile.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tessivo {

namespace {

// Standard input's bytes, as a file of this process (-1 before it is read).
int standardInputFd = -1;

QString standardInputPath()
{
    return QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(standardInputFd);
}

} // namespace

bool IsStandardInput(const QString& name)
{
    return name == QLatin1String("-");
}

QString ReadStandardInput(qint64 limit)
{
    if (standardInputFd >= 0)
        return {};
    const int fd = ::memfd_create("tessivo-standard-input", MFD_CLOEXEC);
    if (fd < 0)
        return SystemErrorText(errno);
    char buffer[65536];
    qint64 total = 0;
    for (;;) {
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got == 0)
            break;
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const QString why = SystemErrorText(errno);
            ::close(fd);
            return QStringLiteral("standard input could not be read: %1").arg(why);
        }
        total += got;
        if (total > limit) {
            ::close(fd);
            return QStringLiteral("standard input holds more than %1 MiB, the most a picture may "
                                  "take")
                .arg(limit / (1024 * 1024));
        }
        for (ssize_t written = 0; written < got;) {
            const ssize_t n = ::write(fd, buffer + written, std::size_t(got - written));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                const QString why = SystemErrorText(errno);
                ::close(fd);
                return QStringLiteral("standard input could not be kept: %1").arg(why);
            }
            written += n;
        }
    }
    standardInputFd = fd;
    return {};
}

ReachableFile::ReachableFile(const QString& name)
    : m_path(name)
{
    if (IsStandardInput(name) && standardInputFd >= 0) {
        m_path = standardInputPath();
        return;
    }
    if (QtReachesFileName(name))
        return;
    // Opened as a reader would open it, so a pipe waits for its writer here.
    m_fd = ::open(EncodeFileName(name).constData(), O_RDONLY | O_CLOEXEC);
    if (m_fd >= 0)
        m_path = QStringLiteral("/proc/%1/fd/%2").arg(::getpid()).arg(m_fd);
}

ReachableFile::~ReachableFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString WhyUnopenable(const QString& name)
{
    if (IsStandardInput(name) && standardInputFd >= 0)
        return {};
    // Without waiting for a pipe's writer.
    const int fd = ::open(EncodeFileName(name).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return SystemErrorText(errno);
    struct stat status {};
    const bool folder = ::fstat(fd, &status) == 0 && S_ISDIR(status.st_mode);
    ::close(fd);
    return folder ? SystemErrorText(EISDIR) : QString();
}

} // namespace tessivo
