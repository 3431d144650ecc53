#include "airports/park_airports.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "airports/airport_load.h"
#include "airports/airport_services_impl.h"
#include "core/options.h"
#include "engine/stand_search.h"
#include "support/parking_fixture.h"

namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

class ParkAirportsTest : public ParkingFixture {
protected:
    void SetUp() override
    {
        ParkingFixture::SetUp();
        addAirport("EHAM", 52.31, 4.76);
        addAirport("EHRD", 51.96, 4.44);
        addAirport("EGLL", 51.47, -0.45);
    }
    static std::vector<std::string> codes()
    {
        std::vector<std::string> v;
        for (const ParkAirport& p : parkAirports()) v.push_back(p.stand.empty() ? p.code : p.code + "," + p.stand);
        return v;
    }
};

TEST_F(ParkAirportsTest, ReadingTheListLineByLine)
{
    struct Row {
        const char* name;
        std::string file;
        bool result;
        std::vector<std::string> list;
        std::string logged;  // "" : no marked line
    };
    const Row rows[] = {
        {"a code and a code with a stand", "EHAM\nEGLL,A12\n", true, {"EHAM", "EGLL,A12"}, ""},
        {"three fields", "EHAM,A1,B2\nEGLL\n", true, {"EGLL"}, "my_park_airports.txt:EHAM,A1,B2 wrong syntax, skipped"},
        {"a code twice", "EHAM\nEHAM,B4\n", true, {"EHAM"}, "my_park_airports.txt:EHAM,B4 double, skipped"},
        {"an empty line is silent", "\nEHAM\r\n\n", true, {"EHAM"}, ""},
        {"a colon joins one field", "EGLL:A1\nEHRD\n", false, {"EHRD"}, ""},
        {"an unknown code", "ZZZZ\n", false, {}, ""},
        // Blanks round the fields are no part of them.
        {"blanks round a code and a stand", "EHAM, A12\n EGLL \r\n\tEHRD ,\tB4 \n", true,
         {"EHAM,A12", "EGLL", "EHRD,B4"}, ""},
        {"a line of blanks is silent", "  \t\nEHAM\n", true, {"EHAM"}, ""},
        {"a code twice, once with blanks", "EHAM\nEHAM \n", true, {"EHAM"}, "my_park_airports.txt:EHAM  double, skipped"},
        {"an unknown code with blanks", "ZZZY \n", false, {}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        write("airports/my_park_airports.txt", row.file);
        resetAppServices();
        EXPECT_EQ(lf_readMyParkAirports(), row.result);
        EXPECT_EQ(codes(), row.list);
        if (!row.logged.empty()) {
            EXPECT_THAT(logLinesWith(row.logged), testing::SizeIs(1));
        }
    }
    EXPECT_THAT(logLinesWith("airport EGLL:A1 is unknown"), testing::SizeIs(1));
    EXPECT_THAT(logLinesWith("airport ZZZZ is unknown"), testing::SizeIs(1));
    EXPECT_THAT(logLinesWith("airport ZZZY is unknown"), testing::SizeIs(1));
}

// A broken file of many lines gives a few lines of each kind and one line
// with the count of the rest, not a line per line (10 million doubles once
// gave a 493 MB log).
TEST_F(ParkAirportsTest, RepeatedProblemsAreCutAfterAFewWithTheirCount)
{
    std::string file = "EHAM\n";
    for (int i = 0; i < 1000; ++i) file += "EHAM\nA,B,C\nZZZZ\n";
    write("airports/my_park_airports.txt", file);
    AppServicesFake fake;
    EXPECT_FALSE(lf_readMyParkAirports());
    EXPECT_EQ(codes(), std::vector<std::string>{"EHAM"});
    EXPECT_THAT(logLinesWith("double, skipped"), testing::SizeIs(5));
    EXPECT_THAT(logLinesWith("wrong syntax, skipped"), testing::SizeIs(5));
    EXPECT_THAT(fake.messages(), testing::SizeIs(testing::Le(6u)));  // 5 unknown airports, no flood
    EXPECT_THAT(logLinesWith("===> my_park_airports.txt: 995 more 'double' lines not logged"), testing::SizeIs(1));
    EXPECT_THAT(logLinesWith("===> my_park_airports.txt: 995 more 'wrong syntax' lines not logged"),
                testing::SizeIs(1));
    EXPECT_THAT(logLinesWith("===> my_park_airports.txt: 995 more 'unknown airport' lines not logged"),
                testing::SizeIs(1));
}

TEST_F(ParkAirportsTest, AMissingFileIsAnEmptyListAndThirdPartyFilesAreAdded)
{
    write("airports/my_thirdparty/EHRD.xml", "x");
    write("airports/my_thirdparty/XXXX.xml", "x");  // not in the airport list
    write("airports/my_thirdparty/sub/EGLL.xml", "x");  // subfolders are not looked at
    EXPECT_TRUE(lf_readMyParkAirports());
    EXPECT_EQ(codes(), std::vector<std::string>{"EHRD"});
    EXPECT_THAT(logLinesWith("not found"), testing::SizeIs(1));
    EXPECT_THAT(logLinesWith("1 park airport added from my_thirdparty folder(-s)"), testing::SizeIs(1));
}

TEST_F(ParkAirportsTest, AWarningAboveThreeThousandEntries)
{
    for (int n : {3000, 3001}) {
        SCOPED_TRACE(n);
        resetAirportList();
        std::string file;
        for (int i = 0; i < n; ++i) {
            const std::string code = vr::format("Q{:04}", i);
            addAirport(code, 10.0, 10.0);
            file += code + "\n";
        }
        write("airports/my_park_airports.txt", file);
        AppServicesFake fake;
        EXPECT_TRUE(lf_readMyParkAirports());
        bool warned = false;
        for (const auto& m : fake.messages()) warned |= m.text.find("a lot of airports") != std::string::npos;
        EXPECT_EQ(warned, n > 3000);
    }
}

TEST_F(ParkAirportsTest, WritingTheFirstEntry)
{
    setParkAirports({{"EHAM", "D7", {52.31, 4.76}, 0.0}});
    addMyParkAirportEntry();
    EXPECT_EQ(read("airports/my_park_airports.txt"), "EHAM,D7\n");
    write("airports/my_park_airports.txt", "EGLL\nEHAM,D7\nEHAM,D7\nEHRD\n");
    setParkAirports({{"EHAM", "F3", {52.31, 4.76}, 0.0}});
    addMyParkAirportEntry();
    EXPECT_EQ(read("airports/my_park_airports.txt"), "EGLL\nEHAM,D7\nEHAM,F3\nEHRD\n");
    setParkAirports({{"LFPG", "", {49.0, 2.5}, 0.0}});
    addMyParkAirportEntry();
    EXPECT_EQ(read("airports/my_park_airports.txt"), "EGLL\nEHAM,D7\nEHAM,F3\nEHRD\nLFPG\n");
    EXPECT_FALSE(exists("airports/my_park_airports.txt.tmp"));
    EXPECT_THAT(logLinesWith("my_park_airports.txt created with EHAM,D7"), testing::SizeIs(1));
    EXPECT_THAT(logLinesWith("my_park_airports.txt:EHAM,F3 updated stand"), testing::SizeIs(1));
    EXPECT_THAT(logLinesWith("my_park_airports.txt:LFPG new entry"), testing::SizeIs(1));
}

TEST_F(ParkAirportsTest, TheDestinationStaysFirst)
{
    setParkAirports({{"EHAM", "", {52.31, 4.76}, 0.0}, {"EHRD", "", {51.96, 4.44}, 0.0}});
    addDestination("EHRD", {51.96, 4.44});
    EXPECT_EQ(codes(), (std::vector<std::string>{"EHRD", "EHAM"}));
    EXPECT_FALSE(exists("airports/my_park_airports.txt"));  // moved, not written
    DESTINATION.set("EHRD");
    setUser(52.31, 4.76, 30000, false);  // right over EHAM, too high for either
    updateStaticParking(false);
    EXPECT_EQ(codes(), (std::vector<std::string>{"EHRD", "EHAM"}));
    addDestination("EGLL", {51.47, -0.45});
    EXPECT_EQ(codes().front(), "EGLL");
    EXPECT_EQ(read("airports/my_park_airports.txt"), "EGLL\n");
    DESTINATION.set("");
    setUser(52.31, 4.77, 30000, false);
    updateStaticParking(false);
    EXPECT_EQ(codes().front(), "EHAM");
}

TEST_F(ParkAirportsTest, InSightAtExactlyTheRangeAndHeight)
{
    clearCurrentParkAirport();
    struct Row {
        const char* name;
        double distance;
        double height;
        bool inSight;
    };
    const double range = AIRP_RANGE.get();
    const double height = AIRP_HEIGHT.get();
    const Row rows[] = {
        {"exactly at range and height", range, height, true},
        {"a little farther", range + 0.01, height, false},
        {"a little higher", range, height + 1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        clearCurrentParkAirport();
        parkingRestartPending = false;
        setParkAirports({{"EHAM", "", {52.31, 4.76}, row.distance}});
        setUser(52.0, 4.0, row.height, false);
        findParkAirport({52.0, 4.0}, false);
        EXPECT_EQ(currentParkAirport().code, row.inSight ? "EHAM" : "");
        EXPECT_EQ(parkingRestartPending, row.inSight);
    }
}

TEST_F(ParkAirportsTest, NoPositionNothingHappens)
{
    clearCurrentParkAirport();
    setParkAirports({{"EHAM", "", {52.31, 4.76}, 0.0}});
    setUser(0.00005, 0.00005, 0, true);
    updateStaticParking(true);
    EXPECT_EQ(currentParkAirport().code, "");
    EXPECT_EQ(parkAirports().front().distance, 0.0);
}

TEST_F(ParkAirportsTest, LeavingTheAirportOrANearerOneRemovesTheParking)
{
    struct Row {
        const char* name;
        LatLon user;
        double height;
        std::list<ParkAirport> list;
        const char* logged;
    };
    const Row rows[] = {
        {"out of range", {53.0, 4.76}, 1000, {{"EHAM", "", {52.31, 4.76}, 0}}, "is out of sight"},
        {"too high", {52.31, 4.76}, 20000, {{"EHAM", "", {52.31, 4.76}, 0}}, "is out of sight"},
        {"a nearer candidate", {52.10, 4.56}, 1000,
         {{"EHRD", "", {51.96, 4.44}, 9.5}, {"EHAM", "", {52.31, 4.76}, 14.6}}, "is in sight"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        setCurrentParkAirport({"EHAM", "AMS", 52.31, 4.76, 0});
        airportFileLoaded = true;
        setParkAirports(row.list);
        setUser(row.user.lat, row.user.lon, row.height, false);
        const auto before = logLinesWith(row.logged).size();
        checkParkAirportInSight(row.user);
        EXPECT_EQ(logLinesWith(row.logged).size(), before + 1);
        EXPECT_EQ(currentParkAirport().code, "");
        EXPECT_FALSE(airportFileLoaded.load());
    }
}

TEST_F(ParkAirportsTest, TheReservedStandFromTheListAndItsChange)
{
    write("airports/my_thirdparty/EHAM.xml",
          standFileText({{"airport_name", "Schiphol"}, {"publisher", "tp"}, {"altitude", "-11"}},
                        {parkposText("A1", 52.3, 4.76, 20), parkposText("A2", 52.301, 4.76, 20)}));
    write("airports/my_park_airports.txt", "EHAM,B9\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    ASSERT_EQ(lf_readParkedFile(), "");
    EXPECT_EQ(reservedStand(), "");  // no stand bears B9
    EXPECT_FALSE(statusPanel().reservedStandSet.load());

    write("airports/my_park_airports.txt", "EHAM,A2\n");
    ASSERT_TRUE(lf_readMyParkAirports());
    ASSERT_EQ(lf_readParkedFile(), "");
    EXPECT_EQ(reservedStand(), "A2");

    userOnGround = true;
    write("airports/my_park_airports.txt", "EHAM,A1\n");
    std::string message;
    EXPECT_TRUE(checkReservedStand(true, message));
    EXPECT_EQ(message, "reserved stand changed from 'A2' to 'A1'");
    EXPECT_EQ(reservedStand(), "A1");
    EXPECT_TRUE(findStandByName("A1")->reserved);
    EXPECT_FALSE(findStandByName("A2")->reserved);
    message.clear();
    EXPECT_TRUE(checkReservedStand(true, message));
    EXPECT_EQ(message, "park airports and stands are okay");
}

TEST_F(ParkAirportsTest, ALoadOnTheGroundWritesTheUsersStand)
{
    write("airports/my_thirdparty/EHAM.xml",
          standFileText({{"airport_name", "Schiphol"}, {"publisher", "tp"}, {"altitude", "-11"}},
                        {parkposText("A1", 52.3, 4.76, 20), parkposText("A2", 52.301, 4.76, 20)}));
    setUser(52.301, 4.76, 0, true);
    ASSERT_EQ(lf_readParkedFile(), "");
    EXPECT_EQ(read("airports/my_park_airports.txt"), "EHAM,A2\n");
    EXPECT_EQ(reservedStand(), "A2");
    EXPECT_TRUE(softLearningAllowed.load());  // fewer than 20 stands
    EXPECT_EQ(parkListHead()->reservedStand, "A2");
}

TEST_F(ParkAirportsTest, OnTheGroundWithoutAFile)
{
    clearCurrentParkAirport();
    AppServicesFake fake;
    setUser(51.96, 4.44, 0, true);
    updateStaticParking(true);
    EXPECT_EQ(currentParkAirport().code, "");
    ASSERT_FALSE(fake.messages().empty());
    EXPECT_EQ(fake.messages().back().text, "User aircraft on the ground at EHRD, no airport file found");
}

}  // namespace

namespace {

TEST_F(ParkAirportsTest, TheSeamFollowsTheListAndAFailedWriteKeepsTheFile)
{
    AirportServicesImpl impl;
    setAirportServices(&impl);
    setParkAirports({{"EHAM", "D7", {52.31, 4.76}, 0.0}});
    setReservedStand("D7");
    EXPECT_EQ(airportServices().reservedStandName(), "D7");
    airportServices().setFirstParkAirportReservedStand("E9");  // a flight loaded at E9
    EXPECT_EQ(parkListHead()->reservedStand, "E9");
    airportServices().addMyParkAirport();
    EXPECT_EQ(read("airports/my_park_airports.txt"), "EHAM,E9\n");

    // A folder that cannot be written: the old file stays whole, no temporary file.
    setParkAirports({{"EGLL", "", {51.47, -0.45}, 0.0}});
    std::filesystem::permissions(root() / "airports", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    airportServices().addMyParkAirport();
    std::filesystem::permissions(root() / "airports", std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    if (read("airports/my_park_airports.txt") != "EGLL\nEHAM,E9\n") {  // (root may write anyway)
        EXPECT_EQ(read("airports/my_park_airports.txt"), "EHAM,E9\n");
        EXPECT_FALSE(exists("airports/my_park_airports.txt.tmp"));
    }
    airportServices().resetForNewRun();
    EXPECT_FALSE(parkListHead().has_value());
    EXPECT_EQ(reservedStand(), "");
    setAirportServices(nullptr);
}

}  // namespace
