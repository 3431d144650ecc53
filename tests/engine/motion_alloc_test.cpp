// The steady state of the motion: 1,000 ticks of 500 active aircraft in every
// kind of motion allocate nothing and write no log line. Counted with this
// program's own operator new.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "engine/adding_stack.h"
#include "simlink/sim_queues.h"
#include "support/motion_fixture.h"
#include "support/motion_fleet.h"

namespace {
std::atomic<bool> lf_counting{false};
std::atomic<long> lf_allocations{0};
}  // namespace

void* operator new(std::size_t n)
{
    if (lf_counting.load(std::memory_order_relaxed)) lf_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(n == 0 ? 1 : n)) return p;
    throw std::bad_alloc();
}
// The replaced operator new takes its memory from malloc, so free is the match.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

std::string* volatile lf_kept = nullptr;

class SteadyState : public MotionTest {};

TEST_F(SteadyState, FiveHundredAircraftAllocateNothingAndLogNothing)
{
    buildMotionFleet(500, 0);
    const auto tick = [] {
        lf_updateAllLiveAc();
        {
            std::lock_guard lock(simQueueMutex);
            eventQueue.clear();  // what a frame would send
        }
        tickCounter.fetch_add(1);
    };
    for (int i = 0; i < 1000; ++i) tick();  // the buffers grow once
    const auto lines = logLines().size();
    // The counter sees an allocation.
    lf_allocations = 0;
    lf_counting = true;
    lf_kept = new std::string(100, 'x');
    lf_counting = false;
    delete lf_kept;
    ASSERT_EQ(lf_allocations.load(), 2);  // the string object and its text
    lf_allocations = 0;
    lf_counting = true;
    for (int i = 0; i < 1000; ++i) tick();
    lf_counting = false;
    EXPECT_EQ(lf_allocations.load(), 0);
    EXPECT_EQ(logLines().size(), lines);
    std::size_t active = 0;
    for (const LiveAc& ac : liveAircraft) active += ac.simState == SimState::active;
    EXPECT_EQ(active, 500u);
}

}  // namespace
