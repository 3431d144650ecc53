// A scan of a generated library finds exactly what the generator planted.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "core/task_slots.h"
#include "liveries/dbase.h"
#include "liveries/folder_scan.h"
#include "liveries/support/aircraft_folder.h"
#include "liverygen.h"

namespace {

namespace fs = std::filesystem;

TEST(LiverygenScan, TheScanFindsWhatTheGeneratorPlanted)
{
    WorkingFolder folder;
    const auto library = liverygen::generateLiveryLibrary(folder / "library", 120, 7);
    EXPECT_GE(library.lines / library.files, 300u);

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(library.dbaseXml.c_str()));
    gf_readDbaseDocument(doc);
    resetScanState();
    resetTaskSlots(4);
    lf_searchLiveriesInFolder(1, library.root);

    const liverygen::Expected found{ScannedLiveries.size(),
                                    scanReport(ScanReport::InvalidAirlineCodes).size(),
                                    scanReport(ScanReport::InvalidAircraftCodes).size(),
                                    scanReport(ScanReport::Fixes).size(),
                                    scanReport(ScanReport::InvalidAircraftCfgFiles).size(),
                                    scanReport(ScanReport::IncompleteSections).size(),
                                    scanReport(ScanReport::NoFltsimSection).size()};
    const auto& e = library.expected;
    EXPECT_EQ(found.liveries, e.liveries);
    EXPECT_EQ(found.invalidAirlineCodes, e.invalidAirlineCodes);
    EXPECT_EQ(found.invalidAircraftCodes, e.invalidAircraftCodes);
    EXPECT_EQ(found.fixes, e.fixes);
    EXPECT_EQ(found.invalidCfgFiles, e.invalidCfgFiles);
    EXPECT_EQ(found.incompleteSections, e.incompleteSections);
    EXPECT_EQ(found.noFltsimSection, e.noFltsimSection);
    // Every kind of fault is among them.
    EXPECT_GT(e.invalidAirlineCodes * e.invalidAircraftCodes * e.invalidCfgFiles * e.incompleteSections *
                  e.noFltsimSection,
              0u);
    if (HasFailure()) {
        for (const auto& line : scanReport(ScanReport::IncompleteSections).copy()) ADD_FAILURE() << line;
    }
    resetScanState();
}

TEST(LiverygenScan, TheSameSeedGivesTheSameLibrary)
{
    ScratchFolder a, b;
    const auto first = liverygen::generateLiveryLibrary(a / "lib", 12, 99);
    const auto second = liverygen::generateLiveryLibrary(b / "lib", 12, 99);
    EXPECT_EQ(first.expected, second.expected);
    std::vector<std::string> filesA, filesB;
    for (const auto& e : fs::recursive_directory_iterator(a / "lib")) {
        filesA.push_back(e.path().lexically_relative(a / "lib").string() +
                         (e.is_regular_file() ? ":" + readWholeFile(e.path()) : ""));
    }
    for (const auto& e : fs::recursive_directory_iterator(b / "lib")) {
        filesB.push_back(e.path().lexically_relative(b / "lib").string() +
                         (e.is_regular_file() ? ":" + readWholeFile(e.path()) : ""));
    }
    std::sort(filesA.begin(), filesA.end());
    std::sort(filesB.begin(), filesB.end());
    EXPECT_EQ(filesA, filesB);
}

}  // namespace
