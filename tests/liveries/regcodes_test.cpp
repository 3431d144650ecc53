#include "liveries/regcodes.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include <pugixml.hpp>

#include "core/fmt.h"
#include "support/dbase_fixture.h"

void PrintTo(const RegcodeEntry& e, std::ostream* os)
{
    *os << "{'" << e.title << "' [";
    for (const auto& r : e.regcodes) *os << r << ' ';
    *os << "] " << (e.special ? "special" : "-") << '}';
}

namespace {

using Entries = std::vector<RegcodeEntry>;

// The marked lines of the log after `from`.
std::vector<std::string> warnings(const WorkingFolder& dir, std::size_t from = 0)
{
    std::vector<std::string> lines;
    const auto all = dir.logLines();
    for (std::size_t i = from; i < all.size(); ++i)
        if (all[i].rfind("===> ", 0) == 0) lines.push_back(all[i].substr(5));
    return lines;
}

class Regcodes : public testing::Test {
protected:
    void TearDown() override
    {
        DontUseTitles.clear();
        RegcodeReportLines.clear();
    }
    WorkingFolder dir;
};

TEST_F(Regcodes, LineForms)
{
    struct Row {
        const char* line;
        Entries entries;
        bool ok;
        std::vector<std::string> warnings;
    };
    const Row rows[] = {
        {"Title", {{"Title", {}, false}}, true, {}},
        {"  Title \r", {{"Title", {}, false}}, true, {}},
        {"Title;ABC", {{"Title", {"ABC"}, true}}, true, {}},
        {"Title;DEF,ABC", {{"Title", {"ABC", "DEF"}, false}}, true, {}},
        {"Title;ABC,DEF;#", {{"Title", {"ABC", "DEF"}, true}}, true, {}},
        {" Title ; ABC , DEF ; # \r", {{"Title", {"ABC", "DEF"}, true}}, true, {}},
        {"Title;ABC,DEF;x", {{"Title", {"ABC", "DEF"}, false}}, true, {}},
        {"Title;ABC;", {{"Title", {"ABC"}, true}}, true, {}},  // one regcode is always special
        {"Title;ABC,ABC", {{"Title", {"ABC"}, true}}, true, {}},
        {"Title;ABCDEFGHIJKL", {{"Title", {"ABCDEFGHIJKL"}, true}}, true, {}},
        {"Title;", {}, true, {}},
        {"Title; , ", {}, false, {"wrong regcode length '' in f.txt"}},  // one empty regcode
        {"", {}, true, {}},
        {"   ", {}, true, {}},
        {"Title;AB", {}, false, {"wrong regcode length 'AB' in f.txt"}},
        {"Title;ABCDEFGHIJKLM", {}, false, {"wrong regcode length 'ABCDEFGHIJKLM' in f.txt"}},
        {"Title;AB,DEF,GHI;#", {{"Title", {"DEF", "GHI"}, true}}, false, {"wrong regcode length 'AB' in f.txt"}},
        {"Title;AB,DEF", {{"Title", {"DEF"}, false}}, false, {"wrong regcode length 'AB' in f.txt"}},
        {"Title;AB,CD",
         {},
         false,
         {"wrong regcode length 'AB' in f.txt", "wrong regcode length 'CD' in f.txt", "f.txt ; regs empty?"}},
        {"a;ABC;#;d", {}, false, {"f.txt: wrong format 'a;ABC;#;d'"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        const auto logged = dir.logLines().size();
        Entries entries;
        EXPECT_EQ(lf_readRegcodeLine(row.line, "f.txt", entries), row.ok);
        EXPECT_EQ(entries, row.entries);
        EXPECT_EQ(warnings(dir, logged), row.warnings);
    }
}

TEST_F(Regcodes, AigDocument)
{
    struct Row {
        const char* name;
        const char* liveries;  // the children of <AIG-regcodes>
        Entries entries;
        bool ok;
        std::vector<std::string> warnings;
    };
    const Row rows[] = {
        {"the fixture",
         R"(<livery title="TEST B738 Alpha G-ABCD" reg="G-ABCD"/>
            <livery title="TEST A320 Beta" reg="D-AIAB, D-AIAA" special="true"/>
            <livery title="Do Not Use Me"/>)",
         {{"TEST B738 Alpha G-ABCD", {"G-ABCD"}, false},
          {"TEST A320 Beta", {"D-AIAA", "D-AIAB"}, true},
          {"Do Not Use Me", {}, false}},
         true,
         {}},
        {"the same title twice in a row",
         R"(<livery title="A" reg="ABC"/><livery title="A" reg="DEF"/><livery title="B"/><livery title="A"/>)",
         {{"A", {"ABC"}, false}, {"B", {}, false}, {"A", {}, false}},
         false,
         {"SAME AS PREVIOUS title 'A'"}},
        {"no title",
         R"(<livery reg="ABC"/><livery title="" reg="ABC"/><other title="X"/>)",
         {},
         true,
         {}},
        {"special values",
         R"(<livery title="1" special="yes"/><livery title="2" special="1"/><livery title="3" special="false"/>)",
         {{"1", {}, true}, {"2", {}, true}, {"3", {}, false}},
         true,
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const auto logged = dir.logLines().size();
        pugi::xml_document doc;
        ASSERT_TRUE(doc.load_string((std::string("<AIG-regcodes>") + row.liveries + "</AIG-regcodes>").c_str()));
        Entries entries;
        EXPECT_EQ(lf_readAigRegcodesDocument(doc, "aig.xml", entries), row.ok);
        EXPECT_EQ(entries, row.entries);
        EXPECT_EQ(warnings(dir, logged), row.warnings);
        const auto n = row.entries.size();
        EXPECT_EQ(dir.logLines().back(), vr::format("{} {} read from aig.xml", n, n == 1 ? "livery" : "liveries"));
    }
    Entries entries;
    writeWholeFile(dir / "bad.xml", "<AIG-regcodes><livery");
    EXPECT_FALSE(lf_readAigRegcodesXml(entries, dir / "bad.xml"));
    EXPECT_EQ(warnings(dir).back(), "Failed to load " + (dir / "bad.xml").string());
}

TEST_F(Regcodes, FilesOfTheFolder)
{
    const auto folder = dir / "input/my_regcodes";
    std::filesystem::create_directories(folder / "sub.txt");
    writeWholeFile(folder / "b.TXT", "Bravo;ABC\n");
    writeWholeFile(folder / "a.txt", "\xEF\xBB\xBF" "Alpha\r\nAlpha2;ABC,DEF\r\n");  // UTF-8 with BOM, CRLF
    writeWholeFile(folder / "c.text", "Charlie\n");
    writeWholeFile(folder / "sub.txt/d.txt", "Delta\n");
    // UTF-16 LE with its mark: "Echo\r\nFox;GHI\r\n"
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("Echo\r\nFox;GHI\r\n")) utf16 += std::string{c, '\0'};
    writeWholeFile(folder / "e.Txt", utf16);
    Entries entries;
    EXPECT_TRUE(lf_readRegcodeFiles(folder, entries));
    EXPECT_EQ(entries, (Entries{{"Alpha", {}, false},
                                {"Alpha2", {"ABC", "DEF"}, false},
                                {"Bravo", {"ABC"}, true},
                                {"Echo", {}, false},
                                {"Fox", {"GHI"}, true}}));
    const auto lines = dir.logLines();
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Processing regcodes file '" + (folder / "a.txt").string() + "'",
                         "Processing regcodes file '" + (folder / "b.TXT").string() + "'",
                         "Processing regcodes file '" + (folder / "e.Txt").string() + "'",
                         "5 liveries",
                     }));

    // A bad line makes the result false, the other lines and files still count.
    writeWholeFile(folder / "b.TXT", "Bravo;AB\nBravo2\n");
    entries.clear();
    EXPECT_FALSE(lf_readRegcodeFiles(folder, entries));
    EXPECT_EQ(entries.size(), 5u);
    EXPECT_EQ(dir.logLines().back(), "5 liveries");

    // A folder that cannot be listed.
    entries.clear();
    EXPECT_FALSE(lf_readRegcodeFiles(dir / "none", entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_EQ(warnings(dir).back().rfind("Error reading regcode files in " + (dir / "none").string() + ", what: ", 0),
              0u);
    EXPECT_EQ(dir.logLines().back(), "0 liveries");
}

TEST_F(Regcodes, DontUseTitles)
{
    const std::string aig = R"(<AIG-regcodes><livery title="Aig No" /><livery title="Aig Yes" reg="ABC"/>
                               <livery title="Aig No2"/></AIG-regcodes>)";
    struct Row {
        const char* name;
        std::function<void()> setup;
        std::vector<std::string> titles;
        std::vector<std::string> report;
    };
    const Row rows[] = {
        {"both sources",
         [&] {
             dir.writeEncrypted("input/AIG-regcodes.enc", aig);
             writeWholeFile(dir / "input/my_regcodes/mine.txt", "Mine No\nMine Yes;DEF\n");
         },
         {"Aig No", "Aig No2", "Mine No"},
         {}},
        {"no AIG file: the user's titles are still read",
         [&] { writeWholeFile(dir / "input/my_regcodes/mine.txt", "Mine No\n"); },
         {"Mine No"},
         {}},
        {"a damaged AIG file is skipped",
         [&] {
             writeWholeFile(dir / "input/AIG-regcodes.enc",
                            gf_encryptText(DataDecryptionKey, aig).substr(0, 60));
             writeWholeFile(dir / "input/my_regcodes/mine.txt", "Mine No\n");
         },
         {"Mine No"},
         {}},
        {"AIG content that is no XML, errors in the user's files",
         [&] {
             dir.writeEncrypted("input/AIG-regcodes.enc", "<AIG-regcodes><livery");
             writeWholeFile(dir / "input/my_regcodes/mine.txt", "Mine No\nX;AB\n");
         },
         {"Mine No"},
         {"There were errors in processing the file 'input/AIG-regcodes.xml', see the Log.txt",
          "There were errors in processing the regcode files in folder 'input/my_regcodes', see the Log.txt"}},
        {"the user's folder is empty", [&] { dir.writeEncrypted("input/AIG-regcodes.enc", aig); },
         {"Aig No", "Aig No2"}, {}},
        {"the user's folder cannot be listed: the titles read before stay",
         [&] {
             dir.writeEncrypted("input/AIG-regcodes.enc", aig);
             std::filesystem::remove(dir / "input/my_regcodes");
             writeWholeFile(dir / "input/my_regcodes", "not a folder");
         },
         {"Aig No", "Aig No2"},
         {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::filesystem::remove_all(dir / "input");
        std::filesystem::create_directories(dir / "input/my_regcodes");
        DontUseTitles = {"left from before"};
        RegcodeReportLines.clear();
        row.setup();
        lf_readDontUseTitles();
        EXPECT_EQ(DontUseTitles, row.titles);
        EXPECT_EQ(RegcodeReportLines, row.report);
        EXPECT_FALSE(std::filesystem::exists(dir / "input/AIG-regcodes.xml"));
    }
    EXPECT_EQ(warnings(dir).back().rfind("exception: ", 0), 0u);
}

TEST_F(Regcodes, DontUseTitleLogLines)
{
    dir.writeEncrypted("input/AIG-regcodes.enc", R"(<AIG-regcodes><livery title="A"/></AIG-regcodes>)");
    std::filesystem::create_directories(dir / "input/my_regcodes");
    writeWholeFile(dir / "input/my_regcodes/m.txt", "B\nC\n");
    lf_readDontUseTitles();
    EXPECT_EQ(dir.logLines(), (std::vector<std::string>{
                                  "1 livery read from input/AIG-regcodes.xml",
                                  "1 don't use title read",
                                  "Processing regcodes file 'input/my_regcodes/m.txt'",
                                  "2 liveries",
                                  "2 don't use titles read from files in input/my_regcodes",
                              }));
}

}  // namespace
