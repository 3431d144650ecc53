// Flight-plan files, written when a live aircraft with an origin and a
// destination is created. BM_writeFlightPlan: one file (create or truncate,
// write, close), as the writer thread does it. BM_requestFlightPlan: what the
// worker's tick pays for it with the writer thread running (the text made and
// handed over, written plans taken). Goal: under 50 us on the tick.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "core/paths.h"
#include "engine/ac_records.h"
#include "engine/flight_plans.h"

namespace {

// A temporary folder (empty path: none could be made; the benchmark is skipped).
std::filesystem::path lf_tempFolder(benchmark::State& state)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "vrmt-plan-bench.XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        state.SkipWithError("no temporary folder");
        return {};
    }
    return pattern;
}

AcIdentity lf_identity()
{
    AcIdentity identity;
    identity.airline = "KLM";
    identity.type = "B738";
    identity.origin = "EHAM";
    identity.destination = "LFPG";
    identity.callsign = "KLM1234";
    return identity;
}

void BM_writeFlightPlan(benchmark::State& state)
{
    const std::filesystem::path folder = lf_tempFolder(state);
    if (folder.empty()) return;
    const AcIdentity identity = lf_identity();
    std::uint32_t objectId = 100;
    for (auto _ : state) {
        // A new file each time, as each created aircraft has its own object id.
        const bool ok = gf_writeFlightPlan(folder / gf_flightPlanFileName(objectId++ % 500), identity);
        benchmark::DoNotOptimize(ok);
    }
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_writeFlightPlan)->Unit(benchmark::kMicrosecond);

void BM_requestFlightPlan(benchmark::State& state)
{
    const std::filesystem::path folder = lf_tempFolder(state);
    if (folder.empty()) return;
    ::setenv("VRMT_APPDATA", folder.c_str(), 1);
    resetDataFolderPath();
    gf_createFlightPlanFolder();
    startFlightPlanWriter();
    const AcIdentity identity = lf_identity();
    std::vector<WrittenFlightPlan> written;
    written.reserve(4096);
    std::uint32_t objectId = 100;
    for (auto _ : state) {
        requestFlightPlanFile(objectId++ % 500, 0x484000, identity);
        takeWrittenFlightPlans(written);
        benchmark::DoNotOptimize(written.size());
    }
    stopFlightPlanWriter();
    gf_removeFlightPlanFolder();
    std::filesystem::remove_all(folder);
}
// A bounded count: the writer thread writes each file afterwards.
BENCHMARK(BM_requestFlightPlan)->Unit(benchmark::kMicrosecond)->Iterations(2000);

}  // namespace
