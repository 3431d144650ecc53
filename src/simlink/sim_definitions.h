#pragma once
// The identifiers the program registers with the simulator on every
// connection, the byte layouts of the data blocks that cross it, and the
// registration itself.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "simlink/sc_types.h"

// System events (subscribed in the order Sim, ObjectAdded, ObjectRemoved,
// PositionChanged, FlightLoaded, Frame).
enum SimEventId : DWORD {
    EVENT_SIM = 201,
    EVENT_OBJECT_ADDED = 202,
    EVENT_OBJECT_REMOVED = 203,
    EVENT_FRAME = 204,
    EVENT_POSITION_CHANGED = 205,
    EVENT_FLIGHT_LOADED = 206,
};

enum SimDefinitionId : DWORD {
    DEF_ENGINE = 401,        // EngineBlock (write)
    DEF_AC_POSITION = 402,   // AcPositionBlock (write, every frame)
    DEF_USER_STATE = 403,    // UserAcState
    DEF_GROUND_INFO = 404,   // GroundInfoBlock (by type)
    DEF_STATIC_ATTITUDE = 405,
    DEF_LIGHT_STATES = 406,  // registered, never used
    DEF_TITLE = 407,
    DEF_ATC_MODEL = 408,
    DEF_ON_GROUND = 409,
};

enum SimClientEventId : DWORD {
    EVENT_BEACON_LIGHTS = 207,
    EVENT_NAV_LIGHTS = 208,
    EVENT_TAXI_LIGHTS = 209,
    EVENT_STROBES = 210,
    EVENT_LANDING_LIGHTS = 211,
    EVENT_CABIN_LIGHTS = 212,
    EVENT_LOGO_LIGHTS = 213,
    EVENT_ALL_LIGHTS_TOGGLE = 214,
    EVENT_FREEZE_LAT_LON = 215,
    EVENT_FREEZE_ALTITUDE = 216,
    EVENT_FREEZE_ATTITUDE = 217,
    EVENT_FLAPS_SET = 218,
    EVENT_SPOILERS_SET = 219,
    EVENT_GEAR_SET = 220,
    EVENT_ENGINE_AUTO_START = 221,
    EVENT_ENGINE_AUTO_SHUTDOWN = 222,
    EVENT_THROTTLE_SET = 223,
};

inline constexpr DWORD simEventGroup = 301;

enum SimRequestId : DWORD {
    REQUEST_GROUND_INFO = 101,      // by type, def 404
    REQUEST_STATIC_ATTITUDE = 102,  // def 405, the created object, once
    REQUEST_RELEASE_CONTROL = 103,
    REQUEST_CREATE = 104,
    REQUEST_REMOVE = 105,
    REQUEST_USER_TITLE = 106,       // def 407, once
    REQUEST_USER_MODEL = 107,       // def 408, once
    REQUEST_USER_ON_GROUND = 108,   // def 409, every second
    REQUEST_USER_STATE = 109,       // def 403, once
    REQUEST_FLIGHT_PLAN = 110,
    REQUEST_NEW_OBJECT = 111,       // def 404, an object just announced, once
};

// Def 402: written to one AI object per frame.
struct AcPositionBlock {
    double latitude;       // degrees
    double longitude;      // degrees
    double pitch;          // radians
    double bank;           // radians
    double heading;        // radians, true
    double altitude;       // feet
    double verticalSpeed;  // feet per second
    double trueAirspeed;   // knots
};
static_assert(sizeof(AcPositionBlock) == 64);
static_assert(offsetof(AcPositionBlock, heading) == 32 && offsetof(AcPositionBlock, trueAirspeed) == 56);

// Def 403: the user aircraft.
struct UserAcState {
    double latitude;        // degrees
    double longitude;       // degrees
    double pitch;           // radians
    double bank;            // radians
    double heading;         // radians, true
    double altitude;        // feet
    double altAboveGround;  // feet
    double groundVelocity;  // knots
    std::int64_t zuluTime;  // seconds of the UTC day
    std::int64_t zuluDayOfYear;  // 1 = 1 January
    std::int64_t zuluYear;
    std::int64_t lightStates;
};
static_assert(sizeof(UserAcState) == 96);
static_assert(offsetof(UserAcState, altAboveGround) == 48 && offsetof(UserAcState, zuluTime) == 64 &&
              offsetof(UserAcState, lightStates) == 88);

// Def 404: one AI aircraft by type.
struct GroundInfoBlock {
    double altAboveGround;  // feet
    double groundAltitude;  // feet
    std::int64_t onGround;  // 0 or 1
    char atcId[32];         // zero-terminated
};
static_assert(sizeof(GroundInfoBlock) == 56 && offsetof(GroundInfoBlock, atcId) == 24);

// Def 405: read once for a created aircraft.
struct StaticAttitudeBlock {
    double staticCgHeight;  // feet above ground
    double staticPitch;     // radians
};
static_assert(sizeof(StaticAttitudeBlock) == 16);

// Def 401: written to an AI object.
struct EngineBlock {
    double spoilerHandle;  // percent
    double throttle1;      // percent
    double throttle2;      // percent
};
static_assert(sizeof(EngineBlock) == 24 && offsetof(EngineBlock, throttle2) == 16);

// The one connection handle of the program (null when none is open).
extern std::atomic<HANDLE> simHandle;

// Registers everything, in the fixed order, on simHandle. Results are not checked.
void setupSimDefinitions();
// The same on a given connection.
void setupSimDefinitions(HANDLE handle);
// Adds a client event to group 301, maskable.
void addEventToGroup(DWORD eventId);
void addEventToGroup(HANDLE handle, DWORD eventId);
