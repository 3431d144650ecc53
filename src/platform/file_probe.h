#pragma once
// Reading the first bytes of a file that other programs may have open, to guess
// what it holds.

#include <cstddef>
#include <filesystem>
#include <string>

namespace platform {

struct FileStart {
    int openError = 0;       // the system's error code when the file could not be opened, else 0
    bool readError = false;  // opened, but reading failed
    std::string bytes;       // the bytes read
};

// Opens an existing file for reading (shared with other readers and writers)
// and reads at most `maxBytes` from its start. A folder counts as a file that
// cannot be opened.
FileStart readFileStart(const std::filesystem::path& path, std::size_t maxBytes);

}  // namespace platform
