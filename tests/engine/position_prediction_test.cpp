// Position prediction against independent references: GeographicLib on the
// program's sphere, time = distance / speed, Bezier tangents, and hand-worked
// numbers for the re-timing and steering rules.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "core/errors.h"
#include "core/options.h"
#include "core/run_state.h"
#include "core/time.h"
#include "core/fmt.h"
#include "engine/stand.h"
#include "core/startup_globals.h"
#include "engine/motion.h"
#include "engine/sim_replies.h"
#include "engine/spawn.h"
#include "support/motion_fixture.h"
#include "support/motion_streams.h"

using namespace motiontest;

namespace {

constexpr double deg = geo::degToRad;

TEST(MotionGeodesy, AgreesWithGeographicLibOnOurSphere)
{
    struct Row {
        const char* name;
        LatLon a, b;
    };
    const Row rows[] = {
        {"short taxi leg", {47.45, 8.56}, {47.451, 8.562}},
        {"mid latitude", {33.0, -118.0}, {34.5, -116.0}},
        {"southern", {-47.0, 170.0}, {-46.0, 171.5}},
        {"across the antimeridian", {10.0, 179.9}, {10.2, -179.8}},
        {"long haul", {51.47, -0.46}, {40.64, -73.78}},
        {"near a pole", {89.0, 10.0}, {89.5, 100.0}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const Inverse ref = inverse(r.a, r.b);
        EXPECT_NEAR(distanceNm(r.a, r.b), ref.nm, 1e-9 * std::max(1.0, ref.nm));
        EXPECT_NEAR(initialBearing(r.a, r.b) / deg, ref.azimuthDeg, 1e-7);
        const LatLon there = destinationPoint(r.a, ref.azimuthDeg * deg, ref.nm * geo::feetPerNm);
        const LatLon refThere = direct(r.a, ref.azimuthDeg, ref.nm);
        EXPECT_NEAR(there.lat, refThere.lat, 1e-9);
        EXPECT_NEAR(geo::wrapLonDelta(there.lon - refThere.lon), 0.0, 1e-9);
    }
    // Anchors without a library: a degree of latitude is 60 nm, antipodes 10800 nm.
    EXPECT_NEAR(inverse({0, 0}, {1, 0}).nm, 60.0, 1e-9);
    EXPECT_NEAR(inverse({0, 0}, {0, 180}).nm, 10800.0, 1e-6);
}

TEST(MotionHelpers, ToTicksRoundsAndRefusesWhatIsNoCount)
{
    struct Row {
        const char* name;
        double in;
        std::int32_t out;
    };
    const Row rows[] = {
        {"whole", 3000.0, 3000},      {"rounds down", 24.4, 24},          {"half away from zero", 2.5, 3},
        {"negative", -7.6, -8},       {"largest", 2147483647.0, 2147483647}, {"smallest", -2147483648.0, -2147483647 - 1},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(toTicks(r.in), r.out);
    }
    for (double bad : {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
                       -std::numeric_limits<double>::infinity(), 2147483648.0, -2147483649.0, 1e300}) {
        SCOPED_TRACE(bad);
        EXPECT_THROW(toTicks(bad), qxv::UserErrorException);
    }
}

TEST(MotionHelpers, FoldsAnglesAndLongitudes)
{
    constexpr double pi = std::numbers::pi;
    EXPECT_NEAR(geo::foldPi(3 * pi / 2), -pi / 2, 1e-12);
    EXPECT_NEAR(geo::foldPi(-3 * pi / 2), pi / 2, 1e-12);
    EXPECT_NEAR(geo::foldPi(0.25), 0.25, 1e-15);
    struct Row {
        double in, out;
    };
    for (const Row r : {Row{359.98, -0.02}, Row{-359.98, 0.02}, Row{180.0, -180.0}, Row{-180.0, -180.0},
                        Row{179.5, 179.5}, Row{540.0, -180.0}, Row{-0.0, 0.0}}) {
        SCOPED_TRACE(r.in);
        EXPECT_NEAR(geo::wrapLonDelta(r.in), r.out, 1e-9);
        EXPECT_GE(geo::wrapLonDelta(r.in), -180.0);
        EXPECT_LT(geo::wrapLonDelta(r.in), 180.0);
    }
}

class Prediction : public MotionTest {};

// A leg from s0 to s1 at the given speed arrives when distance over speed says
// (at least 25 ticks): on the ground held in the window around the reported due
// tick; aloft never more than a tenth faster or slower than served, however far
// the reported due tick lies (the window would race the aircraft to it, or stop
// it). Every step in between covers the same distance.
TEST_F(Prediction, StraightLegArrivesAtDistanceOverSpeed)
{
    struct Row {
        const char* name;
        LatLon from;
        double azimuth;
        double nm;
        double knots;
        std::int32_t reportedDue;
        double altitude;  // 0: on the ground
    };
    const Row rows[] = {
        {"1 nm at 120 kt aloft", {47.0, 8.0}, 30.0, 1.0, 120.0, 3000, 5000.0},
        {"taxi 200 m at 15 kt", {47.0, 8.0}, 250.0, 200.0 / 1852, 15.0, 2600, 0.0},
        {"very short leg lasts 25 ticks", {47.0, 8.0}, 90.0, 0.001, 120.0, 10, 5000.0},
        {"reported too early: no race to it aloft", {10.0, 20.0}, 180.0, 1.0, 120.0, 500, 5000.0},
        {"reported too late: no wait for it aloft", {10.0, 20.0}, 0.0, 1.0, 120.0, 5000, 5000.0},
        {"taxi reported too early: the window's lag", {10.0, 20.0}, 180.0, 0.05, 15.0, 100, 0.0},
        {"across the antimeridian aloft", {-16.0, 179.99}, 80.0, 2.0, 240.0, 3000, 9000.0},
        {"across the antimeridian on the ground", {-16.0, -179.9995}, 270.0, 0.05, 12.0, 1500, 0.0},
        {"southern high latitude", {-60.0, -45.0}, 135.0, 0.5, 200.0, 900, 3000.0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        tickCounter.store(0);
        const LatLon to = direct(r.from, r.azimuth, r.nm);
        LiveAc ac = aircraft(AcCategory::Large,
                             {sample(r.from, r.knots, 0, r.altitude), sample(to, r.knots, r.reportedDue, r.altitude)},
                             r.azimuth);
        const std::int32_t pure = std::max<std::int32_t>(
            static_cast<std::int32_t>(std::lround(inverse(r.from, to).nm * 360000.0 / r.knots)), 25);
        std::int32_t expected = std::clamp(pure, r.reportedDue - 1000, r.reportedDue + 1000);
        if (r.altitude > 0) {
            // The leg's end as re-timed at the first tick: towards the reported tick, by a tenth at most.
            LiveAc first = ac;
            ASSERT_TRUE(tickOnce(first));
            expected = first.samples.front().dueTick;
            EXPECT_GE(expected, std::max(25.0, pure / 1.1 - 1));
            EXPECT_LE(expected, std::max(25.0, pure * 1.1 + 1));
            if (r.reportedDue < pure) {
                EXPECT_LE(expected, pure);
            } else if (r.reportedDue > pure) {
                EXPECT_GE(expected, pure);
            }
            tickCounter.store(0);
        }
        double firstStep = -1.0;
        double lastStep = 0.0;
        for (std::int32_t t = 0; t < expected; ++t) {
            const LatLon before = at(ac);
            ASSERT_TRUE(tickOnce(ac)) << t;
            const double step = inverse(before, at(ac)).nm;
            if (firstStep < 0) firstStep = step;
            if (r.altitude > 0) {
                // Steps are even in degrees, so in nm only to the change of cos(latitude) along the leg.
                EXPECT_NEAR(step, firstStep, firstStep * 2e-4) << t;
            } else {
                // On the ground the speed changes by at most 5 kt a second, from the standstill.
                EXPECT_LE(std::abs(step - lastStep) * 360000.0, 0.05 + 1e-6) << t;
            }
            lastStep = step;
        }
        EXPECT_EQ(ac.samples.front().dueTick, expected);
        if (r.altitude <= 0) {
            // It starts from a standstill and stops at the last sample, so it arrives a little
            // later; it never passes it.
            for (int t = 0; t < 1500 && inverse(at(ac), to).nm * 1852.0 > 0.5; ++t) ASSERT_TRUE(tickOnce(ac)) << t;
            EXPECT_LE(inverse(at(ac), to).nm * 1852.0, 0.5);
            continue;
        }
        EXPECT_NEAR(ac.posBlock.latitude, to.lat, 1e-9);
        EXPECT_NEAR(geo::wrapLonDelta(ac.posBlock.longitude - to.lon), 0.0, 1e-9);
        EXPECT_GE(ac.posBlock.longitude, -180.0);
        EXPECT_LT(ac.posBlock.longitude, 180.0);
        if (pure > 25) {
            EXPECT_NEAR(firstStep * 360000.0, r.knots * pure / expected, r.knots * 2e-3);
        }
    }
}

TEST_F(Prediction, LegSpeedIsTheMeanOrWhatTheSamplesImply)
{
    struct Row {
        const char* name;
        double gs0, gs1;
        double nm;
        std::int32_t due1;
        double expected;  // negative: the implied speed worked out below
    };
    const Row rows[] = {
        {"mean", 10.0, 20.0, 0.1, 1000, 15.0},
        {"one standing", 0.0, 8.0, 0.1, 1000, 4.0},
        {"both 0: implied", 0.0, 0.0, 0.1, 3600, 10.0},
        {"both 0, due too soon: 25 ticks", 0.0, 0.0, 0.001, 20, 0.001 * 360000 / 25},
        {"both 0 at one place: 1 kt", 0.0, 0.0, 0.0, 1000, 1.0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const LatLon a{50.0, 5.0};
        LiveAc ac = aircraft(AcCategory::Light, {sample(a, r.gs0, 0), sample(direct(a, 45, r.nm), r.gs1, r.due1)}, 45);
        EXPECT_NEAR(lf_legSpeed(ac), r.expected, 1e-6);
    }
}

// The curve's heading at its start points at the control point (s1), at its
// end along s1 -> s2, and its end is s2, at any latitude and either side of
// the equator (a curve scaled by the cosine of degrees would point wrong).
TEST_F(Prediction, CurveTangentsAndEndPointAtManyLatitudes)
{
    for (double lat : {2.0, 33.0, 47.0, 60.0, -2.0, -33.0, -47.0, -60.0}) {
        for (const auto& [az1, az2] : {std::pair{10.0, 100.0}, std::pair{200.0, 140.0}, std::pair{300.0, 30.0}}) {
            SCOPED_TRACE(testing::Message() << "lat " << lat << " az " << az1 << "->" << az2);
            const LatLon o{lat, 100.0};
            const LatLon s1 = direct(o, az1, 300.0 / 1852);
            const LatLon s2 = direct(s1, az2, 400.0 / 1852);
            LiveAc ac = aircraft(AcCategory::Large, {sample(o, 10, 0), sample(s1, 10, 1000), sample(s2, 10, 2000)}, az1);
            lf_makeCurve(ac);
            ASSERT_EQ(ac.samples.size(), 2u);
            LatLon p;
            double h = 0;
            ASSERT_TRUE(evalCurveSegment(ac.curve, p, h, 0.0));
            EXPECT_NEAR(h / deg, inverse(o, s1).azimuthDeg, 0.05);
            ASSERT_TRUE(evalCurveSegment(ac.curve, p, h, 1.0));
            EXPECT_NEAR(p.lat, s2.lat, 1e-9);
            EXPECT_NEAR(geo::wrapLonDelta(p.lon - s2.lon), 0.0, 1e-9);
            EXPECT_NEAR(h / deg, inverse(s1, s2).azimuthDeg, 0.05);
            EXPECT_FALSE(evalCurveSegment(ac.curve, p, h, 1.01));
        }
    }
}

TEST_F(Prediction, CurveAcrossTheAntimeridianStaysShort)
{
    const LatLon o{-16.0, 179.9995};
    const LatLon s1 = direct(o, 90, 100.0 / 1852);
    const LatLon s2 = direct(s1, 180, 100.0 / 1852);
    ASSERT_LT(s1.lon, 0.0);
    LiveAc ac = aircraft(AcCategory::Large, {sample(o, 10, 0), sample(s1, 10, 1000), sample(s2, 10, 2000)}, 90);
    lf_makeCurve(ac);
    LatLon p;
    double h = 0;
    for (double t = 0.0; t <= 1.0; t += 0.125) {
        ASSERT_TRUE(evalCurveSegment(ac.curve, p, h, t));
        EXPECT_LT(inverse(o, {p.lat, geo::foldLongitude(p.lon)}).nm, 0.2) << t;
    }
    EXPECT_NEAR(geo::wrapLonDelta(p.lon - s2.lon), 0.0, 1e-9);
}

// The curve parameter never passes 0.999999: the end is reached through the next sample.
TEST_F(Prediction, CurveParameterIsHeldShortOfTheEnd)
{
    const LatLon o{47.0, 8.0};
    const LatLon s1 = direct(o, 0, 0.05);
    const LatLon s2 = direct(s1, 90, 0.05);
    LiveAc ac = aircraft(AcCategory::Light, {sample(o, 10, 0), sample(s1, 10, 1000), sample(s2, 10, 2000)}, 0);
    lf_makeCurve(ac);
    ac.curveTStep = 0.3;
    for (int i = 0; i < 10; ++i) lf_applyStep(ac);
    EXPECT_EQ(ac.curveT, 0.999999);
    EXPECT_GT(inverse(at(ac), s2).nm, 0.0);
    EXPECT_LT(inverse(at(ac), s2).nm, 1e-5);
}

// Steering on the ground: half a degree of dead band, the target taken within
// one step (no oscillation), and the shorter way round (left at exactly 180
// degrees when the heading is at most 180).
TEST_F(Prediction, SteeringTable)
{
    struct Row {
        const char* name;
        double heading, target, step;  // degrees, step per tick
        double expected;
    };
    const Row rows[] = {
        {"0.4 degrees off: left alone", 90.0, 90.4, 1.0, 90.0},
        {"far off: one step", 90.0, 100.0, 1.0, 91.0},
        {"within a step: the target", 90.0, 90.8, 1.03, 90.8},
        {"the shorter way across north", 359.0, 5.0, 1.0, 0.0},
        {"the shorter way to the left", 10.0, 350.0, 2.0, 8.0},
        {"exactly opposite, heading 90: left", 90.0, 270.0, 1.0, 89.0},
        {"exactly opposite, heading 270: right", 270.0, 90.0, 1.0, 271.0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const LatLon o{47.0, 8.0};
        LiveAc ac = aircraft(AcCategory::Large, {sample(o, 0, 0), sample(o, 0, 1000)}, r.heading);
        ac.turning = true;
        ac.targetBearing = r.target * deg;
        ac.turnStep = r.step * deg;
        lf_applyStep(ac);
        EXPECT_NEAR(ac.posBlock.heading / deg, r.expected, 1e-9);
        EXPECT_GE(ac.posBlock.heading, 0.0);
        EXPECT_LT(ac.posBlock.heading, 2 * std::numbers::pi);
    }
}

// The turn-step scaling keeps its degree/radian mix on purpose: for a Large
// (0.07 degrees a tick) turning 45 degrees, m = round(45 / 0.0012217 / 100) = 368.
TEST_F(Prediction, RetimingScalesTheTurnStepWithItsTunedMix)
{
    const LatLon o{47.0, 8.0};
    const double metres = 100.0;
    const LatLon s1 = direct(o, 0, metres / 1852);
    LiveAc ac = aircraft(AcCategory::Large, {sample(o, 10, 0), sample(s1, 10, 1944)}, 45);
    ac.turning = true;
    ac.turnAngle = 45.0;
    lf_retimeNextSample(ac);
    const double n = std::round(inverse(o, s1).nm * 360000 / 10);
    const double r = n / 368.0;
    const double q = std::min({r, r * 10 / 45, r * 30.0 / metres});
    EXPECT_NEAR(ac.turnStep, ac.groundTurnStep / q, 1e-15);
    EXPECT_EQ(ac.samples[1].dueTick, static_cast<std::int32_t>(n));

    // Over 45 degrees: the step grows with min(r, A / 30) and the window widens at 90.
    ac.turnAngle = 90.0;
    ac.turnStep = 0.0;
    lf_retimeNextSample(ac);
    const double m90 = std::round(90.0 / ac.groundTurnStep / 100);
    EXPECT_NEAR(ac.turnStep, ac.groundTurnStep * std::min(n / m90, 3.0), 1e-15);
    EXPECT_EQ(ac.dueLead, 2000);
    EXPECT_EQ(ac.dueLag, 2000);
}

TEST_F(Prediction, FoldsLongitudeAndMirrorsLatitude)
{
    const LatLon o{10.0, 179.99999};
    LiveAc ac = aircraft(AcCategory::Large, {sample(o, 300, 0, 30000), sample({10.0, -179.9}, 300, 1000, 30000)}, 90);
    ac.lonStep = 0.00002;
    lf_applyStep(ac);
    EXPECT_NEAR(ac.posBlock.longitude, -179.99999, 1e-9);
    ac.posBlock.latitude = 89.99999;
    ac.posBlock.longitude = 10.0;
    ac.latStep = 0.00002;
    ac.lonStep = 0.0;
    lf_applyStep(ac);
    EXPECT_NEAR(ac.posBlock.latitude, 89.99999, 1e-9);
    EXPECT_NEAR(ac.posBlock.longitude, -170.0, 1e-9);
}

// When the stream ends aloft within range - 0.5 nm of the user, eight samples
// 8 s apart follow at 0.95^k of the speed on the heading; then it goes.
TEST_F(Prediction, StreamEndAloftExtrapolatesEightSamples)
{
    rangeNm.store(40.0);
    const LatLon o{47.0, 8.0};
    const double v = 200.0;
    engineUserAcState.latitude = direct(o, 180, 39.4).lat;
    engineUserAcState.longitude = 8.0;
    LiveAc ac = aircraft(AcCategory::Large, {sample(o, v, 0, 8000)}, 60);
    ASSERT_TRUE(lf_extendStream(ac));
    double speed = v;
    for (int k = 1; k <= 8; ++k) {
        SCOPED_TRACE(k);
        ASSERT_EQ(ac.samples.size(), 2u);
        const PositionSample& s0 = ac.samples[0];
        const PositionSample& e = ac.samples[1];
        speed = std::max(0.95 * speed, 1.0);
        EXPECT_NEAR(e.groundSpeed, speed, 1e-9);
        EXPECT_EQ(e.dueTick - s0.dueTick, 800);
        const Inverse leg = inverse({s0.latitude, s0.longitude}, {e.latitude, e.longitude});
        EXPECT_NEAR(leg.nm, 8.0 * speed / 3600.0, 1e-9);
        EXPECT_NEAR(leg.azimuthDeg, 60.0, 1e-6);
        EXPECT_EQ(ac.parkProgress, 9 - k);
        ac.samples.pop_front();
        if (k < 8) {
            ASSERT_TRUE(lf_extendStream(ac));
        }
    }
    EXPECT_FALSE(lf_extendStream(ac));
    EXPECT_EQ(ac.parkProgress, -1);

    // Beyond range - 0.5 nm: let go at once.
    engineUserAcState.latitude = direct(o, 180, 39.6).lat;
    LiveAc far = aircraft(AcCategory::Large, {sample(o, v, 0, 8000)}, 60);
    EXPECT_FALSE(lf_extendStream(far));
}

TEST_F(Prediction, StreamEndAloftLeavesThroughRemoval)
{
    rangeNm.store(10.0);
    engineUserAcState.latitude = 40.0;
    engineUserAcState.longitude = 8.0;
    // Low near the park airport, with a free stand: the vanishing aircraft's
    // stand use is learned as one that vanished in flight.
    airports.park = {"LSZH", "ZRH", 47.0, 8.0, 1400};
    Stand gate("G1", {}, 47.001, 8.0, 0.0, 0.01 * 1852, {});
    gate.sid = 1;
    replaceStands({gate});
    currentSlotAndWeekday.store(packSlotAndWeekday(20, 3));
    LiveAc ac = aircraft(AcCategory::Large, {sample({47.0, 8.0}, 200, 0, 8000)}, 60);
    ac.heightAboveGround = 1000;
    EXPECT_FALSE(tickOnce(ac));
    EXPECT_EQ(ac.simState, SimState::removingfromsim);
    EXPECT_EQ(airports.calls.count(vr::format("addStandOptionPT 1 TST123 false {} true", packSlotAndWeekday(20, 3))),
              1u);
}

// A take-off roll whose fixes run out rolls on up the table (3 s a sample) to
// its category's take-off speed and no faster; there the next sample climbs,
// so the lift-off follows. A light aircraft on its roll at 75 kt goes on at
// 90 kt, not at an airliner's 110 and 150.
TEST_F(Prediction, TakeOffRollWithoutFixesRollsUpToItsTakeOffSpeed)
{
    struct Row {
        const char* name;
        AcCategory category;
        double fromKt;
        std::vector<double> kt;      // the speeds of the samples appended, one after another
        std::vector<double> climbs;  // their vertical rates
    };
    const Row rows[] = {
        {"Light from 20 kt", AcCategory::Light, 20, {40, 80, 90, 90}, {0, 0, 600, 600}},
        {"Light from 75 kt", AcCategory::Light, 75, {90, 90}, {600, 600}},
        {"Light from 95 kt", AcCategory::Light, 95, {95, 95}, {600, 600}},
        {"Buzjets from 50 kt", AcCategory::Buzjets, 50, {80, 110, 110}, {0, 0, 600}},
        {"Large from 50 kt", AcCategory::Large, 50, {80, 110, 140, 140}, {0, 0, 600, 600}},
        {"Heavy from 50 kt", AcCategory::Heavy, 50, {80, 110, 150, 150}, {0, 0, 600, 1200}},
        {"HighPerf from 50 kt", AcCategory::HighPerf, 50, {80, 110, 150, 170, 180}, {0, 0, 600, 1200, 2400}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const LatLon o{47.0, 8.0};
        LiveAc ac = aircraft(r.category, {sample(o, r.fromKt, 0)}, 240);
        ac.groundReplySeen = true;
        ac.takeOffRoll = true;
        for (std::size_t i = 0; i < r.kt.size(); ++i) {
            SCOPED_TRACE(i);
            lf_extrapolateSamples(ac, 10 - static_cast<std::int32_t>(i));
            ASSERT_EQ(ac.samples.size(), 2u);
            const PositionSample& s0 = ac.samples[0];
            const PositionSample& e = ac.samples[1];
            EXPECT_EQ(e.groundSpeed, r.kt[i]);
            EXPECT_EQ(e.verticalRate, r.climbs[i]);
            EXPECT_FALSE(e.airborne);
            EXPECT_EQ(e.dueTick - s0.dueTick, 300);
            EXPECT_NEAR(inverse({s0.latitude, s0.longitude}, {e.latitude, e.longitude}).nm, 3.0 * r.kt[i] / 3600.0, 1e-9);
            ac.samples.pop_front();
        }
    }
}

// A taxiing aircraft without new samples holds (a standing sample every 300
// ticks) for MAX_HOLDING_MINUTES, then goes; next to another taxiing aircraft
// it goes at once.
TEST_F(Prediction, GroundHoldLastsTheHoldingTime)
{
    MAX_HOLDING_MINUTES.set(2);
    const LatLon o{47.0, 8.0};
    LiveAc ac = aircraft(AcCategory::Large, {sample(o, 0, 0)}, 0);
    std::int32_t ticks = 0;
    while (tickOnce(ac)) {
        ++ticks;
        ASSERT_LT(ticks, 20000);
        EXPECT_TRUE(ac.holding);
        EXPECT_EQ(ac.posBlock.latitude, o.lat);
    }
    // Holding began at tick 0; more than two whole minutes (12000 ticks) had to pass.
    EXPECT_GT(ticks, 2 * 6000 * 1.5 - 300);
    EXPECT_LE(ticks, 3 * 6000 + 300);
    EXPECT_EQ(ac.simState, SimState::removingfromsim);

    tickCounter.store(0);
    LiveAc near = aircraft(AcCategory::Large, {sample(o, 0, 0)}, 0, 200);
    LiveAc other = aircraft(AcCategory::Large, {sample(direct(o, 90, 0.02), 5, 0), sample(direct(o, 90, 0.1), 5, 500)},
                            90, 300);
    liveAircraft.push_back(other);
    EXPECT_FALSE(tickOnce(near));
    EXPECT_FALSE(near.holding);
}

// Aloft a standing next sample is dropped (nobody stops in mid-air); a Rotorcraft keeps it and hovers.
TEST_F(Prediction, StandingSampleAloft)
{
    const LatLon o{47.0, 8.0};
    const LatLon b = direct(o, 90, 1.0);
    for (AcCategory category : {AcCategory::Large, AcCategory::Rotorcraft}) {
        SCOPED_TRACE(acCategoryText(category));
        tickCounter.store(0);
        PositionSample standing = sample(o, 0, 500, 3000);
        standing.stationary = true;
        LiveAc ac = aircraft(category, {sample(o, 100, 0, 3000), standing, sample(b, 100, 3000, 3000)}, 90);
        ASSERT_TRUE(tickOnce(ac));
        if (category == AcCategory::Rotorcraft) {
            EXPECT_EQ(ac.samples.size(), 2u);
            EXPECT_TRUE(ac.samples.front().stationary);
            EXPECT_EQ(ac.latStep, 0.0);
        } else {
            EXPECT_EQ(ac.samples.size(), 1u);
            EXPECT_FALSE(ac.samples.front().stationary);
            EXPECT_GT(ac.lonStep, 0.0);
        }
    }
}

// An aircraft held aloft without a ground reply would drop and re-add its hold
// sample for ever: after a bounded number of passes it goes, with one marked line.
TEST_F(Prediction, EndlessHoldAloftIsCutOff)
{
    LiveAc ac = aircraft(AcCategory::Large, {sample({47.0, 8.0}, 0, 0, 2000)}, 0);
    ac.phase = AcPhase::taxi;
    const auto before = logLines().size();
    EXPECT_FALSE(tickOnce(ac));
    EXPECT_EQ(ac.simState, SimState::removingfromsim);
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), before + 1);
    EXPECT_NE(lines.back().find("===> nextPosMain: no progress"), std::string::npos);
}

// A count that is no number removes the aircraft with one line, not one per tick.
TEST_F(Prediction, BadSampleRemovesTheAircraftOnce)
{
    const LatLon o{47.0, 8.0};
    LiveAc ac = aircraft(AcCategory::Large, {sample(o, 120, 0, 5000), sample(direct(o, 0, 1), 120, 3000, 5000)}, 0);
    ac.samples[1].groundSpeed = std::numeric_limits<double>::quiet_NaN();
    ac.samples[0].groundSpeed = std::numeric_limits<double>::quiet_NaN();
    const auto before = logLines().size();
    EXPECT_FALSE(tickOnce(ac));
    EXPECT_EQ(ac.simState, SimState::removingfromsim);
    for (int i = 0; i < 10; ++i) tickOnce(ac);
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), before + 2);  // the prediction's line and the update's
    EXPECT_NE(lines[before].find("nextPosMain: "), std::string::npos);
    EXPECT_NE(lines[before + 1].find("updateLiveAc: "), std::string::npos);
}

// Every leg lasts at least 25 ticks, even when its sample is due in 10.
TEST_F(Prediction, DueInTenTicksStillTakesTwentyFive)
{
    const LatLon o{47.0, 8.0};
    const LatLon to = direct(o, 0, 0.0005);
    LiveAc ac = aircraft(AcCategory::Large, {sample(o, 120, 0, 5000), sample(to, 120, 10, 5000)}, 0);
    ASSERT_TRUE(tickOnce(ac));
    EXPECT_EQ(ac.samples.front().dueTick, 25);
    EXPECT_NEAR(ac.latStep * 25, to.lat - o.lat, 1e-12);
}

// A curve that cannot be evaluated keeps the position and says so once, not every tick.
TEST_F(Prediction, FailingCurveIsLoggedOncePerCurve)
{
    const LatLon o{47.0, 8.0};
    const LatLon s1 = direct(o, 0, 0.05);
    const LatLon s2 = direct(s1, 90, 0.05);
    LiveAc ac = aircraft(AcCategory::Light, {sample(o, 10, 0), sample(s1, 10, 1000), sample(s2, 10, 2000)}, 0);
    lf_makeCurve(ac);
    ac.curve.tEnd = 0.5;  // the parameter runs past the curve's end
    ac.curveT = 0.6;
    ac.curveTStep = 0.01;
    const auto before = logLines().size();
    const LatLon where = at(ac);
    for (int i = 0; i < 20; ++i) lf_applyStep(ac);
    EXPECT_EQ(at(ac), where);
    const auto lines = logLines();
    ASSERT_EQ(lines.size(), before + 1);
    EXPECT_NE(lines.back().find("TST123 error in curve at index: 0.61"), std::string::npos);
    lf_makeCurve(ac = aircraft(AcCategory::Light, {sample(o, 10, 0), sample(s1, 10, 1000), sample(s2, 10, 2000)}, 0));
    ac.curve.tEnd = 0.5;
    ac.curveT = 0.6;
    lf_applyStep(ac);
    EXPECT_EQ(logLines().size(), before + 2);  // a new curve may say it again
}

}  // namespace

// `count` samples 4 s apart due from tick 0 eastward at `knots`, the first
// `standing` of them standing at the start.
static std::vector<PositionSample> eastbound(const LatLon& start, double knots, double altitude, int count, int standing)
{
    std::vector<PositionSample> stream;
    LatLon p = start;
    for (int i = 0; i < count; ++i) {
        const bool stands = i < standing;
        stream.push_back(sample(p, stands ? 0.0 : knots, i * 400, altitude));
        if (i > 0 && stands) stream.back().stationary = true;
        if (i + 1 >= standing) p = direct(p, 90, knots * 4 / 3600);
    }
    return stream;
}

// An aircraft whose samples fell due while the simulator created it (the
// creation queue, the 2 s to activation, a reconnect) goes on from where it
// stands, not racing through the overdue samples; the samples merged later keep
// their spacing behind the shifted ones. The lag is then worked off: at once
// while it stands, at most a tenth faster than served while it moves, and never
// grows.
TEST_F(Prediction, LateActivationFliesOnAtTheServedSpeed)
{
    struct Row {
        const char* name;
        double knots;
        double altitude;  // 0: on the ground
        std::int32_t activatedAt;
        int standing;  // samples standing at the start before it moves
    };
    const Row rows[] = {
        {"a light aircraft at 75 kt, 3 s late", 75.0, 1500.0, 300, 0},
        {"the same, 30 s late (a reconnect)", 75.0, 1500.0, 3000, 0},
        {"an airliner at 300 kt, 8 s late", 300.0, 20000.0, 800, 0},
        {"taxiing at 15 kt, 12 s late", 15.0, 0.0, 1200, 0},
        {"standing 40 s, then taxiing at 15 kt, 12 s late", 15.0, 0.0, 1200, 10},
    };
    constexpr int count = 100;  // samples 4 s apart
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        tickCounter.store(0);
        const LatLon start{52.0, 5.0};
        const std::vector<PositionSample> stream = eastbound(start, r.knots, r.altitude, count, r.standing);
        const LatLon p = direct({stream.back().latitude, stream.back().longitude}, 90, r.knots * 4 / 3600);
        LiveAc ac = aircraft(AcCategory::Light, stream, 90);
        ac.simState = SimState::adding2sim;
        tickCounter.store(r.activatedAt);
        activateAc(ac);
        ASSERT_EQ(ac.simState, SimState::active);
        // A sample merged later is due as much later as the queue was shifted.
        PositionSample later = sample(p, r.knots, count * 400, r.altitude);
        decodeExisting(ac, later);
        EXPECT_EQ(ac.samples.back().dueTick, count * 400 + r.activatedAt);
        // Where the feed has the aircraft at a tick, as the distance along its track.
        const auto feedNm = [&](std::int32_t tick) {
            return r.knots * std::max(0, tick - std::max(r.standing - 1, 0) * 400) / 360000.0;
        };
        std::vector<LatLon> track;
        double worstLag = 0.0;
        double lagAtEnd = 0.0;
        const std::int32_t end = (count - 5) * 400;
        while (tickCounter.load() < end) {
            ASSERT_TRUE(tickOnce(ac)) << tickCounter.load();
            track.push_back(at(ac));
            const double lag = (feedNm(tickCounter.load()) - inverse(start, at(ac)).nm) / r.knots * 3600.0;
            worstLag = std::max(worstLag, lag);
            lagAtEnd = lag;
            if (r.standing > 0 && tickCounter.load() == (r.standing - 1) * 400) {
                // Standing, the lag went at once: it moves off when the feed does.
                EXPECT_LE(std::abs(lag), 2.0);
            }
        }
        double fastest = 0.0;
        for (std::size_t i = 100; i < track.size(); ++i)
            fastest = std::max(fastest, inverse(track[i - 100], track[i]).nm * 3600);
        // The lag is flown off at most a tenth faster than served (the ground roll's cap: and 2 kt).
        EXPECT_LE(fastest, 1.1 * r.knots + 2.0);
        // It never grows beyond what the creation left (on the ground: and the
        // start from a standstill) ...
        const bool ground = r.altitude <= 0;
        EXPECT_LE(worstLag, r.activatedAt / 100.0 + (ground ? 2.0 : 0.5));
        // ... and is gone well before the stream ends; but for the first leg
        // from a standstill, flown at the mean of 0 and 15 kt in twice its time.
        EXPECT_LE(std::abs(lagAtEnd), r.standing > 0 ? 4.0 + 1.0 : 1.0);
    }
}

// An object created while the aircraft rolls (a departure caught in its take-off
// roll, a taxiing aircraft) rolls on at the speed served there from its first
// update: a standstill start would fall behind the samples and race to catch
// up, and one activated before its first sample is due would stand until then.
TEST_F(Prediction, AnObjectCreatedWhileItRollsRollsOnAtTheServedSpeed)
{
    struct Row {
        const char* name;
        double knots;
        std::int32_t activatedLate;  // ticks after the first sample fell due (negative: before)
    };
    const Row rows[] = {
        {"taxiing at 15 kt", 15.0, 0},
        {"in the take-off roll at 100 kt", 100.0, 0},
        {"in the roll-out at 60 kt, activated half a second early", 60.0, -50},
        {"the same, 2 s late", 60.0, 200},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        std::vector<PositionSample> stream;
        LatLon p{52.0, 5.0};
        for (int i = 0; i < 8; ++i) {
            stream.push_back(sample(p, r.knots, 300 + i * 200, 0.0));
            stream.back().speed = 180.0;  // a record without an airspeed has one by its height
            p = direct(p, 90, r.knots * 2 / 3600);
        }
        tickCounter.store(300 + r.activatedLate);
        liveAircraft.push_back(aircraft(AcCategory::Large, stream, 90));
        LiveAc& ac = liveAircraft.back();
        ac.simState = SimState::buffer;
        spawnLiveAc(ac);
        ASSERT_EQ(ac.simState, SimState::adding2sim);
        EXPECT_EQ(ac.posBlock.trueAirspeed, r.knots) << "the speed rolled, not the airspeed";
        activateAc(ac);
        ASSERT_EQ(ac.simState, SimState::active);
        std::vector<LatLon> track{at(ac)};
        for (int t = 0; t < 1000 && tickOnce(ac); ++t) track.push_back(at(ac));
        ASSERT_GT(track.size(), 1000u);
        for (std::size_t i = 100; i < track.size(); i += 100) {
            SCOPED_TRACE(i);
            // The ground's bound of the speed shown: 30 % and 2 kt.
            EXPECT_NEAR(inverse(track[i - 100], track[i]).nm * 3600, r.knots, 0.3 * r.knots + 2.0);
        }
        liveAircraft.clear();
    }
}

// A record created again and again (a livery respawn, a callsign that flaps)
// starts each new object where the old one was going and falls behind by the
// time the simulator takes to create it; that lag is flown off before the next
// creation and never adds up.
TEST_F(Prediction, RecreationsDoNotAddUpTheirLag)
{
    struct Row {
        const char* name;
        double knots;
        double altitude;  // 0: on the ground
    };
    const Row rows[] = {
        {"a light aircraft at 75 kt aloft", 75.0, 1500.0},
        {"taxiing at 15 kt", 15.0, 0.0},
    };
    constexpr int count = 160;             // samples 4 s apart
    constexpr std::int32_t creation = 250;  // ticks from the new object's creation to its activation
    constexpr std::int32_t every = 4000;    // ticks between re-creations
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        tickCounter.store(0);
        const LatLon start{52.0, 5.0};
        liveAircraft.push_back(aircraft(AcCategory::Light, eastbound(start, r.knots, r.altitude, count, 0), 90));
        LiveAc& ac = liveAircraft.back();
        ac.phase = r.altitude > 0 ? AcPhase::flying : AcPhase::taxi;
        double worstLag = 0.0;
        int recreations = 0;
        while (tickCounter.load() < (count - 10) * 400) {
            if (tickCounter.load() % every == every - 1) {
                // The object goes; the record stays and is created anew.
                ac.simState = SimState::buffer;
                ac.objectId = 0;
                while (ac.simState == SimState::buffer) {
                    updateLiveAc(ac);
                    tickCounter.fetch_add(1);
                }
                ASSERT_EQ(ac.simState, SimState::adding2sim);
                tickCounter.fetch_add(creation);
                ac.objectId = 100 + static_cast<std::uint32_t>(recreations);
                activateAc(ac);
                ASSERT_EQ(ac.simState, SimState::active);
                ++recreations;
            }
            ASSERT_TRUE(tickOnce(ac)) << tickCounter.load();
            const double lag = (r.knots * tickCounter.load() / 360000.0 - inverse(start, at(ac)).nm) / r.knots * 3600;
            worstLag = std::max(worstLag, lag);
        }
        EXPECT_GE(recreations, 10);
        // One creation's delay (and on the ground the roll's start), never the sum of them.
        EXPECT_LE(worstLag, creation / 100.0 + (r.altitude > 0 ? 1.0 : 3.0));
        liveAircraft.clear();
    }
}

// An aircraft whose fixes stopped is not left standing where others pass: lost
// while it rolled it holds at most 30 s (it was not waiting there); held or
// not, it goes before an aircraft rolling on the ground would run into it. One
// the feed showed waiting keeps its hold while nothing comes its way. With
// fixes, the one run into goes too; one that follows at its own speed does not.
TEST_F(Prediction, AnAircraftWithoutFixesStandsInNobodysWay)
{
    struct Row {
        const char* name;
        double lastKnots;      // the holder's last fixes: 0 standing, else rolling east
        double moverKnots;     // a second aircraft rolling east behind it (0: none)
        double moverOffsetM;   // its track's distance to the side of the holder's
        bool holderStays;      // still there at the end (4 minutes)
        bool fixesGoOn = false;  // the holder's fixes go on (at lastKnots) all along
    };
    const Row rows[] = {
        {"served waiting, nobody comes: it holds", 0.0, 0.0, 0.0, true},
        {"lost in its roll-out, nobody comes: gone within 30 s", 20.0, 0.0, 0.0, false},
        {"served waiting, a landing rolls towards it", 0.0, 60.0, 0.0, false},
        {"served waiting, a taxi passes towards it 10 m to the side", 0.0, 15.0, 10.0, false},
        {"served waiting, a taxi passes on a parallel taxiway 120 m off", 0.0, 15.0, 120.0, true},
        {"rolling out at 20 kt with fixes, a departure rolls up behind", 20.0, 150.0, 0.0, false, true},
        {"taxiing at 15 kt with fixes, another follows at 15 kt", 15.0, 15.0, 0.0, true, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        tickCounter.store(0);
        liveAircraft.clear();
        const LatLon start{52.0, 5.0};
        const LatLon holdAt = direct(start, 90, 0.5);
        // The holder: two fixes, then none.
        const LatLon before = direct(holdAt, 270, r.lastKnots * 4 / 3600);
        std::vector<PositionSample> held{sample(before, r.lastKnots, 0), sample(holdAt, r.lastKnots, 400)};
        if (r.lastKnots == 0) held.back().stationary = true;
        for (LatLon p = holdAt; r.fixesGoOn && held.size() < 80;) {
            p = direct(p, 90, r.lastKnots * 4 / 3600);
            held.push_back(sample(p, r.lastKnots, held.back().dueTick + 400));
        }
        liveAircraft.push_back(aircraft(AcCategory::Large, held, 90, 100));
        if (r.moverKnots > 0) {
            // The mover: 0.5 nm behind the holder, on a track `moverOffsetM` to the north of it.
            const LatLon from = direct(start, 0, r.moverOffsetM / 1852);
            std::vector<PositionSample> roll;
            LatLon p = from;
            for (int i = 0; i < 80; ++i) {
                roll.push_back(sample(p, r.moverKnots, i * 400));
                p = direct(p, 90, r.moverKnots * 4 / 3600);
            }
            liveAircraft.push_back(aircraft(AcCategory::Large, roll, 90, 101));
            liveAircraft.back().aircraftId = 0x400001;
            liveAircraft.back().callsign = "TST456";
        }
        const double span = 2 * 0.01 * 1852;  // the sum of both half wingspans, m
        std::int32_t gone = -1;
        for (std::int32_t t = 0; t < 24000; ++t) {
            for (LiveAc& ac : liveAircraft) updateLiveAc(ac);
            positionQueue.write().clear();
            tickCounter.fetch_add(1);
            const LiveAc& holder = liveAircraft.front();
            if (gone < 0 && holder.simState != SimState::active) gone = t;
            if (gone < 0 && liveAircraft.size() > 1 && liveAircraft.back().simState == SimState::active) {
                ASSERT_GE(inverse(at(holder), at(liveAircraft.back())).nm * 1852, span) << t;
            }
        }
        EXPECT_EQ(gone < 0, r.holderStays) << gone;
        if (r.lastKnots > 0 && !r.fixesGoOn) {
            EXPECT_LE(gone, 400 + lostHoldTicks + 400);
        }
        liveAircraft.clear();
    }
}
