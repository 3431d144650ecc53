#pragma once
// Stand-use learning: a live aircraft arriving at a stand (a real observation)
// or parked traffic seen at one (soft) adds the half hour to the stand's option
// for that aircraft, and a stay that goes on is extended within a limit. The
// options are saved into the airport's learned file when the parking there
// ends. Worker thread only.

#include <cstdint>
#include <string>

#include "core/airport_services.h"
#include "engine/stand.h"

// What the extension of a stay needs to know of the aircraft beyond its names.
struct LearnedAircraft {
    StandUser names;
    bool cargo = false;
    bool heavy = false;
};

// A real observation at the stand; true when something was recorded.
bool lt_addStandOption(std::uint32_t standId, const LearnedAircraft& ac, std::uint64_t weekdayAndSlot, bool extend);
// A soft observation (extra: the aircraft vanished in flight).
bool addStandOptionPT(std::uint32_t standId, const LearnedAircraft& ac, std::uint64_t weekdayAndSlot, bool extend,
                      bool extra);
// Extends the aircraft's stay in the option up to now; true when it fits.
// `real` is the kind of option made across midnight (1 real, 0 soft).
bool fitsTimeSlot(std::uint64_t weekdayAndSlot, std::vector<SlotRecord>& options, std::uint32_t optionIndex,
                  StandSighting& entry, const LearnedAircraft& ac, const std::string& key, std::uint32_t real = 1);
// Saves the park airport's learned file; true when saved.
bool saveAirportFile();
// The name of the stand; "sid==0?" for 0, "unknown" when no stand has the id.
std::string standName(std::uint32_t standId);

// What the load gave of the park airport's file, for the save.
struct LoadedAirport {
    std::string reference;
    std::string airportName;
    std::string publisher;
    std::int32_t altitude = 0;
};
extern LoadedAirport& loadedAirport;
