#include "platform/instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <system_error>

namespace platform {

InstanceLock::~InstanceLock() { ::close(fd_); }

std::unique_ptr<InstanceLock> InstanceLock::acquire(const std::filesystem::path& folder, std::string* problem)
{
    if (problem) problem->clear();
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    const std::filesystem::path file = folder / instanceLockFileName;
    // Each open is its own open file description, so a second acquire in the
    // same process conflicts with the first as another process's would.
    const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (problem) *problem = "cannot open its lock file " + file.string() + ": " + std::generic_category().message(errno);
        return nullptr;
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (problem && error != EWOULDBLOCK)
            *problem = "cannot lock its lock file " + file.string() + ": " + std::generic_category().message(error);
        return nullptr;
    }
    return std::unique_ptr<InstanceLock>(new InstanceLock(fd));
}

std::filesystem::path InstanceLock::defaultLockFolder()
{
    if (const char* d = std::getenv("VRMT_LOCK_DIR"); d && *d) return d;
    if (const char* d = std::getenv("XDG_RUNTIME_DIR"); d && *d) return d;
    return std::filesystem::temp_directory_path() / ("vormeth-" + std::to_string(::getuid()));
}

}  // namespace platform
