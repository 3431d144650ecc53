#include "core/text_input.h"

#include <gtest/gtest.h>

#include "core/app_services_fake.h"
#include "core/run_state.h"
#include "support/scratch_folder.h"

namespace {

using Lines = std::vector<std::string>;

std::string utf16(std::u16string_view text, bool littleEndian, bool mark = true)
{
    std::string bytes;
    if (mark) {
        bytes = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
    }
    for (char16_t c : text) {
        const char lo = static_cast<char>(c & 0xFF);
        const char hi = static_cast<char>(c >> 8);
        bytes.push_back(littleEndian ? lo : hi);
        bytes.push_back(littleEndian ? hi : lo);
    }
    return bytes;
}

class TextInput : public testing::Test {
protected:
    std::filesystem::path file(const std::string& bytes)
    {
        const auto p = log_.folder() / ("f" + std::to_string(++count_) + ".cfg");
        writeWholeFile(p, bytes);
        return p;
    }
    ScratchLog log_;
    int count_ = 0;
};

TEST_F(TextInput, DetectsTheCharacterSet)
{
    struct Case {
        const char* name;
        std::string bytes;
        int code;
    };
    const std::string ascii1026(1026, 'a');
    const Case cases[] = {
        {"empty", "", 5},
        {"one byte", "a", 5},
        {"FF FE only", "\xFF\xFE", 1},
        {"UTF-16LE text", utf16(u"ab", true), 1},
        {"FE FF only", "\xFE\xFF", 2},
        {"EF BB BF x", "\xEF\xBB\xBFx", 3},
        {"EF BB alone", "\xEF\xBB", 0},
        {"ASCII", "[fltsim.0]\r\ntitle=A320\r\n", 4},
        {"E9 then a blank", "\xE9 ", 0},
        {"2-, 3- and 4-byte UTF-8", "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x9B\xA9", 4},
        {"stray continuation byte", "ab\x80", 0},
        {"lead byte F8", "ab\xF8\x80\x80\x80\x80", 0},
        {"overlong form passes the loose check", "a\xC0\x80", 4},
        {"2-byte character cut at byte 1027", ascii1026 + "\xC3\xA9", 0},
        {"2-byte character ending at byte 1027", ascii1026.substr(1) + "\xC3\xA9" + "\xE9\xE9", 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(gf_detectCharset(file(c.bytes)), c.code);
    }
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(TextInput, UnopenableFilesAreLoggedOnce)
{
    const auto missing = log_.folder() / "missing.cfg";
    EXPECT_EQ(gf_detectCharset(missing), 5);
    EXPECT_EQ(gf_detectCharset(log_.folder().path()), 5);
    Lines lines{"kept"};
    EXPECT_FALSE(gf_readTextFileLines(missing, lines));
    EXPECT_EQ(lines, Lines{"kept"});
    const Lines logged = log_.lines();
    ASSERT_EQ(logged.size(), 3u);
    EXPECT_EQ(logged[0], "Cannot open file " + missing.string() + " for character encoding. Win32 error: 2");
    EXPECT_EQ(logged[1].rfind("Cannot open file " + log_.folder().path().string() + " for character encoding. Win32 error: ", 0), 0u);
    EXPECT_EQ(logged[2], logged[0]);
}

TEST_F(TextInput, ReadsTheLinesOfEachCharacterSet)
{
    struct Case {
        const char* name;
        std::string bytes;
        Lines lines;
    };
    const Case cases[] = {
        {"UTF-16LE, line feeds", utf16(u"a\nb", true), {"a", "b"}},
        {"UTF-16LE, CR LF keeps the CR", utf16(u"a\r\nb\r\n", true), {"a\r", "b\r"}},
        {"UTF-16BE, CR LF", utf16(u"a\r\nb", false), {"a\r", "b"}},
        {"UTF-16LE, empty lines and a surrogate pair", utf16(u"\n\nZ\u00FCrich \U0001F6E9\n", true),
         {"", "", "Z\xC3\xBCrich \xF0\x9F\x9B\xA9"}},
        {"UTF-16LE, mark only", utf16(u"", true), {}},
        {"UTF-8 with mark", "\xEF\xBB\xBFx", {"x"}},
        {"UTF-8 with mark, CR LF", "\xEF\xBB\xBF[a]\r\nb=1\r\n", {"[a]", "b=1"}},
        {"ASCII, CR LF and an empty last line", "a\r\nb\r\n\r\n", {"a", "b", ""}},
        {"CR not before a line feed is kept", "a\rb\nc\r", {"a\rb", "c\r"}},
        {"ANSI bytes are passed on", "caf\xE9\r\nx", {"caf\xE9", "x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Lines lines{"earlier"};
        EXPECT_TRUE(gf_readTextFileLines(file(c.bytes), lines));
        Lines expected{"earlier"};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_EQ(lines, expected);
    }
    EXPECT_TRUE(log_.lines().empty());
}

TEST_F(TextInput, InvalidUtf16StopsWithAnErrorAndKeepsTheLinesBefore)
{
    struct Case {
        const char* name;
        std::string bytes;
        Lines lines;
    };
    const Case cases[] = {
        {"lone high surrogate on line 2", utf16(u"ok\n\xD800x\nlater", true), {"ok"}},
        {"reversed pair on the last line", utf16(u"ok\r\n\xDC00\xD800", false), {"ok\r"}},
        {"odd trailing byte", utf16(u"a\nb", true) + "c", {"a"}},
        {"odd trailing byte after a line feed", utf16(u"a\n", true) + "c", {"a"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        AppServicesFake app;
        Lines lines;
        EXPECT_FALSE(gf_readTextFileLines(file(c.bytes), lines));
        EXPECT_EQ(lines, c.lines);
        const std::vector<AppServicesFake::Message> expected{{"conversion from error from utf16 to utf8, code: 1113", true}};
        EXPECT_EQ(app.messages(), expected);
    }
    EXPECT_TRUE(log_.lines().empty());  // the message line logs, not the reader

    // Without a window the headless message line logs it, once.
    resetRunState();
    Lines lines;
    EXPECT_FALSE(gf_readTextFileLines(file(utf16(u"\xDFFF", true)), lines));
    EXPECT_EQ(log_.lines(), Lines{"conversion from error from utf16 to utf8, code: 1113"});
}

TEST_F(TextInput, ExplicitCharacterSets)
{
    // A UTF-16 read without a mark takes the bytes as big-endian.
    Lines lines;
    EXPECT_TRUE(gf_readExtTextFileToStringVector(1, file(utf16(u"a\nb", false, false)), lines));
    EXPECT_EQ(lines, (Lines{"a", "b"}));

    // A code that is not a character set throws; the reader of lines logs it.
    const auto f = file("text");
    EXPECT_THROW(
        {
            try {
                gf_readExtTextFileToStringVector(5, f, lines);
            } catch (const std::runtime_error& e) {
                EXPECT_EQ(std::string(e.what()), "file " + f.string() + " has unknown charset: none_found");
                throw;
            }
        },
        std::runtime_error);
    EXPECT_THROW(gf_readExtTextFileToStringVector(9, f, lines), std::out_of_range);
    EXPECT_FALSE(gf_readExtTextFileToStringVector(4, log_.folder() / "missing", lines));
    EXPECT_FALSE(gf_readExtTextFileToStringVector(1, log_.folder() / "missing", lines));
    EXPECT_EQ(lines, (Lines{"a", "b"}));
}

TEST(CharsetName, Table)
{
    const char* names[] = {"ANSI", "Unicode", "Unicode_big_endian", "UTF8_with_BOM", "UTF8_without_BOM", "none_found"};
    for (int code = 0; code < 6; ++code) {
        EXPECT_EQ(charsetName(code), names[code]);
    }
    for (int code : {-1, 6}) {
        try {
            charsetName(code);
            ADD_FAILURE() << code;
        } catch (const std::out_of_range& e) {
            EXPECT_STREQ(e.what(), "invalid map<K, T> key");
        }
    }
}

}  // namespace
