// The cost of one flight-plan file as the worker writes it when a live aircraft
// with an origin and a destination is created (create or truncate, write,
// close). Goal: under 50 us a file, so it may stay on the worker's tick.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "engine/ac_records.h"
#include "engine/flight_plans.h"

namespace {

void BM_writeFlightPlan(benchmark::State& state)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vrmt-plan-bench.XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        state.SkipWithError("no temporary folder");
        return;
    }
    const std::filesystem::path folder = pattern;
    AcIdentity identity;
    identity.airline = "KLM";
    identity.type = "B738";
    identity.origin = "EHAM";
    identity.destination = "LFPG";
    identity.callsign = "KLM1234";
    std::uint32_t objectId = 100;
    for (auto _ : state) {
        // A new file each time, as each created aircraft has its own object id.
        const bool ok = gf_writeFlightPlan(folder / gf_flightPlanFileName(objectId++ % 500), identity);
        benchmark::DoNotOptimize(ok);
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_writeFlightPlan)->Unit(benchmark::kMicrosecond);

}  // namespace
