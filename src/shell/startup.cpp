#include "shell/startup.h"

#include <fmt/format.h>

#include <mutex>
#include <new>
#include <thread>

#include "airports/airport_scan.h"
#include "core/app_services.h"
#include "core/errors.h"
#include "core/fmt.h"
#include "core/install_lookup.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "core/task_slots.h"
#include "core/text_convert.h"
#include "core/time.h"
#include "platform/clock.h"
#include "platform/fs_path.h"
#include "platform/ui.h"
#include "shell/closing.h"
#include "shell/main_cycle.h"
#include "shell/main_window.h"

namespace fs = std::filesystem;

std::atomic<bool> restartPending{false};

namespace {

std::atomic<bool> lf_dbaseRead{false};

std::string lf_notFromFolderText() { return vr::format("{} must be run from the {} folder!", programId, programId); }

bool lf_isDirectory(const fs::path& p)
{
    std::error_code ec;
    const fs::file_status st = fs::status(p, ec);
    if (ec && ec != std::errc::no_such_file_or_directory) throw fs::filesystem_error("status", p, ec);
    return fs::is_directory(st);
}

void lf_removeIfExists(const fs::path& p)
{
    std::error_code ec;
    if (fs::exists(p, ec) && !fs::remove(p, ec) && ec) throw fs::filesystem_error("remove", p, ec);
}

void lf_setCheckbox(CheckboxParameter& record, bool value)
{
    record.set(value);
    saveBoolParameter(&record);
    showCheckboxState(record);
}

void lf_convert(IntParameter& legacy, IntParameter& target, std::int32_t value)
{
    target.set(target.clamped(value));
    saveIntParameter(&target);
    removeParameter(&legacy);
}

std::int32_t lf_entryCount(const fs::path& folder)
{
    std::error_code ec;
    std::int32_t n = 0;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) ++n;
    return n;
}

// The ladder's stop: reason 7 with no delay, and the closing flag.
void lf_systemStop()
{
    if (!closingFlag.load()) requestClosing(ClosingReason::SystemError, 0);
}

}  // namespace


void resetDbaseReadOnce() { lf_dbaseRead = false; }

std::int32_t snapSelectionCount(std::int32_t v)
{
    if (v < 0 || v >= 300) return 500;
    if (v == 0) return 0;
    if (v <= 17) return 10;
    if (v <= 37) return 25;
    if (v <= 62) return 50;
    if (v <= 87) return 75;
    return 100;
}

std::int32_t snapAirportRange(std::int32_t nm)
{
    if (nm < 8) return 5;
    if (nm <= 12) return 10;
    if (nm <= 17) return 15;
    if (nm <= 22) return 20;
    if (nm <= 26) return 25;
    return 30;
}

std::int32_t snapAirportHeight(std::int32_t feet)
{
    static constexpr std::pair<std::int32_t, std::int32_t> bands[] = {
        {3000, 2000},   {5000, 4000},   {7000, 6000},   {9000, 8000},   {11000, 10000}, {13000, 12000},
        {15000, 14000}, {17000, 16000}, {27000, 18000}, {47000, 36000}};
    for (const auto& [below, choice] : bands)
        if (feet < below) return choice;
    return 48000;
}

void handleVersionUpdate()
{
    const std::string stored = PROGRAM_VERSION.get();
    if (stored.empty()) {
        setStringParameter(&PROGRAM_VERSION, versionToString(programVersion));
        return;
    }
    const VersionNumber v = parseVersion(stored);
    if (v != programVersion) setStringParameter(&PROGRAM_VERSION, versionToString(programVersion));
    if (!(v < programVersion)) return;
    logLine(vr::format("This is a version update from {} -> {}", versionToString(v), versionToString(programVersion)));
    if (v != VersionNumber{11, 0, 2}) {
        lf_convert(CUSTOM_MAX_PARK, MAX_PARK_SEL, snapSelectionCount(CUSTOM_MAX_PARK.get()));
        lf_convert(MAX_LIVE, MAX_LIVE_SEL, snapSelectionCount(MAX_LIVE.get()));
        lf_convert(LATERAL_RANGE, RANGE, snapRangeChoice(LATERAL_RANGE.get()));
        lf_convert(AIRPORT_RANGE, AIRP_RANGE, snapAirportRange(AIRPORT_RANGE.get()));
        lf_convert(AUTO_RANGE_ABOVE_HEIGHT, AR_ABOVE_HEIGHT, snapAirportHeight(AUTO_RANGE_ABOVE_HEIGHT.get()));
        lf_convert(AIRPORT_HEIGHT, AIRP_HEIGHT, snapAirportHeight(AIRPORT_HEIGHT.get()));
    }
    std::error_code ec;
    if (fs::exists(installerFileName, ec) && !fs::remove(installerFileName, ec) && ec)
        logLine(vr::format("Failed to remove {}: {}", installerFileName.string(), ec.message()));
    lf_setCheckbox(SCAN_LIVERIES, true);
    lf_setCheckbox(SCAN_AIRPORTS, true);
}

void createStatusFolders()
{
    const fs::path* folders[] = {&outputFolder,         &outputInfoFolder,        &outputErrorsFolder,
                                 &airportsFolder,       &learnedFolder,           &learnedStockFolder,
                                 &learnedSimaddonFolder, &learnedThirdpartyFolder, &myOrbxFolder,
                                 &myThirdpartyFolder,   &myRegcodesFolder};
    int i = 0;
    for (const fs::path* folder : folders) {
        if (!lf_isDirectory(*folder)) {
            std::error_code ec;
            fs::create_directories(*folder, ec);
            if (ec) throw fs::filesystem_error("create_directories", *folder, ec);
        }
        if (++i == 3) lf_removeIfExists(inputFolder / "AIG-regcodes0.xml");
    }
    lf_removeIfExists(inputFolder / "AIG-regcodes00.xml");
}

void checkStockScenery()
{
    const fs::path path = stockAirportsPath();
    std::error_code ec;
    if (!fs::exists(path, ec)) showMessage(vr::format("Stock airports path does not exist: {}", path.string()), true);
}

void detectP3DInstallPath()
{
    const bool v5 = isP3DInstalled(5);
    const bool v6 = isP3DInstalled(6);
    static const std::string noPath = "No P3D install path detected, type full Install Path above, and press Enter";
    if (v5 && v6)
        throw qxv::UserErrorException(
            153, "More than one P3D version detected, type full Install Path to wanted version above and press Enter");
    if (!v5 && !v6) {
        showMessage("P3D not detected?", true);
        for (const StringParameter* f : lfolder)
            if (!f->empty()) return;
        for (const StringParameter* f : afolder)
            if (!f->empty()) return;
        ALL_INSTALL_PATH.set("");
        showStringParameterText(ALL_INSTALL_PATH);
        throw qxv::UserErrorException(151, noPath);
    }
    const int version = v5 ? 5 : 6;
    logLine(vr::format("detected P3Dv{}", version));
    const fs::path setup = getP3DSetupPath(version);
    if (setup.empty()) {
        ALL_INSTALL_PATH.set("");
        showStringParameterText(ALL_INSTALL_PATH);
        throw qxv::UserErrorException(151, noPath);
    }
    const std::string text = setup.string();
    ALL_INSTALL_PATH.set(text);
    showStringParameterText(ALL_INSTALL_PATH);
    setStringParameter(&SIM_INSTALL_PATH, text);
}

void applySimTimeState()
{
    MainCycleState& s = mainCycle();
    if (!SIM_TIME.get()) {
        for (EditParameter* p : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) {
            p->set(0);
            saveIntParameter(p);
            showIntParameterText(*p);
        }
        applyTimeShift(0, false);
        s.lastSimTimeSeconds = mainCycleCallees().simUtcEpoch();
    } else {
        s.lastSimTimeSeconds = 0;
    }
    const bool edits = !SIM_TIME.get();
    TIME_SHIFT_DAYS.enable(edits);
    TIME_SHIFT_HOURS.enable(edits);
    TIME_SHIFT_MINS.enable(edits);
}

void enableStartupControls()
{
    for (Parameter* p : allOptionRecords())
        if (const auto* control = dynamic_cast<const ParameterControl*>(p)) control->enable(true);
    RANGE.enable(!AUTO_RANGE.get());
    AR_ABOVE_HEIGHT.enable(AUTO_RANGE.get());
    UNBLOCK.enable(!BLOCK_CALLSIGN.empty());
    DESTINATION.enable(false);
    RE_READ.enable(false);
    LEARN_SOFT.enable(false);
    FLUSH_STATIC.enable(false);
    parking_percentage.set(30);
    parking_percentage.enable(false);
    clearItemText(parking_percentage);
    MAX_FIT_FL.set(static_cast<float>(MAX_FIT.get()) * 0.5f + 0.5f);
    MAX_FIT_FL.enable(false);
    clearItemText(MAX_FIT_FL);
    for (ComboParameter* combo :
         {&RANGE, &MAX_LIVE_SEL, &MAX_PARK_SEL, &MATCHING_DEPTH, &AR_ABOVE_HEIGHT, &AIRP_RANGE, &AIRP_HEIGHT})
        combo->fillControl();
    refreshParkingControls();
}

void startupInit()
{
    MainCycleCallees& c = mainCycleCallees();
    initParameters();
    createStatusFolders();
    c.setMaxLiveForParking(MAX_LIVE_SEL.get());
    if (!restartPending.load()) checkForUpdates();
    enableStartupControls();
    KEEP_SIM_TIME_PAR.enable(true);
    if (SIM_TIME.get()) {
        applySimTimeState();
    } else if (TIME_SHIFT_DAYS.get() != TIME_SHIFT_DAYS.defaultValue() ||
               TIME_SHIFT_HOURS.get() != TIME_SHIFT_HOURS.defaultValue() ||
               TIME_SHIFT_MINS.get() != TIME_SHIFT_MINS.defaultValue()) {
        applyTimeShift((TIME_SHIFT_HOURS.get() + TIME_SHIFT_DAYS.get() * 24) * 60 + TIME_SHIFT_MINS.get(), true);
    } else {
        clearItemText(TIME_SHIFT_DAYS);
        clearItemText(TIME_SHIFT_HOURS);
        clearItemText(TIME_SHIFT_MINS);
    }
    enableTimeShiftControls(true);
    std::error_code ec;
    setStringParameter(&PROGRAM_INSTALL_PATH, fs::current_path(ec).string());
    currentSlotAndWeekday.store(slotAndWeekday());
    if (!lf_dbaseRead.exchange(true)) c.readDbase();
    c.readAirports(airportListFileName);
    ALL_INSTALL_PATH.set(SIM_INSTALL_PATH.get());
    ALL_INSTALL_PATH.enable(true);
    showStringParameterText(ALL_INSTALL_PATH);
    if (ALL_INSTALL_PATH.empty()) detectP3DInstallPath();
    repaintStatusPanel();
}

void runWithExceptionLadder(const std::function<void()>& body)
{
    try {
        body();
    } catch (const qxv::UserErrorException& e) {
        showError(e.what());
        setClosingReason(ClosingReason::SystemError, 0);
        closingFlag = true;
        notifyStop();
    } catch (const fmt::format_error& e) {
        showError(vr::format("std::format error: {}", e.what()));
        showError(e.what());
        lf_systemStop();
    } catch (const std::bad_alloc& e) {
        showError(e.what());
        lf_systemStop();
    } catch (const std::exception& e) {
        showError(e.what());
        lf_systemStop();
    } catch (...) {
        showError("Unknown exception");
        setClosingReason(ClosingReason::SystemError, 0);
        closingFlag = true;
        notifyStop();
    }
}

void workerThread()
{
    runWithExceptionLadder([] {
        MainCycleCallees& c = mainCycleCallees();
        if (!lf_isDirectory(docsFolder)) throw qxv::UserErrorException(41, lf_notFromFolderText());
        startupInit();
        const std::int64_t elapsed = wallClockSeconds() - LAST_EPOCH_TIME.get();
        checkStockScenery();
        resetTaskSlots(std::thread::hardware_concurrency());
        std::error_code ec;
        if (!fs::exists(liveriesScannedPath, ec) && !SCAN_LIVERIES.get()) {
            showMessage(vr::format("File {} is gone, rescan liveries", liveriesScannedPath.string()), true);
            lf_setCheckbox(SCAN_LIVERIES, true);
            repaintStatusPanel();
        }
        c.initLiveries();
        if (stopFlagSet()) return;
        if (SCAN_AIRPORTS.get()) {
            mainWindow().myOrbxCount = 0;
            mainWindow().myThirdpartyCount = 0;
            repaintStatusPanel();
            c.scanAirports();
        }
        if (elapsed < 2) {
            const std::int64_t hold = 2 - elapsed;
            if (hold > 0) {
                showMessage(vr::format("Holding for {} seconds... (RT API cannot be revisited within {} seconds)",
                                       hold, 2),
                            true);
                waitUnlessStopped(hold * 1000, 100, nullptr);
            }
        }
        mainWindow().myThirdpartyCount = lf_entryCount(myThirdpartyFolder);
        mainWindow().myOrbxCount = lf_entryCount(myOrbxFolder);
        repaintStatusPanel();
        if (stopFlagSet()) {
            setClosingReasonIfUnset(ClosingReason::UserClosedSim, 0);
            windowClosedFlag = true;
            closingFlag = true;
            notifyStop();
            return;
        }
        c.createFlightPlanFolder();
        c.readMyParkAirports();
        RE_READ.enable(true);
        if (const std::string destination = DESTINATION.get(); !destination.empty()) {
            if (const auto position = c.findAirport(destination)) applyDestination(destination, *position);
        }
        if (const ui::Handle w = mainWindow().window.load()) ui::setTopmost(w, ALWAYS_ON_TOP.get());
        mainLoop();
    });
    lf_closingDown();
}
