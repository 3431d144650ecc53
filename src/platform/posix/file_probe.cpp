#include "platform/file_probe.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

ReadOnlyFile::ReadOnlyFile(const std::filesystem::path& path)
{
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) {
        openError_ = errno;
        return;
    }
    struct stat info {};
    if (::fstat(fd_, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        openError_ = EISDIR;
    }
}

ReadOnlyFile::~ReadOnlyFile()
{
    if (fd_ >= 0) ::close(fd_);
}

std::optional<std::uint64_t> ReadOnlyFile::size() const
{
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0 || info.st_size < 0) return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

std::size_t ReadOnlyFile::read(void* into, std::size_t bytes)
{
    if (fd_ < 0) {
        readFailed_ = true;
        return 0;
    }
    auto* out = static_cast<char*>(into);
    std::size_t got = 0;
    while (got < bytes) {
        const ssize_t n = ::read(fd_, out + got, bytes - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            readFailed_ = true;
            break;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

FileStart readFileStart(const std::filesystem::path& path, std::size_t maxBytes)
{
    FileStart result;
    ReadOnlyFile file(path);
    result.openError = file.openError();
    if (!file.isOpen()) return result;
    result.bytes.resize(maxBytes);
    result.bytes.resize(file.read(result.bytes.data(), maxBytes));
    result.readError = file.readFailed();
    return result;
}

}  // namespace platform
