#pragma once
// The worker thread and the start-up of a run: the window starts one worker on
// WM_APP+1, at program start and after every automatic restart. It checks that
// the program runs from its folder, loads and converts the options, makes the
// status folders, reads the aircraft database (once per process) and the
// airport list, finds the simulator, prepares liveries and airports, runs the
// main loop and always ends in the closing down, which posts WM_APP+1 or
// WM_APP+2 as its last act.
//
// Threads: the worker thread only, except restartPending, which the window's
// handlers read. One worker runs at a time.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>

// Set by the closing down before an automatic restart: the next start skips the update check.
extern std::atomic<bool> restartPending;

void workerThread();
// Runs `body` with the worker's exception handlers: a user error shows its text
// and sets reason 7; a format error, out of memory or any other standard
// exception shows its text and ends the run with reason 7 (delay 0); anything
// else shows "Unknown exception" and ends the run with reason 7. Every handler
// sets the closing flag, so the SimClient thread and the readers stop too.
void runWithExceptionLadder(const std::function<void()>& body);
void startupInit();
void handleVersionUpdate();
// The MAX_PARK_SEL / MAX_LIVE_SEL choice of a legacy count.
std::int32_t snapSelectionCount(std::int32_t v);
// The AIRP_RANGE choice of a legacy airport range.
std::int32_t snapAirportRange(std::int32_t nm);
std::int32_t snapAirportHeight(std::int32_t feet);
void createStatusFolders();
void checkStockScenery();
void detectP3DInstallPath();
void applySimTimeState();
void enableStartupControls();
// The update check of the data files (shell/update_check.h).
void checkForUpdates();
// The aircraft database is read once per process; forget that (tests).
void resetDbaseReadOnce();
