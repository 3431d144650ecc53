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

struct Stand {
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
    bool occupied = false;  // taken for an arrival
    bool reserved = false;
    bool neighbourTaken = false;
    bool cargo = false;
    bool ramp = false;
    bool heli = false;
};

// The park airport's stands (worker thread; reserved 512).
extern const std::vector<Stand>& stands;
// Replaces every stand (a new park airport or a reload).
void replaceStands(std::vector<Stand> newStands);
// No stands.
void clearStands();
// The stand with that id, or nullptr (0 finds nothing). Valid until the stands change.
Stand* findStandById(std::uint32_t sid);

// Stand records changed in this run (radius or cargo flag); the airport stand
// file is saved when it is 1 or more at the end of a static-parking pass.
extern std::uint32_t standUpdateCount;
