// Ground movement: the turn-ahead choices, the push-back and pull-out geometry
// against GeographicLib, the drive into a stand and the arrival, the roll-out
// events, the statics that make way.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "core/options.h"
#include "core/livery_services_fake.h"
#include "core/run_state.h"
#include "core/time.h"
#include "engine/ac_records.h"
#include "engine/live_parking.h"
#include "engine/motion.h"
#include "engine/stand.h"
#include "engine/timed_queues.h"
#include "simlink/sim_client.h"
#include "support/motion_fixture.h"
#include "support/motion_streams.h"

using namespace motiontest;

namespace {

constexpr double deg = geo::degToRad;
constexpr double metre = 1.0 / 1852.0;

class Ground : public MotionTest {
protected:
    Stand stand(std::uint32_t sid, const LatLon& at, double headingDeg, double radiusNm)
    {
        Stand s;
        s.sid = sid;
        s.name = "G" + std::to_string(sid);
        s.latitude = at.lat;
        s.longitude = at.lon;
        s.heading = headingDeg * deg;
        s.radius = radiusNm;
        return s;
    }
    // The stand with its taken-for-arrival mark held by another arrival driving in.
    Stand takenByAnotherArrival(Stand s)
    {
        LiveAc holder;
        holder.aircraftId = 0x480100;
        holder.standId = s.sid;
        holder.simState = SimState::active;
        holder.phase = AcPhase::parking;
        liveAircraft.push_back(holder);
        takeStandForArrival(s, holder.aircraftId);
        return s;
    }
    // A parked aircraft at a stand whose samples begin to move towards `to`.
    LiveAc parkedAt(const Stand& s, const LatLon& to)
    {
        const LatLon here{s.latitude, s.longitude};
        PositionSample standing = sample(here, 0, 0);
        LiveAc ac = aircraft(AcCategory::Large, {standing, sample(to, 10, 3000)}, s.heading / deg);
        ac.phase = AcPhase::parked;
        ac.prevPhase = AcPhase::parking;
        ac.standId = s.sid;
        ac.position = here;
        ac.heading = s.heading;
        ac.departurePending = true;
        ac.halfWingspan = 0.01;
        return ac;
    }
};

// At each due sample the turn ahead chooses: split on a speed jump (straight),
// a mid sample (a sharp turn after a long slow leg), a curve, or nothing.
TEST_F(Ground, TurnAheadTable)
{
    struct Row {
        const char* name;
        double turnDeg;     // s1 -> s2 against the heading
        double leg0Metres;  // s0 -> s1
        double gs0, gs1;
        std::int32_t due1;
        std::size_t expectedSize;  // the queue after the ground step
        bool curve;
    };
    const Row rows[] = {
        {"2 degrees, even speed: nothing", 2, 200, 10, 10, 1500, 3, false},
        {"2 degrees, speed jump over 100 m: mid sample", 2, 200, 10, 20, 1500, 4, false},
        {"30 degrees: a curve", 30, 200, 10, 10, 1500, 2, true},
        {"60 degrees, long slow leg: mid sample", 60, 200, 10, 10, 1500, 4, false},
        {"60 degrees, short leg: a curve", 60, 40, 10, 10, 1500, 2, true},
        {"60 degrees, soon due: a curve", 60, 200, 10, 10, 500, 2, true},
        {"100 degrees: a curve", 100, 40, 10, 10, 1500, 2, true},
        {"170 degrees: no curve", 170, 40, 10, 10, 1500, 3, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        const LatLon o{47.0, 8.0};
        const LatLon s1 = direct(o, 0, r.leg0Metres * metre);
        const LatLon s2 = direct(s1, r.turnDeg, 60 * metre);
        LiveAc ac = aircraft(AcCategory::Large,
                             {sample(o, r.gs0, 0), sample(s1, r.gs1, r.due1), sample(s2, 10, r.due1 + 1000)}, 0);
        nextPosGround(ac);
        EXPECT_EQ(ac.samples.size(), r.expectedSize);
        EXPECT_EQ(ac.curve.active(), r.curve);
        if (r.curve) {
            EXPECT_NEAR(ac.curveAngle, r.turnDeg, 1e-6);
            EXPECT_FALSE(ac.turning);
        }
    }
}

// Push-back: A lies 2.5 stand radii behind the stand, B and C half a span to
// either side of A; the turn choice picks B (nose clockwise) or C, none goes
// straight back to A.
TEST_F(Ground, PushBackGeometry)
{
    struct Row {
        const char* name;
        bool known, right;
        double radiusNm;
    };
    const Row rows[] = {
        {"no turn chosen: straight to A", false, false, 30 * metre},
        {"turn right: B", true, true, 30 * metre},
        {"turn left: C", true, false, 30 * metre},
        {"stand without radius: the aircraft's size", false, false, 0.0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        tickCounter.store(0);
        const LatLon here{52.3, 4.76};
        replaceStands({stand(7, here, 120.0, r.radiusNm)});
        LiveAc ac = parkedAt(stands[0], direct(here, 300, 0.3));
        nextPosGround(ac);
        ASSERT_EQ(ac.phase, AcPhase::pushing_back);
        ASSERT_EQ(ac.samples.size(), 4u);
        const double radius = std::max(r.radiusNm, ac.halfWingspan);
        const LatLon a = direct(here, 300.0, 2.5 * radius);
        EXPECT_NEAR(inverse(a, {ac.samples[2].latitude, ac.samples[2].longitude}).nm, 0.0, 1e-9);
        const LatLon mid{ac.samples[1].latitude, ac.samples[1].longitude};
        EXPECT_NEAR(inverse(here, mid).nm, 1.25 * radius, 1e-6);
        const LatLon b = direct(a, 30.0, ac.halfWingspan);
        const LatLon c = direct(a, 210.0, ac.halfWingspan);
        ASSERT_TRUE(ac.pushBackAltEnd);
        EXPECT_NEAR(inverse(b, {ac.pushBackAltEnd->latitude, ac.pushBackAltEnd->longitude}).nm, 0.0, 1e-9);
        EXPECT_NEAR(inverse(c, {ac.samples[3].latitude, ac.samples[3].longitude}).nm, 0.0, 1e-9);
        EXPECT_EQ(ac.signedSpeed, 0.0);

        // The middle point falls due: the turn is chosen.
        ac.pushBackTurnKnown = r.known;
        ac.pushBackTurnRight = r.right;
        ac.samples.pop_front();
        tickCounter.store(ac.samples.front().dueTick);
        lf_nextPos(ac);
        if (!r.known) {
            EXPECT_FALSE(ac.curve.active());
            ASSERT_EQ(ac.samples.size(), 1u);
            EXPECT_NEAR(inverse(a, {ac.samples[0].latitude, ac.samples[0].longitude}).nm, 0.0, 1e-9);
        } else {
            EXPECT_TRUE(ac.curve.active());
            ASSERT_EQ(ac.samples.size(), 1u);
            const LatLon end = r.right ? b : c;
            EXPECT_NEAR(inverse(end, {ac.samples[0].latitude, ac.samples[0].longitude}).nm, 0.0, 1e-9);
            // The tail swing ends with the end sample's due tick.
            EXPECT_NEAR(ac.curveTStep * (ac.samples[0].dueTick - tickCounter.load()), 1.0, 1e-9);
        }
        EXPECT_LT(ac.signedSpeed, 0.0);
    }
}

// Seen from the stand, a departure at 89 degrees off the stand heading pulls
// out forwards; at 90 it pushes back.
TEST_F(Ground, PullOutOrPushBackByBearing)
{
    for (const auto& [bearingOff, pushBack] : {std::pair{89.0, false}, std::pair{90.0, true}, std::pair{-89.0, false},
                                               std::pair{179.0, true}, std::pair{0.0, false}}) {
        SCOPED_TRACE(bearingOff);
        const LatLon here{-33.9, 151.17};
        replaceStands({stand(3, here, 200.0, 25 * metre)});
        LiveAc ac = parkedAt(stands[0], direct(here, 200.0 + bearingOff, 0.5));
        nextPosGround(ac);
        EXPECT_EQ(ac.phase, pushBack ? AcPhase::pushing_back : AcPhase::taxi);
        // A push-back keeps the departure pending until it ends.
        EXPECT_EQ(ac.departurePending, pushBack);
        if (!pushBack) {
            ASSERT_EQ(ac.samples.size(), 2u);
            const LatLon p = direct(here, 200.0, 2 * ac.halfWingspan);
            EXPECT_NEAR(inverse(p, {ac.samples[1].latitude, ac.samples[1].longitude}).nm, 0.0, 1e-9);
            EXPECT_EQ(ac.samples[1].dueTick, std::lround(2 * ac.halfWingspan / 4.0 * 360000));
        }
    }
}

TEST_F(Ground, DriveIntoStandTakesAtLeastOneHundredTicks)
{
    struct Row {
        double metres;
        std::int32_t ticks;
    };
    for (const Row r : {Row{10.0, 100}, Row{0.0, 100}, Row{50.0, 2430}}) {
        SCOPED_TRACE(r.metres);
        const LatLon o{47.0, 8.0};
        LiveAc ac = aircraft(AcCategory::Large, {sample(o, 5, 0)}, 90);
        const LatLon target = direct(o, 90, r.metres * metre);
        drive2Stand(ac, {target.lat, target.lon, 90 * deg});
        ASSERT_EQ(ac.samples.size(), 3u);
        EXPECT_EQ(ac.samples[1].dueTick, std::max(r.ticks, static_cast<std::int32_t>(std::lround(
                                                                 inverse(o, target).nm * 360000 / 4.0))));
        EXPECT_EQ(ac.samples[1].stationary, r.metres == 0.0);
        EXPECT_EQ(ac.samples[2].dueTick, ac.samples[1].dueTick + 50);
        EXPECT_TRUE(ac.samples[2].stationary);
        EXPECT_EQ(ac.samples[2].groundSpeed, 0.0);
        EXPECT_NEAR(ac.targetBearing, 90 * deg, 1e-12);
    }
    LiveAc empty = aircraft(AcCategory::Large, {sample({47, 8}, 5, 0)}, 90);
    empty.samples.clear();
    drive2Stand(empty, {47, 8, 0});
    EXPECT_TRUE(empty.samples.empty());
}

// At the end of the drive: 2 m from the stand parks, 2.1 m drives on; a stand
// taken by another arrival sends the aircraft away and keeps the mark.
TEST_F(Ground, ArrivalAtTheStand)
{
    struct Row {
        const char* name;
        double offMetres;
        bool taken;
        AcPhase phase;
        bool removed;
    };
    const Row rows[] = {
        {"2 m off: parked", 2.0, false, AcPhase::parked, false},
        {"2.1 m off: drives on", 2.1, false, AcPhase::taxi, false},
        {"taken for an arrival: goes", 0.0, true, AcPhase::parking, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        airports.calls.clear();
        const LatLon here{47.0, 8.0};
        Stand s = stand(4, here, 0.0, 20 * metre);
        if (r.taken) s = takenByAnotherArrival(s);
        replaceStands({s});
        const LatLon at = direct(here, 45, r.offMetres * metre - 1e-12);
        LiveAc ac = aircraft(AcCategory::Large, {sample(at, 0, 0)}, 0);
        ac.phase = AcPhase::parking;
        ac.standId = 4;
        ac.position = here;
        currentSlotAndWeekday.store(packSlotAndWeekday(20, 3));
        lf_arriveAtStand(ac);
        EXPECT_EQ(ac.phase, r.phase);
        EXPECT_EQ(ac.simState == SimState::removingfromsim, r.removed);
        if (r.taken) {
            EXPECT_TRUE(stands[0].occupied);
            EXPECT_EQ(ac.standId, 0u);
        }
        if (r.phase == AcPhase::parked) {
            EXPECT_EQ(ac.birthSlot, 20u);
            EXPECT_EQ(ac.birthDay, 3u);
            EXPECT_TRUE(ac.samples.front().stationary);
            EXPECT_EQ(airports.calls.count("addStandOption 4 TST123 false"), 1u);
        }
    }
}

// The roll-out: above 90 kt only steering; at 90 kt spoilers and engine levers
// to 0 and flaps 1; after a 15 degree turn off the runway heading the taxi
// lights. Light aircraft get no engine-lever write, Rotorcraft no spoilers.
TEST_F(Ground, RollOutEvents)
{
    struct Row {
        const char* name;
        AcCategory category;
        double groundSpeed;
        double turnedDeg;
        bool spoilers, levers, taxiLights;
    };
    const Row rows[] = {
        {"120 kt: nothing", AcCategory::Large, 120, 0, false, false, false},
        {"90 kt: spoilers and levers", AcCategory::Large, 90, 0, true, true, false},
        {"90 kt, Light: no levers", AcCategory::Light, 90, 0, true, false, false},
        {"90 kt, Rotorcraft: no spoilers", AcCategory::Rotorcraft, 90, 0, false, true, false},
        {"turned off 15 degrees", AcCategory::Heavy, 40, 15.001, true, true, true},
        {"turned 14.9 degrees", AcCategory::Heavy, 100, 14.9, false, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        (void)takeEvents();
        sim.calls.clear();
        LiveAc ac = aircraft(r.category, {sample({47, 8}, r.groundSpeed, 0), sample({47.01, 8}, r.groundSpeed, 500)},
                             r.turnedDeg);
        ac.rollingOut = true;
        ac.touchdownHeading = 0.0;
        lf_rollOut(ac);
        const auto events = takeEvents();
        const auto has = [&](const std::string& e) { return std::find(events.begin(), events.end(), e) != events.end(); };
        EXPECT_EQ(has("100 219 0"), r.spoilers);
        EXPECT_EQ(sim.calls.count("set 401 100 24"), r.levers ? 1u : 0u);
        EXPECT_EQ(has("100 209 1"), r.taxiLights);
        EXPECT_EQ(ac.rollingOut, !r.taxiLights);
    }
}

// A taxiing aircraft that stops at its last sample goes to park: 30 m short at
// 4 kt it starts, at 6 kt it does not; only while stands are loaded.
TEST_F(Ground, AutoParkingNearTheLastSample)
{
    struct Row {
        const char* name;
        double speed;
        bool loaded;
        bool parks;
    };
    const Row rows[] = {{"4 kt", 4, true, true}, {"6 kt", 6, true, false}, {"no stands", 4, false, false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        airports.loaded = r.loaded;
        const LatLon o{47.0, 8.0};
        PositionSample last = sample(direct(o, 0, 30 * metre), 0, 3000);
        last.stationary = true;
        LiveAc ac = aircraft(AcCategory::Large, {sample(o, r.speed, 0), sample(direct(o, 0, 20 * metre), r.speed, 1000), last},
                             0);
        ac.prevPhase = AcPhase::flying;
        nextPosGround(ac);
        // A stand search remembers the newest sample's position.
        EXPECT_EQ(ac.lastStandSearchPosition.lat == last.latitude, r.parks);
    }
}

// The statics on a chosen stand make way: a queued creation is withdrawn, a
// sent one is removed once created, an active one is removed; a static on an
// excluded neighbour 60 m away goes only when the two spans reach it.
TEST_F(Ground, StaticsMakeWay)
{
    LiveryServicesFake liveries;
    liveries.halfSpans = {{"B738", 0.01}, {"A320", 0.01}, {"B744", 0.02}};
    const LatLon here{47.0, 8.0};
    Stand chosen = stand(1, here, 0, 30 * metre);
    chosen.conflictingStands = {2};
    const LatLon near = direct(here, 90, 60 * metre);
    replaceStands({chosen, stand(2, near, 0, 30 * metre)});

    struct Row {
        const char* name;
        SimState state;
        bool queued;
        std::uint32_t standId;
        std::string type;
        bool removing, erased, removeAfterCreate;
    };
    const Row rows[] = {
        {"queued creation withdrawn", SimState::adding2sim, true, 1, "A320", false, true, false},
        {"creation already sent", SimState::adding2sim, false, 1, "A320", false, false, true},
        {"active on the stand", SimState::active, false, 1, "A320", true, false, false},
        {"neighbour, spans 0.02 nm: stays", SimState::active, false, 2, "A320", false, false, false},
        {"neighbour, spans 0.03 nm: goes", SimState::active, false, 2, "B744", true, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        staticAircraft.clear();
        staticCreationQueue.clear();
        SimAc st;
        st.callsign = "STAT1*";
        st.type = r.type;
        st.aircraftId = 17;
        st.objectId = r.state == SimState::active ? 500 : 0;
        st.simState = r.state;
        st.standId = r.standId;
        st.position = r.standId == 1 ? here : near;
        staticAircraft.push_back(st);
        if (r.queued) {
            AcCreation c;
            c.callsign = st.callsign;
            c.aircraftId = 17;
            staticCreationQueue.push_back(c);
        }
        LiveAc ac = aircraft(AcCategory::Large, {sample(here, 5, 0)}, 0);
        lf_makeWay(ac, stands[0]);
        if (r.erased) {
            EXPECT_TRUE(staticAircraft.empty());
            EXPECT_TRUE(staticCreationQueue.empty());
            continue;
        }
        ASSERT_EQ(staticAircraft.size(), 1u);
        EXPECT_EQ(staticAircraft[0].simState == SimState::removingfromsim, r.removing);
        EXPECT_EQ(staticAircraft[0].removeAfterCreate, r.removeAfterCreate);
    }
}

// The engine values go straight to the object, but not after the simulator
// link failed; a failing write is reported.
TEST_F(Ground, EngineValuesWriteAndItsFailure)
{
    LiveAc ac = aircraft(AcCategory::Large, {sample({47, 8}, 50, 0), sample({47.01, 8}, 40, 500)}, 0);
    setEngineValues(ac, 0.0, 0.0);
    EXPECT_EQ(sim.calls.count("set 401 100 24"), 1u);
    simErrorFlag = true;
    setEngineValues(ac, 0.0, 0.0);
    EXPECT_EQ(sim.calls.count("set 401 100 24"), 1u);
    simErrorFlag = false;
    sim.failNext("set 401 100 24", -1);
    const auto before = logLines().size();
    setEngineValues(ac, 0.0, 0.0);
    EXPECT_TRUE(simErrorFlag.load());
    const auto lines = logLines();
    EXPECT_GT(lines.size(), before);
    EXPECT_NE(lines[before].find("===> SimConnect set engine data fails"), std::string::npos);
    simErrorFlag = false;
}

// An arrival whose stand another aircraft took leaves, asked for once.
TEST_F(Ground, TakenStandRemovesTheArrivalOnce)
{
    const LatLon here{47.0, 8.0};
    Stand s = takenByAnotherArrival(stand(4, here, 0.0, 20 * metre));
    replaceStands({s});
    LiveAc ac = aircraft(AcCategory::Large, {sample(here, 0, 0)}, 0);
    ac.phase = AcPhase::parking;
    ac.standId = 4;
    EXPECT_FALSE(tickOnce(ac));
    EXPECT_EQ(ac.simState, SimState::removingfromsim);
    EXPECT_EQ(std::count(removalDeque.begin(), removalDeque.end(), 100u), 1);
}

}  // namespace
