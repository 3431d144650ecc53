#pragma once
// What core, the simulator link, the live-traffic client and the traffic engine
// use of the application shell: the message line, the status panel, the reports
// that end a run, and the option helpers that are not window work.
//
// The window-dependent part is the AppServices interface, which the shell
// installs. Until it does (and in tests that install nothing) a headless message
// line stands in: it keeps the texts and logs as the real one does.
// The closing state itself (closingFlag, ClosingReason, ...) is core/run_state.h.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/options.h"

// How a download ended.
enum class DownloadResult {
    done,       // the file is in place
    notOnSite,  // the site answered that it has no such file (HTTP 404): an answer, not a fault
    failed,     // no site, not reached, cut, refused otherwise, or the file could not be written
};

class AppServices {
public:
    virtual ~AppServices() = default;
    // Every call may come from any thread and must never block on the UI thread
    // (showMessage is called with the simulator queue lock held).

    // Shows `text` on the message line in place of the previous one; with `log`
    // and a non-empty text also writes it through logLineIfRunning. Nothing while
    // an error text stands.
    virtual void showMessage(const std::string& text, bool log) = 0;
    // Shows the empty text, without logging.
    virtual void clearMessage() = 0;
    // Makes `text` the standing error of the message line (the message is
    // cleared), logs "Error {}" and repaints.
    virtual void showError(const std::string& text) = 0;
    // Invalidates the status panel so it is painted again from statusPanel().
    virtual void repaintStatusPanel() = 0;
    // Carries the options of an older program version over (right after loadParameters).
    virtual void handleVersionUpdate() = 0;
    // Downloads the URL into `path` (raw: bytes as they come; else text mode).
    // True when the transfer completed; the file at `path` appears (or is
    // replaced) only then, so a failed transfer leaves no partial file and the
    // old one in place. May run on any thread; blocks for the transfer.
    virtual bool downloadToFile(const std::string& url, const std::filesystem::path& path, bool raw) = 0;
    // The same download, saying how it ended. An implementation that cannot
    // tell a missing file from a fault answers done or failed.
    virtual DownloadResult downloadFile(const std::string& url, const std::filesystem::path& path, bool raw)
    {
        return downloadToFile(url, path, raw) ? DownloadResult::done : DownloadResult::failed;
    }
    // The download site's folder of archived data files (ends in "/"); empty when
    // there is no download site (then every download fails).
    virtual std::string downloadFolderUrl() = 0;
    // The main controls (the options a long operation reads) are disabled while
    // it runs (on = false) and enabled again afterwards. The busy flag itself is
    // core's (mainControlsDisabled); this only shows it.
    virtual void showMainControlsEnabled(bool /*on*/) {}
    // The parking controls are enabled, disabled and filled by the options
    // (RT_PARKTRAFFIC_ONLY, the target percentage, Max fit).
    virtual void refreshParkingControls() {}
};

// Installs the shell's implementation (not owned; it must outlive its use).
// nullptr: the headless message line.
void setAppServices(AppServices* services);
AppServices& appServices();
// Uninstalls the shell's implementation and clears the headless message line (tests).
void resetAppServices();

// Shorthands that call the installed implementation.
void showMessage(const std::string& text, bool log = false);
void clearMessage();
void showError(const std::string& text);
void repaintStatusPanel();
bool downloadToFile(const std::string& url, const std::filesystem::path& path, bool raw);
DownloadResult downloadFile(const std::string& url, const std::filesystem::path& path, bool raw);
std::string downloadFolderUrl();

// The busy state of the main window: disableMainControls sets the flag and
// disables the main controls, enableMainControls clears it and enables them.
// The flag is read by any thread (an option handler refuses changes while it
// is set; the park-airport step ends it when the static parking is done).
void disableMainControls();
void enableMainControls();
bool mainControlsDisabled();

// Shows and logs "The {} has stopped with an error" with `name` ("Traffic
// Reader", "Weather Reader"); then ends the run unless it is ending already:
// reason 6 (READER ERROR) with a 15 s restart when `restart`, else reason 7 with 0.
void reportStoppedWithError(const std::string& name, bool restart);
// Unless the run is ending already: logs "{} Flight Simulator no longer
// connected, {} will stop ..." (time of day, VRMT_P3D) and ends the run with
// reason 1 (SIM WAS CLOSED), delay 0.
void reportSimDisconnected();

// RANGE = nm clamped to its range, selected in its list when it is a choice;
// rangeNm = nm and rangeMetres = nm x 1852 + 10000 (both from nm unclamped).
// Returns the metres.
std::int32_t setRangeNm(std::int32_t nm);
// The RANGE choice for a range in nautical miles: below 3 gives 2, 3..6 stay,
// then the nearest choice by fixed bands (7..8: 8, 19..22: 20, 23..27: 25,
// 73..89: 80, from 90: 100).
std::int32_t snapRangeChoice(std::int32_t nm);

// The start-up of the options store, on the worker thread before any option is
// read: loadParameters with the stored-option lists, the shell's
// handleVersionUpdate, then setRangeNm with RANGE.
void initParameters();

// The status panel's values: written by every subsystem (each write followed by
// repaintStatusPanel()), read by the window's painting.
struct StatusPanel {
    std::atomic<bool> simConnected{false};
    std::atomic<bool> simRunning{false};
    std::atomic<bool> userAircraftKnown{false};
    SharedText simLabel;     // "{} ({}.{}.{}.{})" of the connected simulator
    SharedText userAcTitle;  // the user aircraft's title
    SharedText standText;    // the stand at the user position
    // Lamps: 1 data flows, 2 waiting, 3 stopped by an error.
    std::atomic<std::int32_t> trafficLamp{3};
    std::atomic<std::int32_t> weatherLamp{3};
    std::atomic<std::int32_t> qnh{0};  // hPa; 0 until the weather reader stored one
    std::atomic<std::int32_t> tbloCount{0};  // files waiting in TBLO for offline learning
    std::atomic<bool> orbxDone{false};       // every generated my_ORBX airport handled by the airport scan
    std::atomic<std::int32_t> liveCount{0};        // active live aircraft not parked
    std::atomic<std::int32_t> liveParkedCount{0};  // live aircraft parked
    std::atomic<std::int32_t> staticsInSlot{0};
    std::atomic<std::int32_t> standCount{0};
    std::atomic<std::int32_t> standUpdates{0};  // stand radius changes
    std::atomic<std::int32_t> wantedStands{0};
    std::atomic<std::int32_t> wantedPercentage{0};
    std::atomic<float> averageStaticAgeHours{-1.0f};
    std::atomic<float> meanLiveParkedSlots{-1.0f};
    std::atomic<std::int32_t> liveriesCount{0};  // installed liveries known (scanned or read)
    SharedText airportPublisher;              // the park airport file's publisher
    std::atomic<bool> airportHandmade{false};  // its learned file is handmade
    SharedText airportQuality;                // "{:2}/{:2}" quality factors, or one, or blanks
    // The static parking's lines: the park airport's name line (empty: none),
    // its loaded state, the reserved-stand and soft-positions-used indicators,
    // and the last fit window of the real and the soft pass (-1: no soft pass).
    SharedText airportNameLine;
    std::atomic<bool> airportLoaded{false};
    std::atomic<bool> reservedStandSet{false};
    std::atomic<bool> softPositionsUsed{false};
    std::atomic<std::int32_t> realFitWindow{0};
    std::atomic<std::int32_t> softFitWindow{-1};
    // The parking band's hourly mark and week number.
    std::atomic<bool> hourlyParking{false};   // the stand file holds hourly options
    std::atomic<std::int32_t> weekNumber{0};  // ISO week of the parking

    // Every value back to its start value.
    void reset();
};
StatusPanel& statusPanel();
