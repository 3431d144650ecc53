#include <benchmark/benchmark.h>

#include "engine/ac_records.h"
#include "simlink/sim_queues.h"

// The part of every 10 ms tick that touches each live aircraft: the steps added
// to its position block, the block queued for the simulator, then the swap of
// the position buffers. With 500 aircraft this has to stay far below 1 ms.

static void BM_tickOverLiveAircraft(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    std::vector<LiveAc> aircraft(n);
    for (std::size_t i = 0; i < n; ++i) {
        LiveAc& ac = aircraft[i];
        ac.objectId = static_cast<std::uint32_t>(100 + i);
        ac.simState = SimState::active;
        ac.posBlock.latitude = 47.0 + 0.001 * static_cast<double>(i);
        ac.latStep = 1e-6;
        ac.lonStep = 2e-6;
        ac.altStep = 0.1;
        ac.samples.resize(4);
    }
    for (auto _ : state) {
        auto& out = positionQueue.write();
        for (LiveAc& ac : aircraft) {
            if (ac.simState != SimState::active) continue;
            ac.posBlock.latitude += ac.latStep;
            ac.posBlock.longitude += ac.lonStep;
            ac.posBlock.heading += ac.headingStep;
            ac.posBlock.altitude += ac.altStep;
            out.push_back({ac.posBlock, ac.objectId});
        }
        handOverPositions();
        benchmark::DoNotOptimize(aircraft.data());
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * n));
    state.counters["liveAcBytes"] = static_cast<double>(sizeof(LiveAc));
}
BENCHMARK(BM_tickOverLiveAircraft)->Arg(100)->Arg(500)->Arg(1000);
