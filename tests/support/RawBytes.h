#pragma once

#include <cstring>
#include <string>
#include <vector>

namespace testsupport {

// The bytes an array holds, for comparing arrays bit for bit (NaNs included) or with files.
template <typename T, typename Allocator>
std::string RawBytes(const std::vector<T, Allocator>& values)
{
    std::string bytes(values.size() * sizeof(T), '\0');
    if (!values.empty())
        std::memcpy(bytes.data(), values.data(), bytes.size());
    return bytes;
}

}  // namespace testsupport
