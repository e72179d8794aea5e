#include "cli/FileArguments.h"

#include "engine/OutputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tessivo {

ReachableFile::ReachableFile(const QString& name)
    : m_path(name)
{
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
