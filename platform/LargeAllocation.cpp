#include "platform/LargeAllocation.h"

#include <cstdint>
#include <cstdlib>

#include <sys/mman.h>

namespace {

constexpr std::size_t kHugePageSize = std::size_t{2} << 20;

#ifdef MADV_POPULATE_WRITE
constexpr int kPopulateWrite = MADV_POPULATE_WRITE;
#else
constexpr int kPopulateWrite = 23;  // Linux 5.14 and later; older kernels answer EINVAL
#endif

std::size_t RoundUpToHugePage(std::size_t bytes)
{
    return (bytes + kHugePageSize - 1) / kHugePageSize * kHugePageSize;
}

// Maps size + one huge page, then trims the ends so that what is left starts on a 2 MiB
// boundary: the kernel can back an aligned range with huge pages from its first byte.
void* MapAligned(std::size_t size)
{
    const std::size_t padded = size + kHugePageSize;
    void* mapped = ::mmap(nullptr, padded, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    const auto start = reinterpret_cast<std::uintptr_t>(mapped);
    const std::uintptr_t aligned = (start + kHugePageSize - 1) / kHugePageSize * kHugePageSize;
    if (aligned > start)
        ::munmap(mapped, aligned - start);
    const std::size_t tail = (start + padded) - (aligned + size);
    if (tail > 0)
        ::munmap(reinterpret_cast<void*>(aligned + size), tail);
    return reinterpret_cast<void*>(aligned);
}

}  // namespace

void* AllocateLarge(std::size_t bytes)
{
    if (bytes < kLargeAllocationThreshold) {
        void* block = std::malloc(bytes == 0 ? 1 : bytes);
        if (!block)
            throw std::bad_alloc();
        return block;
    }
    if (bytes > std::size_t(-1) - 2 * kHugePageSize)
        throw std::bad_alloc();
    const std::size_t size = RoundUpToHugePage(bytes);
    void* block = MapAligned(size);
    if (!block)
        throw std::bad_alloc();
    // Both are hints: a kernel without transparent huge pages or without population answers
    // EINVAL and the pages fault in one by one as usual.
    ::madvise(block, size, MADV_HUGEPAGE);
    ::madvise(block, size, kPopulateWrite);
    return block;
}

void FreeLarge(void* block, std::size_t bytes) noexcept
{
    if (!block)
        return;
    if (bytes < kLargeAllocationThreshold) {
        std::free(block);
        return;
    }
    ::munmap(block, RoundUpToHugePage(bytes));
}
