#include "platform/SafeFileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBufferSize = 1 << 20;

// Read without changing it: umask() alone would set it, racing other threads' file creation.
mode_t ProcessUmask()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("Umask:"))
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    return 022;
}

}  // namespace

SafeFileWriter::SafeFileWriter(std::string target) : m_target(std::move(target))
{
    const std::filesystem::path path(m_target);
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        m_error = m_target + " is a folder";
        return;
    }
    std::filesystem::path folder = path.parent_path();
    if (folder.empty())
        folder = ".";
    // Hidden, beside the target so that the rename stays on one file system.
    m_temporary = (folder / ("." + path.filename().string() + ".XXXXXX")).string();
    m_fd = ::mkostemp(m_temporary.data(), O_CLOEXEC);
    if (m_fd < 0) {
        const int error = errno;
        m_temporary.clear();
        Fail("cannot create a file in " + folder.string(), error);
        return;
    }
    m_buffer.reserve(kBufferSize);
}

SafeFileWriter::~SafeFileWriter()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_committed && !m_temporary.empty())
        ::unlink(m_temporary.c_str());
}

bool SafeFileWriter::Fail(const std::string& what, int error)
{
    if (m_error.empty())
        m_error = what + ": " + std::strerror(error);
    return false;
}

bool SafeFileWriter::Flush()
{
    std::size_t done = 0;
    while (done < m_buffer.size()) {
        const ssize_t n = ::write(m_fd, m_buffer.data() + done, m_buffer.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail("cannot write " + m_target, errno);
        }
        if (n == 0)
            return Fail("cannot write " + m_target, ENOSPC);
        done += static_cast<std::size_t>(n);
    }
    m_buffer.clear();
    return true;
}

bool SafeFileWriter::Write(const void* data, std::size_t size)
{
    if (!Ok())
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    m_size += size;
    while (size > 0) {
        const std::size_t room = kBufferSize - m_buffer.size();
        const std::size_t take = std::min(room, size);
        m_buffer.insert(m_buffer.end(), bytes, bytes + take);
        bytes += take;
        size -= take;
        if (m_buffer.size() == kBufferSize && !Flush())
            return false;
    }
    return true;
}

bool SafeFileWriter::WriteAt(std::uint64_t offset, const void* data, std::size_t size)
{
    if (!Ok() || !Flush())
        return false;
    if (offset + size > m_size) {
        m_error = "cannot write " + m_target + ": a patch past the end of the file";
        return false;
    }
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, bytes, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail("cannot write " + m_target, errno);
        }
        bytes += n;
        offset += static_cast<std::uint64_t>(n);
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool SafeFileWriter::Commit()
{
    if (!Ok() || !Flush())
        return false;
    // The new file gets the usual permissions, not mkstemp's owner-only ones.
    if (::fchmod(m_fd, 0666 & ~ProcessUmask()) != 0)
        return Fail("cannot set the permissions of " + m_target, errno);
    if (::fsync(m_fd) != 0)
        return Fail("cannot write " + m_target, errno);
    if (::close(m_fd) != 0) {
        m_fd = -1;
        return Fail("cannot write " + m_target, errno);
    }
    m_fd = -1;
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        return Fail("cannot give the file its name " + m_target, errno);
    m_committed = true;
    return true;
}
