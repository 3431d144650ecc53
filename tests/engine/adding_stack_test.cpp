// The per-tick step: the cadence of removals, creations and requests, the
// removal request by state, throttle and flaps, the reset, and the creations
// that never get an object.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <set>

#include "core/livery_services.h"
#include "core/run_state.h"
#include "core/startup_globals.h"
#include "engine/adding_stack.h"
#include "engine/livery_respawn.h"
#include "engine/scheduling.h"
#include "engine/sim_replies.h"
#include "engine/spawn.h"
#include "engine/timed_queues.h"
#include "engine_records.h"
#include "simlink/sim_client.h"
#include "simlink/sim_queues.h"
#include "support/engine_harness.h"
#include "traffic_service/traffic_reader.h"

namespace {

AcCreation creationOf(const std::string& callsign, std::uint32_t aircraftId)
{
    return AcCreation{{}, callsign, "Title", aircraftId};
}

TEST(AddingStack, CadenceOverTheFirstHundredTicks)
{
    using Creations = std::vector<std::pair<std::int32_t, std::string>>;
    struct Row {
        const char* name;
        bool fastRange;
        bool liveCreation;
        std::set<std::int32_t> rangeTicks;
        Creations creations;
    };
    const std::vector<Row> rows = {
        {"range request every 100 ticks, and 20 ticks after the run's first live creation", false, true,
         {0, 20, 100}, {{0, "LIVE1"}, {50, "STAT1*"}, {100, "STAT2*"}}},
        {"no live creation: every 100 ticks", false, false, {0, 100}, {{0, "STAT1*"}, {50, "STAT2*"}}},
        {"every 20 while a landing flares", true, true, {0, 20, 40, 60, 80, 100},
         {{0, "LIVE1"}, {50, "STAT1*"}, {100, "STAT2*"}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineHarness h;
        for (std::uint32_t id = 100; id < 115; ++id) removalDeque.push_back(id);
        if (row.liveCreation) lf_pushCreation(liveCreationQueue, creationOf("LIVE1", 0x400001));
        lf_pushCreation(staticCreationQueue, creationOf("STAT1*", 11));
        lf_pushCreation(staticCreationQueue, creationOf("STAT2*", 12));
        fastRangeRequest = row.fastRange;
        std::set<std::int32_t> removals, rangeTicks, userTicks;
        Creations creations;
        for (std::int32_t t = 0; t <= 100; ++t) {
            const std::size_t range = h.api().calls.count("requestType 101 404");
            const std::size_t user = h.api().calls.count("request 109 403");
            h.tick(1);
            const TickTrace& tr = h.trace().back();
            if (!tr.removals.empty()) removals.insert(t);
            for (const AcCreation& c : tr.creations) creations.emplace_back(t, c.callsign);
            if (h.api().calls.count("requestType 101 404") > range) rangeTicks.insert(t);
            if (h.api().calls.count("request 109 403") > user) userTicks.insert(t);
        }
        EXPECT_EQ(removals, (std::set<std::int32_t>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
        EXPECT_EQ(creations, row.creations);
        EXPECT_EQ(rangeTicks, row.rangeTicks);
        EXPECT_EQ(userTicks, (std::set<std::int32_t>{0, 100}));
        EXPECT_EQ(tickCounter.load(), 101);
    }
}

TEST(AddingStack, TheFirstCreationGoesAtOnceTheNextAfterFiftyTicksAndHalfASecond)
{
    struct Row {
        const char* name;
        std::int32_t queuedAt;
        bool backToBack;  // the ticks after the first creation come without any program time passing
        std::vector<std::int32_t> creationTicks;
    };
    const std::vector<Row> rows = {
        {"queued on the first tick", 0, false, {0, 50}},
        {"queued between two slots", 7, false, {7, 57}},
        {"late ticks: half a second on the clock as well", 7, true, {7, 112}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineHarness h;
        h.tick(row.queuedAt);
        lf_pushCreation(liveCreationQueue, creationOf("LIVE1", 0x400001));
        lf_pushCreation(liveCreationQueue, creationOf("LIVE2", 0x400002));
        h.tick(1);
        if (row.backToBack) {
            for (int i = 0; i < 55; ++i) lf_handleAddingStack();  // ticks 8..62, the clock stands at 80 ms
        }
        h.tick(80);
        std::vector<std::int32_t> ticks;
        for (const auto& [t, c] : h.creations()) ticks.push_back(t);
        EXPECT_EQ(ticks, row.creationTicks);
    }
}

TEST(AddingStack, TheRangeRequestCoversRangeMetres)
{
    EngineHarness h({.rangeNm = 20});
    h.tick(1);
    EXPECT_EQ(rangeMetres.load(), 20 * 1852 + 10000);
    EXPECT_EQ(h.api().calls.count(vr::format("requestType 101 404 {} 2", 20 * 1852 + 10000)), 1u);
}

TEST(AddingStack, AFailingRangeRequestEndsTheRun)
{
    EngineHarness h;
    h.api().failNext(vr::format("requestType 101 404 {} 2", rangeMetres.load()), scFail);
    h.tick(1);
    EXPECT_TRUE(simErrorFlag.load());
    EXPECT_EQ(closingReason(), ClosingReason::SimConnectError);
    EXPECT_NE(h.logText().find("===> SimConnect request ac within range fails"), std::string::npos);
}

TEST(AddingStack, AQuietTickSendsNothing)
{
    EngineHarness h;
    h.tick(1);
    h.api().calls.clear();
    h.tick(1);  // tick 1: no period falls due, nothing waits
    EXPECT_TRUE(h.api().calls.get().empty());
    const TickTrace& t = h.trace().back();
    EXPECT_TRUE(t.creations.empty() && t.removals.empty() && t.events.empty() && t.positions.empty());
}

TEST(RemoveAircraftFromSim, ByState)
{
    struct Row {
        const char* name;
        std::function<void(LiveAc&)> setup;
        std::function<void(const LiveAc&)> check;
        std::size_t removalsQueued;
        bool marked;
    };
    const std::vector<Row> rows = {
        {"buffer: erased by the update pass", nullptr,
         [](const LiveAc& a) {
             EXPECT_TRUE(a.removedInBuffer);
             EXPECT_EQ(a.simState, SimState::buffer);
         },
         0, false},
        {"adding2sim, still queued: withdrawn",
         [](LiveAc& a) {
             a.simState = SimState::adding2sim;
             lf_pushCreation(liveCreationQueue, creationOf(a.callsign, a.aircraftId));
             lf_pushCreation(liveCreationQueue, creationOf(a.callsign, a.aircraftId + 1));  // another aircraft
         },
         [](const LiveAc& a) {
             EXPECT_TRUE(a.removedWhileQueued);
             EXPECT_FALSE(a.removeAfterCreate);
             ASSERT_EQ(liveCreationQueue.size(), 1u);
             EXPECT_EQ(liveCreationQueue.front().aircraftId, a.aircraftId + 1);
         },
         0, false},
        {"adding2sim, already sent: removed after activation",
         [](LiveAc& a) { a.simState = SimState::adding2sim; },
         [](const LiveAc& a) {
             EXPECT_TRUE(a.removeAfterCreate);
             EXPECT_FALSE(a.removedWhileQueued);
         },
         0, false},
        {"active",
         [](LiveAc& a) {
             a.simState = SimState::active;
             a.objectId = 77;
         },
         [](const LiveAc& a) { EXPECT_EQ(a.simState, SimState::removingfromsim); }, 1, false},
        {"liveryrespawn: the re-creation's removal is the only one",
         [](LiveAc& a) {
             a.simState = SimState::active;
             a.objectId = 77;
             liveryRespawn(a);
         },
         [](const LiveAc& a) { EXPECT_EQ(a.simState, SimState::removingfromsim); }, 1, false},
        {"removing already: nothing more queued",
         [](LiveAc& a) {
             a.simState = SimState::removingfromsim;
             a.objectId = 77;
         },
         [](const LiveAc& a) { EXPECT_EQ(a.simState, SimState::removingfromsim); }, 0, false},
        {"active without an object: marked line",
         [](LiveAc& a) { a.simState = SimState::active; },
         [](const LiveAc& a) { EXPECT_EQ(a.simState, SimState::removingfromsim); }, 0, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineHarness h;
        liveAircraft.push_back(liveRecord(0x484000, "KLM1", {sampleAt(52, 4, 0), sampleAt(52, 4.1, 500)}));
        LiveAc& a = liveAircraft.back();
        if (row.setup) row.setup(a);
        removeAircraftFromSim(a);
        row.check(a);
        EXPECT_EQ(removalDeque.size(), row.removalsQueued);
        if (row.removalsQueued) {
            EXPECT_EQ(removalDeque.front(), 77u);
        }
        EXPECT_EQ(h.logText().find("removeAircraftFromSim") != std::string::npos, row.marked);
    }
}

TEST(RemoveAircraftFromSim, WithdrawnAndBufferedRecordsAreErasedByTheNextUpdatePass)
{
    EngineHarness h;
    liveAircraft.push_back(liveRecord(0x484000, "KLM1", {sampleAt(52, 4, 90000), sampleAt(52, 4.1, 90500)}));
    liveAircraft.push_back(liveRecord(0x484001, "KLM2", {sampleAt(52, 4, 90000), sampleAt(52, 4.1, 90500)}));
    liveAircraft.push_back(liveRecord(0x484002, "KLM3", {sampleAt(52, 4, 90000), sampleAt(52, 4.1, 90500)}));
    liveAircraft[1].simState = SimState::adding2sim;
    lf_pushCreation(liveCreationQueue, creationOf("KLM2", 0x484001));
    removeAircraftFromSim(liveAircraft[0]);
    removeAircraftFromSim(liveAircraft[1]);
    h.tick(1);
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].callsign, "KLM3");
}

// A removal asked while a livery re-creation waits for its object to go: the
// simulator is asked once, and its confirmation erases the record (no new object).
TEST(RemoveAircraftFromSim, DuringALiveryRecreationTheObjectIsRemovedOnce)
{
    EngineHarness h;
    liveAircraft.push_back(liveRecord(0x484000, "KLM1", {sampleAt(52, 4, 90000), sampleAt(52, 4.1, 90500)}));
    LiveAc& a = liveAircraft.back();
    a.simState = SimState::active;
    a.objectId = 77;
    liveryRespawn(a);
    removeAircraftFromSim(a);
    removeAircraftFromSim(a);
    h.tick(40);
    std::size_t removals = 0;
    for (const TickTrace& t : h.trace()) removals += std::count(t.removals.begin(), t.removals.end(), 77u);
    EXPECT_EQ(removals, 1u);
    h.reply({77, 0, 0, replyRemoved, 0, 0});
    h.tick(1);
    EXPECT_TRUE(liveAircraft.empty()) << "the record went with its object";
}

TEST(ThrottleAndFlaps, Table)
{
    struct Row {
        const char* name;
        AcCategory category;
        std::function<void(SimAc&)> call;
        std::vector<QueuedEvent> events;
        std::uint32_t throttle;
        std::uint32_t flaps;
        bool marked;
    };
    const std::vector<Row> rows = {
        {"throttle step 3", AcCategory::Large, [](SimAc& a) { setThrottle(a, 3); }, {{9, EVENT_THROTTLE_SET, 11468}},
         3, 4, false},
        {"throttle unchanged", AcCategory::Large, [](SimAc& a) { setThrottle(a, 5); }, {}, 5, 4, false},
        {"throttle 5 after 2 is stored, not sent", AcCategory::Large,
         [](SimAc& a) {
             setThrottle(a, 2);
             setThrottle(a, 5);
         },
         {{9, EVENT_THROTTLE_SET, 8191}}, 5, 4, false},
        {"flaps 1", AcCategory::Large, [](SimAc& a) { gf_setFlaps(a, 1); }, {{9, EVENT_FLAPS_SET, 3072}}, 5, 1, false},
        {"flaps 4 unchanged", AcCategory::Large, [](SimAc& a) { gf_setFlaps(a, 4); }, {}, 5, 4, false},
        {"flaps 4 after 3 sends 0", AcCategory::Heavy,
         [](SimAc& a) {
             gf_setFlaps(a, 3);
             gf_setFlaps(a, 4);
         },
         {{9, EVENT_FLAPS_SET, 16383}, {9, EVENT_FLAPS_SET, 0}}, 5, 4, false},
        {"flaps never for a Rotorcraft", AcCategory::Rotorcraft, [](SimAc& a) { gf_setFlaps(a, 2); }, {}, 5, 4, false},
        {"flaps index 7: marked line, stored", AcCategory::Large, [](SimAc& a) { gf_setFlaps(a, 7); }, {}, 5, 7, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineHarness h;
        SimAc a;
        a.objectId = 9;
        a.category = row.category;
        row.call(a);
        EXPECT_EQ(eventQueue, row.events);
        EXPECT_EQ(a.throttleStep, row.throttle);
        EXPECT_EQ(a.flapsIndex, row.flaps);
        EXPECT_EQ(h.logText().find("gf_setFlaps: invalid flaps index") != std::string::npos, row.marked);
    }
}

TEST(ShutDownAc, EnginesOffAndParkedLights)
{
    struct Row {
        const char* name;
        bool cargoLook;
        bool navWhileParked;
        std::uint32_t cabin;
    };
    // Seed 1234: the first draw of the thread's engine modulo 10 is at most 8.
    const std::vector<Row> rows = {
        {"cargo: cabin dark", true, false, 0},
        {"passenger: cabin lit (9 in 10)", false, false, 1},
        {"nav lights while parked", true, true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineHarness h({.navLightsWhileParked = row.navWhileParked});
        SimAc a;
        a.objectId = 9;
        a.throttleStep = 2;
        a.flapsIndex = 1;
        a.cargoLook = row.cargoLook;
        shutDownAc(a);
        const std::uint32_t nav = row.navWhileParked ? 1 : 0;
        const std::vector<QueuedEvent> expected = {
            {9, EVENT_THROTTLE_SET, 0},   {9, EVENT_FLAPS_SET, 0},      {9, EVENT_ENGINE_AUTO_SHUTDOWN, 0},
            {9, EVENT_NAV_LIGHTS, nav},   {9, EVENT_BEACON_LIGHTS, 0},  {9, EVENT_LANDING_LIGHTS, 0},
            {9, EVENT_TAXI_LIGHTS, 0},    {9, EVENT_STROBES, 0},        {9, EVENT_LOGO_LIGHTS, 1},
            {9, EVENT_CABIN_LIGHTS, row.cabin}};
        EXPECT_EQ(eventQueue, expected);
        EXPECT_EQ(a.throttleStep, 0u);
        EXPECT_EQ(a.flapsIndex, 0u);
    }
}

TEST(RemoveAllAiObjects, LeavesEveryContainerEmpty)
{
    EngineHarness h;
    setRunningFlag(true);
    liveAircraft.push_back(liveRecord(0x484000, "KLM1", {sampleAt(52, 4, 0)}));
    staticAircraft.push_back(SimAc{});
    lf_pushCreation(liveCreationQueue, creationOf("A", 0x400001));
    lf_pushCreation(staticCreationQueue, creationOf("B*", 1));
    removalDeque.push_back(5);
    pendingCreationIds.push_back(7);
    createdObjects.push_back({5, 7, 3, replyLiveCreated, 0, 0});
    creationsInFlight.push_back({7, 0});
    removalsInFlight.push_back({5, 0});
    GhostCallsigns.push_back("X_");
    UnmatchedLiveKeys.insert("KLM B738 PH-BXA");
    IdentityCheckQueue.push_back(7);
    fastRangeRequest = true;
    engineQnh = 990;
    currentSlotAndWeekday = 12345;
    statusPanel().liveCount = 3;
    h.liveries.rememberTitle(7, "T");
    trafficReader().setReferenceElevation(12.0);
    pushSimReply({1, 2, 0, replyRemoved, 0, 0});
    {
        std::lock_guard lock(addingMutex);
        addingStack.push_back(trafficRecord(1, 1));
        bufferedRecords.push_back(trafficRecord(2, 1));
    }
    const int repaints = h.app.repaints();
    const std::size_t resets = h.airports.calls.count("resetForNewRun");
    removeAllAiObjects();
    EXPECT_TRUE(liveAircraft.empty());
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_TRUE(liveCreationQueue.empty() && staticCreationQueue.empty() && removalDeque.empty());
    EXPECT_TRUE(pendingCreationIds.empty() && createdObjects.empty() && creationsInFlight.empty());
    EXPECT_TRUE(removalsInFlight.empty());
    EXPECT_TRUE(GhostCallsigns.empty() && UnmatchedLiveKeys.empty() && IdentityCheckQueue.empty());
    EXPECT_FALSE(fastRangeRequest);
    EXPECT_EQ(engineQnh.load(), 1013);
    EXPECT_EQ(currentSlotAndWeekday.load(), 0u);
    EXPECT_EQ(statusPanel().liveCount.load(), 0);
    EXPECT_EQ(h.app.repaints(), repaints + 1);
    EXPECT_TRUE(h.liveries.lookupTitleById(7).empty());
    EXPECT_FALSE(trafficReader().referenceElevation().has_value());
    EXPECT_TRUE(takeSimReplies().empty());
    EXPECT_EQ(h.airports.calls.count("resetForNewRun"), resets + 1);
    EXPECT_TRUE(isFlightRunning()) << "the running flag is the main cycle's";
    std::lock_guard lock(addingMutex);
    EXPECT_TRUE(addingStack.empty() && bufferedRecords.empty());
}

class Creations : public ::testing::Test {
protected:
    Creations()
    {
        h.liveries.knownTypes = {"B738"};
        h.liveries.titles["KLM B738"] = "KLM 737";
    }
    // One airborne aircraft due in 100 ticks: spawned at once, handed over at the
    // next tick (the run's first creation does not wait).
    void spawnOne()
    {
        liveAircraft.push_back(
            liveRecord(0x484000, "KLM1", {sampleAt(52.3, 4.8, 100), sampleAt(52.3, 4.9, 3000)}));
    }
    EngineHarness h;
};

TEST_F(Creations, ARefusedCreationErasesItsRecord)
{
    const std::string longTitle(300, 'T');
    h.liveries.titles["KLM B738"] = longTitle;
    spawnOne();
    h.tick(52);
    EXPECT_TRUE(liveAircraft.empty());
    EXPECT_NE(h.logText().find("creation refused: record erased"), std::string::npos);
    EXPECT_EQ(liveInSimCount, 0);
}

TEST_F(Creations, ACreationNeverTiedToAnObjectIsDroppedAndItsLateObjectRemoved)
{
    spawnOne();
    h.tick(2);  // handed over at tick 1
    ASSERT_EQ(h.creations().size(), 1u);
    h.tick(creationTieLimitTicks);
    ASSERT_EQ(liveAircraft.size(), 1u) << "still waiting at the limit";
    h.tick(2);
    EXPECT_TRUE(liveAircraft.empty());
    EXPECT_NE(h.logText().find("no object created: record erased"), std::string::npos);
    // The simulator creates it after all: the object goes again.
    h.reply({150, 0x484000, 0, replyLiveCreated, 0, 0});
    h.tick(1);
    ASSERT_EQ(removalDeque.size(), 1u);
    EXPECT_EQ(removalDeque.front(), 150u);
}

TEST_F(Creations, TheCreationIsBuiltFromThePositionBlock)
{
    spawnOne();
    h.tick(51);
    const auto c = h.creations();
    ASSERT_EQ(c.size(), 1u);
    EXPECT_EQ(c[0].first, 1);
    EXPECT_EQ(c[0].second.aircraftId, 0x484000u);
    EXPECT_EQ(c[0].second.liveryTitle, "KLM 737");
    EXPECT_DOUBLE_EQ(c[0].second.initPosition.Latitude, 52.3);
    EXPECT_EQ(c[0].second.initPosition.OnGround, 0u);
    EXPECT_NEAR(c[0].second.initPosition.Heading, 90.0, 0.1);
}

TEST_F(Creations, APendingIdWithoutItsRecordOrCallsignQueuesNothing)
{
    pendingCreationIds.push_back(0x999999);
    liveAircraft.push_back(liveRecord(0x484000, "", {sampleAt(52.3, 4.8, 9000), sampleAt(52.3, 4.9, 9500)}));
    liveAircraft.back().simState = SimState::adding2sim;
    pendingCreationIds.push_back(0x484000);
    h.tick(1);
    h.tick(1);
    EXPECT_TRUE(liveCreationQueue.empty());
    EXPECT_NE(h.logText().find("lf_handleAddingStack"), std::string::npos);
    EXPECT_NE(h.logText().find("objectid = 0?"), std::string::npos);
    EXPECT_TRUE(liveAircraft.empty()) << "a record that is never created does not wait in adding2sim";
}

TEST(AddingStack, ARemovalNeverConfirmedIsLoggedOnce)
{
    EngineHarness h;
    removalDeque.push_back(150);
    removalDeque.push_back(151);
    h.tick(11);
    ASSERT_EQ(removalsInFlight.size(), 2u);
    h.reply({151, 0, 0, replyRemoved, 0, 0});
    h.tick(removalConfirmTicks);
    EXPECT_TRUE(removalsInFlight.empty());
    const std::string log = h.logText();
    EXPECT_NE(log.find("removal of object 150 not confirmed after 300 s"), std::string::npos);
    EXPECT_EQ(log.find("removal of object 151"), std::string::npos);
}

}  // namespace
