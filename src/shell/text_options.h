#pragma once
// The reading of typed option texts: pure functions, no window, no options.
//
// Integers read as the C++ library's stoi does: leading blanks and a sign,
// then digits; whatever follows is ignored. Floats as stof does, finite only.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct TypedInt {
    enum class Kind { empty, number, invalid, outOfRange };
    Kind kind = Kind::empty;
    std::int32_t value = 0;
};
TypedInt parseTypedInt(std::string_view text);

struct TypedFloat {
    enum class Kind { empty, number, invalid, outOfRange };
    Kind kind = Kind::empty;
    float value = 0.0f;
};
TypedFloat parseTypedFloat(std::string_view text);

// Half-hour slots of a maximum fit of `hours` (clamped to 0.5..24): the smallest
// count of whole half hours that covers it, less one; 0..47.
std::int32_t maxFitSlots(float hours);
// The hours that `slots` stand for: slots x 0.5 + 0.5.
float maxFitHours(std::int32_t slots);

// A callsign of 4 to 8 characters in upper case (ASCII); nothing otherwise.
std::optional<std::string> normalizeCallsign(std::string_view text);
// An airport ident of 4 characters in upper case (ASCII); nothing otherwise.
std::optional<std::string> normalizeDestination(std::string_view text);
// ASCII letters to upper case, other bytes as they are.
std::string upperAscii(std::string_view text);
