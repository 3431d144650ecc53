#include "liveries/dbase.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include <pugixml.hpp>

#include "core/errors.h"
#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/livery_services_fake.h"
#include "support/dbase_fixture.h"

namespace {

// The text with its first `from` replaced by `to` (the row fails when absent).
std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

// The minimal database with one more element inside a section.
std::string withElement(const std::string& section, const std::string& element)
{
    return replaced(minimalDbaseXml, "</" + section + ">", element + "</" + section + ">");
}

// Reads the text as the database document; the exception's text, or "" when it reads.
std::string readText(const std::string& text)
{
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_string(text.c_str()));
    try {
        gf_readDbaseDocument(doc);
    } catch (const std::exception& e) {
        return e.what();
    }
    return "";
}

class Dbase : public testing::Test {
protected:
    void TearDown() override { resetDbaseTables(); }
    WorkingFolder dir;
};

TEST_F(Dbase, ReadsTheEncryptedFileAndRemovesThePlainOne)
{
    dir.writeEncrypted("input/dbase.enc", minimalDbaseXml);
    EXPECT_TRUE(gf_readDbase());
    EXPECT_FALSE(std::filesystem::exists(dir / "input/dbase.xml"));
    EXPECT_TRUE(std::filesystem::exists(dir / "input/dbase.enc"));
    EXPECT_EQ(dir.logLines(), (std::vector<std::string>{"   1 publishers", "2 dbase records read"}));

    EXPECT_EQ(KnownTypes, (StringSet{"A320", "B738", "B744", "B763", "C172", "C56X", "EC35", "F16"}));
    EXPECT_EQ(CategoryTypeSets[static_cast<std::size_t>(AcCategory::Heavy)], (StringSet{"B744", "B763"}));
    EXPECT_TRUE(CategoryTypeSets[static_cast<std::size_t>(AcCategory::Light)].empty());
    EXPECT_EQ(CargoTypes, StringSet{"B74F"});
    EXPECT_EQ(SimilarTypeGroups, (std::vector<std::vector<std::string>>{{"A320", "B738"}}));
    EXPECT_EQ(IcaoAirlines, (StringSet{"AAA", "BAW", "CGX", "EZY", "ZZZ"}));
    EXPECT_EQ(CargoOperators, StringSet{"CGX"});
    EXPECT_EQ(PublisherAliases, (std::vector<std::vector<std::string>>{{"PubA", "Pub A"}}));
    EXPECT_EQ(TypeFixes.at("B73H"), "B738");
    EXPECT_EQ(SimAddonAirports, StringSet{"KLAX"});
    ASSERT_EQ(ThirdPartyAirports.size(), 1u);
    EXPECT_EQ(ThirdPartyAirports[0].publisher, "PubA");
    EXPECT_EQ(ThirdPartyAirports[0].airports, (std::vector<std::string>{"EHAM123", "EGLL87"}));
    EXPECT_DOUBLE_EQ(maxHalfWingspan, 64.4 * halfSpanNmPerMetre);

    // Core's shorthands reach the tables through the installed services.
    EXPECT_EQ(gf_typeCategory("B738"), AcCategory::Large);
    EXPECT_TRUE(gf_isKnownType("C172"));
    EXPECT_DOUBLE_EQ(gf_halfWingspan("B744"), 64.4 * halfSpanNmPerMetre);
    EXPECT_DOUBLE_EQ(liveryServices().largestHalfWingspan(), 64.4 * halfSpanNmPerMetre);
    const auto record = gf_findDbaseRecord("DABCD");
    ASSERT_TRUE(record);
    EXPECT_EQ(record->registration, "DABCD");
    EXPECT_EQ(record->airline, "DLH");
    EXPECT_EQ(record->type, "A320");
    EXPECT_EQ(record->op, "EWG");
    EXPECT_FALSE(record->cargo);
}

// Every way the read fails leaves no plain file and no table filled.
TEST_F(Dbase, FailedReads)
{
    struct Row {
        const char* name;
        std::function<void()> setup;
        std::string what;
    };
    const Row rows[] = {
        {"no dbase.enc", [] {}, "input/dbase.enc not available"},
        {"a cut dbase.enc",
         [&] {
             writeWholeFile(dir / "input/dbase.enc",
                            gf_encryptText(DataDecryptionKey, minimalDbaseXml).substr(0, 100));
         },
         "input/dbase.enc stream decrypt failed"},
        {"not XML", [&] { dir.writeEncrypted("input/dbase.enc", "<aircrafts><aircraft"); },
         "60: 'input/dbase.xml' not read because of Error parsing start element tag"},
        {"an empty required section",
         [&] {
             dir.writeEncrypted("input/dbase.enc",
                                replaced(minimalDbaseXml, R"(<ICAO codes="CGX"/>)", R"(<ICAO codes=""/>)"));
         },
         "61: In XML file section [cargo_operators], element [ICAO], attribute [codes] is empty."},
        {"a plain dbase.xml left from before is no database", [&] { writeWholeFile(dir / "input/dbase.xml", "x"); },
         "input/dbase.enc not available"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove(dir / "input/dbase.enc");
        row.setup();
        std::string what;
        try {
            gf_readDbase();
        } catch (const std::exception& e) {
            what = e.what();
        }
        EXPECT_EQ(what, row.what);
        EXPECT_TRUE(KnownTypes.empty());
        EXPECT_TRUE(DbaseRecords.empty());
        EXPECT_FALSE(std::filesystem::exists(dir / "input/dbase.xml"));
    }
}

// The update check reads a downloaded dbase.enc before it replaces the old one,
// while the program may already answer from its tables: the check reads into
// tables of its own, installs nothing and logs nothing, whatever the file holds.
TEST_F(Dbase, TheCheckOfADownloadLeavesTheProgramsTables)
{
    dir.writeEncrypted("input/dbase.enc", minimalDbaseXml);
    ASSERT_TRUE(gf_readDbase());
    const StringSet knownTypes = KnownTypes;
    const auto heavy = CategoryTypeSets[static_cast<std::size_t>(AcCategory::Heavy)];
    const auto publishers = PublisherAliases;
    const auto wingspans = Wingspans;
    const auto fixes = TypeFixes;
    const auto addons = SimAddonAirports;
    const double maxSpan = maxHalfWingspan;
    const std::size_t logLines = dir.logLines().size();
    LiveryServicesFake installed;  // a reading that installs the services replaces it
    struct Row {
        const char* name;
        std::string plain;  // the downloaded file's text
        std::string problem;
    };
    const Row rows[] = {
        {"another good database",
         replaced(replaced(replaced(minimalDbaseXml, "B738,A320,B744", "B738,A320,B744,A388"), "B744,B763", "B744,B763,A388"),
                  R"(<db reg="G-ABCD")", R"(<db reg="9V-SKA" airl="SIA" type="A388" opr=""/><db reg="G-ABCD")"),
         ""},
        {"an empty required section", replaced(minimalDbaseXml, R"(<ICAO codes="CGX"/>)", R"(<ICAO codes=""/>)"),
         "61: In XML file section [cargo_operators], element [ICAO], attribute [codes] is empty."},
        {"a required section missing after good ones", replaced(minimalDbaseXml, R"(<simaddonsP3D><simaddonP3D arpts="KLAX"/></simaddonsP3D>)", ""),
         "61: In XML file section [simaddonsP3D], element [simaddonP3D], attribute [arpts] is empty."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        dir.writeEncrypted("download.part", row.plain);
        EXPECT_EQ(dbaseFileProblem(dir / "download.part"), row.problem);
        EXPECT_EQ(KnownTypes, knownTypes);
        EXPECT_EQ(CategoryTypeSets[static_cast<std::size_t>(AcCategory::Heavy)], heavy);
        EXPECT_EQ(PublisherAliases, publishers);
        EXPECT_EQ(Wingspans, wingspans);
        EXPECT_EQ(TypeFixes, fixes);
        EXPECT_EQ(SimAddonAirports, addons);
        EXPECT_EQ(maxHalfWingspan, maxSpan);
        EXPECT_EQ(DbaseRecords.size(), 2u);
        EXPECT_FALSE(dbaseFindRecord("9V-SKA"));
        EXPECT_EQ(findShortCode("DABCD livery"), "DABCD");
        EXPECT_EQ(&liveryServices(), &installed) << "the services stay as installed";
        EXPECT_EQ(dir.logLines().size(), logLines) << "the start-up's reading logs the file";
    }
}

TEST_F(Dbase, RequiredAndOptionalSections)
{
    struct Row {
        const char* section;
        const char* element;
        const char* attribute;
        bool required;
    };
    const Row rows[] = {
        {"aircrafts", "aircraft", "types", true},
        {"high_performance", "hpf", "types", true},
        {"heavy", "hvy", "types", true},
        {"large", "lar", "types", true},
        {"buzjet", "bzj", "types", true},
        {"rotorcraft", "rot", "types", true},
        {"cargo_types", "cargo_type", "types", true},
        {"ICAO_airlines", "ICAO", "codes", true},
        {"cargo_operators", "ICAO", "codes", true},
        {"simaddonsP3D", "simaddonP3D", "arpts", true},
        {"similar_types", "similar", "types", false},
        {"publishers", "pub", "names", false},
        {"wingspans", "wingspan", "type", false},
        {"fixes", "fx", "wro", false},
        {"thirdpartiesP3D", "thirdpartieP3D", "pub", false},
        {"dbase", "db", "reg", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.section);
        const std::string section = row.section;
        const auto begin = minimalDbaseXml.find("<" + section + ">");
        const auto end = minimalDbaseXml.find("</" + section + ">") + section.size() + 3;
        ASSERT_NE(begin, std::string::npos);
        const std::string without = minimalDbaseXml.substr(0, begin) + minimalDbaseXml.substr(end);
        const std::string empty = minimalDbaseXml.substr(0, begin) + "<" + section + "><" + row.element + " " +
                                  row.attribute + "=\"\"/></" + section + ">" + minimalDbaseXml.substr(end);
        const std::string expected =
            row.required ? vr::format("61: In XML file section [{}], element [{}], attribute [{}] is empty.",
                                      row.section, row.element, row.attribute)
                         : "";
        EXPECT_EQ(readText(without), expected);
        EXPECT_EQ(readText(empty), expected);
        resetDbaseTables();
    }
    // A list of one empty piece is not empty (and "" is still no known type).
    EXPECT_EQ(readText(replaced(minimalDbaseXml, R"(types="F16")", R"(types=",")")), "");
    EXPECT_EQ(CategoryTypeSets[static_cast<std::size_t>(AcCategory::HighPerf)], StringSet{""});
    EXPECT_FALSE(dbaseIsKnownType(""));
    EXPECT_EQ(dbaseTypeCategory(""), AcCategory::HighPerf);
}

TEST_F(Dbase, TypeCategoryPrecedence)
{
    ASSERT_EQ(readText(replaced(minimalDbaseXml, R"(<hvy types="B744,B763"/>)",
                                R"(<hvy types="B744,B763,B738,EC35"/><hvy types="F16"/>)")),
              "");
    struct Row {
        const char* type;
        AcCategory category;
    };
    const Row rows[] = {
        {"B738", AcCategory::Large},       // large and heavy
        {"B744", AcCategory::Heavy},       //
        {"EC35", AcCategory::Heavy},       // heavy and rotorcraft
        {"F16", AcCategory::Heavy},        // heavy and high performance
        {"C56X", AcCategory::Buzjets},     //
        {"C172", AcCategory::Light},       // known, in no set
        {"ZZZZ", AcCategory::Light},       // unknown
        {"", AcCategory::Light},           //
        {"b738", AcCategory::Light},       // case-sensitive
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.type);
        EXPECT_EQ(dbaseTypeCategory(row.type), row.category);
    }
}

TEST_F(Dbase, Wingspans)
{
    const double nm = halfSpanNmPerMetre;
    struct Row {
        const char* name;
        std::string spans;  // the content of "wingspans"
        std::map<std::string, double, std::less<>> table;
        double max;
        std::array<double, acCategoryCount> averages;  // Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft
        std::vector<std::string> warnings;
    };
    const double all = (36 * nm + 64 * nm + 10 * nm) / 3;
    const Row rows[] = {
        {"36 m",
         R"(<wingspan type="B738" meters="36"/>)",
         {{"B738", 0.009719222462203024}},
         0.009719222462203024,
         {36 * nm, 36 * nm, 36 * nm, 36 * nm, 36 * nm, 36 * nm},
         {}},
        {"unknown types are skipped and do not count",
         R"(<wingspan type="B738" meters="36"/><wingspan type="XXXX" meters="99"/><wingspan meters="99"/>)",
         {{"B738", 36 * nm}},
         36 * nm,
         {36 * nm, 36 * nm, 36 * nm, 36 * nm, 36 * nm, 36 * nm},
         {"===> wingspan model XXXX is not valid, skipped", "===> wingspan model  is not valid, skipped"}},
        {"the first value of a type stays, a larger later one still raises the maximum",
         R"(<wingspan type="B738" meters="36"/><wingspan type="B738" meters="50"/>)",
         {{"B738", 36 * nm}},
         50 * nm,
         {36 * nm, 36 * nm, 36 * nm, 36 * nm, 36 * nm, 36 * nm},
         {}},
        {"averages by category; a category without entries takes the average of all",
         R"(<wingspan type="B738" meters="36"/><wingspan type="B744" meters="64"/><wingspan type="C172" meters="10"/>)",
         {{"B738", 36 * nm}, {"B744", 64 * nm}, {"C172", 10 * nm}},
         64 * nm,
         {10 * nm, all, 36 * nm, 64 * nm, all, all},
         {}},
        {"two of a category", R"(<wingspan type="B738" meters="36"/><wingspan type="A320" meters="34"/>)",
         {{"A320", 34 * nm}, {"B738", 36 * nm}},
         36 * nm,
         {35 * nm, 35 * nm, 35 * nm, 35 * nm, 35 * nm, 35 * nm},
         {}},
        {"no metres is 0", R"(<wingspan type="B738"/>)", {{"B738", 0.0}}, 0.0, {}, {}},
        {"a span that is no number is skipped",
         R"(<wingspan type="B738" meters="nan"/><wingspan type="A320" meters="-3"/><wingspan type="B744" meters="6x"/>)",
         {},
         0.0,
         {},
         {"===> wingspan of B738 is not a number of metres: 'nan', skipped",
          "===> wingspan of A320 is not a number of metres: '-3', skipped",
          "===> wingspan of B744 is not a number of metres: '6x', skipped"}},
        {"none accepted", "", {}, 0.0, {}, {}},
    };
    const std::string before = R"(<wingspans><wingspan type="B738" meters="35.8"/><wingspan type="B744" meters="64.4"/></wingspans>)";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto logged = dir.logLines().size();
        ASSERT_EQ(readText(replaced(minimalDbaseXml, before, "<wingspans>" + row.spans + "</wingspans>")), "");
        EXPECT_EQ(Wingspans.size(), row.table.size());
        for (const auto& [type, span] : row.table) EXPECT_NEAR(Wingspans[type], span, 1e-15) << type;
        EXPECT_NEAR(maxHalfWingspan, row.max, 1e-15);
        for (std::size_t c = 0; c < acCategoryCount; ++c) EXPECT_NEAR(CategoryHalfWingspans[c], row.averages[c], 1e-15) << c;
        auto lines = dir.logLines();
        lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(logged));
        std::erase_if(lines, [](const std::string& l) { return l.find("===> ") != 0; });
        EXPECT_EQ(lines, row.warnings);
    }
    // Unknown types take their category's average; known ones their own span.
    ASSERT_EQ(readText(replaced(minimalDbaseXml, before, "<wingspans>" + rows[3].spans + "</wingspans>")), "");
    EXPECT_NEAR(dbaseHalfWingspan("B744"), 64 * nm, 1e-15);
    EXPECT_NEAR(dbaseHalfWingspan("B763"), 64 * nm, 1e-15);
    EXPECT_NEAR(dbaseHalfWingspan("ZZZZ"), 10 * nm, 1e-15);
    EXPECT_NEAR(dbaseHalfWingspan("EC35"), all, 1e-15);
}

TEST_F(Dbase, FixesAndRecords)
{
    const std::string text =
        replaced(withElement("fixes", R"(<fx wro="B73X" cor="XXXX"/><fx wro="B73H" cor="A320"/><fx wro="A32X" cor="A320"/>)"),
                 "</dbase>",
                 R"(<db reg="G-ABCD" airl="BAW"/><db airl="EZY" type="A320"/><db reg="N1" airl="X" cargo="Yes"/>)"
                 R"(<db reg="DA-BCD" airl="DLH" cargo="true"/><db reg="ABCD" airl="Y" cargo="1"/>)"
                 R"(<db reg="F-ABCD" airl="AFR" cargo="no"/></dbase>)");
    ASSERT_EQ(readText(text), "");
    EXPECT_EQ(TypeFixes, (std::unordered_map<std::string, std::string>{{"B73H", "B738"}, {"A32X", "A320"}}));
    std::vector<std::string> warnings;
    for (const std::string& l : dir.logLines())
        if (l.rfind("===> ", 0) == 0) warnings.push_back(l);
    EXPECT_EQ(warnings, (std::vector<std::string>{
                            "===> wrong fix B73X -> XXXX, the latter is not valid",
                            "===> wrong part of fix: 'B73H', already exists, skipped",
                            "===> regcode G-ABCD already exists",
                            "===> dbase record without registration (airl 'EZY', type 'A320'), skipped",
                        }));
    EXPECT_EQ(DbaseRecords.size(), 6u);
    EXPECT_EQ(DbaseRecords.at("G-ABCD").airline, "AAA");  // the first stays

    struct Row {
        const char* registration;
        const char* airline;  // "" when no record
        bool cargo;
    };
    const Row rows[] = {
        {"DABCD", "DLH", true},  // DA-BCD comes before DABCD
        {"G-ABCD", "AAA", false}, {"GABCD", "AAA", false},  // spelt G-ABCD
        {"N1", "X", true},        {"ABCD", "Y", true},    {"F-ABCD", "AFR", false},
        {"FABCD", "AFR", false},  {"", "", false},        {"NABCD", "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.registration);
        const auto record = dbaseFindRecord(row.registration);
        EXPECT_EQ(record.has_value(), *row.airline != '\0');
        if (record) {
            EXPECT_EQ(record->cargo, row.cargo);
        }
        EXPECT_EQ(gf_dbaseAirline(row.registration), row.airline);
    }
    EXPECT_EQ(gf_dbaseOperator("DABCD"), "");
    EXPECT_EQ(gf_dbaseOperator("D-ABCD"), "");
    EXPECT_EQ(gf_dbaseOperator(""), "");
}

TEST_F(Dbase, ShortCodes)
{
    ASSERT_EQ(readText(replaced(minimalDbaseXml, "</dbase>",
                                R"(<db reg="PH1" airl="A"/><db reg="PH12" airl="A"/><db reg="AB1" airl="A"/>)"
                                R"(<db reg="ZZ9" airl="A"/><db reg="N12345" airl="A"/></dbase>)")),
              "");
    struct Row {
        const char* text;
        std::optional<std::string> code;
    };
    const Row rows[] = {
        {"TEST PH12 livery", "PH12"},       // the longest first
        {"ZZ9 and AB1", "AB1"},             // then byte order
        {"N12345 is six characters", std::nullopt},
        {"PH1", "PH1"},
        {"nothing", std::nullopt},
        {"", std::nullopt},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(findShortCode(row.text), row.code);
    }
}

TEST_F(Dbase, PublishersSortedWithoutRepeats)
{
    ASSERT_EQ(readText(withElement("publishers", R"(<pub names="Orbx, ORBX"/><pub names="PubA,Pub A"/><pub/>)")), "");
    EXPECT_EQ(PublisherAliases, (std::vector<std::vector<std::string>>{{}, {"Orbx", "ORBX"}, {"PubA", "Pub A"}}));
    EXPECT_TRUE(gf_isIcaoAirline("EZY"));
    EXPECT_FALSE(gf_isIcaoAirline(""));
    EXPECT_FALSE(gf_isIcaoAirline("ezy"));
}

TEST(DbaseText, TrueTexts)
{
    for (const char* yes : {"1", "true", "True", "yes", "Y", "t"}) EXPECT_TRUE(gf_isTrueText(yes)) << yes;
    for (const char* no : {"", "0", "false", "no", " true", "on"}) EXPECT_FALSE(gf_isTrueText(no)) << no;
}

}  // namespace
