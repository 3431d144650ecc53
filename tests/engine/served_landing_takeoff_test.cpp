// A landing and a departure as the live service serves them: the answers decoded
// as the traffic reader decodes them, handed over every 2 s, flown tick by tick
// and judged from the positions the simulator world received. The landing lands
// at an airport the program has no airport file for (no park airport): it
// touches down, brakes as served and stops where the served aircraft stops. The
// departure's roll, lift-off and climb change speed by a bounded step, and the
// speed shown changes with it.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <optional>
#include <vector>

#include "core/geodesy.h"
#include "core/options.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/motion.h"
#include "motion_judge.h"
#include "scene.h"
#include "scene_services.h"
#include "support/airport_scenario.h"
#include "support/engine_harness.h"
#include "support/motion_streams.h"
#include "support/sim_world.h"

using namespace motiontest;

namespace {

constexpr double start = 1'700'000'000.0;
constexpr int ticksPerSecond = 100;
constexpr int answerTicks = 200;  // the reader's pace: an answer every 2 s
constexpr double metresPerNm = 1852.0;

// What the world received of the one object, every tick (the receiver's clock: 10 ms a tick).
struct Received {
    std::uint32_t objectId = 0;
    motionjudge::Stream stream;
};

// The true speed (kt) over one second from update i on, and the update that ends that second.
std::optional<std::pair<double, std::size_t>> lf_secondFrom(const motionjudge::Stream& s, std::size_t i)
{
    std::size_t j = i + 1;
    while (j < s.seen.size() && s.seen[j].t < s.seen[i].t + 1.0) ++j;
    if (j >= s.seen.size()) return std::nullopt;
    const motionjudge::Seen &a = s.seen[i], &b = s.seen[j];
    return std::pair{motionjudge::distanceNm(a.latitude, a.longitude, b.latitude, b.longitude) / (b.t - a.t) * 3600.0,
                     j};
}

// The worst change of the true speed from one second to the next (kt/s), on
// the ground and in the air, over the updates from t0 to t1.
double lf_worstAccel(const motionjudge::Stream& s, double t0, double t1, double* at = nullptr)
{
    double worst = 0.0;
    for (std::size_t i = 0; i < s.seen.size(); ++i) {
        if (s.seen[i].t < t0 || s.seen[i].t > t1) continue;
        const auto first = lf_secondFrom(s, i);
        if (!first) break;
        const auto second = lf_secondFrom(s, first->second);
        if (!second || s.seen[second->second].t > t1) continue;
        const double gap = (s.seen[second->second].t - s.seen[i].t) / 2.0;
        const double a = std::abs(second->first - first->first) / gap;
        if (a > worst) {
            worst = a;
            if (at) *at = s.seen[i].t;
        }
    }
    return worst;
}

class ServedMotion {
public:
    explicit ServedMotion(ScenarioOptions o, double groundFt) : h_(lf_options(o)), world_(lf_world(groundFt))
    {
        world_.setUser(userStateAt({"", "", o.user.lat, o.user.lon, groundFt}), true);
        h_.afterFlush = [this] { world_.answer(); };
        h_.onTick = [this](const TickTrace& t) {
            for (const QueuedPosition& p : t.positions) {
                if (got_.objectId == 0) got_.objectId = p.objectId;
                if (p.objectId != got_.objectId) continue;
                const AcPositionBlock& b = p.block;
                got_.stream.seen.push_back({t.tick / 100.0, b.latitude, b.longitude, b.altitude,
                                            b.heading * geo::radToDeg, b.trueAirspeed, b.verticalSpeed});
                if (check) check(t.tick, b);
            }
        };
        got_.stream.groundFt = groundFt;
    }

    // Runs `seconds`, handing over answer(t) (t: seconds of the feed) every 2 s.
    template <class Answer>
    void run(double seconds, Answer answer)
    {
        for (int tick = 0; tick < seconds * ticksPerSecond; ++tick) {
            if (tick % answerTicks == 0) h_.handOver(answer(tick / 100.0), 30);
            h_.tick(1);
            if (::testing::Test::HasFatalFailure()) return;
        }
    }

    const LiveAc* aircraft() const
    {
        for (const LiveAc& a : liveAircraft)
            if (a.objectId == got_.objectId && got_.objectId != 0) return &a;
        return nullptr;
    }
    const motionjudge::Stream& stream() const { return got_.stream; }
    std::function<void(std::int32_t, const AcPositionBlock&)> check;
    EngineHarness& harness() { return h_; }

private:
    static ScenarioOptions lf_options(ScenarioOptions o)
    {
        o.ownSimApi = false;
        o.keepTrace = false;
        return o;
    }
    static SimWorldOptions lf_world(double groundFt)
    {
        SimWorldOptions w;
        w.groundAltitudeFt = groundFt;
        w.onGroundMarginFt = 10.0;  // the centre of gravity (8 ft) and a little
        return w;
    }

    EngineHarness h_;
    SceneLiveries liveries_;  // over the harness's fake: the scene's types and titles
    SimWorld world_;
    Received got_;
};

// An arrival as the independent world served it: a 3-degree path at 135 kt to
// the touchdown at the field, the roll-out braking at 2.5 kt a second to 20 kt,
// 10 s at 20 kt, braking to a stop, then standing.
struct Arrival {
    LatLon field{52.3086, 4.7639};  // where the departure's airport lies: the user aircraft stays put between tests
    double elevation = 40.0;
    double runwayDeg = 240.0;
    double fromNm = 4.0;
    double finalKt = 135.0;
    const char* type = "B738";
    bool mlat = false;  // multilateration: a fix every 4 s, no airspeed
    double touchdownS() const { return fromNm / finalKt * 3600.0; }
    double slowS() const { return touchdownS() + (finalKt - 20.0) / 2.5; }
    double stopS() const { return slowS() + 10.0 + 20.0 / 2.0; }

    // Where it is (nm past the touchdown, negative before), its ground speed, at t.
    std::pair<double, double> along(double t) const
    {
        if (t <= touchdownS()) return {-(fromNm - finalKt * t / 3600.0), finalKt};
        double nm = 0.0;
        const double r = std::min(t, slowS()) - touchdownS();
        nm += (finalKt * r - 1.25 * r * r) / 3600.0;
        if (t <= slowS()) return {nm, finalKt - 2.5 * r};
        const double steady = std::min(t, slowS() + 10.0) - slowS();
        nm += 20.0 * steady / 3600.0;
        if (t <= slowS() + 10.0) return {nm, 20.0};
        const double b = std::min(t, stopS()) - slowS() - 10.0;
        nm += (20.0 * b - b * b) / 3600.0;
        return {nm, std::max(0.0, 20.0 - 2.0 * b)};
    }
    LatLon place(double t) const
    {
        const double nm = along(t).first;
        return nm < 0 ? direct(field, runwayDeg + 180.0, -nm) : direct(field, runwayDeg, nm);
    }
    nlohmann::json answer(double t) const
    {
        EntrySpec e;
        e.hexId = 0x484321;
        e.callsign = "KLM321";
        e.registration = "PH-BXK";
        e.type = type;
        e.origin = "LEMD";
        e.destination = "EHXX";
        if (mlat) {
            t = std::floor(t / 4.0) * 4.0;
            e.source = "mlat";
        }
        e.time = start + t;
        const auto [nm, gs] = along(t);
        const LatLon at = place(t);
        e.lat = at.lat;
        e.lon = at.lon;
        e.track = runwayDeg;
        e.groundSpeed = gs;
        const bool aloft = nm < 0;
        e.altitude = aloft ? elevation - nm * 318.0 : 0.0;  // on the ground the feed reports no altitude
        e.verticalRate = aloft ? -318.0 * finalKt / 60.0 : 0.0;
        if (aloft && !mlat) e.tas = gs + 10.0;
        return nlohmann::json::array({trafficEntry(e)});
    }
};

TEST(ServedLanding, WithoutAnAirportFileTouchesDownBrakesAndStopsWhereServed)
{
    struct Row {
        const char* name;
        const char* type;
        double finalKt;
        bool mlat;
    };
    const Row rows[] = {
        {"B738 at 135 kt", "B738", 135.0, false},
        {"C172 at 70 kt by multilateration", "C172", 70.0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Arrival a;
        a.type = row.type;
        a.finalKt = row.finalKt;
        a.mlat = row.mlat;
        ScenarioOptions o;
        o.user = a.field;
        o.userAltitudeFt = a.elevation;
        o.userHeightAboveGroundFt = 0;
        o.userGroundSpeedKt = 0;
        o.userOnGround = true;
        o.park = {};  // "no airport file found": no park airport
        ServedMotion m(o, a.elevation);
        // On every tick: never under the ground, and once down it stays down.
        bool down = false;
        double touchdownT = -1.0;
        LatLon touchdownAt;
        m.check = [&](std::int32_t tick, const AcPositionBlock& b) {
            ASSERT_GE(b.altitude, a.elevation - 1.0) << tick;
            const bool onGround = b.altitude - a.elevation <= 10.0;
            if (onGround && !down) {
                down = true;
                touchdownT = tick / 100.0;
                touchdownAt = {b.latitude, b.longitude};
            }
            if (down) {
                ASSERT_LE(b.altitude - a.elevation, 10.0) << "back in the air at tick " << tick;
            }
        };
        const double feedSeconds = a.stopS() + 60.0;
        m.run(feedSeconds + 40.0, [&](double t) { return t <= feedSeconds ? a.answer(t) : nlohmann::json::array(); });

        const motionjudge::Stream& s = m.stream();
        ASSERT_FALSE(s.seen.empty());
        {
            const motionjudge::Seen& end = s.seen.back();
            const LatLon stop = a.place(a.stopS());
            const double lowest = std::min_element(s.seen.begin(), s.seen.end(), [](const auto& x, const auto& y) {
                                      return x.altitudeFt < y.altitudeFt;
                                  })->altitudeFt;
            std::printf("touchdown %s %.0f m from the served one; lowest %.0f ft above the runway; last update at %.1f s "
                        "%.0f m from the served stop, %.0f ft above the runway, %.1f kt shown\n",
                        down ? "at" : "never,", down ? distanceNm(touchdownAt, a.field) * metresPerNm : 0.0,
                        lowest - a.elevation, end.t, distanceNm({end.latitude, end.longitude}, stop) * metresPerNm,
                        end.altitudeFt - a.elevation, end.speedKt);
        }
        ASSERT_TRUE(down) << "never touched down";
        // The touchdown: within 400 m of the served one (the flare floats a little), not short of the runway;
        // fixed every 4 s, it may come down where the last fix in the air was (a few feet up, one on the ground).
        const double touchdownOff = distanceNm(touchdownAt, a.field) * metresPerNm;
        const double past = geo::foldPi(initialBearing(a.field, touchdownAt) - a.runwayDeg * geo::degToRad);
        const double fixSpacingM = row.mlat ? 4.0 * a.finalKt / 3600.0 * metresPerNm : 0.0;
        EXPECT_LT(touchdownOff, 400.0);
        if (std::abs(past) > std::numbers::pi / 2) {
            EXPECT_LE(touchdownOff, fixSpacingM) << "short of the touchdown point";
        } else {
            EXPECT_LT(std::abs(past), 10.0 * geo::degToRad) << "off the runway's line";
        }
        // No level flight over the runway: from 50 ft above it to the touchdown in
        // at most 15 s (the served path takes 4 s, the flare a few more).
        double below50 = -1.0;
        for (const motionjudge::Seen& x : s.seen)
            if (below50 < 0 && x.altitudeFt - a.elevation < 50.0) below50 = x.t;
        EXPECT_LT(touchdownT - below50, 15.0);
        // It brakes as served: 40 s after the touchdown it rolls slower than 60 kt,
        // and it comes to a stop within 30 m of where the served aircraft stopped.
        double at40 = -1.0;
        for (std::size_t i = 0; i < s.seen.size(); ++i) {
            if (s.seen[i].t < touchdownT + 40.0) continue;
            if (const auto v = lf_secondFrom(s, i)) at40 = v->first;
            break;
        }
        EXPECT_GE(at40, 0.0);
        EXPECT_LT(at40, 60.0);
        const motionjudge::Seen& last = s.seen.back();
        const LatLon stoppedAt = a.place(a.stopS());
        EXPECT_LT(distanceNm({last.latitude, last.longitude}, stoppedAt) * metresPerNm, 30.0);
        EXPECT_LE(last.altitudeFt - a.elevation, 10.0);
        EXPECT_LE(last.speedKt, 1.0);
        // Never faster than served (15 % and 5 kt over the approach's speed at most).
        double fastest = 0.0;
        for (std::size_t i = 0; i < s.seen.size(); ++i)
            if (const auto v = lf_secondFrom(s, i)) fastest = std::max(fastest, v->first);
        EXPECT_LE(fastest, 1.15 * a.finalKt + 5.0);
        // From the touchdown on the judge's ground figures hold.
        const motionjudge::Verdict v = motionjudge::judgeStream(s);
        EXPECT_TRUE(v.accel.pass) << v.accel.worst << " " << v.accel.where;
        EXPECT_TRUE(v.jump.pass) << v.jump.worst << " " << v.jump.where;
        EXPECT_TRUE(v.crab.pass) << v.crab.worst << " " << v.crab.where;
    }
}

// The service stand-in's departure (the roll from 20 kt at 3.5 kt a second,
// the lift-off at 160 kt, the climb at 2000 fpm gaining a knot a second), its
// answers every 2 s as the reader takes them (the merge keeps a record of a
// fast straight climb only every 5 s or so: long legs in the air).
TEST(ServedDeparture, RollLiftOffAndClimbWithoutASpeedStep)
{
    const ParkAirportInfo eham{"EHAM", "AMS", 52.3086, 4.7639, -11.0};
    ServedMotion m(scenarioAtAirport(eham), eham.elevationFt);
    double now = start;
    const standin::Scene scene(standin::SceneAirport{}, 1, [&now] { return now; });
    const std::string departure = "484005";  // the sixth plane: the departure, at its roll's start
    m.check = [&](std::int32_t tick, const AcPositionBlock& b) {
        ASSERT_GE(b.altitude, eham.elevationFt - 1.0) << tick;
    };
    m.run(200.0, [&](double t) {
        now = start + t;
        nlohmann::json entries = nlohmann::json::array();
        const nlohmann::json all = scene.liveData(now, 90, -90, -180, 180);
        if (all.contains(departure)) entries.push_back(all[departure]);
        return entries;
    });
    const motionjudge::Stream& s = m.stream();
    ASSERT_GT(s.seen.size(), 2u);
    const auto up = std::find_if(s.seen.begin() + 1, s.seen.end(), [&](const motionjudge::Seen& x) {
        return x.altitudeFt - eham.elevationFt > 15.0;
    });
    ASSERT_NE(up, s.seen.end()) << "never lifted off";
    const double liftOff = up->t;
    const double from = s.seen[1].t + 3.0;  // the first seconds after the creation aside
    ASSERT_GT(s.seen.back().t, liftOff + 60.0);
    // The roll, the lift-off and the first minute of the climb: a brisk start
    // or a firm climb, never a step (at most 6 kt/s over any second).
    double at = 0.0;
    const double worst = lf_worstAccel(s, from, liftOff + 60.0, &at);
    // The speed shown moves with it: no update changes it by half a knot or more.
    double shownStep = 0.0;
    double shownAt = 0.0;
    for (std::size_t i = 1; i < s.seen.size(); ++i) {
        if (s.seen[i - 1].t < from || s.seen[i].t > liftOff + 60.0) continue;
        const double d = std::abs(s.seen[i].speedKt - s.seen[i - 1].speedKt);
        if (d > shownStep) {
            shownStep = d;
            shownAt = s.seen[i].t;
        }
    }
    std::printf("lift-off at %.1f s: worst %.2f kt/s at %.1f s, the shown speed's largest step %.2f kt at %.1f s\n",
                liftOff, worst, at, shownStep, shownAt);
    EXPECT_LE(worst, 6.0) << "at " << at << " s";
    EXPECT_LT(shownStep, 0.5) << "at " << shownAt << " s";
    // And it climbs away: 60 s after the lift-off above 1500 ft.
    const auto later = std::find_if(s.seen.begin(), s.seen.end(),
                                    [&](const motionjudge::Seen& x) { return x.t >= liftOff + 60.0; });
    ASSERT_NE(later, s.seen.end());
    EXPECT_GT(later->altitudeFt - eham.elevationFt, 1500.0);
}

// A light aircraft seen by multilateration (a fix every 4 s, no airspeed),
// departing from the runway: the roll at 3 kt a second from 5 kt, the
// lift-off at `liftOffKt`, then on at `airKt` climbing at `climbFpm`. A
// rejected take-off (`airKt` 0) brakes at 3 kt a second from the lift-off speed
// to a stop and stands. The feed ends at `feedS`.
struct LightDeparture {
    LatLon field{52.3086, 4.7639};
    double elevation = -11.0;
    double runwayDeg = 240.0;
    double liftOffKt = 65.0;
    double airKt = 75.0;
    double climbFpm = 200.0;
    double feedS = 150.0;
    double rollS() const { return (liftOffKt - 5.0) / 3.0; }
    bool rejected() const { return airKt <= 0.0; }

    // Where it is (nm along the runway from the start), its ground speed, its height, at t.
    struct At {
        double nm = 0.0, kt = 0.0, heightFt = 0.0;
    };
    At along(double t) const
    {
        const double r = std::min(t, rollS());
        At a{(5.0 * r + 1.5 * r * r) / 3600.0, 5.0 + 3.0 * r, 0.0};
        if (t <= rollS()) return a;
        const double u = t - rollS();
        if (rejected()) {
            const double b = std::min(u, liftOffKt / 3.0);
            a.nm += (liftOffKt * b - 1.5 * b * b) / 3600.0;
            a.kt = std::max(0.0, liftOffKt - 3.0 * b);
            return a;
        }
        // To the air speed at a knot a second, then on at it.
        const double gain = std::abs(airKt - liftOffKt);
        const double sign = airKt >= liftOffKt ? 1.0 : -1.0;
        const double g = std::min(u, gain);
        a.nm += (liftOffKt * g + sign * 0.5 * g * g) / 3600.0 + airKt * std::max(0.0, u - gain) / 3600.0;
        a.kt = liftOffKt + sign * g;
        a.heightFt = climbFpm * u / 60.0;
        return a;
    }
    nlohmann::json answer(double t) const
    {
        if (t > feedS) return nlohmann::json::array();
        const double fix = std::floor(t / 4.0) * 4.0;  // the last fix by then
        const At a = along(fix);
        const LatLon at = direct(field, runwayDeg, a.nm);
        EntrySpec e;
        e.hexId = 0x484a01;
        e.callsign = "PHABC";
        e.registration = "PH-ABC";
        e.type = "C172";
        e.origin = "EHAM";
        e.destination = "";
        e.time = start + fix;
        e.lat = at.lat;
        e.lon = at.lon;
        e.track = runwayDeg;
        e.groundSpeed = a.kt;
        e.altitude = a.heightFt > 0 ? elevation + a.heightFt : 0.0;
        e.verticalRate = a.heightFt > 0 ? climbFpm : 0.0;
        e.source = "mlat";
        return nlohmann::json::array({trafficEntry(e)});
    }
};

// Served slowly, a light aircraft keeps to the served speed on its roll, its
// lift-off and its climb, and when its fixes run out: the true speed over any
// second, as the world received it, at most 15 % (and 5 kt) above the fastest
// served; and served aloft, it climbs away, not on along the runway.
TEST(ServedDeparture, LightAircraftKeepToTheServedSpeed)
{
    struct Row {
        const char* name;
        double liftOffKt, airKt, climbFpm;
        double feedS = 150.0;
        double mostKt = 0.0;  // the speed it may reach (0: the fastest served)
    };
    const Row rows[] = {
        {"slow climb at 75 kt", 65.0, 75.0, 200.0},
        {"slow climb at 60 kt", 55.0, 60.0, 150.0},
        {"level at 80 kt, just off the runway", 70.0, 80.0, 60.0},
        {"brisk climb at 75 kt", 65.0, 75.0, 700.0},
        {"rejected take-off from 60 kt", 60.0, 0.0, 0.0},
        // Fixes lost on the roll: never past its category's take-off speed (90 kt).
        {"fixes lost on the roll at 65 kt", 80.0, 85.0, 200.0, 21.0, 90.0},
        {"fixes lost on the roll at 77 kt", 80.0, 85.0, 200.0, 25.0, 90.0},
        // Fixes lost while it brakes: never faster than served.
        {"fixes lost braking at 45 kt", 60.0, 0.0, 0.0, 22.0},
    };
    const ParkAirportInfo eham{"EHAM", "AMS", 52.3086, 4.7639, -11.0};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LightDeparture d;
        d.liftOffKt = row.liftOffKt;
        d.airKt = row.airKt;
        d.climbFpm = row.climbFpm;
        d.feedS = row.feedS;
        ServedMotion m(scenarioAtAirport(eham), eham.elevationFt);
        m.run(d.feedS + 30.0 + 60.0, [&](double t) { return d.answer(t); });
        const motionjudge::Stream& s = m.stream();
        ASSERT_GT(s.seen.size(), 2u);
        const double fastestServed =
            row.mostKt > 0 ? row.mostKt : std::max(d.along(std::min(d.feedS, d.rollS())).kt, d.airKt);
        const double bound = 1.15 * fastestServed + 5.0;
        double worst = 0.0, worstAt = 0.0, worstHeight = 0.0;
        for (std::size_t i = 0; i < s.seen.size(); ++i) {
            const auto v = lf_secondFrom(s, i);
            if (!v) break;
            if (v->first > worst) {
                worst = v->first;
                worstAt = s.seen[i].t;
                worstHeight = s.seen[i].altitudeFt - eham.elevationFt;
            }
        }
        std::printf("%s: fastest second %.1f kt at %.1f s (%.0f ft up), bound %.1f kt\n", row.name, worst, worstAt,
                    worstHeight, bound);
        EXPECT_LE(worst, bound) << "at " << worstAt << " s, " << worstHeight << " ft above the runway";
        // Served aloft, it climbs away as served (the play-out delay of 30 s and some slack behind the feed),
        // not on along the runway.
        if (!d.rejected() && d.feedS > d.rollS()) {
            const double servedFt = d.along(110.0).heightFt;
            const auto at150 = std::find_if(s.seen.begin(), s.seen.end(), [](const auto& x) { return x.t >= 150.0; });
            ASSERT_NE(at150, s.seen.end());
            EXPECT_GE(at150->altitudeFt - eham.elevationFt, 0.5 * servedFt) << "served " << servedFt << " ft up";
        }
    }
}

}  // namespace
