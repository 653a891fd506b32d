#pragma once

#include "io/core/ReadResult.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

using ByteSpan = std::span<const std::uint8_t>;
using Bytes = std::vector<std::uint8_t>;

// The whole of a regular file; `format` names the format in the failure's reason.
ReadResult<Bytes> ReadFileBytes(const std::string& path, const char* format);

// The first bytes of a regular file, fewer when it is shorter; empty when it cannot be read.
Bytes ReadFileStart(const std::string& path, std::size_t count);

inline std::uint16_t LoadU16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline std::uint32_t LoadU32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint64_t LoadU64(const std::uint8_t* p)
{
    return static_cast<std::uint64_t>(LoadU32(p)) | (static_cast<std::uint64_t>(LoadU32(p + 4)) << 32);
}

inline float LoadF32(const std::uint8_t* p)
{
    const std::uint32_t bits = LoadU32(p);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The lower-cased characters after the last '.' of the file name (not of a folder name).
std::string FileNameExtension(const std::string& path);

// The file name without its folder, lower-cased.
std::string LowerFileName(const std::string& path);
