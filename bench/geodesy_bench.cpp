#include <benchmark/benchmark.h>

#include "core/geodesy.h"

// These run for every live aircraft on every 10 ms tick.

static void BM_distanceNm(benchmark::State& state)
{
    LatLon a{47.4647, 8.5492};
    const LatLon b{40.6413, -73.7781};
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(distanceNm(a, b));
    }
}
BENCHMARK(BM_distanceNm);

static void BM_initialBearing(benchmark::State& state)
{
    LatLon a{47.4647, 8.5492};
    const LatLon b{40.6413, -73.7781};
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(initialBearing(a, b));
    }
}
BENCHMARK(BM_initialBearing);

static void BM_destinationPoint(benchmark::State& state)
{
    LatLon a{47.4647, 8.5492};
    double bearing = 1.2;
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(bearing);
        benchmark::DoNotOptimize(destinationPoint(a, bearing, 18228.34647));
    }
}
BENCHMARK(BM_destinationPoint);
