#pragma once

#include "io/core/ReadResult.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

using ByteSpan = std::span<const std::uint8_t>;
using Bytes = std::vector<std::uint8_t>;

// The whole of a regular file; `format` names the format in the failure's reason.
ReadResult<Bytes> ReadFileBytes(const std::string& path, const char* format);

// The first bytes of a regular file, fewer when it is shorter; empty when it cannot be read.
Bytes ReadFileStart(const std::string& path, std::size_t count);
