#pragma once

#include "platform/LargeAllocation.h"

#include <cstddef>
#include <cstdint>
#include <utility>

// Bytes a decoder is about to overwrite in full: never zero-filled first, and large blocks come
// from AllocateLarge, populated for writing in one go.
class OverwriteBuffer {
public:
    OverwriteBuffer() = default;
    explicit OverwriteBuffer(std::size_t size)
        : m_data(static_cast<std::uint8_t*>(AllocateLarge(size))), m_size(size)
    {
    }
    ~OverwriteBuffer() { FreeLarge(m_data, m_size); }
    OverwriteBuffer(OverwriteBuffer&& other) noexcept
        : m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0))
    {
    }
    OverwriteBuffer& operator=(OverwriteBuffer&& other) noexcept
    {
        std::swap(m_data, other.m_data);
        std::swap(m_size, other.m_size);
        return *this;
    }

    std::uint8_t* data() const { return m_data; }
    std::size_t size() const { return m_size; }

private:
    std::uint8_t* m_data = nullptr;
    std::size_t m_size = 0;
};
