// The half-hour slot is asked for every second and per stand search; it must stay
// far below a microsecond.

#include <benchmark/benchmark.h>

#include "core/time.h"

namespace {

void BM_halfHourSlot(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(halfHourSlot());
}
BENCHMARK(BM_halfHourSlot);

void BM_slotAndWeekday(benchmark::State& state)
{
    for (auto _ : state) benchmark::DoNotOptimize(slotAndWeekday());
}
BENCHMARK(BM_slotAndWeekday);

void BM_halfHourSlotAt(benchmark::State& state)
{
    std::int64_t t = 1759708800;
    for (auto _ : state) {
        benchmark::DoNotOptimize(halfHourSlotAt(t));
        t += 17;
    }
}
BENCHMARK(BM_halfHourSlotAt);

void BM_formatTime(benchmark::State& state)
{
    std::int64_t t = 1759708800;
    for (auto _ : state) {
        benchmark::DoNotOptimize(formatTime(t));
        t += 17;
    }
}
BENCHMARK(BM_formatTime);

}  // namespace
