// The airport scan's tasks: any task limit gives the same files and scan log; a
// throwing task costs only its file; a task that does not end is given up after
// 10 seconds of the program's clock; the stop flags end the walk; no task
// outlives the scan.

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "bglbuilder/bgl_builder.h"
#include "platform/clock.h"
#include "scan_fixture.h"

namespace {

struct Outcome {
    std::map<std::string, std::string> files;
    std::vector<std::string> scanLog;
};

class ScanThreads : public ScanFixture {
protected:
    void SetUp() override
    {
        ScanFixture::SetUp();
        stats = bglb::writeSceneryLibrary(install.driveRoot / "D" / "Library", 200, 3, 40);
        AFG_AUTOMATIC.set(false);
        afolder[0]->set("D:\\Library");
        afolder[1]->set("D:\\Addons");
    }

    Outcome scan(unsigned limit)
    {
        resetTaskSlots(limit);
        SCAN_AIRPORTS.set(true);
        gf_scanAirports();
        EXPECT_EQ(liveBglTaskCount(), 0);
        EXPECT_EQ(runningTasks.load(), 0);
        Outcome out{filesBelow("airports"), scanLogFile()};
        for (const auto& [name, text] : out.files) EXPECT_FALSE(name.ends_with(".tmp")) << name;  // none left behind
        return out;
    }

    bglb::LibraryStats stats;
};

TEST_F(ScanThreads, EveryTaskLimitGivesTheSameOutput)
{
    const Outcome one = scan(1);
    ASSERT_GT(one.files.size(), 50u);
    EXPECT_TRUE(has(one.scanLog, "Generated EDDM.xml: 13 positions"));
    for (unsigned limit : {2u, 8u, 0u}) {
        SCOPED_TRACE(limit);
        const Outcome other = scan(limit);
        EXPECT_EQ(other.files, one.files);
        EXPECT_EQ(other.scanLog, one.scanLog);
    }
}

TEST_F(ScanThreads, NoMoreTasksRunAtOnceThanTheLimit)
{
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    setBglTaskBody([&](const std::filesystem::path& path, BglAirportHandler& handler, const std::atomic<bool>& stop) {
        const int now = ++running;
        for (int seen = most.load(); now > seen && !most.compare_exchange_weak(seen, now);) {
        }
        for (int i = 0; i < 50; ++i) std::this_thread::yield();  // room for another task to start meanwhile
        lf_processBGLfile(path, handler, &stop);
        --running;
    });
    for (unsigned limit : {1u, 2u, 3u}) {
        SCOPED_TRACE(limit);
        most = 0;
        scan(limit);
        EXPECT_GE(most.load(), 1);
        EXPECT_LE(most.load(), static_cast<int>(limit));
    }
}

TEST_F(ScanThreads, TheLaterFileOfTheWalkWinsWhicheverTaskEndsLast)
{
    // f0024 and f0027 both hold QAAI (the library repeats every tenth code);
    // f0024 comes first in the walk, and a scan of one file after the other
    // leaves f0027's 39 positions.
    const Outcome inOrder = scan(1);
    ASSERT_TRUE(has(inOrder.scanLog, "Generated QAAI.xml: 23 positions"));
    ASSERT_TRUE(has(inOrder.scanLog, "Generated QAAI.xml: 39 positions"));
    std::mutex mutex;
    std::condition_variable laterCv;
    bool laterDone = false;
    setBglTaskBody([&](const std::filesystem::path& path, BglAirportHandler& handler, const std::atomic<bool>& stop) {
        if (path.filename() == "f0024.bgl") {  // ends after f0027's task has written its file
            std::unique_lock lock(mutex);
            platform::clock().waitFor(laterCv, lock, std::chrono::seconds(10), [&] { return laterDone; });
        }
        lf_processBGLfile(path, handler, &stop);
        if (path.filename() == "f0027.bgl") {
            std::lock_guard lock(mutex);
            laterDone = true;
            laterCv.notify_all();
        }
    });
    const Outcome out = scan(100);  // every task is started without waiting for another
    std::lock_guard lock(mutex);
    EXPECT_TRUE(laterDone);
    EXPECT_EQ(out.files, inOrder.files);
    EXPECT_EQ(out.scanLog, inOrder.scanLog);
}

TEST_F(ScanThreads, AThrowingTaskCostsOnlyItsFile)
{
    setBglTaskBody([](const std::filesystem::path& path, BglAirportHandler& handler, const std::atomic<bool>& stop) {
        if (path.filename() == "f0009.bgl") throw std::runtime_error("broken task");
        lf_processBGLfile(path, handler, &stop);
    });
    const Outcome out = scan(4);
    EXPECT_TRUE(has(out.scanLog, "broken task"));
    EXPECT_TRUE(has(out.scanLog, "Generated EDDM.xml"));  // the folder after it is searched
    EXPECT_TRUE(has(out.scanLog, "Generated QAAC.xml"));   // f0006
    EXPECT_FALSE(has(out.scanLog, "Generated QAAD.xml"));  // f0009's airport
    EXPECT_TRUE(has(out.scanLog, "Generated QAAE.xml"));   // and the files after it
}

TEST_F(ScanThreads, ATaskThatDoesNotEndIsGivenUpOnTheProgramClock)
{
    // A few files and slots to spare: the walker never waits for a slot here.
    bglb::writeSceneryLibrary(install.driveRoot / "D" / "Small", 6, 1, 25);
    afolder[0]->set("D:\\Small");
    afolder[1]->set("");
    platform::ScopedClock clock(std::make_shared<platform::VirtualClock>());
    const auto started = std::chrono::steady_clock::now();
    setBglTaskBody([](const std::filesystem::path& path, BglAirportHandler&, const std::atomic<bool>& stop) {
        if (path.filename() != "f0003.bgl") return;
        while (!stop.load()) std::this_thread::yield();  // ends only when asked to stop
    });
    const Outcome out = scan(16);
    EXPECT_TRUE(has(out.scanLog, "===> Future wait timed out after 10 seconds: "));
    EXPECT_TRUE(has(out.scanLog, "f0003.bgl"));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
}

TEST_F(ScanThreads, StopFlagsEndTheWalkAndKeepTheScanAsked)
{
    serveArchived("QAAA", true);
    std::atomic<int> seen{0};
    setBglTaskBody([&](const std::filesystem::path& path, BglAirportHandler& handler, const std::atomic<bool>& stop) {
        if (++seen == 3) closingFlag = true;
        lf_processBGLfile(path, handler, &stop);
    });
    const Outcome out = scan(2);
    EXPECT_LT(seen.load(), 10);
    EXPECT_TRUE(SCAN_AIRPORTS.get());
    EXPECT_TRUE(shell.downloadCalls().empty());
    EXPECT_FALSE(has(out.scanLog, "EDDM"));
}

}  // namespace
