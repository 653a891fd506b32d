#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace orrisk::ply {

// The value with its bytes in reverse order (for reading a body whose byte order differs
// from the machine's).
template <typename T>
T ByteSwapped(T value)
{
    static_assert(std::is_arithmetic_v<T>);
    if constexpr (sizeof(T) == 1) {
        return value;
    } else if constexpr (sizeof(T) == 2) {
        return std::bit_cast<T>(__builtin_bswap16(std::bit_cast<std::uint16_t>(value)));
    } else if constexpr (sizeof(T) == 4) {
        return std::bit_cast<T>(__builtin_bswap32(std::bit_cast<std::uint32_t>(value)));
    } else {
        static_assert(sizeof(T) == 8);
        return std::bit_cast<T>(__builtin_bswap64(std::bit_cast<std::uint64_t>(value)));
    }
}

// A value stored at any alignment, swapped when the file's byte order is not the machine's.
template <typename T, bool Swap>
T LoadValue(const std::byte* bytes)
{
    T value;
    std::memcpy(&value, bytes, sizeof(T));
    if constexpr (Swap)
        return ByteSwapped(value);
    else
        return value;
}

}  // namespace orrisk::ply
