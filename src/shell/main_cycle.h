#pragma once
// The main cycle: mainLoop brings one run up (engine containers, the SimClient
// thread, the user aircraft, the login, the two readers, the first traffic) and
// hands over to tickLoop, which calls tickStep every 10 ms until a stop flag
// ends the run. tickStep drives the engine every tick and, once per simulator
// second, flightRunningStep and the slower cadences (15, 16, 30, 60, 61, 1200
// and 86400 seconds).
//
// While the flight runs and the engine has nothing to do (engine/quiet_ticks.h)
// the loop sleeps through the quiet ticks instead: until the next tick with a
// cadence of its own, or until it is woken (core/tick_wake.h) by a simulator
// reply, traffic records, the simulator's new second, a window request or a
// stop. On waking it counts the quiet ticks whose time has passed without
// running them, so the tick count keeps following the clock, and it runs the
// tick of the moment as usual. While anything is live or queued it ticks every
// 10 ms: by its own timer, or, while the simulator's frames come, at each frame
// with every tick due by then run one after the other before the frame's flush
// (the frame wakes it; without a frame it runs them at most 40 ms late).
//
// Threads: everything here runs on the worker thread. The request flags of
// MainCycleState are atomics that any thread (the window's handlers, the
// readers) may set; the worker applies them on its next step. secondCount is
// atomic because the window reads it. The rest is worker only.
//
// Every call into the engine, the simulator link, the readers, the liveries
// and the airports goes through mainCycleCallees(): its defaults are the real
// functions; tests replace entries to record the calls. It is the only place
// in the shell that names them.
// A restart returns the state to a fresh process's with MainCycleState::reset().

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "core/airport_services.h"
#include "core/geodesy.h"
#include "platform/clock.h"
#include "simlink/sim_definitions.h"

struct SimAc;
struct LiveAc;
struct AcIdentity;

struct MainCycleState {
    // Set and cleared by the worker; the window reads it to say that its requests wait.
    std::atomic<bool> flightPaused{false};
    std::int32_t notRunningCountdown = 0;
    std::atomic<std::int32_t> secondCount{0};
    UserAcState userState{};
    double userRadiusNm = 0.0;
    std::atomic<std::int64_t> lastSimTimeSeconds{0};  // also set by the window's SIM_TIME switch
    double lastUserLat = 0.0;
    double lastUserLon = 0.0;
    bool renewalInProgress = false;
    std::atomic<std::int32_t> minutesToRenewal{20};

    // Requests of the window and the readers (any thread).
    std::atomic<bool> flushStaticRequested{false};
    std::atomic<bool> blockCallsignChanged{false};
    std::atomic<bool> parkAirportChanged{false};
    std::atomic<bool> renewalRequested{false};
    std::atomic<bool> parkTrafficOnlyTurnedOn{false};
    // NAV_LIGHTS_WHILE_PARKED changed: the parked aircraft's lights follow it.
    std::atomic<bool> navLightsChanged{false};
    // MAX_LIVE_SEL lowered: the active live aircraft beyond it go, farthest first.
    std::atomic<bool> liveLimitChanged{false};
    // The time shift changed on the window: the shown traffic is taken away.
    std::atomic<bool> timeShiftRemovalRequested{false};
    // AUTO_RANGE switched on: the worker chooses the range from the user aircraft now.
    std::atomic<bool> autoRangeRequested{false};

    // Sets one of the window's request flags. The running step applies them:
    // while the flight is paused the message line says that the change waits.
    void request(std::atomic<bool>& flag);
    // A destination typed on the window (any thread); the worker applies it.
    void requestDestination(const std::string& ident, const LatLon& position);
    std::optional<std::pair<std::string, LatLon>> takeDestination();

    void reset();

private:
    std::mutex destinationMutex_;
    std::optional<std::pair<std::string, LatLon>> destination_;
};
MainCycleState& mainCycle();

struct MainCycleCallees {
    // Traffic engine.
    std::function<void()> reserveEngineContainers;
    std::function<void()> handleAddingStack;
    // Quiet ticks: how many of the next ticks only count, and the sleep through them.
    std::function<std::int32_t()> quietTicks;
    std::function<void(platform::Clock::TimePoint, std::int32_t)> beginQuietSleep;
    std::function<std::int32_t(platform::Clock::TimePoint)> endQuietSleep;
    // Frame pacing (core/tick_wake.h): the simulator's frames come (they pace
    // the busy ticks while the flight runs), the scheduling tick while the loop
    // waits for one, and the hand-over of a frame it took to the flush.
    std::function<bool()> framesPaceTicks;
    std::function<void(platform::Clock::TimePoint, std::int32_t)> beginFrameWait;
    std::function<void()> endFrameWait;
    std::function<void()> serveTakenFrame;
    std::function<void()> processSimReplies;
    std::function<void(bool)> setRunningFlag;
    std::function<void()> removeAllAiObjects;
    std::function<bool()> createFlightPlanFolder;
    std::function<bool()> removeFlightPlanFolder;
    std::function<void(SimAc&)> removeAircraftFromSim;
    std::function<void()> removeAllStatics;
    std::function<void(LiveAc&)> removeStaticsNearLive;
    std::function<void(const std::string&)> removeAtStand;
    std::function<void(std::uint64_t, AcIdentity&)> searchForCoupledCsAroundThisTime;
    std::function<void(LiveAc&, bool)> resolveSameIdentity;
    std::function<std::uint32_t(bool)> countStaticsInSlot;
    std::function<std::uint64_t(bool)> averageLiveParked;
    // Takes the live aircraft's pending creation out of its queue; whether there was one.
    std::function<bool(LiveAc&)> isCreationPending;
    std::function<void()> clearGhostNames;
    // Queues one simulator event for the aircraft's object.
    std::function<void(const SimAc&, std::uint32_t, std::uint32_t)> queueAcEvent;
    // Liveries.
    std::function<void()> reserveLiveryVectors;
    std::function<void()> initLiveries;
    std::function<bool()> readDbase;
    std::function<void()> logNoMatchList;
    std::function<void()> logLiveryMatchSummary;
    std::function<void()> clearRememberedTitles;
    // Airports and static parking.
    std::function<bool(const std::filesystem::path&)> readAirports;
    std::function<std::optional<LatLon>(const std::string&)> findAirport;
    std::function<void()> scanAirports;
    std::function<bool()> airportFileLoaded;
    std::function<bool()> parkAirportHasStands;
    std::function<void(bool)> updateStaticParking;
    std::function<void()> beginFirstStaticParking;
    std::function<void()> finishFirstStaticParking;
    // Fills the text when the reserved stand changed; whether it did.
    std::function<bool(std::string&)> checkReservedStand;
    std::function<void(bool)> adjustParking;
    std::function<void()> removeStaticParked;
    std::function<void()> readMyParkAirports;
    std::function<void(const std::string&, const LatLon&)> addDestination;
    // Statics near the taxiing and parking live aircraft that moved (every one of them).
    std::function<void()> removeStaticsNearLiveStep;
    // The active live aircraft above MAX_LIVE_SEL go, the farthest first.
    std::function<void()> trimLiveAircraft;
    // The live limit static parking restores when it leaves its airport.
    std::function<void(std::int32_t)> setMaxLiveForParking;
    // Simulator link.
    std::function<void(int)> initSimQueues;
    std::function<void()> startSimClientThread;
    std::function<void()> joinSimClientThread;
    std::function<bool()> simClientThreadStarted;
    std::function<bool()> simRunning;
    std::function<bool()> simErrorFlag;
    std::function<bool()> userOnGroundKnown;
    std::function<bool()> userOnGround;
    std::function<bool()> consumeNewSecond;  // compare-exchange 1 -> 0
    std::function<bool()> newSecondPending;  // read only
    std::function<std::int64_t()> simUtcEpoch;
    std::function<std::optional<double>()> userHalfWingspan;
    // Request 108 every second; false when the request failed.
    std::function<bool()> requestUserOnGround;
    std::function<UserAcState()> requestUserAcPosition;
    // The state of the last reply, without a request.
    std::function<UserAcState()> userAcSnapshot;
    std::function<void()> requestUserAcTitleModel;
    std::function<void()> reportSimConnectError;
    std::function<void()> clearPositionBuffers;
    std::function<void()> resetSimLink;
    // Live-traffic client.
    std::function<void(const LatLon&)> setReaderUserPosition;
    std::function<void()> updateQueryBox;
    std::function<void()> updateStatusLamps;
    std::function<void()> authenticate;
    std::function<std::string()> sessionGuid;
    std::function<bool()> weatherOk;
    std::function<bool()> launchWeatherReader;
    std::function<bool()> launchTrafficReader;
    std::function<bool()> readerLoopRunning;
    std::function<std::int64_t()> readerRecordCount;
    std::function<void()> collectMaps;
    std::function<void(int)> setTimeOffsets;
    std::function<bool(std::int32_t)> stopServiceReaders;  // limit in ms; whether both ended
    std::function<void()> deauthenticate;
    std::function<void()> checkWeatherHandles;
};
// The real functions.
MainCycleCallees defaultMainCycleCallees();
MainCycleCallees& mainCycleCallees();

void mainLoop();
bool requestAircraftGndAir();
void tickLoop();
bool tickStep();
void flightRunningStep();
void flightNotRunningStep();
// The 61-second scan: removes at most one active static that duplicates an active live aircraft.
void duplicateScan();
// Step 9 of the per-second step: at most one removal near the user aircraft.
void collisionRemovals();
void applyParkAirportChange();
void parkingRenewalTimer(std::int32_t n);
// The worker side of the window's requests that are not part of the per-second steps.
void applyWindowRequests();

// Waits on the program clock in steps of `step` for at most `limit`; false when
// a stop flag ended it, true when `done` held or the limit passed.
bool waitUnlessStopped(std::int64_t limitMs, std::int64_t stepMs, const std::function<bool()>& done);
bool stopFlagSet();
