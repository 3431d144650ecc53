#include <csignal>
#include <cstdlib>
#include <exception>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/fmt.h"
#include "core/log.h"
#include "support/scratch_folder.h"

namespace {

TEST(LogThreads, LinesOfManyThreadsStayWhole)
{
    constexpr int threads = 8;
    constexpr int perThread = 1000;
    ScratchFolder folder;
    gf_openLog(folder.path());
    {
        std::vector<std::jthread> workers;
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t] {
                // Each thread writes its own fixed pattern, long enough to be cut if lines mixed.
                const std::string body(40, static_cast<char>('a' + t));
                for (int i = 0; i < perThread; ++i) {
                    if (i % 2)
                        logLine(vr::format("{}{}", t, body));
                    else
                        logLineMarked(vr::format("{}{}", t, body));
                }
            });
        }
    }
    closeLog();

    auto lines = fileLines(folder / "Log.txt");
    ASSERT_EQ(lines.size(), 1u + threads * perThread);
    lines.erase(lines.begin());
    std::vector<int> counts(threads, 0);
    for (std::string line : lines) {
        if (line.rfind("===> ", 0) == 0) line.erase(0, 5);
        ASSERT_EQ(line.size(), 41u) << line;
        const int t = line[0] - '0';
        ASSERT_TRUE(t >= 0 && t < threads) << line;
        ASSERT_EQ(line.substr(1), std::string(40, static_cast<char>('a' + t))) << line;
        ++counts[static_cast<std::size_t>(t)];
    }
    for (int c : counts) EXPECT_EQ(c, perThread);
}

TEST(LogThreads, OpenAndCloseRaceWithWriters)
{
    ScratchFolder folder;
    std::atomic<bool> stop{false};
    std::vector<std::jthread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([&] {
            while (!stop.load()) logLine("x");
        });
    for (int i = 0; i < 100; ++i) {
        gf_openLog(folder.path());
        closeLog();
    }
    stop.store(true);
    writers.clear();
    for (const auto& line : fileLines(folder / "Log.txt"))
        EXPECT_TRUE(line == "x" || line.rfind("VRMT_P3D", 0) == 0) << line;
    // A line queued while a log closed went into that log, never into the next one.
    ScratchFolder next;
    gf_openLog(next.path());
    closeLog();
    const auto lines = fileLines(next / "Log.txt");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].rfind("VRMT_P3D", 0), 0u) << lines[0];
}

TEST(LogThreads, TheWriterKeepsTheOrderAndWritesMarkedLinesAtOnce)
{
    ScratchFolder folder;
    gf_openLog(folder.path());
    startLogWriter();
    std::vector<std::string> expected{"VRMT_P3D"};
    for (int i = 0; i < 2000; ++i) {
        logLine(vr::format("line {}", i));
        expected.push_back(vr::format("line {}", i));
    }
    logLineMarked("an error");
    expected.push_back("===> an error");
    // A marked line is on disk when the call returns, with every line before it.
    auto lines = fileLines(folder / "Log.txt");
    ASSERT_EQ(lines.size(), expected.size());
    lines[0].resize(8);
    EXPECT_EQ(lines, expected);

    logLineIndented("detail");
    flushLog();
    EXPECT_EQ(fileLines(folder / "Log.txt").back(), "          detail");
    logLine("at the close");
    closeLog();
    EXPECT_EQ(fileLines(folder / "Log.txt").back(), "at the close");
    EXPECT_FALSE(isLogOpen());
}

// A process that dies still leaves the lines it queued.
TEST(LogThreads, QueuedLinesReachTheFileWhenTheProcessDies)
{
    GTEST_FLAG_SET(death_test_style, "fast");  // the child writes into this test's folder
    struct Row {
        const char* name;
        void (*die)();
        bool busyLogger;  // another thread logs without pause while the process dies
    } rows[] = {
        {"std::terminate", [] { std::terminate(); }, false},
        {"std::terminate while another thread logs", [] { std::terminate(); }, true},
#if !defined(__SANITIZE_THREAD__)
        // ThreadSanitizer takes the fatal signals for itself and ends the
        // process before the program's own hook runs; the other builds show it.
        {"abort", [] { std::abort(); }, false},
        {"segmentation fault", [] { std::raise(SIGSEGV); }, false},
        {"segmentation fault while another thread logs", [] { std::raise(SIGSEGV); }, true},
#endif
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ScratchFolder folder;
        EXPECT_DEATH(
            {
                gf_openLog(folder.path());
                startLogWriter();
                if (row.busyLogger) {
                    std::thread([] {
                        for (;;) logLine("busy");
                    }).detach();
                }
                logLine("last words");
                row.die();
            },
            "");
        auto lines = fileLines(folder / "Log.txt");
        std::erase(lines, "busy");
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines.back(), "last words");
    }
}

}  // namespace
