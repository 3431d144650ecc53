// The airport scan against the plain cost of reading its files. A generated
// library of 2,000 BGL files (one in seven with an airport of 20 to 300 stands,
// both forms; the rest other scenery) is read two ways in one run:
//   BM_ReadEveryFile  every file's bytes, in the scan's walk order;
//   BM_AirportScan/0  the whole scan (task limit = cores, output to a temp folder);
//   BM_AirportScan/1  the same with one task at a time.
// Goals, against the plain read of the same run: at most 2.5 x with the task
// limit at 8 (an 8-core machine), at most 4 x with one task. The plain read is
// one thread; the scan reads on the search's threads, which is how it can come
// below the 2.4 x that writing its 286 stand files one after another would cost.
// Measure with the library on tmpfs (TMPDIR=/dev/shm): on a disk that other
// work keeps busy the file creations dominate and wander by a factor of 2.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "airports/airport_scan.h"
#include "bglbuilder/bgl_builder.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/task_slots.h"
#include "platform/directory.h"

namespace {

namespace fs = std::filesystem;

struct Library {
    fs::path root;
    fs::path scenery;
    fs::path program;
    bglb::LibraryStats stats;

    Library()
    {
        root = fs::temp_directory_path() / ("vrmt-scan-bench-" + std::to_string(::getpid()));
        scenery = root / "scenery";
        program = root / "program";
        fs::create_directories(program);
        fs::create_directories(root / "appdata");
        setenv("VRMT_APPDATA", (root / "appdata").c_str(), 1);  // parameters.xml of the scan goes here
        resetDataFolderPath();
        stats = bglb::writeSceneryLibrary(scenery, 2000, 7, 300);
        fs::current_path(program);
    }
    ~Library()
    {
        std::error_code ec;
        fs::current_path(fs::temp_directory_path(), ec);
        fs::remove_all(root, ec);
    }
};

Library& library()
{
    static Library lib;
    return lib;
}

void lf_readTree(const fs::path& dir, std::vector<char>& buffer, std::uint64_t& bytes)
{
    for (const auto& e : platform::listDirectorySorted(dir)) {
        if (e.is_directory()) {
            lf_readTree(e.path(), buffer, bytes);
            continue;
        }
        std::ifstream in(e.path(), std::ios::binary | std::ios::ate);
        const auto size = static_cast<std::size_t>(in.tellg());
        buffer.resize(size);
        in.seekg(0);
        in.read(buffer.data(), static_cast<std::streamsize>(size));
        bytes += size;
    }
}

void BM_ReadEveryFile(benchmark::State& state)
{
    Library& lib = library();
    std::vector<char> buffer;
    for (auto _ : state) {
        std::uint64_t bytes = 0;
        lf_readTree(lib.scenery, buffer, bytes);
        benchmark::DoNotOptimize(bytes);
    }
    state.counters["files"] = static_cast<double>(lib.stats.files);
    state.counters["airports"] = static_cast<double>(lib.stats.airports);
}
BENCHMARK(BM_ReadEveryFile)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_AirportScan(benchmark::State& state)
{
    Library& lib = library();
    resetTaskSlots(state.range(0) > 0 ? static_cast<unsigned>(state.range(0)) : std::thread::hardware_concurrency());
    AFG_AUTOMATIC.set(false);
    afolder[0]->set(lib.scenery.string());
    for (auto _ : state) {
        SCAN_AIRPORTS.set(true);
        gf_scanAirports();
    }
    state.counters["limit"] = taskLimit.load();
    state.SetLabel(lib.root.string());
}
// Argument: the task limit; 0 = the number of cores (the program's choice).
BENCHMARK(BM_AirportScan)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
