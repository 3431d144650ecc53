#include "liveries/livery.h"

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "core/parameters.h"
#include "core/paths.h"
#include "core/startup_globals.h"
#include "liveries/folder_scan.h"
#include "liveries/support/aircraft_folder.h"
#include "liveries/support/dbase_fixture.h"

namespace {

namespace fs = std::filesystem;

class LiveryRecord : public ::testing::Test {
protected:
    LiveryRecord() { resetScanState(); }
    ~LiveryRecord() override
    {
        resetScanState();
        resetStartupGlobals();
    }
    WorkingFolder folder_;
};

TEST_F(LiveryRecord, ATitleIsHandedOutOncePerScan)
{
    const Livery first = lf_makeLivery(1, "AAA", "B738", true, "T", "G-ABCD");
    EXPECT_EQ(liveryText(first), "AAA|B738|T|G-ABCD|pax");
    EXPECT_EQ(first.folderNumber, 1u);
    const Livery again = lf_makeLivery(2, "CGX", "B744", false, "T", "");
    EXPECT_TRUE(again.empty());
    EXPECT_EQ(liveryText(again), "||||pax");
    EXPECT_EQ(again.folderNumber, 0u);
    lf_resetScanLists();
    EXPECT_EQ(liveryText(lf_makeLivery(2, "CGX", "B744", false, "T", "")), "CGX|B744|T||cargo");
}

TEST_F(LiveryRecord, Equality)
{
    const Livery base("AAA", "B738", "T", "G-ABCD", 1, false);
    struct Row {
        const char* name;
        void (*edit)(Livery&);
        bool equal;
    };
    const Row rows[] = {
        {"same", [](Livery&) {}, true},
        {"folder number", [](Livery& l) { l.folderNumber = 7; }, true},
        {"cargo", [](Livery& l) { l.cargo = true; }, false},
        {"title", [](Livery& l) { l.title = "T2"; }, false},
        {"airline", [](Livery& l) { l.airline = "AAB"; }, false},
        {"model", [](Livery& l) { l.model = "B739"; }, false},
        {"registration", [](Livery& l) { l.atcId.clear(); }, false},
        {"title case", [](Livery& l) { l.title = "t"; }, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Livery other = base;
        row.edit(other);
        EXPECT_EQ(lf_liveryEquals(base, other), row.equal);
        EXPECT_EQ(lf_liveryEquals(other, base), row.equal);
    }
}

TEST_F(LiveryRecord, AMoveLeavesTheSourceEmpty)
{
    Livery source("AAA", "B738", "T", "G-ABCD", 3, true);
    Livery moved(std::move(source));
    EXPECT_EQ(liveryText(moved), "AAA|B738|T|G-ABCD|cargo");
    EXPECT_EQ(liveryText(source), "||||pax");
    EXPECT_EQ(source.folderNumber, 0u);
    Livery target;
    target = std::move(moved);
    EXPECT_EQ(liveryText(moved), "||||pax");
    EXPECT_EQ(target.folderNumber, 3u);
}

std::vector<std::string> attributeNames(const pugi::xml_node& node)
{
    std::vector<std::string> names;
    for (const auto& a : node.attributes()) names.emplace_back(a.name());
    return names;
}

TEST_F(LiveryRecord, WritesTheFileWithItsHeaderAndAttributeOrder)
{
    ScannedLiveries.emplace_back("AAA", "B738", "TEST B738 Alpha G-ABCD", "G-ABCD", 1, false);
    ScannedLiveries.emplace_back("CGX", "B738", "TEST B738 Cargo", "", 2, true);
    lf_writeLiveriesScanned();

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file((folder_ / liveriesScannedPath).c_str()));
    EXPECT_EQ(std::string(doc.first_child().name()), "meta");
    EXPECT_STREQ(doc.select_node("/meta/info[@name='P3D']") ? "found" : "missing", "found");
    const auto livs = doc.child("liveries").children("liv");
    std::vector<pugi::xml_node> nodes(livs.begin(), livs.end());
    ASSERT_EQ(nodes.size(), 2u);
    EXPECT_EQ(attributeNames(nodes[0]), (std::vector<std::string>{"airl", "type", "title", "atcid"}));
    EXPECT_EQ(attributeNames(nodes[1]), (std::vector<std::string>{"airl", "type", "cargo", "title"}));
    EXPECT_STREQ(nodes[1].attribute("cargo").value(), "true");
    EXPECT_STREQ(nodes[0].attribute("title").value(), "TEST B738 Alpha G-ABCD");
    const auto log = folder_.logLines();
    EXPECT_NE(std::find(log.begin(), log.end(), "2 liveries in output/LiveriesScanned.xml"), log.end());
}

// The text writer against the document form it replaces, on odd liveries:
// every byte in the texts, markup, a NUL, empty fields.
TEST_F(LiveryRecord, TheTextIsByteForByteTheDocumentsText)
{
    std::string everyByte;
    for (int c = 1; c < 256; ++c) everyByte += static_cast<char>(c);
    std::list<Livery> liveries;
    liveries.emplace_back("AAA", "B738", "TEST B738 Alpha G-ABCD", "G-ABCD", 1, false);
    liveries.emplace_back(everyByte, everyByte, everyByte, everyByte, 2, true);
    liveries.emplace_back("<&\"'>", "", "T\xc3\xa9st \xe2\x9c\x88", "", 3, true);
    liveries.emplace_back(std::string("N\0UL", 4), "B7\t8", std::string("cut\0here", 8), std::string("\0", 1), 4, false);
    const auto withoutDate = [](std::string text) {
        const std::size_t date = text.find("name=\"date\" value=\"");
        if (date != std::string::npos) text.erase(date, text.find('"', date + 19) - date);
        return text;
    };
    for (const std::size_t count : {std::size_t{0}, std::size_t{1}, liveries.size()}) {
        SCOPED_TRACE(count);
        std::list<Livery> some;
        for (const Livery& l : liveries)
            if (some.size() < count) some.emplace_back(l.airline, l.model, l.title, l.atcId, l.folderNumber, l.cargo);
        // The document as the writer built it before.
        pugi::xml_document doc;
        generatedFileSimulator.set("P3D");
        writeMetaInfo(doc);
        auto list = doc.append_child("liveries");
        for (const Livery& livery : some) {
            auto liv = list.append_child("liv");
            liv.append_attribute("airl").set_value(livery.airline.c_str());
            liv.append_attribute("type").set_value(livery.model.c_str());
            if (livery.cargo) liv.append_attribute("cargo").set_value("true");
            liv.append_attribute("title").set_value(livery.title.c_str());
            if (!livery.atcId.empty()) liv.append_attribute("atcid").set_value(livery.atcId.c_str());
        }
        std::ostringstream expected;
        doc.save(expected);
        EXPECT_EQ(withoutDate(lf_liveriesScannedText(some)), withoutDate(expected.str()));
    }
}

TEST_F(LiveryRecord, AnEmptyListWritesNothing)
{
    writeWholeFile(folder_ / liveriesScannedPath, "previous");
    const auto logBefore = folder_.logLines();
    lf_writeLiveriesScanned();
    EXPECT_EQ(readWholeFile(folder_ / liveriesScannedPath), "previous");
    EXPECT_EQ(folder_.logLines(), logBefore);
}

TEST_F(LiveryRecord, AFailedWriteLeavesThePreviousFileWhole)
{
    writeWholeFile(folder_ / liveriesScannedPath, "previous");
    // The temporary file cannot be made: a folder stands in its place.
    fs::create_directories(folder_ / "output" / "LiveriesScanned.xml.tmp" / "x");
    ScannedLiveries.emplace_back("AAA", "B738", "T", "", 1, false);
    lf_writeLiveriesScanned();
    EXPECT_EQ(readWholeFile(folder_ / liveriesScannedPath), "previous");
}

}  // namespace
