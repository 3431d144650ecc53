#include "core/files.h"

#include <algorithm>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "core/errors.h"
#include "support/scratch_folder.h"

namespace fs = std::filesystem;

namespace {

TEST(BackupFile, ThreeGenerations)
{
    ScratchFolder dir;
    const auto file = dir / "Log.txt";
    gf_backupFile(file);  // nothing there yet: creates nothing
    EXPECT_TRUE(fs::is_empty(dir.path()));

    for (const char* content : {"first", "second", "third"}) {
        writeWholeFile(file, content);
        gf_backupFile(file);
    }
    EXPECT_EQ(readWholeFile(file), "third");  // the file itself stays
    EXPECT_EQ(readWholeFile(dir / "Log0.txt"), "third");
    EXPECT_EQ(readWholeFile(dir / "Log00.txt"), "second");
}

TEST(BackupFile, OnlyTheFileNamesExtensionCounts)
{
    ScratchFolder dir;
    fs::create_directory(dir / "john.doe");
    const auto noDot = dir / "john.doe" / "file";
    writeWholeFile(noDot, "x");
    EXPECT_NO_THROW(gf_backupFile(noDot));  // the dot of the folder does not count
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "john.doe"), fs::directory_iterator()), 1);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

    const auto twoDots = dir / "john.doe" / "a.b.c";
    writeWholeFile(twoDots, "y");
    gf_backupFile(twoDots);
    EXPECT_EQ(readWholeFile(dir / "john.doe" / "a.b0.c"), "y");
}

TEST(ListFolder, CountsDirectEntries)
{
    ScratchFolder dir;
    EXPECT_EQ(gf_listFolder(dir / "missing"), 0);
    writeWholeFile(dir / "a", "");
    fs::create_directories(dir / "sub" / "deeper");
    EXPECT_EQ(gf_listFolder(dir.path()), 2);
    EXPECT_THROW(gf_listFolder(dir / "a"), fs::filesystem_error);
}

TEST(ListXmlFiles, StemsOfXmlFilesInAnyCase)
{
    ScratchFolder dir;
    EXPECT_TRUE(gf_listXmlFiles(dir / "missing").empty());
    writeWholeFile(dir / "c.xml", "");
    writeWholeFile(dir / "B.Xml", "");
    writeWholeFile(dir / "a.xml", "");
    writeWholeFile(dir / "c.xml.bak", "");
    writeWholeFile(dir / "e.txt", "");
    fs::create_directory(dir / "d.xml");
    EXPECT_EQ(gf_listXmlFiles(dir.path()), (std::vector<std::string>{"a", "B", "c"}));
}

TEST(CleanFolder, RemovesFilesAndEmptyFolders)
{
    ScratchLog log;
    ScratchFolder dir;
    writeWholeFile(dir / "a.txt", "");
    fs::create_directory(dir / "empty");
    gf_cleanFolder(dir.path());
    EXPECT_TRUE(fs::is_empty(dir.path()));
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"Cleaning folder: " + dir.path().string()}));

    EXPECT_NO_THROW(gf_cleanFolder(dir / "missing"));
    writeWholeFile(dir / "plain", "keep");
    EXPECT_NO_THROW(gf_cleanFolder(dir / "plain"));  // not a folder: nothing happens
    EXPECT_TRUE(fs::exists(dir / "plain"));
}

TEST(CleanFolder, NonEmptySubfolderGivesCode5AndKeepsWhatWasRemoved)
{
    ScratchFolder dir;
    for (const char* name : {"a.txt", "B.txt", "c.txt", "z.txt"}) writeWholeFile(dir / name, "");
    fs::create_directories(dir / "full");
    writeWholeFile(dir / "full" / "inside", "");
    try {
        gf_cleanFolder(dir.path());
        FAIL() << "no exception";
    } catch (const qxv::UserErrorException& e) {
        EXPECT_EQ(std::string(e.what()).rfind("5: Filesystem error: ", 0), 0u) << e.what();
    }
    // Entries go in name order: those before the full folder are gone, the
    // cleaning stopped there.
    EXPECT_TRUE(fs::exists(dir / "full" / "inside"));
    EXPECT_TRUE(fs::exists(dir / "z.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
}

TEST(ReadTextFile, LinesWithoutLineEnds)
{
    ScratchFolder dir;
    writeWholeFile(dir / "t.txt", "one\r\ntwo\n\r\nlast\r");
    TextFile file{dir / "t.txt", {"stale"}};
    // A CR before an LF is not part of the line; a CR at the very end is.
    EXPECT_EQ(file.gf_readTextFile(10), (std::vector<std::string>{"one", "two", "", "last\r"}));
    EXPECT_EQ(gf_readTextFile(dir / "t.txt").size(), 4u);

    TextFile missing{dir / "missing.txt", {"stale"}};
    EXPECT_TRUE(missing.gf_readTextFile(10).empty());
    EXPECT_TRUE(gf_readTextFile(dir / "missing.txt").empty());
}

TEST(WriteFiles, StringAndLines)
{
    ScratchFolder dir;
    EXPECT_TRUE(gf_writeStringToFile("abc", dir / "s.txt", false));
    EXPECT_EQ(readWholeFile(dir / "s.txt"), "abc");
    EXPECT_TRUE(gf_writeStringToFile("de", dir / "s.txt", true));
    EXPECT_EQ(readWholeFile(dir / "s.txt"), "de\n");

    EXPECT_TRUE(gf_writeLines({}, dir / "l.txt"));
    EXPECT_TRUE(fs::exists(dir / "l.txt"));
    EXPECT_EQ(readWholeFile(dir / "l.txt"), "");
    EXPECT_TRUE(gf_writeLines({"x", "", "y"}, dir / "l.txt"));
    EXPECT_EQ(readWholeFile(dir / "l.txt"), "x\n\ny\n");

    EXPECT_FALSE(gf_writeStringToFile("abc", dir / "no" / "s.txt", true));
    EXPECT_FALSE(gf_writeLines({"x"}, dir / "no" / "l.txt"));
}

TEST(SaveXml, AFailedSaveKeepsTheOldFileAndLeavesNoTemporary)
{
    ScratchFolder dir;
    pugi::xml_document doc;
    doc.append_child("new");
    // A folder in the target's place cannot be replaced by the rename.
    std::filesystem::create_directories(dir / "busy.xml" / "inside");
    EXPECT_FALSE(gf_saveXmlAtomically(doc, dir / "busy.xml"));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "busy.xml" / "inside"));
    EXPECT_FALSE(std::filesystem::exists(dir / "busy.xml.tmp"));

    std::ofstream(dir / "old.xml") << "<old/>";
    EXPECT_TRUE(gf_saveXmlAtomically(doc, dir / "old.xml"));
    pugi::xml_document back;
    EXPECT_TRUE(back.load_file((dir / "old.xml").c_str()));
    EXPECT_TRUE(back.child("new"));
    EXPECT_FALSE(std::filesystem::exists(dir / "old.xml.tmp"));
}

TEST(SaveXml, LogsTheResult)
{
    ScratchLog log;
    ScratchFolder dir;
    pugi::xml_document doc;
    doc.append_child("root").append_attribute("a") = "1";
    EXPECT_TRUE(gf_saveXml(doc, dir / "x.xml"));
    EXPECT_FALSE(gf_saveXml(doc, dir / "no" / "x.xml"));
    pugi::xml_document back;
    EXPECT_TRUE(back.load_file((dir / "x.xml").c_str()));
    EXPECT_STREQ(back.child("root").attribute("a").value(), "1");
    EXPECT_EQ(log.lines(), (std::vector<std::string>{"'" + (dir / "x.xml").string() + "' saved",
                                                     "could not save to '" + (dir / "no" / "x.xml").string() + "'"}));
}

TEST(ExtractPath, Table)
{
    struct Case {
        const char* text;
        const char* path;
    };
    const Case cases[] = {
        {"  <Path>C:\\AI\\a</Path>", "C:\\AI\\a"},
        {"<Path></Path>", ""},
        {"<Path>no end", ""},
        {"no start</Path>", ""},
        {"</Path><Path>x", ""},
        {"<Path>a</Path><Path>b</Path>", "a"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(gf_extractPath(c.text), c.path) << c.text;
}

}  // namespace
