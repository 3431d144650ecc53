// The harness itself: a scenario from a traffic answer to an active object and
// its removal, with the trace the engine tests read.

#include <gtest/gtest.h>

#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "support/engine_harness.h"

namespace {

nlohmann::json twoSamples()
{
    EntrySpec a;
    EntrySpec b;
    b.time = a.time + 5;
    b.lon = a.lon + 0.01;
    return nlohmann::json::array({trafficEntry(a), trafficEntry(b)});
}

TEST(EngineHarness, AnAnswerBecomesACreationAndAnActiveObject)
{
    EngineHarness h;
    h.liveries.knownTypes = {"B738"};
    h.liveries.categories["B738"] = AcCategory::Large;
    h.liveries.titles["KLM B738"] = "KLM 737";
    h.handOver(twoSamples(), 6);
    h.tick(1);
    ASSERT_EQ(liveAircraft.size(), 1u);
    // Due at 100 and 600: an airborne aircraft is created 100 ticks before its first sample.
    EXPECT_EQ(liveAircraft[0].simState, SimState::adding2sim);
    EXPECT_EQ(liveAircraft[0].samples.size(), 2u);
    h.tick(100);
    const auto created = h.creations();
    ASSERT_EQ(created.size(), 1u);
    EXPECT_EQ(created[0].first, 50);
    EXPECT_EQ(created[0].second.callsign, "KLM123");
    EXPECT_EQ(created[0].second.liveryTitle, "KLM 737");
    EXPECT_EQ(liveAircraft[0].simState, SimState::adding2sim);
    h.reply({100, 0x484000, 0, replyLiveCreated, 0.0, 3000.0});
    h.tick(201);
    EXPECT_EQ(liveAircraft[0].simState, SimState::active);
    EXPECT_EQ(liveAircraft[0].objectId, 100u);
    EXPECT_FALSE(h.trace().back().positions.empty());
}

}  // namespace
