#pragma once
// Time in whole seconds since 1970 (UTC only), half-hour slots of the day, and
// version numbers. Every clock read goes through platform::clock().

#include <compare>
#include <cstdint>
#include <string>

// The program's current time: the newest traffic record's time (rounded) while a
// time shift is active and traffic has come, else the wall clock. Throws
// gsl::narrowing_error when the traffic time is not a number or does not fit.
std::int64_t nowSeconds();
// The wall clock in whole seconds since 1970 (what time() gives).
std::int64_t wallClockSeconds();

// "Sun Okt 05 14:03:07 2025" (UTC), or "Invalid time" when t cannot be broken down.
std::string formatTime(std::int64_t t);
// "hh:mm:ss" of the wall clock (UTC).
std::string timeOfDay();
// "hh:mm:ss" of nowSeconds(), as "<<< hh:mm:ss" when the time is the traffic's.
// Never throws: a time that cannot be shown gives "??:??:??".
std::string logTimePrefix();
// "Okt 05, 2025" of the wall clock.
std::string dateTimeString();

// Slot of the day 0..47 of t: 2h for hh:00:00..hh:29:29, 2h+1 for hh:29:30..hh:59:59;
// -1 when t cannot be broken down.
int halfHourSlotAt(std::int64_t t);
// Weekday of t, Monday 1 .. Sunday 7; -1 when t cannot be broken down.
int weekdayAt(std::int64_t t);
// Slot in the high 32 bits, weekday in the low 32 bits (each as its 32-bit pattern).
std::uint64_t packSlotAndWeekday(int slot, int weekday);

// The slot of nowSeconds().
int halfHourSlot();
// Slot and weekday of one reading of nowSeconds(), packed.
std::uint64_t slotAndWeekday();

struct VersionNumber {
    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t patch = 0;
    // Field by field, major first, as signed ints.
    friend auto operator<=>(const VersionNumber&, const VersionNumber&) = default;
};

inline constexpr const char* programVersionText = "11.0.3";
inline constexpr VersionNumber programVersion{11, 0, 3};

// "{}.{}.{}" of major, minor and patch.
std::string versionToString(const VersionNumber& v);

// "11.0.3" (any one character between the numbers), else a JSON object with
// "major", "minor", "patch", else 0.0.0. Never throws: errors are logged as
// "VersionData exception: ..." and the fields read so far are returned.
VersionNumber parseVersion(const std::string& text);
