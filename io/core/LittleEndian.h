#pragma once

#include <bit>
#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

// The binary formats read here store their fields little-endian, at any byte address: these
// read and write one such field whatever the machine's byte order and alignment.

template <typename T>
T LoadLE(const void* bytes)
{
    static_assert(std::is_arithmetic_v<T>);
    unsigned char ordered[sizeof(T)];
    std::memcpy(ordered, bytes, sizeof(T));
    if constexpr (std::endian::native == std::endian::big)
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i)
            std::swap(ordered[i], ordered[sizeof(T) - 1 - i]);
    T value;
    std::memcpy(&value, ordered, sizeof(T));
    return value;
}

template <typename T>
void StoreLE(void* bytes, T value)
{
    static_assert(std::is_arithmetic_v<T>);
    unsigned char ordered[sizeof(T)];
    std::memcpy(ordered, &value, sizeof(T));
    if constexpr (std::endian::native == std::endian::big)
        for (std::size_t i = 0; i < sizeof(T) / 2; ++i)
            std::swap(ordered[i], ordered[sizeof(T) - 1 - i]);
    std::memcpy(bytes, ordered, sizeof(T));
}
