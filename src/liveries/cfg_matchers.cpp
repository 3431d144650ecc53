#include "liveries/cfg_matchers.h"

#include <algorithm>

namespace {

bool lf_isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
bool lf_isDigit(char c) { return c >= '0' && c <= '9'; }
bool lf_isWord(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || lf_isDigit(c) || c == '_';
}
char lf_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::size_t lf_skipSpace(std::string_view s, std::size_t i)
{
    while (i < s.size() && lf_isSpace(s[i])) ++i;
    return i;
}

// Whether s holds `word` (lower case) at i, ignoring ASCII case.
bool lf_matchesAt(std::string_view s, std::size_t i, std::string_view word)
{
    if (s.size() - i < word.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k) {
        if (lf_lower(s[i + k]) != word[k]) return false;
    }
    return true;
}

bool lf_matchesIgnoringCase(std::string_view text, std::string_view lower)
{
    if (text.size() != lower.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != lower[i]) return false;
    }
    return true;
}


bool lf_readKey(std::string_view line, std::string_view key, std::string& value)
{
    const auto raw = lf_matchKeyLine(line, key);
    if (!raw) return false;
    std::string_view v = *raw;
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    value.assign(v);
    return true;
}

}  // namespace

std::optional<std::string_view> lf_matchKeyLine(std::string_view line, std::string_view key)
{
    std::size_t i = lf_skipSpace(line, 0);
    // The key is given in lower case by every caller; compare as if folded.
    for (char k : key) {
        if (i >= line.size() || lf_lower(line[i]) != lf_lower(k)) return std::nullopt;
        ++i;
    }
    i = lf_skipSpace(line, i);
    if (i >= line.size() || line[i] != '=') return std::nullopt;
    i = lf_skipSpace(line, i + 1);
    std::size_t end = line.size();
    while (end > i && lf_isSpace(line[end - 1])) --end;
    if (end == i) return std::nullopt;
    const std::string_view value = line.substr(i, end - i);
    if (value.find_first_of("\r\n") != std::string_view::npos) return std::nullopt;
    return value;
}

bool lf_readTitleKey(std::string_view line, std::string& value) { return lf_readKey(line, "title", value); }
bool lf_readAtcParkingCodesKey(std::string_view line, std::string& value)
{
    return lf_readKey(line, "atc_parking_codes", value);
}
bool lf_readAtcParkingTypesKey(std::string_view line, std::string& value)
{
    return lf_readKey(line, "atc_parking_types", value);
}
bool lf_readAtcIdKey(std::string_view line, std::string& value) { return lf_readKey(line, "atc_id", value); }
bool lf_readModelKey(std::string_view line, std::string& value) { return lf_readKey(line, "model", value); }
bool lf_readSimKey(std::string_view line, std::string& value) { return lf_readKey(line, "sim", value); }
bool lf_readTextureKey(std::string_view line, std::string& value) { return lf_readKey(line, "texture", value); }
bool lf_readAtcModelKey(std::string_view line, std::string& value) { return lf_readKey(line, "atc_model", value); }

std::string lf_readFltsimHeader(std::string_view line)
{
    std::size_t i = lf_skipSpace(line, 0);
    if (lf_matchesAt(line, i, "[fltsim.")) {
        const std::size_t digits = i + 8;
        std::size_t j = digits;
        while (j < line.size() && lf_isDigit(line[j])) ++j;
        if (j > digits && j < line.size() && line[j] == ']' && lf_skipSpace(line, j + 1) == line.size()) {
            return std::string(line.substr(digits, j - digits));
        }
    }
    if (line.starts_with("//")) return {};
    if (line.find("[fltsim.") != std::string_view::npos || line.find("[FLTSIM.") != std::string_view::npos) {
        return "10000";
    }
    return {};
}

std::optional<std::string_view> lf_titleAirlineCode(std::string_view title)
{
    const std::size_t i = lf_skipSpace(title, 0);
    if (title.size() - i < 3) return std::nullopt;
    for (std::size_t k = i; k < i + 3; ++k) {
        if (!lf_isWord(title[k])) return std::nullopt;
    }
    // The rest may be anything but a line break.
    if (title.find_first_of("\r\n", i + 3) != std::string_view::npos) return std::nullopt;
    return title.substr(i, 3);
}

std::optional<std::string> lf_matchIvaoPath(std::string_view text)
{
    const auto isSep = [](char c) { return c == '/' || c == '\\'; };
    const auto isBreak = [](char c) { return c == '\r' || c == '\n'; };
    // From the end: separator, "aircraft" + any character + "cfg".
    if (text.size() < 13) return std::nullopt;
    std::size_t end = text.size() - 12;
    const std::string_view file = text.substr(end);
    if (!lf_matchesIgnoringCase(file.substr(0, 8), "aircraft") || isBreak(file[8]) ||
        !lf_matchesIgnoringCase(file.substr(9), "cfg") || !isSep(text[end - 1])) {
        return std::nullopt;
    }
    end -= 1;
    // "IVAO_" + word characters, right after a separator.
    std::size_t begin = end;
    while (begin > 0 && lf_isWord(text[begin - 1])) --begin;
    const std::string_view folder = text.substr(begin, end - begin);
    if (folder.size() < 6 || !lf_matchesIgnoringCase(folder.substr(0, 5), "ivao_") || begin == 0 ||
        !isSep(text[begin - 1])) {
        return std::nullopt;
    }
    // Separator, "IVAO_MTL", separator, and at least one character before.
    end = begin - 1;
    if (end < 10 || !lf_matchesIgnoringCase(text.substr(end - 8, 8), "ivao_mtl") || !isSep(text[end - 9])) {
        return std::nullopt;
    }
    const std::string_view prefix = text.substr(0, end - 9);
    if (prefix.empty() || std::any_of(prefix.begin(), prefix.end(), isBreak)) return std::nullopt;
    return std::string(folder.substr(5));
}
