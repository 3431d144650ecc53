#include "core/time.h"

#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <regex>

#include <gsl/narrow>
#include <gtest/gtest.h>

#include "core/run_state.h"
#include "platform/clock.h"
#include "support/scratch_folder.h"

namespace {

constexpr std::int64_t sunday_2025_10_05_140307 = 1759672987;
constexpr std::int64_t monday_2025_10_06 = 1759708800;

class TimeTest : public ::testing::Test {
protected:
    void SetUp() override { resetRunState(); }
    void TearDown() override { resetRunState(); }
    std::shared_ptr<platform::VirtualClock> clock_ = std::make_shared<platform::VirtualClock>(1759672987.75);
    platform::ScopedClock scoped_{clock_};
};

TEST(FormatTime, Table)
{
    struct Case {
        std::int64_t t;
        const char* text;
    };
    const Case cases[] = {
        {0, "Thu Jan 01 00:00:00 1970"},
        {sunday_2025_10_05_140307, "Sun Okt 05 14:03:07 2025"},
        {monday_2025_10_06, "Mon Okt 06 00:00:00 2025"},
        {-1, "Wed Dec 31 23:59:59 1969"},
        {std::numeric_limits<std::int64_t>::max(), "Invalid time"},
        {std::numeric_limits<std::int64_t>::min(), "Invalid time"},
    };
    for (const auto& c : cases) EXPECT_EQ(formatTime(c.t), c.text) << c.t;
}

TEST(HalfHourSlot, TableOfBoundaries)
{
    struct Case {
        int h, m, s, slot;
    };
    const Case cases[] = {
        {0, 0, 0, 0},     {10, 29, 29, 20}, {10, 29, 30, 21}, {10, 59, 59, 21},
        {11, 0, 0, 22},   {23, 45, 0, 47},  {23, 59, 59, 47}, {0, 29, 30, 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(halfHourSlotAt(monday_2025_10_06 + c.h * 3600 + c.m * 60 + c.s), c.slot)
            << c.h << ":" << c.m << ":" << c.s;
    EXPECT_EQ(halfHourSlotAt(std::numeric_limits<std::int64_t>::max()), -1);
}

TEST(Weekday, MondayIsOneSundayIsSeven)
{
    EXPECT_EQ(weekdayAt(monday_2025_10_06), 1);
    EXPECT_EQ(weekdayAt(sunday_2025_10_05_140307), 7);
    EXPECT_EQ(weekdayAt(0), 4);
    EXPECT_EQ(weekdayAt(std::numeric_limits<std::int64_t>::max()), -1);

    // The week slot the users form: Monday 00:00 is 0, Sunday 23:30 is 335.
    const auto weekSlot = [](std::int64_t t) { return (weekdayAt(t) - 1) * 48 + halfHourSlotAt(t); };
    EXPECT_EQ(weekSlot(monday_2025_10_06), 0);
    EXPECT_EQ(weekSlot(monday_2025_10_06 + 6 * 86400 + 23 * 3600 + 30 * 60), 335);
}

TEST(PackSlotAndWeekday, KeepsHalvesApart)
{
    EXPECT_EQ(packSlotAndWeekday(21, 3), (std::uint64_t{21} << 32) | 3);
    // -1 must not spread into the other half.
    EXPECT_EQ(packSlotAndWeekday(5, -1), (std::uint64_t{5} << 32) | 0xFFFFFFFFu);
    EXPECT_EQ(packSlotAndWeekday(-1, 2) >> 32, 0xFFFFFFFFu);
    EXPECT_EQ(packSlotAndWeekday(-1, 2) & 0xFFFFFFFFu, 2u);
}

TEST_F(TimeTest, NowSecondsFollowsTrafficOnlyWhileShifted)
{
    EXPECT_EQ(nowSeconds(), sunday_2025_10_05_140307);  // whole seconds, truncated
    EXPECT_EQ(logTimePrefix(), "14:03:07");

    trafficLastRecordTime.store(1000.6);
    EXPECT_EQ(nowSeconds(), sunday_2025_10_05_140307);  // no shift: wall clock

    timeShiftActive.store(true);
    EXPECT_EQ(nowSeconds(), 1001);
    EXPECT_EQ(logTimePrefix(), "<<< 00:16:41");
    EXPECT_EQ(timeOfDay(), "14:03:07");  // always the wall clock

    trafficLastRecordTime.store(0.0);  // shift but no traffic yet
    EXPECT_EQ(nowSeconds(), sunday_2025_10_05_140307);
    EXPECT_EQ(logTimePrefix(), "14:03:07");
    trafficLastRecordTime.store(0.4);  // rounds to 0: still no traffic time
    EXPECT_EQ(nowSeconds(), sunday_2025_10_05_140307);
}

TEST_F(TimeTest, GarbageTrafficTimeThrowsFromNowSecondsButNotFromThePrefix)
{
    timeShiftActive.store(true);
    for (double bad : {std::nan(""), 1e300, -1e300, std::numeric_limits<double>::infinity(), 9.3e18}) {
        trafficLastRecordTime.store(bad);
        EXPECT_THROW(nowSeconds(), gsl::narrowing_error) << bad;
        EXPECT_EQ(logTimePrefix(), "<<< ??:??:??") << bad;
    }
    // Fits an int64 but not the calendar.
    trafficLastRecordTime.store(9.0e18);
    EXPECT_EQ(nowSeconds(), 9000000000000000000);
    EXPECT_EQ(logTimePrefix(), "<<< ??:??:??");
    EXPECT_EQ(halfHourSlot(), -1);
    EXPECT_EQ(slotAndWeekday(), packSlotAndWeekday(-1, -1));
}

TEST_F(TimeTest, WallClockTexts)
{
    EXPECT_EQ(timeOfDay(), "14:03:07");
    EXPECT_EQ(dateTimeString(), "Okt 05, 2025");
    EXPECT_EQ(halfHourSlot(), 28);
    EXPECT_EQ(slotAndWeekday(), packSlotAndWeekday(28, 7));
}

// A clock that moves on by 0.2 s at every wall-clock read.
class CreepingClock final : public platform::Clock {
public:
    explicit CreepingClock(double start) : wall_(start) {}
    TimePoint now() override { return {}; }
    double wallSeconds() override
    {
        const double w = wall_;
        wall_ += 0.2;
        return w;
    }
    void sleepFor(Duration) override {}
    bool waitUntil(std::condition_variable&, std::unique_lock<std::mutex>&, TimePoint,
                   const std::function<bool()>& ready) override
    {
        return ready();
    }

private:
    double wall_;
};

TEST(SlotAndWeekday, ReadsTheClockOnceAtMidnight)
{
    resetRunState();
    // Sunday 23:59:59.9: a second read would already be Monday 00:00:00.1.
    platform::ScopedClock scoped(std::make_shared<CreepingClock>(double(monday_2025_10_06) - 0.1));
    EXPECT_EQ(slotAndWeekday(), packSlotAndWeekday(47, 7));
}

TEST(VersionNumber, ComparesFieldByFieldAsSigned)
{
    const VersionNumber v{11, 0, 3};
    EXPECT_GT(v, (VersionNumber{10, 9, 9}));
    EXPECT_LT(v, (VersionNumber{11, 1, 0}));
    EXPECT_EQ(v, (VersionNumber{11, 0, 3}));
    EXPECT_LT((VersionNumber{-1, 0, 0}), (VersionNumber{0, 0, 0}));
    EXPECT_EQ(versionToString(programVersion), "11.0.3");
    EXPECT_EQ(parseVersion(programVersionText), programVersion);
}

TEST(ParseVersion, Table)
{
    struct Case {
        const char* text;
        VersionNumber expected;
        const char* logged;  // nullptr: no log line
    };
    const Case cases[] = {
        {"11.0.3", {11, 0, 3}, nullptr},
        {"1-2-3", {1, 2, 3}, nullptr},
        {"", {0, 0, 0}, nullptr},
        {R"({"major": 2, "patch": 7})", {2, 0, 7}, nullptr},
        {R"([1, 2, 3])", {0, 0, 0}, nullptr},
        {"v11.0.3", {0, 0, 0}, "VersionData exception: [json.exception.parse_error.101]"},
        {"1.99999999999.3", {1, 0, 0}, "VersionData exception: parse error in version string"},
        {R"({"major": 4, "minor": "x"})", {4, 0, 0},
         "VersionData exception: [json.exception.type_error.302] type must be number, but is string"},
        {R"({"major": true})", {0, 0, 0}, "VersionData exception: [json.exception.type_error.302]"},
        {R"({"major": 1e300})", {0, 0, 0}, "VersionData exception: parse error in version string"},
        {R"({"major": 3, "minor": 4294967297})", {3, 0, 0}, "VersionData exception: parse error in version string"},
        {R"({"major": 5, "minor": -2, "patch": 2.5})", {5, -2, 2}, nullptr},
    };
    for (const auto& c : cases) {
        ScratchLog log;
        EXPECT_EQ(parseVersion(c.text), c.expected) << c.text;
        const auto lines = log.lines();
        if (c.logged == nullptr) {
            EXPECT_TRUE(lines.empty()) << c.text;
        } else {
            ASSERT_EQ(lines.size(), 1u) << c.text;
            EXPECT_EQ(lines[0].rfind(c.logged, 0), 0u) << c.text << " logged " << lines[0];
        }
    }
}

// The version matcher must pick the same groups as the ECMAScript pattern it
// stands for; std::regex is the oracle on short texts.
TEST(ParseVersion, MatchesTheRegularExpression)
{
    const std::regex pattern(R"((\d+).(\d+).(\d+))", std::regex::ECMAScript);
    const std::string alphabet = "0123.-x\n\r ";
    std::mt19937 engine(12345);
    for (int i = 0; i < 20000; ++i) {
        std::string text(engine() % 11, ' ');
        for (char& c : text) c = alphabet[engine() % alphabet.size()];
        VersionNumber expected;
        std::smatch m;
        if (std::regex_match(text, m, pattern))
            expected = {std::stoi(m[1].str()), std::stoi(m[2].str()), std::stoi(m[3].str())};
        ASSERT_EQ(parseVersion(text), expected) << "'" << text << "'";
    }
}

TEST(ParseVersion, LongTextsDoNotOverflowTheStack)
{
    EXPECT_EQ(parseVersion(std::string(200000, '1') + "x"), VersionNumber{});
    EXPECT_EQ(parseVersion("1.2." + std::string(200000, '0') + "3"), (VersionNumber{1, 2, 3}));
}

}  // namespace
