#include "airports/airport_list.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <clocale>

#include "airports/c_numbers.h"
#include "core/errors.h"
#include "support/airport_fixture.h"

namespace {

using testing::ElementsAre;
using testing::HasSubstr;

class AirportListTest : public AirportFixture {
protected:
    static std::vector<std::string> codes()
    {
        std::vector<std::string> out;
        for (const Airport& a : airportList) out.push_back(a.code);
        return out;
    }
};

constexpr const char* kSixAirports = R"(<?xml version="1.0"?>
<airports>
  <airport code="EHAM" iata="AMS" lat="52.3086" lon="4.7639" alt="-11"/>
  <airport iata="XXX" lat="10" lon="10" alt="0"/>
  <airport code="EGLL" iata="LHR" lat="51.1abc" lon="-0.46" alt="83"/>
  <airport code="BAD1" lat="abc" lon="1" alt="1"/>
  <airport code="BAD2" lat="1" lon="1"/>
  <airport code="BAD3" lat="1e999" lon="1" alt="1"/>
  <runway code="RWY1" lat="1" lon="1" alt="1"/>
  <airport code="EHLE" lat=" +52.46" lon="5.52" alt="-13"/>
  <airport code="EGLL" iata="SECOND" lat="1" lon="1" alt="1"/>
</airports>
)";

TEST_F(AirportListTest, ReadsSortsAndSkipsBadEntries)
{
    write("input/airports_p3d.xml", kSixAirports);
    ASSERT_TRUE(readAirports("airports_p3d.xml"));
    EXPECT_THAT(codes(), ElementsAre("", "EGLL", "EGLL", "EHAM", "EHLE"));
    EXPECT_EQ(airportList.capacity(), airportList.size());
    EXPECT_EQ(airportLabel(airportList[0]), "? (XXX)");
    EXPECT_EQ(airportLabel(airportList[1]), "EGLL (LHR)");
    EXPECT_EQ(airportLabel(airportList[4]), "EHLE");
    EXPECT_DOUBLE_EQ(airportList[1].lat, 51.1) << "trailing text after the number";
    EXPECT_DOUBLE_EQ(airportList[4].lat, 52.46) << "leading blanks and a sign";
    EXPECT_DOUBLE_EQ(findAirport("EHAM")->alt, -11);
    EXPECT_EQ(findAirport("EGLL")->iata, "LHR") << "the first of equal codes, in file order";
    EXPECT_EQ(findAirport("EHA"), nullptr);
    EXPECT_EQ(findAirport("EHAMX"), nullptr);
    EXPECT_EQ(findAirport("ZZZZ"), nullptr);
    EXPECT_EQ(logLinesWith("Error parsing coordinates for airport 'BAD1': invalid stod argument").size(), 1u);
    EXPECT_EQ(logLinesWith("Missing lat/lon/alt for airport 'BAD2'").size(), 1u);
    EXPECT_EQ(logLinesWith("Error parsing coordinates for airport 'BAD3': stod argument out of range").size(), 1u);
    EXPECT_EQ(logLinesWith("5 airports read from 'input/airports_p3d.xml'").size(), 1u);

    write("input/airports_p3d.xml", "<airports/>");
    EXPECT_TRUE(readAirports("airports_p3d.xml")) << "a second call does not read";
    EXPECT_EQ(airportList.size(), 5u);
}

TEST_F(AirportListTest, FailuresRaise88AndARetryHoldsEachAirportOnce)
{
    struct Row {
        const char* name;
        const char* content;  // nullptr: no file
        const char* message;
    };
    const Row rows[] = {
        {"no file", nullptr, "88: input/airports_p3d.xml not loaded: File was not found"},
        {"wrong root", "<airfields><airport code=\"A\" lat=\"1\" lon=\"1\" alt=\"1\"/></airfields>",
         "88: Missing <airports> root in: input/airports_p3d.xml"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(root() / "input/airports_p3d.xml");
        if (row.content) write("input/airports_p3d.xml", row.content);
        try {
            readAirports("airports_p3d.xml");
            ADD_FAILURE() << "no exception";
        } catch (const qxv::UserErrorException& e) {
            EXPECT_STREQ(e.what(), row.message);
        }
        EXPECT_FALSE(airportsRead.load());
    }
    write("input/airports_p3d.xml", kSixAirports);
    ASSERT_TRUE(readAirports("airports_p3d.xml"));
    EXPECT_EQ(airportList.size(), 5u);
}

TEST_F(AirportListTest, NumbersIgnoreTheProcessLocale)
{
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) GTEST_SKIP() << "no German locale here";
    EXPECT_EQ(parseLeadingDouble("52.25").value, 52.25);
    std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST_F(AirportListTest, ParseLeadingDoubleTable)
{
    struct Row {
        const char* text;
        NumberStatus status;
        double value;
    };
    const Row rows[] = {
        {"1.5", NumberStatus::ok, 1.5},        {"  -2x", NumberStatus::ok, -2.0},
        {"+3e2", NumberStatus::ok, 300.0},     {"", NumberStatus::invalid, 0.0},
        {"abc", NumberStatus::invalid, 0.0},   {"--1", NumberStatus::invalid, 0.0},
        {"+-1", NumberStatus::invalid, 0.0},   {"1e999", NumberStatus::outOfRange, 0.0},
        {".5", NumberStatus::ok, 0.5},         {"-", NumberStatus::invalid, 0.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const ParsedNumber n = parseLeadingDouble(row.text);
        EXPECT_EQ(n.status, row.status);
        if (row.status == NumberStatus::ok) {
            EXPECT_EQ(n.value, row.value);
        }
    }
}

TEST_F(AirportListTest, ClosestAirportAndTheNeighbourRule)
{
    // Along the equator one nm is 1/60 degree of longitude.
    const double nm = 1.0 / 60.0;
    struct Row {
        const char* name;
        std::vector<std::pair<std::string, double>> airports;  // code, longitude in nm from the position
        std::vector<std::pair<std::string, std::string>> standFiles;  // code, parkpos longitude in nm
        std::string expected;  // "" for none
    };
    const Row rows[] = {
        {"none within 5 nm", {{"AAAA", 5.01}}, {}, ""},
        {"exactly 5 nm counts", {{"AAAA", 5.0}}, {}, "AAAA"},
        {"nearer one first: the farther later one is ignored, no neighbour", {{"AAAA", 1.0}, {"BBBB", 2.0}},
         {{"BBBB", "0.0"}}, "AAAA"},
        {"equal distances: the first stays", {{"AAAA", 2.0}, {"BBBB", -2.0}}, {{"BBBB", "0.0"}}, "AAAA"},
        {"closer later one makes a neighbour; the neighbour's stand is nearer", {{"AAAA", 2.0}, {"BBBB", 1.0}},
         {{"AAAA", "0.3"}, {"BBBB", "-0.9"}}, "AAAA"},
        {"closer later one; its own stand is nearer", {{"AAAA", 2.0}, {"BBBB", 1.0}},
         {{"AAAA", "0.5"}, {"BBBB", "0.3"}}, "BBBB"},
        {"closer later one; no stand files", {{"AAAA", 2.0}, {"BBBB", 1.0}}, {}, "BBBB"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetAirportList();
        std::string file = "<airports>";
        for (const auto& [code, x] : row.airports)
            file += vr::format(R"(<airport code="{}" lat="0" lon="{}" alt="0"/>)", code, x * nm);
        write("input/airports_p3d.xml", file + "</airports>");
        std::filesystem::remove_all(root() / "airports/my_thirdparty");
        for (const auto& [code, x] : row.standFiles)
            write("airports/my_thirdparty/" + code + ".xml",
                  standFileText({{"altitude", "0"}},
                                {vr::format(R"(<parkpos id="P{}" latitude="0.0" longitude="{}" radius="20"/>)", code,
                                            std::stod(x) * nm)}));
        ASSERT_TRUE(readAirports("airports_p3d.xml"));
        const Airport* a = closestAirportOrStand({0.0, 0.0});
        EXPECT_EQ(a ? a->code : "", row.expected);
    }
    EXPECT_EQ(logLinesWith("Airport AAAA is closest, but stand PBBBB at neighbouring airport BBBB is closer at 556 meters").size(), 0u);
    EXPECT_EQ(logLinesWith("Airport BBBB is closest, but stand PAAAA at neighbouring airport AAAA is closer at 556 meters ...").size(), 1u);
    EXPECT_EQ(logLinesWith("Airport BBBB is closest, neighbour is AAAA").size(), 3u);
}

}  // namespace
