#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "core/fmt.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/random.h"
#include "liveries/data_crypto.h"
#include "liveries/dbase.h"
#include "liveries/livery.h"
#include "liveries/livery_index.h"
#include "liveries/livery_init.h"
#include "liveries/livery_match.h"
#include "liveries/regcode_merge.h"
#include "liveries/similar_models.h"

// A synthetic installation: 60 types over the categories in similar groups of
// four, 250 airlines, liveries spread over them, regcodes for a share of them.
namespace {

constexpr int typeCount = 60;

std::string lf_type(int i) { return vr::format("T{:03}", i); }
std::string lf_airline(int i) { return vr::format("A{:02}", i); }

void lf_readDatabase()
{
    std::string types, light, buz, large, heavy, rot, similar;
    for (int i = 0; i < typeCount; ++i) {
        const std::string t = lf_type(i);
        types += t + ",";
        // 0-9 Light, 10-19 Buzjets, 20-39 Large, 40-49 Heavy, 50-59 Rotorcraft
        (i < 10 ? light : i < 20 ? buz : i < 40 ? large : i < 50 ? heavy : rot) += t + ",";
        if (i % 4 == 0)
            similar += vr::format(R"(<similar types="{},{},{},{}"/>)", t, lf_type(i + 1), lf_type(i + 2), lf_type(i + 3));
    }
    const std::string xml = vr::format(
        R"(<aircrafts><aircraft types="{}"/></aircrafts><high_performance><hpf types="F16"/></high_performance>
<heavy><hvy types="{}"/></heavy><large><lar types="{}"/></large><buzjet><bzj types="{}"/></buzjet>
<rotorcraft><rot types="{}"/></rotorcraft><cargo_types><cargo_type types="B74F"/></cargo_types>
<similar_types>{}</similar_types><ICAO_airlines><ICAO codes="AAA"/></ICAO_airlines>
<cargo_operators><ICAO codes="CGX"/></cargo_operators><simaddonsP3D><simaddonP3D arpts="KLAX"/></simaddonsP3D>
<dbase><db reg="G-WETL" airl="A01" type="T021" opr="OPR"/></dbase>)",
        types, heavy, large, buz, rot, similar);
    pugi::xml_document doc;
    doc.load_string(xml.c_str());
    gf_readDbaseDocument(doc);
}

// `count` liveries: airline i % 250, type drawn so that every airline has a
// few types only (the similar and fallback steps then have work to do); the
// last four types (a rotorcraft group) have none.
std::list<Livery> lf_liveries(int count)
{
    std::mt19937 random(1);
    std::list<Livery> list;
    for (int i = 0; i < count; ++i) {
        const int airline = i % 250;
        const int type = static_cast<int>((airline * 7 + random() % 6) % (typeCount - 4));
        list.emplace_back(airline == 0 ? "ZZZ" : lf_airline(airline), lf_type(type),
                          vr::format("Livery {:05} of {} {}", i, lf_airline(airline), lf_type(type)),
                          i % 3 == 0 ? vr::format("G-{:05}", i) : "", 0, i % 10 == 1);
    }
    list.emplace_back("SPC", "T021", "Special one", "", 0, false);
    list.emplace_back("SPC", "T021", "Special two", "", 0, false);
    lf_sortLiveries(list);
    return list;
}

void lf_buildIndexes(const std::list<Livery>& liveries)
{
    lf_indexLiveries(liveries);
    lf_buildAirlineModelIndexes();
    ScannedLiveries = liveries;
    lf_checkInlineRegcodes();
    ScannedLiveries.clear();
    std::vector<RegcodeEntry> special;
    for (int i = 0; i < 4000; ++i) special.push_back({i % 2 ? "Special two" : "Special one", {}, true});
    lf_mergeRegcodes(std::move(special));
    lf_buildModelIndexes();
    gf_buildSimilarModels();
    for (int c = 0; c < 6; ++c) lf_summarizeCategory(static_cast<AcCategory>(c));
}

std::vector<LiveryRequest> lf_mix()
{
    const auto r = [](std::string airline, std::string type, std::string reg, AcCategory c) {
        return LiveryRequest{std::move(airline), std::move(type), std::move(reg), "CS1", c, false};
    };
    return {
        r("A03", "T021", "G-00003", AcCategory::Large),     // regcode
        r("A07", lf_type(49), "", AcCategory::Heavy),       // airline and type
        r("A07", lf_type(48), "", AcCategory::Heavy),       // similar type
        r("XYZ", "T003", "", AcCategory::Light),            // unknown airline ZZZ
        r("XYZ", "T008", "", AcCategory::Light),            // fallback by type
        r("XYZ", "T057", "", AcCategory::Rotorcraft),       // fallback, a random model of the category
        r("XYZ", "T030", "", AcCategory::Large),            // no match
        r("SPC", "T021", "", AcCategory::Large),            // a key of special titles
        r("XYZ", "T021", "G-WETL", AcCategory::Large),      // wet lease
    };
}

}  // namespace

// One live match over the mix against 5,000 liveries and 4,000 special titles.
// Goal: < 20 µs an aircraft.
static void BM_liveMatch(benchmark::State& state)
{
    const auto parameters = std::filesystem::temp_directory_path() / vr::format("vrmt-bench-match-{}.xml", ::getpid());
    setParametersFile(parameters);  // a category without liveries switches its option off
    lf_readDatabase();
    lf_buildIndexes(lf_liveries(5000));
    LOG.set(state.range(0) != 0);  // the log is not open: only the text is made
    MATCHING_DEPTH.set(4);
    seedRandomEngine(1);
    const std::vector<LiveryRequest> mix = lf_mix();
    for (auto _ : state) {
        for (const LiveryRequest& r : mix) {
            MatchAc ac{r, r.cargo, {}};
            gf_matchLiveAcLivery(ac);
            benchmark::DoNotOptimize(ac.title);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(mix.size()));
    // Which steps the mix reached, per pass over it.
    for (std::size_t i = 0; i < MatchStepCounters.size(); ++i)
        state.counters[vr::format("step{}", i + 1)] =
            static_cast<double>(MatchStepCounters[i]) / static_cast<double>(state.iterations());
    gf_clearSimilarModels();
    gf_clearLiveryIndexes();
    resetLiveryMatchRecords();
    resetDbaseTables();
    resetOptionsToDefaults();
    setParametersFile({});
    std::filesystem::remove(parameters);
}
BENCHMARK(BM_liveMatch)->Arg(0)->Arg(1)->ArgName("log");

// The start-up processing of 30,000 scanned liveries with 10,000 regcode
// entries in the AIG file. Goal: < 1 s.
static void BM_processScannedLiveries(benchmark::State& state)
{
    const auto previous = std::filesystem::current_path();
    const auto folder = std::filesystem::temp_directory_path() / vr::format("vrmt-bench-liveries-{}", ::getpid());
    std::filesystem::create_directories(folder / "input");
    std::filesystem::create_directories(folder / "output");
    std::filesystem::current_path(folder);
    setParametersFile(folder / "parameters.xml");
    lf_readDatabase();
    ScannedLiveries = lf_liveries(30000);
    lf_writeLiveriesScanned();
    std::string aig = "<AIG-regcodes>\n";
    int i = 0;
    for (const Livery& l : ScannedLiveries) {
        if (i % 3 == 0 && i / 3 < 10000) aig += vr::format(R"(<livery title="{}" reg="D-{:05},E-{:05}"/>)", l.title, i, i) + "\n";
        ++i;
    }
    aig += "</AIG-regcodes>\n";
    std::ofstream(folder / "input/AIG-regcodes.enc", std::ios::binary) << gf_encryptText(DataDecryptionKey, aig);
    for (auto _ : state) {
        LiveriesInitialised = false;
        lf_processScannedLiveries();
        benchmark::DoNotOptimize(RegcodeTable.size());
    }
    state.counters["regcodes"] = static_cast<double>(RegcodeTable.size());
    gf_clearSimilarModels();
    gf_clearLiveryIndexes();
    resetDbaseTables();
    LiveriesInitialised = false;
    resetOptionsToDefaults();
    setParametersFile({});
    std::filesystem::current_path(previous);
    std::filesystem::remove_all(folder);
}
BENCHMARK(BM_processScannedLiveries)->Unit(benchmark::kMillisecond)->Iterations(3);
