#include "core/app_services.h"

#include <limits>
#include <mutex>

#include "core/fmt.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "core/startup_globals.h"
#include "core/time.h"

namespace {

std::atomic<bool> lf_mainControlsDisabled{false};

// The message line without a window: the texts are kept, the log gets what the
// window would log.
class HeadlessAppServices final : public AppServices {
public:
    void showMessage(const std::string& text, bool log) override
    {
        {
            std::lock_guard lock(mutex_);
            if (!error_.empty()) return;
            message_ = text;
        }
        if (log && !text.empty()) logLineIfRunning(text);
    }
    void clearMessage() override
    {
        std::lock_guard lock(mutex_);
        message_.clear();
    }
    void showError(const std::string& text) override
    {
        {
            std::lock_guard lock(mutex_);
            error_ = text;
            message_.clear();
        }
        logLineIfRunning(vr::format("Error {}", text));
    }
    void repaintStatusPanel() override {}
    void handleVersionUpdate() override {}
    // No download site without the shell.
    bool downloadToFile(const std::string&, const std::filesystem::path&, bool) override { return false; }
    std::string downloadFolderUrl() override { return {}; }

    void reset()
    {
        std::lock_guard lock(mutex_);
        message_.clear();
        error_.clear();
    }

private:
    std::mutex mutex_;
    std::string message_;
    std::string error_;
};

HeadlessAppServices& lf_headless()
{
    static HeadlessAppServices& h = *new HeadlessAppServices;  // never destroyed
    return h;
}

std::atomic<AppServices*> lf_services{nullptr};

}  // namespace

void setAppServices(AppServices* services) { lf_services.store(services, std::memory_order_release); }

AppServices& appServices()
{
    AppServices* s = lf_services.load(std::memory_order_acquire);
    return s ? *s : lf_headless();
}

void resetAppServices()
{
    setAppServices(nullptr);
    lf_headless().reset();
    lf_mainControlsDisabled.store(false);
}

void showMessage(const std::string& text, bool log) { appServices().showMessage(text, log); }
void clearMessage() { appServices().clearMessage(); }
void showError(const std::string& text) { appServices().showError(text); }
void repaintStatusPanel() { appServices().repaintStatusPanel(); }
bool downloadToFile(const std::string& url, const std::filesystem::path& path, bool raw)
{
    return appServices().downloadToFile(url, path, raw);
}
DownloadResult downloadFile(const std::string& url, const std::filesystem::path& path, bool raw)
{
    return appServices().downloadFile(url, path, raw);
}
std::string downloadFolderUrl() { return appServices().downloadFolderUrl(); }

void disableMainControls()
{
    lf_mainControlsDisabled.store(true);
    appServices().showMainControlsEnabled(false);
}

void enableMainControls()
{
    lf_mainControlsDisabled.store(false);
    appServices().showMainControlsEnabled(true);
}

bool mainControlsDisabled() { return lf_mainControlsDisabled.load(); }

void reportStoppedWithError(const std::string& name, bool restart)
{
    showMessage(vr::format("The {} has stopped with an error", name), true);
    if (restart)
        requestClosing(ClosingReason::ReaderError, 15);
    else
        requestClosing(ClosingReason::SystemError, 0);
}

void reportSimDisconnected()
{
    if (closingFlag.load()) return;
    logLine(vr::format("{} Flight Simulator no longer connected, {} will stop ...", timeOfDay(), "VRMT_P3D"));
    requestClosing(ClosingReason::SimWasClosed, 0);
}

std::int32_t setRangeNm(std::int32_t nm)
{
    RANGE.set(RANGE.clamped(nm));
    if (RANGE.choiceIndex(RANGE.get()) >= 0) showIntParameterText(RANGE);
    rangeNm.store(nm, std::memory_order_relaxed);
    // In 64 bits: a huge nm must not overflow; the metres saturate instead.
    const std::int64_t metres = std::int64_t{nm} * 1852 + 10000;
    const std::int32_t result = static_cast<std::int32_t>(
        std::min<std::int64_t>(std::max<std::int64_t>(metres, std::numeric_limits<std::int32_t>::min()),
                               std::numeric_limits<std::int32_t>::max()));
    rangeMetres.store(result, std::memory_order_relaxed);
    return result;
}

std::int32_t snapRangeChoice(std::int32_t nm)
{
    struct Band {
        std::int32_t upTo;
        std::int32_t choice;
    };
    static constexpr Band bands[] = {{8, 8},   {10, 10}, {12, 12}, {14, 14}, {16, 16}, {18, 18},
                                     {22, 20}, {27, 25}, {32, 30}, {37, 35}, {44, 40}, {56, 50},
                                     {72, 65}, {89, 80}};
    if (nm < 3) return 2;
    if (nm <= 6) return nm;
    for (const Band& b : bands)
        if (nm <= b.upTo) return b.choice;
    return 100;
}

void initParameters()
{
    const ParameterLists& l = storedParameterLists();
    loadParameters(l.plainBools, l.checkboxes, l.ints, l.controlInts, l.strings, l.controlStrings);
    appServices().handleVersionUpdate();
    setRangeNm(RANGE.get());
}

void StatusPanel::reset()
{
    simConnected = false;
    simRunning = false;
    userAircraftKnown = false;
    simLabel.set("");
    userAcTitle.set("");
    standText.set("");
    trafficLamp = 3;
    weatherLamp = 3;
    qnh = 0;
    tbloCount = 0;
    orbxDone = false;
    liveCount = 0;
    liveParkedCount = 0;
    staticsInSlot = 0;
    standCount = 0;
    standUpdates = 0;
    wantedStands = 0;
    wantedPercentage = 0;
    averageStaticAgeHours = -1.0f;
    meanLiveParkedSlots = -1.0f;
    liveriesCount = 0;
    airportPublisher.set("");
    airportHandmade = false;
    airportQuality.set("");
    airportNameLine.set("");
    airportLoaded = false;
    reservedStandSet = false;
    softPositionsUsed = false;
    realFitWindow = 0;
    softFitWindow = -1;
    hourlyParking = false;
    weekNumber = 0;
}

StatusPanel& statusPanel()
{
    static StatusPanel& panel = *new StatusPanel;  // never destroyed
    return panel;
}
