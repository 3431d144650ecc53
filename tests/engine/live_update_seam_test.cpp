// The per-tick update of one aircraft and the merge of a new sample, as the
// adding stack calls them: what the update pass and the merge rely on.

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

}  // namespace
