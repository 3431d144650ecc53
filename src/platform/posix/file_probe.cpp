#include "platform/file_probe.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

FileStart readFileStart(const std::filesystem::path& path, std::size_t maxBytes)
{
    FileStart result;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        result.openError = errno;
        return result;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        result.openError = EISDIR;
        return result;
    }
    result.bytes.resize(maxBytes);
    std::size_t got = 0;
    while (got < maxBytes) {
        const ssize_t n = ::read(fd, result.bytes.data() + got, maxBytes - got);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            result.readError = true;
            break;
        }
        if (n == 0) {
            break;
        }
        got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    result.bytes.resize(got);
    return result;
}

}  // namespace platform
