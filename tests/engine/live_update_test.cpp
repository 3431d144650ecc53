// The per-tick update of one aircraft and the merge of a new sample, as the
// adding stack calls them. StraightLineMotion checks the simple motion of this
// file's version; the rest is what every version keeps.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/geodesy.h"
#include "engine/adding_stack.h"
#include "engine/live_update.h"
#include "engine/timed_queues.h"
#include "engine_records.h"
#include "simlink/sim_queues.h"
#include "support/engine_harness.h"

namespace {

constexpr std::uint32_t kHex = 0x484000;

LiveAc& activeAc(std::initializer_list<PositionSample> samples, std::uint32_t objectId = 150)
{
    liveAircraft.push_back(liveRecord(kHex, "KLM1", samples));
    LiveAc& a = liveAircraft.back();
    a.simState = SimState::active;
    a.objectId = objectId;
    a.phase = AcPhase::flying;
    a.groundReplySeen = false;
    const PositionSample& f = a.samples.front();
    a.posBlock.latitude = f.latitude;
    a.posBlock.longitude = f.longitude;
    a.posBlock.altitude = f.altitude;
    return a;
}

TEST(UpdateLiveAc, ABufferedAircraftGoesThroughTheSpawnPath)
{
    EngineHarness h;
    h.liveries.titles["KLM B738"] = "KLM 737";
    liveAircraft.push_back(liveRecord(kHex, "KLM1", {sampleAt(52.3, 4.8, 50), sampleAt(52.3, 4.81, 550)}));
    EXPECT_FALSE(updateLiveAc(liveAircraft[0]));
    EXPECT_EQ(liveAircraft[0].simState, SimState::adding2sim);
    liveAircraft.push_back(liveRecord(kHex + 1, "KLM2", {sampleAt(52.3, 4.8, 50)}));
    EXPECT_TRUE(updateLiveAc(liveAircraft[1])) << "one sample at its due time: dropped, to be erased";
}

TEST(UpdateLiveAc, AnActiveAircraftWithoutAnObjectIsRemoved)
{
    EngineHarness h;
    LiveAc& a = activeAc({sampleAt(52.3, 4.8, 0), sampleAt(52.3, 4.81, 500)}, 0);
    updateLiveAc(a);
    EXPECT_EQ(a.simState, SimState::removingfromsim);
    EXPECT_NE(h.logText().find("updateLiveAc objectid=0? hexid: 4734976,cs:KLM1"), std::string::npos);
}

TEST(DecodeExisting, DueTicksIncreaseAndTheQueueIsCapped)
{
    EngineHarness h;
    liveAircraft.push_back(liveRecord(kHex, "KLM1", {sampleAt(52.3, 4.8, 500)}));
    LiveAc& a = liveAircraft.back();
    decodeExisting(a, sampleAt(52.3, 4.81, 400));
    ASSERT_EQ(a.samples.size(), 2u);
    EXPECT_EQ(a.samples[1].dueTick, 501) << "due before the newest: one tick after it";
    while (a.samples.size() <= maxQueuedSamples)
        a.samples.push_back(sampleAt(52.3, 4.8 + 0.001 * static_cast<double>(a.samples.size()), 1000 + static_cast<int>(a.samples.size())));
    decodeExisting(a, sampleAt(52.4, 4.9, 90000));
    EXPECT_TRUE(a.removedInBuffer) << "a queue over the limit removes the aircraft";
}

// This version's motion: a straight line from sample to sample, each reached at
// its due tick unless that would be faster than the samples' speeds.
TEST(StraightLineMotion, ReachesEachSampleAtItsDueTickWithinItsSpeed)
{
    struct Row {
        const char* name;
        double distanceNm;
        double speedKt;
        std::int32_t dueIn;
        std::int32_t reachedIn;
    };
    // 1 nm at 360 kt takes 1000 ticks; allowed 1.25 x: 800.
    const std::vector<Row> rows = {
        {"on time", 1.0, 360, 1000, 1000},
        {"a later due tick: slower", 1.0, 360, 2000, 2000},
        {"too early for the speed: 800 ticks at 1.25 x", 1.0, 360, 300, 800},
        {"slow at the end", 0.1, 36, 1500, 1500},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineHarness h;
        const double dLat = row.distanceNm / 60.0;
        LiveAc& a = activeAc({sampleAt(52.0, 4.8, 0, 9000, row.speedKt, 0),
                              sampleAt(52.0 + dLat, 4.8, row.dueIn, 9000, row.speedKt, 0),
                              sampleAt(52.0 + 2 * dLat, 4.8, row.dueIn + 5000, 9000, row.speedKt, 0)});
        std::int32_t reached = -1;
        double largestStep = 0;
        LatLon last{a.posBlock.latitude, a.posBlock.longitude};
        for (std::int32_t t = 0; t <= row.reachedIn + 5 && reached < 0; ++t) {
            tickCounter = t;
            updateLiveAc(liveAircraft[0]);
            const LiveAc& b = liveAircraft[0];
            const LatLon now{b.posBlock.latitude, b.posBlock.longitude};
            largestStep = std::max(largestStep, distanceNm(last, now));
            last = now;
            if (std::abs(b.posBlock.latitude - (52.0 + dLat)) < 1e-12) reached = t;
        }
        EXPECT_EQ(reached, row.reachedIn);
        EXPECT_LE(largestStep, 1.25 * row.speedKt / 360000 + 1e-9);
        EXPECT_EQ(liveAircraft[0].posBlock.heading, 0.0);
        EXPECT_FALSE(positionQueue.write().empty());
    }
}

TEST(StraightLineMotion, AnEmptyQueueRemovesTheAircraft)
{
    EngineHarness h;
    LiveAc& a = activeAc({sampleAt(52.0, 4.8, 0)});
    tickCounter = 1;
    updateLiveAc(a);
    EXPECT_EQ(a.simState, SimState::removingfromsim);
    EXPECT_EQ(removalDeque.size(), 1u);
    EXPECT_NE(h.logText().find("stream empty ?"), std::string::npos);
}

}  // namespace
