#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A scratch file for points that do not fit in memory. It has no name from the moment it
// exists (made nameless where the system can, otherwise unlinked at once), so nothing is left
// behind whatever happens to the process; the space goes back when the object is destroyed.
class SpillFile {
public:
    // In folder, or where $TMPDIR (else /tmp) says when folder cannot take one.
    explicit SpillFile(const std::string& folder);
    ~SpillFile();
    SpillFile(const SpillFile&) = delete;
    SpillFile& operator=(const SpillFile&) = delete;

    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }

    // Appends; false (with Error) when the write failed.
    bool Append(const void* data, std::size_t size);
    // Reads size bytes at offset; false (with Error) when they cannot be read.
    bool ReadAt(std::uint64_t offset, void* data, std::size_t size);
    std::uint64_t Size() const { return m_size; }

private:
    bool Fail(const std::string& what, int error);

    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::string m_error;
};
