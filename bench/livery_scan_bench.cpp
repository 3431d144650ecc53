#include <benchmark/benchmark.h>

#include <pugixml.hpp>

#include <filesystem>
#include <random>
#include <string>

#include "core/task_slots.h"
#include "liveries/cfg_scanner.h"
#include "liveries/dbase.h"
#include "liveries/folder_scan.h"
#include "liveries/livery.h"
#include "liveries/livery_init.h"
#include "liverygen.h"

// The livery scan of a user's library at start-up.
// Goals: a library of 5,000 aircraft.cfg files in under 2 s with 8 tasks (an
// 8-core machine), the whole scan step with its saves (LiveriesScanned.xml and
// the scan reports) under 2 s as well, and one 750-line aircraft.cfg in under 1 ms.

namespace fs = std::filesystem;

namespace {

// A library made once per process, outside the timing, and removed at exit.
class GeneratedLibrary {
public:
    static GeneratedLibrary& get()
    {
        static GeneratedLibrary library;
        return library;
    }
    ~GeneratedLibrary()
    {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }
    const liverygen::Library& library() const { return library_; }
    const fs::path& single() const { return single_; }

private:
    GeneratedLibrary()
    {
        root_ = fs::temp_directory_path() / ("vrmt-livery-scan-bench-" + std::to_string(std::random_device{}()));
        library_ = liverygen::generateLiveryLibrary(root_ / "library", 5000, 2024);
        single_ = liverygen::writeSingleAircraft(root_ / "single" / "Boeing B738", 20);  // 749 lines
        pugi::xml_document doc;
        doc.load_file(library_.dbaseXml.c_str());
        gf_readDbaseDocument(doc);
    }
    fs::path root_;
    liverygen::Library library_;
    fs::path single_;
};

void lf_emptyScanLists()
{
    ScannedLiveries.clear();
    lf_resetScanLists();
}

}  // namespace

static void BM_scanLibraryOf5000Files(benchmark::State& state)
{
    const auto& lib = GeneratedLibrary::get().library();
    for (auto _ : state) {
        state.PauseTiming();
        lf_emptyScanLists();
        resetTaskSlots(8);
        state.ResumeTiming();
        lf_searchLiveriesInFolder(1, lib.root);
        benchmark::DoNotOptimize(ScannedLiveries.size());
    }
    state.counters["liveries"] = static_cast<double>(ScannedLiveries.size());
    state.counters["files"] = static_cast<double>(lib.files);
    lf_emptyScanLists();
}
BENCHMARK(BM_scanLibraryOf5000Files)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The scan step as the start-up runs it: scan, database updates, sort, and the
// saves, into a program folder of its own.
static void BM_scanStepWithSaves(benchmark::State& state)
{
    const auto& lib = GeneratedLibrary::get().library();
    const fs::path program = lib.root.parent_path() / "program";
    fs::create_directories(program);
    const fs::path before = fs::current_path();
    fs::current_path(program);
    for (auto _ : state) {
        state.PauseTiming();
        lf_emptyScanLists();
        resetTaskSlots(8);
        state.ResumeTiming();
        benchmark::DoNotOptimize(lf_scanLiveryFolders({lib.root}));
    }
    state.counters["bytes"] = static_cast<double>(fs::file_size(program / "output" / "LiveriesScanned.xml"));
    fs::current_path(before);
    lf_emptyScanLists();
}
BENCHMARK(BM_scanStepWithSaves)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

static void BM_scanOne750LineFile(benchmark::State& state)
{
    const fs::path& cfg = GeneratedLibrary::get().single();
    std::size_t lines = 0;
    for (auto _ : state) {
        ++runningTasks;
        CfgScanResult result = lf_searchLiveriesinFile(1, cfg);
        lines = result.liveries.size();
        benchmark::DoNotOptimize(result);
    }
    state.counters["liveries"] = static_cast<double>(lines);
}
BENCHMARK(BM_scanOne750LineFile)->Unit(benchmark::kMicrosecond);
