#include "io/splat/SplatBytes.h"

#include "io/core/ReadOnlyFile.h"

#include <algorithm>
#include <limits>

ReadResult<Bytes> ReadFileBytes(const std::string& path, const char* format)
{
    const ReadOnlyFile file(path);
    const std::optional<std::uint64_t> size = file.RegularFileSize();
    if (!size)
        return Fail(ReadError::CannotOpen, std::string(format) + ": cannot open " + path + " as a regular file");
    if (*size > std::numeric_limits<std::size_t>::max() / 2)
        return Fail(ReadError::TooLarge, std::string(format) + ": the file is too large");
    Bytes bytes(static_cast<std::size_t>(*size));
    if (!bytes.empty() && !file.ReadAt(0, bytes.data(), bytes.size()))
        return Fail(ReadError::CannotOpen, std::string(format) + ": reading " + path + " failed");
    return bytes;
}

Bytes ReadFileStart(const std::string& path, std::size_t count)
{
    const ReadOnlyFile file(path);
    const std::optional<std::uint64_t> size = file.RegularFileSize();
    if (!size)
        return {};
    Bytes bytes(static_cast<std::size_t>(std::min<std::uint64_t>(*size, count)));
    if (!bytes.empty() && !file.ReadAt(0, bytes.data(), bytes.size()))
        return {};
    return bytes;
}
