// An aircraft standing at the end of its leg is not rolled again while nothing
// it rolls from has changed (updateLiveAc). What the simulator layer is handed
// must be the same, tick for tick and bit for bit, as when every tick rolls:
// the service stand-in's scene, replayed twice, once with the noted rest
// forgotten before every tick.

#include <gtest/gtest.h>

#include <vector>

#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "support/scene_replay.h"

namespace {

constexpr int ticks = 24'000;  // 4 minutes: taxiing aircraft have come to their stops

struct Replayed {
    std::vector<std::uint64_t> digests;  // one a tick, of what that tick handed over
    int restingTicks = 0;                // ticks on which some aircraft's rest held
};

Replayed replay(bool forgetRest)
{
    Replayed run;
    SceneReplay scene(12, 60);
    scene.harness.onTick = [&](const TickTrace& t) {
        TraceDigest d;
        d.tick(t);
        run.digests.push_back(d.result());
    };
    scene.harness.step = [&] {
        bool resting = false;
        for (LiveAc& ac : liveAircraft) {
            resting = resting || ac.rollRestHolds;
            if (forgetRest) ac.rollRestHolds = false;
        }
        run.restingTicks += resting ? 1 : 0;
        lf_handleAddingStack();
    };
    while (scene.ticks() < ticks) scene.tick();
    return run;
}

TEST(RollRest, HandsTheSimulatorWhatRollingEveryTickHandsIt)
{
    const Replayed noted = replay(false);
    const Replayed rolled = replay(true);
    ASSERT_EQ(noted.digests.size(), rolled.digests.size());
    for (std::size_t i = 0; i < noted.digests.size(); ++i)
        ASSERT_EQ(noted.digests[i], rolled.digests[i]) << "tick " << i << " differs";
    EXPECT_GT(noted.restingTicks, ticks / 4);  // the scene has aircraft standing at their stops
    EXPECT_EQ(rolled.restingTicks, noted.restingTicks);  // the same aircraft came to rest
}

}  // namespace
