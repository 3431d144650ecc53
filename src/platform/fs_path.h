#pragma once
// The one place where path texts in Windows form become file-system paths.
//
// Options, the simulator's configuration files, stand files and the registry
// hold paths as Windows writes them ("D:\Scenery\EHAM", "airports\learned\X.xml").
// Every such text passes through toFsPath before a file is touched. On Windows
// the UTF-8 text is the path. Elsewhere backslashes become slashes, a leading
// drive "X:" becomes the folder X under the drive root, and doubled separators
// are collapsed. Names stay case-sensitive there.

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

std::filesystem::path toFsPath(std::string_view windowsText);

// The path as UTF-8 for logs and reports; never throws.
std::string pathText(const std::filesystem::path& path);

// The folder that stands for the root of all drives: "C:\X" is <root>/C/X.
// Taken from VRMT_DRIVE_ROOT, else "/". setDriveRoot overrides it (tests); an
// empty path goes back to the setting. Safe from any thread.
std::filesystem::path driveRoot();
void setDriveRoot(const std::filesystem::path& root);

}  // namespace platform
