// Fixed-notation numbers of the stand files: writeFixed gives exactly what
// std::to_chars gives, on its short path and on the way round it.

#include "airports/c_numbers.h"

#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "core/fmt.h"

namespace {

std::string expected(double value, int decimals)
{
    char text[kFixedTextRoom];
    return {text, std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals).ptr};
}

std::string written(double value, int decimals)
{
    char text[kFixedTextRoom];
    return {text, writeFixed(text, value, decimals)};
}

TEST(WriteFixed, AsToChars)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        const char* name;
        double value;
        int decimals;
        const char* text;  // what both give
    };
    const Row rows[] = {
        {"a latitude", 52.308613, 6, "52.308613"},
        {"a negative longitude", -3.1415926, 6, "-3.141593"},
        {"a heading", 359.95, 1, "359.9"},  // 359.94999999999998863...
        {"no decimals", 2.5, 0, "2"},       // a tie: to even
        {"no decimals, odd", 3.5, 0, "4"},
        {"a tie to even down", 0.25, 1, "0.2"},
        {"a tie to even up", 0.75, 1, "0.8"},
        {"a tie at the sixth decimal", 0.0078125, 6, "0.007812"},  // 2^-7
        {"a tie at the sixth, odd", 0.0234375, 6, "0.023438"},
        {"just above a tie", std::nextafter(0.25, 1.0), 1, "0.3"},
        {"just below a tie", std::nextafter(0.75, 0.0), 1, "0.7"},
        {"below the last decimal", 4e-7, 6, "0.000000"},
        {"negative, rounding to zero", -4e-7, 6, "-0.000000"},
        {"negative zero", -0.0, 1, "-0.0"},
        {"zero", 0.0, 6, "0.000000"},
        {"the smallest number", std::numeric_limits<double>::denorm_min(), 6, "0.000000"},
        {"rounding up to the next whole", 0.99999995, 6, "1.000000"},
        {"nine decimals", 0.123456789012, 9, "0.123456789"},
        {"just under the short path's limit", 999999999.96, 1, "1000000000.0"},
        {"at the short path's limit", 1e9, 1, "1000000000.0"},
        {"large", 1e20, 1, "100000000000000000000.0"},
        {"huge", -1e300, 0, nullptr},
        {"infinite", inf, 6, "inf"},
        {"negative infinite", -inf, 1, "-inf"},
        {"not a number", nan, 6, "nan"},
        {"negative not a number", -nan, 1, "-nan"},
        {"more decimals than the short path takes", 1.0 / 3.0, 12, "0.333333333333"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(written(row.value, row.decimals), expected(row.value, row.decimals));
        if (row.text) {
            EXPECT_EQ(written(row.value, row.decimals), row.text);
        }
    }
}

TEST(WriteFixed, SeededNumbersOfEverySize)
{
    std::mt19937_64 random(26);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-40, 40);
    std::uniform_int_distribution<int> decimals(0, 9);
    std::uniform_int_distribution<long long> halves(-400000000, 400000000);
    for (int i = 0; i < 200000; ++i) {
        // Spread over magnitudes, then in the ranges the files hold, then near
        // the ties of six and one decimals (a half of the last digit, a step off).
        const double any = std::ldexp(unit(random), exponent(random));
        const double degrees = 180.0 * unit(random);
        const double nearTie = (static_cast<double>(halves(random)) + 0.5) / 1e6;
        const double nearTenth = (static_cast<double>(halves(random) % 20000) + 0.5) / 10.0;
        for (const auto& [value, places] : {std::pair{any, decimals(random)}, std::pair{degrees, 6},
                                            std::pair{nearTie, 6}, std::pair{std::nextafter(nearTie, 0.0), 6},
                                            std::pair{nearTenth, 1}, std::pair{std::nextafter(nearTenth, 1e9), 1}}) {
            if (written(value, places) != expected(value, places)) {
                ADD_FAILURE() << vr::format("{} with {} decimals: {} instead of {}", value, places,
                                            written(value, places), expected(value, places));
                return;
            }
        }
    }
}

}  // namespace
