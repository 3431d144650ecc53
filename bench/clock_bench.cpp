#include <benchmark/benchmark.h>

#include "platform/clock.h"

// A time read sits on every tick's path.
static void BM_SteadyNow(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(platform::steadyNow());
}
BENCHMARK(BM_SteadyNow);
