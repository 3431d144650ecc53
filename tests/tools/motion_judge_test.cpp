// The motion judge finds each fault a pilot would see, and only that: one base
// motion that passes every property, and rows that each spoil one of them.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "motion_judge.h"

namespace {

using motionjudge::Seen;
using motionjudge::Served;
using motionjudge::Stream;
using motionjudge::Verdict;

constexpr double lf_rad = 3.14159265358979323846 / 180.0;

// What the motion does at time t (seconds): the true speed along the course,
// where the nose points, what the simulator is told, the altitude.
struct Motion {
    double seconds = 60.0;
    double step = 0.01;  // one update a tick
    std::function<double(double)> speedKt = [](double) { return 15.0; };
    std::function<double(double)> courseDeg = [](double) { return 90.0; };
    std::function<double(double)> headingDeg;  // none: the course
    std::function<double(double)> shownKt;     // none: the true speed
    std::function<double(double)> altitudeFt = [](double) { return 0.0; };
    std::function<double(double)> toldFtps;    // none: the altitude's rate
};

Stream lf_fly(const Motion& m)
{
    Stream s;
    s.name = "100";
    double lat = 52.3, lon = 4.76;
    const auto n = static_cast<int>(std::lround(m.seconds / m.step));
    for (int k = 0; k <= n; ++k) {
        const double t = k * m.step;
        const double v = m.speedKt(t);
        const double alt = m.altitudeFt(t);
        const double rate = (m.altitudeFt(t + m.step) - alt) / m.step;
        s.seen.push_back({t, lat, lon, alt, m.headingDeg ? m.headingDeg(t) : m.courseDeg(t),
                          m.shownKt ? m.shownKt(t) : v, m.toldFtps ? m.toldFtps(t) : rate});
        const double nm = v * m.step / 3600.0, c = m.courseDeg(t) * lf_rad;
        lat += nm / 60.04 * std::cos(c);
        lon += nm / 60.04 * std::sin(c) / std::cos(lat * lf_rad);
    }
    return s;
}

TEST(MotionJudge, EachRowSpoilsOneProperty)
{
    struct Row {
        const char* name;
        std::function<void(Motion&)> motion;  // the difference from the base motion
        std::function<void(Stream&)> stream;  // or from the stream flown
        const char* failed;  // the failing properties; "" for none
    };
    const auto air = [](Motion& m) {
        m.speedKt = [](double) { return 140.0; };
        m.altitudeFt = [](double t) { return 2000.0 - 700.0 / 60.0 * t; };
    };
    const std::vector<Row> rows = {
        {"a steady taxi passes", nullptr, nullptr, ""},
        {"a taxi round a corner, the nose turning with it",
         [](Motion& m) { m.courseDeg = [](double t) { return 90.0 + std::clamp(t - 20.0, 0.0, 9.0) * 10.0; }; },
         nullptr, ""},
        {"the nose 80 degrees off the way it goes: a slide",
         [](Motion& m) { m.headingDeg = [](double t) { return t > 30 ? 170.0 : 90.0; }; }, nullptr, "crab"},
        {"a push-back, tail first and told as a negative speed, passes",
         [](Motion& m) {
             m.speedKt = [](double) { return 3.0; };
             m.shownKt = [](double) { return -3.0; };
             m.headingDeg = [](double) { return 270.0; };
         },
         nullptr, ""},
        {"rolling forwards at 8 kt told as -8 kt",
         [](Motion& m) {
             m.speedKt = [](double) { return 8.0; };
             m.shownKt = [](double) { return -8.0; };
         },
         nullptr, "gndSpeed"},
        {"a slow turn on the spot at 2 kt is no slide",
         [](Motion& m) {
             m.speedKt = [](double) { return 2.0; };
             m.headingDeg = [](double t) { return 90.0 + t * 3; };
         },
         nullptr, ""},
        {"0 to 12 kt in one tick", [](Motion& m) { m.speedKt = [](double t) { return t < 20 ? 0.0 : 12.0; }; },
         nullptr, "accel"},
        {"braking at 5 kt/s passes",
         [](Motion& m) {
             m.speedKt = [](double t) { return std::max(0.0, 100.0 - 5.0 * t); };
             m.courseDeg = [](double) { return 183.0; };
         },
         nullptr, ""},
        {"told 0 kt while it still rolls at 7.5 kt",
         [](Motion& m) {
             m.speedKt = [](double) { return 7.5; };
             m.shownKt = [](double) { return 0.0; };
         },
         nullptr, "gndSpeed"},
        {"3.5 kt true on a curve while 15 kt is shown",
         [](Motion& m) {
             m.speedKt = [](double t) { return t > 20 && t < 30 ? 3.5 : 15.0; };
             m.shownKt = [](double) { return 15.0; };
         },
         nullptr, "accel, gndSpeed"},
        {"a descent at 140 kt told as it flies passes", air, nullptr, ""},
        {"100 kt true aloft while 140 kt is shown",
         [air](Motion& m) {
             air(m);
             m.speedKt = [](double) { return 100.0; };
             m.shownKt = [](double) { return 140.0; };
         },
         nullptr, "airSpeed"},
        {"vertical speed told 0 on the final approach",
         [air](Motion& m) {
             air(m);
             m.toldFtps = [](double) { return 0.0; };
         },
         nullptr, "vs"},
        {"a 75 kt light aircraft racing at 200 kt after its creation",
         [](Motion& m) {
             m.speedKt = [](double t) { return t < 8 ? 200.0 : 75.0; };
             m.shownKt = [](double) { return 75.0; };
             m.altitudeFt = [](double) { return 1000.0; };
         },
         [](Stream& s) { s.servedTopKt = 75.0; }, "airSpeed, race"},
        {"served level at 1000 ft, bobbing up to 1296 ft",
         [](Motion& m) {
             m.speedKt = [](double) { return 75.0; };
             m.altitudeFt = [](double t) { return 1000.0 + 296.0 * std::max(0.0, std::sin(t * 2 * 3.14159 / 5)); };
             m.toldFtps = [](double) { return 0.0; };
         },
         [](Stream& s) {
             for (int k = 0; k <= 15; ++k) s.served.push_back(Served{k * 4.0, 1000.0, 75.0, true});
         },
         "vs, level"},
        {"a position 3 km from the one before", nullptr,
         [](Stream& s) { s.seen[10].latitude += 3.0 / 1.852 / 60.04; }, "crab, accel, gndSpeed, jump"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Motion m;
        if (row.motion) row.motion(m);
        Stream s = lf_fly(m);
        if (row.stream) row.stream(s);
        const Verdict v = motionjudge::judgeStream(s);
        EXPECT_EQ(v.failures(), row.failed) << v.table(row.name);
    }
}

TEST(MotionJudge, CreationSpacing)
{
    struct Row {
        std::vector<double> times;
        bool pass;
        double worst;
    };
    const std::vector<Row> rows = {
        {{0.0, 0.5, 1.0, 1.5}, true, 0.5},
        {{3.0, 0.0, 0.5, 0.93}, false, 0.43},  // out of order: sorted first
        {{7.0}, true, 0.0},                    // one creation: nothing to measure
    };
    for (const Row& row : rows) {
        const Verdict v = motionjudge::judgeAll({}, row.times);
        EXPECT_EQ(v.pass(), row.pass);
        EXPECT_NEAR(v.spacing.worst, row.worst, 1e-9);
        EXPECT_EQ(v.spacing.measured, row.times.size() > 1);
    }
}

// A stream written as CSV reads back to the same verdict.
TEST(MotionJudge, CsvRoundTrip)
{
    Motion m;
    m.headingDeg = [](double t) { return t > 30 ? 120.0 : 90.0; };
    Stream s = lf_fly(m);
    s.groundFt = -11.0;
    s.served.push_back(Served{0.0, -11.0, 15.0, false});
    for (Seen& x : s.seen) x.altitudeFt = -11.0;
    const std::string csv = motionjudge::streamsCsv({s}, {1.0, 1.4});
    std::vector<Stream> back;
    std::vector<double> created;
    std::string error;
    ASSERT_TRUE(motionjudge::parseStreamsCsv(csv, back, created, &error)) << error;
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].seen.size(), s.seen.size());
    EXPECT_EQ(created.size(), 2u);
    const Verdict a = motionjudge::judgeAll({s}, {1.0, 1.4});
    const Verdict b = motionjudge::judgeAll(back, created);
    EXPECT_EQ(a.failures(), "crab, spacing");
    EXPECT_EQ(b.failures(), a.failures());
    EXPECT_NEAR(b.crab.worst, a.crab.worst, 0.01);
    EXPECT_FALSE(motionjudge::parseStreamsCsv("100,1,2\n", back, created, &error));
    EXPECT_EQ(error, "line 1: a position row has 8 fields");
}

}  // namespace
