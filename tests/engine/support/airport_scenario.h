#pragma once
// A scenario with the user aircraft standing at the park airport: the harness's
// options, and the state the test world reports for the user aircraft there.

#include "support/engine_harness.h"
#include "simlink/sim_definitions.h"

inline ScenarioOptions scenarioAtAirport(const ParkAirportInfo& park)
{
    ScenarioOptions o;
    o.user = {park.lat, park.lon};
    o.userAltitudeFt = park.elevationFt;
    o.userHeightAboveGroundFt = 0;
    o.userGroundSpeedKt = 0;
    o.userOnGround = true;
    o.park = park;
    o.keepTrace = false;
    o.ownSimApi = false;  // the test world answers the calls
    return o;
}

inline UserAcState userStateAt(const ParkAirportInfo& park)
{
    UserAcState user{};
    user.latitude = park.lat;
    user.longitude = park.lon;
    user.altitude = park.elevationFt;
    user.zuluYear = 2023;
    user.zuluDayOfYear = 318;
    return user;
}
