#include "core/utils.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>
#include <set>

#include <pugixml.hpp>

#include "core/fmt.h"
#include "core/log.h"

namespace {

constexpr std::string_view lf_whitespace = " \t\n\r";

char lf_upper(char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); }
char lf_lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

template <typename Out>
void lf_splitTokens(const std::string& text, char delimiter, Out out)
{
    if (text.empty()) return;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(delimiter, start);
        if (end == std::string::npos) {
            out(gf_trim(std::string_view(text).substr(start)));
            return;
        }
        out(gf_trim(std::string_view(text).substr(start, end - start)));
        start = end + 1;
    }
}

// Reads a whole-range int from the start of text by from_chars rules.
bool lf_readInt(std::string_view text, int& value)
{
    return std::from_chars(text.data(), text.data() + text.size(), value).ec == std::errc{};
}

}  // namespace

std::string gf_trim(std::string_view text)
{
    const auto first = text.find_first_not_of(lf_whitespace);
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(lf_whitespace);
    return std::string(text.substr(first, last - first + 1));
}

std::vector<std::string> gf_tokenize(const std::string& text, char delimiter)
{
    std::vector<std::string> pieces;
    if (text.empty()) return pieces;
    pieces.reserve(static_cast<std::size_t>(std::count(text.begin(), text.end(), delimiter)) + 1);
    lf_splitTokens(text, delimiter, [&](std::string piece) { pieces.push_back(std::move(piece)); });
    return pieces;
}

std::vector<std::string> gf_appendCommaList(const std::string& text) { return gf_tokenize(text, ','); }

std::vector<std::string> splitTokens(const std::string& text)
{
    std::vector<std::string> pieces;
    lf_splitTokens(text, ',', [&](std::string piece) { pieces.push_back(std::move(piece)); });
    return pieces;
}

std::list<std::string> gf_splitString(const std::string& text)
{
    std::list<std::string> pieces;
    lf_splitTokens(text, ',', [&](std::string piece) { pieces.push_back(std::move(piece)); });
    pieces.sort();
    pieces.unique();
    return pieces;
}

void gf_trimSplit(std::string& text)
{
    if (text.find_first_of(lf_whitespace) == std::string::npos) return;
    text = gf_joinWithComma(gf_tokenize(text, ','));
}

std::string gf_joinWithComma(const std::vector<std::string>& items)
{
    std::string joined;
    if (items.empty()) return joined;
    std::size_t length = items.size() - 1;
    for (const auto& item : items) length += item.size();
    joined.reserve(length);
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) joined += ',';
        joined += items[i];
    }
    return joined;
}

bool gf_toUpper(std::string_view expected, std::string_view text)
{
    return expected.size() == text.size() &&
           std::equal(text.begin(), text.end(), expected.begin(), [](char t, char e) { return lf_upper(t) == e; });
}

bool endsWithNoCase(std::string_view text, std::string_view part)
{
    if (part.empty()) return true;
    if (part.size() > text.size()) return false;
    return std::search(text.begin(), text.end(), part.begin(), part.end(),
                       [](char a, char b) { return lf_lower(a) == lf_lower(b); }) != text.end();
}

bool gf_equalsWithStar(std::string_view a, std::string_view b)
{
    return b.size() == a.size() + 1 && b.substr(0, a.size()) == a && b.back() == '*';
}

bool PrefixedNumberParser::parsePrefixedNumber(const std::string& text)
{
    if (text.compare(0, prefix.size(), prefix) != 0) return false;
    // The number is read at the fifth character, whatever the prefix's length:
    // the callers' prefixes are four-letter airport codes.
    int number = 0;
    if (text.size() > 4 && lf_readInt(std::string_view(text).substr(4), number))
        value = number;
    else
        logLineMarked(vr::format("{} {} {} {}", owner, prefix, text, "invalid number"));
    return true;
}

std::string pluralSuffix(int n) { return n == 1 || n < 0 ? "" : "s"; }
std::string gf_pluralS(std::int64_t n) { return n == 1 || n < 0 ? "" : "s"; }
std::string gf_pluralSuffix(std::uint64_t n) { return n == 1 ? "" : "s"; }

std::string gf_numberToText(float x)
{
    return x != std::trunc(x) ? vr::format("{:.1f}", x) : vr::format("{:.0f}", x);
}

int gf_round(std::int64_t part, std::int64_t whole)
{
    if (whole < 1) return 0;
    const double percent = std::round(static_cast<double>(part) * 100.0 / static_cast<double>(whole));
    // Outside the int range the result is not defined; clamp rather than overflow.
    constexpr double lo = std::numeric_limits<int>::min();
    constexpr double hi = std::numeric_limits<int>::max();
    return static_cast<int>(std::clamp(percent, lo, hi));
}

std::string gf_joinTokens(int leftWidth, int rightWidth, bool newlineBefore, bool newlineAfter,
                          const std::string& text)
{
    std::int64_t n = std::int64_t(leftWidth) + rightWidth;
    if (n % 2 != 0) ++n;
    std::string line = newlineBefore ? "\n" : "";
    if (text.empty()) {
        line.append(static_cast<std::size_t>(std::max<std::int64_t>(n, 0)), '*');
    } else if (n > std::int64_t(text.size()) + 2) {
        const std::string stars(static_cast<std::size_t>(n / 2 - 1), '*');
        line += stars + " " + text + " " + stars;
    } else {
        line = text;  // the leading line feed goes too
    }
    if (newlineAfter) line += '\n';
    return line;
}

std::bitset<48> gf_hours2bitset(const std::string& text)
{
    std::bitset<48> bits;
    if (text.empty()) return bits;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(',', start);
        const std::string piece = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        int value = -1;
        if (lf_readInt(piece, value) && value >= 0 && value <= 47)
            bits.set(static_cast<std::size_t>(value));
        else
            logLineMarked(vr::format("{} invalid hour '{}' in {}", "gf_hours2bitset", piece, text));
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return bits;
}

std::string gf_bitsetToList(const std::bitset<48>& bits)
{
    std::string list;
    for (std::size_t i = 0; i < bits.size(); ++i) {
        if (!bits.test(i)) continue;
        if (!list.empty()) list += ',';
        list += std::to_string(i);
    }
    return list;
}

bool gf_isNonAircraftType(std::string_view type)
{
    static const std::set<std::string_view>& nonAircraft =
        *new std::set<std::string_view>{"BALL", "EMER", "GLID", "GRND", "GND", "PARA", "SERV", "SHIP", "VENT"};
    return type.size() > 4 || nonAircraft.count(type) > 0;
}

bool gf_isAircraftCategory(std::string_view type, std::string_view category)
{
    if (type.empty()) return false;
    if (category.empty() || category == "null") return true;
    // ADS-B emitter categories of gliders, lighter-than-air, ultralights and surface vehicles.
    for (std::string_view c : {"B1", "B2", "B4", "C1", "C2"})
        if (category == c) return false;
    return !gf_isNonAircraftType(type);
}

std::string getAttribute(const pugi::xml_node& node, const char* name)
{
    if (node.empty()) return {};
    return node.attribute(name).value();
}

std::string getAttribute(const pugi::xml_node& node, const std::string& name) { return getAttribute(node, name.c_str()); }
