#include "shell/main_window.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <system_error>

#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "engine/ac_records.h"
#include "shell/main_cycle.h"
#include "shell/startup.h"
#include "traffic_service/downloader.h"

namespace {
// The seconds counter of the message line: +1 every second of running flight.
std::atomic<std::int32_t> lf_messageSeconds{0};
}  // namespace

std::string MainWindowState::message() const
{
    std::lock_guard lock(mutex_);
    return message_;
}

std::string MainWindowState::error() const
{
    std::lock_guard lock(mutex_);
    return error_;
}

std::string MainWindowState::shownMessage() const
{
    std::lock_guard lock(mutex_);
    return error_.empty() ? message_ : "Error " + error_;
}

std::int32_t MainWindowState::messageMoment() const
{
    std::lock_guard lock(mutex_);
    return moment_;
}

void MainWindowState::setMessage(const std::string& text, std::int32_t moment)
{
    std::lock_guard lock(mutex_);
    message_ = text;
    moment_ = moment;
}

void MainWindowState::setError(const std::string& text)
{
    std::lock_guard lock(mutex_);
    error_ = text;
    message_.clear();
    moment_ = 0;
}

void MainWindowState::clearError()
{
    std::lock_guard lock(mutex_);
    error_.clear();
}

void MainWindowState::resetForRestart()
{
    {
        std::lock_guard lock(mutex_);
        message_.clear();
        error_.clear();
        moment_ = 0;
    }
    lf_messageSeconds = 0;
    restartMark = true;
    timeShiftControlsEnabled = false;  // the start-up enables them
    myOrbxCount = 0;
    myThirdpartyCount = 0;
    shownLiveCount = 0;
    shownStaticsInSlot = -1;
    shownLiveParked = ~std::uint64_t{0};
    loggedIn = false;
}

MainWindowState& mainWindow()
{
    static MainWindowState& s = *new MainWindowState;  // never destroyed: detached readers call the message line
    return s;
}

void invalidateMainWindow()
{
    if (const ui::Handle w = mainWindow().window.load()) ui::invalidate(w);
}

void ShellAppServices::showMessage(const std::string& text, bool log)
{
    MainWindowState& w = mainWindow();
    if (!w.error().empty()) return;
    w.setMessage(text, text.empty() ? 0 : std::max(1, lf_messageSeconds.load()));
    if (log && !text.empty()) logLineIfRunning(text);
    invalidateMainWindow();
}

void ShellAppServices::clearMessage() { showMessage("", true); }

void ShellAppServices::showError(const std::string& text)
{
    mainWindow().setError(text);
    logLineIfRunning(vr::format("Error {}", text));
    invalidateMainWindow();
}

void ShellAppServices::repaintStatusPanel() { invalidateMainWindow(); }

void ShellAppServices::handleVersionUpdate() { ::handleVersionUpdate(); }

bool ShellAppServices::downloadToFile(const std::string& url, const std::filesystem::path& path, bool raw)
{
    return downloadFile(url, path, raw) == DownloadResult::done;
}

DownloadResult ShellAppServices::downloadFile(const std::string& url, const std::filesystem::path& path, bool raw)
{
    {
        std::lock_guard lock(missingMutex_);
        if (missing_.count(url) != 0) return DownloadResult::notOnSite;
    }
    Downloader downloader;
    if (::downloadToFile(downloader, url, path, raw)) return DownloadResult::done;
    if (downloader.lastStatus() != 404) return DownloadResult::failed;
    std::lock_guard lock(missingMutex_);
    missing_.insert(url);
    return DownloadResult::notOnSite;
}

void ShellAppServices::forgetMissingDownloads()
{
    std::lock_guard lock(missingMutex_);
    missing_.clear();
}

std::string ShellAppServices::downloadFolderUrl() { return downloadSiteFolderUrl(); }

ShellAppServices& shellAppServices()
{
    static ShellAppServices& s = *new ShellAppServices;  // never destroyed
    return s;
}

void advanceMessageClock()
{
    const std::int32_t now = ++lf_messageSeconds;
    const std::int32_t moment = mainWindow().messageMoment();
    if (moment >= 1 && now - moment >= 25) clearMessage();
}

void reportNoTraffic()
{
    MainCycleCallees& c = mainCycleCallees();
    for (int i = 0; i < 150 && c.readerRecordCount() == 0; ++i) {
        if (!waitUnlessStopped(100, 100, nullptr)) return;
    }
    if (c.readerRecordCount() == 0 && !stopFlagSet()) logLine("No traffic in this region?");
}

void refreshParkingCounters()
{
    MainCycleCallees& c = mainCycleCallees();
    MainWindowState& w = mainWindow();
    std::int32_t live = 0;
    for (const LiveAc& ac : liveAircraft)
        if (ac.simState == SimState::active && ac.phase != AcPhase::parked) ++live;
    if (live != w.shownLiveCount.load()) {
        w.shownLiveCount = live;
        statusPanel().liveCount = live;
        invalidateMainWindow();
    }
    const auto statics = static_cast<std::int32_t>(c.countStaticsInSlot(true));
    const std::uint64_t parked = c.averageLiveParked(true);
    if (statics != w.shownStaticsInSlot.load() || parked != w.shownLiveParked.load()) {
        w.shownStaticsInSlot = statics;
        w.shownLiveParked = parked;
        statusPanel().staticsInSlot = statics;
        statusPanel().liveParkedCount = static_cast<std::int32_t>(std::min<std::uint64_t>(parked, INT32_MAX));
        invalidateMainWindow();
    }
}

void ShellAppServices::refreshParkingControls() { ::refreshParkingControls(); }

// The controls of the busy state (core's disableMainControls / enableMainControls keep the flag).
void ShellAppServices::showMainControlsEnabled(bool on)
{
    if (!on) {
        parking_percentage.enable(false);
        INITIAL_LOAD_ONLY.enable(false);
        PARK_FAKE.enable(false);
        PARK_SOFT.enable(false);
        MAX_PARK_SEL.enable(false);
        MAX_LIVE_SEL.enable(false);
        RT_PARKTRAFFIC_ONLY.enable(false);
        MAX_FIT_FL.enable(false);
        WEEK.enable(false);
        FLUSH_STATIC.enable(false);
        RE_READ.enable(false);
        clearMessage();
        invalidateMainWindow();
        return;
    }
    mainCycle().minutesToRenewal = 19;
    invalidateMainWindow();
    MAX_PARK_SEL.enable(true);
    MAX_LIVE_SEL.enable(true);
    RT_PARKTRAFFIC_ONLY.enable(true);
    refreshParkingControls();
    FLUSH_STATIC.enable(true);
    RE_READ.enable(true);
    clearMessage();
    invalidateMainWindow();
}

void enableTimeShiftControls(bool enable)
{
    TIME_SHIFT_DAYS.enable(enable);
    TIME_SHIFT_HOURS.enable(enable);
    TIME_SHIFT_MINS.enable(enable);
    SIM_TIME.enable(enable);
    KEEP_SIM_TIME_PAR.enable(enable);
    // Their labels follow (grey while disabled).
    if (mainWindow().timeShiftControlsEnabled.exchange(enable) != enable) invalidateMainWindow();
}

std::int32_t autoRangeForDistance(double d)
{
    if (d <= 7.0) return 10;
    if (d < 37.0) return snapRangeChoice(static_cast<std::int32_t>(std::lround(d)) + 3);
    return 40;
}

void applyAutoRange()
{
    MainCycleCallees& c = mainCycleCallees();
    const UserAcState u = mainCycle().userState;
    std::int32_t nm = 0;
    if (c.userOnGround()) {
        nm = 10;
    } else if (u.altitude > AR_ABOVE_HEIGHT.get()) {
        nm = 100;
    } else if (u.altAboveGround > AIRP_HEIGHT.get()) {  // "Height above gnd:", as the park-airport step
        nm = 40;
    } else {
        const ParkAirportInfo park = airportServices().parkAirport();
        const double d = park.code.empty() ? 10000.0 : distanceNm({u.latitude, u.longitude}, {park.lat, park.lon});
        nm = autoRangeForDistance(d);
    }
    const std::int32_t before = RANGE.get();
    setRangeNm(nm);
    if (RANGE.get() != before) {
        showIntParameterText(RANGE);
        c.updateQueryBox();
    }
}

void refreshParkingControls()
{
    const bool on = !RT_PARKTRAFFIC_ONLY.get();
    parking_percentage.enable(on);
    MAX_FIT_FL.enable(on);
    INITIAL_LOAD_ONLY.enable(on);
    PARK_SOFT.enable(on);
    PARK_FAKE.enable(on);
    WEEK.enable(on);
    if (on) {
        showIntParameterText(parking_percentage);
        showFloatParameterText(MAX_FIT_FL);
    } else {
        clearItemText(parking_percentage);
        clearItemText(MAX_FIT_FL);
    }
    invalidateMainWindow();
}

void splitTimeShift(std::int32_t minutes)
{
    const std::int32_t days = minutes / 1440;
    const std::int32_t hours = (minutes - days * 1440) / 60;
    const std::pair<EditParameter*, std::int32_t> parts[] = {
        {&TIME_SHIFT_DAYS, days}, {&TIME_SHIFT_HOURS, hours}, {&TIME_SHIFT_MINS, minutes % 60}};
    for (const auto& [record, value] : parts) {
        record->set(record->clamped(value));
        saveIntParameter(record);
        showIntParameterText(*record);
    }
}

void applyTimeShift(std::int32_t minutes, bool quiet)
{
    timeShiftActive = minutes > 0;
    if (minutes > 40320) {
        minutes = 40320;
        logLine("Time shifting is limited to 4 weeks");
    }
    splitTimeShift(minutes);
    mainCycleCallees().setTimeOffsets(minutes);
    if (minutes > 0) {
        if (quiet) return;
        showMessage(vr::format("Time shifted {} minute{}", minutes, minutes == 1 ? "" : "s"), true);
    } else {
        showMessage("Time shift = 0", true);
        clearItemText(TIME_SHIFT_DAYS);
        clearItemText(TIME_SHIFT_HOURS);
        clearItemText(TIME_SHIFT_MINS);
        if (quiet) return;
    }
    // The aircraft lists are the worker's: it takes the shown traffic away on its next step.
    mainCycle().request(mainCycle().timeShiftRemovalRequested);
}

void removeShownTraffic()
{
    MainCycleCallees& c = mainCycleCallees();
    for (LiveAc& ac : liveAircraft) {
        if (ac.simState == SimState::active) {
            c.removeAircraftFromSim(ac);
        } else if (ac.simState == SimState::adding2sim && !ac.removeAfterCreate && !ac.removedWhileQueued) {
            if (c.isCreationPending(ac))
                ac.removedWhileQueued = true;
            else
                ac.removeAfterCreate = true;
        }
    }
    std::erase_if(liveAircraft, [](const LiveAc& ac) {
        return ac.simState == SimState::adding2sim && ac.removedWhileQueued;
    });
    c.removeAllStatics();
    mainCycle().renewalRequested = true;
}

void applyDestination(const std::string& ident, const LatLon& position)
{
    DESTINATION.set(ident);
    saveStringParameter(&DESTINATION);
    showStringParameterText(DESTINATION);
    showMessage(vr::format("New destination: {}", ident), true);
    mainCycleCallees().addDestination(ident, position);
    RE_READ.enable(false);
}

void clearItemText(const ParameterControl& control)
{
    if (const ui::Handle h = controlHandle(control)) ui::setWindowText(h, "");
}
