#pragma once
// The simulator command queues. The engine (worker thread) queues position
// blocks, client events, creations and removals; they are sent on the
// simulator's next frame (flushSimQueues): by the worker after the ticks of a
// frame its tick loop took, else by the SimClient thread. One mutex,
// simQueueMutex, guards every queue.
//
// Locking convention, used everywhere: a public function takes simQueueMutex
// itself; a function whose name ends in "Locked" expects the caller to hold it.
// simQueueMutex is not recursive, so never call a locking function with it held.
// Lock order of the whole program: adding-stack mutex -> reply mutex ->
// simQueueMutex; the flush lock (simFlushMutex) -> simQueueMutex; the log
// mutex, parkAirportMutex (engine/stand.h) and keptCreationsMutex are leaves.
// The livery scan's locks (a folder walk's task mutex, each scan report list,
// the handed-out titles) are leaves too.
// The airport scan (airports/airport_scan.h): its link lock -> the scan log's
// mutex and the log mutex; a scan task's own result mutex and a folder search's
// task queue mutex are leaves. The flight-plan writer's mutex
// (engine/flight_plans.h) is a leaf.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "simlink/sim_definitions.h"
#include "simlink/sim_handover.h"

extern std::mutex& simQueueMutex;

// The position double buffer: the engine fills the write buffer each tick
// (without the lock: only the engine touches it), and at the end of the tick
// swaps the roles under simQueueMutex; the flush sends the send buffer.
class PositionBuffers {
public:
    PositionBuffers();
    // Engine thread only.
    std::vector<QueuedPosition>& write() { return buffers_[write_]; }
    // Under simQueueMutex.
    std::vector<QueuedPosition>& sendLocked() { return buffers_[1 - write_]; }
    // Under simQueueMutex: the write buffer becomes the send buffer, and the new
    // write buffer is emptied (capacity kept).
    void swapLocked();
    // Under simQueueMutex (or with no other thread running): both empty, the
    // first one the write buffer again.
    void resetLocked();

private:
    std::array<std::vector<QueuedPosition>, 2> buffers_;
    int write_ = 0;
};
extern PositionBuffers& positionQueue;

// Guarded by simQueueMutex.
extern std::vector<QueuedEvent>& eventQueue;
extern std::vector<AcCreation>& creationQueue;
extern std::vector<std::uint32_t>& removalQueue;

// Guarded by keptCreationsMutex (a leaf: held only for the vector's own
// operations): the flush that sends a creation keeps it, on the SimClient
// thread or on the worker (serveTakenFrame), and the SimClient thread's
// handlers tie or drop it.
extern std::mutex& keptCreationsMutex;
extern std::vector<KeptCreation>& keptCreations;

// The simulator major version (5 or 6) the connection must have.
extern std::atomic<int> expectedSimMajor;

// Before the SimClient thread starts: stores the major version, reserves the
// queues and clears simErrorFlag.
void initSimQueues(int major);

// The engine's position hand-over at the end of its tick: swaps the buffers
// under simQueueMutex. When the lock is busy and the frame rate is 50 or less
// the tick's positions are dropped instead; faster, it waits for the lock.
void handOverPositions();

// Appends a copy of the creation. A creation whose tail (callsign) or title
// does not fit the creation packet is refused: logged and not queued (false),
// so the caller drops that one aircraft.
[[nodiscard]] bool queueAcCreation(const AcCreation& creation);
[[nodiscard]] bool queueAcCreationLocked(const AcCreation& creation);
// Appends one client event.
void queueClientEvent(const QueuedEvent& event);
void queueClientEventLocked(const QueuedEvent& event);
// Seven light events: NAV, BEACON, LANDING, TAXI, STROBES, LOGO, CABIN with values[0..6].
void setAcLights(std::uint32_t objectId, const std::array<std::uint32_t, 7>& values);
void setAcLightsLocked(std::uint32_t objectId, const std::array<std::uint32_t, 7>& values);
void setCabinLights(std::uint32_t objectId, std::uint32_t value);
void setCabinLightsLocked(std::uint32_t objectId, std::uint32_t value);
// Appends an object id to the removal queue.
void queueAcRemoval(std::uint32_t objectId);
void queueAcRemovalLocked(std::uint32_t objectId);

// Whether anything waits in the queues for the next flush (any thread, no lock:
// set with every queued entry and hand-over of positions, cleared by the flush
// that takes them). A frame that finds nothing waiting need not wake the
// SimClient thread.
bool simQueuesHoldWork();

// On every frame: sends everything queued, in the order positions, events,
// creations, removals, as one batch (one write). The queues are taken out
// under simQueueMutex and sent after it is released. The SimClient thread's
// flush skips the frame when that lock is busy (skipWhenBusy); the worker's
// flush of a frame it took waits for it (waitWhenBusy) and sends nothing once
// the connection's handle is gone. One flush at a time (the flush lock, taken
// before simQueueMutex; closing the connection takes it too). After a
// simulator request error a flush only empties the queues.
enum class FlushLock { skipWhenBusy, waitWhenBusy };
void flushSimQueues(FlushLock lock = FlushLock::skipWhenBusy);
// The flush lock: closing the connection holds it while it takes the handle
// away, so that no flush is sending through a handle being closed.
std::mutex& simFlushMutex();
// Sends one creation and keeps it for the matching (from the flush).
void createAcInSim(const AcCreation& creation);
// SimClient thread: releases the simulator's AI control of a created object
// and queues its three freezes.
void releaseCreatedAc(std::uint32_t objectId);

// Requests the user aircraft's state (request 109) unless simErrorFlag is set,
// and returns the state of the previous reply.
UserAcState requestUserAcPosition();
// Requests the user aircraft's title (106) and ATC model (107).
void requestUserAcTitleModel();

// Handler of the by-type data reply (request 101, ground-info block).
void onSimObjectDataByType(const SIMCONNECT_RECV* message, DWORD size);
// SimClient thread, for an object the simulator just announced: asks for its
// ground-info block at once (request 111, answered with its next frame), so a
// creation of the program is tied to its record without waiting for the next
// range answer (the engine's, once a second). A failed request is only logged:
// the range answer still ties the object.
void probeAddedObject(std::uint32_t objectId);
// The answer for an object of addedObjectIds (request 111, or a range answer's
// entry): ties it to the creation whose tail is its ATC id (releases it and
// reports it to the engine), or logs it as another program's. False when the
// object is not announced (a known object).
bool onAddedObjectData(std::uint32_t objectId, const GroundInfoBlock& block);

// Empties every queue, the kept creations and the announced object ids, and
// resets the position buffers (before a restart, while no SimClient thread runs).
void resetSimQueues();
