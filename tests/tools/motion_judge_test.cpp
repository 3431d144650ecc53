// The motion judge finds each fault a pilot would see, and only that: one base
// motion that passes every property, and rows that each spoil one of them.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

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

// No update for the first `ticks` after the creation: it stands where it was
// made, then goes on from there as it would have from the start.
void lf_hang(Stream& s, std::size_t ticks)
{
    const Seen& from = s.seen[ticks];
    const double dLat = from.latitude - s.seen[0].latitude, dLon = from.longitude - s.seen[0].longitude;
    s.seen.erase(s.seen.begin() + 1, s.seen.begin() + static_cast<std::ptrdiff_t>(ticks));
    for (std::size_t k = 1; k < s.seen.size(); ++k) {
        s.seen[k].latitude -= dLat;
        s.seen[k].longitude -= dLon;
    }
}

// One update a frame of the simulator's (30 a second), for 200 s.
void lf_frames(Motion& m)
{
    m.step = 1.0 / 30.0;
    m.seconds = 200.0;
}

// What the simulator receives of a stream flown one update a tick: a frame
// every 1/30 s (give or take 0.4 ms), each with the ticks owed by then, so
// mostly 3, 3, 4 ticks of motion a frame.
Stream lf_quantized(const Stream& ticks)
{
    std::mt19937 jitter(7);
    std::uniform_real_distribution<double> off(-0.0004, 0.0004);
    Stream s = ticks;
    s.seen.assign(1, ticks.seen.front());
    for (int k = 1;; ++k) {
        const double t = k / 30.0 + off(jitter);
        const auto tick = static_cast<std::size_t>(std::floor(t / 0.01));
        if (tick >= ticks.seen.size()) break;
        Seen x = ticks.seen[tick];
        x.t = t;
        s.seen.push_back(x);
    }
    return s;
}

void lf_skipFrames(Stream& s, std::size_t every)
{
    for (std::size_t k = s.seen.size() - every; k > 0; k -= std::min(k, every)) s.seen.erase(s.seen.begin() + k);
}

// The frames the simulator sent, known: one just before each update came (the
// creation's place aside); every `every`-th of them, and its update, `lateS` late.
void lf_framesSent(Stream& s, std::size_t every, double lateS)
{
    auto frames = std::make_shared<std::vector<double>>();
    for (std::size_t k = 1; k < s.seen.size(); ++k) {
        if (every > 0 && k % every == 0) s.seen[k].t += lateS;
        frames->push_back(s.seen[k].t - 0.001);
    }
    s.frameTimes = frames;
}

// The feed of the motion: where it was, every 2 s, `lagS` before the simulator
// shows it there, `aboveFt` higher.
void lf_feed(Stream& s, double lagS, double aboveFt)
{
    for (std::size_t k = 0; k < s.seen.size(); k += 200) {
        const Seen& x = s.seen[k];
        s.fed.push_back({x.t - lagS, x.latitude, x.longitude, x.altitudeFt + aboveFt, x.speedKt, true});
    }
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
        {"standing 20 s where it was made, then 12 kt in one tick: a hang too",
         [](Motion& m) { m.speedKt = [](double t) { return t < 20 ? 0.0 : 12.0; }; }, nullptr, "accel, hang"},
        {"off from rest 20 s after its creation at 5 kt/s passes",
         [](Motion& m) { m.speedKt = [](double t) { return std::clamp((t - 20.0) * 5.0, 0.0, 15.0); }; }, nullptr,
         ""},
        {"standing 2.4 s where it was made (no update), then on at 15 kt", nullptr,
         [](Stream& s) { lf_hang(s, 240); }, "hang"},
        {"its first movement 0.25 s after its creation passes", nullptr, [](Stream& s) { lf_hang(s, 25); }, ""},
        {"a taxi 10 ft under the ground", nullptr, [](Stream& s) { s.groundFt = 10.0; }, "below"},
        {"a taxi 2 ft under the ground passes", nullptr, [](Stream& s) { s.groundFt = 2.0; }, ""},
        {"a position every frame passes", [](Motion& m) { lf_frames(m); }, nullptr, ""},
        {"one frame in 2000 skipped passes", [](Motion& m) { lf_frames(m); },
         [](Stream& s) { lf_skipFrames(s, 2000); }, ""},
        {"one frame in 500 skipped", [](Motion& m) { lf_frames(m); }, [](Stream& s) { lf_skipFrames(s, 500); },
         "frames"},
        {"the frames sent known, one in 500 skipped", [](Motion& m) { lf_frames(m); },
         [](Stream& s) {
             lf_framesSent(s, 0, 0.0);
             lf_skipFrames(s, 500);
         },
         "frames"},
        {"the frames sent known, one in 500 sent 20 ms late by the simulator passes", [](Motion& m) { lf_frames(m); },
         [](Stream& s) { lf_framesSent(s, 500, 0.02); }, ""},
        {"frames unknown, one update in 500 came 20 ms late", [](Motion& m) { lf_frames(m); },
         [](Stream& s) {
             lf_framesSent(s, 500, 0.02);
             s.frameTimes = nullptr;
         },
         "frames"},
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
         "vs, level, vjump"},
        {"a climb at 5500 fpm passes",
         [air](Motion& m) {
             air(m);
             m.altitudeFt = [](double t) { return 2000.0 + 5500.0 / 60.0 * t; };
         },
         nullptr, ""},
        {"a climb at 6500 fpm",
         [air](Motion& m) {
             air(m);
             m.altitudeFt = [](double t) { return 2000.0 + 6500.0 / 60.0 * t; };
         },
         nullptr, "vjump"},
        {"a drop of 800 ft in one tick", air,
         [](Stream& s) {
             for (std::size_t k = 3000; k < s.seen.size(); ++k) s.seen[k].altitudeFt -= 800.0;
         },
         "vs, vjump"},
        {"30 s behind the feed, at its altitude, passes", air, [](Stream& s) { lf_feed(s, 30.0, 0.0); }, ""},
        {"45 s behind the feed", air, [](Stream& s) { lf_feed(s, 45.0, 0.0); }, "lag"},
        {"300 ft under the altitude served where it is", air, [](Stream& s) { lf_feed(s, 30.0, 300.0); },
         "altServed"},
        {"a take-off roll at 4.8 kt/s to 160 kt, 3, 3, 4 ticks a frame, passes",
         [](Motion& m) {
             m.seconds = 40.0;
             m.speedKt = [](double t) { return std::min(160.0, 4.8 * t); };
         },
         [](Stream& s) { s = lf_quantized(s); }, ""},
        {"a take-off roll at 7 kt/s to 160 kt, 3, 3, 4 ticks a frame",
         [](Motion& m) {
             m.seconds = 40.0;
             m.speedKt = [](double t) { return std::min(160.0, 7.0 * t); };
         },
         [](Stream& s) { s = lf_quantized(s); }, "accel"},
        {"a roll at 150 kt gaining 9 kt within a second, 3, 3, 4 ticks a frame",
         [](Motion& m) {
             m.seconds = 40.0;
             m.speedKt = [](double t) { return 150.0 + 9.0 * std::clamp(t - 20.0, 0.0, 1.0); };
         },
         [](Stream& s) { s = lf_quantized(s); }, "accel"},
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

// Two aircraft at once: one taxiing east at 15 kt for 60 s (about 460 m),
// the other where each row puts it. Both are narrow-bodies (35.8 m wide).
TEST(MotionJudge, GroundSeparation)
{
    struct Row {
        const char* name;
        std::function<void(Stream&)> other;  // from a copy of the taxiing one
        bool pass;
        bool measured = true;  // false: never both on the ground
    };
    const auto standAt = [](Stream& o, double eastM, double northM) {
        const Seen first = o.seen.front();
        for (Seen& x : o.seen) {
            x = first;
            x.latitude += northM / 1852.0 / 60.04;
            x.longitude += eastM / 1852.0 / 60.04 / std::cos(first.latitude * lf_rad);
            x.speedKt = 0.0;
        }
    };
    const std::vector<Row> rows = {
        {"standing 100 m north of its way passes", [&](Stream& o) { standAt(o, 200.0, 100.0); }, true},
        {"standing in its way, 200 m on: it rolls through", [&](Stream& o) { standAt(o, 200.0, 0.0); }, false},
        {"flying over its way at 500 ft passes",
         [&](Stream& o) {
             standAt(o, 200.0, 0.0);
             for (Seen& x : o.seen) x.altitudeFt = 500.0;
         },
         true, false},
        {"in its way, but removed before it comes passes",
         [&](Stream& o) {
             standAt(o, 200.0, 0.0);
             o.removedAt = 10.0;
         },
         true},
        {"following it 60 m behind passes",
         [](Stream& o) {
             for (Seen& x : o.seen) x.longitude -= 60.0 / 1852.0 / 60.04 / std::cos(x.latitude * lf_rad);
         },
         true},
        {"following it 20 m behind",
         [](Stream& o) {
             for (Seen& x : o.seen) x.longitude -= 20.0 / 1852.0 / 60.04 / std::cos(x.latitude * lf_rad);
         },
         false},
        {"a static aircraft on the stand beside its way is no live pair",
         [&](Stream& o) {
             standAt(o, 200.0, 20.0);
             o.name = "200 KLM*7";
         },
         true, false},
    };
    Stream taxiing = lf_fly(Motion{});
    taxiing.title = "VRMT Demo KLM A320 PH-AAV";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Stream other = taxiing;
        other.name = "200";
        row.other(other);
        const Verdict v = motionjudge::judgeAll({taxiing, other}, {});
        EXPECT_EQ(v.groundSep.measured, row.measured);
        EXPECT_EQ(v.groundSep.pass, row.pass) << v.table(row.name);
    }
}

// What a run judged on the ground: a departure that climbed away, a landing
// that stood still after it, a push-back; each counted once.
TEST(MotionJudge, WhatWasJudgedOnTheGround)
{
    struct Row {
        const char* name;
        std::function<void(Motion&)> motion;
        std::size_t departures, stops, pushBacks;
    };
    const std::vector<Row> rows = {
        {"a taxi is none of them", nullptr, 0, 0, 0},
        {"a departure from the ground to 1000 ft",
         [](Motion& m) {
             m.speedKt = [](double t) { return 15.0 + t * 3.0; };
             m.altitudeFt = [](double t) { return std::max(0.0, (t - 30.0) * 2000.0 / 60.0); };
         },
         1, 0, 0},
        {"a landing from 1000 ft, to a stop 22 s long",
         [](Motion& m) {
             m.seconds = 80.0;
             m.speedKt = [](double t) { return std::max(0.0, 140.0 - std::max(0.0, t - 30.0) * 5.0); };
             m.altitudeFt = [](double t) { return std::max(0.0, 1000.0 - t * 1000.0 / 30.0); };
         },
         0, 1, 0},
        {"a push-back", [](Motion& m) {
             m.speedKt = [](double) { return 3.0; };
             m.shownKt = [](double) { return -3.0; };
             m.headingDeg = [](double) { return 270.0; };
         },
         0, 0, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Motion m;
        if (row.motion) row.motion(m);
        const Verdict v = motionjudge::judgeAll({lf_fly(m)}, {});
        EXPECT_EQ(v.groundDepartures, row.departures);
        EXPECT_EQ(v.landingsToAStop, row.stops);
        EXPECT_EQ(v.pushBacks, row.pushBacks);
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
    s.name = "100 KLM1234";
    s.title = "VRMT Demo KLM B77W PH-BAV, long";
    s.removedAt = 61.5;
    s.fed.push_back({-30.0, 52.3, 4.76, 500.0, 15.0, false});
    s.frameTimes = std::make_shared<std::vector<double>>(std::vector<double>{0.5, 0.533});
    const std::string csv = motionjudge::streamsCsv({s}, {1.0, 1.4});
    std::vector<Stream> back;
    std::vector<double> created;
    std::string error;
    ASSERT_TRUE(motionjudge::parseStreamsCsv(csv, back, created, &error)) << error;
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].seen.size(), s.seen.size());
    EXPECT_EQ(created.size(), 2u);
    EXPECT_EQ(back[0].title, s.title);
    EXPECT_DOUBLE_EQ(back[0].removedAt, 61.5);
    ASSERT_EQ(back[0].fed.size(), 1u);
    EXPECT_DOUBLE_EQ(back[0].fed[0].t, -30.0);
    ASSERT_TRUE(back[0].frameTimes);
    EXPECT_EQ(*back[0].frameTimes, *s.frameTimes);
    EXPECT_DOUBLE_EQ(motionjudge::halfSpanOfTitle(back[0].title, 18.0), 32.4);
    const Verdict a = motionjudge::judgeAll({s}, {1.0, 1.4});
    const Verdict b = motionjudge::judgeAll(back, created);
    EXPECT_EQ(a.failures(), "crab, spacing");
    EXPECT_EQ(b.failures(), a.failures());
    EXPECT_NEAR(b.crab.worst, a.crab.worst, 0.01);
    EXPECT_FALSE(motionjudge::parseStreamsCsv("100,1,2\n", back, created, &error));
    EXPECT_EQ(error, "line 1: a position row has 8 fields");
    // The feed's times are the wall clock's: without the clock they cannot be placed.
    EXPECT_FALSE(motionjudge::parseStreamsCsv("#feed,KLM1,1700000000,52.3,4.7,100,15,0\n", back, created, &error));
}

}  // namespace
