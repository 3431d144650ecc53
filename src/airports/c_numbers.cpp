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

namespace {

// writeFixed's short path for `Decimals` known when compiled (the divisions by
// its power of ten become multiplications); nullptr when the number must go to
// std::to_chars.
template <int Decimals>
char* lf_fixedShort(char* out, double value)
{
    constexpr double scale = [] {
        double p = 1.0;
        for (int i = 0; i < Decimals; ++i) p *= 10.0;
        return p;
    }();
    constexpr std::uint64_t power = [] {
        std::uint64_t p = 1;
        for (int i = 0; i < Decimals; ++i) p *= 10;
        return p;
    }();
    const double magnitude = std::fabs(value);
    if (!(magnitude < 1e9)) return nullptr;  // NaN too
    // The product is rounded once, by at most half a unit in its last place
    // (below scaled x 2^-52), and `fraction` is exact. The integer nearest the
    // exact product is the one nearest `scaled` unless a half lies between
    // them, which cannot be while the fraction is further than that from 0.5.
    const double scaled = magnitude * scale;
    const double whole = std::floor(scaled);
    const double fraction = scaled - whole;
    if (!(std::fabs(fraction - 0.5) > scaled * 0x1p-52)) return nullptr;
    const std::uint64_t n = static_cast<std::uint64_t>(whole) + (fraction > 0.5 ? 1 : 0);
    if (std::signbit(value)) *out++ = '-';
    out = std::to_chars(out, out + 20, n / power).ptr;
    if constexpr (Decimals > 0) {
        *out++ = '.';
        std::uint64_t rest = n % power;
        for (int i = Decimals - 1; i >= 0; --i) {
            out[i] = static_cast<char>('0' + rest % 10);
            rest /= 10;
        }
        out += Decimals;
    }
    return out;
}

}  // namespace

char* writeFixed(char* out, double value, int decimals)
{
    char* end = nullptr;
    switch (decimals) {
    case 0: end = lf_fixedShort<0>(out, value); break;
    case 1: end = lf_fixedShort<1>(out, value); break;
    case 2: end = lf_fixedShort<2>(out, value); break;
    case 3: end = lf_fixedShort<3>(out, value); break;
    case 4: end = lf_fixedShort<4>(out, value); break;
    case 5: end = lf_fixedShort<5>(out, value); break;
    case 6: end = lf_fixedShort<6>(out, value); break;
    case 7: end = lf_fixedShort<7>(out, value); break;
    case 8: end = lf_fixedShort<8>(out, value); break;
    case 9: end = lf_fixedShort<9>(out, value); break;
    default: break;
    }
    return end ? end : std::to_chars(out, out + kFixedTextRoom, value, std::chars_format::fixed, decimals).ptr;
}
