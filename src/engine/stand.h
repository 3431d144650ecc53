#pragma once
// The stands of the park airport and their stand-use records.
//
// `stands` belongs to the worker thread: the airport load (airports library) and
// the static parking replace it as a whole with replaceStands, removeAllAiObjects
// empties it with clearStands; the engine and the static parking read and mark
// the stands in place (sid order, no lock) on the same thread. Nothing else
// resizes the vector, so a Stand* or a sid stays valid until the next
// replaceStands / clearStands.
//
// currentParkAirport is read by other threads (the traffic reader's elevation,
// the window): it is written and copied under parkAirportMutex, a leaf lock
// (nothing else is taken while it is held; see the lock order in
// simlink/sim_queues.h).

#include <bitset>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/airport_services.h"

// One aircraft and one weekday at a stand: the half hours of that day in which
// it stood there.
struct SlotRecord {
    std::string airl;               // airline (the database's operator or airline when the registration is known)
    std::string type;               // ICAO type
    std::string reg;                // registration
    std::string cs;                 // callsign, without a trailing underscore
    std::string cs2;                // a second callsign; empty until one differs from cs
    std::bitset<48> slots;          // bit n = half hour n of the UTC day
    std::uint32_t optionIndex = 0;  // 1-based in the stand's list; 0 = no record
    std::uint32_t weekday = 0;      // 1..7, Monday 1
    std::uint32_t source = 0;       // 0 learned here, 1 the airport's own file or invented
    std::uint32_t real = 0;         // 1 seen on a real aircraft, 0 soft (filled in)
    bool fake = false;              // an invented registration: never written to a file

    friend bool operator==(const SlotRecord&, const SlotRecord&) = default;
};

// The last observation of an aircraft at a stand, by aircraft id.
struct StandSighting {
    std::uint32_t optionIndex = 0;
    std::uint32_t weekday = 0;
    std::uint32_t halfHour = 0;
};
using StandSightings = std::unordered_map<std::uint32_t, StandSighting>;

inline constexpr double kMetresToNm = 0.0005399568034557236;
inline constexpr double kNmToMetres = 1852.0;
inline constexpr double kDegToRad = 0.017453292519943295;
inline constexpr double kRadToDeg = 57.29577951308232;

struct Stand {
    std::vector<SlotRecord> options;  // who stood here and when, in creation order
    StandSightings realSeen;          // real observations, by aircraft id
    StandSightings softSeen;          // soft observations, by aircraft id
    std::string name;                 // the stand's id in its file
    std::vector<std::uint32_t> conflictingStands;  // sids of the overlapping stands
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    double heading = 0.0;    // radians
    double radius = 0.0;     // nautical miles
    std::uint32_t sid = 0;   // 1, 2, 3 ... in vector order; 0 = none
    bool manual = false;         // made by hand in a learned file
    bool radius_change = false;  // the radius was changed and goes to the learned file
    bool cargo_change = false;   // the cargo flag was changed and goes to the learned file
    bool suffixMark = false;     // the name carries a suffix added for a duplicate
    bool assigned = false;       // chosen for a static aircraft or taken by a parked live one
    bool occupied = false;       // an arriving aircraft found it taken
    bool reserved = false;       // the user's stand
    bool neighbourTaken = false; // an overlapping stand is assigned
    bool cargo = false;
    bool ramp = false;
    bool heli = false;

    struct Kind {
        bool cargo = false;
        bool ramp = false;
        bool heli = false;
    };

    Stand() = default;
    // Heading in radians, radius in metres (stored in nautical miles).
    Stand(std::string name, std::vector<SlotRecord> options, double latitude, double longitude, double heading,
          double radiusMetres, Kind kind);
};

// The park airport's stands (worker thread; see above).
std::span<Stand> stands();
void replaceStands(std::vector<Stand> newStands);
void clearStands();
// The stand with that sid (sids are 1.. in vector order), or nullptr.
Stand* standBySid(std::uint32_t sid);

// The park airport (copies under parkAirportMutex).
ParkAirportInfo currentParkAirport();
void setCurrentParkAirport(const ParkAirportInfo& airport);
void setCurrentParkAirportElevation(double elevationFt);
// Code, position and elevation cleared (the IATA code too).
void clearCurrentParkAirport();

// An aircraft of the given radius (nm) suits the stand: not more than 1.8 m
// larger, and not so much smaller that it rounds to another size step
// (14 m steps up to a radius of 17.8 m, 21 m steps above). Throws
// gsl::narrowing_error when the step count does not fit 32 bits.
bool lf_radiusFitsStand(const Stand& stand, double radius);
