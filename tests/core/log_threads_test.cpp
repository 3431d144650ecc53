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
    for (int i = 0; i < 20; ++i) {
        gf_openLog(folder.path());
        closeLog();
    }
    stop.store(true);
    writers.clear();
    for (const auto& line : fileLines(folder / "Log.txt"))
        EXPECT_TRUE(line == "x" || line.rfind("VRMT_P3D", 0) == 0) << line;
}

}  // namespace
