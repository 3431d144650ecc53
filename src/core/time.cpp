#include "core/time.h"

#include <array>
#include <charconv>
#include <cmath>
#include <ctime>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <vector>

#include <gsl/narrow>
#include <nlohmann/json.hpp>

#include "core/fmt.h"
#include "core/log.h"
#include "core/run_state.h"
#include "platform/clock.h"

namespace {

constexpr std::array<const char*, 12> lf_monthNames{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                     "Jul", "Aug", "Sep", "Okt", "Nov", "Dec"};
// Monday first; Sunday is day 7.
constexpr std::array<const char*, 7> lf_dayNames{"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};

constexpr const char* lf_unknownTime = "??:??:??";

const char* lf_monthName(int i) { return i >= 0 && i < 12 ? lf_monthNames[static_cast<std::size_t>(i)] : "???"; }
const char* lf_dayName(int day) { return day >= 1 && day <= 7 ? lf_dayNames[static_cast<std::size_t>(day - 1)] : "???"; }

// Rounds seconds to a whole number without undefined behaviour: a value that is
// not finite or does not fit an int64 throws gsl::narrowing_error (a plain cast
// of such a double is undefined).
std::int64_t lf_toSeconds(double s)
{
    const double r = std::round(s);
    // 2^63 is exact as a double; every finite double below it converts.
    if (!std::isfinite(r) || r < -9223372036854775808.0 || r >= 9223372036854775808.0)
        throw gsl::narrowing_error{};
    return static_cast<std::int64_t>(r);
}

// The rounded traffic time when it stands for the current time: a time shift is
// active and the newest record's time does not round to 0.
std::optional<double> lf_trafficTime()
{
    if (!timeShiftActive.load()) return std::nullopt;
    const double r = std::round(trafficLastRecordTime.load());
    if (r == 0.0) return std::nullopt;  // NaN is kept: it is not 0
    return r;
}

std::optional<std::tm> lf_breakDown(std::int64_t t)
{
    if (t < std::numeric_limits<std::time_t>::min() || t > std::numeric_limits<std::time_t>::max())
        return std::nullopt;
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
#ifdef _WIN32
    if (gmtime_s(&tm, &tt) != 0) return std::nullopt;
#else
    if (gmtime_r(&tt, &tm) == nullptr) return std::nullopt;
#endif
    return tm;
}

int lf_weekday(const std::tm& tm) { return tm.tm_wday == 0 ? 7 : tm.tm_wday; }

int lf_slot(const std::tm& tm)
{
    int s = 2 * tm.tm_hour;
    if (tm.tm_min > 29 || (tm.tm_min == 29 && tm.tm_sec >= 30)) ++s;
    return s % 48;
}

std::string lf_hms(std::int64_t t)
{
    const auto tm = lf_breakDown(t);
    if (!tm) return lf_unknownTime;
    return vr::format("{:02}:{:02}:{:02}", tm->tm_hour, tm->tm_min, tm->tm_sec);
}

// The three digit groups of a whole match of the ECMAScript pattern
// "(\d+).(\d+).(\d+)" (the dots unescaped: any character but CR and LF), with
// the groups that pattern's backtracking picks: the first group as long as
// possible, then the second. Done by hand because std::regex recurses once per
// character and overflows the stack on long texts.
struct VersionGroups {
    std::string_view major, minor, patch;
};

std::optional<VersionGroups> lf_matchVersion(std::string_view text)
{
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    const auto isAny = [](char c) { return c != '\n' && c != '\r'; };
    const std::size_t n = text.size();
    if (n < 5) return std::nullopt;
    // run[i]: length of the digit run that starts at i.
    std::vector<std::size_t> run(n + 1, 0);
    for (std::size_t i = n; i-- > 0;) run[i] = isDigit(text[i]) ? run[i + 1] + 1 : 0;
    const std::size_t trailing = run[n - 1] == 0 ? 0 : [&] {
        std::size_t t = 0;
        while (t < n && isDigit(text[n - 1 - t])) ++t;
        return t;
    }();
    if (trailing == 0) return std::nullopt;

    // a: index of the first separator, b: of the second. The first group is
    // text[0, a), the second text[a + 1, b), the third the rest.
    for (std::size_t a = std::min(run[0], n - 4); a >= 1; --a) {
        if (!isAny(text[a]) || run[a + 1] == 0) continue;
        const std::size_t hi = std::min(a + 1 + run[a + 1], n - 2);
        // The rest after b must be all digits: b + 1 >= n - trailing.
        const std::size_t lo = std::max(a + 2, n - trailing > 0 ? n - trailing - 1 : 0);
        for (std::size_t b = hi; b >= lo; --b) {
            if (isAny(text[b])) return VersionGroups{text.substr(0, a), text.substr(a + 1, b - a - 1), text.substr(b + 1)};
        }
    }
    return std::nullopt;
}

int lf_parseGroup(std::string_view text)
{
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size())
        throw std::runtime_error("parse error in version string");
    return value;
}

// A JSON member as an int. get<int>() would take true as 1 and cast a huge
// float with undefined behaviour, so both are refused here.
int lf_jsonInt(const nlohmann::json& j, const char* name)
{
    const auto it = j.find(name);
    if (it == j.end()) return 0;
    if (!it->is_number())
        throw nlohmann::json::type_error::create(302, std::string("type must be number, but is ") + it->type_name(),
                                                 nullptr);
    if (it->is_number_float()) {
        const double d = it->get<double>();
        if (!(d > -2147483649.0 && d < 2147483648.0)) throw std::runtime_error("parse error in version string");
        return static_cast<int>(d);
    }
    if (it->is_number_unsigned()) {
        const auto u = it->get<std::uint64_t>();
        if (u > static_cast<std::uint64_t>(std::numeric_limits<int>::max()))
            throw std::runtime_error("parse error in version string");
        return static_cast<int>(u);
    }
    const auto i = it->get<std::int64_t>();
    if (i < std::numeric_limits<int>::min() || i > std::numeric_limits<int>::max())
        throw std::runtime_error("parse error in version string");
    return static_cast<int>(i);
}

}  // namespace

std::int64_t wallClockSeconds()
{
    // Whole seconds, as time() gives them.
    return lf_toSeconds(std::floor(platform::wallSeconds()));
}

std::int64_t nowSeconds()
{
    if (const auto traffic = lf_trafficTime()) return lf_toSeconds(*traffic);
    return wallClockSeconds();
}

std::string formatTime(std::int64_t t)
{
    const auto tm = lf_breakDown(t);
    if (!tm) return "Invalid time";
    return vr::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", lf_dayName(lf_weekday(*tm)), lf_monthName(tm->tm_mon),
                      tm->tm_mday, tm->tm_hour, tm->tm_min, tm->tm_sec, tm->tm_year + 1900);
}

std::string timeOfDay()
{
    try {
        return lf_hms(wallClockSeconds());
    } catch (const std::exception&) {
        return lf_unknownTime;
    }
}

std::string logTimePrefix()
{
    try {
        if (const auto traffic = lf_trafficTime()) {
            const double r = *traffic;
            if (!std::isfinite(r) || r < -9223372036854775808.0 || r >= 9223372036854775808.0)
                return vr::format("<<< {}", lf_unknownTime);
            return vr::format("<<< {}", lf_hms(static_cast<std::int64_t>(r)));
        }
        return lf_hms(wallClockSeconds());
    } catch (const std::exception&) {
        return lf_unknownTime;
    }
}

std::string dateTimeString()
{
    try {
        const auto tm = lf_breakDown(wallClockSeconds());
        if (tm) return vr::format("{} {:02}, {:4}", lf_monthName(tm->tm_mon), tm->tm_mday, tm->tm_year + 1900);
    } catch (const std::exception&) {
    }
    return "??? ??, ????";
}

int halfHourSlotAt(std::int64_t t)
{
    const auto tm = lf_breakDown(t);
    return tm ? lf_slot(*tm) : -1;
}

int weekdayAt(std::int64_t t)
{
    const auto tm = lf_breakDown(t);
    return tm ? lf_weekday(*tm) : -1;
}

std::uint64_t packSlotAndWeekday(int slot, int weekday)
{
    return (std::uint64_t(std::uint32_t(slot)) << 32) | std::uint32_t(weekday);
}

int halfHourSlot() { return halfHourSlotAt(nowSeconds()); }

std::uint64_t slotAndWeekday()
{
    // One reading for both: two readings could straddle midnight.
    const std::int64_t t = nowSeconds();
    const auto tm = lf_breakDown(t);
    if (!tm) return packSlotAndWeekday(-1, -1);
    return packSlotAndWeekday(lf_slot(*tm), lf_weekday(*tm));
}

std::string versionToString(const VersionNumber& v) { return vr::format("{}.{}.{}", v.major, v.minor, v.patch); }

VersionNumber parseVersion(const std::string& text)
{
    VersionNumber v;
    if (text.empty()) return v;
    try {
        // Any one character between the numbers: "1-2-3" is a version too.
        if (const auto groups = lf_matchVersion(text)) {
            v.major = lf_parseGroup(groups->major);
            v.minor = lf_parseGroup(groups->minor);
            v.patch = lf_parseGroup(groups->patch);
            return v;
        }
        const auto j = nlohmann::json::parse(text);
        if (j.is_object()) {
            v.major = lf_jsonInt(j, "major");
            v.minor = lf_jsonInt(j, "minor");
            v.patch = lf_jsonInt(j, "patch");
        }
    } catch (const std::exception& e) {
        logLine(vr::format("{} exception: {}", "VersionData", e.what()));
    }
    return v;
}
