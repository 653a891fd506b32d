#include "convert/SpillFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

int OpenNameless(const std::string& folder)
{
#ifdef O_TMPFILE
    const int fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0)
        return fd;
#endif
    // File systems without O_TMPFILE: a name for as long as it takes to remove it.
    std::string name = folder + "/.orrisk-spill.XXXXXX";
    const int fd2 = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd2 >= 0)
        ::unlink(name.c_str());
    return fd2;
}

}  // namespace

SpillFile::SpillFile(const std::string& folder)
{
    m_fd = OpenNameless(folder.empty() ? std::string(".") : folder);
    if (m_fd < 0) {
        const char* tmp = std::getenv("TMPDIR");
        m_fd = OpenNameless(tmp && *tmp ? tmp : "/tmp");
    }
    if (m_fd < 0)
        Fail("cannot create a scratch file in " + folder, errno);
}

SpillFile::~SpillFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool SpillFile::Fail(const std::string& what, int error)
{
    if (m_error.empty())
        m_error = what + ": " + std::strerror(error);
    return false;
}

bool SpillFile::Append(const void* data, std::size_t size)
{
    if (!Ok())
        return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::pwrite(m_fd, bytes, size, static_cast<off_t>(m_size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail("cannot write the scratch file", errno);
        }
        if (n == 0)
            return Fail("cannot write the scratch file", ENOSPC);
        bytes += n;
        size -= static_cast<std::size_t>(n);
        m_size += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool SpillFile::ReadAt(std::uint64_t offset, void* data, std::size_t size)
{
    if (!Ok())
        return false;
    auto* bytes = static_cast<unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::pread(m_fd, bytes, size, static_cast<off_t>(offset));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Fail("cannot read the scratch file", errno);
        }
        if (n == 0)
            return Fail("cannot read the scratch file", EIO);
        bytes += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}
