#include "liveries/livery_init.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/app_services.h"
#include "core/errors.h"
#include "core/fmt.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "core/startup_globals.h"
#include "engine/ac_records.h"
#include "platform/fs_path.h"
#include "liveries/livery_services_impl.h"
#include "liveries/support/aircraft_folder.h"
#include "support/livery_world.h"
#include "traffic_service/parked_record.h"

namespace {

using testing::AllOf;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

class LiveryInit : public testing::Test {
protected:
    void SetUp() override
    {
        readWorldDbase();
        setParametersFile(dir / "parameters.xml");
        statusPanel().reset();
    }
    void TearDown() override
    {
        setLiveryFolderSearch({});
        resetRunState();
        resetLiveryWorld();
        statusPanel().reset();
        resetAppServices();
    }

    // The text of the exception gf_initLiveries throws; "" when none.
    static std::string initError()
    {
        try {
            gf_initLiveries();
        } catch (const std::exception& e) {
            return e.what();
        }
        return "";
    }
    std::vector<std::string> logSince(std::size_t from) const
    {
        std::vector<std::string> lines = dir.logLines();
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())));
        return lines;
    }

    WorkingFolder dir;
};

TEST_F(LiveryInit, ReadingLiveriesScanned)
{
    struct Row {
        const char* name;
        std::optional<std::string> file;  // none: no file
        std::string error;
        std::vector<std::string> liveries;  // "airline model title atcid cargo|pax"
    };
    const std::string meta = R"(<meta><info name="author" value="me"/><info name="version" value="1.2"/></meta>)";
    const Row rows[] = {
        {"missing", std::nullopt, "51: File output/LiveriesScanned.xml not found", {}},
        {"not XML", "<liveries><liv", "51: File output/LiveriesScanned.xml not found", {}},
        {"no liveries section", meta + "<other/>",
         "52: output/LiveriesScanned.xml does not contain a <liveries> section", {}},
        {"a liv without type", R"(<liveries><liv airl="AAA" title="T"/></liveries>)",
         "999: Missing required attribute 'type' in <liv>", {}},
        {"a liv without anything names airl", R"(<liveries><liv/></liveries>)",
         "999: Missing required attribute 'airl' in <liv>", {}},
        {"no liv", R"(<liveries><other airl="A" type="B" title="C"/></liveries>)",
         "533: output/LiveriesScanned.xml does not contain liveries", {}},
        {"cargo values, defaults, order", meta + R"(<liveries>
             <liv airl="BBB" type="B738" title="t1" cargo="yes"/>
             <liv airl="AAA" type="B738" title="t3" cargo="True" atcid="G-X"/>
             <liv airl="AAA" type="B738" title="t2" cargo="false"/>
             <liv airl="AAA" type="A320" title="t4" cargo="0"/>
             <liv airl="AAA" type="A320" title="t5" other="x"/>
           </liveries>)",
         "",
         {"AAA A320 t4  pax", "AAA A320 t5  pax", "AAA B738 t2  pax", "AAA B738 t3 G-X cargo", "BBB B738 t1  cargo"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(dir / liveriesScannedPath);
        if (row.file) writeWholeFile(dir / liveriesScannedPath, *row.file);
        std::string error;
        try {
            lf_readLiveriesScanned();
        } catch (const qxv::UserErrorException& e) {
            error = e.what();
        }
        EXPECT_EQ(error, row.error);
        std::vector<std::string> read;
        for (const Livery& l : ScannedLiveries)
            read.push_back(vr::format("{} {} {} {} {}", l.airline, l.model, l.title, l.atcId, l.cargo ? "cargo" : "pax"));
        if (row.error.empty()) {
            EXPECT_EQ(read, row.liveries);
            EXPECT_EQ(metaAuthor.get(), "me");
            EXPECT_EQ(metaDate.get(), "");  // not there: version is not read either
            EXPECT_EQ(metaVersion.get(), "");
            EXPECT_THAT(dir.logLines(), Contains("5 liveries read from output/LiveriesScanned.xml"));
        }
    }
}

// A folder search that records its calls and adds `count` liveries per folder.
struct RecordedSearch {
    std::vector<std::string> calls;
    std::map<std::string, int> counts;  // by folder name; default 1
    std::function<void()> during;

    LiveryFolderSearch function()
    {
        return [this](std::uint32_t number, const std::filesystem::path& folder) {
            const std::string name = folder.filename().string();
            calls.push_back(vr::format("{} {}", number, name));
            const int n = counts.count(name) ? counts[name] : 1;
            for (int i = 0; i < n; ++i)
                ScannedLiveries.push_back(livery("AAA", "B738", vr::format("{} {}", name, i), false, "", number));
            if (during) during();
        };
    }
};

TEST_F(LiveryInit, FolderNumbersAndCounts)
{
    std::filesystem::create_directories(dir / "A");
    std::filesystem::create_directories(dir / "B");
    writeWholeFile(dir / "plain.txt", "");
    std::vector<std::filesystem::path> eleven;
    for (int i = 0; i < 11; ++i) {
        eleven.push_back(dir / vr::format("F{:02}", i));
        std::filesystem::create_directories(eleven.back());
    }
    struct Row {
        const char* name;
        std::vector<std::filesystem::path> folders;
        std::map<std::string, int> counts;
        std::vector<std::string> calls;
        std::vector<std::string> logged;
        std::vector<std::string> notLogged;
    };
    const std::string a = platform::pathText(dir / "A");
    const std::string missing = platform::pathText(dir / "missing");
    const std::string plain = platform::pathText(dir / "plain.txt");
    const Row rows[] = {
        {"one folder: no total line", {dir / "A"}, {}, {"1 A"}, {"1 liverie found in " + a}, {"1 in total"}},
        {"empty, missing and plain entries use no number",
         {"", dir / "missing", dir / "A", dir / "plain.txt", dir / "B"},
         {{"A", 5}, {"B", 1}},
         {"1 A", "2 B"},
         {missing + " does not exist, skipped!", plain + " is not a folder name, skipped!", "5 liveries found in " + a,
          "6 in total"},
         {}},
        {"a folder without liveries", {dir / "A", dir / "B"}, {{"A", 0}}, {"1 A", "2 B"},
         {"No liveries found in " + a, "1 in total"}, {}},
        {"the eleventh folder is 10 too", eleven, {}, {"1 F00", "2 F01", "3 F02", "4 F03", "5 F04", "6 F05", "7 F06",
                                                       "8 F07", "9 F08", "10 F09", "10 F10"},
         {"11 in total"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        RecordedSearch search;
        search.counts = row.counts;
        setLiveryFolderSearch(search.function());
        const std::size_t from = dir.logLines().size();
        EXPECT_TRUE(lf_scanLiveryFolders(row.folders));
        EXPECT_EQ(search.calls, row.calls);
        const std::vector<std::string> lines = logSince(from);
        for (const std::string& l : row.logged) EXPECT_THAT(lines, Contains(l));
        for (const std::string& l : row.notLogged) EXPECT_THAT(lines, Not(Contains(l)));
        EXPECT_TRUE(std::filesystem::exists(dir / liveriesScannedPath));
        EXPECT_TRUE(ScannedLiveries.empty());
    }
}

// The rule as first written: for each livery in order, look from the start for a
// kept livery of the same airline and model in a lower folder.
std::list<Livery> prioritizedByTheQuadraticRule(std::list<Livery> list)
{
    for (auto it = list.begin(); it != list.end();) {
        bool drop = false;
        for (auto m = list.begin(); m != list.end(); ++m)
            if (m != it && m->airline == it->airline && m->model == it->model && m->folderNumber < it->folderNumber)
                drop = true;
        it = drop ? list.erase(it) : std::next(it);
    }
    return list;
}

TEST_F(LiveryInit, PrioritizingKeepsTheLowestFolderOfEachAirlineAndModel)
{
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        std::list<Livery> list;
        const int n = static_cast<int>(random() % 40);
        for (int i = 0; i < n; ++i)
            list.push_back(livery(std::string(1, char('A' + random() % 3)), std::string(1, char('K' + random() % 3)),
                                  vr::format("t{}", i), random() % 2 == 0, "", 1 + random() % 4));
        std::list<Livery> expected = prioritizedByTheQuadraticRule(list);
        lf_prioritizeLiveries(list);
        ASSERT_EQ(list.size(), expected.size());
        EXPECT_TRUE(std::equal(list.begin(), list.end(), expected.begin(),
                               [](const Livery& x, const Livery& y) { return x.title == y.title; }));
    }
}

TEST_F(LiveryInit, PrioritizedScanDropsLaterFoldersOfTheSameKey)
{
    std::filesystem::create_directories(dir / "A");
    std::filesystem::create_directories(dir / "B");
    LIG_PRIORITIZE.set(true);
    RecordedSearch search;
    search.counts = {{"A", 1}, {"B", 2}};
    setLiveryFolderSearch(search.function());
    ASSERT_TRUE(lf_scanLiveryFolders({dir / "A", dir / "B"}));
    lf_readLiveriesScanned();
    std::vector<std::string> titles;
    for (const Livery& l : ScannedLiveries) titles.push_back(l.title);
    EXPECT_THAT(titles, ElementsAre("A 0"));
}

TEST_F(LiveryInit, FailuresOfTheStart)
{
    std::filesystem::create_directories(dir / "empty");
    ::setenv("VRMT_APPDATA", dir.path().c_str(), 1);
    ::setenv("VRMT_PROGRAMDATA", dir.path().c_str(), 1);
    struct Row {
        const char* name;
        bool automatic;
        std::string folder;
        std::string error;
    };
    const Row rows[] = {
        {"manual without folders", false, "",
         "48: Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or check Liveries automatic)"},
        {"manual, nothing found", false, (dir / "empty").string(), "53: no liveries found"},
        {"automatic, nothing found", true, "",
         "43: Automatic scan has not found any liveries, switch off automatic and set lfolder parameter(-s), Manual 5.1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SCAN_LIVERIES.set(true);
        LIG_AUTOMATIC.set(row.automatic);
        P3D_VERSION.set(5);
        lfolder[3]->set(row.folder);
        EXPECT_EQ(initError(), row.error);
        EXPECT_TRUE(SCAN_LIVERIES.get());
        EXPECT_FALSE(LiveriesInitialised);
        EXPECT_EQ(statusPanel().liveriesCount, 0);
    }
    ::unsetenv("VRMT_APPDATA");
    ::unsetenv("VRMT_PROGRAMDATA");
}

TEST_F(LiveryInit, AStopDuringTheScanLeavesTheScanToTheNextStart)
{
    std::filesystem::create_directories(dir / "A");
    std::filesystem::create_directories(dir / "B");
    writeWholeFile(dir / liveriesScannedPath, R"(<liveries><liv airl="A" type="B" title="old"/></liveries>)");
    RecordedSearch search;
    search.during = [] { requestClosing(ClosingReason::SystemError, 0); };
    setLiveryFolderSearch(search.function());
    SCAN_LIVERIES.set(true);
    LIG_AUTOMATIC.set(false);
    lfolder[0]->set((dir / "A").string());
    lfolder[1]->set((dir / "B").string());
    EXPECT_EQ(initError(), "");
    EXPECT_EQ(search.calls, (std::vector<std::string>{"1 A"}));  // B is not scanned
    EXPECT_TRUE(SCAN_LIVERIES.get());
    EXPECT_FALSE(LiveriesInitialised);
    EXPECT_FALSE(std::filesystem::exists(dir / liveriesScannedPath));
    EXPECT_TRUE(LiveryIndex.empty());
    EXPECT_TRUE(ScannedLiveries.empty());
}

TEST_F(LiveryInit, ScanThenProcessOncePerProcess)
{
    RecordingOptionView view;
    view.attach({&SCAN_LIVERIES});
    makeAircraftFolder(dir / "lib" / "SimObjects" / "Airplanes" / "B738");
    std::filesystem::remove_all(dir / "output");  // the scan makes it
    SCAN_LIVERIES.set(true);
    LIG_AUTOMATIC.set(false);
    lfolder[2]->set((dir / "lib").string());
    EXPECT_EQ(initError(), "");
    EXPECT_FALSE(SCAN_LIVERIES.get());
    EXPECT_THAT(view.calls, Contains("check SCAN_LIVERIES off"));
    EXPECT_NE(readWholeFile(dir / "parameters.xml").find(R"(name="SCAN_LIVERIES" value="false")"), std::string::npos);
    EXPECT_TRUE(LiveriesInitialised);
    EXPECT_EQ(statusPanel().liveriesCount, 2);
    EXPECT_EQ(generatedFileSimulator.get(), "P3D");
    EXPECT_EQ(RegcodeTable.count("G-ABCD"), 1u);
    const std::vector<std::string> lines = dir.logLines();
    EXPECT_THAT(lines, Contains("++++++++++++++++++++++++ liveries scan manual starts ++++++++++++++++++++++++++++++++"));
    EXPECT_THAT(lines, Contains("++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++"));
    EXPECT_THAT(lines, Contains("2 liveries read from output/LiveriesScanned.xml"));
    EXPECT_THAT(lines, Contains("1 registration codes"));
    EXPECT_THAT(lines, Contains("2 airlines, 1 pax aircraft models and 1 cargo aircraft models"));
    EXPECT_THAT(lines, Contains("Category Large: 1 pax liverie and 1 cargo liverie"));

    // A second start in the same process keeps the indexes.
    const std::string_view title = lf_indexedTitle("TEST B738 Cargo");
    ASSERT_FALSE(title.empty());
    const std::size_t from = dir.logLines().size();
    EXPECT_EQ(initError(), "");
    EXPECT_THAT(logSince(from), ElementsAre("Processing scanned liveries skipped; already done in previous start-up"));
    EXPECT_EQ(lf_indexedTitle("TEST B738 Cargo").data(), title.data());
}

// A LiveriesScanned.xml that is there but broken is no "not found" error that
// stops every start: it is kept aside, the user told, and the liveries scanned
// again as at a first start.
TEST_F(LiveryInit, ABrokenLiveriesScannedIsScannedAgain)
{
    makeAircraftFolder(dir / "lib" / "SimObjects" / "Airplanes" / "B738");
    LIG_AUTOMATIC.set(false);
    lfolder[2]->set((dir / "lib").string());
    struct Row {
        const char* name;
        std::string file;
        std::string problem;  // in the log line
    };
    const std::string whole = R"(<liveries><liv airl="AAA" type="B738" title="T"/></liveries>)";
    const Row rows[] = {
        {"cut", whole.substr(0, 30), "cannot be read (Error parsing"},
        {"empty", "", "(No document element found)"},
        {"garbage", "\x9f\x12 zz \xff garbage", "cannot be read ("},
        {"well-formed, no liveries", "<liveries/>", "(no liveries in it)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        requestLiveryRescan();
        SCAN_LIVERIES.set(false);
        writeWholeFile(dir / liveriesScannedPath, row.file);
        const std::size_t from = dir.logLines().size();
        EXPECT_EQ(initError(), "");
        EXPECT_TRUE(LiveriesInitialised);
        EXPECT_EQ(statusPanel().liveriesCount, 2);
        EXPECT_EQ(readWholeFile(dir / "output" / "LiveriesScanned.xml.bak"), row.file);
        const std::vector<std::string> lines = logSince(from);
        EXPECT_THAT(lines, Contains(AllOf(HasSubstr("===> File output/LiveriesScanned.xml cannot be read"),
                                          HasSubstr(row.problem), HasSubstr("liveries are scanned again"))));
        EXPECT_THAT(lines, Contains("2 liveries read from output/LiveriesScanned.xml"));
        EXPECT_THAT(lines, Not(Contains(HasSubstr("not found"))));
    }
}

TEST_F(LiveryInit, AProcessingThatFailedHalfWayLeavesNothingBehind)
{
    // Tables of an earlier run of this process that stopped in the middle.
    lf_indexLiveries({livery("OLD", "B738", "Old title")});
    lf_buildAirlineModelIndexes();
    RegcodeTable["G-OLD"] = lf_indexedTitle("Old title");
    writeWholeFile(dir / liveriesScannedPath, R"(<liveries><liv airl="AAA" type="B738" title="New title"/></liveries>)");
    lf_processScannedLiveries();
    EXPECT_EQ(LiveryIndex.count("OLD"), 0u);
    EXPECT_EQ(AirlineModelIndex[paxKind].count("OLD"), 0u);
    EXPECT_EQ(RegcodeTable.count("G-OLD"), 0u);
    EXPECT_TRUE(lf_indexedTitle("Old title").empty());
    EXPECT_EQ(lf_indexedTitle("New title"), "New title");
}

TEST_F(LiveryInit, EndToEndFromTheScanToAMatch)
{
    makeAircraftFolder(dir / "lib" / "SimObjects" / "Airplanes" / "B738");
    writeWholeFile(dir / "input" / "AIG-regcodes.enc",
                   gf_encryptText(DataDecryptionKey, R"(<AIG-regcodes>
  <livery title="TEST B738 Cargo" reg="D-ABCD,D-ABCE" special="false"/>
</AIG-regcodes>)"));
    SCAN_LIVERIES.set(true);
    LIG_AUTOMATIC.set(false);
    lfolder[0]->set((dir / "lib").string());
    ASSERT_EQ(initError(), "");
    installLiveryServices();

    ParkedTrafficRecord record;
    record.callsign = "AAA123";
    record.airline = "AAA";
    record.type = "B738";
    record.registration = "D-ABCE";
    record.aircraftId = 0x3C0001;
    const AcIdentity identity = acIdentityFromTraffic(record);
    const auto byRegcode = gf_matchLiveAcLivery(liveryRequest(identity));
    ASSERT_TRUE(byRegcode);
    EXPECT_EQ(byRegcode->title, "TEST B738 Cargo");
    record.registration = "";
    const auto byAirline = gf_matchLiveAcLivery(liveryRequest(acIdentityFromTraffic(record)));
    ASSERT_TRUE(byAirline);
    EXPECT_EQ(byAirline->title, "TEST B738 Alpha G-ABCD");
    EXPECT_EQ(MatchStepCounters[0], 1);
    EXPECT_EQ(MatchStepCounters[1], 1);
    EXPECT_THAT(fileLines(dir / "output/info/OfflineRegcodes.txt"),
                ElementsAre("Processing file input/AIG-regcodes.xml", "2 new regcodes added"));
    EXPECT_FALSE(std::filesystem::exists(dir / "input/AIG-regcodes.xml"));
    setLiveryServices(nullptr);
}

}  // namespace
