#pragma once
// The traffic engine running as the program will run it, on the pieces that
// exist so far: the simulator layer (SimClient thread) connected to a simulator,
// the traffic reader thread logged in at a live-traffic service, and the engine
// ticking every 10 ms on the calling thread. The scene's types and airport stand
// in for the liveries and airports (scene_services.h). Every few seconds one
// line counts the live aircraft by state.
//
// vrmt-enginedemo runs it beside vrmt-simstandin and vrmt-servicestandin; the
// end-to-end test runs it against both stand-ins in its own process, on a
// scaled clock, and sends the simulator's frames from the hooks.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "core/airport_services.h"

struct EngineDemoOptions {
    std::string serviceUrl = "http://127.0.0.1:8080";
    ParkAirportInfo airport{"EHAM", "AMS", 52.3086, 4.7639, -11.0};
    double seconds = 60;              // how long the engine runs (clock seconds)
    double answerSeconds = 10;        // how long to wait for the simulator, and for the first traffic
    double statusEverySeconds = 5;    // the counts line
    int maxLiveSel = -1;              // MAX_LIVE_SEL for the run; -1 keeps the option's value
    std::filesystem::path logFolder;  // Log.txt goes here (empty: the current folder)
    // Ends the run early when set (a signal handler, a test).
    const std::atomic<bool>* stop = nullptr;
    // One line of output (default: stdout).
    std::function<void(const std::string&)> print;
    // Called after every engine tick with the tick count (a test sends frames here).
    std::function<void(std::int64_t tick)> afterTick;
};

// What a run saw: counts taken at the status lines and at the end.
struct EngineDemoSummary {
    int exitCode = 0;
    std::int64_t ticks = 0;
    std::uint32_t mostActive = 0;   // the most live aircraft active at once
    std::uint32_t mostInSim = 0;    // ... in adding2sim or active
    std::uint64_t batches = 0;      // traffic batches handed to the engine
    bool flightPlanFolderGone = false;
};

// 0: ran its time; 1: the simulator or the service did not answer (one line says which).
EngineDemoSummary runEngineDemo(const EngineDemoOptions& options);
