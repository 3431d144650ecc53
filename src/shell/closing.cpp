#include "shell/closing.h"

#include <chrono>

#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "core/time.h"
#include "platform/clock.h"
#include "platform/ui.h"
#include "shell/main_cycle.h"
#include "shell/main_window.h"
#include "shell/startup.h"

namespace {

bool lf_restarts(ClosingReason r)
{
    return r == ClosingReason::NewSettings || r == ClosingReason::SimConnectError || r == ClosingReason::ReaderError;
}

// Posts the closing down's last message when it goes out of scope, whatever happened before.
class FinalPost {
public:
    ~FinalPost()
    {
        const ui::Handle w = mainWindow().window.load();
        if (w) ui::postMessage(w, restart ? WM_APP_START_WORKER : WM_APP_SAVE_AND_QUIT, 0, 0);
    }
    bool restart = false;
};

void lf_closingSteps(FinalPost& post)
{
    MainCycleCallees& c = mainCycleCallees();
    ClosingReason reason = closingReason();
    logLine(vr::format("Exiting: {}", closingReasonText(reason)));
    // The time options are saved below: a change typed now would be lost.
    enableTimeShiftControls(false);
    c.setRunningFlag(false);
    if (c.simClientThreadStarted()) c.joinSimClientThread();
    if (!c.sessionGuid().empty()) {
        if (!c.stopServiceReaders(readerStopLimitMs))
            logLineMarked(vr::format("The readers did not stop within {} ms", readerStopLimitMs));
        c.deauthenticate();
    }
    if (reason == ClosingReason::SystemError) {
        // Until the user closes the window, or types settings that restart the
        // run (requestClosing with NewSettings replaces the error).
        while (!windowClosedFlag.load() && closingReason() == ClosingReason::SystemError)
            // A close wakes this at once; a restart request is seen within half a second.
            sleepUnlessSet(std::chrono::milliseconds(500), windowClosedFlag);
        reason = closingReason();
        if (reason == ClosingReason::SystemError || windowClosedFlag.load()) {
            // Logged as it stands: the close has set the flags that quieten logLineIfRunning.
            const std::string text = vr::format("User closed {}", programId);
            showMessage(text, false);
            logLine(text);
        } else {
            logLine(vr::format("Exiting: {}", closingReasonText(reason)));
        }
    }
    if (!airportServices().parkAirport().code.empty()) c.removeStaticParked();
    c.clearRememberedTitles();
    c.removeFlightPlanFolder();
    setStringParameter(&DESTINATION, "");
    setStringParameter(&BLOCK_CALLSIGN, "");
    timeShiftActive = false;
    if (!KEEP_SIM_TIME_PAR.get()) {
        SIM_TIME.set(false);
        saveBoolParameter(&SIM_TIME);
        saveTimeShift();
    } else if (SIM_TIME.get()) {
        saveTimeShift();
    }
    c.clearGhostNames();
    c.logLiveryMatchSummary();
    c.logNoMatchList();
    // The run's end, so that the next start keeps the service's revisit interval.
    LAST_EPOCH_TIME.set(LAST_EPOCH_TIME.clamped(wallClockSeconds()));
    saveIntParameter(&LAST_EPOCH_TIME);

    if (lf_restarts(reason) && !windowClosedFlag.load()) {
        restartPending = true;
        mainWindow().clearError();
        clearMessage();
        showMessage("Prepare for a restart ...", true);
        if (reason != ClosingReason::NewSettings) {
            for (CheckboxParameter* scan : {&SCAN_LIVERIES, &SCAN_AIRPORTS}) {
                scan->set(false);
                saveBoolParameter(scan);
                showCheckboxState(*scan);
            }
        }
        restartCountdown();
        if (windowClosedFlag.load()) {
            // Closed during the countdown: the close wins.
            restartPending = false;
            return;
        }
        resetSession();
        post.restart = true;
        return;
    }
    restartPending = false;
    if (reason == ClosingReason::NewFlight) {
        showMessage(vr::format("New flight detected, {} will close, please restart manually ...", programId), true);
        sleepUnlessSet(std::chrono::seconds(10), windowClosedFlag);
    }
}

}  // namespace

void lf_closingDown()
{
    FinalPost post;
    try {
        lf_closingSteps(post);
    } catch (const std::exception& e) {
        post.restart = false;
        showMessage(vr::format("{} exception {}", "lf_closingDown", e.what()), true);
    } catch (...) {
        post.restart = false;
        showMessage(vr::format("{} exception {}", "lf_closingDown", "unknown"), true);
    }
}

void restartCountdown()
{
    const std::int32_t n = restartDelaySeconds();
    if (n < 1) return;
    logLine(vr::format("Restarting after {} seconds\n\n\n\n\n", n));
    for (std::int32_t i = n; i >= 1 && !windowClosedFlag.load(); --i) {
        showMessage(vr::format("Restarting after {} second{}", i, i == 1 ? "" : "s"), false);
        sleepUnlessSet(std::chrono::seconds(1), windowClosedFlag);
    }
}

std::int32_t resetSession()
{
    MainCycleCallees& c = mainCycleCallees();
    c.checkWeatherHandles();
    c.resetSimLink();
    c.removeAllAiObjects();
    mainCycle().reset();
    mainWindow().resetForRestart();
    // A renewal the run left half done must not keep the controls of the next one disabled.
    if (mainControlsDisabled()) enableMainControls();
    // The liveries outlive the run (the next start does not read them again):
    // their count stays on the panel.
    const std::int32_t liveries = statusPanel().liveriesCount.load();
    statusPanel().reset();
    statusPanel().liveriesCount = liveries;
    resetRunState();
    shellAppServices().forgetMissingDownloads();
    return setRangeNm(RANGE.get());
}

void saveTimeShift()
{
    for (EditParameter* p : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
        p->set(p->clamped(0));
        saveIntParameter(p);
    }
}
