#include "core/utils.h"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "support/scratch_folder.h"

namespace {

using Strings = std::vector<std::string>;

TEST(Split, TokenizeTable)
{
    struct Case {
        const char* text;
        char delimiter;
        Strings pieces;
    };
    const Case cases[] = {
        {"", ',', {}},
        {" a , b ,", ',', {"a", "b", ""}},
        {"a,,b", ',', {"a", "", "b"}},
        {"  ", ',', {""}},
        {"\ta\r\n", ',', {"a"}},
        {"x;y", ';', {"x", "y"}},
        {"x;y", ',', {"x;y"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gf_tokenize(c.text, c.delimiter), c.pieces) << c.text;
        if (c.delimiter == ',') {
            EXPECT_EQ(gf_appendCommaList(c.text), c.pieces) << c.text;
            EXPECT_EQ(splitTokens(c.text), c.pieces) << c.text;
        }
    }
}

TEST(Split, SplitStringSortsAndDropsRepeats)
{
    EXPECT_EQ(gf_splitString("b, a ,b"), (std::list<std::string>{"a", "b"}));
    EXPECT_EQ(gf_splitString("B,a"), (std::list<std::string>{"B", "a"}));  // byte order
    EXPECT_TRUE(gf_splitString("").empty());
}

TEST(Split, TrimSplitAndJoin)
{
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {{"a, b", "a,b"}, {"a,b", "a,b"}, {" a ,\tb\n", "a,b"}, {"a b", "a b"}, {"", ""}};
    for (const auto& c : cases) {
        std::string text = c.in;
        gf_trimSplit(text);
        EXPECT_EQ(text, c.out) << c.in;
    }
    EXPECT_EQ(gf_joinWithComma({}), "");
    EXPECT_EQ(gf_joinWithComma({"a"}), "a");
    EXPECT_EQ(gf_joinWithComma({"a", "", "c"}), "a,,c");
}

TEST(Text, TrimUpperContainsStar)
{
    EXPECT_EQ(gf_trim(" \t\r\nx y\n"), "x y");
    EXPECT_EQ(gf_trim(" \t "), "");
    EXPECT_TRUE(gf_toUpper(".XML", ".Xml"));
    EXPECT_FALSE(gf_toUpper(".XML", ".xm"));
    EXPECT_FALSE(gf_toUpper(".xml", ".xml"));  // expected is compared as given
    // endsWithNoCase tests containment, as its callers use it.
    EXPECT_TRUE(endsWithNoCase("SimObjects\\Airplanes", "objects"));
    EXPECT_TRUE(endsWithNoCase("abc", ""));
    EXPECT_FALSE(endsWithNoCase("ab", "abc"));
    EXPECT_FALSE(endsWithNoCase("abc", "x"));
    EXPECT_TRUE(gf_equalsWithStar("KLM1", "KLM1*"));
    EXPECT_FALSE(gf_equalsWithStar("KLM1", "KLM1"));
    EXPECT_FALSE(gf_equalsWithStar("KLM1", "KLM1**"));
    EXPECT_FALSE(gf_equalsWithStar("KLM1", "KLM2*"));
}

TEST(Text, PluralsNumbersRounding)
{
    EXPECT_EQ(pluralSuffix(0), "s");
    EXPECT_EQ(pluralSuffix(1), "");
    EXPECT_EQ(pluralSuffix(2), "s");
    EXPECT_EQ(pluralSuffix(-3), "");
    EXPECT_EQ(gf_pluralS(-3), "");
    EXPECT_EQ(gf_pluralS(5'000'000'000), "s");
    EXPECT_EQ(gf_pluralSuffix(0), "s");
    EXPECT_EQ(gf_pluralSuffix(1), "");

    EXPECT_EQ(gf_numberToText(2.0f), "2");
    EXPECT_EQ(gf_numberToText(2.5f), "2.5");
    EXPECT_EQ(gf_numberToText(-0.5f), "-0.5");

    EXPECT_EQ(gf_round(1, 3), 33);
    EXPECT_EQ(gf_round(2, 3), 67);
    EXPECT_EQ(gf_round(1, 8), 13);  // 12.5 rounds away from zero
    EXPECT_EQ(gf_round(5, 0), 0);
    EXPECT_EQ(gf_round(5, -2), 0);
    EXPECT_EQ(gf_round(INT64_MAX, 1), INT32_MAX);  // clamped, not undefined
}

TEST(Text, JoinTokens)
{
    struct Case {
        int left, right;
        bool before, after;
        const char* text;
        const char* line;
    };
    const Case cases[] = {
        {10, 9, false, false, "Scan", "********* Scan *********"},
        {2, 3, false, false, "Scan", "Scan"},
        {2, 3, true, true, "Scan", "Scan\n"},  // the leading line feed goes with the stars
        {10, 9, true, true, "Scan", "\n********* Scan *********\n"},
        {3, 4, true, false, "", "\n********"},
        {3, 4, false, false, "abcd", "*** abcd ***"},  // n 8 > 4 + 2
        {3, 2, false, false, "abcd", "abcd"},          // n 6 is not above 4 + 2
        {-5, 1, false, false, "", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_joinTokens(c.left, c.right, c.before, c.after, c.text), c.line)
            << c.left << "," << c.right << " '" << c.text << "'";
}

TEST(Slots, Hours2BitsetAndBack)
{
    ScratchLog log;
    const auto bits = gf_hours2bitset("3,47,48,x,-1");
    EXPECT_EQ(gf_bitsetToList(bits), "3,47");
    EXPECT_EQ(log.lines(), (Strings{"===> gf_hours2bitset invalid hour '48' in 3,47,48,x,-1",
                                    "===> gf_hours2bitset invalid hour 'x' in 3,47,48,x,-1",
                                    "===> gf_hours2bitset invalid hour '-1' in 3,47,48,x,-1"}));

    EXPECT_TRUE(gf_hours2bitset("").none());
    EXPECT_EQ(gf_bitsetToList(gf_hours2bitset("0,47,0")), "0,47");
    EXPECT_EQ(gf_bitsetToList(gf_hours2bitset("3, 47")), "3");  // no blanks are skipped
    EXPECT_EQ(gf_bitsetToList(gf_hours2bitset("5x")), "5");     // from the start of the piece
    EXPECT_EQ(gf_bitsetToList({}), "");
    EXPECT_EQ(gf_bitsetToList(std::bitset<48>().set(0).set(47)), "0,47");
}

TEST(Types, NonAircraftAndCategories)
{
    for (const char* t : {"BALL", "EMER", "GLID", "GRND", "GND", "PARA", "SERV", "SHIP", "VENT", "A320X"})
        EXPECT_TRUE(gf_isNonAircraftType(t)) << t;
    for (const char* t : {"A320", "B738", "C17", "", "glid"}) EXPECT_FALSE(gf_isNonAircraftType(t)) << t;

    struct Case {
        const char* type;
        const char* category;
        bool keep;
    };
    const Case cases[] = {
        {"", "", false},      {"GLID", "", true},   {"GLID", "null", true}, {"A320", "B1", false},
        {"A320", "B2", false}, {"A320", "B4", false}, {"A320", "C1", false},  {"A320", "C2", false},
        {"A320", "A3", true},  {"GLID", "A1", false}, {"A320X", "A3", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(gf_isAircraftCategory(c.type, c.category), c.keep) << c.type << "/" << c.category;
}

TEST(Xml, GetAttribute)
{
    pugi::xml_document doc;
    doc.load_string(R"(<r a="1" b=""/>)");
    const auto r = doc.child("r");
    EXPECT_EQ(getAttribute(r, "a"), "1");
    EXPECT_EQ(getAttribute(r, "b"), "");
    EXPECT_EQ(getAttribute(r, "c"), "");
    EXPECT_EQ(getAttribute(r, std::string("a")), "1");
    EXPECT_EQ(getAttribute(doc.child("missing"), "a"), "");
}

TEST(PrefixedNumber, ReadsFromTheFifthCharacter)
{
    ScratchLog log;
    int value = -7;
    PrefixedNumberParser parser{"readStands", "EHAM", value};
    EXPECT_FALSE(parser.parsePrefixedNumber("EGLL12"));
    EXPECT_EQ(value, -7);
    EXPECT_TRUE(parser.parsePrefixedNumber("EHAM12"));
    EXPECT_EQ(value, 12);
    EXPECT_TRUE(parser.parsePrefixedNumber("EHAM-3x"));
    EXPECT_EQ(value, -3);
    EXPECT_TRUE(parser.parsePrefixedNumber("EHAMx"));
    EXPECT_EQ(value, -3);
    EXPECT_TRUE(parser.parsePrefixedNumber("EHAM"));
    EXPECT_EQ(value, -3);
    // A shorter prefix still reads from the fifth character.
    PrefixedNumberParser shortPrefix{"o", "AMS", value};
    EXPECT_TRUE(shortPrefix.parsePrefixedNumber("AMS123"));
    EXPECT_EQ(value, 23);
    EXPECT_EQ(log.lines(), (Strings{"===> readStands EHAM EHAMx invalid number", "===> readStands EHAM EHAM invalid number"}));
}

}  // namespace
