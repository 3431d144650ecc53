#pragma once
// The SimClient thread: it owns the connection to the simulator (opens it,
// retrying until the simulator answers; registers the identifiers; pumps
// received messages into simDispatchProc as they arrive, sleeping in between,
// until its stop is requested) and runs every message handler.

#include <atomic>
#include <cstdint>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "simlink/sc_types.h"

// The name the program opens its connection with.
inline constexpr const char* simClientName = "VRMT_P3D";

// The simulation runs (last "Sim" event with data 1).
extern std::atomic<bool> simRunning;
// The simulator's frame rate as last sampled (every 30th frame); 0 at start.
extern std::atomic<float> frameRate;
// Frames since the last sample.
extern std::atomic<std::int32_t> frameCounter;
// The user aircraft's object id; objects at or below it are never the program's.
extern std::atomic<std::uint32_t> userObjectId;
// A SimConnect request failed: the queues are emptied instead of sent.
extern std::atomic<bool> simErrorFlag;
// No connection opened yet in this run (cleared when SimConnect_Open succeeds).
extern std::atomic<bool> notYetConnected;
// Object ids announced by "ObjectAdded", waiting for their by-type answer.
// SimClient thread only (reset while it does not run).
extern std::vector<std::uint32_t>& addedObjectIds;

// Frame pacing of the tick loop (core/tick_wake.h): the I/O thread offers each
// frame to the loop before it decides whether the frame wakes this thread; a
// frame the loop took is flushed only after the loop's ticks, also when the
// same read brought a message that wakes this thread at once (a range answer,
// the user aircraft's state, a new object).
// Frames came in the last 100 ms (any thread).
bool simFramesFlowing();
// The worker, after the ticks of a frame it took: when anything waits to be
// sent, it flushes on its own thread (this thread is not woken for it); the
// frame's message waits for this thread's next wake, as a frame that finds
// nothing queued does. With no connection open the flush is owed to this
// thread's next dispatch.
void serveTakenFrame();

// The thread procedure.
void simClientThread(std::stop_token stop);

// Starts the SimClient thread (after initSimQueues).
void startSimClientThread();
// Requests the thread's stop and joins it. Safe from any thread and any number
// of times; a second caller waits for the first join to finish.
void joinSimClientThread();
// A SimClient thread was started and not yet joined.
bool simClientThreadStarted();

// The dispatch procedure handed to SimConnect_CallDispatch.
void simDispatchProc(SIMCONNECT_RECV* message, DWORD size, void* context);
void onSimOpen(const SIMCONNECT_RECV* message, DWORD size);
void onSimException(const SIMCONNECT_RECV* message, DWORD size);

// A SimConnect request failed that the run cannot survive: shows "SimConnect
// request error", sets simErrorFlag and ends the run with reason 5 (delay 9).
void reportSimConnectError();

// The smallest size a received message of that id must have for its fields to
// be read (12 for ids not read).
DWORD minimumMessageSize(DWORD id);
// Keeps letters, digits and white space (ASCII classes, as the C locale has them);
// every other byte (the simulator name's (R) signs) is dropped.
std::string cleanSimName(std::string_view name);
// Whether a simulator labelled `label` may serve: "v5" in the label and a v5
// install path or expected major 5; the same for v6.
bool simVersionAccepted(std::string_view label, std::string_view installPath, int expectedMajor);

// Back to the state before a run: simRunning, simErrorFlag, frame rate and
// counter cleared, userObjectId 2, notYetConnected set; the queues and the user
// aircraft's run state reset (resetSimQueues, resetUserAircraft). Only while no
// SimClient thread runs.
void resetSimLink();
