#pragma once
// Small builders of engine records for the engine's table tests.

#include <cstdint>
#include <initializer_list>
#include <string>

#include "engine/ac_records.h"
#include "traffic_service/traffic_record.h"

inline PositionSample sampleAt(double lat, double lon, std::int32_t due, double altitude = 10000.0,
                               double groundSpeed = 250.0, double track = 90.0)
{
    PositionSample s = positionSampleAt({lat, lon}, groundSpeed, due, altitude, altitude > 0);
    s.track = track;
    return s;
}

// A live record in the buffer with the given samples (appended to nothing: the caller pushes it).
inline LiveAc liveRecord(std::uint32_t aircraftId, const std::string& callsign,
                         std::initializer_list<PositionSample> samples, const std::string& airline = "KLM",
                         const std::string& type = "B738", const std::string& registration = "PH-BXA")
{
    LiveAc ac;
    ac.aircraftId = aircraftId;
    ac.callsign = callsign;
    ac.airline = airline;
    ac.type = type;
    ac.registration = registration;
    ac.category = AcCategory::Large;
    ac.touchdownTicks = 350;
    for (const PositionSample& s : samples) ac.samples.push_back(s);
    return ac;
}

inline TrafficRecord trafficRecord(std::uint32_t aircraftId, double time, double groundSpeed = 250.0,
                                   double track = 90.0, bool airborne = true)
{
    TrafficRecord r;
    r.aircraftId = aircraftId;
    r.time = time;
    r.groundSpeed = groundSpeed;
    r.speed = groundSpeed;
    r.track = track;
    r.airborne = airborne;
    r.altitude = airborne ? 10000.0 : 0.0;
    r.lat = 52.3;
    r.lon = 4.8;
    r.type = "B738";
    r.airline = "KLM";
    r.callsign = "KLM1";
    return r;
}

inline LiveAc* findLive(std::uint32_t aircraftId)
{
    for (LiveAc& a : liveAircraft)
        if (a.aircraftId == aircraftId) return &a;
    return nullptr;
}
