// A rescan asked for from the window thread while the worker matches: the
// worker applies it at its next start, rebuilds everything, and titles blocked
// before still block (they are owned copies, not views into the old index).

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>

#include "core/paths.h"
#include "support/livery_world.h"

namespace {

const char* const firstFile = R"(<liveries>
  <liv airl="AAA" type="B738" title="AAA B738 Pax"/>
  <liv airl="AAA" type="A320" title="AAA A320 One"/>
  <liv airl="ZZZ" type="C172" title="ZZZ C172 Generic"/>
</liveries>)";
const char* const secondFile = R"(<liveries>
  <liv airl="AAA" type="B738" title="AAA B738 Pax"/>
  <liv airl="AAA" type="B738" title="AAA B738 New"/>
  <liv airl="ZZZ" type="C172" title="ZZZ C172 Generic"/>
</liveries>)";

class LiveryRescan : public testing::Test {
protected:
    void SetUp() override
    {
        readWorldDbase();
        setParametersFile(dir / "parameters.xml");
        SCAN_LIVERIES.set(false);
    }
    void TearDown() override { resetLiveryWorld(); }
    WorkingFolder dir;
};

std::string matchedTitle(const std::string& airline, const std::string& type)
{
    const LiveryRequest r{airline, type, "", "CS", AcCategory::Large, false};
    MatchAc ac{r, false, {}};
    gf_matchLiveAcLivery(ac);
    return std::string(ac.title);
}

TEST_F(LiveryRescan, RequestedFromAnotherThreadAppliedByTheWorker)
{
    writeWholeFile(dir / liveriesScannedPath, firstFile);
    std::latch matching(1);
    std::latch requested(1);
    std::atomic<bool> requestSeen{false};
    std::vector<std::string> before, after;
    std::thread worker([&] {
        seedRandomEngine(5);
        gf_initLiveries();
        before.push_back(matchedTitle("AAA", "B738"));
        TitleByAircraftId[7] = lf_indexedTitle("AAA B738 Pax");
        lf_liveryNotCreated("AAA1", "AAA B738 Pax", "B738", "AAA");
        matching.count_down();
        requested.wait();
        // The run goes on matching until it ends; the request changes nothing yet.
        before.push_back(matchedTitle("AAA", "A320"));
        requestSeen = liveryRescanRequested();
        writeWholeFile(dir / liveriesScannedPath, secondFile);
        gf_initLiveries();  // the restart
        after.push_back(lf_titleById(7).empty() ? "forgotten" : "kept");
        for (int i = 0; i < 20; ++i) after.push_back(matchedTitle("AAA", "B738"));
        after.push_back(matchedTitle("AAA", "A320"));
    });
    std::thread window([&] {
        matching.wait();
        requestLiveryRescan();
        requested.count_down();
    });
    window.join();
    worker.join();

    EXPECT_THAT(before, testing::ElementsAre("AAA B738 Pax", "AAA A320 One"));
    EXPECT_TRUE(requestSeen);
    EXPECT_FALSE(liveryRescanRequested());
    ASSERT_EQ(after.size(), 22u);
    EXPECT_EQ(after[0], "forgotten");
    // The blocked title is never handed out again: a pick landing on it leaves
    // the aircraft unmatched, the other one is the new livery.
    for (std::size_t i = 1; i <= 20; ++i) EXPECT_THAT(after[i], testing::AnyOf("", "AAA B738 New"));
    EXPECT_THAT(std::vector<std::string>(after.begin() + 1, after.begin() + 21), testing::Contains("AAA B738 New"));
    EXPECT_EQ(after[21], "");  // A320 is gone from the new installation
    EXPECT_EQ(BlockedTitles, std::vector<std::string>{"AAA B738 Pax"});
    EXPECT_THAT(dir.logLines(), testing::Contains("3 liveries read from output/LiveriesScanned.xml"));
}

}  // namespace
