#include "core/text_input.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/text_convert.h"
#include "platform/file_probe.h"
#include "platform/utf_codec.h"

namespace {

constexpr std::size_t lf_probeBytes = 1027;

// The structural UTF-8 check of the detection: lead bytes and the count of
// following bytes only (overlong forms and surrogates pass; the conversion is
// the strict judge).
bool lf_looksLikeUtf8(std::string_view bytes)
{
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t length;
        if (c < 0x80) {
            length = 1;
        } else if ((c & 0xE0) == 0xC0) {
            length = 2;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
        } else {
            return false;
        }
        if (bytes.size() - i < length) {
            return false;  // cut off at the end of what was read
        }
        for (std::size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(bytes[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += length;
    }
    return true;
}

bool lf_readFile(const std::filesystem::path& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Lines of 8-bit text, split at line feeds. As in a text-mode read, a carriage
// return right before a line feed is not part of the line.
void lf_splitNarrowLines(std::string_view text, std::vector<std::string>& lines)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            lines.emplace_back(text.substr(pos));
            return;
        }
        std::string_view line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        lines.emplace_back(line);
        pos = end + 1;
    }
}

// Appends each line of UTF-16 text, converted to UTF-8 (a carriage return before
// the line feed stays). Throws win32::Utf8ConversionException at the first line
// that is not valid UTF-16; the lines before it are appended. A final odd byte
// (`truncated`) makes the last line invalid.
void lf_readWideLinesUtf8(std::u16string_view text, bool truncated, std::vector<std::string>& lines)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t end = text.find(u'\n', pos);
        if (end == std::u16string_view::npos) {
            break;
        }
        lines.push_back(win32::Utf16ToUtf8(text.substr(pos, end - pos)));
        pos = end + 1;
    }
    if (truncated) {
        throw win32::Utf8ConversionException("Invalid UTF-16 sequence found in input string.",
                                             win32::errorNoUnicodeTranslation,
                                             win32::Utf8ConversionException::fromUtf16ToUtf8);
    }
    if (pos < text.size()) {
        lines.push_back(win32::Utf16ToUtf8(text.substr(pos)));
    }
}

}  // namespace

std::string_view charsetName(int code)
{
    static constexpr std::string_view names[] = {"ANSI",          "Unicode",          "Unicode_big_endian",
                                                 "UTF8_with_BOM", "UTF8_without_BOM", "none_found"};
    if (code < 0 || code >= static_cast<int>(std::size(names))) {
        throw std::out_of_range("invalid map<K, T> key");
    }
    return names[code];
}

int gf_detectCharset(const std::filesystem::path& path)
{
    const platform::FileStart start = platform::readFileStart(path, lf_probeBytes);
    if (start.openError != 0) {
        logLine(vr::format("Cannot open file {} for character encoding. Win32 error: {}", path.string(),
                           start.openError));
        return charsetNoneFound;
    }
    const std::string& b = start.bytes;
    if (start.readError || b.size() < 2) {
        return charsetNoneFound;
    }
    if (b.size() >= 3 && b.compare(0, 3, "\xEF\xBB\xBF") == 0) {
        return charsetUtf8WithBom;
    }
    if (b.compare(0, 2, "\xFF\xFE") == 0) {
        return charsetUnicode;
    }
    if (b.compare(0, 2, "\xFE\xFF") == 0) {
        return charsetUnicodeBigEndian;
    }
    return lf_looksLikeUtf8(b) ? charsetUtf8WithoutBom : charsetAnsi;
}

bool gf_readExtTextFileToStringVector(int code, const std::filesystem::path& path, std::vector<std::string>& lines)
{
    switch (code) {
    case charsetUnicode:
    case charsetUnicodeBigEndian: {
        std::string bytes;
        if (!lf_readFile(path, bytes)) {
            return false;
        }
        try {
            bool truncated = false;
            const std::u16string text = platform::utf16FromBytes(bytes, truncated);
            lf_readWideLinesUtf8(text, truncated, lines);
        } catch (const win32::Utf8ConversionException& e) {
            showMessage(vr::format("conversion from error from utf16 to utf8, code: {}", e.errorCode()), true);
            return false;
        } catch (const std::runtime_error& e) {
            showMessage(std::string("conversion from error from utf16 to utf8: ") + e.what(), true);
            return false;
        }
        return true;
    }
    case charsetUtf8WithBom:
    case charsetAnsi:
    case charsetUtf8WithoutBom: {
        std::string bytes;
        if (!lf_readFile(path, bytes)) {
            return false;
        }
        std::string_view text = bytes;
        // The mark is not part of the first line (only removed where it stands,
        // so a wrong code cannot cut real text).
        if (code == charsetUtf8WithBom && text.substr(0, 3) == "\xEF\xBB\xBF") {
            text.remove_prefix(3);
            if (text.empty()) {
                lines.emplace_back();  // the mark alone was one (empty) line
            }
        }
        lf_splitNarrowLines(text, lines);
        return true;
    }
    default:
        throw std::runtime_error(vr::format("file {} has unknown charset: {}", path.string(), charsetName(code)));
    }
}

bool gf_readTextFileLines(const std::filesystem::path& path, std::vector<std::string>& lines)
{
    try {
        const int code = gf_detectCharset(path);
        if (code == charsetNoneFound) {
            return false;
        }
        return gf_readExtTextFileToStringVector(code, path, lines);
    } catch (const std::exception& e) {
        logLine(vr::format("gf_readExtTextFileToStringVector {}", e.what()));
        return false;
    }
}
