// The airport scan over a fake Prepar3D installation: folder lists, the walk's
// filters, publishers, links and generated files, offline-learning copies.

#include <gtest/gtest.h>

#include <functional>

#include <pugixml.hpp>

#include "airports/airport_load.h"
#include "bglbuilder/bgl_builder.h"
#include "core/errors.h"
#include "scan_fixture.h"
#include "support/airport_fixture.h"

namespace {

namespace fs = std::filesystem;

using ScanTest = ScanFixture;

const std::string kInstall = "C:\\Program Files\\Lockheed Martin\\Prepar3D v5";

TEST_F(ScanTest, AutomaticScanOfTheFakeInstallation)
{
    RecordingOptionView view;
    setOptionView(&view);
    SCAN_AIRPORTS.setWindow(&view);
    gf_scanAirports();
    SCAN_AIRPORTS.setWindow(nullptr);
    setOptionView(nullptr);
    // The box is cleared with the option.
    EXPECT_EQ(view.calls.count(vr::format("check {} false", SCAN_AIRPORTS.controlId())), 1u);

    const auto files = filesBelow("airports");
    std::vector<std::string> names;
    for (const auto& [name, text] : files) names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"airports/my_ORBX/EGKB.xml", "airports/my_ORBX/EGLC.txt",
                                               "airports/my_thirdparty/EDDM.txt", "airports/my_thirdparty/EDDM.xml",
                                               "airports/my_thirdparty/EHAM.txt", "airports/my_thirdparty/KSFO.txt",
                                               "airports/my_thirdparty/KSFO.xml", "airports/my_thirdparty/LOWW.xml"}));
    EXPECT_EQ(files.at("airports/my_ORBX/EGLC.txt"), "archive/simaddon/EGLC.xml");
    EXPECT_EQ(files.at("airports/my_thirdparty/EHAM.txt"), "archive/thirdparty/FlyTampa/EHAM.xml\n");
    EXPECT_EQ(files.at("airports/my_thirdparty/EDDM.txt"), "archive/thirdparty/Some%20Publisher/EDDM.xml\n");
    // Of the two files holding EDDM the later in walk order (13 stands) wins.
    EXPECT_NE(files.at("airports/my_thirdparty/EDDM.xml").find("name=\"num_parkpos\" value=\"13\""), std::string::npos);
    // An unknown publisher's file names its scenery file.
    EXPECT_NE(files.at("airports/my_thirdparty/LOWW.xml").find("LOWW_AD.bgl"), std::string::npos);

    const auto scanLog = scanLogFile();
    for (const char* line : {
             "Scanning for addon airports in ",
             "thirdparty airport KSFO linked to archive/thirdparty/FlyTampa/KSFO.xml",
             "===> KSFO has 26 parkpos while archived one has 20",
             "Generated KSFO.xml: 26 positions, of which 1 helipad",
             "from filename => publisher simaddon",
             "simaddon airport EGLC linked to archive/simaddon/EGLC.xml",
             "EGKB does not exist as simaddon",
             "Generated EGKB.xml: 7 positions, of which 1 helipad",
             "Generated LOWW.xml: 10 positions, of which 1 helipad",
         })
        EXPECT_TRUE(has(scanLog, line)) << line;
    // One publisher line for each airport of the ORBX file (EGLC and EGKB).
    EXPECT_EQ(std::count_if(scanLog.begin(), scanLog.end(),
                            [](const std::string& l) { return l.find("from filename => publisher simaddon") != std::string::npos; }),
              2);
    // Stock, inactive, statics, heliports, ".Bgl": never read.
    for (const char* icao : {"KJFK", "KBOS", "LFPG", "EHAX", "EGLW", "LOWI"}) EXPECT_FALSE(has(scanLog, icao)) << icao;

    const auto messages = shell.messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        AppServicesFake::Message{"D:\\Scenery\\Missing does not exist, skipped!", true}),
              messages.end());
    EXPECT_FALSE(SCAN_AIRPORTS.get());
    EXPECT_TRUE(airportFilesChanged.load());
    EXPECT_TRUE(has(logFile(), "Airports scan successful"));
    EXPECT_FALSE(fs::exists(tbloFolder));  // nothing suitable for offline learning: removed
    EXPECT_EQ(generatedFileSimulator.get(), "P3D");
}

TEST_F(ScanTest, GeneratedFilesLoadAsAirportFiles)
{
    gf_scanAirports();
    for (const char* reference : {"airports/my_thirdparty/KSFO.xml", "airports/my_ORBX/EGKB.xml"}) {
        SCOPED_TRACE(reference);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_file(reference));
        AirportHeader header;
        std::vector<Stand> stands;
        EXPECT_EQ(lf_readApfDocument(doc, reference, header, stands), "");
        EXPECT_FALSE(stands.empty());
        EXPECT_TRUE(std::is_sorted(stands.begin(), stands.end(),
                                   [](const Stand& a, const Stand& b) { return a.name < b.name; }));
    }
}

TEST_F(ScanTest, SceneryCfgInUtf16GivesTheSameFolders)
{
    std::vector<std::string> utf8;
    lf_readSceneryCfg(utf8);
    bglb::writeFakeInstallation(root.path(), {true});
    std::vector<std::string> utf16;
    lf_readSceneryCfg(utf16);
    EXPECT_EQ(utf8, (std::vector<std::string>{"D:\\Scenery\\Bay Area\\FlyTampa KSFO",
                                              kInstall + "\\Addon Scenery\\FlyTampa EHAM", "D:\\Scenery\\ORBX\\EGLC",
                                              "D:\\Scenery\\Missing", "D:\\Scenery\\Unknown Pub"}));
    EXPECT_EQ(utf16, utf8);
    std::vector<std::string> addOns;
    lf_readSceneryAddOns(addOns);
    EXPECT_EQ(addOns, std::vector<std::string>{"D:\\Addons\\SomePub EDDM"});
}

TEST_F(ScanTest, SceneryCfgSections)
{
    struct Row {
        const char* name;
        std::vector<std::string> section;
        std::vector<std::string> folders;
    };
    const std::vector<Row> rows = {
        {"Active=FALSE adds nothing", {"Local=D:\\Scenery\\X", "Active=FALSE"}, {}},
        {"no Active line adds nothing", {"Local=D:\\Scenery\\X"}, {}},
        {"a stock folder", {"Local=Scenery\\World", "Active=TRUE"}, {}},
        {"a relative folder joins the install path",
         {"Local=Addon Scenery\\MyAirport", "Active=TRUE"},
         {kInstall + "\\Addon Scenery\\MyAirport"}},
        {"an absolute folder as it stands", {"Local=D:\\Scenery\\X", "active=true"}, {"D:\\Scenery\\X"}},
        {"a folder inside the stock scenery", {"Local=" + kInstall + "\\Scenery\\Extra", "Active=TRUE"}, {}},
        {"an add-on folder whose name begins like a stock one",
         {"Local=D:\\Scenery\\Worldwide Airports", "Active=TRUE"},
         {"D:\\Scenery\\Worldwide Airports"}},
        {"a path holding Area, Title or Layer", {"Local=D:\\Bay Area\\Title Layer", "Active=TRUE"},
         {"D:\\Bay Area\\Title Layer"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> list;
        lf_readSceneryCfgEntries(row.section, kInstall, list);
        EXPECT_EQ(list, row.folders);
    }
}

// A folder listed twice (in scenery.cfg, or there and in scenery_add-ons.xml) is scanned once.
TEST_F(ScanTest, AFolderListedTwiceIsScannedOnce)
{
    writeWholeFile(install.sceneryCfg,
                   "[Area.1]\r\nLocal=D:\\Scenery\\X\r\nActive=TRUE\r\n"
                   "[Area.2]\r\nLocal=d:\\scenery\\x\\\r\nActive=TRUE\r\n"
                   "[Area.4]\r\nLocal=D:\\Addons\\SomePub EDDM\r\nActive=TRUE\r\n");
    std::vector<std::string> list;
    lf_readSceneryCfg(list);
    lf_readSceneryAddOns(list);
    EXPECT_EQ(list, (std::vector<std::string>{"D:\\Scenery\\X", "D:\\Addons\\SomePub EDDM"}));
    EXPECT_TRUE(has(logFile(), "listed before, skipped:d:\\scenery\\x\\"));
}

TEST_F(ScanTest, SceneryCfgAreaTitledBayArea)
{
    writeWholeFile(install.sceneryCfg,
                   "[Area.123]\r\nTitle=Bay Area\r\nLocal=D:\\Scenery\\BayArea\r\nLayer=123\r\nActive=TRUE\r\n"
                   "[AREA.124]\r\nTitle=x\r\nLocal=D:\\Scenery\\Off\r\nActive=FALSE\r\n");
    std::vector<std::string> list;
    lf_readSceneryCfg(list);
    EXPECT_EQ(list, std::vector<std::string>{"D:\\Scenery\\BayArea"});
    fs::remove(install.sceneryCfg);
    list.clear();
    lf_readSceneryCfg(list);
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(has(logFile(), "scenery.cfg not found!"));
}

TEST_F(ScanTest, ManualModeWithoutFoldersFailsBeforeAnythingIsRemoved)
{
    AFG_AUTOMATIC.set(false);
    fs::create_directories("airports/my_ORBX");
    fs::create_directories(tbloFolder);
    writeWholeFile("airports/my_ORBX/KEEP.xml", "x");
    writeWholeFile(tbloFolder / "KEEP.xml", "x");
    try {
        gf_scanAirports();
        FAIL() << "no exception";
    } catch (const qxv::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "49: Set afolder parameter(-s) to your add-on airports first, see Manual 6.1");
    }
    EXPECT_TRUE(fs::exists("airports/my_ORBX/KEEP.xml"));
    EXPECT_TRUE(fs::exists(tbloFolder / "KEEP.xml"));

    afolder[3]->set(kInstall + "\\Scenery\\World");
    try {
        gf_scanAirports();
        FAIL() << "no exception";
    } catch (const qxv::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "42: parameter afolder3 points to stock airports instead of add-on airports!");
    }
    EXPECT_TRUE(fs::exists("airports/my_ORBX/KEEP.xml"));
    EXPECT_TRUE(SCAN_AIRPORTS.get());
}

TEST_F(ScanTest, ManualModeMissingFirstFolderThenTheInstallFolder)
{
    AFG_AUTOMATIC.set(false);
    afolder[0]->set("D:\\Nowhere");
    afolder[1]->set(kInstall);  // its Scenery folder is never entered
    gf_scanAirports();
    const auto messages = shell.messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        AppServicesFake::Message{"D:\\Nowhere does not exist, skipped!", true}),
              messages.end());
    const auto scanLog = scanLogFile();
    EXPECT_TRUE(has(scanLog, "thirdparty airport EHAM linked"));
    EXPECT_FALSE(has(scanLog, "KJFK"));
    EXPECT_FALSE(has(scanLog, "KBOS"));
    EXPECT_TRUE(has(logFile(), "From parameter afolder1: " + kInstall));
}

TEST_F(ScanTest, Publishers)
{
    PublisherAliases.push_back({"Trailing", "trail", ""});
    struct Row {
        std::string path;
        std::string publisher;
    };
    const std::vector<Row> rows = {
        {"D:/Scenery/ORBX/EGLC/a.bgl", "simaddon"},
        {"D:/Scenery/orbx/x.bgl", "simaddon"},
        {"D:/Scenery/OrBx/x.bgl", "simaddon"},
        {"D:/FLYTAMPA/x.bgl", "FlyTampa"},
        {"D:/some_publisher/x.bgl", "Some Publisher"},
        {"D:/nothing/x.bgl", "Trailing"},  // an empty alias claims every path
    };
    for (const auto& row : rows) EXPECT_EQ(publisherFromFilename(row.path), row.publisher) << row.path;
    PublisherAliases.pop_back();
    EXPECT_EQ(publisherFromFilename("D:/nothing/x.bgl"), "unknown");
}

TEST_F(ScanTest, ThirdPartyReferencesAndCounts)
{
    ThirdPartyAirports.push_back({"A B C", {"LOWW7", "EHAMxyz", "EHAM123", "ZZZ"}});
    struct Row {
        std::string publisher, icao;
        std::optional<std::string> reference;
        int count;
    };
    const std::vector<Row> rows = {
        {"Some Publisher", "EDDM", "archive/thirdparty/Some%20Publisher/EDDM.xml", 5},
        {"A B C", "LOWW", "archive/thirdparty/A%20B C/LOWW.xml", 7},
        {"A B C", "EHAM", "archive/thirdparty/A%20B C/EHAM.xml", -1},  // the first item, "xyz", is no number
        {"A B C", "ZZZ", std::nullopt, -1},                            // codes have four characters
        {"FlyTampa", "EDDM", std::nullopt, -1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.publisher + " " + row.icao);
        int count = -1;
        EXPECT_EQ(lf_linkThirdParty(row.publisher, row.icao, count), row.reference);
        EXPECT_EQ(count, row.count);
    }
    EXPECT_TRUE(has(logFile(), "===> A B C EHAM EHAMxyz invalid number"));
    EXPECT_TRUE(has(scanLogLines(), "thirdparty FlyTampa EDDM does not exist"));
}

TEST_F(ScanTest, OfflineLearningCopies)
{
    serveArchived("KSFO", true);
    serveArchived("EGKB", true);
    serveArchived("LOWW", false);
    gf_scanAirports();
    EXPECT_TRUE(fs::exists(tbloFolder / "KSFO.xml"));
    EXPECT_TRUE(fs::exists(tbloFolder / "EGKB.xml"));
    EXPECT_FALSE(fs::exists(tbloFolder / "LOWW.xml"));
    // Generated and linked: the generated copy leaves the folder; not linked: it stays.
    EXPECT_FALSE(fs::exists("airports/my_thirdparty/KSFO.xml"));
    EXPECT_TRUE(fs::exists("airports/my_thirdparty/KSFO.txt"));
    EXPECT_TRUE(fs::exists("airports/my_ORBX/EGKB.xml"));
    EXPECT_TRUE(fs::exists("airports/my_thirdparty/LOWW.xml"));
    EXPECT_EQ(statusPanel().tbloCount.load(), 2);
    EXPECT_TRUE(statusPanel().orbxDone.load());
    const auto log = logFile();
    EXPECT_TRUE(has(log, "KSFO copied to TBLO/KSFO.xml"));
    EXPECT_TRUE(has(log, "LOWW not suitable for offline learning"));
    EXPECT_TRUE(has(log, "===> \nzip folder 'TBLO'") || has(log, "zip folder 'TBLO'"));
}

TEST_F(ScanTest, ASecondScanStartsWithTheChangedFlagCleared)
{
    gf_scanAirports();
    EXPECT_TRUE(airportFilesChanged.load());
    writeWholeFile(install.sceneryCfg, "[Area.001]\r\nLocal=D:\\Scenery\\Missing\r\nActive=TRUE\r\n");
    fs::remove(install.sceneryAddOns);
    SCAN_AIRPORTS.set(true);
    gf_scanAirports();
    EXPECT_FALSE(airportFilesChanged.load());
    const auto messages = shell.messages();
    EXPECT_NE(std::find(messages.begin(), messages.end(),
                        AppServicesFake::Message{"Warning: Scan has not found any add-on airports", true}),
              messages.end());
    EXPECT_TRUE(filesBelow("airports").empty());
}

TEST_F(ScanTest, StockPathMatchesWholeComponents)
{
    EXPECT_TRUE(lf_isSimulatorPath(platform::toFsPath(kInstall + "\\Scenery")));
    EXPECT_TRUE(lf_isSimulatorPath(platform::toFsPath(kInstall + "\\Scenery\\World\\scenery")));
    EXPECT_FALSE(lf_isSimulatorPath(platform::toFsPath(kInstall + "\\Scenery Addons\\X")));
    EXPECT_FALSE(lf_isSimulatorPath(platform::toFsPath(kInstall + "\\Addon Scenery")));
    EXPECT_TRUE(lf_isStockSceneryFolder("Local=Scenery\\0106"));
    EXPECT_TRUE(lf_isStockSceneryFolder("Local=Scenery\\World\\"));
    EXPECT_FALSE(lf_isStockSceneryFolder("Local=Scenery\\Worldwide"));
    EXPECT_FALSE(lf_isStockSceneryFolder("Local=Scenery\\world"));  // case-sensitive
    EXPECT_TRUE(lf_isBGLfile(".BGL"));
    EXPECT_TRUE(lf_isBGLfile(".bgl"));
    EXPECT_FALSE(lf_isBGLfile(".Bgl"));
    SIM_INSTALL_PATH.set("");
    EXPECT_FALSE(lf_isSimulatorPath(platform::toFsPath("D:\\Scenery\\X")));
}

}  // namespace
