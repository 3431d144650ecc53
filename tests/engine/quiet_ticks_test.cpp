// Quiet ticks: which engine states let the tick loop sleep, that a tick the
// query calls quiet really only counts, and the tick the traffic reader's due
// ticks count from while the loop sleeps.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <mutex>

#include "engine/adding_stack.h"
#include "engine/quiet_ticks.h"
#include "engine/scheduling.h"
#include "engine/sim_replies.h"
#include "engine/stand.h"
#include "engine/timed_queues.h"
#include "engine_records.h"
#include "simlink/sim_queues.h"
#include "support/engine_harness.h"

namespace {

using std::chrono::milliseconds;

AcCreation creationOf(const std::string& callsign, std::uint32_t aircraftId)
{
    return AcCreation{{}, callsign, "Title", aircraftId};
}

TrafficRecord recordAt(double time)
{
    TrafficRecord r;
    r.time = time;
    return r;
}

TEST(QuietTicks, WhatKeepsTheEngineBusy)
{
    struct Row {
        const char* name;
        std::function<void()> make;
        std::int32_t quiet;  // after the first tick (tickCounter 1)
    };
    const std::vector<Row> rows = {
        {"nothing: quiet up to the creation slot at 50", [] {}, 49},
        {"only parked statics", [] { staticAircraft.push_back(SimAc{}); }, 49},
        {"a live aircraft, even one waiting in the buffer", [] { liveAircraft.emplace_back(); }, 0},
        {"a live creation queued", [] { lf_pushCreation(liveCreationQueue, creationOf("LIVE1", 0x400001)); }, 0},
        {"a static creation queued", [] { lf_pushCreation(staticCreationQueue, creationOf("STAT1*", 11)); }, 0},
        {"a removal queued", [] { removalDeque.push_back(100); }, 0},
        {"a creation to prepare", [] { pendingCreationIds.push_back(0x400001); }, 0},
        {"a creation awaiting its object", [] { creationsInFlight.push_back({11, 0}); }, 0},
        {"a removal awaiting its confirmation", [] { removalsInFlight.push_back({100, 0}); }, 0},
        {"an object counting to its activation", [] { createdObjects.push_back({100, 11, 0, replyStaticCreated}); },
         0},
        {"a static placement planned", [] { parkingSelections.emplace_back(); }, 0},
        {"records of the buffered start", [] {
             std::lock_guard lock(addingMutex);
             bufferedRecords.push_back(recordAt(1'700'000'000.0));
         }, 0},
        {"live records on the adding stack", [] {
             std::lock_guard lock(addingMutex);
             addingStack.push_back(recordAt(1'700'000'000.0));
         }, 0},
        {"a simulator reply", [] { pushSimReply({100, 0, 0, replyRemoved}); }, 0},
        {"positions to hand over", [] { positionQueue.write().push_back({}); }, 0},
        {"a landing flares: the range request every 20 ticks", [] { fastRangeRequest = true; }, 19},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineHarness h;
        h.tick(1);
        row.make();
        EXPECT_EQ(lf_quietTicks(), row.quiet);
        positionQueue.write().clear();
    }
}

TEST(QuietTicks, TheCountEndsBeforeEveryTickWithACadence)
{
    EngineHarness h;
    struct Row {
        std::int32_t tick;
        std::int32_t quiet;
    };
    for (const Row row : {Row{0, 0}, Row{1, 49}, Row{49, 1}, Row{50, 0}, Row{51, 49}, Row{99, 1}, Row{100, 0},
                          Row{12345, 5}}) {
        SCOPED_TRACE(row.tick);
        tickCounter = row.tick;
        EXPECT_EQ(lf_quietTicks(), row.quiet);
    }
}

// The run's first live creation is followed by a range request of its own 20
// ticks later; when that creation fails at once, the engine is empty again but
// the request still comes on its tick.
TEST(QuietTicks, TheFirstLiveCreationsOwnRangeRequestIsNotSlept)
{
    EngineHarness h;
    lf_pushCreation(liveCreationQueue, creationOf("LIVE1", 0x400001));
    h.tick(1);  // handed over at tick 0: its range request at tick 20
    ASSERT_EQ(lf_earlyRangeTick(), 20);
    creationsInFlight.clear();  // refused by the simulator
    liveAircraft.clear();
    EXPECT_EQ(lf_quietTicks(), 19);
}

// Every tick the query calls quiet asks nothing of the simulator and hands
// nothing over, with parked statics in place; the ticks it does not call quiet
// are exactly those with a cadence.
TEST(QuietTicks, AQuietTickOnlyCounts)
{
    EngineHarness h;
    SimAc parked;
    parked.aircraftId = 11;
    parked.objectId = 300;
    parked.callsign = "KLM1*";
    parked.simState = SimState::active;
    staticAircraft.push_back(parked);
    h.tick(1);
    std::int32_t busyTicks = 0;
    for (std::int32_t t = 1; t <= 300; ++t) {
        SCOPED_TRACE(t);
        const std::int32_t quiet = lf_quietTicks();
        EXPECT_EQ(quiet == 0, t % 50 == 0);
        busyTicks += quiet == 0;
        const std::size_t calls = h.api().calls.get().size();
        h.tick(1);
        const TickTrace& tr = h.trace().back();
        if (quiet == 0) continue;
        EXPECT_EQ(h.api().calls.get().size(), calls);
        EXPECT_TRUE(tr.creations.empty() && tr.removals.empty() && tr.events.empty() && tr.positions.empty());
    }
    EXPECT_EQ(busyTicks, 6);
    ASSERT_EQ(staticAircraft.size(), 1u);
    EXPECT_EQ(staticAircraft[0].simState, SimState::active);
}

// While the worker sleeps through quiet ticks the counter stands still; the
// reader's records are due by the tick the clock has reached, and the worker
// counts the same ticks when it wakes (never more than it announced).
TEST(QuietTicks, WhileTheLoopSleepsTheDueTicksFollowTheClock)
{
    struct Row {
        const char* name;
        int wokeAfterMs;  // after the tick due at the sleep's start
        std::int32_t counted;
    };
    const Row rows[] = {
        {"woken before the first quiet tick's time", -4, 0},
        {"at the first quiet tick's time", 0, 0},
        {"within the third", 29, 2},
        {"at the tick after the quiet ones", 490, 49},
        {"late: no more than the quiet ticks", 700, 49},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineHarness h;
        tickCounter = 101;
        const auto due = platform::steadyNow() + milliseconds(6);
        lf_beginQuietSleep(due, 49);
        h.clock().advance(milliseconds(6 + row.wokeAfterMs));
        EXPECT_EQ(tickCounter.load(), 101) << "the counter stands still while the loop sleeps";
        EXPECT_EQ(lf_schedulingTick(), 101 + row.counted);
        h.handOverRecords({recordAt(1'700'000'000.0)}, 0);
        {
            std::lock_guard lock(addingMutex);
            ASSERT_EQ(bufferedRecords.size(), 1u);
            EXPECT_EQ(bufferedRecords[0].dueTick, 101 + row.counted);
        }
        EXPECT_EQ(lf_endQuietSleep(platform::steadyNow()), row.counted);
        EXPECT_EQ(tickCounter.load(), 101 + row.counted);
        EXPECT_EQ(lf_schedulingTick(), tickCounter.load()) << "awake: the counter itself";
        EXPECT_EQ(lf_endQuietSleep(platform::steadyNow() + milliseconds(500)), 0) << "counted once";
    }
}

}  // namespace
