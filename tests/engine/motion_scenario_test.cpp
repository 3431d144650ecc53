// Whole manoeuvres on the engine's own tick (replies, update pass, hand-over)
// over a flat ground, with invariants checked on every tick: a landing down to
// the stop after the taxi-in, a departure from the stand to the climb, legs
// across the antimeridian.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

#include "core/options.h"
#include "engine/adding_stack.h"
#include "engine/motion.h"
#include "engine/stand.h"
#include "support/engine_harness.h"
#include "support/motion_streams.h"
#include "motion_scenes.h"

using namespace motiontest;


namespace {

constexpr double deg = geo::degToRad;
constexpr double metre = 1.0 / 1852.0;
constexpr std::uint32_t objectId = 100;

struct Observed {
    std::vector<AcPhase> phases;        // each new phase once, in order
    std::vector<std::uint32_t> flares;  // each new flare stage
    std::vector<QueuedEvent> events;
    bool rolledOut = false;
    int ticks = 0;
};

class Scenario {
public:
    explicit Scenario(double elevation, ParkAirportInfo park = {})
        : harness_(options(park)), ground_{elevation, std::nullopt}
    {
        harness_.onTick = [this](const TickTrace& t) { onTick(t); };
    }

    static ScenarioOptions options(ParkAirportInfo park)
    {
        ScenarioOptions o;
        o.park = std::move(park);
        o.openLog = true;
        return o;
    }

    LiveAc& add(LiveAc ac)
    {
        liveAircraft.push_back(std::move(ac));
        return liveAircraft.back();
    }

    LiveAc* find()
    {
        for (LiveAc& a : liveAircraft) {
            if (a.objectId == objectId) return &a;
        }
        return nullptr;
    }

    // Runs until the predicate holds or the tick limit passes; invariants every tick.
    template <class Pred>
    bool runUntil(int limit, Pred done)
    {
        for (int i = 0; i < limit; ++i) {
            harness_.tick();
            LiveAc* ac = find();
            if (ac == nullptr || ac->simState != SimState::active) return false;
            if (done(*ac)) return true;
        }
        return false;
    }

    Observed seen;
    EngineHarness harness_;
    FlatGround ground_;

private:
    void onTick(const TickTrace& t)
    {
        ++seen.ticks;
        for (const QueuedEvent& e : t.events) seen.events.push_back(e);
        LiveAc* ac = find();
        if (ac != nullptr && ac->simState == SimState::active) check(*ac, t);
        ground_.answer(t.tick);
    }

    void check(const LiveAc& ac, const TickTrace& t)
    {
        const AcPositionBlock& b = ac.posBlock;
        if (seen.phases.empty() || seen.phases.back() != ac.phase) seen.phases.push_back(ac.phase);
        if (ac.flareStage != 0 && (seen.flares.empty() || seen.flares.back() != ac.flareStage)) {
            seen.flares.push_back(ac.flareStage);
        }
        seen.rolledOut = seen.rolledOut || ac.rollingOut;
        for (double v : {b.latitude, b.longitude, b.pitch, b.bank, b.heading, b.altitude, b.verticalSpeed,
                         b.trueAirspeed}) {
            ASSERT_TRUE(std::isfinite(v)) << t.tick;
        }
        ASSERT_GE(b.heading, 0.0) << t.tick;
        ASSERT_LT(b.heading, 2 * std::numbers::pi) << t.tick;
        ASSERT_LE(std::abs(b.latitude), 90.0) << t.tick;
        ASSERT_GE(b.longitude, -180.0) << t.tick;
        ASSERT_LT(b.longitude, 180.0) << t.tick;
        // Kept first: a failed assertion returns from here.
        const LatLon before = previous_;
        const double headingBefore = previousHeading_;
        const bool compare = havePrevious_;
        previous_ = {b.latitude, b.longitude};
        previousHeading_ = b.heading;
        havePrevious_ = true;
        if (compare) {
            double fastest = 0.0;
            for (const PositionSample& s : ac.samples) fastest = std::max(fastest, s.groundSpeed);
            fastest = std::max({fastest, previousFastest_, std::abs(ac.signedSpeed)});
            const double moved = distanceNm(before, {b.latitude, b.longitude});
            ASSERT_LE(moved, 2.0 * fastest / 360000.0 + 1e-7) << t.tick << " " << acPhaseText(ac.phase);
            previousFastest_ = fastest;
            const bool groundPhase = ac.phase == AcPhase::pushing_back || ac.phase == AcPhase::pushed_back ||
                                     ac.phase == AcPhase::taxi || ac.phase == AcPhase::parking ||
                                     ac.phase == AcPhase::parked;
            if (ac.groundReplySeen && groundPhase) {
                // Steering on the ground: at most one turn step a tick (the category's
                // ground turn step at least), never past the target.
                const double turned = std::abs(geo::foldPi(b.heading - headingBefore));
                ASSERT_LE(turned, std::max(ac.turnStep, ac.groundTurnStep) + 1e-12) << t.tick;
                if (!ac.curve.active() && ac.turning) {
                    const double before = std::abs(geo::foldPi(ac.targetBearing - headingBefore));
                    const double after = std::abs(geo::foldPi(ac.targetBearing - b.heading));
                    ASSERT_LE(after, before + 1e-12) << t.tick;
                }
            }
        }
        if (ac.groundReplySeen || ac.flareStage > 0) {
            ASSERT_GE(b.altitude, ground_.elevationFt - 1e-6) << t.tick;
        }
        if (ac.flareStage > 0) {
            ASSERT_GE(b.pitch, -4.0 * deg - 1e-9) << t.tick;
        }
        if (ac.groundReplySeen && !ac.touchdownPitch && ac.flareStage == 0 && ac.phase != AcPhase::take_off) {
            ASSERT_EQ(b.pitch, ac.staticPitch) << t.tick;  // settled on the ground
            ASSERT_EQ(b.bank, 0.0) << t.tick;
        }
        if (!ac.groundReplySeen && ac.flareStage == 0 && ac.phase == AcPhase::flying) {
            ASSERT_GE(b.pitch, ac.climbPitch * 1.05 - 1e-9) << t.tick;
            ASSERT_LE(b.pitch, 2.5 * deg + 1e-9) << t.tick;
        }
        ASSERT_LE(std::abs(b.bank), flightConstants(ac.category).maxBank + 1e-9) << t.tick;
        if (ac.category == AcCategory::Rotorcraft) {
            for (const QueuedEvent& e : t.events) {
                ASSERT_NE(e.eventId, static_cast<std::uint32_t>(EVENT_GEAR_SET)) << t.tick;
                ASSERT_NE(e.eventId, static_cast<std::uint32_t>(EVENT_SPOILERS_SET)) << t.tick;
            }
        }
    }

    LatLon previous_;
    double previousHeading_ = 0.0;
    double previousFastest_ = 0.0;
    bool havePrevious_ = false;
};

bool sawEvent(const Observed& o, std::uint32_t eventId, std::uint32_t data)
{
    return std::any_of(o.events.begin(), o.events.end(),
                       [&](const QueuedEvent& e) { return e.eventId == eventId && e.data == data; });
}

// A 3-degree approach at 140 kt with samples every 4 s, the landing roll down
// to 20 kt, a right turn off the runway, a taxi at 15 kt and a stop.
std::vector<PositionSample> landingStream(const LatLon& threshold, double elevation, double runwayDeg)
{
    std::vector<PositionSample> out;
    const double step = 140.0 * 4 / 3600;  // nm per sample
    const double glide = std::tan(3 * deg) * geo::feetPerNm;
    std::int32_t due = 0;
    for (double d = 4.0; d > 1e-9; d -= step) {
        PositionSample s = sample(direct(threshold, runwayDeg + 180, d), 140, due, elevation + d * glide);
        s.verticalRate = -140.0 * geo::feetPerNm / 60 * std::tan(3 * deg);
        out.push_back(s);
        due += 400;
    }
    LatLon at = threshold;
    double v = 140;
    while (v > 20) {
        PositionSample s = sample(at, v, due, 0);
        s.altitude = elevation;
        s.airborne = false;
        out.push_back(s);
        const double next = std::max(v - 15, 20.0);
        at = direct(at, runwayDeg, (v + next) / 2 * 4 / 3600);
        v = next;
        due += 400;
    }
    double heading = runwayDeg;
    for (int i = 0; i < 12; ++i) {
        if (i < 3) heading += 30;
        PositionSample s = sample(at, i < 3 ? 12 : 15, due, 0);
        s.altitude = elevation;
        s.airborne = false;
        out.push_back(s);
        at = direct(at, heading, 15.0 * 4 / 3600);
        due += 400;
    }
    for (int i = 0; i < 3; ++i) {
        PositionSample s = sample(at, 0, due, 0);
        s.altitude = elevation;
        s.airborne = false;
        s.stationary = i > 0;
        out.push_back(s);
        due += 400;
    }
    return out;
}

TEST(MotionScenario, ApproachFlareTouchdownRollOutTaxiAndStop)
{
    const LatLon field{47.45, 8.55};
    const double elevation = 1400;
    Scenario sc(elevation, {"LSZH", "ZRH", field.lat, field.lon, elevation});
    sc.harness_.airports.loaded = true;
    auto stream = landingStream(field, elevation, 140);
    LiveAc ac = aircraft(AcCategory::Large, stream, 140, objectId);
    ac.throttleStep = 3;
    ac.flapsIndex = 0;
    ac.heightAboveGround = 2500;
    sc.add(std::move(ac));
    const bool stopped = sc.runUntil(40000, [](const LiveAc& a) {
        return a.lastStandSearchPosition.lat != 0.0 || (a.phase == AcPhase::taxi && a.samples.size() == 1 && a.holding);
    });
    ASSERT_TRUE(stopped) << "phases " << sc.seen.phases.size() << " ticks " << sc.seen.ticks;
    const LiveAc& a = *sc.find();
    EXPECT_EQ(sc.seen.flares, (std::vector<std::uint32_t>{1, 2, 3, 4}));
    EXPECT_TRUE(sc.seen.rolledOut);
    EXPECT_EQ(sc.seen.phases.front(), AcPhase::flying);
    EXPECT_NE(std::find(sc.seen.phases.begin(), sc.seen.phases.end(), AcPhase::taxi), sc.seen.phases.end());
    EXPECT_TRUE(sawEvent(sc.seen, EVENT_GEAR_SET, 1));
    EXPECT_TRUE(sawEvent(sc.seen, EVENT_SPOILERS_SET, 16383));  // the touchdown
    EXPECT_TRUE(sawEvent(sc.seen, EVENT_SPOILERS_SET, 0));      // the roll-out at 90 kt
    EXPECT_TRUE(sawEvent(sc.seen, EVENT_TAXI_LIGHTS, 1));       // turned off the runway
    EXPECT_GE(sc.harness_.api().calls.count(vr::format("set 401 {} 24", objectId)), 2u);
    EXPECT_FALSE(a.rollingOut);
    EXPECT_NEAR(a.posBlock.altitude, elevation + a.cgHeight, 1e-6);
    EXPECT_LT(distanceNm(at(a), {stream.back().latitude, stream.back().longitude}), 40 * metre);
}

// Parked at a stand, the samples start to move away behind it: push-back with
// a turn, the wait, taxi, take-off roll, lift-off, climb, flying.
TEST(MotionScenario, PushBackTaxiTakeOffClimb)
{
    const LatLon standAt{52.30, 4.76};
    const double elevation = -11;
    Scenario sc(elevation, {"EHAM", "AMS", standAt.lat, standAt.lon, elevation});
    Stand s;
    s.sid = 11;
    s.name = "D7";
    s.latitude = standAt.lat;
    s.longitude = standAt.lon;
    s.heading = 0.0;
    s.radius = 30 * metre;
    replaceStands({s});
    PositionSample parked = sample(standAt, 0, 0, 0);
    parked.altitude = elevation;
    parked.airborne = false;
    parked.stationary = true;
    LiveAc ac = aircraft(AcCategory::Large, {parked}, 0, objectId);
    ac.phase = AcPhase::parked;
    ac.prevPhase = AcPhase::parking;
    ac.standId = 11;
    ac.position = standAt;
    ac.heading = 0.0;
    ac.posBlock.altitude = elevation + ac.cgHeight;
    ac.departurePending = true;
    // The first moving sample, 300 m to the south-east behind the stand.
    PositionSample first = sample(direct(standAt, 150, 300 * metre), 8, 600, 0);
    first.altitude = elevation;
    first.airborne = false;
    first.track = 150;
    ac.samples.push_back(first);
    sc.add(std::move(ac));
    sc.harness_.tick(1);
    ASSERT_TRUE(sc.runUntil(200, [](const LiveAc& a) { return a.phase == AcPhase::pushing_back; }));
    // The turn choice comes with the next sample; then the push-back ends and the aircraft waits.
    {
        LiveAc& a = *sc.find();
        PositionSample next = sample(direct(standAt, 160, 400 * metre), 10, 5000, 0);
        next.track = 160;
        next.altitude = elevation;
        decodeExisting(a, next);
        EXPECT_TRUE(a.pushBackTurnKnown);
    }
    ASSERT_TRUE(sc.runUntil(20000, [](const LiveAc& a) { return a.phase == AcPhase::pushed_back; }));
    const double afterPush = sc.find()->posBlock.heading / deg;
    // Taxi to the runway and the take-off roll.
    std::int32_t due = tickCounter.load() + 300;
    LatLon at = direct(standAt, 180, 150 * metre);
    for (int i = 0; i < 8; ++i) {
        PositionSample t = sample(at, 15, due, 0);
        t.altitude = elevation;
        decodeExisting(*sc.find(), t);
        at = direct(at, 180, 15.0 * 4 / 3600);
        due += 400;
    }
    double v = 30;
    for (int i = 0; i < 12; ++i) {
        const bool up = v >= 150;
        PositionSample t = sample(at, v, due, up ? 50.0 * (v - 140) : 0);
        t.altitude = up ? elevation + 50.0 * (v - 140) : elevation;
        t.airborne = up;
        t.verticalRate = up ? 1500 : 0;
        decodeExisting(*sc.find(), t);
        at = direct(at, 180, (v + 15) * 4 / 3600);
        v += 15;
        due += 400;
    }
    for (int i = 0; i < 20; ++i) {
        PositionSample t = sample(at, 180, due, elevation + 500 + 100.0 * i);
        t.verticalRate = 1500;
        decodeExisting(*sc.find(), t);
        at = direct(at, 180, 180.0 * 4 / 3600);
        due += 400;
    }
    ASSERT_TRUE(sc.runUntil(30000, [](const LiveAc& a) { return a.phase == AcPhase::take_off; }));
    EXPECT_TRUE(sc.find()->takeOffRoll || sc.find()->phase == AcPhase::take_off);
    ASSERT_TRUE(sc.runUntil(10000, [](const LiveAc& a) { return a.phase == AcPhase::flying; }));
    // The push-back starts in the first tick (the stand's sample falls due at once).
    const std::vector<AcPhase> order{AcPhase::pushing_back, AcPhase::pushed_back, AcPhase::taxi,
                                     AcPhase::take_off, AcPhase::flying};
    std::vector<AcPhase> phases = sc.seen.phases;
    phases.erase(std::unique(phases.begin(), phases.end()), phases.end());
    EXPECT_EQ(phases, order);
    EXPECT_GE(sc.find()->heightAboveGround, 800.0 - 1.0);
    EXPECT_TRUE(sawEvent(sc.seen, EVENT_ENGINE_AUTO_START, 0));
    EXPECT_TRUE(sawEvent(sc.seen, EVENT_GEAR_SET, 0));
    // The tail swung: the nose turned about a quarter turn from the stand heading.
    EXPECT_GT(std::abs(geo::foldPi(afterPush * deg)), 45 * deg);
}

// A leg across the antimeridian aloft and on the ground goes the short way.
TEST(MotionScenario, AntimeridianLegs)
{
    for (const bool aloft : {true, false}) {
        SCOPED_TRACE(aloft);
        Scenario sc(0.0);
        const LatLon from{-16.0, aloft ? 179.9 : 179.9995};
        const double v = aloft ? 300.0 : 12.0;
        const double nm = aloft ? 10.0 : 0.05;
        const LatLon to = direct(from, 90, nm);
        const std::int32_t ticks = static_cast<std::int32_t>(std::lround(nm * 360000 / v));
        PositionSample s0 = sample(from, v, 0, aloft ? 9000 : 0);
        PositionSample s1 = sample(to, v, ticks, aloft ? 9000 : 0);
        sc.add(aircraft(AcCategory::Large, {s0, s1}, 90, objectId));
        // On the ground it rolls off from a standstill and stops at the last sample: a little later.
        sc.harness_.tick(aloft ? ticks : ticks + 1000);
        const LiveAc* a = sc.find();
        ASSERT_NE(a, nullptr);
        EXPECT_LT(distanceNm(at(*a), to), aloft ? 1e-6 : 0.5 / 1852);
        EXPECT_LT(a->posBlock.longitude, -179.0);
    }
}

// A Rotorcraft lifts off at 10 kt from its pad and climbs away; it never gets gear or spoilers.
TEST(MotionScenario, RotorcraftLeavesAtTenKnots)
{
    const LatLon pad{51.5, -0.1};
    const double elevation = 50;
    Scenario sc(elevation, {"EGLW", "", pad.lat, pad.lon, elevation});
    PositionSample standing = sample(pad, 0, 0, 0);
    standing.altitude = elevation;
    LiveAc heli = aircraft(AcCategory::Rotorcraft, {standing}, 0, objectId);
    heli.posBlock.altitude = elevation + heli.cgHeight;
    sc.add(std::move(heli));
    std::int32_t due = 200;
    LatLon at = pad;
    for (int i = 0; i < 25; ++i) {
        at = direct(at, 0, 10.0 * 4 / 3600);
        PositionSample up = sample(at, 10, due, elevation + 30.0 + 35.0 * i);
        up.verticalRate = 500;
        decodeExisting(*sc.find(), up);
        due += 400;
    }
    EXPECT_TRUE(sc.find()->takeOffRoll);
    ASSERT_TRUE(sc.runUntil(12000, [](const LiveAc& a) { return a.phase == AcPhase::flying; }));
    EXPECT_NE(std::find(sc.seen.phases.begin(), sc.seen.phases.end(), AcPhase::take_off), sc.seen.phases.end());
    EXPECT_TRUE(sawEvent(sc.seen, EVENT_THROTTLE_SET, 16383));
    EXPECT_FALSE(std::any_of(sc.seen.events.begin(), sc.seen.events.end(), [](const QueuedEvent& e) {
        return e.eventId == EVENT_GEAR_SET || e.eventId == EVENT_SPOILERS_SET;
    }));
}

// A touch-and-go: after the touchdown the samples climb again; the aircraft
// rolls, lifts off with its spoilers in and climbs away.
TEST(MotionScenario, TouchAndGo)
{
    const LatLon field{47.45, 8.55};
    const double elevation = 1400;
    Scenario sc(elevation, {"LSZH", "ZRH", field.lat, field.lon, elevation});
    auto stream = landingStream(field, elevation, 140);
    // Keep the approach and the first two samples of the roll.
    const auto firstGround = std::find_if(stream.begin(), stream.end(), [](const PositionSample& p) { return !p.airborne; });
    stream.erase(firstGround + 2, stream.end());
    LiveAc ac = aircraft(AcCategory::Large, stream, 140, objectId);
    ac.throttleStep = 3;
    ac.heightAboveGround = 2500;
    sc.add(std::move(ac));
    ASSERT_TRUE(sc.runUntil(20000, [](const LiveAc& a) { return a.rollingOut; }));
    // The feed climbs away along the runway.
    LatLon at{stream.back().latitude, stream.back().longitude};
    std::int32_t due = stream.back().dueTick + 400;
    for (int i = 0; i < 30; ++i) {
        at = direct(at, 140, 140.0 * 4 / 3600);
        PositionSample up = sample(at, 140, due, elevation + 60.0 * (i + 1));
        up.verticalRate = 900;
        decodeExisting(*sc.find(), up);
        due += 400;
    }
    EXPECT_TRUE(sc.find()->takeOffRoll);
    ASSERT_TRUE(sc.runUntil(20000, [](const LiveAc& a) { return a.phase == AcPhase::flying && !a.groundReplySeen; }));
    EXPECT_NE(std::find(sc.seen.phases.begin(), sc.seen.phases.end(), AcPhase::take_off), sc.seen.phases.end());
    // Spoilers out at the touchdown, in again for the climb: the last spoiler event retracts them.
    std::vector<std::uint32_t> spoilers;
    for (const QueuedEvent& e : sc.seen.events) {
        if (e.eventId == EVENT_SPOILERS_SET) spoilers.push_back(e.data);
    }
    ASSERT_FALSE(spoilers.empty());
    EXPECT_EQ(spoilers.front(), 16383u);
    EXPECT_EQ(spoilers.back(), 0u);
    EXPECT_GT(sc.find()->posBlock.altitude, elevation + 800);
}

// The scenes of vrmt-motiontrace fly as they should.
TEST(MotionTraceScenes, LandingPushBackAndAntimeridian)
{
    std::set<AcPhase> phases;
    std::uint32_t flare = 0;
    double lastAltitude = 0.0;
    double userLowest = 1e9;  // the user aircraft, put aloft by the scene, stays there
    ASSERT_TRUE(runMotionScene("landing", 25000, [&](std::int32_t, const LiveAc& ac) {
        phases.insert(ac.phase);
        flare = std::max(flare, ac.flareStage);
        lastAltitude = ac.posBlock.altitude;
        userLowest = std::min(userLowest, engineUserAcState.altAboveGround);
    }));
    EXPECT_EQ(userLowest, 30000.0);
    EXPECT_EQ(flare, 4u);
    EXPECT_TRUE(phases.count(AcPhase::taxi));
    EXPECT_NEAR(lastAltitude, -11.0 + 9.0, 1e-6);  // the field elevation plus the reference height

    double turned = 0.0;
    phases.clear();
    ASSERT_TRUE(runMotionScene("pushback", 6000, [&](std::int32_t, const LiveAc& ac) {
        phases.insert(ac.phase);
        if (ac.phase == AcPhase::pushing_back) turned = std::max(turned, ac.posBlock.heading / deg);
    }));
    EXPECT_TRUE(phases.count(AcPhase::pushing_back));
    // The tail swung a quarter turn, the nose clockwise (the nose follows the way
    // rolled, so it ends a few degrees short of the curve's own end direction).
    EXPECT_NEAR(turned, 90.0, 8.0);

    double west = 0.0;
    ASSERT_TRUE(runMotionScene("antimeridian", 9000, [&](std::int32_t, const LiveAc& ac) {
        west = ac.posBlock.longitude;
    }));
    EXPECT_LT(west, -179.0);
    EXPECT_FALSE(runMotionScene("nowhere", 10, [](std::int32_t, const LiveAc&) {}));
}

}  // namespace
