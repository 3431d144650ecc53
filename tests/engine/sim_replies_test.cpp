// The simulator replies: tying an object to its record, the activation 200
// ticks later with its lights, ground information, the static attitude, blocked
// callsigns, refused creations, removals and flight plans.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>

#include "core/options.h"
#include "core/run_state.h"
#include "engine/adding_stack.h"
#include "engine/flight_plans.h"
#include "engine/sim_replies.h"
#include "engine/spawn.h"
#include "engine/timed_queues.h"
#include "engine_records.h"
#include "simlink/sim_client.h"
#include "simlink/sim_queues.h"
#include "support/engine_harness.h"

namespace {

constexpr double kDeg = 0.017453292519943295;
constexpr std::uint32_t kHex = 0x484000;
constexpr std::uint32_t kObj = 150;

// One live record waiting for its object, and the harness.
struct Waiting {
    explicit Waiting(double altitude = 9000, ScenarioOptions o = {}) : h(std::move(o))
    {
        liveAircraft.push_back(liveRecord(kHex, "KLM1",
                                          {sampleAt(52.3, 4.8, 90000, altitude, altitude > 0 ? 250 : 10),
                                           sampleAt(52.3, 4.81, 90500, altitude, altitude > 0 ? 250 : 10)}));
        ac().simState = SimState::adding2sim;
        ac().phase = altitude > 0 ? AcPhase::flying : AcPhase::taxi;
        ac().origin = "EHAM";
        ac().destination = "LEMD";
        ac().posBlock.altitude = altitude;
        liveInSimCount = 1;
    }
    LiveAc& ac() { return *findLive(kHex); }
    void created() { h.reply({kObj, kHex, 0, replyLiveCreated, 0.0, 2500.0}); }
    EngineHarness h;
};

// The object moves from the tick of its reply on (a position every tick);
// its lights toggle at 50 and 100 and its activation (engines, lights) comes
// at 200, counted from that tick.
TEST(Activation, CountedFromTheReplysTickWithLightsAt50And100)
{
    Waiting w;
    w.h.tick(7);
    w.created();
    const std::int32_t replyTick = tickCounter.load();
    std::vector<std::int32_t> toggles;
    std::int32_t activeAt = -1, activatedAt = -1;
    std::size_t ticksWithoutPosition = 0;
    for (int i = 0; i <= 201; ++i) {
        const std::size_t before = w.h.api().calls.count("event 150 214 0");
        const std::int32_t t = tickCounter.load();
        w.h.tick(1);
        if (w.h.api().calls.count("event 150 214 0") > before) toggles.push_back(t - replyTick);
        if (activeAt < 0 && w.ac().simState == SimState::active) activeAt = t - replyTick;
        const std::vector<QueuedEvent>& events = w.h.trace().back().events;
        if (activatedAt < 0 && std::any_of(events.begin(), events.end(), [](const QueuedEvent& e) {
                return e.objectId == kObj && e.eventId == EVENT_ENGINE_AUTO_START;
            }))
            activatedAt = t - replyTick;
        const std::vector<QueuedPosition>& positions = w.h.trace().back().positions;
        ticksWithoutPosition += std::none_of(positions.begin(), positions.end(),
                                             [](const QueuedPosition& p) { return p.objectId == kObj; });
    }
    EXPECT_EQ(toggles, (std::vector<std::int32_t>{49, 99}));
    EXPECT_EQ(activeAt, 0);
    EXPECT_EQ(ticksWithoutPosition, 0u);
    EXPECT_EQ(activatedAt, 200);
    EXPECT_EQ(w.ac().objectId, kObj);
    EXPECT_EQ(w.ac().heightAboveGround, 2500.0);
    EXPECT_EQ(w.h.api().calls.count("request 102 405 150 1"), 1u);
    EXPECT_TRUE(createdObjects.empty());
}

TEST(Activation, LightsAndEnginesByPhase)
{
    struct Row {
        const char* name;
        double altitude;
        AcPhase phase;
        AcCategory category;
        double heightAboveGround;
        std::vector<QueuedEvent> events;
        std::uint32_t throttle;
        std::uint32_t flaps;
        bool takeOffRoll = false;  // its take-off roll began before the activation
    };
    const auto lights = [](std::array<std::uint32_t, 7> v) {
        const std::uint32_t ids[] = {EVENT_NAV_LIGHTS,   EVENT_BEACON_LIGHTS, EVENT_LANDING_LIGHTS, EVENT_TAXI_LIGHTS,
                                     EVENT_STROBES,      EVENT_LOGO_LIGHTS,   EVENT_CABIN_LIGHTS};
        std::vector<QueuedEvent> e;
        for (int i = 0; i < 7; ++i) e.push_back({kObj, ids[i], v[i]});
        return e;
    };
    const auto cat = [](std::vector<QueuedEvent> a, const std::vector<QueuedEvent>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::vector<Row> rows = {
        {"airborne low", 8000, AcPhase::flying, AcCategory::Large, 2500,
         cat({{kObj, EVENT_ENGINE_AUTO_START, 0}, {kObj, EVENT_SPOILERS_SET, 0}}, lights({1, 1, 1, 0, 1, 1, 1})), 5, 4},
        {"airborne high, near the ground", 12000, AcPhase::flying, AcCategory::Large, 1500,
         cat({{kObj, EVENT_ENGINE_AUTO_START, 0}, {kObj, EVENT_SPOILERS_SET, 0}}, lights({1, 1, 0, 0, 1, 0, 0})), 5, 4},
        {"airborne rotorcraft: no spoilers", 8000, AcPhase::flying, AcCategory::Rotorcraft, 2500,
         cat({{kObj, EVENT_ENGINE_AUTO_START, 0}}, lights({1, 1, 1, 0, 1, 1, 1})), 5, 4},
        {"taxiing", 0, AcPhase::taxi, AcCategory::Large, 0,
         cat(cat({{kObj, EVENT_SPOILERS_SET, 0}, {kObj, EVENT_ENGINE_AUTO_START, 0}}, lights({1, 1, 0, 1, 0, 1, 1})),
             {{kObj, EVENT_THROTTLE_SET, 0}, {kObj, EVENT_FLAPS_SET, 3072}}),
         0, 1},
        {"parked", 0, AcPhase::parked, AcCategory::Large, 0,
         cat(cat({{kObj, EVENT_SPOILERS_SET, 0}, {kObj, EVENT_ENGINE_AUTO_SHUTDOWN, 0}}, lights({0, 0, 0, 0, 0, 1, 1})),
             {{kObj, EVENT_THROTTLE_SET, 0}, {kObj, EVENT_FLAPS_SET, 0}}),
         0, 0},
        {"rotorcraft on the ground: throttle 4, no flaps", 0, AcPhase::taxi, AcCategory::Rotorcraft, 0,
         cat(cat({{kObj, EVENT_ENGINE_AUTO_START, 0}}, lights({1, 1, 0, 1, 0, 1, 1})),
             {{kObj, EVENT_THROTTLE_SET, 16383}}),
         4, 4},
        {"in its take-off roll since it came: only the engines", 0, AcPhase::taxi, AcCategory::Large, 0,
         {{kObj, EVENT_ENGINE_AUTO_START, 0}}, 5, 4, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Waiting w(row.altitude);
        LiveAc& a = w.ac();
        a.objectId = kObj;
        a.phase = row.phase;
        a.category = row.category;
        a.heightAboveGround = row.heightAboveGround;
        a.takeOffRoll = row.takeOffRoll;
        activateAc(a);
        EXPECT_EQ(eventQueue, row.events);
        EXPECT_EQ(a.simState, SimState::active);
        EXPECT_EQ(a.throttleStep, row.throttle);
        EXPECT_EQ(a.flapsIndex, row.flaps);
    }
}

TEST(Replies, LiveCreated)
{
    struct Row {
        const char* name;
        std::function<void(Waiting&)> setup;
        SimReply reply;
        std::function<void(Waiting&)> check;
    };
    const std::vector<Row> rows = {
        {"object id 1 ignored", nullptr, {1, kHex, 0, replyLiveCreated, 0, 0},
         [](Waiting& w) {
             EXPECT_EQ(w.ac().objectId, 0u);
             EXPECT_TRUE(createdObjects.empty());
         }},
        {"object id 2 ignored", nullptr, {2, kHex, 0, replyLiveCreated, 0, 0},
         [](Waiting& w) { EXPECT_EQ(w.ac().objectId, 0u); }},
        {"airborne: tied, flight plan, counted", nullptr, {kObj, kHex, 0, replyLiveCreated, 0, 1234},
         [](Waiting& w) {
             EXPECT_EQ(w.ac().objectId, kObj);
             EXPECT_FALSE(w.ac().groundReplySeen);
             EXPECT_TRUE(w.ac().flightPlanSent);
             EXPECT_TRUE(std::filesystem::exists(flightPlanFolder() / "150.pln"));
             EXPECT_EQ(w.h.api().calls.count("flightPlan 150 "), 1u);
             ASSERT_EQ(createdObjects.size(), 1u);
             EXPECT_EQ(createdObjects[0].ticks, 1);
         }},
        {"ground-born: parks (ground reply seen)",
         [](Waiting& w) {
             for (auto& s : w.ac().samples) s.airborne = false;
             w.ac().altStep = 3;
         },
         {kObj, kHex, 0, replyLiveCreated, 0, 0},
         [](Waiting& w) {
             EXPECT_TRUE(w.ac().groundReplySeen);
             EXPECT_EQ(w.ac().altStep, 0);
         }},
        {"no destination: no flight plan", [](Waiting& w) { w.ac().destination.clear(); },
         {kObj, kHex, 0, replyLiveCreated, 0, 0},
         [](Waiting& w) {
             EXPECT_FALSE(w.ac().flightPlanSent);
             EXPECT_EQ(w.h.api().calls.count("flightPlan"), 0u);
         }},
        {"a refused flight plan: marked line, flag clear",
         [](Waiting& w) {
             w.h.api().failNext("flightPlan 150 " + (flightPlanFolder() / "150.pln").string() + " 110", scFail);
         },
         {kObj, kHex, 0, replyLiveCreated, 0, 0},
         [](Waiting& w) {
             EXPECT_FALSE(w.ac().flightPlanSent);
             EXPECT_NE(w.h.logText().find("creating a flight plan failed"), std::string::npos);
             EXPECT_EQ(closingReason(), ClosingReason::NotYetSet);
             EXPECT_FALSE(std::filesystem::exists(flightPlanFolder() / "150.pln")) << "it would outlive its object";
         }},
        {"a failing StaticCG request ends the run",
         [](Waiting& w) { w.h.api().failNext("request 102 405 150 1", scFail); }, {kObj, kHex, 0, replyLiveCreated, 0, 0},
         [](Waiting& w) {
             EXPECT_EQ(closingReason(), ClosingReason::SimConnectError);
             EXPECT_NE(w.h.logText().find("SimConnect request StaticCG fails"), std::string::npos);
         }},
        {"an empty queue: tied and removed at once", [](Waiting& w) { w.ac().samples.clear(); },
         {kObj, kHex, 0, replyLiveCreated, 0, 0},
         [](Waiting& w) {
             EXPECT_EQ(w.ac().simState, SimState::removingfromsim);
             EXPECT_TRUE(createdObjects.empty());
             EXPECT_EQ(removalDeque.size(), 1u);
         }},
        {"an object for a record no longer waiting is removed",
         [](Waiting& w) {
             w.ac().simState = SimState::active;
             w.ac().objectId = 99;
         },
         {kObj, kHex, 0, replyLiveCreated, 0, 0},
         [](Waiting& w) {
             EXPECT_EQ(w.ac().objectId, 99u);
             ASSERT_EQ(removalDeque.size(), 1u);
             EXPECT_EQ(removalDeque.front(), kObj);
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Waiting w;
        if (row.setup) row.setup(w);
        w.h.reply(row.reply);
        processSimReplies();
        row.check(w);
    }
}

TEST(Replies, GroundInformation)
{
    struct Row {
        const char* name;
        std::function<void(LiveAc&)> setup;
        std::uint32_t onGround;  // the reply's flag
        double height;           // the reply's height above ground
        bool contact;    // ground reply seen afterwards
        bool touchdown;  // the touchdown steps ran
        double altitude;  // block altitude afterwards
    };
    const auto landing = [](LiveAc& a) { a.landing = true; };
    const auto towardsTheGround = [](LiveAc& a) { a.samples[1].airborne = false; };
    // Replies: ground altitude 100 ft; CG height 8 ft (on its wheels the
    // aircraft reports 8 ft). The base flies at 5000 ft towards a sample in the
    // air, no landing committed.
    const std::vector<Row> rows = {
        {"airborne report: only the height", nullptr, 0, 500, false, false, 5000},
        {"first contact descending to a sample on the ground", towardsTheGround, 1, 8, true, false, 108},
        {"first contact while landing: touchdown", landing, 1, 8, true, true, 108},
        {"first contact with on-ground slots: touchdown",
         [&](LiveAc& a) {
             towardsTheGround(a);
             a.onGroundSlots = 2;
         },
         1, 8, true, true, 108},
        {"flag on the ground 9.5 ft above the wheels: touchdown", landing, 1, 17.5, true, true, 108},
        {"flag on the ground 800 ft up (a stale flag): nothing", nullptr, 1, 800, false, false, 5000},
        {"the same while landing: nothing", landing, 1, 800, false, false, 5000},
        {"flag in the air, on the wheels while landing (a stale flag): touchdown", landing, 0, 8.5, true, true, 108},
        {"flag in the air 2 ft above the wheels: not yet", landing, 0, 10, false, false, 5000},
        {"flying towards samples in the air, no landing: no contact", nullptr, 1, 8, false, false, 5000},
        {"countdown 2 or more: no contact, altitude snapped", [](LiveAc& a) { a.countdown = 2; }, 1, 8, false, false,
         108},
        {"countdown 2, the reply has it 800 ft up: not snapped", [](LiveAc& a) { a.countdown = 2; }, 1, 800, false,
         false, 5000},
        {"in take_off: no contact", [](LiveAc& a) { a.phase = AcPhase::take_off; }, 1, 8, false, false, 5000},
        {"removing: no contact",
         [&](LiveAc& a) {
             towardsTheGround(a);
             a.simState = SimState::removingfromsim;
         },
         1, 8, false, false, 5000},
        {"contact seen before: altitude snapped", [](LiveAc& a) { a.groundReplySeen = true; }, 0, 3, true, false, 108},
        {"contact seen before, 60 ft high where the ground falls away: follows the ground",
         [](LiveAc& a) { a.groundReplySeen = true; }, 0, 60, true, false, 108},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Waiting w;
        LiveAc& a = w.ac();
        a.simState = SimState::active;
        a.objectId = kObj;
        a.cgHeight = 8;
        a.posBlock.altitude = 5000;
        a.countdown = 1;
        a.altStep = 2;
        fastRangeRequest = true;
        IdentityCheckQueue.clear();
        if (row.setup) row.setup(a);
        w.h.reply({kObj, row.onGround, 0, replyGroundInfo, 100.0, row.height});
        processSimReplies();
        EXPECT_EQ(a.groundReplySeen, row.contact);
        EXPECT_EQ(a.heightAboveGround, row.height);
        EXPECT_EQ(a.groundAltitudeFt, 100.0f);
        EXPECT_EQ(a.posBlock.altitude, row.altitude);
        EXPECT_EQ(a.rollingOut, row.touchdown);
        EXPECT_EQ(a.justLanded, row.touchdown);
        EXPECT_EQ(fastRangeRequest, !row.touchdown);
        if (row.touchdown) {
            EXPECT_FALSE(a.landing);
            ASSERT_FALSE(IdentityCheckQueue.empty());
            EXPECT_EQ(IdentityCheckQueue.back(), kHex);
            EXPECT_EQ(w.h.api().calls.count("set 401 150 24"), 1u);
            ASSERT_FALSE(eventQueue.empty());
            EXPECT_EQ(eventQueue.front(), (QueuedEvent{kObj, EVENT_SPOILERS_SET, 16383}));
        }
    }
}

// The ground no position goes below: the simulator's report while it is fresh;
// without one, the park airport's elevation under a sample on the ground.
TEST(Replies, GroundUnderTheAircraft)
{
    constexpr float unknown = -std::numeric_limits<float>::infinity();
    struct Row {
        const char* name;
        bool reported;          // a report of ground 100 ft came at tick 1000
        std::int32_t sampleAt;  // the tick of the due sample that reviews it
        bool onGround;          // the front sample is on the ground
        float ground;           // groundAltitudeFt afterwards
        double lifted;          // a block at -100 ft goes out at this altitude (CG height 8 ft)
    };
    const std::vector<Row> rows = {
        {"a fresh report", true, 1300, false, 100.0f, 108},
        {"a report 3 s old at a sample on the ground: dropped, the park airport's", true, 1301, true, -11.0f, -3},
        {"a report 3 s old at a sample in the air: nothing known", true, 1301, false, unknown, -100},
        {"no report, a sample on the ground: the park airport's", false, 1000, true, -11.0f, -3},
        {"no report, a sample in the air: nothing known", false, 1000, false, unknown, -100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScenarioOptions o;
        o.park = {"EHAM", "AMS", 52.3, 4.8, -11.0};
        Waiting w(9000, o);
        LiveAc& a = w.ac();
        a.simState = SimState::active;
        a.objectId = kObj;
        a.cgHeight = 8;
        a.samples.front().airborne = !row.onGround;
        if (row.reported) {
            tickCounter = 1000;
            w.h.reply({kObj, 0, 0, replyGroundInfo, 100.0, 2000.0});
            processSimReplies();
        }
        tickCounter = row.sampleAt;
        reviewGroundAtSample(a);
        EXPECT_EQ(a.groundAltitudeFt, row.ground);
        a.posBlock.altitude = -100;
        keepAboveGround(a);
        EXPECT_EQ(a.posBlock.altitude, row.lifted);
    }
}

// A range answer (ground information for every object around, statics too)
// reaches, for each object id, the first live record with it, as a search of the
// records does; a reply that ties an object in the middle of the answer is seen
// by the ground information after it.
TEST(Replies, GroundInformationFindsTheFirstRecordOfItsObject)
{
    EngineHarness h;
    struct Rec {
        std::uint32_t hex;
        std::uint32_t objectId;
        SimState state;
    };
    const std::vector<Rec> recs{
        {0x484001, 201, SimState::active},
        {0x484002, 202, SimState::active},
        {0x484003, 201, SimState::removingfromsim},  // an older record of the same object id: second
        {0x484004, 0, SimState::buffer},
        {0x484005, 0, SimState::adding2sim},         // tied to 203 by the creation reply in the answer
        {0x484006, 204, SimState::active},
    };
    for (const Rec& r : recs) {
        liveAircraft.push_back(liveRecord(r.hex, "KLM" + std::to_string(r.hex % 100),
                                          {sampleAt(52.3, 4.8, 90000), sampleAt(52.3, 4.81, 90500)}));
        LiveAc& a = liveAircraft.back();
        a.objectId = r.objectId;
        a.simState = r.state;
        a.callsign = "KLM" + std::to_string(r.hex % 100);
        a.heightAboveGround = -1.0;
    }
    // Height above ground b tells which reply reached a record.
    h.reply({999, 0, 0, replyGroundInfo, 0.0, 1.0});  // a static: no live record
    h.reply({201, 0, 0, replyGroundInfo, 0.0, 2.0});
    h.reply({0, 0, 0, replyGroundInfo, 0.0, 3.0});    // no object: nobody
    h.reply({203, 0, 0, replyGroundInfo, 0.0, 4.0});  // not tied yet: nobody
    h.reply({203, 0x484005, 0, replyLiveCreated, 0.0, 5.0});
    h.reply({203, 0, 0, replyGroundInfo, 0.0, 6.0});
    h.reply({204, 0, 0, replyGroundInfo, 0.0, 7.0});
    h.reply({202, 0, 0, replyGroundInfo, 0.0, 8.0});
    processSimReplies();
    const std::vector<std::pair<std::uint32_t, double>> want{
        {0x484001, 2.0}, {0x484002, 8.0}, {0x484003, -1.0}, {0x484004, -1.0}, {0x484005, 6.0}, {0x484006, 7.0}};
    for (const auto& [hex, height] : want) {
        SCOPED_TRACE(hex);
        ASSERT_NE(findLive(hex), nullptr);
        EXPECT_EQ(findLive(hex)->heightAboveGround, height);
    }
}

TEST(Replies, TouchdownSteps)
{
    Waiting w;
    LiveAc& a = w.ac();
    a.objectId = kObj;
    a.posBlock.pitch = -0.05;
    a.posBlock.bank = 0.07;
    a.staticPitch = 0.02;
    a.touchdownTicks = 350;
    a.category = AcCategory::Light;
    lf_onGroundSlots(a);
    EXPECT_DOUBLE_EQ(a.pitchStep, 0.07 / 350);
    EXPECT_DOUBLE_EQ(a.bankStep, -0.07 / 350);
    EXPECT_EQ(w.h.api().calls.count("set 401"), 0u) << "a Light sends no engine block";
    a.touchdownTicks = 0;
    lf_onGroundSlots(a);
    EXPECT_EQ(a.pitchStep, 0.02);
    EXPECT_EQ(a.bankStep, 0.0);
    EXPECT_NE(w.h.logText().find("KLM1 ! onGround slots 0.0"), std::string::npos);
}

TEST(Replies, StaticAttitude)
{
    struct Row {
        double cg;
        double pitchDeg;
        double cgAfter;
        double pitchAfterDeg;
    };
    const std::vector<Row> rows = {
        {8.0, 1.0, 8.0, 1.0},   {1.0, -0.99, 1.0, -0.99}, {35.0, 2.5, 35.0, 2.5}, {0.9, -1.0, 6.0, 0.7},
        {35.1, 2.51, 6.0, 0.7}, {12.0, -3.0, 12.0, 0.7},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(vr::format("cg {} pitch {}", row.cg, row.pitchDeg));
        Waiting w;
        w.ac().objectId = kObj;
        w.ac().cgHeight = 6.0;
        w.h.reply({kObj, 0, 0, replyStaticAttitude, row.cg, row.pitchDeg * kDeg});
        processSimReplies();
        EXPECT_EQ(w.ac().cgHeight, row.cgAfter);
        EXPECT_NEAR(w.ac().staticPitch, row.pitchAfterDeg * kDeg, 1e-12);
    }
}

TEST(Replies, BlockedCallsign)
{
    struct Row {
        SimState state;
        bool removedInBuffer;
        SimState after;
        bool removeAfterCreate;
    };
    const std::vector<Row> rows = {
        {SimState::buffer, true, SimState::buffer, false},
        {SimState::adding2sim, false, SimState::adding2sim, true},
        {SimState::active, false, SimState::removingfromsim, false},
        {SimState::liveryrespawn, false, SimState::liveryrespawn, false},
        {SimState::removingfromsim, false, SimState::removingfromsim, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(simStateText(row.state));
        Waiting w;
        w.ac().simState = row.state;
        w.ac().objectId = row.state == SimState::buffer || row.state == SimState::adding2sim ? 0 : kObj;
        w.h.reply({0, kHex, 0, replyCallsignBlocked, 0, 0});
        processSimReplies();
        EXPECT_EQ(w.ac().removedInBuffer, row.removedInBuffer);
        EXPECT_EQ(w.ac().simState, row.after);
        EXPECT_EQ(w.ac().removeAfterCreate, row.removeAfterCreate);
    }
}

TEST(Replies, RefusedCreations)
{
    Waiting w;
    w.ac().liveryTitle = "KLM 737";
    SimAc st;
    st.aircraftId = 12;
    st.callsign = "KLM9*";
    st.liveryTitle = "KLM 777";
    st.simState = SimState::adding2sim;
    staticAircraft.push_back(st);
    w.h.reply({0, kHex, 0, replyCreationFailed, 0, 0});
    w.h.reply({0, 12, 0, replyCreationFailed, 0, 0});
    processSimReplies();
    EXPECT_TRUE(liveAircraft.empty());
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_EQ(liveInSimCount, 0);
    EXPECT_EQ(w.h.liveries.calls.count("notCreated KLM1 KLM 737"), 1u);
    EXPECT_EQ(w.h.liveries.calls.count("notCreated KLM9* KLM 777"), 1u);
}

// Another aircraft that the simulator gives the object id of the removed one.
void createAnotherWithTheSameObject(Waiting& w)
{
    w.h.reply({kObj, 0, 0, replyRemoved, 0, 0});
    processSimReplies();
    liveAircraft.push_back(liveRecord(kHex + 1, "DLH2", {sampleAt(52.3, 4.8, 90000, 9000, 250)}, "DLH", "A320"));
    LiveAc& b = *findLive(kHex + 1);
    b.simState = SimState::adding2sim;
    b.phase = AcPhase::flying;
    b.origin = "EDDF";
    b.destination = "EGLL";
    w.h.reply({kObj, kHex + 1, 0, replyLiveCreated, 0.0, 2500.0});
    processSimReplies();
}

// With the writer thread the plan file is written off the tick: the reply's
// tick neither writes nor sends it; a later look sends it when its object is
// still the aircraft's, and a plan that came too late leaves no file, but
// never takes the file of a later aircraft with the same object id.
TEST(Replies, FlightPlansWrittenOffTheTick)
{
    struct Row {
        const char* name;
        std::function<void(Waiting&)> whileWriting;  // before the writer gets to the file
        std::size_t calls;                           // flight-plan calls to the simulator
        bool sent;
        bool fileLeft;
        bool failureLogged;
        const char* fileDeparture = nullptr;  // the plan left on disk is this one's
    };
    const std::vector<Row> rows = {
        {"written, then sent at the next look", nullptr, 1, true, true, false},
        {"the object went meanwhile: not sent, no file",
         [](Waiting& w) {
             w.h.reply({kObj, 0, 0, replyRemoved, 0, 0});
             processSimReplies();
         },
         0, false, false, false},
        {"the object is on its way out: not sent, no file",
         [](Waiting& w) { w.ac().simState = SimState::removingfromsim; }, 0, false, false, false},
        {"the file cannot be written: marked line",
         [](Waiting&) { std::filesystem::remove_all(flightPlanFolder()); }, 0, false, false, true},
        {"refused by the simulator: marked line, no file",
         [](Waiting& w) {
             w.h.api().failNext("flightPlan 150 " + (flightPlanFolder() / "150.pln").string() + " 110", scFail);
         },
         1, false, false, true},
        {"the object went and another aircraft got its id: the other's plan stays and is sent",
         createAnotherWithTheSameObject, 1, false, true, false, "<DepartureID>EDDF</DepartureID>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Waiting w;
        struct WriterThread {
            WriterThread() { startFlightPlanWriter(); }
            ~WriterThread() { stopFlightPlanWriter(); }
        } writer;
        holdFlightPlanWriter(true);
        w.created();
        processSimReplies();
        EXPECT_EQ(w.ac().objectId, kObj);
        EXPECT_FALSE(w.ac().flightPlanSent);
        EXPECT_FALSE(std::filesystem::exists(flightPlanFolder() / "150.pln"));
        EXPECT_EQ(w.h.api().calls.count("flightPlan"), 0u);
        if (row.whileWriting) row.whileWriting(w);
        holdFlightPlanWriter(false);
        finishFlightPlanWork();
        processSimReplies();
        finishFlightPlanWork();  // a removal asked by the look
        EXPECT_EQ(w.h.api().calls.count("flightPlan 150 "), row.calls);
        if (const LiveAc* a = findLive(kHex)) {
            EXPECT_EQ(a->flightPlanSent, row.sent);
        }
        EXPECT_EQ(std::filesystem::exists(flightPlanFolder() / "150.pln"), row.fileLeft);
        EXPECT_EQ(w.h.logText().find("creating a flight plan failed") != std::string::npos, row.failureLogged);
        if (row.fileDeparture) {
            std::ifstream in(flightPlanFolder() / "150.pln");
            const std::string text{std::istreambuf_iterator<char>(in), {}};
            EXPECT_NE(text.find(row.fileDeparture), std::string::npos) << text;
            ASSERT_NE(findLive(kHex + 1), nullptr);
            EXPECT_TRUE(findLive(kHex + 1)->flightPlanSent);
        }
    }
}

TEST(Replies, RemovedObjects)
{
    struct Row {
        const char* name;
        SimState state;
        bool flightPlan;
        bool erased;
    };
    const std::vector<Row> rows = {
        {"liveryrespawn: back to the buffer", SimState::liveryrespawn, false, false},
        {"liveryrespawn with a flight plan: file gone, back to the buffer", SimState::liveryrespawn, true, false},
        {"active with a flight plan: file gone", SimState::active, true, true},
        {"removing", SimState::removingfromsim, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Waiting w;
        LiveAc& a = w.ac();
        a.simState = row.state;
        a.objectId = kObj;
        a.throttleStep = 2;
        a.flapsIndex = 1;
        if (row.flightPlan) {
            setAcFlightPlan(a);
            ASSERT_TRUE(std::filesystem::exists(flightPlanFolder() / "150.pln"));
        }
        w.h.reply({kObj, 0, 0, replyRemoved, 0, 0});
        processSimReplies();
        EXPECT_FALSE(std::filesystem::exists(flightPlanFolder() / "150.pln"));
        if (row.erased) {
            EXPECT_TRUE(liveAircraft.empty());
            continue;
        }
        ASSERT_EQ(liveAircraft.size(), 1u);
        EXPECT_EQ(a.simState, SimState::buffer);
        EXPECT_EQ(a.objectId, 0u);
        EXPECT_EQ(a.throttleStep, 5u);
        EXPECT_EQ(a.flapsIndex, 4u);
        EXPECT_FALSE(a.flightPlanSent);
    }
}

TEST(Replies, ARemovalAskedDuringTheCreationFollowsTheActivation)
{
    Waiting w;
    removeAircraftFromSim(w.ac());
    ASSERT_TRUE(w.ac().removeAfterCreate);
    w.created();
    w.h.tick(201);
    EXPECT_EQ(w.ac().simState, SimState::removingfromsim);
    EXPECT_EQ(removalDeque.size() + w.h.trace().back().removals.size() > 0, true);
}

TEST(Replies, AFailingLightsToggleEndsTheRun)
{
    Waiting w;
    w.h.api().failNext("event 150 214 0", scFail);
    w.created();
    w.h.tick(50);
    EXPECT_EQ(closingReason(), ClosingReason::SimConnectError);
    EXPECT_NE(w.h.logText().find("SimConnect gf_allLightsToggle fails"), std::string::npos);
}

TEST(Replies, StaleCreatedEntries)
{
    // An object removed while it counts drops its entry: a later record of the
    // same aircraft id is not activated by it.
    {
        Waiting w;
        w.created();
        w.h.tick(10);
        w.h.reply({kObj, 0, 0, replyRemoved, 0, 0});
        w.h.tick(1);
        EXPECT_TRUE(createdObjects.empty());
        EXPECT_TRUE(liveAircraft.empty());
    }
    // A static created and removed before its activation: the entry and the record go.
    {
        EngineHarness h;
        SimAc st;
        st.aircraftId = 12;
        st.callsign = "KLM9*";
        st.simState = SimState::adding2sim;
        staticAircraft.push_back(st);
        h.reply({160, 12, 0, replyStaticCreated, 0, 0});
        h.tick(5);
        h.reply({160, 0, 0, replyRemoved, 0, 0});
        h.tick(1);
        EXPECT_TRUE(createdObjects.empty());
        EXPECT_TRUE(staticAircraft.empty());
    }
    // At 200 a record with another object drops the entry with a marked line.
    {
        Waiting w;
        w.created();
        w.h.tick(10);
        w.ac().objectId = 151;
        w.h.tick(200);
        EXPECT_TRUE(createdObjects.empty());
        EXPECT_EQ(w.ac().simState, SimState::active);  // moving since its reply, never activated
        EXPECT_NE(w.h.logText().find("activateCreatedAc: hexid"), std::string::npos);
    }
}

TEST(Replies, StaticActivation)
{
    EngineHarness h;
    SimAc st;
    st.aircraftId = 12;
    st.callsign = "KLM9*";
    st.simState = SimState::adding2sim;
    st.cargoLook = true;
    staticAircraft.push_back(st);
    h.reply({160, 12, 0, replyStaticCreated, 0, 0});
    h.tick(200);
    EXPECT_EQ(staticAircraft[0].simState, SimState::adding2sim);
    h.tick(1);
    EXPECT_EQ(staticAircraft[0].simState, SimState::active);
    EXPECT_EQ(staticAircraft[0].objectId, 160u);
    EXPECT_EQ(h.api().calls.count("event 160 214"), 0u) << "no lights toggle for a static";
    EXPECT_EQ(h.api().calls.count("event 160 222 0"), 1u);
}

}  // namespace
