// Light aircraft while the user flies: the program, the simulator stand-in and
// the service stand-in over real sockets, the user aircraft aloft at 5000 ft
// and 250 kt throughout, and general aviation seen by multilateration (a fix
// every 4 s, no airspeed) circling low near the airport and far from it, some
// level, some climbing and descending, and some departing from a strip beside
// the runway with a slow climb. What the stand-in received of each is judged
// against the ground speed the service served it with (a departure's: never
// faster than its fastest).

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/fmt.h"
#include "e2e_fixture.h"
#include "motion_judge.h"

namespace {

using namespace shelle2e;

constexpr int lf_lightPlanes = 8;
constexpr int lf_lightDepartures = 3;

// Whether a stream is one of the scene's light planes (they go by their registration).
bool lf_isLight(const motionjudge::Stream& s)
{
    const auto space = s.name.find(' ');
    return space != std::string::npos && s.name.compare(space + 1, 2, "PH") == 0;
}

// The worst of the true speed over any second in the air (from positions alone)
// against the ground speed served, as the share over the allowed 15 % + 5 kt.
struct SpeedFigure {
    double overKt = -1e9;  // the worst excess over the allowance (negative: within it)
    std::string where;
    std::size_t windows = 0;
};

void lf_judgeServedSpeed(const motionjudge::Stream& s, double servedKt, bool slowerToo, SpeedFigure& f)
{
    const auto& seen = s.seen;
    // The creation's place is no update: windows start at the first update.
    std::size_t j = 1;
    for (std::size_t i = 1; i < seen.size(); ++i) {
        j = std::max(j, i + 1);
        while (j < seen.size() && seen[j].t < seen[i].t + 1.0) ++j;
        if (j >= seen.size()) break;
        const double kt = motionjudge::distanceNm(seen[i].latitude, seen[i].longitude, seen[j].latitude,
                                                  seen[j].longitude) /
                          (seen[j].t - seen[i].t) * 3600.0;
        const double over = (slowerToo ? std::abs(kt - servedKt) : kt - servedKt) - (0.15 * servedKt + 5.0);
        ++f.windows;
        if (over > f.overKt) {
            f.overKt = over;
            f.where = vr::format("{} at {:.1f} s: true {:.1f} kt, served {:.1f} kt, told {:.1f} kt", s.name,
                                 seen[i].t, kt, servedKt, seen[i].speedKt);
        }
    }
}

TEST_F(ShellEndToEnd, LightAircraftFlyAsServedWhileTheUserFlies)
{
    scopedClock_.reset();
    scopedClock_ = std::make_unique<platform::ScopedClock>(
        std::make_shared<platform::ScaledClock>(judgedRealSecondsPerSecond));
    script_.aloftFt = 5000;
    script_.aloftKt = 250;
    startWorld();
    standin::FakeTrafficService service;
    startService(service, 1, lf_lightPlanes, lf_lightDepartures);
    std::string failure;
    const int code = runUntilClosed(
        [] {
            platform::sleepFor(std::chrono::seconds(120));  // program time
            return std::string();
        },
        failure);
    service.stop();
    EXPECT_EQ(failure, "");
    EXPECT_EQ(code, 0);
    stopWorld();

    std::vector<motionjudge::Stream> streams = simstandin::judgeStreams(server_->tracks());
    ASSERT_EQ(attachFeed(streams), "");
    std::erase_if(streams, [](const motionjudge::Stream& s) { return !lf_isLight(s); });
    std::ofstream(world_ / "light_tracks.csv") << motionjudge::streamsCsv(streams, {});
    SpeedFigure f;
    std::size_t departures = 0;
    for (const motionjudge::Stream& s : streams) {
        ASSERT_FALSE(s.fed.empty()) << s.name;
        // A circling light plane is served at one ground speed throughout; a
        // departing one rolls, lifts off and climbs away no faster than its fastest.
        const auto [slowest, fastest] = std::minmax_element(
            s.fed.begin(), s.fed.end(), [](const auto& a, const auto& b) { return a.groundSpeedKt < b.groundSpeedKt; });
        const bool departs = fastest->groundSpeedKt - slowest->groundSpeedKt > 1.0;
        departures += departs ? 1 : 0;
        lf_judgeServedSpeed(s, fastest->groundSpeedKt, !departs, f);
    }
    const motionjudge::Verdict v = motionjudge::judgeAll(streams, {});
    std::printf("%s", v.table(vr::format("light aircraft, the user aloft, {} streams (tracks: {})", streams.size(),
                                         (world_ / "light_tracks.csv").string()))
                          .c_str());
    std::printf("true speed against the served ground speed: worst %.1f kt over the allowance (%zu windows), %s\n",
                f.overKt, f.windows, f.where.c_str());
    // Near the user and far from it (the query box round the user takes some of them).
    EXPECT_GE(streams.size(), 4u);
    EXPECT_GE(departures, 2u);
    EXPECT_GE(f.windows, 200u);
    EXPECT_LE(f.overKt, 0.0) << f.where;
    EXPECT_EQ(v.assertedFailures("e2e"), "") << v.table("light aircraft");
    if (HasFailure() && !failure.empty()) std::printf("%s\n", logText().c_str());
}

}  // namespace
