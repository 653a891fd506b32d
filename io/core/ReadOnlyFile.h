#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// A file opened for reading with positioned reads. Opening never blocks (a FIFO without a
// writer would otherwise hang the caller); readers check RegularFileSize() before reading so
// that directories, devices and pipes are turned away.
class ReadOnlyFile {
public:
    explicit ReadOnlyFile(const std::string& path);
    ~ReadOnlyFile();
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    bool IsOpen() const { return m_fd >= 0; }
    // The size of a regular file; nothing for anything else or when the file is not open.
    std::optional<std::uint64_t> RegularFileSize() const;
    // Reads exactly size bytes starting at offset; false on a short read or an error.
    bool ReadAt(std::uint64_t offset, void* data, std::size_t size) const;

private:
    int m_fd = -1;
};
