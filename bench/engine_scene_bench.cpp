#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>

#include "cold_caches.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/flight_plans.h"
#include "engine/motion.h"
#include "support/scene_replay.h"

// The walk the real scene pays: the service stand-in's scene (approaches,
// landings, taxiing, parked, push-backs and departures, each role renewing its
// flights) replayed into the engine against the test world, as
// `scripts/bench-load 120` serves it to the program. With 120 aircraft a role
// and room for 500 the live count stands at its limit: aircraft wait in the
// buffer for room, samples fall due, ground rolls run, creations and removals
// go every few ticks. Timed: the engine's step of each tick, with the caches
// made cold between ticks (the warm row, 0, for comparison). The scene first
// runs until the live count has settled.
//
// Goal: the mean cold tick under 60 us (0.6 % of one core at 100 Hz), the
// share of the 2 % the whole program may take that is the engine's.
//
// Every creation, removal, client event and position block handed to the
// simulator layer goes into a digest printed at the end: a change that is
// meant to be faster only must leave it as it was.

namespace {

constexpr int lf_settleTicks = 40'000;  // creations go one each half second: 500 take 250 s

void BM_sceneTick(benchmark::State& state)
{
    const int perRole = static_cast<int>(state.range(0));
    const bool cold = state.range(1) != 0;
    SceneReplay replay(perRole, 500);
    // Flight-plan files are written on a thread of their own, as in the program.
    startFlightPlanWriter();
    EngineHarness& h = replay.harness;
    TraceDigest digest;
    h.onTick = [&](const TickTrace& t) { digest.tick(t); };
    while (replay.ticks() < lf_settleTicks) replay.tick();

    double stepSeconds = 0.0;
    h.step = [&stepSeconds] {
        const auto t0 = std::chrono::steady_clock::now();
        lf_handleAddingStack();
        stepSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    std::size_t mostBuffered = 0;
    for (auto _ : state) {
        replay.tick();
        state.SetIterationTime(stepSeconds);
        std::size_t buffered = 0;
        for (const LiveAc& ac : liveAircraft) buffered += ac.simState == SimState::buffer;
        mostBuffered = std::max(mostBuffered, buffered);
        if (cold) coolCaches();
    }
    std::size_t active = 0, rolling = 0;
    for (const LiveAc& ac : liveAircraft) {
        active += ac.simState == SimState::active;
        rolling += ac.simState == SimState::active && lf_rollsOnGround(ac);
    }
    state.counters["active"] = static_cast<double>(active);
    state.counters["rolling"] = static_cast<double>(rolling);
    state.counters["mostBuffered"] = static_cast<double>(mostBuffered);
    stopFlightPlanWriter();
    std::fprintf(stderr, "scene %d a role, %s: digest %016llx after %d ticks\n", perRole, cold ? "cold" : "warm",
                 static_cast<unsigned long long>(digest.result()), replay.ticks());
}
BENCHMARK(BM_sceneTick)->Args({120, 1})->Iterations(3000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_sceneTick)->Args({120, 0})->Iterations(3000)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
