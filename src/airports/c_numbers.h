#pragma once
// Numbers in airport files, read the same way whatever the process locale.

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
