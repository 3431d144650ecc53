#include "airports/c_numbers.h"

#include <charconv>
#include <limits>

ParsedNumber parseLeadingDouble(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\n' || text[i] == '\r' ||
                               text[i] == '\f' || text[i] == '\v'))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // from_chars takes no sign of its own here: a second sign is not a number.
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) return {};
    ParsedNumber result;
    const char* first = text.data() + i;
    const auto [end, ec] = std::from_chars(first, text.data() + text.size(), result.value);
    if (end == first) return {};
    if (ec == std::errc::result_out_of_range) return {0.0, NumberStatus::outOfRange};
    if (ec != std::errc{}) return {};
    if (negative) result.value = -result.value;
    result.status = NumberStatus::ok;
    return result;
}

double leadingDoubleOrZero(std::string_view text)
{
    const ParsedNumber n = parseLeadingDouble(text);
    if (n.status == NumberStatus::outOfRange) return std::numeric_limits<double>::quiet_NaN();
    return n.status == NumberStatus::ok ? n.value : 0.0;
}
