// Scheduling and merging of traffic: due ticks, the hand-over of live and
// buffered batches, the merge's plausibility tests and the filters of a new
// aircraft.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <stdexcept>

#include "core/run_state.h"
#include "engine/adding_stack.h"
#include "engine/scheduling.h"
#include "engine_records.h"
#include "support/engine_harness.h"
#include "traffic_service/handover.h"
#include "traffic_service/traffic_reader.h"

namespace {

std::vector<TrafficRecord> batchAt(std::initializer_list<double> times)
{
    std::vector<TrafficRecord> b;
    std::uint32_t id = 0x400000;
    for (double t : times) b.push_back(trafficRecord(id++, t));
    return b;
}

TEST(DueTicks, Table)
{
    struct Row {
        const char* name;
        std::vector<double> times;
        int delay;
        std::int32_t tick;
        std::vector<std::int32_t> due;  // of the records kept, in batch order
    };
    const double t = 1'700'000'000.0;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::vector<Row> rows = {
        {"one record: base", {t}, 30, 7, {3007}},
        {"two records: m is the later, the earlier due before base", {t, t + 2.0}, 0, 0, {-200, 0}},
        {"odd count: the middle one", {t + 4.0, t, t + 2.0}, 6, 100, {900, 500, 700}},
        {"even count: the upper middle", {t, t + 1.0, t + 2.0, t + 3.0}, 0, 0, {-200, -100, 0, 100}},
        {"2.37 s newer: 230 ticks after base", {t, t + 2.37, t - 2.37}, 0, 1000, {1000, 1230, 770}},
        {"0.5 s spacing keeps its steps", {t, t + 0.5, t + 1.0}, 0, 0, {-50, 0, 50}},
        {"time 0 dropped before m", {0.0, t, t + 2.0}, 0, 0, {-200, 0}},
        {"negative, NaN and infinite dropped", {-5.0, nan, std::numeric_limits<double>::infinity(), t}, 0, 0, {0}},
        {"over a day from m dropped", {t - 90000.0, t, t + 1.0}, 0, 0, {0, 100}},
        {"a day exactly is kept", {t - 86400.0, t, t + 1.0}, 0, 0, {-8640000, 0, 100}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<TrafficRecord> b;
        std::uint32_t id = 0x400000;
        for (double time : row.times) b.push_back(trafficRecord(id++, time));
        lf_setDueTicks(b, row.delay, row.tick);
        ASSERT_EQ(b.size(), row.due.size());
        for (std::size_t i = 0; i < b.size(); ++i) EXPECT_EQ(b[i].dueTick, row.due[i]) << i;
    }
}

class Scheduling : public ::testing::Test {
protected:
    Scheduling() : h(ScenarioOptions{.flightRunning = false})
    {
        h.liveries.knownTypes = {"B738", "A320", "C172", "ZZZ9"};
        h.liveries.categories["B738"] = AcCategory::Large;
        h.liveries.categories["C172"] = AcCategory::Light;
        h.liveries.titles["KLM B738"] = "KLM 737";
    }
    std::size_t stackSize()
    {
        std::lock_guard lock(addingMutex);
        return addingStack.size();
    }
    EngineHarness h;
};

TEST_F(Scheduling, LiveBatchesAreHandedOverOnlyIntoAnEmptyStackWhileTheFlightRuns)
{
    auto b = batchAt({1.7e9, 1.7e9 + 2});
    lf_scheduleTrafficRecords(b, 30);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(stackSize(), 0u) << "not running: dropped";

    setRunningFlag(true);
    b = batchAt({1.7e9, 1.7e9 + 2, 1.7e9 + 4, 1.7e9 + 6, 1.7e9 + 8});
    lf_scheduleTrafficRecords(b, 30);
    EXPECT_EQ(stackSize(), 5u);

    b = batchAt({1.7e9 + 10});
    lf_scheduleTrafficRecords(b, 30);
    EXPECT_TRUE(b.empty());
    EXPECT_EQ(stackSize(), 5u) << "a batch finding records on the stack is dropped whole";

    // Two merges a tick: three ticks empty the stack; then the next batch is taken.
    h.tick(2);
    EXPECT_EQ(stackSize(), 1u);
    h.tick(1);
    EXPECT_EQ(stackSize(), 0u);
    b = batchAt({1.7e9 + 12});
    lf_scheduleTrafficRecords(b, 30);
    EXPECT_EQ(stackSize(), 1u);
}

TEST_F(Scheduling, BufferedBatchesWaitForTheWorkersNextTickAndMergeInOrder)
{
    EntrySpec first;
    EntrySpec second;
    second.time = first.time + 5;
    second.lon = first.lon + 0.01;
    // The hand-over merges nothing on the calling (reader) thread.
    h.handOver(nlohmann::json::array({trafficEntry(first)}), 0);
    h.handOver(nlohmann::json::array({trafficEntry(second)}), 6);
    EXPECT_TRUE(liveAircraft.empty());
    {
        std::lock_guard lock(addingMutex);
        ASSERT_EQ(bufferedRecords.size(), 2u);
        EXPECT_EQ(bufferedRecords[0].dueTick, 0);
        EXPECT_EQ(bufferedRecords[1].dueTick, 600);
    }
    h.tick(1);
    ASSERT_EQ(liveAircraft.size(), 1u);
    ASSERT_EQ(liveAircraft[0].samples.size(), 2u);
    EXPECT_EQ(liveAircraft[0].samples[1].dueTick, 600);
    std::lock_guard lock(addingMutex);
    EXPECT_TRUE(bufferedRecords.empty());
}

TEST_F(Scheduling, HandOversWhileClosingAndEmptyAnswers)
{
    setRunningFlag(true);
    trafficReader().lastRecordTime = 5.0;
    trafficLastRecordTime = 5.0;
    std::vector<TrafficRecord> empty;
    lf_scheduleTrafficRecords(empty, 30);
    EXPECT_EQ(trafficReader().lastRecordTime.load(), 0.0);
    EXPECT_EQ(trafficLastRecordTime.load(), 0.0);

    requestClosing(ClosingReason::NewSettings, 0);
    auto b = batchAt({1.7e9});
    lf_scheduleTrafficRecords(b, 0);
    auto c = batchAt({1.7e9});
    lf_scheduleTrafficRecords(c, 30);
    std::lock_guard lock(addingMutex);
    EXPECT_TRUE(bufferedRecords.empty());
    EXPECT_TRUE(addingStack.empty());
}

TEST_F(Scheduling, OutliersAreLoggedOnceABatch)
{
    auto b = batchAt({0.0, -1.0, 1.7e9});
    lf_scheduleTrafficRecords(b, 0);
    const std::string log = h.logText();
    EXPECT_NE(log.find("lf_scheduleTrafficRecords: 2 record(s) without a usable time dropped"), std::string::npos);
}

TEST_F(Scheduling, WiredHandOverEntries)
{
    ServiceHandover table;
    wireEngineHandover(table);
    table.setEngineQnh(998);
    EXPECT_EQ(engineQnh.load(), 998);
    table.pushBlockedReply(0x484000);
    const auto replies = takeSimReplies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].kind, static_cast<std::uint32_t>(replyCallsignBlocked));
    EXPECT_EQ(replies[0].aircraftId, 0x484000u);
    removeAllAiObjects();
    EXPECT_EQ(engineQnh.load(), 1013);
}

// The merge's tests against the newest queued sample, in their order.
TEST(MergeTests, Table)
{
    struct Row {
        const char* name;
        double backGs;
        double backTrack;
        double dt;
        double gs;
        double track;
        bool airborne;
        std::int32_t parkProgress;
        bool refused;
    };
    const std::vector<Row> rows = {
        {"1.0 s newer", 250, 90, 1.0, 250, 50, true, 0, true},
        {"1.01 s newer", 250, 90, 1.01, 250, 50, true, 0, false},
        {"older", 250, 90, -3.0, 250, 50, true, 0, true},
        {"4 -> 90 kt", 4, 90, 5, 90, 50, true, 0, true},
        {"6 -> 60 kt", 6, 90, 5, 60, 50, false, 0, true},
        {"6 -> 59 kt", 6, 90, 5, 59, 50, false, 0, false},
        {"60 -> 6 kt", 60, 90, 5, 6, 50, false, 0, true},
        {"90 -> 4 kt", 90, 90, 5, 4, 50, false, 0, true},
        {"airborne 121 kt same track 2 s", 121, 90, 2, 121, 90.5, true, 0, true},
        {"airborne 121 kt same track 7.3 s", 121, 90, 7.3, 121, 90.5, true, 0, false},
        {"airborne 119 kt same track 2 s", 119, 90, 2, 119, 90, true, 0, false},
        {"airborne 121 kt turning", 121, 90, 2, 121, 91.5, true, 0, false},
        {"airborne 121 kt while parking", 121, 90, 2, 121, 90, true, 1, false},
        {"taxi 10 kt straight 2 s", 10, 90, 2, 10, 91, false, 0, true},
        {"taxi 10 kt straight 4 s", 10, 90, 4, 10, 91, false, 0, false},
        {"standing 14 s", 0, 90, 14, 0, 90, false, 0, true},
        {"standing 16 s", 0, 90, 16, 0, 90, false, 0, false},
        {"taxi 359 and 1 degrees are 358 apart", 10, 359, 2, 10, 1, false, 0, false},
        {"taxi 31 kt", 31, 90, 2, 31, 90, false, 0, false},
        {"taxi while parking", 10, 90, 2, 10, 90, false, 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        LiveAc ac = liveRecord(0x484000, "KLM1", {sampleAt(52, 4, 0, row.airborne ? 5000 : 0, row.backGs, row.backTrack)});
        ac.lastSampleTime = 1000.0;
        ac.parkProgress = row.parkProgress;
        TrafficRecord r = trafficRecord(0x484000, 1000.0 + row.dt, row.gs, row.track, row.airborne);
        EXPECT_EQ(lf_recordRefused(ac, r), row.refused);
    }
}

TEST_F(Scheduling, NewAircraftFilters)
{
    struct Row {
        const char* name;
        std::function<void(TrafficRecord&, EngineHarness&)> edit;
        bool added;
        std::string type = "B738";
    };
    const std::vector<Row> rows = {
        {"known type", nullptr, true},
        {"unknown type, no registration: dropped", [](TrafficRecord& r, EngineHarness&) { r.type = "XXXX"; }, false},
        {"unknown type, database type",
         [](TrafficRecord& r, EngineHarness& h) {
             r.type = "XXXX";
             r.registration = "PH-ABC";
             h.liveries.dbase["PH-ABC"] = {"PH-ABC", "KLM", "A320", "", false};
         },
         true, "A320"},
        {"empty type from the database",
         [](TrafficRecord& r, EngineHarness& h) {
             r.type.clear();
             r.registration = "PH-ABD";
             h.liveries.dbase["PH-ABD"] = {"PH-ABD", "KLM", "ZZZ9", "", false};
         },
         true, "ZZZ9"},
        {"Light without LIGHT_AIRCRAFT",
         [](TrafficRecord& r, EngineHarness&) {
             r.type = "C172";
             LIGHT_AIRCRAFT.set(false);
         },
         false},
        {"within 120 ft of the park airport",
         [](TrafficRecord& r, EngineHarness& h) {
             h.airports.park = {"EHAM", "AMS", 52.3, 4.76, 2000.0};
             r.altitude = 2110;
         },
         false},
        {"130 ft above the park airport",
         [](TrafficRecord& r, EngineHarness& h) {
             h.airports.park = {"EHAM", "AMS", 52.3, 4.76, 2000.0};
             r.altitude = 2130;
         },
         true},
        {"no park airport: reference -1000 ft",
         [](TrafficRecord& r, EngineHarness&) { r.altitude = 5000; }, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        liveAircraft.clear();
        h.airports.park = {};
        LIGHT_AIRCRAFT.set(true);
        TrafficRecord r = trafficRecord(0x484000, 1.7e9);
        if (row.edit) row.edit(r, h);
        lf_mergeTrafficRecord(r);
        ASSERT_EQ(liveAircraft.size(), row.added ? 1u : 0u);
        if (!row.added) continue;
        const LiveAc& ac = liveAircraft[0];
        EXPECT_EQ(ac.type, row.type);
        EXPECT_EQ(ac.aircraftId, 0x484000u);
        EXPECT_EQ(ac.coupledCs, "KLM1");
        EXPECT_EQ(ac.turnStep, ac.groundTurnStep);
        EXPECT_EQ(ac.manoeuvreSpeed, categoryConstants(ac.category).manoeuvreSpeed);
        EXPECT_EQ(ac.lastSampleTime, 1.7e9);
        EXPECT_EQ(ac.phase, AcPhase::birth);
    }
}

TEST_F(Scheduling, KnownIdsAndDuplicates)
{
    TrafficRecord a = trafficRecord(0x484000, 1.7e9);
    lf_mergeTrafficRecord(a);
    TrafficRecord dup = trafficRecord(0x484001, 1.7e9 + 5);  // same callsign and type, new id
    lf_mergeTrafficRecord(dup);
    EXPECT_EQ(liveAircraft.size(), 1u);
    dup.type = "A320";  // types differ: another aircraft
    lf_mergeTrafficRecord(dup);
    EXPECT_EQ(liveAircraft.size(), 2u);
    TrafficRecord noCs = trafficRecord(0x484002, 1.7e9 + 5);
    noCs.callsign.clear();
    noCs.registration = "PH-XYZ";
    lf_mergeTrafficRecord(noCs);
    EXPECT_EQ(liveAircraft.size(), 3u);

    TrafficRecord next = trafficRecord(0x484000, 1.7e9 + 5);
    next.lon = 4.9;
    lf_mergeTrafficRecord(next);
    EXPECT_EQ(findLive(0x484000)->samples.size(), 2u);
    EXPECT_EQ(findLive(0x484000)->lastSampleTime, 1.7e9 + 5);

    for (SimState s : {SimState::liveryrespawn, SimState::removingfromsim}) {
        findLive(0x484000)->simState = s;
        TrafficRecord later = trafficRecord(0x484000, 1.7e9 + 20);
        lf_mergeTrafficRecord(later);
        EXPECT_EQ(findLive(0x484000)->samples.size(), 2u);
    }
    // In the buffer, a sample near the park airport's elevation is ignored.
    findLive(0x484000)->simState = SimState::buffer;
    h.airports.park = {"EHAM", "AMS", 52.3, 4.76, 0.0};
    TrafficRecord low = trafficRecord(0x484000, 1.7e9 + 30);
    low.altitude = 100;
    lf_mergeTrafficRecord(low);
    EXPECT_EQ(findLive(0x484000)->samples.size(), 2u);
}

// A merge step that throws skips its record only.
class ThrowingLiveries : public LiveryServicesFake {
public:
    bool isKnownType(const std::string& type) override
    {
        if (type == "BOOM") throw std::runtime_error("no such type table");
        return LiveryServicesFake::isKnownType(type);
    }
};

TEST_F(Scheduling, AThrowingMergeSkipsOnlyItsRecord)
{
    ThrowingLiveries liveries;
    liveries.knownTypes = {"B738"};
    setRunningFlag(true);
    std::vector<TrafficRecord> b = {trafficRecord(0x484000, 1.7e9), trafficRecord(0x484001, 1.7e9)};
    b[0].type = "BOOM";
    b[1].callsign = "KLM2";
    lf_scheduleTrafficRecords(b, 30);
    h.tick(1);
    ASSERT_EQ(liveAircraft.size(), 1u);
    EXPECT_EQ(liveAircraft[0].aircraftId, 0x484001u);
    EXPECT_NE(h.logText().find("lf_mergeTrafficRecord: no such type table"), std::string::npos);
    setLiveryServices(&h.liveries);
}

}  // namespace
