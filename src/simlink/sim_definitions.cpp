#include "simlink/sim_definitions.h"

#include <initializer_list>
#include <utility>

#include "simlink/sc_api.h"

std::atomic<HANDLE> simHandle{nullptr};

namespace {

struct Datum {
    const char* name;
    const char* units;  // null: no unit text
    SIMCONNECT_DATATYPE type;
};

struct Definition {
    SimDefinitionId id;
    std::initializer_list<Datum> datums;
};

constexpr SIMCONNECT_DATATYPE lf_i64 = SIMCONNECT_DATATYPE_INT64;
constexpr SIMCONNECT_DATATYPE lf_f64 = SIMCONNECT_DATATYPE_FLOAT64;

}  // namespace

void addEventToGroup(HANDLE handle, DWORD eventId)
{
    SimConnect_AddClientEventToNotificationGroup(handle, simEventGroup, eventId, 1);
}

void addEventToGroup(DWORD eventId)
{
    addEventToGroup(simHandle.load(), eventId);
}

void setupSimDefinitions()
{
    setupSimDefinitions(simHandle.load());
}

void setupSimDefinitions(HANDLE h)
{
    static const std::pair<SimEventId, const char*> events[] = {
        {EVENT_SIM, "Sim"},
        {EVENT_OBJECT_ADDED, "ObjectAdded"},
        {EVENT_OBJECT_REMOVED, "ObjectRemoved"},
        {EVENT_POSITION_CHANGED, "PositionChanged"},
        {EVENT_FLIGHT_LOADED, "FlightLoaded"},
        {EVENT_FRAME, "Frame"},
    };
    for (const auto& [id, name] : events) SimConnect_SubscribeToSystemEvent(h, id, name);

    static const Definition definitions[] = {
        {DEF_TITLE, {{"TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV}}},
        {DEF_ATC_MODEL, {{"ATC MODEL", nullptr, SIMCONNECT_DATATYPE_STRING32}}},
        {DEF_ON_GROUND, {{"SIM ON GROUND", "Bool", lf_i64}}},
        {DEF_AC_POSITION,
         {{"Plane Latitude", "degree", lf_f64},
          {"Plane Longitude", "degree", lf_f64},
          {"Plane Pitch degrees", "radians", lf_f64},
          {"Plane Bank degrees", "radians", lf_f64},
          {"Plane Heading degrees true", "radians", lf_f64},
          {"Plane Altitude", "feet", lf_f64},
          {"Vertical Speed", "feet per second", lf_f64},
          {"Airspeed True", "knots", lf_f64}}},
        {DEF_USER_STATE,
         {{"Plane Latitude", "degree", lf_f64},
          {"Plane Longitude", "degree", lf_f64},
          {"Plane Pitch degrees", "radians", lf_f64},
          {"Plane Bank degrees", "radians", lf_f64},
          {"Plane Heading degrees true", "radians", lf_f64},
          {"Plane Altitude", "feet", lf_f64},
          {"Plane Alt Above Ground", "feet", lf_f64},
          {"Ground Velocity", "knots", lf_f64},
          {"ZULU TIME", "Seconds", lf_i64},
          {"ZULU DAY OF YEAR", "Number", lf_i64},
          {"ZULU YEAR", "Number", lf_i64},
          {"LIGHT STATES", "Mask", lf_i64}}},
        {DEF_STATIC_ATTITUDE, {{"Static CG to Ground", "feet", lf_f64}, {"Static Pitch", "radians", lf_f64}}},
        {DEF_LIGHT_STATES, {{"Light On States", "Mask", lf_i64}}},
        {DEF_GROUND_INFO,
         {{"Plane Alt Above Ground", "feet", lf_f64},
          {"Ground Altitude", "feet", lf_f64},
          {"SIM ON GROUND", "Bool", lf_i64},
          {"ATC ID", nullptr, SIMCONNECT_DATATYPE_STRING32}}},
        {DEF_ENGINE,
         {{"SPOILERS HANDLE POSITION", "percent", lf_f64},
          {"GENERAL ENG THROTTLE LEVER POSITION:1", "percent", lf_f64},
          {"GENERAL ENG THROTTLE LEVER POSITION:2", "percent", lf_f64}}},
    };
    for (const auto& def : definitions) {
        for (const auto& d : def.datums)
            SimConnect_AddToDataDefinition(h, def.id, d.name, d.units, d.type, 0.0f, SIMCONNECT_UNUSED);
    }

    static const std::pair<SimClientEventId, const char*> mappings[] = {
        {EVENT_GEAR_SET, "GEAR_SET"},
        {EVENT_ENGINE_AUTO_START, "ENGINE_AUTO_START"},
        {EVENT_ENGINE_AUTO_SHUTDOWN, "ENGINE_AUTO_SHUTDOWN"},
        {EVENT_THROTTLE_SET, "THROTTLE_SET"},
        {EVENT_FLAPS_SET, "FLAPS_SET"},
        {EVENT_SPOILERS_SET, "SPOILERS_SET"},
        {EVENT_NAV_LIGHTS, "NAV_LIGHTS_SET"},
        {EVENT_BEACON_LIGHTS, "BEACON_LIGHTS_SET"},
        {EVENT_LANDING_LIGHTS, "LANDING_LIGHTS_SET"},
        {EVENT_TAXI_LIGHTS, "TAXI_LIGHTS_SET"},
        {EVENT_STROBES, "STROBES_SET"},
        {EVENT_LOGO_LIGHTS, "LOGO_LIGHTS_SET"},
        {EVENT_CABIN_LIGHTS, "CABIN_LIGHTS_SET"},
        {EVENT_ALL_LIGHTS_TOGGLE, "ALL_LIGHTS_TOGGLE"},
        {EVENT_FREEZE_LAT_LON, "FREEZE_LATITUDE_LONGITUDE_SET"},
        {EVENT_FREEZE_ALTITUDE, "FREEZE_ALTITUDE_SET"},
        {EVENT_FREEZE_ATTITUDE, "FREEZE_ATTITUDE_SET"},
    };
    for (const auto& [id, name] : mappings) SimConnect_MapClientEventToSimEvent(h, id, name);

    // Every mapped event but ENGINE_AUTO_START.
    static const SimClientEventId grouped[] = {
        EVENT_NAV_LIGHTS,     EVENT_BEACON_LIGHTS, EVENT_LANDING_LIGHTS,       EVENT_TAXI_LIGHTS,
        EVENT_STROBES,        EVENT_LOGO_LIGHTS,   EVENT_CABIN_LIGHTS,         EVENT_ALL_LIGHTS_TOGGLE,
        EVENT_FLAPS_SET,      EVENT_SPOILERS_SET,  EVENT_GEAR_SET,             EVENT_ENGINE_AUTO_SHUTDOWN,
        EVENT_THROTTLE_SET,   EVENT_FREEZE_LAT_LON, EVENT_FREEZE_ALTITUDE,     EVENT_FREEZE_ATTITUDE,
    };
    for (const auto id : grouped) addEventToGroup(h, id);
    SimConnect_SetNotificationGroupPriority(h, simEventGroup, 1);
}
