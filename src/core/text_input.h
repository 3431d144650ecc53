#pragma once
// Text files of the simulator and of add-on packages (aircraft.cfg, add-ons.cfg,
// scenery.cfg, ...) come as 8-bit code-page text, UTF-8 with or without a
// byte-order mark, or UTF-16 in either byte order. These functions guess the
// character set from the first bytes and read the lines, converting UTF-16 to
// UTF-8 on the way. 8-bit text is passed on byte for byte.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// Character-set codes, as gf_detectCharset answers.
inline constexpr int charsetAnsi = 0;              // "ANSI": 8-bit text that is not valid UTF-8
inline constexpr int charsetUnicode = 1;           // "Unicode": UTF-16 with the mark FF FE
inline constexpr int charsetUnicodeBigEndian = 2;  // "Unicode_big_endian": UTF-16 with the mark FE FF
inline constexpr int charsetUtf8WithBom = 3;       // "UTF8_with_BOM": starts with EF BB BF
inline constexpr int charsetUtf8WithoutBom = 4;    // "UTF8_without_BOM": valid UTF-8 (pure ASCII too)
inline constexpr int charsetNoneFound = 5;         // "none_found": cannot be opened or read, or < 2 bytes

// The character set of the file, from at most its first 1027 bytes. A file that
// cannot be opened is logged ("Cannot open file {} for character encoding. Win32
// error: {}") and gives charsetNoneFound.
int gf_detectCharset(const std::filesystem::path& path);

// The name of a code; another code throws std::out_of_range("invalid map<K, T> key").
std::string_view charsetName(int code);

// Appends the lines of the file, read in the character set `code`, without their
// line feeds. UTF-16 lines are converted to UTF-8 and keep a carriage return that
// stood before the line feed; the other lines lose it, as text-mode reads do.
// False when the file cannot be opened or its UTF-16 is invalid (the error is
// shown on the message line and logged, showMessage(text, true); the lines before it stay appended).
// Throws std::runtime_error("file {} has unknown charset: {}") for a code other
// than 0..4.
bool gf_readExtTextFileToStringVector(int code, const std::filesystem::path& path, std::vector<std::string>& lines);

// Detects the character set and reads the lines as above. False when the file
// cannot be read; any error on the way is logged as
// "gf_readExtTextFileToStringVector {}" and gives false.
bool gf_readTextFileLines(const std::filesystem::path& path, std::vector<std::string>& lines);
