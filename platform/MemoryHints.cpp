#include "platform/MemoryHints.h"

#include <cstdint>

#include <sys/mman.h>
#include <unistd.h>

namespace {

#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;  // Linux 5.14 and later; older kernels answer EINVAL
#endif

// Below this the pages are few and faulting them one by one costs nothing worth a call.
constexpr std::size_t kMinimumBytes = std::size_t{1} << 20;

}  // namespace

void PrefaultForWriting(void* data, std::size_t bytes)
{
    if (!data || bytes < kMinimumBytes)
        return;
    const auto pageSize = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    // Populating writes nothing, so the pages the range only partly covers can be included.
    const std::uintptr_t begin = reinterpret_cast<std::uintptr_t>(data) / pageSize * pageSize;
    const std::uintptr_t end = (reinterpret_cast<std::uintptr_t>(data) + bytes + pageSize - 1) / pageSize * pageSize;
    ::madvise(reinterpret_cast<void*>(begin), end - begin, kPopulateWrite);
}
