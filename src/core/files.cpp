#include "core/files.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <system_error>

#include <pugixml.hpp>

#include "core/errors.h"
#include "core/fmt.h"
#include "core/log.h"
#include "platform/directory.h"
#include "platform/fs_path.h"

namespace fs = std::filesystem;

void gf_backupFile(const fs::path& path)
{
    // Only the file name's own extension counts: a dot in a folder name must not
    // send the backup into a folder that does not exist.
    const fs::path extension = path.filename().extension();
    if (extension.empty()) return;
    const fs::path stem = path.filename().stem();
    fs::path first = path;
    first.replace_filename(stem.string() + "0" + extension.string());
    fs::path second = path;
    second.replace_filename(stem.string() + "00" + extension.string());

    if (fs::exists(first)) fs::copy_file(first, second, fs::copy_options::overwrite_existing);
    if (fs::exists(path)) fs::copy_file(path, first, fs::copy_options::overwrite_existing);
}

namespace {

// Renames the written temporary file over the target; false (and the
// temporary file removed) when the writing or the renaming failed.
bool lf_replaceWith(const fs::path& tmp, const fs::path& path, bool written)
{
    std::error_code ec;
    if (written) fs::rename(tmp, path, ec);
    if (!written || ec) {
        fs::remove(tmp, ec);
        return false;
    }
    return true;
}

fs::path lf_tmpPath(const fs::path& path)
{
    fs::path tmp = path;
    tmp += ".tmp";
    return tmp;
}

}  // namespace

bool gf_saveXmlAtomically(const pugi::xml_document& doc, const fs::path& path)
{
    const fs::path tmp = lf_tmpPath(path);
    return lf_replaceWith(tmp, path, doc.save_file(tmp.c_str()));
}

bool gf_writeTextFile(std::string_view text, const fs::path& path)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out.flush());
}

bool gf_writeTextAtomically(std::string_view text, const fs::path& path)
{
    const fs::path tmp = lf_tmpPath(path);
    return lf_replaceWith(tmp, path, gf_writeTextFile(text, tmp));
}

bool gf_saveXml(const pugi::xml_document& doc, const fs::path& path)
{
    const bool saved = gf_saveXmlAtomically(doc, path);
    const std::string text = platform::pathText(path);
    logLine(saved ? vr::format("'{}' saved", text) : vr::format("could not save to '{}'", text));
    return saved;
}

void gf_cleanFolder(const fs::path& path)
{
    logLine(vr::format("Cleaning folder: {}", path.string()));
    try {
        if (!fs::is_directory(path)) return;
        // Collect first, then remove: removing while iterating is allowed but
        // behaves differently between platforms. Sorted, so a failure stops at
        // the same place everywhere.
        for (const auto& entry : platform::listDirectorySorted(path)) fs::remove(entry.path());
    } catch (const fs::filesystem_error& e) {
        throw qxv::UserErrorException(5, vr::format("Filesystem error: {}", e.what()));
    } catch (const std::exception& e) {
        throw qxv::UserErrorException(5, e.what());
    }
}

std::int64_t gf_listFolder(const fs::path& path)
{
    if (!fs::exists(path)) return 0;
    std::int64_t count = 0;
    for (auto it = fs::directory_iterator(path); it != fs::directory_iterator(); ++it) ++count;
    return count;
}

std::vector<std::string> gf_listXmlFiles(const fs::path& path)
{
    std::vector<std::string> names;
    names.reserve(512);
    if (!fs::exists(path)) return names;
    for (const auto& entry : platform::listDirectorySorted(path)) {
        if (!entry.is_regular_file()) continue;
        std::string extension = entry.path().extension().string();
        std::transform(extension.begin(), extension.end(), extension.begin(),
                       [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
        if (extension == ".XML") names.push_back(entry.path().stem().string());
    }
    return names;
}

const std::vector<std::string>& TextFile::gf_readTextFile(std::size_t reserveCount)
{
    lines.clear();
    // Binary, and the CR of a CRLF removed here, so every platform reads alike.
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) return lines;
    lines.reserve(reserveCount);
    std::string line;
    while (std::getline(in, line)) {
        if (!in.eof() && !line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> gf_readTextFile(const fs::path& path)
{
    TextFile file{path, {}};
    file.gf_readTextFile();
    return std::move(file.lines);
}

bool gf_writeStringToFile(const std::string& text, const fs::path& path, bool withNewline)
{
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    if (!out.is_open()) return false;
    out << text;
    if (withNewline) out << '\n' << std::flush;
    return true;
}

bool gf_writeLines(const std::vector<std::string>& lines, const fs::path& path)
{
    std::ofstream out(path, std::ios::out | std::ios::trunc);
    if (!out.is_open()) return false;
    for (const auto& line : lines) out << line << '\n';  // one write for the stream's buffer, not one a line
    return true;
}

std::string gf_extractPath(const std::string& text)
{
    static constexpr std::string_view open = "<Path>";
    static constexpr std::string_view close = "</Path>";
    const auto start = text.find(open);
    const auto end = text.find(close);
    if (start == std::string::npos || end == std::string::npos || end < start + open.size()) return {};
    return text.substr(start + open.size(), end - start - open.size());
}
