// The per-tick step allocates nothing in the steady state: hundreds of active
// aircraft between their samples, replies drained, queues empty.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "engine/adding_stack.h"
#include "engine_records.h"
#include "simlink/sim_queues.h"
#include "support/engine_harness.h"

namespace {
std::atomic<bool> lf_counting{false};
std::atomic<long> lf_allocations{0};
}  // namespace

// A counting replacement of the global allocation functions, on malloc and free
// (the compiler cannot see that the two ends match).
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size)
{
    if (lf_counting.load(std::memory_order_relaxed)) lf_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }

namespace {

TEST(TickAllocation, TheSteadyStateAllocatesNothing)
{
    EngineHarness h;
    for (std::uint32_t i = 0; i < 300; ++i) {
        const double lat = 52.0 + 0.001 * i;
        liveAircraft.push_back(liveRecord(0x500000 + i, vr::format("T{}", i),
                                          {sampleAt(lat, 4.8, 0), sampleAt(lat, 4.9, 100000)}));
        LiveAc& a = liveAircraft.back();
        a.simState = SimState::active;
        a.objectId = 100 + i;
        a.posBlock.latitude = lat;
        a.posBlock.longitude = 4.8;
    }
    h.tick(3);  // warm-up: every buffer at its working size
    long worst = 0;
    for (int t = 3; t < 100; ++t) {
        if (t % 2 == 0) flushSimQueues();
        lf_allocations = 0;
        lf_counting = true;
        lf_handleAddingStack();
        lf_counting = false;
        worst = std::max(worst, lf_allocations.load());
    }
    EXPECT_EQ(worst, 0);
    std::lock_guard lock(simQueueMutex);
    EXPECT_EQ(positionQueue.sendLocked().size(), 300u) << "every aircraft moved in the last tick";
}

}  // namespace
