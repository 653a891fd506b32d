#include "AllocationCounter.h"

#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <new>

// Process-wide by nature: operator new has no other place to keep its count.
namespace {

std::atomic<std::size_t> g_liveBytes{0};
std::atomic<std::size_t> g_peakBytes{0};

void Count(void* block)
{
    const std::size_t size = malloc_usable_size(block);
    const std::size_t live = g_liveBytes.fetch_add(size) + size;
    std::size_t peak = g_peakBytes.load();
    while (live > peak && !g_peakBytes.compare_exchange_weak(peak, live)) {
    }
}

void* Allocate(std::size_t size, std::size_t alignment)
{
    void* block = alignment <= alignof(std::max_align_t) ? std::malloc(size == 0 ? 1 : size)
                                                          : std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment);
    if (block)
        Count(block);
    return block;
}

void* AllocateOrThrow(std::size_t size, std::size_t alignment)
{
    if (void* block = Allocate(size, alignment))
        return block;
    throw std::bad_alloc();
}

void Free(void* block)
{
    if (!block)
        return;
    g_liveBytes.fetch_sub(malloc_usable_size(block));
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return AllocateOrThrow(size, 0); }
void* operator new[](std::size_t size) { return AllocateOrThrow(size, 0); }
void* operator new(std::size_t size, std::align_val_t alignment) { return AllocateOrThrow(size, static_cast<std::size_t>(alignment)); }
void* operator new[](std::size_t size, std::align_val_t alignment) { return AllocateOrThrow(size, static_cast<std::size_t>(alignment)); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, 0); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return Allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept { return Allocate(size, static_cast<std::size_t>(alignment)); }
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept { return Allocate(size, static_cast<std::size_t>(alignment)); }

void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }
void operator delete(void* block, std::align_val_t) noexcept { Free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { Free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Free(block); }
void operator delete(void* block, std::align_val_t, const std::nothrow_t&) noexcept { Free(block); }
void operator delete[](void* block, std::align_val_t, const std::nothrow_t&) noexcept { Free(block); }

namespace hostile {

PeakAllocation::PeakAllocation() : m_start(g_liveBytes.load())
{
    g_peakBytes.store(m_start);
}

std::size_t PeakAllocation::Bytes() const
{
    const std::size_t peak = g_peakBytes.load();
    return peak > m_start ? peak - m_start : 0;
}

}  // namespace hostile
