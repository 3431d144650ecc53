#pragma once
// The stands of the park airport and their stand-use records.
//
// `stands` belongs to the worker thread (the engine and the static parking run
// there); it is resized only through replaceStands and clearStands, and records
// move when it is replaced, so callers hold stand ids, never references or
// pointers, across any call that may load or clear the stands. A stand is found
// by a linear search on its id (`sid`; 0 = none).

#include <bitset>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <memory>
#include <mutex>
#include <set>
#include <tuple>

#include "core/airport_services.h"

// Who stood at a stand on one weekday, and in which half hours.
struct SlotRecord {
    std::string airl;
    std::string type;
    std::string reg;
    std::string cs;
    std::string cs2;
    std::bitset<48> slots;         // bit n = half hour n of the UTC day
    std::uint32_t optionIndex = 0;  // 1-based in its stand's list; 0 = none
    std::uint32_t weekday = 0;
    std::uint32_t source = 0;
    std::uint32_t real = 1;  // 1 learned from a real aircraft, 0 filled in
    bool fake = false;       // made up for the static parking; never written
};

// One sighting of an aircraft at a stand.
struct StandSighting {
    std::uint32_t optionIndex = 0;
    std::uint32_t weekday = 0;
    std::uint32_t halfHour = 0;
};

// The kind flags of a new stand, by name.
struct StandKind {
    bool cargo = false;
    bool ramp = false;
    bool heli = false;
};

struct Stand {
    using Kind = StandKind;
    Stand() = default;
    // A stand as read from a file: heading in radians, radius in metres (stored
    // in nautical miles); the run-time marks clear, room for 8 conflicting stands.
    Stand(std::string name, std::vector<SlotRecord> options, double latitude, double longitude, double heading,
          double radiusMetres, Kind kind);

    std::vector<SlotRecord> options;
    // The aircraft seen here, by aircraft id: learned from real sightings and soft.
    std::unordered_map<std::uint32_t, StandSighting> seenReal;
    std::unordered_map<std::uint32_t, StandSighting> seenSoft;
    std::string name;
    std::vector<std::uint32_t> conflictingStands;  // the neighbour stands (excluded when this one is taken)
    double latitude = 0.0;   // degrees
    double longitude = 0.0;
    double heading = 0.0;    // radians
    double radius = 0.0;     // nm
    std::uint32_t sid = 0;   // 1, 2, 3 ... in vector order; 0 = none
    bool manual = false;
    bool radiusChange = false;
    bool cargoChange = false;
    bool suffixMark = false;
    bool assigned = false;
    bool occupied = false;         // taken for an arrival (live_parking.h)
    std::uint32_t occupiedBy = 0;  // the aircraft id of that arrival (0 while not occupied)
    bool reserved = false;
    bool neighbourTaken = false;
    bool cargo = false;
    bool ramp = false;
    bool heli = false;
};

// The park airport's stands (worker thread; reserved 512).
extern const std::vector<Stand>& stands;
// Replaces every stand (a new park airport or a reload). Publishes a fresh
// snapshot of the names and positions for the other threads.
void replaceStands(std::vector<Stand> newStands);
// No stands (an empty snapshot is published).
void clearStands();

// What other threads may read of the stands: names and positions as the last
// replaceStands or clearStands left them, never changed afterwards, with the
// one-entry memory of nearestStandAirport (which belongs to this snapshot, so a
// new airport never answers from the old one's memory).
struct StandSnapshot {
    struct Entry {
        std::string name;
        double latitude = 0.0;
        double longitude = 0.0;
    };
    std::vector<Entry> entries;
    mutable std::mutex memoryMutex;  // leaf lock
    mutable bool remembered = false;
    mutable double rememberedLat = 0.0;
    mutable double rememberedLon = 0.0;
    mutable std::string rememberedName;
};
// The current snapshot (any thread; never null).
std::shared_ptr<const StandSnapshot> standSnapshot();
// The stand with that id, or nullptr (0 finds nothing). Valid until the stands change.
Stand* findStandById(std::uint32_t sid);

// Stand records changed in this run (radius or cargo flag); the airport stand
// file is saved when it is 1 or more at the end of a static-parking pass.
extern std::uint32_t standUpdateCount;

// One planned static position: the static parking fills the vector, the
// placement consumes it from the back.
struct ParkingSelection {
    std::uint32_t aircraftId = 0;  // the service's parked aircraft it stands for, or 0
    std::uint32_t kind = 0;        // 0 from parked traffic, 1 from learned stand use (the static's source)
    std::uint32_t standId = 0;
    std::int32_t window = 0;       // age in half hours
    std::string airline;
    std::string type;
    std::string flightA;
    std::string flightB;
    std::string registration;
    bool preferA = false;
};
// Planned static positions (worker thread; reserved 512).
extern std::vector<ParkingSelection>& parkingSelections;
// Names and aircraft ids already used by the static parking (worker thread).
extern std::set<std::string>& usedNames;
extern std::set<std::uint32_t>& usedIds;

// One reviewed live parked aircraft (smallest minutes first in the list).
struct LiveParkedEntry {
    std::string callsign;
    std::uint64_t reserved = 0;
    std::uint32_t standId = 0;
    std::uint32_t minutes = 0;
};
extern std::vector<LiveParkedEntry>& liveParkedList;

// The half hour in which an aircraft's stand use was last handled: one mark per
// aircraft id, appended at the end (worker thread).
struct SlotMark {
    std::uint32_t aircraftId = 0;
    std::uint32_t slot = 0;
};
extern std::vector<SlotMark>& slotMarks;

// The engine's share of a reset: the stands, the park airport, the planned
// positions, the used names and ids, the live parked list, the slot marks and
// the stand-update count.
void clearStandState();

// Field by field (tests and the learned merge compare whole records).
inline bool operator==(const SlotRecord& a, const SlotRecord& b)
{
    auto fields = [](const SlotRecord& r) {
        return std::tie(r.airl, r.type, r.reg, r.cs, r.cs2, r.slots, r.optionIndex, r.weekday, r.source, r.real,
                        r.fake);
    };
    return fields(a) == fields(b);
}

// Units of the stand files: radii in metres there, nautical miles here;
// headings in degrees there, radians here.
inline constexpr double kMetresToNm = 0.0005399568034557236;
inline constexpr double kNmToMetres = 1852.0;
inline constexpr double kDegToRad = 0.017453292519943295;
inline constexpr double kRadToDeg = 57.29577951308232;

// An aircraft of the given radius (nm) suits the stand: not more than 1.8 m
// larger, and not so much smaller that it rounds to another size step
// (14 m steps up to a radius of 17.8 m, 21 m steps above). Throws
// gsl::narrowing_error when the step count does not fit 32 bits.
bool lf_radiusFitsStand(const Stand& stand, double radius);

// The park airport. Read by other threads (the traffic reader's elevation, the
// window), so it is written and copied under parkAirportMutex, a leaf lock
// (nothing else is taken while it is held; see the lock order in
// simlink/sim_queues.h).
ParkAirportInfo currentParkAirport();
void setCurrentParkAirport(const ParkAirportInfo& airport);
void setCurrentParkAirportElevation(double elevationFt);
// Code, position and elevation cleared (the IATA code too).
void clearCurrentParkAirport();
