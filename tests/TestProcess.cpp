#include "TestProcess.h"

#include <QDir>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>

namespace {

std::atomic<int> waits{0};

// A wait asked for on a descriptor that is open: counted and answered at once; the system's
// answer to any other.
int notWaiting(int fd)
{
    if (::fcntl(fd, F_GETFD) < 0)
        return -1;
    ++waits;
    return 0;
}

struct OwnFolders {
    OwnFolders()
    {
        for (const char* variable : {"XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_DATA_HOME"}) {
            const QString folder = home.filePath(QString::fromLatin1(variable).toLower());
            QDir().mkpath(folder);
            qputenv(variable, QFile::encodeName(folder));
        }
    }
    QTemporaryDir home;
};
const OwnFolders ownFolders;

} // namespace

int tessivo::testing::DiskWaits()
{
    return waits.load();
}

extern "C" int fsync(int fd)
{
    return notWaiting(fd);
}

extern "C" int fdatasync(int fd)
{
    return notWaiting(fd);
}
