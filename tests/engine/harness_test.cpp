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
    EXPECT_EQ(created[0].first, 1);  // the run's first creation goes at once
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

#include <filesystem>

#include "engine/flight_plans.h"
#include "support/sim_world.h"

namespace {

// The user at 30000 ft over EHAM, the world answering after every flush, a KLM 737 known.
void answerFromTheWorld(EngineHarness& h, SimWorld& world)
{
    UserAcState user{};
    user.latitude = 52.30;
    user.longitude = 4.76;
    user.altitude = 30000;
    user.altAboveGround = 30000;
    world.setUser(user, false);
    h.afterFlush = [&world] { world.answer(); };
    h.liveries.knownTypes = {"B738"};
    h.liveries.categories["B738"] = AcCategory::Large;
    h.liveries.titles["KLM B738"] = "KLM 737";
}

// A whole life in the simulated world: created, tied by its tail, a flight plan
// while the object exists, active, moving, and removed when its samples run out.
TEST(EngineHarness, AWholeLifeInTheSimulatedWorld)
{
    EngineHarness h({.watchPlnFiles = true, .ownSimApi = false});
    SimWorld world;
    answerFromTheWorld(h, world);

    // Three samples 5 s apart at 250 kt (0.35 nm each), due from tick 600 on.
    nlohmann::json entries = nlohmann::json::array();
    for (int i = 0; i < 3; ++i) {
        EntrySpec e;
        e.time = 1'700'000'000.0 + 5 * i;
        e.lon = 4.80 + i * 0.35 / 60 / std::cos(52.3 * 0.017453292519943295);
        entries.push_back(trafficEntry(e));
    }
    h.handOver(entries, 6);

    bool sawPlan = false;
    std::int32_t activeAt = -1, goneAt = -1;
    // Long enough for any motion to let the aircraft go once its samples ran out.
    for (int t = 0; t < 30000 && goneAt < 0; ++t) {
        h.tick(1);
        const TickTrace& tr = h.trace().back();
        // The plan exists while the engine's record has its object (the removal
        // reply reaches the engine one tick after the world removed the object).
        const bool plan = !tr.plnFiles.empty();
        EXPECT_EQ(plan, liveAircraft.size() == 1 && liveAircraft[0].objectId != 0) << t;
        sawPlan |= plan;
        if (activeAt < 0 && !liveAircraft.empty() && liveAircraft[0].simState == SimState::active) activeAt = t;
        if (activeAt >= 0 && liveAircraft.empty() && world.objectCount() == 0) goneAt = t;
    }
    EXPECT_TRUE(sawPlan);
    EXPECT_GT(activeAt, 0);
    EXPECT_GT(goneAt, activeAt);
    const auto events = world.events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, WorldEvent::created);
    EXPECT_EQ(events[0].tail, "KLM123");
    EXPECT_EQ(events[1].kind, WorldEvent::removed);
    EXPECT_TRUE(std::filesystem::is_empty(flightPlanFolder()));
}

}  // namespace

namespace {

// An object moves from the first frame after the simulator gave its id (the
// answer to the request for the object it announced), not only at its
// activation 200 ticks later: no aircraft hangs where it was created.
TEST(EngineHarness, AnObjectMovesFromTheFrameAfterItsId)
{
    EngineHarness h({.ownSimApi = false});
    SimWorld world;
    answerFromTheWorld(h, world);
    nlohmann::json entries = nlohmann::json::array();
    for (int i = 0; i < 4; ++i) {
        EntrySpec e;  // 250 kt eastwards, a fix every 5 s
        e.time = 1'700'000'000.0 + 5 * i;
        e.lon = 4.80 + i * 0.35 / 60 / std::cos(52.3 * 0.017453292519943295);
        entries.push_back(trafficEntry(e));
    }
    h.handOver(entries, 6);
    std::int32_t createdAt = -1, movedAt = -1;
    double createdLon = 0.0;
    for (int t = 0; t < 600 && movedAt < 0; ++t) {
        h.tick(1);
        const auto o = world.objectByTail("KLM123");
        if (!o) continue;
        if (createdAt < 0) {
            createdAt = t;
            createdLon = o->position.longitude;
        }
        if (o->positionWrites > 0 && o->position.longitude != createdLon) movedAt = t;
    }
    ASSERT_GE(createdAt, 0);
    ASSERT_GE(movedAt, 0) << "never moved";
    // A pilot sees it move at once: within 0.3 s of its creation (here a frame every tick).
    EXPECT_LE(movedAt - createdAt, 30);
    // Its activation still comes 200 ticks after its id: the engines start then.
    const auto startsAt = [&h] {
        for (const TickTrace& tr : h.trace())
            for (const QueuedEvent& e : tr.events)
                if (e.eventId == EVENT_ENGINE_AUTO_START) return tr.tick;
        return -1;
    };
    h.tick(250);
    EXPECT_GE(startsAt() - createdAt, 200);
    EXPECT_LE(startsAt() - createdAt, 230);
}

}  // namespace
