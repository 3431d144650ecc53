#pragma once
// Static parking: which stands of the park airport get a static aircraft, and
// with which identity. Parked traffic of the service first, then the stand use
// learned at the airport, fitted to the weekday and half hour with a window
// widened half hour by half hour. The result is parkingSelections (largest
// window first: the engine places from the back), which the engine turns into
// static aircraft (engine/static_placement.h). Worker thread only.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "core/airport_services.h"
#include "engine/slot_records.h"
#include "engine/stand.h"

struct LiveAc;
struct SimAc;
struct ParkedTrafficRecord;

// A static aircraft to be removed.
struct StaticRemoval {
    std::string name;
    std::uint32_t standId = 0;
};
extern std::vector<StaticRemoval>& staticRemovals;

// A static aircraft kept by the renewal.
struct KeptStatic {
    std::string callsign;
    std::string coupledCs;
    std::string coupledCs2;
    std::string registration;
    std::string airline;
    std::string type;
    std::uint32_t birthDay = 0;
    std::uint32_t birthSlot = 0;
    std::uint32_t standId = 0;
    std::int32_t window = 0;
    bool ending = false;
};
extern std::vector<KeptStatic>& keptStatics;

// The last fit window of the real pass and of the soft pass (-1: no soft pass ran).
extern std::int32_t realPassWindow;
extern std::int32_t softPassWindow;

// The parked-traffic source: reads the service's parked traffic and answers
// the records (true = read). Replaceable for tests; the default asks the
// traffic reader (readParkedTraffic) and takes its parked records.
using ParkedTrafficSource = std::function<bool(std::vector<ParkedTrafficRecord>&)>;
void setParkedTrafficSource(ParkedTrafficSource source);
bool lf_readParkedTrafficRecords(std::vector<ParkedTrafficRecord>& records);
// The parked traffic asked for ahead of the read (the first static parking of a
// run asks and goes on once the answer is in): false when the source is a
// replaced one, which is read in one go. The next read takes that answer.
bool askParkedTrafficAhead();
// The answer asked for ahead is in, or its wait (10 s) is over; false when none was asked.
bool parkedTrafficAheadReady();
void forgetParkedTrafficAhead();
// The records of the last successful read.
extern std::vector<ParkedTrafficRecord>& parkedTrafficRecords;

// The whole calculation after the park airport was loaded.
void calculateStaticParking();
// Real pass, then the soft pass while still short (PARK_SOFT or PARK_FAKE).
void gatherParkedPositionsTwice(std::uint64_t weekdayAndSlot, std::int64_t wanted, std::int64_t extra);
void gatherParkedPositions(std::uint64_t weekdayAndSlot, std::int64_t wanted, std::int64_t extra, bool real);
// True when the wanted number of stands is now assigned (the candidates of the
// last window stay in `candidates`).
bool fitParkedPositions(std::uint64_t weekdayAndSlot, bool real, std::int64_t wanted,
                        std::vector<ParkingSelection>& candidates);
// Logs the current weekday and half hour and returns them packed.
std::uint64_t logDayAndHour();
// "Mon" .. "Sun"; "???" outside 1..7.
std::string weekdayName(std::int64_t weekday);
// n half hours as hours: n x 0.5 + 0.5, one decimal only when it has a fraction.
std::string slotHoursText(std::int64_t n);
void placeParkedTraffic();
bool ptMatchesLive(const ParkedTrafficRecord& record, const LiveAc& live);
void markReservedStands();
// Clears the assigned, reserved and neighbour-taken marks of every stand; with
// renumber each stand's options are numbered 1, 2, 3 ... again (options taken
// out of play come back).
void clearStandMarks(bool renumber);
// The names and ids of the live traffic from the traffic reader's collected maps.
void refreshUsedNames();
// A static aircraft / a planned static position carries one of the aircraft's names.
bool isStaticNamedAc(const StandUser& ac);
bool isParkedTrafficNamedAc(const StandUser& ac);
// Marks the stand assigned and its neighbours neighbour-taken.
void markStandAssigned(Stand& stand);

// The once-a-second removal of statics near taxiing or parking live aircraft
// (with COLLISION_LIVE_PARKED_GND): every live aircraft with a ground reply,
// active, taxiing or parking, moved since its last test.
void removeStaticsNearLiveStep();
