#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Writes a file under a temporary name in the target's folder and gives it the target's name
// only when Commit succeeds. Until then, and whatever happens (a full disk, a size limit, a
// cancellation, an exception), the target is untouched; the temporary file is removed when
// the writer is destroyed without a successful Commit.
class SafeFileWriter {
public:
    explicit SafeFileWriter(std::string target);
    ~SafeFileWriter();
    SafeFileWriter(const SafeFileWriter&) = delete;
    SafeFileWriter& operator=(const SafeFileWriter&) = delete;

    // False when the temporary file could not be made or a write failed; Error says why.
    bool Ok() const { return m_error.empty(); }
    const std::string& Error() const { return m_error; }

    // Appends, through a buffer.
    bool Write(const void* data, std::size_t size);
    // Overwrites bytes already written (a header completed at the end).
    bool WriteAt(std::uint64_t offset, const void* data, std::size_t size);
    // Bytes written so far.
    std::uint64_t Size() const { return m_size; }

    // Flushes, syncs and renames the file into place. False, with Error, when any step failed.
    bool Commit();

    const std::string& TemporaryPath() const { return m_temporary; }

private:
    bool Flush();
    bool Fail(const std::string& what, int error);

    std::string m_target;
    std::string m_temporary;
    int m_fd = -1;
    bool m_committed = false;
    std::uint64_t m_size = 0;
    std::vector<unsigned char> m_buffer;
    std::string m_error;
};
