#pragma once
// The user aircraft as the simulator reports it: its state (request 109), the
// on-ground flag once a second (108, which also paces the main cycle), its title
// (106) and ATC model (107) with the half wing span taken from the model, the
// teleport test and the reserved stand after a loaded flight. Handlers run on
// the SimClient thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/geodesy.h"
#include "simlink/sc_types.h"
#include "simlink/sim_definitions.h"

// Set by the first 108 reply after the user position is known.
extern std::atomic<bool> userOnGround;
extern std::atomic<bool> userOnGroundKnown;
// Set by every 108 reply; the main cycle consumes it.
extern std::atomic<bool> newSecondFlag;
// The simulator's UTC time, seconds since 1970.
extern std::atomic<std::int64_t> simUtcEpoch;

// A copy of the user aircraft's state, taken under simQueueMutex.
UserAcState userAcSnapshot();
// The state itself; the caller holds simQueueMutex.
UserAcState& userAcStateLocked();
// The state last handed to the engine by requestUserAcPosition (under simQueueMutex).
UserAcState& handedUserAcStateLocked();

// The title (at most 48 characters) and half wing span (nm; none until a model
// reply was handled, and stored last by that reply) of the user aircraft.
std::string userAcTitle();
std::optional<double> userHalfWingspan();
// The stand found at the user position by the last state reply.
std::string userStandText();
// The position of the previous state reply (kept over a restart).
LatLon lastUserPosition();

// What the user aircraft's handlers need of the engine's stand search and of
// the park-airport list. Installed before the SimClient thread starts; every
// entry has a safe default (no stand, no list).
struct ParkListHead {
    std::string airportCode;
    std::string reservedStand;
};
struct UserAcNeighbours {
    // The stand (with its airport) at a position; empty when none.
    std::function<std::string(const LatLon&)> nearestStandAirport;
    // The first entry of the park-airport list; none when the list is empty.
    std::function<std::optional<ParkListHead>()> firstParkAirport;
};
void setUserAcNeighbours(UserAcNeighbours neighbours);

// Handler of the object-data reply (id 8), by request id.
void onSimObjectData(const SIMCONNECT_RECV* message, DWORD size);
// The 109 update with the block and the reply's object id. The time, object id
// and stand are stored before the state, so a reader of the new state sees them.
void onUserAcState(const UserAcState& state, std::uint32_t objectId);
// The 108 reply with its flag.
void onUserOnGround(std::int64_t flag);
void onUserAcTitle(std::string_view title);
// Throws qxv::UserErrorException 71 for an empty model and 73 for any other failure.
void onUserAcModel(std::string_view model);
// After a loaded flight, with the user aircraft standing still at a stand of the
// current park airport: that stand becomes the list's reserved stand.
void onFlightLoaded();
// The stand at the current user position.
std::string userStandAirport();

// A position is known when |lat| or |lon| exceeds 0.0001 degrees.
bool positionKnown(double latitude, double longitude);
// Both positions known and more than 10 nm apart.
bool isTeleport(const LatLon& previous, const LatLon& next);
// days since 1970-01-01 (Gregorian) of the day of the year (1 = 1 January) x 86400 + zulu seconds.
std::int64_t simEpochSeconds(std::int64_t year, std::int64_t dayOfYear, std::int64_t zuluSeconds);
// The first 48 bytes of a title.
std::string cutUserTitle(std::string_view title);

// Back to the state before a run: title, position of the state, on-ground known
// and new-second flags cleared (lastUserPosition is kept).
void resetUserAircraft();
// Also forgets lastUserPosition, the span and the stand text (tests).
void resetUserAircraftForTest();
