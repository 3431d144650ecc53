// The motion with the simulator layer's thread beside it: the engine ticks on
// one thread while another flushes the command queues (positions, events) and
// pushes ground information, as the SimClient thread does. Run under
// ThreadSanitizer too.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "simlink/sim_handover.h"
#include "simlink/sim_queues.h"
#include "support/engine_harness.h"
#include "support/motion_fleet.h"

namespace {

TEST(MotionThreads, TicksBesideFlushesAndGroundReplies)
{
    EngineHarness h;
    constexpr std::size_t fleet = 60;
    buildMotionFleet(fleet, 0);
    std::atomic<bool> stop{false};
    std::atomic<long> flushes{0};
    std::thread simClient([&] {
        std::uint32_t i = 0;
        while (!stop.load()) {
            flushSimQueues();
            SimReply r;
            r.kind = replyGroundInfo;
            r.objectId = 1000 + (i++ % fleet);
            r.aircraftId = r.objectId % 4 == 2 ? 1 : 0;  // the taxiing quarter is on the ground
            r.valueA = 0.0;
            r.valueB = r.aircraftId == 1 ? 8.0 : 300.0;
            pushSimReply(r);
            flushes.fetch_add(1);
            std::this_thread::yield();
        }
    });
    std::thread worker([&] {
        // Ticks only once the client thread runs: on a busy machine it may start late.
        while (flushes.load() == 0) std::this_thread::yield();
        for (int t = 0; t < 3000; ++t) lf_handleAddingStack();
        stop = true;
    });
    worker.join();
    simClient.join();
    EXPECT_GT(flushes.load(), 0);
    EXPECT_EQ(tickCounter.load(), 3000);
    std::size_t active = 0;
    for (const LiveAc& ac : liveAircraft) active += ac.simState == SimState::active;
    EXPECT_EQ(active, fleet);
}

}  // namespace
