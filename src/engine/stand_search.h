#pragma once
// Stand search: stands by name, at a position, free near an aircraft, free at a
// half hour for an aircraft learned at the airport, and one stand-use record per
// stand for the static parking; with the bookkeeping around them (the wanted
// stand count, the per-aircraft slot marks, the coupled-callsign search, the
// count and age of the statics, neighbours parked too close).
//
// Worker thread only, except nearestStandAirport, which any thread may call (it
// reads the published snapshot of engine/stand.h). Stand pointers returned here
// are valid until the stands are replaced or cleared.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/geodesy.h"
#include "engine/stand.h"

struct AcIdentity;

// Metre constants in nautical miles.
inline constexpr double nm20m = 0.010799136069114472;
inline constexpr double nm35m = 0.018898488120950324;
inline constexpr double nm55m = 0.029697624190064796;
inline constexpr double nm85m = 0.0458963282937365;
inline constexpr double nm1m8 = 0.0009719222462203025;
inline constexpr double nm1m = 0.0005399568034557236;

// The first stand with exactly that name; nullptr when none.
Stand* findStandByName(const std::string& name);
// The name of the nearest stand within 55 m of the position; empty while the
// user aircraft is not on the ground or without stands. Any thread.
std::string nearestStandAirport(const LatLon& position);
// The nearest free stand within maxDistance (nm), a too-small one only within
// 20 m (then enlarged), else one within 85 m whose records know the aircraft.
Stand* findFreeStandNear(const LatLon& position, const AcIdentity& aircraft, double maxDistance, bool useRecords);
// A real record of that callsign, or of the aircraft's airline and type.
bool slotRecordMatchesName(const std::string& callsign, const AcIdentity& identity, const SlotRecord& record);
// A stand unused at that half hour for an aircraft learned at the airport.
Stand* lf_findStandForSlot(std::uint64_t weekdayAndSlot, const AcIdentity& identity, bool retry);
// The position in neighbourIds of the first neighbour stand whose live aircraft
// stands too close to the candidate stand; neighbourIds.size() when none.
std::size_t lf_liveIdsNear(const std::vector<std::uint32_t>& neighbourIds, const Stand& candidate,
                           const AcIdentity& aircraft);
// Sets the aircraft's slot mark; false (mark kept) when marked within the last 3
// half hours, unless forced.
bool lf_markIdInSlot(std::uint64_t weekdayAndSlot, std::uint32_t aircraftId, bool force);
// Takes the coupled callsigns from a record of the airline and callsign within
// +-10 half hours (+-14 for a Heavy) of the slot on that weekday.
void lf_searchForCoupledCsAroundThisTime(std::uint64_t weekdayAndSlot, AcIdentity& identity);
// The statics active or being removed; with updateAge the panel's mean age.
std::uint32_t lf_countStaticsInSlot(bool updateAge);
// Plans one learned stand-use record per free stand for the half hour `offset`
// before the given one (mode 1 real records, 0 soft ones, else all).
void lf_searchStands(std::uint64_t weekdayAndSlot, std::uint32_t mode, std::int32_t offset,
                     std::vector<ParkingSelection>& plan);
// The number of stands the static parking is to fill (shown on the panel).
std::uint32_t lf_updateStandCount();

// What the static parking's renewal looks for: an aircraft on a weekday at a half hour.
struct SlotKey {
    std::uint32_t weekday = 0;
    std::uint32_t slot = 0;
    std::string reg;
    std::string airl;
    std::string type;
};
// Same weekday, registration, airline and type, and a slot set from the key's
// slot down to `window` half hours before it.
bool lf_slotPredicateA(const SlotKey& key, std::int32_t window, const SlotRecord& record);
// The same key test, and a slot set within `window` half hours of the day's end.
bool lf_slotPredicateB(const SlotKey& key, std::int32_t window, const SlotRecord& record);
