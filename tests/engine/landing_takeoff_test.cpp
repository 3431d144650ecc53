// Landing and take-off: pitch from the vertical rate, the landing rate with
// the QNH, commitment and go-around, lift-off, bank, and the flare and the
// climb worked out by hand.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/motion.h"
#include "support/motion_fixture.h"
#include "support/motion_streams.h"

using namespace motiontest;

namespace {

constexpr double deg = geo::degToRad;

bool hasEvent(const std::vector<std::string>& events, const std::string& e)
{
    return std::find(events.begin(), events.end(), e) != events.end();
}

std::size_t countEvents(const std::vector<std::string>& events, std::uint32_t eventId)
{
    return std::count_if(events.begin(), events.end(), [&](const std::string& e) {
        return e.find(" " + std::to_string(eventId) + " ") != std::string::npos;
    });
}

TEST(FlightConstants, TableInRadiansByCategory)
{
    struct Row {
        AcCategory category;
        double takeOffSpeed, pitchStepDeg, bankDeg, bankStepDeg, approach;
    };
    const Row rows[] = {
        {AcCategory::Light, 90, 0.01, 40, 0.035, 625},      {AcCategory::Buzjets, 110, 0.0085, 35, 0.0275, 2050},
        {AcCategory::Large, 140, 0.0075, 30, 0.02, 2050},   {AcCategory::Heavy, 150, 0.005, 20, 0.015, 2050},
        {AcCategory::HighPerf, 220, 0.03, 90, 0.1, 625},    {AcCategory::Rotorcraft, 0, 0.03, 75, 0.06, 625},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(acCategoryText(r.category));
        const FlightConstants& f = flightConstants(r.category);
        EXPECT_EQ(f.takeOffSpeed, r.takeOffSpeed);
        EXPECT_DOUBLE_EQ(f.maxPitchStep, r.pitchStepDeg * deg);
        EXPECT_DOUBLE_EQ(f.maxBank, r.bankDeg * deg);
        EXPECT_DOUBLE_EQ(f.maxBankStep, r.bankStepDeg * deg);
        EXPECT_EQ(f.approachHeight, r.approach);
    }
    EXPECT_THROW(flightConstants(static_cast<AcCategory>(6)), std::out_of_range);
}

class Flight : public MotionTest {
protected:
    // Cruise legs 10000 ticks long, so no step is clamped by the tick count.
    LiveAc cruising(AcCategory category, double vr0, double vr1, double altitude = 5000.0)
    {
        const LatLon o{47.0, 8.0};
        PositionSample s0 = sample(o, 200, 0, altitude);
        PositionSample s1 = sample(direct(o, 0, 200.0 * 10000 / 360000), 200, 10000, altitude);
        s0.verticalRate = vr0;
        s1.verticalRate = vr1;
        LiveAc ac = aircraft(category, {s0, s1}, 0);
        ac.heightAboveGround = 2500.0;
        return ac;
    }
};

TEST_F(Flight, PitchTargetFollowsTheVerticalRate)
{
    struct Row {
        double verticalRate;
        double targetDeg;
    };
    for (const Row r : {Row{-5000, 2.5}, Row{-1000, -1.16667}, Row{0, -3.0}, Row{1200, -7.4}, Row{2400, -11.8},
                        Row{6000, -11.8}}) {
        SCOPED_TRACE(r.verticalRate);
        LiveAc ac = cruising(AcCategory::Large, r.verticalRate, r.verticalRate);
        ac.posBlock.pitch = 0.0;
        lf_flightStep(ac);
        EXPECT_NEAR(ac.pitchStep * 10000 / deg, r.targetDeg, 1e-3);
    }
    // The step is held within the category's largest pitch step.
    LiveAc ac = cruising(AcCategory::Heavy, 2400, 2400);
    ac.samples[1].dueTick = 25;
    lf_flightStep(ac);
    EXPECT_NEAR(ac.pitchStep, -0.005 * deg, 1e-15);
}

TEST_F(Flight, LandingVerticalRateWithTheQnh)
{
    struct Row {
        const char* name;
        double height;
        int qnh;
        double vr0, vr1;
        double expected;
    };
    const Row rows[] = {
        {"at 100 ft", 100, 1020, -900, -900, -600},
        {"QNH 1020: the mean less 42", 800, 1020, -800, -600, -742},
        {"never shallower than -601", 800, 1020, -400, -400, -601},
        {"standard QNH", 800, 1013, -700, -700, -700},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        engineQnh.store(r.qnh);
        LiveAc ac = cruising(AcCategory::Large, r.vr0, r.vr1);
        ac.heightAboveGround = r.height;
        EXPECT_DOUBLE_EQ(lf_landingVerticalRate(ac), r.expected);
    }
    // A landing ahead with standard QNH and no park airport descends at -601.
    engineQnh.store(1013);
    LiveAc ac = cruising(AcCategory::Large, -700, -700, 1500);
    ac.samples[1].airborne = false;
    lf_flightStep(ac);
    EXPECT_DOUBLE_EQ(ac.verticalSpeed, -601);
    EXPECT_DOUBLE_EQ(ac.altStep, -601.0 / 6000);
}

// Below the approach height, descending: a park airport within 10 nm commits
// the aircraft to land, once; at 12 nm it does not.
TEST_F(Flight, CommitmentWithinTenMiles)
{
    for (const auto& [nm, commits] : {std::pair{9.0, true}, std::pair{12.0, false}}) {
        SCOPED_TRACE(nm);
        (void)takeEvents();
        IdentityCheckQueue.clear();
        const LatLon o{47.0, 8.0};
        const LatLon field = direct(o, 0, nm);
        airports.park = {"LSZH", "ZRH", field.lat, field.lon, 1400.0};
        LiveAc ac = cruising(AcCategory::Large, -300, -300, 2000);
        ac.heightAboveGround = 600;
        ac.throttleStep = 3;
        ac.standId = 9;
        lf_approachConfig(ac);
        EXPECT_EQ(ac.landing, commits);
        const auto events = takeEvents();
        EXPECT_EQ(hasEvent(events, "100 220 1"), commits);
        EXPECT_EQ(hasEvent(events, "100 223 4914"), commits);
        EXPECT_EQ(IdentityCheckQueue.size(), commits ? 1u : 0u);
        EXPECT_EQ(ac.standId, commits ? 0u : 9u);
        lf_approachConfig(ac);
        EXPECT_EQ(countEvents(takeEvents(), EVENT_GEAR_SET), 0u);
    }
}

// A climbing aircraft below the approach height goes around once; the next
// go-around waits for a new commitment.
TEST_F(Flight, GoAroundOnceUntilTheNextCommitment)
{
    const LatLon o{47.0, 8.0};
    airports.park = {"LSZH", "ZRH", direct(o, 0, 5).lat, 8.0, 1400.0};
    LiveAc ac = cruising(AcCategory::Large, 800, 800, 2000);
    ac.heightAboveGround = 500;
    ac.landing = true;
    ac.flareStage = 2;
    lf_approachConfig(ac);
    EXPECT_TRUE(ac.goAround);
    EXPECT_FALSE(ac.landing);
    EXPECT_EQ(ac.flareStage, 0u);
    auto events = takeEvents();
    EXPECT_TRUE(hasEvent(events, "100 223 16383"));
    EXPECT_TRUE(hasEvent(events, "100 220 0"));
    lf_approachConfig(ac);
    EXPECT_EQ(countEvents(takeEvents(), EVENT_THROTTLE_SET), 0u);
    // A new commitment, then a climb again: a second go-around.
    ac.samples[0].verticalRate = -400;
    lf_approachConfig(ac);
    EXPECT_TRUE(ac.landing);
    EXPECT_FALSE(ac.goAround);
    ac.samples[0].verticalRate = 800;
    lf_approachConfig(ac);
    EXPECT_TRUE(ac.goAround);
}

TEST_F(Flight, BankStepSignAndLimits)
{
    struct Row {
        const char* name;
        AcCategory category;
        double turnDeg;
        std::int32_t ticks;
        double expectedStepDeg;
    };
    const Row rows[] = {
        {"right turn banks right wing down (negative)", AcCategory::Large, 10, 1000, -0.01},
        {"left turn", AcCategory::Large, -10, 1000, 0.01},
        {"bank limited to 30 degrees", AcCategory::Large, 60, 10000, -0.003},
        {"step limited", AcCategory::Large, 20, 100, -0.02},
        {"Heavy step limit", AcCategory::Heavy, -20, 100, 0.015},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        LiveAc ac = cruising(r.category, 0, 0);
        lf_bankStep(ac, r.turnDeg * deg, r.ticks);
        EXPECT_NEAR(ac.bankStep / deg, r.expectedStepDeg, 1e-12);
    }
}

// The lift-off check in the take-off roll.
TEST_F(Flight, LiftOffTable)
{
    struct Row {
        const char* name;
        AcCategory category;
        double speed;
        double verticalRate;
        bool airborne;
        bool liftsOff;
        double rollKt = 100;  // s0, the speed of the roll now
    };
    const Row rows[] = {
        {"climbing fast, airborne", AcCategory::Large, 150, 1500, true, true},
        {"climbing fast, still rolling", AcCategory::Large, 150, 1500, false, true},
        {"256 ft/min, at speed, airborne", AcCategory::Large, 140, 256, true, true},
        // A slow climb below the take-off speed lifts off once the feed has it
        // in the air at least as fast as it rolls; slower than the roll it waits.
        {"256 ft/min, below take-off speed, faster than the roll", AcCategory::Large, 139, 256, true, true},
        {"256 ft/min, below take-off speed, slower than the roll", AcCategory::Large, 99, 256, true, false},
        {"256 ft/min, below take-off speed, still rolling", AcCategory::Large, 139, 256, false, false},
        {"HighPerf below 220 kt, faster than the roll", AcCategory::HighPerf, 210, 200, true, true},
        {"HighPerf below 220 kt, slower than the roll", AcCategory::HighPerf, 210, 200, true, false, 215},
        {"HighPerf at 220 kt", AcCategory::HighPerf, 220, 200, true, true},
        {"Light climbing slowly away at 75 kt from a roll at 60", AcCategory::Light, 75, 200, true, true, 60},
        {"Light at 75 kt, the roll at 75", AcCategory::Light, 75, 200, true, true, 75},
        {"Light at 75 kt, still rolling", AcCategory::Light, 75, 200, false, false, 60},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const LatLon o{47.0, 8.0};
        PositionSample s1 = sample(direct(o, 0, 0.5), r.speed, 1000, r.airborne ? 300 : 0);
        s1.verticalRate = r.verticalRate;
        PositionSample s2 = s1;
        s2.dueTick = 2000;
        LiveAc ac = aircraft(r.category, {sample(o, r.rollKt, 0), s1, s2}, 0);
        ac.takeOffRoll = true;
        lf_liftOffCheck(ac);
        EXPECT_EQ(ac.phase == AcPhase::take_off, r.liftsOff);
        if (r.liftsOff && r.verticalRate > 256 && r.airborne) {
            EXPECT_NEAR(ac.altStep, 300.0 / 1000, 1e-12);
        } else if (r.liftsOff) {
            EXPECT_EQ(ac.altStep, ac.maxVerticalStep);
        }
    }
    // A Rotorcraft leaves at any speed: the throttle step calls the check at 10 kt.
    const LatLon o{47.0, 8.0};
    PositionSample up = sample(direct(o, 0, 0.01), 10, 1000, 50);
    up.verticalRate = 500;
    LiveAc heli = aircraft(AcCategory::Rotorcraft, {sample(o, 10, 0), up}, 0);
    heli.takeOffRoll = true;
    lf_taxiThrottle(heli);
    EXPECT_EQ(heli.phase, AcPhase::take_off);
    const auto events = takeEvents();
    EXPECT_EQ(countEvents(events, EVENT_GEAR_SET) + countEvents(events, EVENT_SPOILERS_SET), 0u);
    EXPECT_TRUE(hasEvent(events, "100 223 16383"));
}

// The climb of a Heavy worked out by hand: the nose reaches the take-off pitch
// after the rotation (250 ticks), the climb pitch 400 ticks later; from c = 0
// to c = -300 the altitude gains (99/10 + 100/5 + 100/2 + 1) altStep = 80.9
// altStep; one gear-up; flying only at 800 ft above ground.
TEST_F(Flight, HeavyClimbByHand)
{
    LiveAc ac = cruising(AcCategory::Heavy, 1500, 1500, 0);
    ac.samples[0].airborne = false;
    ac.groundReplySeen = true;
    ac.phase = AcPhase::taxi;
    ac.takeOffRoll = true;
    ac.posBlock.pitch = ac.staticPitch;
    ac.altStep = 1.0;
    ac.heightAboveGround = 0.0;
    lf_startTakeOff(ac);
    ASSERT_EQ(ac.phase, AcPhase::take_off);
    const double start = ac.posBlock.altitude;
    int tick = 0;
    int takeOffPitchAt = -1;
    int climbPitchAt = -1;
    double atC0 = 0.0;
    double atCm300 = 0.0;
    for (; tick < 2000 && ac.phase == AcPhase::take_off; ++tick) {
        lf_climbPhase(ac);
        if (takeOffPitchAt < 0 && ac.posBlock.pitch <= ac.takeOffPitch + 1e-12) takeOffPitchAt = tick + 1;
        if (climbPitchAt < 0 && ac.posBlock.pitch <= ac.climbPitch + 1e-12) climbPitchAt = tick + 1;
        if (ac.countdown == 0) atC0 = ac.posBlock.altitude;
        if (ac.countdown == -300) atCm300 = ac.posBlock.altitude;
        EXPECT_FALSE(ac.groundReplySeen);
        EXPECT_LE(ac.posBlock.pitch, 2.5 * deg);
        ac.heightAboveGround = ac.posBlock.altitude - start;
    }
    EXPECT_NEAR(takeOffPitchAt, 250, 1);
    EXPECT_NEAR(climbPitchAt - takeOffPitchAt, 400, 2);
    EXPECT_NEAR(atCm300 - atC0, 80.9 * ac.altStep, 1e-9);
    EXPECT_EQ(ac.phase, AcPhase::flying);
    EXPECT_GE(ac.heightAboveGround, 800 - 1.0);
    const auto events = takeEvents();
    EXPECT_EQ(countEvents(events, EVENT_GEAR_SET), 1u);
    EXPECT_TRUE(hasEvent(events, "100 220 0"));
}

// The flare by hand on a flat ground (heights every 20 ticks): thresholds at
// cgHeight + 30/20/10/3 ft, 0.1/0.075/0.05/0.025 ft a tick: stages of about
// 100, 133, 140 and 120 ticks, never more than 4 degrees nose up.
TEST_F(Flight, FlareStagesByHand)
{
    const double elevation = 1400.0;
    const LatLon o{47.0, 8.0};
    airports.park = {"LSZH", "ZRH", o.lat, o.lon, elevation};
    LiveAc ac = cruising(AcCategory::Large, -700, -700, elevation + 45.0);
    ac.landing = true;
    ac.cgHeight = 10.0;
    ac.heightAboveGround = 45.0;
    ac.throttleStep = 1;
    ac.altStep = -0.1;
    ac.pitchStep = 0.0;
    std::array<int, 5> stageStart{};
    int tick = 0;
    for (; tick < 1500 && !ac.groundReplySeen; ++tick) {
        const std::uint32_t before = ac.flareStage;
        lf_applyStep(ac);
        if (ac.flareStage != before) stageStart[ac.flareStage] = tick;
        EXPECT_GE(ac.posBlock.pitch, -4.0 * deg - 1e-12);
        if (tick % 20 == 0) {
            ac.heightAboveGround = ac.posBlock.altitude - elevation;
            if (ac.heightAboveGround <= ac.cgHeight) ac.groundReplySeen = true;
        }
    }
    EXPECT_TRUE(fastRangeRequest);
    EXPECT_NEAR(stageStart[2] - stageStart[1], 100, 20);
    EXPECT_NEAR(stageStart[3] - stageStart[2], 133, 20);
    EXPECT_NEAR(stageStart[4] - stageStart[3], 140, 20);
    EXPECT_NEAR(tick - stageStart[4], 120, 20);
    EXPECT_GE(ac.posBlock.altitude, elevation + ac.cgHeight - 0.5);
    EXPECT_TRUE(hasEvent(takeEvents(), "100 223 0"));
}

// A touch-and-go: full power, spoilers retracted (not extended), flaps 1.
TEST_F(Flight, TouchAndGoRetractsTheSpoilers)
{
    LiveAc ac = cruising(AcCategory::Large, 1500, 1500, 1500);
    ac.rollingOut = true;
    ac.landing = true;
    ac.takeOffRoll = true;
    ac.throttleStep = 1;
    lf_startTakeOff(ac);
    const auto events = takeEvents();
    EXPECT_TRUE(hasEvent(events, "100 219 0"));
    EXPECT_FALSE(hasEvent(events, "100 219 16383"));
    EXPECT_TRUE(hasEvent(events, "100 223 16383"));
    EXPECT_FALSE(ac.rollingOut);
    EXPECT_FALSE(ac.landing);
}

// A Rotorcraft never gets gear or spoiler events, whatever it flies.
TEST_F(Flight, RotorcraftNeverGetsGearOrSpoilers)
{
    LiveAc ac = cruising(AcCategory::Rotorcraft, -700, -700, 1500);
    ac.samples[1].airborne = false;
    lf_flightStep(ac);
    ac = cruising(AcCategory::Rotorcraft, 0, 0, 12000);
    lf_flightStep(ac);
    ac.rollingOut = true;
    lf_startTakeOff(ac);
    for (int i = 0; i < 400; ++i) lf_climbPhase(ac);
    lf_startTakeOffRoll(ac);
    ac.rollingOut = true;
    ac.touchdownHeading = 1.0;
    lf_rollOut(ac);
    const auto events = takeEvents();
    EXPECT_EQ(countEvents(events, EVENT_GEAR_SET), 0u);
    EXPECT_EQ(countEvents(events, EVENT_SPOILERS_SET), 0u);
    EXPECT_FALSE(events.empty());
}

}  // namespace
