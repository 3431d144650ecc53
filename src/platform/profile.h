#pragma once
// Reading INI ("profile") files the way SimConnect.cfg is read on Windows:
// section and key names compare case-insensitively, values are trimmed of
// blanks and of one pair of enclosing quotes, the first matching section and
// the first matching key in it win, lines starting with ';' are comments, and a
// value is cut to maxChars - 1 characters (the size of the caller's buffer).

#include <cstddef>
#include <filesystem>
#include <string>

namespace platform::ini {

// The value of key in section, or fallback when the file, the section or the
// key is missing.
std::string readProfileString(const std::filesystem::path& file, const std::string& section, const std::string& key,
                              const std::string& fallback = {}, std::size_t maxChars = 2048);

// True when the file exists and has the section.
bool hasSection(const std::filesystem::path& file, const std::string& section);

}  // namespace platform::ini
