#include "core/log.h"

#include <memory>

#include <gtest/gtest.h>

#include "core/run_state.h"
#include "platform/clock.h"
#include "support/scratch_folder.h"

namespace {

class LogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        closeLog();
        resetRunState();
    }
    void TearDown() override
    {
        closeLog();
        resetRunState();
    }
    ScratchFolder folder_;
    // 2025-10-05 14:03:07 UTC, a Sunday.
    platform::ScopedClock clock_{std::make_shared<platform::VirtualClock>(1759672987.25)};
};

TEST_F(LogTest, BannerIsTheFirstLine)
{
    gf_openLog(folder_.path());
    logLine("hello");
    EXPECT_EQ(fileLines(folder_ / "Log.txt"),
              (std::vector<std::string>{"VRMT_P3D (utc) Sun Okt 05 14:03:07 2025 version 11.0.3 for Prepar3D v5/v6",
                                        "hello"}));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "Log0.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder_ / "Log00.txt"));
}

TEST_F(LogTest, ThreeStartsKeepTwoGenerations)
{
    for (const char* run : {"run 1", "run 2", "run 3"}) {
        gf_openLog(folder_.path());
        logLine(run);
    }
    EXPECT_EQ(fileLines(folder_ / "Log00.txt").back(), "run 1");
    EXPECT_EQ(fileLines(folder_ / "Log0.txt").back(), "run 2");
    EXPECT_EQ(fileLines(folder_ / "Log.txt").back(), "run 3");
    EXPECT_EQ(fileLines(folder_ / "Log.txt").size(), 2u);  // truncated, not appended
}

TEST_F(LogTest, PrefixesAndEmptyTexts)
{
    gf_openLog(folder_.path());
    logLine("plain");
    logLineMarked("error");
    logLineIndented("detail");
    logLine("");
    logLineMarked("");
    logLineIndented("");
    const std::string content = readWholeFile(folder_ / "Log.txt");
    const std::string body = content.substr(content.find('\n') + 1);
    EXPECT_EQ(body, "plain\n===> error\n          detail\n\n===> \n          \n");
}

TEST_F(LogTest, IfRunningIsSilentWhileAStopFlagIsSet)
{
    gf_openLog(folder_.path());
    logLineIfRunning("one");
    closingFlag.store(true);
    logLineIfRunning("two");
    closingFlag.store(false);
    windowClosedFlag.store(true);
    logLineIfRunning("three");
    windowClosedFlag.store(false);
    logLineIfRunning("four");
    auto lines = fileLines(folder_ / "Log.txt");
    lines.erase(lines.begin());
    EXPECT_EQ(lines, (std::vector<std::string>{"one", "four"}));
}

TEST_F(LogTest, CallsBeforeOpenAreSilentNoOps)
{
    EXPECT_FALSE(isLogOpen());
    EXPECT_NO_THROW(logLine("lost"));
    EXPECT_NO_THROW(logLineMarked("lost"));
    EXPECT_NO_THROW(logLineIndented("lost"));
    EXPECT_NO_THROW(logLineIfRunning("lost"));
    gf_openLog(folder_.path());
    EXPECT_TRUE(isLogOpen());
    EXPECT_EQ(fileLines(folder_ / "Log.txt").size(), 1u);
}

TEST_F(LogTest, FailedOpenThrowsAndLeavesTheLogClosed)
{
    gf_openLog(folder_.path());
    const auto missing = folder_ / "no such folder";
    try {
        gf_openLog(missing);
        FAIL() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Failed to write file " + (missing / "Log.txt").string());
    }
    EXPECT_FALSE(isLogOpen());
    EXPECT_NO_THROW(logLine("lost"));
    EXPECT_EQ(fileLines(folder_ / "Log.txt").size(), 1u);
}

TEST_F(LogTest, FailedBackupPropagatesTheFilesystemError)
{
    // A folder where Log0.txt should go makes the copy fail.
    writeWholeFile(folder_ / "Log.txt", "old\n");
    std::filesystem::create_directory(folder_ / "Log0.txt");
    EXPECT_THROW(gf_openLog(folder_.path()), std::filesystem::filesystem_error);
    EXPECT_FALSE(isLogOpen());
}

TEST_F(LogTest, OpenWithoutFolderUsesTheCurrentFolder)
{
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder_.path());
    gf_openLog();
    logLine("here");
    closeLog();
    std::filesystem::current_path(previous);
    EXPECT_EQ(fileLines(folder_ / "Log.txt").back(), "here");
}

// Bytes that are not UTF-8, and control bytes (a user's file may hold any),
// are written as "\xNN": Log.txt stays text to grep, and nothing in it acts on
// the terminal that shows it. Tab stays, and a line end starts a new line.
TEST_F(LogTest, BytesThatAreNotUtf8AreEscaped)
{
    struct Row {
        const char* name;
        std::string text;
        std::string written;
    } rows[] = {
        {"plain text", "EHAM A12", "EHAM A12"},
        {"two-, three- and four-byte letters", "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x98\x80", "Z\xC3\xBCrich \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"a Latin-1 byte", "Z\xFCrich", "Z\\xFCrich"},
        {"a lone continuation byte", "a\x80" "b", "a\\x80b"},
        {"a sequence cut short", "\xE2\x82", "\\xE2\\x82"},
        {"an overlong form", "\xC0\xAF", "\\xC0\\xAF"},
        {"a surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
        {"a cut sequence before a good letter", "\xC3\xC3\xA9", "\\xC3\xC3\xA9"},
        {"NUL", std::string("a\0b", 3), "a\\x00b"},
        {"ESC of a terminal sequence", "\x1B[2J\x1B]0;title\x07", "\\x1B[2J\\x1B]0;title\\x07"},
        {"a carriage return", "seen\roverwritten", "seen\\x0Doverwritten"},
        {"backspace, form feed, vertical tab, 0x1F", "\x08\x0C\x0B\x1F", "\\x08\\x0C\\x0B\\x1F"},
        {"DEL", "a\x7F", "a\\x7F"},
        {"tab stays", "A12\tKLM", "A12\tKLM"},
        {"the last plain bytes stay", " ~", " ~"},
    };
    gf_openLog(folder_.path());
    for (const auto& row : rows) logLine(row.text);
    logLine("\nErrors:");  // the program's own blank lines
    auto lines = fileLines(folder_ / "Log.txt");
    ASSERT_EQ(lines.size(), 3u + std::size(rows));
    for (std::size_t i = 0; i < std::size(rows); ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(lines[i + 1], rows[i].written);
    }
    EXPECT_EQ(lines[std::size(rows) + 1], "");
    EXPECT_EQ(lines[std::size(rows) + 2], "Errors:");
}

TEST_F(LogTest, ARunsLogStopsAtItsCapWithOneLineSayingSo)
{
    gf_openLog(folder_.path());
    const std::string line(1023, 'x');
    const std::size_t lines = logCapBytes / 1024 + 10;  // well past the cap
    for (std::size_t i = 0; i < lines; ++i) logLine(line);
    logLineMarked("after the cap");
    closeLog();
    const auto size = std::filesystem::file_size(folder_ / "Log.txt");
    EXPECT_LE(size, logCapBytes + 200);
    auto all = fileLines(folder_ / "Log.txt");
    EXPECT_EQ(all.back(), "===> Log.txt has reached its limit of 20 MB: nothing more is written to it in this run");
    EXPECT_EQ(all[all.size() - 2], line);
    // The next run starts with a fresh allowance.
    gf_openLog(folder_.path());
    logLine("next run");
    closeLog();
    EXPECT_EQ(fileLines(folder_ / "Log.txt").back(), "next run");
}

}  // namespace
