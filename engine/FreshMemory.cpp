#include "engine/FreshMemory.h"

#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace tessivo {

namespace {

// Below this, the traps saved are too few to be worth a call.
constexpr std::size_t MinBytes = 64 * 1024;

} // namespace

void PrepareForWriting(void* data, std::size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    if (!data || bytes < MinBytes)
        return;
    static const std::uintptr_t page = std::uintptr_t(sysconf(_SC_PAGESIZE));
    const std::uintptr_t begin = (std::uintptr_t(data) + page - 1) / page * page;
    const std::uintptr_t end = (std::uintptr_t(data) + bytes) / page * page;
    if (end > begin)
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_POPULATE_WRITE);
#else
    (void)data;
    (void)bytes;
#endif
}

} // namespace tessivo
