// The demo world as the program reads it: the formats one part of the project
// writes (the data files, aircraft.cfg, BGL, stand files, the registry file) are
// read by the parts that use them, and the demo airport's stands are where the
// service stand-in's scene parks its aircraft. The livery scan runs tasks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <sstream>

#include <pugixml.hpp>

#include "airports/airport_load.h"
#include "airports/bgl_reader.h"
#include "airports/learned_merge.h"
#include "core/geodesy.h"
#include "core/install_lookup.h"
#include "core/task_slots.h"
#include "demo_world.h"
#include "liveries/addon_discovery.h"
#include "liveries/data_crypto.h"
#include "liveries/dbase.h"
#include "liveries/folder_scan.h"
#include "liveries/livery.h"
#include "liveries/regcodes.h"
#include "platform/registry.h"
#include "scene.h"

namespace fs = std::filesystem;

namespace {

const char* const kAirlines[] = {"KLM", "DLH", "BAW", "AFR", "EZY", "TRA"};
const char* const kTypes[] = {"A320", "B738", "E190", "A332", "B77W", "A21N"};

std::string readAll(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string registrationOf(int i)
{
    return std::string("PH-") + static_cast<char>('A' + i % 26) + static_cast<char>('A' + i / 26 % 26) + "V";
}

class DemoWorldTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        std::random_device rd;
        root_ = new fs::path(fs::temp_directory_path() / ("vrmt_demo_world_" + std::to_string(rd())));
        demo::buildDemoWorld(fs::path(VRMT_SOURCE_DIR) / "demo", fs::path(VRMT_SOURCE_DIR) / "tools/datafile/demo",
                             *root_);
    }
    static void TearDownTestSuite()
    {
        std::error_code ec;
        fs::remove_all(*root_, ec);
        delete root_;
    }
    void TearDown() override
    {
        resetDbaseTables();
        ScannedLiveries.clear();
        lf_resetScanLists();
    }
    static fs::path world(const std::string& relative) { return *root_ / relative; }
    // The demo airport's stand file as the download site serves it.
    static std::vector<Stand> eham(AirportHeader& header)
    {
        pugi::xml_document doc;
        std::vector<Stand> stands;
        EXPECT_TRUE(doc.load_file(world("downloads/P3D/archive/stock/EHAM.xml").c_str()));
        EXPECT_EQ(lf_readApfDocument(doc, "archive/stock/EHAM.xml", header, stands), "");
        return stands;
    }
    static void loadDbase()
    {
        pugi::xml_document doc;
        const std::string plain = gf_decryptText(DataDecryptionKey, readAll(world("program/input/dbase.enc")));
        ASSERT_TRUE(doc.load_string(plain.c_str()));
        gf_readDbaseDocument(doc);
    }

    static fs::path* root_;
};
fs::path* DemoWorldTest::root_ = nullptr;

TEST_F(DemoWorldTest, TheDataFilesDecryptAndCoverTheScene)
{
    EXPECT_EQ(readAll(world("program/input/dbase.enc")), readAll(world("downloads/dbase.enc")));
    loadDbase();
    std::vector<RegcodeEntry> regcodes;
    pugi::xml_document doc;
    const std::string plain = gf_decryptText(DataDecryptionKey, readAll(world("program/input/AIG-regcodes.enc")));
    ASSERT_TRUE(doc.load_string(plain.c_str()));
    ASSERT_TRUE(lf_readAigRegcodesDocument(doc, "AIG-regcodes.xml", regcodes));
    for (int i = 0; i < 6 * demo::kPerRole; ++i) {
        const std::string reg = registrationOf(i);
        SCOPED_TRACE(reg);
        const auto record = dbaseFindRecord(reg);
        ASSERT_TRUE(record);
        EXPECT_EQ(record->airline, kAirlines[i % 6]);
        EXPECT_EQ(record->type, kTypes[i % 6]);
        EXPECT_TRUE(std::any_of(regcodes.begin(), regcodes.end(), [&](const RegcodeEntry& e) {
            return std::find(e.regcodes.begin(), e.regcodes.end(), reg) != e.regcodes.end();
        }));
    }
}

TEST_F(DemoWorldTest, TheLiveryScanFindsALiveryForEveryRegistrationCode)
{
    loadDbase();
    std::vector<std::string> lines;
    std::istringstream cfg(readAll(world("ProgramData/Lockheed Martin/Prepar3D v5/simobjects.cfg")));
    for (std::string line; std::getline(cfg, line);) lines.push_back(line.substr(0, line.find('\r')));
    std::vector<fs::path> folders;
    lf_readSimObjectsLines(lines, world("Prepar3D v5"), folders);
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_TRUE(fs::is_directory(folders[0])) << folders[0];

    taskLimit = 4;
    lf_searchLiveriesInFolder(1, folders[0]);
    std::set<std::string> titles;
    for (const Livery& l : ScannedLiveries) titles.insert(l.title);
    EXPECT_EQ(titles.size(), 6u * demo::kPerRole + 2);
    std::vector<RegcodeEntry> regcodes;
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(
        gf_decryptText(DataDecryptionKey, readAll(world("program/input/AIG-regcodes.enc"))).c_str()));
    ASSERT_TRUE(lf_readAigRegcodesDocument(doc, "AIG-regcodes.xml", regcodes));
    for (const RegcodeEntry& e : regcodes) {
        if (!e.regcodes.empty()) {
            EXPECT_TRUE(titles.count(e.title)) << e.title;
        }
    }
}

class RecordingAirports : public BglAirportHandler {
public:
    bool linkAirport(ScannedAirport&, int& archivedCount, const std::string&) override
    {
        archivedCount = 0;
        return false;
    }
    void generateAirportFile(ScannedAirport& airport) override { airports.push_back(airport); }
    std::vector<ScannedAirport> airports;
};

TEST_F(DemoWorldTest, TheAddOnSceneryHoldsTheAirportAndItsStands)
{
    const std::string cfg = readAll(world("ProgramData/Lockheed Martin/Prepar3D v5/scenery.cfg"));
    EXPECT_NE(cfg.find("Local=Addon Scenery\\VRMT Demo EHLE"), std::string::npos);
    const fs::path bgl = world("Prepar3D v5/Addon Scenery/VRMT Demo EHLE/scenery/EHLE_AD.bgl");
    ASSERT_TRUE(lf_checkBGLfile(bgl));
    RecordingAirports handler;
    lf_processBGLfile(bgl, handler);
    ASSERT_EQ(handler.airports.size(), 1u);
    EXPECT_EQ(handler.airports[0].icao, demo::kAddonAirport);
    EXPECT_GE(handler.airports[0].stands.size(), static_cast<std::size_t>(demo::kAddonStands));
}

TEST_F(DemoWorldTest, TheRegistryFileNamesTheInstallation)
{
    const fs::path reg = *root_ / "registry.reg";
    demo::writeRegistryFile(reg, world("Prepar3D v5"));
    setenv("VRMT_REGISTRY_FILE", reg.c_str(), 1);
    EXPECT_TRUE(isP3DInstalled(5));
    const fs::path setup = getP3DSetupPath(5);
    unsetenv("VRMT_REGISTRY_FILE");
    EXPECT_TRUE(fs::equivalent(setup, world("Prepar3D v5"))) << setup;
}

// Every stand file of the world loads as the program loads it, and the learned
// file's options land on the demo airport's stands.
TEST_F(DemoWorldTest, TheStandFilesLoad)
{
    struct Row {
        const char* file;
        std::int32_t altitude;
        std::size_t stands;
    };
    const Row rows[] = {
        {"downloads/P3D/archive/stock/EHAM.xml", -11, demo::demoStands().size()},
        {"downloads/P3D/archive/stock/EHRD.xml", -15, 4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.file);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_file(world(row.file).c_str()));
        AirportHeader header;
        std::vector<Stand> stands;
        EXPECT_EQ(lf_readApfDocument(doc, row.file, header, stands), "");
        EXPECT_EQ(header.altitude, row.altitude);
        EXPECT_EQ(stands.size(), row.stands);
    }

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file(world("downloads/P3D/archive/stock/EHAM.xml").c_str()));
    AirportHeader header;
    std::vector<Stand> stands;
    ASSERT_EQ(lf_readApfDocument(doc, "archive/stock/EHAM.xml", header, stands), "");
    pugi::xml_document learned;
    ASSERT_TRUE(learned.load_file(world("program/airports/learned/stock/EHAM.xml").c_str()));
    lf_mergeLearnedDocument(learned, "learned/stock/EHAM.xml", header, stands);
    // One option a weekday, every half hour, on twelve stands.
    std::size_t withOptions = 0;
    for (const Stand& stand : stands) {
        if (stand.options.empty()) continue;
        ++withOptions;
        EXPECT_EQ(stand.options.size(), 7u) << stand.name;
    }
    EXPECT_EQ(withOptions, 12u);
}

// The scene's parked aircraft stand on the demo airport's stands of their names.
TEST_F(DemoWorldTest, TheSceneParksItsAircraftOnTheDemoAirportsStands)
{
    AirportHeader header;
    const std::vector<Stand> stands = eham(header);
    EXPECT_EQ(header.altitude, -11);

    standin::SceneAirport airport;
    EXPECT_EQ(airport.icao, demo::demoAirport.icao);
    const standin::Scene scene(airport, demo::kPerRole, [] { return 1'700'000'000.0; });
    const nlohmann::json parked = scene.parkedData(1'700'000'000.0);
    ASSERT_EQ(parked.size(), 2u * demo::kPerRole);
    int matched = 0;
    for (const auto& [id, entry] : parked.items()) {
        const std::string name = entry[2].get<std::string>();
        const auto stand = std::find_if(stands.begin(), stands.end(), [&](const Stand& s) { return s.name == name; });
        ASSERT_NE(stand, stands.end()) << name;
        // The parked ones stand still on their stand; the pushing-back ones have left theirs.
        if (std::abs(stand->latitude - entry[0].get<double>()) < 1e-5 &&
            std::abs(stand->longitude - entry[1].get<double>()) < 1e-5)
            ++matched;
    }
    EXPECT_GE(matched, demo::kPerRole);
}

// The scene's aircraft at a stand face as the stand does (the true heading
// served), and a push-back leaves it tail first: the engine parks an aircraft
// with its stand's heading and pushes back when the way on lies behind it.
TEST_F(DemoWorldTest, TheScenesPushBacksLeaveTheirStandsTailFirst)
{
    AirportHeader header;
    const std::vector<Stand> stands = eham(header);
    const double t0 = 1'700'000'000.0;
    const standin::Scene scene(standin::SceneAirport{}, demo::kPerRole, [t0] { return t0; });
    int pushing = 0;
    // Every few seconds of a push-back's round (300 s), so each plane is seen at its stand and on its way.
    for (double t = t0; t < t0 + 300.0; t += 5.0) {
        const nlohmann::json now = scene.liveData(t, 90, -90, -180, 180);
        const nlohmann::json later = scene.liveData(t + 5.0, 90, -90, -180, 180);
        const nlohmann::json parked = scene.parkedData(t);
        for (const auto& [id, entry] : parked.items()) {
            SCOPED_TRACE(entry[2].get<std::string>());
            const auto stand = std::find_if(stands.begin(), stands.end(),
                                            [&](const Stand& s) { return s.name == entry[2].get<std::string>(); });
            ASSERT_NE(stand, stands.end());
            ASSERT_TRUE(now.contains(id));
            if (!later.contains(id)) continue;  // a new round, a new flight
            const nlohmann::json &a = now[id], &b = later[id];
            const double served = a[25].get<double>() * geo::degToRad;
            EXPECT_LT(std::abs(geo::foldPi(served - stand->heading)) * geo::radToDeg, 1.0) << "the nose as served";
            const LatLon from{a[1].get<double>(), a[2].get<double>()}, to{b[1].get<double>(), b[2].get<double>()};
            if (distanceNm(from, to) * 1852.0 < 1.0) continue;  // standing
            ++pushing;
            const double way = initialBearing(from, to);
            EXPECT_GT(std::abs(geo::foldPi(way - stand->heading)) * geo::radToDeg, 170.0) << "tail first";
        }
    }
    EXPECT_GT(pushing, 10);
}

}  // namespace

namespace {

// No stand of the demo airport lies beside the runway the scene's aircraft land
// and take off on (from the reference point along its heading): landings roll
// out there at up to 135 kt.
TEST(DemoStands, NoneStandsBesideTheRunway)
{
    const double rwy = demo::demoAirport.runwayHeadingDeg * geo::degToRad;
    for (const demo::DemoStand& s : demo::demoStands()) {
        SCOPED_TRACE(s.name);
        const double n = (s.lat - demo::demoAirport.lat) * 60.0;
        const double e = (s.lon - demo::demoAirport.lon) * 60.0 * std::cos(demo::demoAirport.lat * geo::degToRad);
        const double along = n * std::cos(rwy) + e * std::sin(rwy);
        const double lateralMetres = std::fabs(-n * std::sin(rwy) + e * std::cos(rwy)) * 1852.0;
        if (along > 0) {
            EXPECT_GE(lateralMetres - s.radiusMetres, 100.0);
        }
    }
}

}  // namespace
