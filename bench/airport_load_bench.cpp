#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "airports/airport_load.h"
#include "core/fmt.h"
#include "engine/stand.h"

// Goal: gf_readApf of a 3,000-stand airport with its learned file (options on
// half the stands) well under 50 ms: it runs on the worker between ticks.

namespace {

// A program folder with airports/EHAM.xml and airports/learned/EHAM.xml.
class GeneratedAirport {
public:
    explicit GeneratedAirport(int standCount)
    {
        std::random_device rd;
        root_ = std::filesystem::temp_directory_path() / ("vrmt_airport_bench_" + std::to_string(rd()));
        std::filesystem::create_directories(root_ / "airports/learned");
        std::mt19937 random(5);
        std::uniform_real_distribution<double> lat(52.28, 52.33), lon(4.73, 4.80), radius(8.0, 45.0);
        std::string file = header("unknown") + "<parkpositions>\n";
        std::string learned = header("unknown") + "<parkpositions>\n";
        for (int i = 0; i < standCount; ++i) {
            file += vr::format(R"(<parkpos id="S{}" latitude="{:.6f}" longitude="{:.6f}" heading="{:.1f}" )"
                               R"(radius="{:.1f}" cargo="false" ramp="false"/>)"
                               "\n",
                               i, lat(random), lon(random), double((i * 37) % 360), radius(random));
            if (i % 2 == 0)
                learned += vr::format(R"(<parkpos id="S{0}"><opt reg="PH-X{0}" airl="KLM" type="B738" day="{1}" )"
                                      R"(hh="14,15,16" cs="KLM{0}"/><opt reg="PH-Y{0}" airl="KLM" type="E190" )"
                                      R"(soft="true" day="{2}" hh="30"/></parkpos>)"
                                      "\n",
                                      i, i % 7 + 1, (i + 3) % 7 + 1);
        }
        writeFile(root_ / "airports/EHAM.xml", file + "</parkpositions>\n");
        writeFile(root_ / "airports/learned/EHAM.xml", learned + "</parkpositions>\n");
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(root_);
        setCurrentParkAirport({.code = "EHAM", .iata = "AMS", .lat = 52.3, .lon = 4.76, .elevationFt = 0.0});
    }
    ~GeneratedAirport()
    {
        clearStands();
        clearCurrentParkAirport();
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

private:
    static std::string header(const char* publisher)
    {
        return vr::format("<meta><info name=\"author\" value=\"VRMT_P3D\"/><info name=\"version\" value=\"11.0.3\"/>"
                          "<info name=\"date\" value=\"Nov 14, 2023\"/></meta>\n"
                          "<parameters><parameter name=\"airport_name\" value=\"Schiphol\"/>"
                          "<parameter name=\"publisher\" value=\"{}\"/><parameter name=\"altitude\" value=\"-11\"/>"
                          "</parameters>\n",
                          publisher);
    }
    static void writeFile(const std::filesystem::path& p, const std::string& text)
    {
        std::ofstream(p, std::ios::binary) << text;
    }
    std::filesystem::path root_;
    std::filesystem::path previous_;
};

}  // namespace

static void BM_readApf3000WithLearned(benchmark::State& state)
{
    GeneratedAirport airport(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        AirportHeader header;
        const std::string error = gf_readApf("airports/EHAM.xml", header);
        if (!error.empty()) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(stands.data());
    }
    state.counters["stands"] = static_cast<double>(stands.size());
}
BENCHMARK(BM_readApf3000WithLearned)->Arg(3000)->Unit(benchmark::kMillisecond);

// The overlap pass alone (latitude pre-filter; every pair would be 9 million distances).
static void BM_conflicts3000(benchmark::State& state)
{
    std::mt19937 random(5);
    std::uniform_real_distribution<double> lat(52.28, 52.33), lon(4.73, 4.80), radius(8.0, 45.0);
    std::vector<Stand> v;
    for (int i = 0; i < state.range(0); ++i)
        v.emplace_back(vr::format("S{}", i), std::vector<SlotRecord>{}, lat(random), lon(random), 0.0, radius(random),
                       StandKind{});
    for (auto _ : state) {
        lf_numberAndFindConflicts(v);
        benchmark::DoNotOptimize(v.data());
    }
}
BENCHMARK(BM_conflicts3000)->Arg(3000)->Unit(benchmark::kMillisecond);
