#pragma once
// The engine's per-tick step and what paces the simulator: lf_handleAddingStack
// runs once a 10 ms tick on the worker thread while the flight runs. It merges
// the buffered start, drains the simulator replies, moves every live aircraft
// one tick, hands the positions over, sends at most one removal every 10 ticks
// and one creation every 50, merges at most two waiting traffic records,
// prepares at most one creation and asks the simulator periodically for the
// aircraft around the user and for the user aircraft.
//
// Everything here runs on the worker thread, except tickCounter, which the
// traffic reader reads for its due ticks. The adding stack is taken under
// addingMutex (engine/scheduling.h); the hand-overs to the simulator layer take
// simQueueMutex inside it (lock order in simlink/sim_queues.h).
// removeAllAiObjects empties everything before a restart; it sends nothing.

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

#include "simlink/sim_definitions.h"

struct SimAc;
struct LiveAc;

// Ticks run; +1 at the end of every lf_handleAddingStack. Due ticks and periods count in it.
extern std::atomic<std::int32_t> tickCounter;
// A landing aircraft flares: the range request every 20 ticks instead of 100.
extern bool fastRangeRequest;
// The engine's copy of the user aircraft's state, refreshed every 100 ticks.
extern UserAcState& engineUserAcState;
// Live records in adding2sim or active, counted once a tick by the update pass
// and kept current by the spawn and the removal within it.
extern std::int32_t liveInSimCount;

// A creation handed to the simulator layer and not yet tied to an object: the
// aircraft id and the tick of the hand-over.
struct CreationInFlight {
    std::uint32_t aircraftId = 0;
    std::int32_t handedTick = 0;
};
extern std::vector<CreationInFlight>& creationsInFlight;
// Ticks after its hand-over within which a creation must be tied to an object.
inline constexpr std::int32_t creationTieLimitTicks = 3000;

// A removal handed to the simulator layer and not yet confirmed: the object id
// and the tick of the hand-over. One not confirmed within removalConfirmTicks is
// logged once (its record stays in removingfromsim).
struct RemovalInFlight {
    std::uint32_t objectId = 0;
    std::int32_t handedTick = 0;
};
extern std::vector<RemovalInFlight>& removalsInFlight;
inline constexpr std::int32_t removalConfirmTicks = 30000;

// THROTTLE_SET values of steps 0..4 and FLAPS_SET values of indexes 0..4.
inline constexpr std::array<std::uint32_t, 5> throttleValues{0, 4914, 8191, 11468, 16383};
inline constexpr std::array<std::uint32_t, 5> flapsValues{0, 3072, 10240, 16383, 0};

// The per-tick step.
void lf_handleAddingStack();
// updateLiveAc for every live aircraft, the erase of the dropped ones, the position hand-over.
void lf_updateAllLiveAc();
// One removal per 10 ticks, one creation per 50 (live before static).
void lf_timedQueues();
// One creation prepared from the back of the pending ids.
void lf_prepareCreation();
// Drops the creations not tied to an object within creationTieLimitTicks, and
// logs the removals not confirmed within removalConfirmTicks.
void lf_dropUntiedCreations();
// The tick of the run's first live creation's own range request; -1 before it.
std::int32_t lf_earlyRangeTick();

// Asks for the removal of an aircraft (live or static), whatever its state.
void removeAircraftFromSim(SimAc& ac);
// Engines off and parked lights for an aircraft at rest at a stand.
void shutDownAc(SimAc& ac);
// Sends a throttle step (0..4) when it changes; 5 marks "not set" and sends nothing.
void setThrottle(SimAc& ac, std::uint32_t step);
// Sends a flaps index when it changes (never for a Rotorcraft); above 4 is logged.
void gf_setFlaps(SimAc& ac, std::uint32_t index);
// Queues one client event for the aircraft's object.
void queueAcEvent(const SimAc& ac, std::uint32_t eventId, std::uint32_t data);

// Once per process, before the first run.
void lf_reserveEngineContainers();
// Empties every engine container and resets the run state before a restart.
void removeAllAiObjects();
