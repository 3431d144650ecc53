#pragma once
// Small text and list operations shared by several subsystems. "Trimmed" means
// blank, tab, line feed and carriage return removed from both ends.

#include <bitset>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
class xml_node;
}

// Pieces between delimiters, each trimmed; empty pieces stay. An empty text gives
// no piece; a delimiter at the end gives a last empty piece.
std::vector<std::string> gf_tokenize(const std::string& text, char delimiter);
// gf_tokenize with ','.
std::vector<std::string> gf_appendCommaList(const std::string& text);
// The same pieces as gf_appendCommaList.
std::vector<std::string> splitTokens(const std::string& text);
// The trimmed ',' pieces, sorted ascending (byte order), without repeats.
std::list<std::string> gf_splitString(const std::string& text);
// When text holds whitespace: its ',' pieces trimmed and joined with ',' again.
void gf_trimSplit(std::string& text);
// The strings with ',' between them.
std::string gf_joinWithComma(const std::vector<std::string>& items);
std::string gf_trim(std::string_view text);
// Whether text, upper-cased per byte, equals `expected` (given in upper case).
bool gf_toUpper(std::string_view expected, std::string_view text);
// Whether `part` occurs ANYWHERE in `text`, ignoring ASCII case (despite the name).
bool endsWithNoCase(std::string_view text, std::string_view part);
// Whether b is a followed by "*".
bool gf_equalsWithStar(std::string_view a, std::string_view b);

// Reads a number after a prefix (an airport code) into `value`, for the readers
// of stand options.
struct PrefixedNumberParser {
    std::string owner;
    std::string prefix;
    int& value;

    // False when text does not start with the prefix. Otherwise the decimal int
    // from the fifth character of text, whatever the prefix's length, goes into
    // `value` and the result is true; when none can be read there it logs
    // "{owner} {prefix} {text} invalid number" (marked), keeps `value` and still
    // returns true.
    bool parsePrefixedNumber(const std::string& text);
};

// "" for 1 and for negative counts, else "s".
std::string pluralSuffix(int n);
std::string gf_pluralS(std::int64_t n);
// "" for 1, else "s" (0 too).
std::string gf_pluralSuffix(std::uint64_t n);
// "{:.1f}" when x has a fractional part, else "{:.0f}".
std::string gf_numberToText(float x);
// part * 100 / whole rounded to the nearest int (half away from 0); 0 when whole < 1.
int gf_round(std::int64_t part, std::int64_t whole);
// A report title line, n = leftWidth + rightWidth rounded up to even: "*** text ***"
// with n/2 - 1 asterisks each side when n > length + 2, n asterisks for an empty
// text, else the text alone (without the leading line feed).
std::string gf_joinTokens(int leftWidth, int rightWidth, bool newlineBefore, bool newlineAfter,
                          const std::string& text);

// Half-hour slots "3,47" as a bit set. A piece that is not an int 0..47 (no
// blanks, no '+') is logged as "gf_hours2bitset invalid hour '{}' in {}" (marked)
// and skipped.
std::bitset<48> gf_hours2bitset(const std::string& text);
// The set bits' indexes ascending, joined by ",".
std::string gf_bitsetToList(const std::bitset<48>& bits);

// Longer than 4 characters, or one of BALL, EMER, GLID, GRND, GND, PARA, SERV, SHIP, VENT.
bool gf_isNonAircraftType(std::string_view type);
// The keep test of a live-traffic record by its aircraft type and ADS-B category.
bool gf_isAircraftCategory(std::string_view type, std::string_view category);

// The named attribute's value; "" when the node is empty or has no such attribute.
std::string getAttribute(const pugi::xml_node& node, const char* name);
std::string getAttribute(const pugi::xml_node& node, const std::string& name);
