#include "airports/stand_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <sstream>

#include "core/fmt.h"
#include "core/paths.h"
#include "platform/fs_path.h"
#include "support/airport_fixture.h"

namespace {

using testing::ElementsAre;

class StandFileTest : public AirportFixture {
protected:
    // The stands of a document's <parkpositions> read with source 1.
    static std::vector<Stand> readStands(const pugi::xml_document& doc)
    {
        std::vector<Stand> out;
        for (pugi::xml_node p : doc.child("parkpositions").children("parkpos"))
            readParkpos(p, p.attribute("id").as_string(), 1, out);
        return out;
    }
    static std::vector<std::string> attributeNames(const pugi::xml_node& node)
    {
        std::vector<std::string> names;
        for (pugi::xml_attribute a : node.attributes()) names.push_back(a.name());
        return names;
    }
    static SlotRecord record(std::string reg, std::uint32_t index, std::uint32_t real = 1)
    {
        SlotRecord r;
        r.airl = "KLM";
        r.type = "B738";
        r.reg = std::move(reg);
        r.cs = "KLM123";
        r.slots.set(14).set(15);
        r.optionIndex = index;
        r.weekday = 3;
        r.real = real;
        return r;
    }
};

TEST_F(StandFileTest, FullModeRoundTrip)
{
    AirportFile airport;
    airport.airportName = "Schiphol";
    airport.bglPath = "D:\\Scenery\\EHAM\\scenery\\AF2_EHAM.bgl";
    airport.altitude = -11;
    airport.stands.push_back(Stand("g1", std::vector<SlotRecord>{record("PH-BXA", 1)}, 52.3, 4.76, 359.9 * kDegToRad,
                                25.0, StandKind{}));
    airport.stands.push_back(Stand("helipad1", std::vector<SlotRecord>{}, 52.31, 4.77, 2 * M_PI, 10.0,
                                StandKind{.cargo = true, .ramp = false, .heli = true}));
    airport.stands.back().manual = true;
    ASSERT_TRUE(writeParkpositions(airport, "airports/EHAM.xml", StandFileMode::full));
    EXPECT_FALSE(exists("airports/EHAM.xml.tmp"));

    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_file("airports/EHAM.xml"));
    std::vector<std::string> tops;
    for (pugi::xml_node n : doc.children()) tops.push_back(n.name());
    EXPECT_THAT(tops, ElementsAre("meta", "parameters", "parkpositions"));
    EXPECT_EQ(*lf_getApfParameterString(doc, "publisher"), "unknown");
    EXPECT_EQ(*lf_getApfParameterInt(doc, "altitude"), -11);
    EXPECT_EQ(*lf_getApfParameterInt(doc, "num_parkpos"), 2);
    EXPECT_EQ(*lf_getApfParameterString(doc, "BGLpath"), airport.bglPath);
    EXPECT_FALSE(lf_getApfParameterInt(doc, "Qf_real"));
    EXPECT_FALSE(lf_getApfParameterInt(doc, "WEEK"));

    const pugi::xml_node g1 = doc.child("parkpositions").child("parkpos");
    EXPECT_THAT(attributeNames(g1), ElementsAre("id", "latitude", "longitude", "heading", "radius", "cargo", "ramp"));
    EXPECT_STREQ(g1.attribute("latitude").value(), "52.300000");
    EXPECT_STREQ(g1.attribute("heading").value(), "359.9");
    EXPECT_STREQ(g1.attribute("radius").value(), "25.0");
    EXPECT_FALSE(g1.child("opt")) << "no options in a generated file";
    const pugi::xml_node heli = g1.next_sibling("parkpos");
    EXPECT_THAT(attributeNames(heli), ElementsAre("id", "latitude", "longitude", "heading", "radius", "heli", "ramp", "manual"));
    EXPECT_STREQ(heli.attribute("heading").value(), "360.0");

    const std::vector<Stand> back = readStands(doc);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_NEAR(back[0].radius, 0.0134989, 1e-7);
    EXPECT_NEAR(back[0].heading * kRadToDeg, 359.9, 1e-9);
    EXPECT_TRUE(back[1].heli);
    EXPECT_FALSE(back[1].cargo) << "a helipad is written without its cargo flag";
}

TEST_F(StandFileTest, LearnedModeWritesWhatEachStandNeeds)
{
    struct Row {
        const char* name;
        bool manual, radiusChange, cargoChange, handmade;
        std::vector<std::string> attributes;
    };
    const std::vector<std::string> full{"id", "latitude", "longitude", "heading", "radius", "cargo", "ramp"};
    std::vector<std::string> fullManual = full;
    fullManual.push_back("manual");
    const Row rows[] = {
        {"manual", true, false, false, false, fullManual},
        {"manual, handmade", true, true, false, true, fullManual},
        {"radius change", false, true, false, false, {"id", "radius_change", "radius"}},
        {"cargo change", false, false, true, false, {"id", "cargo_change", "cargo"}},
        {"both changes", false, true, true, false, {"id", "radius_change", "radius", "cargo_change", "cargo"}},
        {"both changes, handmade", false, true, true, true, {"id", "radius_change", "radius", "cargo_change", "cargo"}},
        {"nothing", false, false, false, false, {"id"}},
        {"nothing, handmade", false, false, false, true, full},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        handmadeMark = row.handmade;
        AirportFile airport;
        airport.publisher = "Pub";
        Stand s("A1", {}, 52.0, 4.0, 0.0, 20.0, {.cargo = true});
        s.manual = row.manual;
        s.radiusChange = row.radiusChange;
        s.cargoChange = row.cargoChange;
        airport.stands.push_back(s);
        pugi::xml_document doc;
        ASSERT_TRUE(buildStandDocument(doc, airport, StandFileMode::learned));
        EXPECT_EQ(attributeNames(doc.child("parkpositions").child("parkpos")), row.attributes);
        EXPECT_EQ(lf_getApfParameterInt(doc, "Qf_real").has_value(), row.handmade);
        EXPECT_EQ(lf_getApfParameterInt(doc, "altitude").has_value(), row.handmade);
        EXPECT_EQ(lf_getApfParameterString(doc, "handmade").has_value(), row.handmade);
        EXPECT_FALSE(lf_getApfParameterString(doc, "BGLpath")) << "a known publisher";
        EXPECT_EQ(*lf_getApfParameterInt(doc, "WEEK"), 27);
        EXPECT_EQ(*lf_getApfParameterInt(doc, "MAX_LIVE"), 500);
        EXPECT_EQ(*lf_getApfParameterInt(doc, "LATERAL_RANGE"), 40);
    }
}

TEST_F(StandFileTest, OptionsAreWrittenByTheirRules)
{
    liveries.dbase["PH-BXA"] = DbaseRecord{"PH-BXA", "KLM", "B738", "", false};
    struct Row {
        const char* name;
        SlotRecord record;
        std::string expected;  // the <opt> attributes as name=value, or "" for none written
    };
    SlotRecord known = record("PH-BXA", 1);
    SlotRecord unknown = record("N123AB", 2);
    SlotRecord soft = record("N123AB", 3, 0);
    SlotRecord second = record("N123AB", 4);
    second.cs2 = "KLM1";
    SlotRecord noCs = record("N123AB", 5);
    noCs.cs.clear();
    noCs.cs2 = "X";
    SlotRecord indexZero = record("N123AB", 0);
    SlotRecord fake = record("REGFAKE1", 6, 0);
    fake.fake = true;
    const Row rows[] = {
        {"registration in the database", known, "reg=PH-BXA day=3 hh=14,15 cs=KLM123"},
        {"unknown registration", unknown, "reg=N123AB airl=KLM type=B738 day=3 hh=14,15 cs=KLM123"},
        {"soft", soft, "reg=N123AB airl=KLM type=B738 soft=true day=3 hh=14,15 cs=KLM123"},
        {"second callsign", second, "reg=N123AB airl=KLM type=B738 day=3 hh=14,15 cs=KLM123:KLM1"},
        {"no callsign", noCs, "reg=N123AB airl=KLM type=B738 day=3 hh=14,15"},
        {"option index 0", indexZero, ""},
        {"invented", fake, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        AirportFile airport;
        airport.stands.push_back(Stand("A1", std::vector<SlotRecord>{row.record}, 52.0, 4.0, 0.0, 20.0, StandKind{}));
        pugi::xml_document doc;
        ASSERT_TRUE(buildStandDocument(doc, airport, StandFileMode::learned));
        const pugi::xml_node opt = doc.child("parkpositions").child("parkpos").child("opt");
        std::string text;
        for (pugi::xml_attribute a : opt.attributes())
            text += (text.empty() ? "" : " ") + std::string(a.name()) + "=" + a.value();
        EXPECT_EQ(text, row.expected);
    }
}

TEST_F(StandFileTest, ReadOptAttributesPrefersTheDatabase)
{
    liveries.dbase["PH-BXA"] = DbaseRecord{"PH-BXA", "KLM", "B738", "", false};
    liveries.dbase["PH-EXA"] = DbaseRecord{"PH-EXA", "KLM", "E190", "KLC", false};
    struct Row {
        const char* opt;
        OptAttributes expected;
    };
    const Row rows[] = {
        {R"(<opt reg="PH-BXA" airl="XXX" type="A320" cs="ABC123:X"/>)", {"ABC123", "X", "KLM", "B738"}},
        {R"(<opt reg="PH-EXA" airl="XXX" type="A320" cs="ABC123"/>)", {"ABC123", "", "KLC", "E190"}},
        {R"(<opt reg="N1" airl="PVT" type="C172" cs="A:B:C"/>)", {"A", "B:C", "PVT", "C172"}},
        {R"(<opt airl="PVT" type="C172"/>)", {"", "", "PVT", "C172"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.opt);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(row.opt));
        const OptAttributes a = readOptAttributes(doc.child("opt"));
        EXPECT_EQ(a.cs, row.expected.cs);
        EXPECT_EQ(a.cs2, row.expected.cs2);
        EXPECT_EQ(a.airl, row.expected.airl);
        EXPECT_EQ(a.type, row.expected.type);
    }
}

TEST_F(StandFileTest, ReadParkposKeepsWhatIsAStand)
{
    struct Row {
        const char* parkpos;
        bool added;
    };
    const Row rows[] = {
        {R"(<parkpos id="a" latitude="0.0" longitude="0.0" radius="20"/>)", false},
        {R"(<parkpos id="a" radius="20"/>)", false},
        {R"(<parkpos id="a" latitude="52.1" radius="20"/>)", true},
        {R"(<parkpos id="a" latitude="nan" longitude="4" radius="20"/>)", false},
        {R"(<parkpos id="a" latitude="52" longitude="4" radius="inf"/>)", false},
        {R"(<parkpos id="a" latitude="52" longitude="4" heading="-nan" radius="20"/>)", false},
        {R"(<parkpos id="a" latitude="52" longitude="4" heading="1e999" radius="20"/>)", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.parkpos);
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string(row.parkpos));
        std::vector<Stand> out;
        EXPECT_EQ(readParkpos(doc.child("parkpos"), "a", 1, out), row.added);
        EXPECT_EQ(out.size(), row.added ? 1u : 0u);
    }
    EXPECT_EQ(logLinesWith("is not a number").size(), 4u);
}

TEST_F(StandFileTest, ReadParkposReadsOptionsInOrder)
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(R"(<parkpos id="b2" latitude="52" longitude="4" heading="180" radius="30" cargo="yes" ramp="1">
        <opt reg="N1" airl="PVT" type="C172" soft="true" day="7" hh="47"/>
        <opt reg="N2" airl="PVT" type="C172" day="1" hh="0,x,48,3"/>
    </parkpos>)"));
    std::vector<Stand> out;
    ASSERT_TRUE(readParkpos(doc.child("parkpos"), "b2", 0, out));
    const Stand& s = out.front();
    EXPECT_TRUE(s.cargo);
    EXPECT_TRUE(s.ramp);
    EXPECT_FALSE(s.heli);
    EXPECT_NEAR(s.heading, M_PI, 1e-12);
    ASSERT_EQ(s.options.size(), 2u);
    EXPECT_EQ(s.options[0].optionIndex, 1u);
    EXPECT_EQ(s.options[0].real, 0u);
    EXPECT_EQ(s.options[0].weekday, 7u);
    EXPECT_TRUE(s.options[0].slots.test(47));
    EXPECT_EQ(s.options[1].optionIndex, 2u);
    EXPECT_EQ(s.options[1].real, 1u);
    EXPECT_EQ(s.options[1].source, 0u);
    EXPECT_EQ(s.options[1].slots.to_ullong(), (1ull << 0) | (1ull << 3)) << "bad hours skipped";
}

TEST_F(StandFileTest, LearnedFilePathTable)
{
    struct Row {
        std::string reference;
        std::string publisher;
        std::string expected;
    };
    const Row rows[] = {
        {"", "P", ""},
        {"archive/stock/EGLL.xml", "P", "airports/learned/stock/EGLL.xml"},
        {"archive/thirdparty/Some%20Publisher/EGLL.xml", "P", "airports/learned/thirdparty/Some Publisher/EGLL.xml"},
        {"airports/my_thirdparty/ABCD.xml", "P", "airports/learned/thirdparty/P/ABCD.xml"},
        {"airports/my_thirdparty2024/ABCD.xml", "Q", "airports/learned/thirdparty/Q/ABCD.xml"},
        {"airports\\my_thirdparty\\ABCD.xml", "P", "airports/learned/thirdparty/P/ABCD.xml"},
        {"airports/my_ORBX/EGLL.xml", "ORBX", "airports/learned/simaddon/EGLL.xml"},
        {"airports\\my_ORBX\\EGLL.xml", "ORBX", "airports/learned/simaddon/EGLL.xml"},
        {"airports/EGLL.xml", "P", "airports/learned/EGLL.xml"},
        // The publisher as a folder name of its own, as the saver makes it.
        {"airports/my_thirdparty/ABCD.xml", "", "airports/learned/thirdparty/_/ABCD.xml"},
        {"airports/my_thirdparty/ABCD.xml", "A/B\\C:D", "airports/learned/thirdparty/A_B_C_D/ABCD.xml"},
        // A file elsewhere: never the airport file itself, the publisher's learned folder.
        {"D:\\Scenery\\X.xml", "P", "airports/learned/thirdparty/P/X.xml"},
        {"D:\\Scenery\\X.xml", "stock", "airports/learned/stock/X.xml"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.reference);
        EXPECT_EQ(learnedFilePath(row.reference, row.publisher).generic_string(), row.expected);
    }
}

TEST_F(StandFileTest, ReadAirportLinkTable)
{
    struct Row {
        const char* name;
        std::string content;
        std::string expected;  // the reference afterwards (it starts as "old")
    };
    const Row rows[] = {
        {"plain", "archive/thirdparty/Some%20Publisher/EGLL.xml\n", "archive/thirdparty/Some%20Publisher/EGLL.xml"},
        {"trailing blanks", "archive/x/EGLL.xml \t \r\nsecond line\n", "archive/x/EGLL.xml"},
        {"cut after the last .xml", "a.xml/b.xml.bak\n", "a.xml/b.xml"},
        {"no .xml", "archive/x/EGLL.txt\n", "old"},
        {"empty file", "", "old"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        write("airports/my_thirdparty/EGLL.txt", row.content);
        std::string reference = "old";
        EXPECT_TRUE(readAirportLink(myThirdpartyFolder / "EGLL.txt", reference));
        EXPECT_EQ(reference, row.expected);
    }
    std::string reference = "old";
    EXPECT_FALSE(readAirportLink(myThirdpartyFolder / "NONE.txt", reference));
}

TEST_F(StandFileTest, LocatingAnAirportFile)
{
    app.serve("https://downloads.test/P3D/archive/stock/EHAM.xml", "<x/>");
    write("EHAM.xml", "the user's own file");
    struct Row {
        const char* name;
        std::vector<std::pair<std::string, std::string>> files;
        std::string icao;
        std::string reference;
        bool have;
    };
    const Row rows[] = {
        {"link in my_thirdparty first", {{"airports/my_thirdparty/EGLL.txt", "archive/thirdparty/P/EGLL.xml"},
                                         {"airports/my_thirdparty/EGLL.xml", "x"}}, "EGLL",
         "archive/thirdparty/P/EGLL.xml", true},
        {"file in my_thirdparty", {{"airports/my_thirdparty/EGLL.xml", "x"}}, "EGLL", "airports/my_thirdparty/EGLL.xml", true},
        {"link in my_ORBX", {{"airports/my_ORBX/EGLL.txt", "archive/orbx/EGLL.xml"}}, "EGLL", "archive/orbx/EGLL.xml", true},
        {"file in my_ORBX", {{"airports/my_ORBX/EGLL.xml", "x"}}, "EGLL", "airports/my_ORBX/EGLL.xml", true},
        {"archived", {}, "EHAM", "archive/stock/EHAM.xml", true},
        {"nowhere", {}, "EGLL", "", false},
        {"a path is no code", {{"airports/my_thirdparty/x.txt", "archive/stock/EHAM.xml"}}, "../my_thirdparty/x", "",
         false},
        {"empty code", {}, "", "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (const auto& [path, text] : row.files) write(path, text);
        EXPECT_EQ(locateArchivedAirport(row.icao), row.reference);
        EXPECT_EQ(haveAirportFile(row.icao), row.have);
        for (const auto& [path, text] : row.files) std::filesystem::remove(path);
    }
    EXPECT_EQ(read("EHAM.xml"), "the user's own file") << "the probe does not touch a file of the airport's name";
    EXPECT_EQ(topLevelFileCount(), 2u) << "EHAM.xml, Log.txt and nothing left of the probes";
    for (bool raw : app.downloadRawFlags()) EXPECT_TRUE(raw);
}

// The text writer against the document form it replaces: the same bytes for
// every odd stand (names with every byte, numbers at rounding edges, NaN and
// infinities, huge values), in both modes, handmade or not.
TEST_F(StandFileTest, TheTextIsByteForByteTheDocumentsText)
{
    liveries.dbase["PH-BXA"] = DbaseRecord{"PH-BXA", "KLM", "B738", "", false};
    const auto withoutDate = [](std::string text) {
        const std::size_t date = text.find("name=\"date\" value=\"");
        if (date != std::string::npos) text.erase(date, text.find('"', date + 19) - date);
        return text;
    };
    std::string everyByte;
    for (int c = 1; c < 256; ++c) everyByte += static_cast<char>(c);
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Row {
        const char* name;
        std::string id;
        double lat, lon, headingDeg, radiusM;
        StandKind kind;
        bool manual, radiusChange, cargoChange;
    };
    const Row rows[] = {
        {"plain", "A1", 52.308613, 4.763889, 359.95, 25.0, {}, false, false, false},
        {"every byte in the id", everyByte, 1e-7, -1e-7, 0.05, 0.25, {.cargo = true}, false, false, false},
        {"markup in the id", "<a & \"b\" 'c'>", -89.9999995, 179.9999995, -0.05, 12.35, {.ramp = true}, true, false, false},
        {"rounding edges", "B 2", 0.0000005, 2.5e-6, 0.25, 0.15, {.heli = true}, false, true, false},
        {"huge values", "C", 1e300, -1e300, 1e20, 1e-300, {.cargo = true, .ramp = true}, false, true, true},
        {"not numbers", "D", nan, inf, -inf, nan, {.cargo = true, .heli = true}, false, false, true},
        {"negative zero", "", -0.0, -0.0, -0.0, -0.0, {}, true, true, true},
        {"negative not-numbers", "F", -nan, -nan, -inf, -nan, {}, false, true, false},
        {"a NUL in the id", std::string("G\0H", 3), 51.0, 5.0, 10.0, 20.0, {}, false, false, false},
        {"non-ASCII", "Stand \xc3\xa9\xe2\x82\xac \xff\xfe", 47.4647, 8.5492, 123.456789, 33.33, {}, false, false, false},
    };
    std::vector<Stand> stands;
    for (const Row& row : rows) {
        std::vector<SlotRecord> options{record("PH-BXA", 1), record(row.id, 2, 0), record("N1", 0)};
        options[1].airl = row.id;
        options[1].cs2 = row.id;
        options[1].slots.set(0).set(47);
        options[1].weekday = 4000000000u;
        Stand s(row.id, std::move(options), row.lat, row.lon, row.headingDeg * kDegToRad, row.radiusM, row.kind);
        s.manual = row.manual;
        s.radiusChange = row.radiusChange;
        s.cargoChange = row.cargoChange;
        stands.push_back(s);
    }
    Stand bare("E", {}, 1.0, 2.0, 3.0, 4.0, StandKind{});
    const auto expectSameText = [&](const AirportFile& airport, StandFileMode mode) {
        pugi::xml_document doc;
        ASSERT_TRUE(buildStandDocument(doc, airport, mode));
        std::ostringstream expected;
        doc.save(expected);
        std::string text;
        ASSERT_TRUE(standFileText(airport, mode, text));
        EXPECT_EQ(withoutDate(text), withoutDate(expected.str()));
    };
    for (const StandFileMode mode : {StandFileMode::full, StandFileMode::learned}) {
        for (const bool handmade : {false, true}) {
            handmadeMark = handmade;
            for (std::size_t i = 0; i <= std::size(rows); ++i) {
                SCOPED_TRACE(vr::format("mode {}, handmade {}, {}", static_cast<int>(mode), handmade,
                                        i < std::size(rows) ? rows[i].name : "all stands and a bare one"));
                AirportFile airport;
                airport.airportName = everyByte;
                airport.bglPath = "D:\\Scenery\\<X>\\AF2.bgl";
                if (i < std::size(rows)) airport.stands.push_back(stands[i]);
                else airport.stands = stands, airport.stands.push_back(bare);
                expectSameText(airport, mode);
            }
            SCOPED_TRACE("no stands");
            expectSameText(AirportFile{}, mode);
        }
        // Numbers of every size and rounding, from a seeded engine.
        std::mt19937_64 random(26);
        std::uniform_real_distribution<double> unit(-1.0, 1.0);
        std::uniform_int_distribution<int> exponent(-12, 12);
        AirportFile airport;
        for (int i = 0; i < 2000; ++i) {
            const auto number = [&] { return std::ldexp(unit(random), exponent(random) * 4); };
            Stand s(vr::format("R{}", i), {}, number(), number(), number(), number(), StandKind{});
            s.radiusChange = true;
            airport.stands.push_back(s);
        }
        SCOPED_TRACE(vr::format("mode {}, numbers from a seeded engine", static_cast<int>(mode)));
        expectSameText(airport, mode);
    }
    handmadeMark = false;

    // An order of indexes writes the stands in that order and leaves the vector as it is.
    AirportFile airport;
    airport.stands = {stands[0], bare, stands[3]};
    const std::uint32_t order[] = {2, 0, 1};
    std::string text;
    ASSERT_TRUE(standFileText(airport, StandFileMode::full, text, order));
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(text.c_str()));
    std::vector<std::string> ids;
    for (pugi::xml_node p : doc.child("parkpositions").children("parkpos")) ids.push_back(p.attribute("id").value());
    EXPECT_THAT(ids, ElementsAre("B 2", "A1", "E"));
    EXPECT_EQ(airport.stands[0].name, "A1");
}

TEST_F(StandFileTest, AFailedSaveKeepsTheOldFile)
{
    write("airports/EHAM.xml", "old content");
    std::filesystem::create_directories(root() / "airports/EHAM.xml.tmp");  // the temporary file cannot be made
    AirportFile airport;
    airport.stands.push_back(Stand("A1", std::vector<SlotRecord>{}, 52.0, 4.0, 0.0, 20.0, StandKind{}));
    EXPECT_FALSE(writeParkpositions(airport, "airports/EHAM.xml", StandFileMode::full));
    EXPECT_EQ(read("airports/EHAM.xml"), "old content");
}

}  // namespace
