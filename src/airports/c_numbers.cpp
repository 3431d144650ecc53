#include "airports/c_numbers.h"

#include <charconv>
#include <cmath>
#include <cstdint>
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

char* writeFixed(char* out, double value, int decimals)
{
    static constexpr double kScale[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    static constexpr std::uint64_t kPower[] = {1,         10,         100,         1000,         10000,
                                               100000,    1000000,    10000000,    100000000,    1000000000};
    const double magnitude = std::fabs(value);
    if (decimals >= 0 && decimals <= 9 && magnitude < 1e9) {  // false for NaN too
        // The product is rounded once, by at most half a unit in its last place
        // (below scaled x 2^-52), and `fraction` is exact. The integer nearest the
        // exact product is the one nearest `scaled` unless a half lies between
        // them, which cannot be while the fraction is further than that from 0.5.
        const double scaled = magnitude * kScale[decimals];
        const double whole = std::floor(scaled);
        const double fraction = scaled - whole;
        if (std::fabs(fraction - 0.5) > scaled * 0x1p-52) {
            const std::uint64_t n = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
            if (std::signbit(value)) *out++ = '-';
            out = std::to_chars(out, out + 20, n / kPower[decimals]).ptr;
            if (decimals == 0) return out;
            *out++ = '.';
            std::uint64_t rest = n % kPower[decimals];
            for (int i = decimals - 1; i >= 0; --i) {
                out[i] = static_cast<char>('0' + rest % 10);
                rest /= 10;
            }
            return out + decimals;
        }
    }
    return std::to_chars(out, out + kFixedTextRoom, value, std::chars_format::fixed, decimals).ptr;
}
