#pragma once
// Numbers in airport files, read the same way whatever the process locale.

#include <cstddef>
#include <string_view>

// What the standard text-to-double conversion does, in the "C" locale: leading
// blanks skipped, an optional sign, the conversion stops at the first character
// that is not part of the number.
enum class NumberStatus { ok, invalid, outOfRange };
struct ParsedNumber {
    double value = 0.0;
    NumberStatus status = NumberStatus::invalid;
};
ParsedNumber parseLeadingDouble(std::string_view text);

// The number at the start of text, 0 when there is none (an attribute's
// numeric value as the XML library gives it); NaN when it is out of range, so
// the caller refuses it like any value that is not a finite number.
double leadingDoubleOrZero(std::string_view text);

// Room for any double that writeFixed writes with up to 9 decimals: 309 digits,
// the sign, the point, the decimals.
inline constexpr std::size_t kFixedTextRoom = 400;
// Writes `value` in fixed notation with `decimals` (0 to 9) digits after the
// point, exactly the characters std::to_chars(..., std::chars_format::fixed,
// decimals) writes (correctly rounded, a tie to even, "-" for a set sign bit,
// "nan"/"inf" as it writes them), into `out`, which has kFixedTextRoom chars;
// returns the end. Numbers below 1e9 that are not within a rounding error of
// a tie take a short integer path; every other goes to std::to_chars.
char* writeFixed(char* out, double value, int decimals);
