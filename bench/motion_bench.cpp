#include <benchmark/benchmark.h>

#include <mutex>

#include "core/airport_services_fake.h"
#include "core/app_services_fake.h"
#include "core/livery_services_fake.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/scheduling.h"
#include "simlink/sim_api_fake.h"
#include "simlink/sim_client.h"
#include "simlink/sim_handover.h"
#include "simlink/sim_queues.h"
#include "support/motion_fleet.h"

// The motion of 500 active aircraft (a quarter each cruising, flaring, taxiing
// along bends and climbing out) with samples falling due every few ticks: the
// update pass alone and the engine's whole tick. Goal: under 100 us a tick.

namespace {

struct MotionBench {
    MotionBench()
    {
        lf_reserveEngineContainers();
        reset();
        setRunningFlag(true);
        airports.park = {"EHAM", "AMS", 50.2, 4.3, 0.0};
    }
    ~MotionBench() { reset(); }
    static void reset()
    {
        removeAllAiObjects();
        tickCounter = 0;
        resetSimLink();
        (void)takeSimReplies();
    }
    // The events of the due samples pile up without a simulator: dropped now
    // and then, outside the timing, as a frame would send them.
    static void dropEvents()
    {
        std::lock_guard lock(simQueueMutex);
        eventQueue.clear();
    }
    template <class Step>
    static void run(benchmark::State& state, Step step)
    {
        const auto n = static_cast<std::size_t>(state.range(0));
        buildMotionFleet(n, 0);
        std::int64_t ticks = 0;
        for (auto _ : state) {
            step();
            benchmark::ClobberMemory();
            if (++ticks % 2000 == 0) {
                state.PauseTiming();
                dropEvents();
                if (ticks % 20000 == 0) buildMotionFleet(n, tickCounter.load());
                state.ResumeTiming();
            }
        }
        std::size_t active = 0;
        for (const LiveAc& ac : liveAircraft) active += ac.simState == SimState::active;
        state.counters["active"] = static_cast<double>(active);
    }

    AppServicesFake app;
    LiveryServicesFake liveries;
    AirportServicesFake airports;
    SimApiFake sim;
};

void BM_updateAllLiveAc(benchmark::State& state)
{
    MotionBench bench;
    MotionBench::run(state, [] {
        lf_updateAllLiveAc();
        tickCounter.fetch_add(1);
    });
}
BENCHMARK(BM_updateAllLiveAc)->Arg(500)->Unit(benchmark::kMicrosecond);

void BM_handleAddingStackWithMotion(benchmark::State& state)
{
    MotionBench bench;
    MotionBench::run(state, [] { lf_handleAddingStack(); });
}
BENCHMARK(BM_handleAddingStackWithMotion)->Arg(500)->Unit(benchmark::kMicrosecond);

}  // namespace
