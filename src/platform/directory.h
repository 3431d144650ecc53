#pragma once
// Directory listings in a stable order. NTFS lists a folder sorted by name, other
// file systems in hash order; sorting here keeps results the same everywhere.

#include <filesystem>
#include <vector>

namespace platform {

// The direct entries of `folder`, sorted by file name without regard to ASCII
// case (ties in byte order). Throws std::filesystem::filesystem_error when the
// folder cannot be listed.
std::vector<std::filesystem::directory_entry> listDirectorySorted(const std::filesystem::path& folder);

}  // namespace platform
