#pragma once
// The main window's own state and the work the worker asks of the window: the
// message line (the shell's AppServices), the busy state while static parking
// works, the parking counters, the time-shift and destination options.
//
// Threads: the message line is called from every thread and guarded by its own
// mutex (a leaf of the lock order). The other fields are atomics, written by the
// worker and read by the window's painting. What the other subsystems write for
// the panel is core's StatusPanel. A restart clears it all (resetForRestart).

#include <atomic>
#include <cstdint>
#include <mutex>
#include <set>
#include <string>

#include "core/app_services.h"
#include "core/geodesy.h"
#include "platform/ui.h"

// The program id: the window title, the window class and the name in messages.
inline constexpr const char* programId = "VRMT_P3D";
inline constexpr std::uint32_t WM_APP_START_WORKER = ui::WM_APP + 1;
inline constexpr std::uint32_t WM_APP_SAVE_AND_QUIT = ui::WM_APP + 2;

struct MainWindowState {
    std::atomic<ui::Handle> window{0};
    // Set by the restart's reset, cleared when the new run reaches the simulator.
    std::atomic<bool> restartMark{false};
    // The time-shift controls are enabled (enableTimeShiftControls); their labels are grey while not.
    std::atomic<bool> timeShiftControlsEnabled{false};
    std::atomic<std::int32_t> myOrbxCount{0};
    std::atomic<std::int32_t> myThirdpartyCount{0};
    std::atomic<std::int32_t> shownLiveCount{0};
    std::atomic<std::int32_t> shownStaticsInSlot{-1};
    std::atomic<std::uint64_t> shownLiveParked{~std::uint64_t{0}};
    std::atomic<bool> loggedIn{false};

    // The message line.
    std::string message() const;
    std::string error() const;
    // What the message line shows: "Error " and the error text while one is set, else the message.
    std::string shownMessage() const;
    std::int32_t messageMoment() const;
    void setMessage(const std::string& text, std::int32_t moment);
    void setError(const std::string& text);
    void clearError();

    void resetForRestart();

private:
    mutable std::mutex mutex_;
    std::string message_;
    std::string error_;
    std::int32_t moment_ = 0;
};
MainWindowState& mainWindow();

// The message line and the window work of the other subsystems, as the shell does it.
class ShellAppServices final : public AppServices {
public:
    void showMessage(const std::string& text, bool log) override;
    void clearMessage() override;
    void showError(const std::string& text) override;
    void repaintStatusPanel() override;
    void handleVersionUpdate() override;
    // A file the site said it does not have (HTTP 404) is not asked for again
    // in this run: the stand loader asks for a park airport's file every 16 s.
    bool downloadToFile(const std::string& url, const std::filesystem::path& path, bool raw) override;
    DownloadResult downloadFile(const std::string& url, const std::filesystem::path& path, bool raw) override;
    std::string downloadFolderUrl() override;
    // The busy state's controls: the parking options off while static parking works.
    void showMainControlsEnabled(bool on) override;
    void refreshParkingControls() override;
    // A new run asks the site again (resetSession).
    void forgetMissingDownloads();

private:
    std::mutex missingMutex_;
    std::set<std::string> missing_;  // URLs answered with 404 in this run
};
ShellAppServices& shellAppServices();

// Once a second: advances the seconds counter and clears a message shown 25 or more seconds ago.
void advanceMessageClock();
// Repaints the window (any thread; nothing without a window).
void invalidateMainWindow();

// Waits (up to 150 x 100 ms, leaving on a stop flag) while the traffic reader
// has received no record; still none: logs "No traffic in this region?".
void reportNoTraffic();
void refreshParkingCounters();
void enableTimeShiftControls(bool enable);
// RANGE from the user aircraft's height and its distance to the park airport.
void applyAutoRange();
// The RANGE choice for a distance to the park airport (nm), in the air below AIRP_HEIGHT.
std::int32_t autoRangeForDistance(double distanceNm);
void refreshParkingControls();
void splitTimeShift(std::int32_t minutes);
void applyTimeShift(std::int32_t minutes, bool quiet);
// The traffic taken away for a new time (worker): live aircraft removed or
// withdrawn, statics removed, a renewal requested.
void removeShownTraffic();
void applyDestination(const std::string& ident, const LatLon& position);
// Empties the text of an option's control (nothing while it has none).
void clearItemText(const ParameterControl& control);
// The control handle an option record keeps, as the window facade's handle.
inline ui::Handle controlHandle(const ParameterControl& control)
{
    return reinterpret_cast<ui::Handle>(control.window());
}
