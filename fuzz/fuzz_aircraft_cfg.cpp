// aircraft.cfg files come from any AI package a user installs: any bytes must be
// cut into sections and checked without a crash, whatever their lines hold.
#include <pugixml.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/cfg_matchers.h"
#include "liveries/cfg_scanner.h"
#include "liveries/dbase.h"
#include "liveries/livery.h"
#include "split_lines.h"

namespace {

// A database and an aircraft folder with the default model and texture folders
// and ".air", so that sections without those keys get past the folder checks.
const std::filesystem::path& fuzzFolder()
{
    static const std::filesystem::path folder = [] {
        pugi::xml_document doc;
        doc.load_string(R"(<aircrafts><aircraft types="B738,B744,C172,T154"/></aircrafts>
<high_performance><hpf types="F16"/></high_performance><heavy><hvy types="B744"/></heavy>
<large><lar types="B738"/></large><buzjet><bzj types="C56X"/></buzjet><rotorcraft><rot types="EC35"/></rotorcraft>
<cargo_types><cargo_type types="B744"/></cargo_types><ICAO_airlines><ICAO codes="AAA,BAW,ZZZ"/></ICAO_airlines>
<cargo_operators><ICAO codes="AAA"/></cargo_operators><fixes><fx wro="B73H" cor="B738"/></fixes>
<simaddonsP3D><simaddonP3D arpts="KLAX"/></simaddonsP3D>
<dbase><db reg="G-ABCD" airl="AAA" type="B738"/><db reg="DABCD" airl="BAW" type="B744"/></dbase>)");
        gf_readDbaseDocument(doc);
        const auto f = std::filesystem::temp_directory_path() / "vrmt-fuzz-aircraft-cfg";
        std::filesystem::create_directories(f / "model");
        std::filesystem::create_directories(f / "texture");
        std::ofstream(f / ".air").put('\0');
        return f;
    }();
    return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> lines = fuzzLines(text);
    ScanReportLines reports;
    CfgFileContext file{1, "B738", "fuzz/aircraft.cfg", fuzzFolder(), "fuzz", &reports};
    lf_checkFltsimNumbers(lines, file.pathText, reports);
    lf_readGeneralAtcModel(file.pathText, lines, reports);
    std::vector<LiveryCandidate> candidates;
    lf_searchFltsimSections(file, lines, candidates);
    lf_searchIvaoSections(file, lines, candidates);
    lf_acceptCandidates(candidates, reports);
    ScannedTitles.clear();
    lf_matchIvaoPath(text);
    lf_titleAirlineCode(text);
    return 0;
}
