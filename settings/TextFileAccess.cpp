#include "settings/TextFileAccess.h"

#include <algorithm>
#include <cerrno>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Owns a POSIX file descriptor.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;

    int Get() const { return m_fd; }
    bool Valid() const { return m_fd >= 0; }
    // Closes now, reporting the error that a failed write-back may only show here.
    bool Close()
    {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool WriteAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

// Makes a completed rename durable; a failure here loses nothing that was there before.
void SyncDirectory(const std::filesystem::path& directory)
{
    const FileDescriptor dir(::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Valid())
        ::fsync(dir.Get());
}

// Creates a new, empty file beside the target that no one else uses.
int CreateTemporaryBeside(const std::filesystem::path& target, std::filesystem::path& temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        temporary = target;
        temporary += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

}  // namespace

ExistingFile ReadExistingFile(const std::filesystem::path& path, std::size_t maxBytes)
{
    ExistingFile file;
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    if (!fd.Valid()) {
        file.state = (errno == ENOENT || errno == ENOTDIR) ? ExistingFileState::Missing
                                                           : ExistingFileState::Unusable;
        return file;
    }
    struct stat info {};
    if (::fstat(fd.Get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        file.state = ExistingFileState::Unusable;
        return file;
    }
    if (static_cast<unsigned long long>(info.st_size) > maxBytes) {
        file.state = ExistingFileState::TooLarge;
        return file;
    }

    // The size may change while reading: read up to one byte past the bound to notice.
    file.text.resize(static_cast<std::size_t>(info.st_size) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == file.text.size()) {
            if (filled > maxBytes) {
                file.state = ExistingFileState::TooLarge;
                file.text.clear();
                return file;
            }
            file.text.resize(std::min(maxBytes + 1, filled * 2 + 1));
        }
        const ssize_t got = ::read(fd.Get(), file.text.data() + filled, file.text.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            file.state = ExistingFileState::Unusable;
            file.text.clear();
            return file;
        }
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    file.text.resize(filled);
    file.state = file.text.find('\0') == std::string::npos ? ExistingFileState::Text
                                                           : ExistingFileState::NotText;
    return file;
}

bool ReplaceFileAtomically(const std::filesystem::path& path, std::string_view contents)
{
    std::error_code ec;
    std::filesystem::path target = path;
    if (std::filesystem::is_symlink(path, ec)) {
        const std::filesystem::path resolved = std::filesystem::weakly_canonical(path, ec);
        if (ec)
            return false;
        target = resolved;
    }

    struct stat old {};
    const bool replacesFile = ::stat(target.c_str(), &old) == 0;
    if (replacesFile && !S_ISREG(old.st_mode))
        return false;  // never put a file in place of a directory or device

    std::filesystem::path temporary;
    FileDescriptor fd(CreateTemporaryBeside(target, temporary));
    if (!fd.Valid())
        return false;
    if (replacesFile)
        ::fchmod(fd.Get(), old.st_mode & 07777);  // best effort: some file systems have no modes
    bool ok = WriteAll(fd.Get(), contents) && ::fsync(fd.Get()) == 0;
    ok = fd.Close() && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        return false;
    }
    SyncDirectory(target.parent_path());
    return true;
}
