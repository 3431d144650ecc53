// The per-step update and the checks of a new sample: queue cap, due ticks,
// standing samples, arrival at a stand, holding, push-back choices, the
// touch-and-go, and the removal of aircraft that cannot be moved.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/options.h"
#include "engine/motion.h"
#include "engine/stand.h"
#include "support/motion_fixture.h"
#include "support/motion_streams.h"

using namespace motiontest;

namespace {

constexpr double deg = geo::degToRad;
constexpr double metre = 1.0 / 1852.0;

class Update : public MotionTest {};

TEST_F(Update, QueueOfTwoHundredAndOneRemovesTheAircraft)
{
    const LatLon o{47.0, 8.0};
    LiveAc ac = aircraft(AcCategory::Large, {sample(o, 200, 0, 9000)}, 0);
    for (int i = 1; i <= 200; ++i) decodeExisting(ac, sample(direct(o, 0, 0.5 * i), 200, 100 * i, 9000));
    EXPECT_EQ(ac.samples.size(), 201u);
    EXPECT_EQ(ac.simState, SimState::active);
    decodeExisting(ac, sample(direct(o, 0, 200), 200, 30000, 9000));
    EXPECT_EQ(ac.simState, SimState::removingfromsim);
    EXPECT_EQ(ac.samples.size(), 201u);
}

TEST_F(Update, DueTicksKeepRising)
{
    const LatLon o{47.0, 8.0};
    LiveAc ac = aircraft(AcCategory::Large, {sample(o, 200, 500, 9000)}, 0);
    decodeExisting(ac, sample(direct(o, 0, 0.5), 200, 400, 9000));
    decodeExisting(ac, sample(direct(o, 0, 1.0), 200, 501, 9000));
    decodeExisting(ac, sample(direct(o, 0, 1.5), 200, 2000, 9000));
    ASSERT_EQ(ac.samples.size(), 4u);
    EXPECT_EQ(ac.samples[1].dueTick, 501);
    EXPECT_EQ(ac.samples[2].dueTick, 502);
    EXPECT_EQ(ac.samples[3].dueTick, 2000);
}

// A sample within 1e-8 degrees of the newest stands; within 0.00015 degrees it
// becomes the newest standing, on the ground only; a take-off roll refuses it.
TEST_F(Update, StationaryTable)
{
    struct Row {
        const char* name;
        double offDeg;
        bool airborne;
        bool ground;      // groundReplySeen
        bool takeOffRoll;
        double pSpeed, sSpeed;
        bool accepted, stationary;
    };
    const Row rows[] = {
        {"same place, ground", 0.0, false, true, false, 5, 3, true, true},
        {"same place, airborne", 0.0, true, false, false, 5, 3, false, true},
        {"same place, take-off roll at 30 kt", 0.0, false, true, true, 30, 5, false, true},
        {"same place, take-off roll at 29 kt", 0.0, false, true, true, 29, 5, true, true},
        {"close, ground: becomes standing", 0.0001, false, true, false, 5, 3, true, true},
        {"close, active aloft", 0.0001, false, false, false, 5, 3, false, false},
        {"close, take-off roll at 50 kt", 0.0001, false, true, true, 50, 5, false, false},
        {"farther, moving", 0.001, false, true, false, 5, 3, true, false},
        {"farther, speed 0 taxiing", 0.001, false, true, false, 5, 0, true, false},
        {"farther, speed 0 in a take-off roll from 50 kt", 0.001, false, true, true, 50, 0, false, false},
        {"farther, speed 0 in a take-off roll from 49 kt", 0.001, false, true, true, 49, 0, true, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const LatLon o{47.0, 8.0};
        LiveAc ac = aircraft(AcCategory::Large, {sample(o, r.pSpeed, 0, r.airborne ? 500 : 0)}, 0);
        ac.groundReplySeen = r.ground;
        ac.takeOffRoll = r.takeOffRoll;
        PositionSample s = sample({o.lat + r.offDeg, o.lon}, r.sSpeed, 100, r.airborne ? 500 : 0);
        EXPECT_EQ(lf_checkStationary(ac, s), r.accepted);
        EXPECT_EQ(s.stationary, r.stationary);
        if (r.accepted && r.stationary) {
            EXPECT_EQ(s.groundSpeed, 0.0);
            EXPECT_EQ(s.latitude, r.offDeg < 1e-8 ? o.lat + r.offDeg : o.lat);
            EXPECT_EQ(s.dueTick, 100);
        }
    }
}

// A parked aircraft's samples near its stand: the first keeps the distance;
// growing by 3 m three times and by more than half the radius is a departure.
TEST_F(Update, ArrivalCheckSequence)
{
    const LatLon here{47.0, 8.0};
    Stand s;
    s.sid = 5;
    s.latitude = here.lat;
    s.longitude = here.lon;
    s.radius = 20 * metre;
    s.occupied = true;
    replaceStands({s});
    LiveAc ac = aircraft(AcCategory::Large, {sample(here, 0, 0)}, 0);
    ac.phase = AcPhase::parked;
    ac.prevPhase = AcPhase::parking;
    ac.standId = 5;
    ac.position = here;
    struct Step {
        double metres;
        bool accepted;
        std::uint32_t count;
    };
    // The last distance moves only when it grows; coming back 3 m clears the count.
    const Step steps[] = {{1, false, 0},    {4.5, false, 1}, {8, false, 2},     {2, false, 0},
                          {11.5, false, 1}, {15, false, 2},  {18.5, true, 3}};
    int i = 0;
    for (const Step& st : steps) {
        SCOPED_TRACE(i++);
        PositionSample p = sample(direct(here, 90, st.metres * metre), 2, 100 * i);
        EXPECT_EQ(lf_arrivalCheck(ac, p), st.accepted);
        EXPECT_EQ(ac.standDistanceCount, st.count);
        EXPECT_TRUE(ac.standReported);
    }
    EXPECT_TRUE(ac.departurePending);
    EXPECT_EQ(ac.phase, AcPhase::parked);
    EXPECT_FALSE(stands[0].occupied);  // settled: the mark cleared
}

TEST_F(Update, ArrivalCheckFarFromTheStand)
{
    struct Row {
        const char* name;
        AcPhase phase;
        double metres;
        bool accepted;
        AcPhase after;
        bool removed;
    };
    const Row rows[] = {
        {"parking at 150 m: taxis again", AcPhase::parking, 150, true, AcPhase::taxi, false},
        {"parked at 150 m: the arrival branch", AcPhase::parked, 150, true, AcPhase::parked, false},
        {"parked beyond 200 m: removed", AcPhase::parked, 210, false, AcPhase::parked, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const LatLon here{47.0, 8.0};
        LiveAc ac = aircraft(AcCategory::Large, {sample(here, 0, 0)}, 0);
        ac.phase = r.phase;
        ac.prevPhase = AcPhase::taxi;
        ac.position = here;
        PositionSample p = sample(direct(here, 0, r.metres * metre), 5, 100);
        p.stationary = true;
        EXPECT_EQ(checkExtendingSituations(ac, p), r.accepted);
        EXPECT_EQ(ac.phase, r.after);
        EXPECT_EQ(ac.simState == SimState::removingfromsim, r.removed);
        if (r.accepted) {
            EXPECT_FALSE(p.stationary);
        }
    }
}

// A hold is broken off by a sample beyond HOLDING_THRESHOLD_METERS (the
// aircraft goes); a nearer one is taken and the aircraft moves on.
TEST_F(Update, HoldingBrokenOffOrResumed)
{
    for (const auto& [metres, removed] : {std::pair{300.0, true}, std::pair{100.0, false}}) {
        SCOPED_TRACE(metres);
        const LatLon here{47.0, 8.0};
        LiveAc ac = aircraft(AcCategory::Large, {sample(here, 0, 0)}, 0);
        ac.holding = true;
        ac.holdStartTick = 5;
        ac.parkProgress = 1;
        decodeExisting(ac, sample(direct(here, 0, metres * metre), 10, 500));
        EXPECT_EQ(ac.simState == SimState::removingfromsim, removed);
        EXPECT_EQ(ac.holding, false);
        EXPECT_EQ(ac.samples.size(), removed ? 1u : 2u);
        if (!removed) {
            EXPECT_EQ(ac.parkProgress, 0);
        }
    }
}

TEST_F(Update, PushedBackWaitsForASampleAwayFromIt)
{
    const LatLon here{47.0, 8.0};
    LiveAc ac = aircraft(AcCategory::Large, {sample(here, 0, 0)}, 0);
    ac.phase = AcPhase::pushed_back;
    ac.halfWingspan = 0.01;
    ac.nearestSampleNm = 900.0;
    ac.standId = 3;
    PositionSample nearS = sample(direct(here, 0, 0.02), 5, 100);
    EXPECT_FALSE(checkExtendingSituations(ac, nearS));
    EXPECT_TRUE(ac.holding);
    EXPECT_NEAR(ac.nearestSampleNm, 0.02, 1e-9);
    PositionSample away = sample(direct(here, 0, 0.03), 5, 200);
    EXPECT_TRUE(checkExtendingSituations(ac, away));
    EXPECT_EQ(ac.phase, AcPhase::taxi);
    EXPECT_EQ(ac.standId, 0u);
    EXPECT_FALSE(ac.holding);
}

TEST_F(Update, PushBackTurnChoice)
{
    struct Row {
        const char* name;
        double trackDeg;
        std::optional<double> trueHeadingDeg;
        bool straightOnly;
        bool known, right;
    };
    const Row rows[] = {
        {"track to the right", 150, {}, false, true, true},
        {"true heading to the left", 10, 60.0, false, true, false},
        {"track 0 without heading: unmade", 0, {}, false, false, false},
        {"straight push-backs only", 150, {}, true, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        STRAIGHT_PBS_ONLY.set(r.straightOnly);
        LiveAc ac = aircraft(AcCategory::Large, {sample({47, 8}, 0, 0)}, 100);
        ac.phase = AcPhase::pushing_back;
        ac.pushBackCountdown = 2;
        PositionSample s = sample({47.001, 8}, 5, 100);
        s.track = r.trackDeg;
        if (r.trueHeadingDeg) s.trueHeading = *r.trueHeadingDeg * deg;
        EXPECT_FALSE(checkExtendingSituations(ac, s));
        EXPECT_EQ(ac.pushBackTurnKnown, r.known);
        EXPECT_EQ(ac.pushBackTurnRight, r.right);
    }
}

// After a landing contact two airborne samples make a touch-and-go: taxi with a
// take-off roll, spoilers in, window 3000/5000.
TEST_F(Update, TouchAndGoFromTheSamples)
{
    const LatLon o{47.0, 8.0};
    LiveAc ac = aircraft(AcCategory::Large, {sample(o, 120, 0, 1500)}, 0);
    ac.groundReplySeen = true;
    ac.rollingOut = true;
    ac.phase = AcPhase::taxi;
    ac.landing = false;
    ac.justLanded = true;
    ac.samples[0].airborne = true;
    decodeExisting(ac, sample(direct(o, 0, 0.3), 130, 1000, 1600));
    EXPECT_TRUE(ac.takeOffRoll);
    EXPECT_EQ(ac.dueLead, 3000);
    EXPECT_EQ(ac.dueLag, 5000);
    EXPECT_FALSE(ac.justLanded);
    const auto events = takeEvents();
    EXPECT_NE(std::find(events.begin(), events.end(), "100 223 11468"), events.end());
    EXPECT_NE(std::find(events.begin(), events.end(), "100 219 0"), events.end());
    EXPECT_EQ(ac.samples.size(), 2u);
}

// An active aircraft without an object or without samples goes, with a marked line.
TEST_F(Update, UnmovableAircraftAreRemoved)
{
    for (const bool noObject : {true, false}) {
        SCOPED_TRACE(noObject);
        const LatLon o{47.0, 8.0};
        LiveAc ac = aircraft(AcCategory::Large, {sample(o, 200, 100, 9000)}, 0, noObject ? 0 : 100);
        if (!noObject) ac.samples.clear();
        const auto before = logLines().size();
        updateLiveAc(ac);
        EXPECT_EQ(ac.simState, SimState::removingfromsim);
        const auto lines = logLines();
        ASSERT_EQ(lines.size(), before + (noObject ? 2 : 1));  // no object: the removal logs too
        EXPECT_NE(lines[before].find(noObject ? "===> updateLiveAc objectid=0?" : "===> updateLiveAc stream empty ?"),
                  std::string::npos);
    }
}

// Fast ground samples start a take-off roll only while they gain speed: a
// landing first seen on its roll-out (created at touchdown, in the taxi phase)
// brakes, and when its feed ends it slows and stops, never accelerating or
// climbing into a made-up take-off.
TEST_F(Update, FastGroundSamplesRollOutOrTakeOff)
{
    struct Row {
        const char* name;
        std::vector<double> speeds;  // kt, one sample every 3 s
        bool takeOffRoll;
    };
    const Row rows[] = {
        {"first seen rolling out and braking", {133, 120, 105, 90, 75}, false},
        {"a take-off roll", {50, 65, 80, 95, 110}, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        resetEngineForTest();
        const LatLon o{47.0, 8.0};
        std::vector<PositionSample> stream{sample(o, r.speeds[0], 0)};
        double nm = 0.0;
        for (std::size_t i = 1; i < r.speeds.size(); ++i) {
            nm += 0.5 * (r.speeds[i - 1] + r.speeds[i]) * 3.0 / 3600.0;
            stream.push_back(sample(direct(o, 90, nm), r.speeds[i], static_cast<std::int32_t>(300 * i)));
        }
        LiveAc ac = aircraft(AcCategory::Large, {stream[0]}, 90);
        ac.rollSpeed = r.speeds[0];
        for (std::size_t i = 1; i < stream.size(); ++i) decodeExisting(ac, stream[i]);
        EXPECT_EQ(ac.takeOffRoll, r.takeOffRoll);
        if (r.takeOffRoll) continue;
        const double ground = ac.posBlock.altitude;
        double fastest = 0.0;
        double highest = ground;
        bool tookOff = false;
        int ticks = 0;
        while (ticks < 6000 && tickOnce(ac)) {
            ++ticks;
            fastest = std::max(fastest, ac.posBlock.trueAirspeed);
            highest = std::max(highest, ac.posBlock.altitude);
            tookOff = tookOff || ac.takeOffRoll || ac.phase == AcPhase::take_off;
        }
        EXPECT_FALSE(tookOff);
        EXPECT_LE(fastest, r.speeds[0] + 1.0);
        EXPECT_LE(highest, ground + 1.0);
        EXPECT_NEAR(ac.posBlock.trueAirspeed, 0.0, 0.5) << "after " << ticks << " ticks";
        EXPECT_LT(inverse({stream.back().latitude, stream.back().longitude}, at(ac)).nm, 0.2);
    }
}

}  // namespace
