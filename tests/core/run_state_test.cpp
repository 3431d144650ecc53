#include "core/run_state.h"
#include "core/time.h"
#include "core/fmt.h"

#include <gtest/gtest.h>

namespace {

class RunStateTest : public ::testing::Test {
protected:
    void SetUp() override { resetRunState(); }
    void TearDown() override { resetRunState(); }
};

TEST_F(RunStateTest, FirstReasonWins)
{
    EXPECT_TRUE(requestClosing(ClosingReason::ReaderError, 15));
    EXPECT_FALSE(requestClosing(ClosingReason::SimConnectError, 9));
    EXPECT_TRUE(closingFlag.load());
    EXPECT_EQ(closingReason(), ClosingReason::ReaderError);
    EXPECT_EQ(restartDelaySeconds(), 15);
}

// An error waits for the user; new settings typed then restart the run.
TEST_F(RunStateTest, NewSettingsReplaceAnErrorWhileTheWindowIsOpen)
{
    struct Row {
        ClosingReason first;
        bool windowClosed;
        ClosingReason second;
        bool replaced;
    };
    const Row rows[] = {
        {ClosingReason::SystemError, false, ClosingReason::NewSettings, true},
        {ClosingReason::SystemError, true, ClosingReason::NewSettings, false},
        {ClosingReason::SystemError, false, ClosingReason::ReaderError, false},
        {ClosingReason::ReaderError, false, ClosingReason::NewSettings, false},
        {ClosingReason::UserClosedSim, false, ClosingReason::NewSettings, false},
        {ClosingReason::NewSettings, false, ClosingReason::NewSettings, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(vr::format("{} then {}{}", closingReasonText(r.first), closingReasonText(r.second),
                                r.windowClosed ? ", window closed" : ""));
        resetRunState();
        EXPECT_TRUE(requestClosing(r.first, 0));
        windowClosedFlag = r.windowClosed;
        EXPECT_EQ(requestClosing(r.second, 3), r.replaced);
        EXPECT_EQ(closingReason(), r.replaced ? r.second : r.first);
        EXPECT_EQ(restartDelaySeconds(), r.replaced ? 3 : 0);
        EXPECT_TRUE(closingFlag.load());
    }
}

TEST_F(RunStateTest, WindowCloseSetsItsReasonOnlyWhenNoneIsSet)
{
    // The window sets the flag itself, then its reason when none is set yet.
    closingFlag.store(true);
    EXPECT_TRUE(setClosingReasonIfUnset(ClosingReason::UserClosedSim, 0));
    EXPECT_FALSE(requestClosing(ClosingReason::ReaderError, 15));
    EXPECT_EQ(closingReason(), ClosingReason::UserClosedSim);

    resetRunState();
    EXPECT_TRUE(requestClosing(ClosingReason::NewFlight, 30));
    EXPECT_FALSE(setClosingReasonIfUnset(ClosingReason::UserClosedSim, 0));
    EXPECT_EQ(closingReason(), ClosingReason::NewFlight);
    EXPECT_EQ(restartDelaySeconds(), 30);
}

TEST_F(RunStateTest, ForcedReasonAndReset)
{
    requestClosing(ClosingReason::NewSettings, 5);
    setClosingReason(ClosingReason::SystemError, 0);
    EXPECT_EQ(closingReason(), ClosingReason::SystemError);
    EXPECT_EQ(restartDelaySeconds(), 0);

    windowClosedFlag.store(true);
    timeShiftActive.store(true);
    trafficLastRecordTime.store(5.0);
    currentSlotAndWeekday.store(packSlotAndWeekday(21, 3));
    resetRunState();
    EXPECT_FALSE(closingFlag.load());
    EXPECT_FALSE(windowClosedFlag.load());
    EXPECT_FALSE(timeShiftActive.load());
    EXPECT_EQ(trafficLastRecordTime.load(), 0.0);
    EXPECT_EQ(currentSlotAndWeekday.load(), 0u);
    EXPECT_EQ(closingReason(), ClosingReason::NotYetSet);
}

TEST_F(RunStateTest, NegativeDelaySurvivesThePacking)
{
    setClosingReason(ClosingReason::NewSettings, -3);
    EXPECT_EQ(closingReason(), ClosingReason::NewSettings);
    EXPECT_EQ(restartDelaySeconds(), -3);
}

TEST(ClosingReasonText, AllCodes)
{
    const char* expected[] = {"NOT YET SET",     "SIM WAS CLOSED",   "NEW FLIGHT",   "NEW SETTINGS",
                              "USER CLOSED SIM", "SIMCONNECT ERROR", "READER ERROR", "SYSTEM ERROR"};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(closingReasonText(static_cast<ClosingReason>(i)), expected[i]) << i;
    EXPECT_EQ(closingReasonText(static_cast<ClosingReason>(8)), "UNKNOWN");
    EXPECT_EQ(closingReasonText(static_cast<ClosingReason>(-1)), "UNKNOWN");
}

}  // namespace
