#include "platform/profile.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>

namespace platform::ini {
namespace {

std::string lf_trim(const std::string& s)
{
    const auto isBlank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    std::size_t b = 0, e = s.size();
    while (b < e && isBlank(static_cast<unsigned char>(s[b]))) ++b;
    while (e > b && isBlank(static_cast<unsigned char>(s[e - 1]))) --e;
    return s.substr(b, e - b);
}

bool lf_equalNoCase(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Walks the file; stops at the first section named `section` and returns the
// value of `key` in it (nullopt: no key), or sets `sectionFound` false.
std::optional<std::string> lf_find(const std::filesystem::path& file, const std::string& section,
                                   const std::string* key, bool& sectionFound)
{
    sectionFound = false;
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::string line;
    bool inSection = false;
    bool first = true;
    while (std::getline(in, line)) {
        if (first) {
            first = false;
            if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // UTF-8 byte order mark
        }
        const std::string t = lf_trim(line);
        if (t.empty() || t[0] == ';') continue;
        if (t[0] == '[') {
            if (inSection) return std::nullopt;  // only the first matching section counts
            const auto close = t.find(']');
            const std::string name = lf_trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
            inSection = lf_equalNoCase(name, section);
            if (inSection) {
                sectionFound = true;
                if (!key) return std::nullopt;
            }
            continue;
        }
        if (!inSection) continue;
        const auto eq = t.find('=');
        if (eq == std::string::npos) continue;
        if (!lf_equalNoCase(lf_trim(t.substr(0, eq)), *key)) continue;
        std::string value = lf_trim(t.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

}  // namespace

std::string readProfileString(const std::filesystem::path& file, const std::string& section, const std::string& key,
                              const std::string& fallback, std::size_t maxChars)
{
    bool sectionFound = false;
    std::string value = lf_find(file, section, &key, sectionFound).value_or(fallback);
    if (maxChars == 0) return {};
    if (value.size() > maxChars - 1) value.resize(maxChars - 1);
    return value;
}

bool hasSection(const std::filesystem::path& file, const std::string& section)
{
    bool sectionFound = false;
    lf_find(file, section, nullptr, sectionFound);
    return sectionFound;
}

}  // namespace platform::ini
