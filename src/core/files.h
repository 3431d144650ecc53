#pragma once
// Small file and folder operations shared by the log, the parameters store, the
// scans and the data-file readers.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
class xml_document;
}

// Keeps two backup generations of `path`: "name0.ext" gets the current file and
// "name00.ext" the previous "name0.ext" (Log.txt: Log0.txt, Log00.txt). Does
// nothing when the file name has no extension. The file itself stays. Throws
// std::filesystem::filesystem_error when a test or copy fails.
void gf_backupFile(const std::filesystem::path& path);

// Saves with pugixml's defaults to "<name>.tmp" beside the file and renames it
// over the file, so a crash or a full disk mid-write leaves the old file whole.
// False (and no .tmp left behind) when either step fails. Logs nothing.
bool gf_saveXmlAtomically(const pugi::xml_document& doc, const std::filesystem::path& path);

// The same for a text already made: written to "<name>.tmp" and renamed over
// the file; false (and no .tmp left behind) when either step fails. The folder
// must exist. Logs nothing.
bool gf_writeTextAtomically(std::string_view text, const std::filesystem::path& path);

// Writes the text as the file's bytes (created or emptied first); false when
// the file cannot be opened or the text not written whole. Logs nothing.
bool gf_writeTextFile(std::string_view text, const std::filesystem::path& path);

// gf_saveXmlAtomically, logging "'{}' saved" or "could not save to '{}'".
bool gf_saveXml(const pugi::xml_document& doc, const std::filesystem::path& path);

// Logs "Cleaning folder: {}" and removes every direct entry of the folder (files
// and empty folders). Nothing when it is not an existing folder. A failure stops
// the cleaning and throws qxv::UserErrorException 5 "Filesystem error: {}"; the
// entries removed before stay removed.
void gf_cleanFolder(const std::filesystem::path& path);

// Number of direct entries; 0 when the path does not exist. Throws
// std::filesystem::filesystem_error when an existing path cannot be listed.
std::int64_t gf_listFolder(const std::filesystem::path& path);

// Stems of the regular files directly in the folder whose extension is ".xml" in
// any case, sorted case-insensitively; empty when the folder does not exist.
std::vector<std::string> gf_listXmlFiles(const std::filesystem::path& path);

// A narrow text file read into lines. Line ends are LF; a CR right before an LF
// is not part of the line (on every platform).
struct TextFile {
    std::filesystem::path path;
    std::vector<std::string> lines;

    // Clears the lines and reads them; a file that cannot be opened gives none.
    const std::vector<std::string>& gf_readTextFile(std::size_t reserveCount = 0);
};
std::vector<std::string> gf_readTextFile(const std::filesystem::path& path);

// Replaces the file's content by `text` (+ a line end when asked); false when the
// file cannot be opened.
bool gf_writeStringToFile(const std::string& text, const std::filesystem::path& path, bool withNewline);
// Replaces the file's content by the lines, each with a line end; false when the
// file cannot be opened.
bool gf_writeLines(const std::vector<std::string>& lines, const std::filesystem::path& path);

// The text between the first "<Path>" and the first "</Path>"; empty when either
// is missing or the closing tag comes first.
std::string gf_extractPath(const std::string& text);
