#pragma once
// One running program per user: an exclusive lock on "Vormeth_P3D.lock" in the
// lock folder, held as long as the process (or the InstanceLock) lives. The
// folder is VRMT_LOCK_DIR when set, else $XDG_RUNTIME_DIR, else a folder of the
// user's own in the temporary folder. A second acquire fails, also in the same
// process.

#include <filesystem>
#include <memory>
#include <string>

namespace platform {

class InstanceLock {
public:
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;
    // The lock, or null when another holder has it or the file cannot be made;
    // `problem` (when given) is then empty for the first and says why for the second.
    static std::unique_ptr<InstanceLock> acquire(const std::filesystem::path& folder, std::string* problem = nullptr);
    static std::unique_ptr<InstanceLock> acquire() { return acquire(defaultLockFolder()); }
    static std::filesystem::path defaultLockFolder();

private:
    explicit InstanceLock(int fd) : fd_(fd) {}
    int fd_;
};

inline constexpr const char* instanceLockFileName = "Vormeth_P3D.lock";

}  // namespace platform
