#include "loading/MappedFile.h"

#include <QFile>

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <mutex>

namespace tessivo {

namespace {

// The mappings in use, for the signal handler: it may only read plain atomics. One a thread at
// most is in use at a time, so a few dozen are plenty; a file that finds no slot free is not
// mapped.
struct Slot {
    std::atomic<std::uintptr_t> begin{0};
    std::atomic<std::uintptr_t> end{0}; // whole pages
    std::atomic<bool> damaged{false};
};
constexpr int SlotCount = 64;
std::array<Slot, SlotCount> mappings;
std::mutex slotsLock;
std::uintptr_t pageBytes = 4096; // set before the handler is installed
struct sigaction previousHandler {};

void onBusError(int signal, siginfo_t* info, void* context)
{
    const auto at = std::uintptr_t(info->si_addr);
    for (Slot& slot : mappings) {
        const std::uintptr_t begin = slot.begin.load();
        const std::uintptr_t end = slot.end.load();
        if (begin == 0 || at < begin || at >= end)
            continue;
        // Zeros from the page that failed to the end of the mapping; the read that failed is
        // then made again, and finds them.
        const std::uintptr_t from = at / pageBytes * pageBytes;
        if (mmap(reinterpret_cast<void*>(from), end - from, PROT_READ,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0) != MAP_FAILED) {
            slot.damaged.store(true);
            return;
        }
    }
    // Not a mapping of ours: what would have happened without this handler happens.
    if (previousHandler.sa_flags & SA_SIGINFO) {
        previousHandler.sa_sigaction(signal, info, context);
    } else if (previousHandler.sa_handler != SIG_DFL && previousHandler.sa_handler != SIG_IGN) {
        previousHandler.sa_handler(signal);
    } else {
        std::signal(signal, SIG_DFL);
        raise(signal);
    }
}

void installHandler()
{
    static std::once_flag once;
    std::call_once(once, [] {
        pageBytes = std::uintptr_t(sysconf(_SC_PAGESIZE));
        struct sigaction action {};
        action.sa_sigaction = onBusError;
        action.sa_flags = SA_SIGINFO | SA_NODEFER;
        sigemptyset(&action.sa_mask);
        sigaction(SIGBUS, &action, &previousHandler);
    });
}

} // namespace

MappedFile::MappedFile(QFile& file)
{
    struct stat status {};
    if (fstat(file.handle(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size <= 0)
        return;
    const std::lock_guard hold(slotsLock);
    for (int i = 0; i < SlotCount && m_slot < 0; ++i) {
        if (mappings[std::size_t(i)].begin.load() == 0)
            m_slot = i;
    }
    if (m_slot < 0)
        return;
    installHandler();
    void* data =
        mmap(nullptr, std::size_t(status.st_size), PROT_READ, MAP_PRIVATE, file.handle(), 0);
    if (data == MAP_FAILED) {
        m_slot = -1;
        return;
    }
    m_data = static_cast<const char*>(data);
    m_size = qsizetype(status.st_size);
    Slot& slot = mappings[std::size_t(m_slot)];
    slot.damaged.store(false);
    slot.end.store((std::uintptr_t(m_data) + std::uintptr_t(m_size) + pageBytes - 1) / pageBytes *
                   pageBytes);
    slot.begin.store(std::uintptr_t(m_data));
}

MappedFile::~MappedFile()
{
    if (!m_data)
        return;
    munmap(const_cast<char*>(m_data), std::size_t(m_size));
    const std::lock_guard hold(slotsLock);
    mappings[std::size_t(m_slot)].begin.store(0);
}

QByteArray MappedFile::bytes() const
{
    return m_data ? QByteArray::fromRawData(m_data, m_size) : QByteArray();
}

void MappedFile::release(qsizetype offset) const
{
    if (!m_data)
        return;
    const auto page = qsizetype(pageBytes);
    const qsizetype end = std::min(offset, m_size) / page * page;
    if (end > 0)
        madvise(const_cast<char*>(m_data), std::size_t(end), MADV_DONTNEED);
}

bool MappedFile::damaged() const
{
    return m_slot >= 0 && mappings[std::size_t(m_slot)].damaged.load();
}

} // namespace tessivo
