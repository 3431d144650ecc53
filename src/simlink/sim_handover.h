#pragma once
// What the simulator layer hands to the traffic engine, and back: the creation
// request (AcCreation), the reply list through which the simulator layer and the
// traffic reader report to the engine (SimReply, pushSimReply), and the entries
// of the command queues. The engine includes these; this layer knows no engine type.

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "simlink/sc_types.h"
#include "simlink/sim_definitions.h"

// One queued request to create an AI object. The livery title is an owned copy:
// the request rides to the SimClient thread, and the livery table may change
// (blocked titles, a re-scan on restart) while it waits.
struct AcCreation {
    SIMCONNECT_DATA_INITPOSITION initPosition{};  // degrees, feet, knots
    std::string callsign;                         // sent as the tail number (the object's ATC id)
    std::string liveryTitle;                      // sent as the container title
    std::uint32_t aircraftId = 0;                 // > 10000 live, <= 10000 static
};

// The simulator's text fields: a text must be shorter than its field.
inline constexpr std::size_t tailNumberField = 12;
inline constexpr std::size_t containerTitleField = 256;
// Whether the creation's texts fit the creation packet.
bool creationFits(const AcCreation& creation);

enum SimReplyKind : std::uint32_t {
    replyLiveCreated = 0,     // object id, aircraft id, value b = height above ground
    replyStaticCreated = 1,   // object id, aircraft id
    replyRemoved = 2,         // object id
    replyGroundInfo = 3,      // object id, on-ground in the aircraft id, a = ground alt, b = height above ground
    replyStaticAttitude = 4,  // object id, a = static CG height (ft), b = static pitch (rad)
    replyCallsignBlocked = 5, // aircraft id (pushed by the traffic reader)
    replyCreationFailed = 6,  // aircraft id
};

struct SimReply {
    std::uint32_t objectId = 0;
    std::uint32_t aircraftId = 0;
    std::int32_t ticks = 0;  // the engine's count while the entry waits in its created-objects list
    std::uint32_t kind = 0;
    double valueA = 0.0;
    double valueB = 0.0;
    friend bool operator==(const SimReply&, const SimReply&) = default;
};

// The reply list and its mutex. The engine drains the list holding the mutex;
// nothing may push a reply while holding it (the mutex is not recursive).
// Lock order: the reply mutex before simQueueMutex; the simulator layer never
// holds both.
extern std::mutex& simReplyMutex;
extern std::vector<SimReply>& simReplies;  // guarded by simReplyMutex

// Appends under the reply mutex; any thread.
void pushSimReply(const SimReply& reply);
// Takes every waiting reply out of the list (under the reply mutex).
std::vector<SimReply> takeSimReplies();
// The same into `into` (emptied first), swapping storage: a caller that keeps
// its vector between calls allocates nothing in the steady state.
void takeSimReplies(std::vector<SimReply>& into);

// A position block for one object, as the engine queues it each tick.
struct QueuedPosition {
    AcPositionBlock block{};
    std::uint32_t objectId = 0;
};

// A client event for one object (group 301).
struct QueuedEvent {
    std::uint32_t objectId = 0;
    std::uint32_t eventId = 0;  // SimClientEventId
    std::uint32_t data = 0;
    friend bool operator==(const QueuedEvent&, const QueuedEvent&) = default;
};

// A creation handed to the simulator, kept until the simulator ties an object to
// it (by its tail) or refuses it (exception 22 with its packet id).
struct KeptCreation {
    std::uint32_t packetId = 0;
    std::uint32_t aircraftId = 0;
    std::string callsign;
};
