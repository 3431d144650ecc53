#include <gtest/gtest.h>

#include <algorithm>

#include "platform/ui.h"
#include "shell/closing.h"
#include "shell_fixture.h"

namespace {

// The main window as a recorder of what the closing down posts to it.
std::vector<std::uint32_t> lf_received;
ui::LResult lf_recordingProcedure(ui::Handle, std::uint32_t message, ui::WParam, ui::LParam)
{
    lf_received.push_back(message);
    return 0;
}

class Closing : public ShellFixture {
protected:
    void SetUp() override
    {
        ShellFixture::SetUp();
        ui::resetUi();
        ui::CreateParams p;
        p.className = programId;
        p.procedure = lf_recordingProcedure;
        window = ui::createWindow(p);
        mainWindow().window = window;
        lf_received.clear();
    }
    void TearDown() override
    {
        mainWindow().window = 0;
        ui::resetUi();
        ShellFixture::TearDown();
    }
    // What the closing down posted: the loop delivers it, then the quit.
    std::vector<std::uint32_t> delivered()
    {
        ui::postQuitMessage(0);
        ui::runMessageLoop();
        return lf_received;
    }
    ui::Handle window = 0;
    AppServicesFake app;
};

TEST_F(Closing, TheReasonDecidesWhatFollows)
{
    struct Row {
        ClosingReason reason;
        std::uint32_t posted;
        bool scansCleared;
        bool reset;  // removeAllAiObjects ran
    };
    const Row rows[] = {
        {ClosingReason::NotYetSet, WM_APP_SAVE_AND_QUIT, false, false},
        {ClosingReason::SimWasClosed, WM_APP_SAVE_AND_QUIT, false, false},
        {ClosingReason::NewFlight, WM_APP_SAVE_AND_QUIT, false, false},
        {ClosingReason::NewSettings, WM_APP_START_WORKER, false, true},
        {ClosingReason::UserClosedSim, WM_APP_SAVE_AND_QUIT, false, false},
        {ClosingReason::SimConnectError, WM_APP_START_WORKER, true, true},
        {ClosingReason::ReaderError, WM_APP_START_WORKER, true, true},
        {ClosingReason::SystemError, WM_APP_SAVE_AND_QUIT, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(closingReasonText(r.reason)));
        lf_received.clear();
        calls.clear();
        resetRunState();
        setClosingReason(r.reason, 2);
        closingFlag = true;
        if (r.reason == ClosingReason::SystemError) windowClosedFlag = true;  // the user closed it
        SCAN_LIVERIES.set(true);
        SCAN_AIRPORTS.set(true);
        lf_closingDown();
        EXPECT_EQ(delivered(), std::vector<std::uint32_t>{r.posted});
        EXPECT_EQ(!SCAN_LIVERIES.get(), r.scansCleared);
        EXPECT_EQ(!SCAN_AIRPORTS.get(), r.scansCleared);
        EXPECT_EQ(calls.count("removeAllAiObjects"), r.reset ? 1u : 0u);
        EXPECT_EQ(restartPending.load(), r.reset);
        EXPECT_EQ(calls.count("joinSimClientThread"), 0u) << "none was started";
        EXPECT_EQ(calls.count("deauthenticate"), 1u);
    }
}

// The time options are saved by the closing down: from its start their controls
// are disabled and their labels grey, until the next start-up enables them.
TEST_F(Closing, TheTimeShiftControlsAreGreyFromTheClosingDownOn)
{
    for (const ClosingReason reason : {ClosingReason::UserClosedSim, ClosingReason::NewSettings}) {
        SCOPED_TRACE(std::string(closingReasonText(reason)));
        resetRunState();
        mainWindow().timeShiftControlsEnabled = true;  // as in a running flight
        setClosingReason(reason, 0);
        closingFlag = true;
        lf_closingDown();
        EXPECT_FALSE(mainWindow().timeShiftControlsEnabled.load());
        delivered();
        lf_received.clear();
    }
}

TEST_F(Closing, TheCountdownCountsOnTheMessageLine)
{
    setClosingReason(ClosingReason::ReaderError, 2);
    closingFlag = true;
    lf_closingDown();
    std::vector<std::string> texts;
    for (const auto& m : app.messages())
        if (m.text.rfind("Restarting", 0) == 0) texts.push_back(m.text + (m.log ? " (logged)" : ""));
    EXPECT_EQ(texts, (std::vector<std::string>{"Restarting after 2 seconds", "Restarting after 1 second"}));
    EXPECT_GE(virtualSeconds(), 2.0);
    // The reset left a fresh run behind, with the restart mark.
    EXPECT_FALSE(closingFlag.load());
    EXPECT_EQ(closingReason(), ClosingReason::NotYetSet);
    EXPECT_TRUE(mainWindow().restartMark.load());
    EXPECT_EQ(statusPanel().trafficLamp.load(), 3);
}

TEST_F(Closing, NoDelayNoCountdown)
{
    setClosingReason(ClosingReason::NewSettings, 0);
    closingFlag = true;
    lf_closingDown();
    for (const auto& m : app.messages()) EXPECT_EQ(m.text.rfind("Restarting", 0), std::string::npos);
    EXPECT_LT(virtualSeconds(), 0.5);
    EXPECT_EQ(delivered(), std::vector<std::uint32_t>{WM_APP_START_WORKER});
}

TEST_F(Closing, AUserCloseDuringTheCountdownQuits)
{
    setClosingReason(ClosingReason::SimConnectError, 9);
    closingFlag = true;
    int seconds = 0;
    // The user closes while the count shows 7.
    struct Closer final : AppServices {
        int* seconds;
        void showMessage(const std::string& text, bool) override
        {
            if (text.rfind("Restarting after", 0) == 0 && ++*seconds == 3) windowClosedFlag = true;
        }
        void clearMessage() override {}
        void showError(const std::string&) override {}
        void repaintStatusPanel() override {}
        void handleVersionUpdate() override {}
        bool downloadToFile(const std::string&, const std::filesystem::path&, bool) override { return false; }
        std::string downloadFolderUrl() override { return {}; }
    } closerServices;
    closerServices.seconds = &seconds;
    setAppServices(&closerServices);
    lf_closingDown();
    setAppServices(&app);
    EXPECT_EQ(seconds, 3);
    EXPECT_EQ(calls.count("removeAllAiObjects"), 0u) << "no reset: the program ends";
    EXPECT_FALSE(restartPending.load());
    EXPECT_EQ(delivered(), std::vector<std::uint32_t>{WM_APP_SAVE_AND_QUIT});
}

TEST_F(Closing, AnExceptionStillLeavesAWayOut)
{
    setClosingReason(ClosingReason::ReaderError, 0);
    closingFlag = true;
    mainCycleCallees().removeFlightPlanFolder = []() -> bool { throw std::runtime_error("disk gone"); };
    lf_closingDown();
    bool shown = false;
    for (const auto& m : app.messages()) shown |= m.text == "lf_closingDown exception disk gone";
    EXPECT_TRUE(shown);
    EXPECT_EQ(delivered(), std::vector<std::uint32_t>{WM_APP_SAVE_AND_QUIT});
}

TEST_F(Closing, TimeOptionsKeptOnlyWithKeepAndNoSimulatorTime)
{
    struct Row {
        bool keep;
        bool simTime;
        bool shiftKept;
        bool simTimeAfter;
    };
    const Row rows[] = {{false, false, false, false}, {false, true, false, false}, {true, false, true, false},
                        {true, true, false, true}};
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.keep) + std::to_string(r.simTime));
        lf_received.clear();
        resetRunState();
        setClosingReason(ClosingReason::UserClosedSim, 0);
        closingFlag = true;
        KEEP_SIM_TIME_PAR.set(r.keep);
        SIM_TIME.set(r.simTime);
        TIME_SHIFT_HOURS.set(5);
        lf_closingDown();
        EXPECT_EQ(TIME_SHIFT_HOURS.get() == 5, r.shiftKept);
        EXPECT_EQ(SIM_TIME.get(), r.simTimeAfter);
        delivered();
    }
}

TEST_F(Closing, TheRunsEndIsStoredForTheRevisitHold)
{
    setClosingReason(ClosingReason::UserClosedSim, 0);
    closingFlag = true;
    DESTINATION.set("EHAM");
    BLOCK_CALLSIGN.set("KLM1");
    lf_closingDown();
    EXPECT_EQ(LAST_EPOCH_TIME.get(), static_cast<std::int32_t>(platform::wallSeconds()));
    EXPECT_TRUE(DESTINATION.empty());
    EXPECT_TRUE(BLOCK_CALLSIGN.empty());
    delivered();
}

TEST_F(Closing, ResetSessionLeavesAFreshProcessState)
{
    // A run's leftovers everywhere.
    MainCycleState& s = mainCycle();
    s.flightPaused = true;
    s.secondCount = 77;
    s.renewalRequested = true;
    s.renewalInProgress = true;
    s.blockCallsignChanged = true;
    s.userState.latitude = 52;
    statusPanel().trafficLamp = 1;
    statusPanel().liveCount = 12;
    statusPanel().liveriesCount = 1137;
    mainWindow().setMessage("old", 3);
    disableMainControls();  // a renewal was half done
    requestClosing(ClosingReason::ReaderError, 15);
    windowClosedFlag = true;
    timeShiftActive = true;
    RANGE.set(20);
    rangeNm = 99;
    const std::int32_t metres = resetSession();

    EXPECT_EQ(metres, 20 * 1852 + 10000);
    EXPECT_FALSE(s.flightPaused);
    EXPECT_EQ(s.secondCount.load(), 0);
    EXPECT_FALSE(s.renewalRequested.load());
    EXPECT_FALSE(s.renewalInProgress);
    EXPECT_FALSE(s.blockCallsignChanged.load());
    EXPECT_EQ(s.userState.latitude, 0.0);
    EXPECT_EQ(statusPanel().trafficLamp.load(), 3);
    EXPECT_EQ(statusPanel().liveCount.load(), 0);
    EXPECT_EQ(statusPanel().liveriesCount.load(), 1137) << "the liveries outlive the run";
    EXPECT_EQ(mainWindow().message(), "");
    EXPECT_FALSE(mainControlsDisabled());
    EXPECT_TRUE(mainWindow().restartMark.load());
    EXPECT_FALSE(closingFlag.load());
    EXPECT_FALSE(windowClosedFlag.load());
    EXPECT_FALSE(timeShiftActive.load());
    EXPECT_EQ(closingReason(), ClosingReason::NotYetSet);
    EXPECT_EQ(rangeNm.load(), 20.0);
    for (const char* call : {"checkWeatherHandles", "resetSimLink", "removeAllAiObjects"})
        EXPECT_EQ(calls.count(call), 1u) << call;
}

}  // namespace
