#pragma once

#include <cstddef>
#include <new>
#include <vector>

// Memory for the large arrays of a loaded scene. Blocks of 2 MiB and more come straight from
// the system, aligned to 2 MiB and advised for transparent huge pages, then populated for
// writing at once: one fault per 2 MiB instead of one per 4 KiB page. Where the kernel refuses
// huge pages or population, the block works as ordinary memory. Smaller blocks come from the
// ordinary heap.
void* AllocateLarge(std::size_t bytes);
// Frees a block from AllocateLarge; bytes must be the size it was allocated with.
void FreeLarge(void* block, std::size_t bytes) noexcept;
// Where AllocateLarge stops using the heap.
inline constexpr std::size_t kLargeAllocationThreshold = std::size_t{2} << 20;

// A standard allocator over AllocateLarge; elements are constructed as std::allocator does.
template <typename T>
class LargeArrayAllocator {
public:
    using value_type = T;

    LargeArrayAllocator() noexcept = default;
    template <typename U>
    LargeArrayAllocator(const LargeArrayAllocator<U>&) noexcept {}

    T* allocate(std::size_t count)
    {
        if (count > std::size_t(-1) / sizeof(T))
            throw std::bad_array_new_length();
        return static_cast<T*>(AllocateLarge(count * sizeof(T)));
    }
    void deallocate(T* block, std::size_t count) noexcept { FreeLarge(block, count * sizeof(T)); }

    template <typename U>
    bool operator==(const LargeArrayAllocator<U>&) const noexcept { return true; }
};

template <typename T>
using LargeArray = std::vector<T, LargeArrayAllocator<T>>;
