#include "engine/OutputFile.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace tessivo {

namespace {

constexpr char16_t EscapedByteBase = 0xDC00;

// The length of the well-formed UTF-8 sequence at the start of bytes, or 0 where there is none.
int utf8SequenceAt(const unsigned char* bytes, qsizetype available)
{
    const unsigned lead = bytes[0];
    int length = 0;
    unsigned low = 0x80, high = 0xBF; // the range of the second byte
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0)
            low = 0xA0; // shorter forms of the same character
        else if (lead == 0xED)
            high = 0x9F; // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F; // past U+10FFFF
    } else {
        return 0;
    }
    if (available < length || bytes[1] < low || bytes[1] > high)
        return 0;
    for (int i = 2; i < length; ++i) {
        if ((bytes[i] & 0xC0) != 0x80)
            return 0;
    }
    return length;
}

bool isEscapedByte(QChar c)
{
    return c.unicode() >= EscapedByteBase + 0x80 && c.unicode() <= EscapedByteBase + 0xFF;
}

// The new files of outputs in progress, for the interrupt handler to remove. More than any run
// has at once (one per job, and jobs are at most 256).
constexpr int TemporarySlots = 512;
std::array<std::atomic<const char*>, TemporarySlots> temporaries{};

int claimSlot(const char* path)
{
    for (int i = 0; i < TemporarySlots; ++i) {
        const char* none = nullptr;
        if (temporaries[std::size_t(i)].compare_exchange_strong(none, path))
            return i;
    }
    return -1;
}

extern "C" void removeTemporariesAndExit(int signal)
{
    for (std::atomic<const char*>& slot : temporaries) {
        if (const char* path = slot.load())
            ::unlink(path);
    }
    ::_exit(128 + signal);
}

// The longest name a folder takes; NAME_MAX where the system does not say.
qsizetype longestNameIn(const QByteArray& folder)
{
    const long most = ::pathconf(folder.isEmpty() ? "." : folder.constData(), _PC_NAME_MAX);
    return most > 0 ? qsizetype(most) : qsizetype(NAME_MAX);
}

QByteArray folderOf(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// The first keep bytes of text at most, never cut inside a UTF-8 sequence.
QByteArray cutUtf8(const QByteArray& text, qsizetype keep)
{
    if (keep >= text.size())
        return text;
    qsizetype end = std::max<qsizetype>(keep, 0);
    while (end > 0 && (quint8(text[end]) & 0xC0) == 0x80)
        --end;
    return text.left(end);
}

// The new file's name beside target: target's name with suffix, its stem shortened where the
// whole would be longer than the folder takes, so that a name the system takes always has a new
// file; the extension is kept, to tell what the file is.
QByteArray temporaryNameFor(const QByteArray& target, const QByteArray& suffix)
{
    const QByteArray folder = folderOf(target);
    const QByteArray name = target.mid(target.lastIndexOf('/') + 1);
    const qsizetype excess = name.size() + suffix.size() - longestNameIn(folder);
    if (excess <= 0)
        return target + suffix;
    constexpr qsizetype LongestExtension = 16;
    qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0 || name.size() - dot > LongestExtension)
        dot = name.size();
    const QByteArray stem = cutUtf8(name.left(dot), dot - excess);
    return target.left(target.size() - name.size()) + stem + name.mid(dot) + suffix;
}

// A name that leads, itself or through links, to a link of a process's open files
// (/proc/PID/fd/N, which /dev/stdout and /dev/fd/N lead to): it stands for that open file,
// wherever the file lies, so it is written where the file is, never replaced.
struct OpenFileLink {
    pid_t process = 0;
    int descriptor = -1;
};

std::optional<OpenFileLink> openFileLinkOf(QByteArray path)
{
    constexpr int MostLinks = 40; // as the system follows them
    for (int hop = 0; hop < MostLinks; ++hop) {
        const QByteArray folder = folderOf(path);
        const QByteArray leaf = path.mid(path.lastIndexOf('/') + 1);
        char resolved[PATH_MAX];
        if (::realpath(folder.constData(), resolved)) {
            int process = 0, task = 0, end = 0;
            const bool openFiles =
                (std::sscanf(resolved, "/proc/%d/fd%n", &process, &end) == 1 &&
                 resolved[end] == '\0') ||
                (std::sscanf(resolved, "/proc/%d/task/%d/fd%n", &process, &task, &end) == 2 &&
                 resolved[end] == '\0');
            bool ok = false;
            const int descriptor = leaf.toInt(&ok);
            if (openFiles && ok && descriptor >= 0)
                return OpenFileLink{pid_t(process), descriptor};
        }
        struct stat status {};
        if (::lstat(path.constData(), &status) != 0 || !S_ISLNK(status.st_mode))
            return std::nullopt;
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.constData(), target, sizeof target);
        if (length <= 0 || length >= ssize_t(sizeof target))
            return std::nullopt;
        const QByteArray next(target, length);
        path = next.startsWith('/') ? next : folder + '/' + next;
    }
    return std::nullopt;
}

// Where a dangling link leads: the file the link names, to be made there, as a shell's
// redirection makes it. Empty where the name is no link, or the links go round.
QByteArray danglingTargetOf(QByteArray path)
{
    constexpr int MostLinks = 40;
    bool linked = false;
    for (int hop = 0; hop < MostLinks; ++hop) {
        struct stat status {};
        if (::lstat(path.constData(), &status) != 0)
            return linked ? path : QByteArray();
        if (!S_ISLNK(status.st_mode))
            return {};
        char target[PATH_MAX];
        const ssize_t length = ::readlink(path.constData(), target, sizeof target);
        if (length <= 0 || length >= ssize_t(sizeof target))
            return {};
        const QByteArray next(target, length);
        path = next.startsWith('/') ? next : folderOf(path) + '/' + next;
        linked = true;
    }
    return {};
}

} // namespace

QString DecodeFileName(const QByteArray& bytes)
{
    QString name;
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = utf8SequenceAt(data + i, bytes.size() - i);
        if (length == 0) {
            name += QChar(char16_t(EscapedByteBase + data[i]));
            ++i;
        } else {
            name += QString::fromUtf8(bytes.constData() + i, length);
            i += length;
        }
    }
    return name;
}

QByteArray EncodeFileName(const QString& name)
{
    QByteArray bytes;
    qsizetype start = 0; // of the text not yet encoded
    for (qsizetype i = 0; i < name.size(); ++i) {
        const bool paired = i > 0 && name[i - 1].isHighSurrogate();
        if (isEscapedByte(name[i]) && !paired) {
            bytes += QStringView(name).sliced(start, i - start).toUtf8();
            bytes += char(name[i].unicode() - EscapedByteBase);
            start = i + 1;
        }
    }
    return bytes + QStringView(name).sliced(start).toUtf8();
}

bool QtReachesFileName(const QString& name)
{
    return EncodeFileName(name) == name.toUtf8();
}

QString SystemErrorText(int error)
{
    if (const char* text = ::strerrordesc_np(error))
        return QString::fromUtf8(text);
    return QStringLiteral("error %1").arg(error);
}

bool WriteAll(int fd, const QByteArray& bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
        } else if (n == 0) {
            errno = EIO;
            return false;
        } else if (errno != EINTR) {
            return false;
        }
    }
    return true;
}

OutputFile::OutputFile(QByteArray name)
    : m_name(std::move(name))
{
}

OutputFile::~OutputFile()
{
    discard();
}

bool OutputFile::fail(Problem problem, int error)
{
    m_problem = problem;
    m_error = error;
    discard();
    return false;
}

bool OutputFile::open(Options options)
{
    m_options = options;
    if (const std::optional<OpenFileLink> link = openFileLinkOf(m_name)) {
        // One of this process's own files (its standard output, say) is written through the
        // descriptor it is open on, where the next byte goes: what a shell wrote there before
        // and after stays in order. Another process's is opened to add to it.
        if (link->process == ::getpid()) {
            const int flags = ::fcntl(link->descriptor, F_GETFL);
            if (flags < 0)
                return fail(Problem::System, errno);
            if ((flags & O_ACCMODE) == O_RDONLY)
                return fail(Problem::System, EBADF);
            m_fd = ::fcntl(link->descriptor, F_DUPFD_CLOEXEC, 0);
        } else {
            m_fd = ::open(m_name.constData(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
        }
        return m_fd >= 0 || fail(Problem::System, errno);
    }
    struct stat existing {};
    const bool exists = ::stat(m_name.constData(), &existing) == 0;
    if (!exists) {
        if (errno != ENOENT)
            return fail(Problem::System, errno);
        // A link that leads nowhere yet: the file it names is made, and the link stays.
        // Told to keep what exists, the link is kept as it is.
        const QByteArray dangling = danglingTargetOf(m_name);
        if (!dangling.isEmpty() && options.keepExisting)
            return fail(Problem::Exists);
        m_target = dangling.isEmpty() ? m_name : dangling;
    } else if (S_ISDIR(existing.st_mode)) {
        return fail(Problem::System, EISDIR);
    } else if (!S_ISREG(existing.st_mode)) {
        // Opening a pipe waits until something reads it, for ever if nothing does.
        const int wait = options.neverWait ? O_NONBLOCK : 0;
        m_fd = ::open(m_name.constData(), O_WRONLY | O_NOCTTY | O_CLOEXEC | wait);
        if (m_fd < 0 && errno == ENXIO && S_ISFIFO(existing.st_mode))
            return fail(Problem::NoReader);
        return m_fd >= 0 || fail(Problem::System, errno);
    } else if (options.keepExisting) {
        return fail(Problem::Exists);
    } else if (::access(m_name.constData(), W_OK) != 0 || (existing.st_mode & 0222) == 0) {
        // A file on a file system mounted read-only is not read-only itself.
        return errno == EROFS ? fail(Problem::System, EROFS) : fail(Problem::ReadOnly);
    } else {
        // A link stays a link: the file it leads to is replaced.
        char resolved[PATH_MAX];
        if (!::realpath(m_name.constData(), resolved))
            return fail(Problem::System, errno);
        m_target = resolved;
    }

    static std::atomic<unsigned> serial = 0;
    do {
        release();
        m_temporary = temporaryNameFor(m_target, '.' + QByteArray::number(::getpid()) + '-' +
                                                     QByteArray::number(serial++) + ".part");
        // Registered before it exists, so that an interrupt never misses it.
        m_slot = claimSlot(m_temporary.constData());
        m_fd = ::open(m_temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    } while (m_fd < 0 && errno == EEXIST);
    if (m_fd < 0)
        return fail(Problem::System, errno);
    m_replacing = exists;
    if (exists) {
        if (::fchmod(m_fd, existing.st_mode & 07777) != 0)
            return fail(Problem::System, errno);
        // Only root may give a file away; for anyone else it is theirs already, or cannot be.
        if (::geteuid() == 0 && ::fchown(m_fd, existing.st_uid, existing.st_gid) != 0)
            return fail(Problem::System, errno);
    }
    return true;
}

bool OutputFile::write(const QByteArray& bytes)
{
    if (m_fd < 0)
        return false;
    if (!m_options.neverWait || !m_temporary.isEmpty())
        return WriteAll(m_fd, bytes) || fail(Problem::System, errno);
    // Opened without waiting: what the pipe does not take at once is waited for as long as its
    // reader keeps taking some.
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, std::size_t(bytes.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || errno != EAGAIN)
            return fail(Problem::System, n == 0 ? EIO : errno);
        pollfd ready{m_fd, POLLOUT, 0};
        const int polled = ::poll(&ready, 1, StalledMilliseconds);
        if (polled == 0)
            return fail(Problem::Stalled);
        if (polled < 0 && errno != EINTR)
            return fail(Problem::System, errno);
    }
    return true;
}

bool OutputFile::commit()
{
    if (m_fd < 0)
        return false;
    const bool sync =
        m_options.sync == Sync::Always || (m_options.sync == Sync::WhenReplacing && m_replacing);
    if (sync && !m_temporary.isEmpty() && ::fsync(m_fd) != 0)
        return fail(Problem::System, errno);
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0)
        return fail(Problem::System, errno);
    if (m_temporary.isEmpty())
        return true;

    int renamed = 0;
    if (m_options.keepExisting) {
        // A file that appeared since open is kept all the same.
        renamed = ::renameat2(AT_FDCWD, m_temporary.constData(), AT_FDCWD, m_target.constData(),
                              RENAME_NOREPLACE);
        if (renamed != 0 && (errno == EINVAL || errno == ENOSYS)) {
            renamed = ::link(m_temporary.constData(), m_target.constData());
            if (renamed == 0)
                ::unlink(m_temporary.constData());
        }
    } else {
        renamed = ::rename(m_temporary.constData(), m_target.constData());
    }
    if (renamed != 0)
        return fail(errno == EEXIST ? Problem::Exists : Problem::System, errno);
    release();
    m_temporary.clear();
    return true;
}

void OutputFile::release()
{
    if (m_slot >= 0)
        temporaries[std::size_t(m_slot)].store(nullptr);
    m_slot = -1;
}

void OutputFile::discard()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.isEmpty())
        ::unlink(m_temporary.constData());
    release();
    m_temporary.clear();
}

QString OutputFile::errorString() const
{
    switch (m_problem) {
    case Problem::None: break;
    case Problem::Exists: return QStringLiteral("the file exists");
    case Problem::ReadOnly: return QStringLiteral("the file is read-only");
    case Problem::NoReader: return QStringLiteral("nothing reads the pipe");
    case Problem::Stalled:
        return QStringLiteral("nothing was taken for %1 s").arg(StalledMilliseconds / 1000);
    case Problem::System: return SystemErrorText(m_error);
    }
    return {};
}

void RemoveOutputsOnInterrupt()
{
    struct sigaction action {};
    action.sa_handler = removeTemporariesAndExit;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        // A signal the program was started ignoring (nohup, a background job) stays ignored.
        struct sigaction before {};
        if (::sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            ::sigaction(signal, &action, nullptr);
    }
}

} // namespace tessivo
