#include "shell/text_options.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {
bool lf_blank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }
}  // namespace

TypedInt parseTypedInt(std::string_view text)
{
    TypedInt r;
    if (text.empty()) return r;
    std::size_t i = 0;
    while (i < text.size() && lf_blank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const std::size_t digits = i;
    std::int64_t v = 0;
    bool overflow = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (!overflow) v = v * 10 + (text[i] - '0');
        if (v > std::int64_t{INT_MAX} + 1) overflow = true;
    }
    if (i == digits) {
        r.kind = TypedInt::Kind::invalid;
        return r;
    }
    if (negative) v = -v;
    if (overflow || v > INT_MAX || v < INT_MIN) {
        r.kind = TypedInt::Kind::outOfRange;
        return r;
    }
    r.kind = TypedInt::Kind::number;
    r.value = static_cast<std::int32_t>(v);
    return r;
}

TypedFloat parseTypedFloat(std::string_view text)
{
    TypedFloat r;
    if (text.empty()) return r;
    const std::string copy(text.substr(0, text.find('\0')));
    errno = 0;
    char* end = nullptr;
    const float v = std::strtof(copy.c_str(), &end);
    if (end == copy.c_str()) {
        r.kind = TypedFloat::Kind::invalid;
    } else if (errno == ERANGE) {
        r.kind = TypedFloat::Kind::outOfRange;
    } else if (!std::isfinite(v)) {
        // "nan" and "inf" read as numbers but are no number of hours.
        r.kind = TypedFloat::Kind::invalid;
    } else {
        r.kind = TypedFloat::Kind::number;
        r.value = v;
    }
    return r;
}

std::int32_t maxFitSlots(float hours)
{
    const double h = hours < 0.5f ? 0.5 : hours > 24.0f ? 24.0 : hours;
    const auto slots = static_cast<std::int32_t>(std::ceil(2.0 * h)) - 1;
    return slots < 0 ? 0 : slots > 47 ? 47 : slots;
}

float maxFitHours(std::int32_t slots) { return static_cast<float>(slots) * 0.5f + 0.5f; }

std::string upperAscii(std::string_view text)
{
    std::string s(text);
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

std::optional<std::string> normalizeCallsign(std::string_view text)
{
    if (text.size() < 4 || text.size() > 8) return std::nullopt;
    return upperAscii(text);
}

std::optional<std::string> normalizeDestination(std::string_view text)
{
    if (text.size() != 4) return std::nullopt;
    return upperAscii(text);
}
