#include <gtest/gtest.h>

#include <random>
#include <utf8.h>

#include "core/text_convert.h"

namespace {

using win32::Utf8ConversionException;

std::string bytes(std::initializer_list<unsigned> list)
{
    std::string s;
    for (unsigned b : list) {
        s.push_back(static_cast<char>(b));
    }
    return s;
}

TEST(TextConvert, ValidTextRoundTrips)
{
    struct Case {
        const char* name;
        std::string utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"empty", "", u""},
        {"ASCII", "SetupPath", u"SetupPath"},
        {"embedded NUL", std::string("a\0b", 3), std::u16string(u"a\0b", 3)},
        {"2-byte", "Z\xC3\xBCrich", u"Z\u00FCrich"},
        {"3-byte", "\xE2\x82\xAC 5", u"\u20AC 5"},
        {"last BMP character", "\xEF\xBF\xBF", u"\uFFFF"},
        {"4-byte through a surrogate pair", "\xF0\x9F\x9B\xA9", u"\U0001F6E9"},
        {"highest code point", "\xF4\x8F\xBF\xBF", u"\U0010FFFF"},
        {"mixed", "P3D \xC3\xA9t\xC3\xA9 \xF0\x90\x80\x80!", u"P3D \u00E9t\u00E9 \U00010000!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(win32::Utf8ToUtf16(c.utf8), c.utf16);
        EXPECT_EQ(win32::Utf16ToUtf8(c.utf16), c.utf8);
    }
}

TEST(TextConvert, InvalidUtf8Throws)
{
    struct Case {
        const char* name;
        std::string utf8;
    };
    const Case cases[] = {
        {"E9 alone", bytes({0xE9})},
        {"E9 before a blank", bytes({0xE9, 0x20})},
        {"stray continuation byte", bytes({'a', 0x80, 'b'})},
        {"overlong NUL", bytes({0xC0, 0x80})},
        {"overlong 2-byte lead C1", bytes({0xC1, 0xBF})},
        {"overlong 3-byte", bytes({0xE0, 0x9F, 0xBF})},
        {"overlong 4-byte", bytes({0xF0, 0x8F, 0xBF, 0xBF})},
        {"encoded high surrogate", bytes({0xED, 0xA0, 0x80})},
        {"encoded low surrogate", bytes({0xED, 0xBF, 0xBF})},
        {"above U+10FFFF", bytes({0xF4, 0x90, 0x80, 0x80})},
        {"lead F5", bytes({0xF5, 0x80, 0x80, 0x80})},
        {"byte FF", bytes({0xFF})},
        {"truncated 3-byte", bytes({0xE2, 0x82})},
        {"truncated 4-byte at the end", bytes({'x', 0xF0, 0x9F, 0x9B})},
        {"bad continuation", bytes({0xE2, 0x28, 0xA1})},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            win32::Utf8ToUtf16(c.utf8);
            ADD_FAILURE() << "no exception";
        } catch (const Utf8ConversionException& e) {
            EXPECT_EQ(e.errorCode(), 1113u);
            EXPECT_EQ(e.kind(), 0u);
            EXPECT_STREQ(e.what(), "Invalid UTF-8 sequence found in input string.");
        }
    }
}

TEST(TextConvert, InvalidUtf16Throws)
{
    struct Case {
        const char* name;
        std::u16string utf16;
    };
    const Case cases[] = {
        {"lone high surrogate", std::u16string{0xD800}},
        {"lone high surrogate before text", std::u16string{0xDBFF, u'a'}},
        {"lone low surrogate", std::u16string{u'a', 0xDC00}},
        {"reversed pair", std::u16string{0xDC00, 0xD800}},
        {"two high surrogates", std::u16string{0xD800, 0xD800, 0xDC00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            win32::Utf16ToUtf8(c.utf16);
            ADD_FAILURE() << "no exception";
        } catch (const Utf8ConversionException& e) {
            EXPECT_EQ(e.errorCode(), 1113u);
            EXPECT_EQ(e.kind(), 1u);
            EXPECT_STREQ(e.what(), "Invalid UTF-16 sequence found in input string.");
        }
    }
}

TEST(TextConvert, ExceptionTypesAndTexts)
{
    const Utf8ConversionException copy = Utf8ConversionException("m", 7, 1);
    EXPECT_EQ(copy.errorCode(), 7u);
    EXPECT_EQ(copy.kind(), 1u);
    EXPECT_STREQ(win32::makeInputTooLongError().what(), "Input string too long: size_t-length doesn't fit into int.");

    const winreg::RegException notFound(2, "RegOpenKeyExW failed.");
    EXPECT_EQ(notFound.code().value(), 2);
    EXPECT_EQ(&notFound.code().category(), &win32::win32_category());
    EXPECT_STREQ(notFound.what(), "RegOpenKeyExW failed.: The system cannot find the file specified.");
    for (int code : {5, 13, 234, 1630}) {
        EXPECT_FALSE(win32::win32_category().message(code).empty());
        EXPECT_NE(win32::win32_category().message(code), win32::win32_category().message(2));
    }
}

// Random byte strings, mostly made of pieces of UTF-8 sequences so that the
// interesting boundaries are hit often, judged against an independent codec.
TEST(TextConvert, AgreesWithUtfcppOnRandomInput)
{
    std::mt19937 rng(20261209);
    const unsigned char interesting[] = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                                         0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF, 0xF0, 0xF1, 0xF3, 0xF4, 0xF5, 0xFF};
    std::uniform_int_distribution<int> lengthDist(1, 8);
    std::uniform_int_distribution<int> pick(0, sizeof interesting - 1);
    std::uniform_int_distribution<int> anyByte(0, 255);
    int valid = 0;
    for (int i = 0; i < 60000; ++i) {
        std::string s;
        const int n = lengthDist(rng);
        for (int k = 0; k < n; ++k) {
            s.push_back(static_cast<char>(rng() % 4 == 0 ? anyByte(rng) : interesting[pick(rng)]));
        }
        const bool oracleValid = utf8::is_valid(s.begin(), s.end());
        try {
            const std::u16string ours = win32::Utf8ToUtf16(s);
            ASSERT_TRUE(oracleValid) << testing::PrintToString(s);
            std::u16string theirs;
            utf8::utf8to16(s.begin(), s.end(), std::back_inserter(theirs));
            ASSERT_EQ(ours, theirs);
            ASSERT_EQ(win32::Utf16ToUtf8(ours), s);
            ++valid;
        } catch (const Utf8ConversionException&) {
            ASSERT_FALSE(oracleValid) << testing::PrintToString(s);
        }
    }
    EXPECT_GT(valid, 300);  // both sides of the judgement were exercised

    std::uniform_int_distribution<int> unitDist(0, 5);
    const char16_t units[] = {u'a', 0xD7FF, 0xD800, 0xDBFF, 0xDC00, 0xDFFF};
    for (int i = 0; i < 30000; ++i) {
        std::u16string w;
        const int n = lengthDist(rng);
        for (int k = 0; k < n; ++k) {
            w.push_back(units[unitDist(rng)]);
        }
        std::string theirs;
        bool oracleValid = true;
        try {
            utf8::utf16to8(w.begin(), w.end(), std::back_inserter(theirs));
        } catch (const utf8::exception&) {
            oracleValid = false;
        }
        try {
            ASSERT_EQ(win32::Utf16ToUtf8(w), theirs);
            ASSERT_TRUE(oracleValid);
        } catch (const Utf8ConversionException&) {
            ASSERT_FALSE(oracleValid);
        }
    }
}

}  // namespace
