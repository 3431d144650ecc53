#include <benchmark/benchmark.h>

#include <string>

#include <pugixml.hpp>

#include "liveries/data_crypto.h"
#include "liveries/dbase.h"

// A database the size of a real one: 60,000 registrations, a fifth of them
// keys of 5 characters or fewer (which findShortCode looks for in titles).
namespace {

std::string lf_bigDatabase(int records)
{
    std::string text = R"(<aircrafts><aircraft types="B738,A320,B744,C172"/></aircrafts>
<high_performance><hpf types="F16"/></high_performance><heavy><hvy types="B744"/></heavy>
<large><lar types="B738,A320"/></large><buzjet><bzj types="C56X"/></buzjet><rotorcraft><rot types="EC35"/></rotorcraft>
<cargo_types><cargo_type types="B74F"/></cargo_types><ICAO_airlines><ICAO codes="AAA,BAW"/></ICAO_airlines>
<cargo_operators><ICAO codes="CGX"/></cargo_operators><simaddonsP3D><simaddonP3D arpts="KLAX"/></simaddonsP3D>
<dbase>)";
    const char* prefixes[] = {"G-", "D-A", "F-G", "PH-", "EI-"};
    for (int i = 0; i < records; ++i) {
        std::string reg;
        if (i % 5 == 0) {
            reg = "N" + std::to_string(100 + i / 5 % 9900);  // N100 .. N9999: short keys
            if (i / 5 >= 9900) reg += static_cast<char>('A' + i % 26);
        } else {
            reg = prefixes[i % 5];
            for (int k = 0, v = i; k < 4; ++k, v /= 26) reg += static_cast<char>('A' + v % 26);
        }
        text += "<db reg=\"" + reg + "\" airl=\"AAA\" type=\"B738\" opr=\"\" cargo=\"0\"/>\n";
    }
    return text + "</dbase>";
}

const std::string& lf_text()
{
    static const std::string text = lf_bigDatabase(60000);
    return text;
}

}  // namespace

// Start-up: the whole database read once per process. Goal: well under 1 s.
static void BM_readDbaseDocument(benchmark::State& state)
{
    pugi::xml_document doc;
    doc.load_string(lf_text().c_str());
    for (auto _ : state) {
        gf_readDbaseDocument(doc);
        benchmark::DoNotOptimize(DbaseRecords.size());
    }
    resetDbaseTables();
}
BENCHMARK(BM_readDbaseDocument)->Unit(benchmark::kMillisecond);

// Decrypting the file at start-up. Goal: well under 100 ms for 5 MB.
static void BM_decryptDbase(benchmark::State& state)
{
    const std::string cipher = gf_encryptText(DataDecryptionKey, lf_text());
    for (auto _ : state) benchmark::DoNotOptimize(gf_decryptText(DataDecryptionKey, cipher));
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * cipher.size()));
}
BENCHMARK(BM_decryptDbase)->Unit(benchmark::kMillisecond);

// Once for every private livery without a registration during a scan (thousands
// a scan). Goal: < 1 ms a call; the keys are sorted once when the database is read.
static void BM_findShortCode(benchmark::State& state)
{
    pugi::xml_document doc;
    doc.load_string(lf_text().c_str());
    gf_readDbaseDocument(doc);
    const std::string titles[] = {"Cessna Skyhawk 172SP Paint1", "Beech Baron 58 N9876 private",
                                  "Learjet 45 with no registration at all in its title"};
    std::size_t i = 0;
    for (auto _ : state) benchmark::DoNotOptimize(findShortCode(titles[i++ % 3]));
    resetDbaseTables();
}
BENCHMARK(BM_findShortCode)->Unit(benchmark::kMicrosecond);
