#pragma once
// A small airport for the static parking's scenarios, written with the stand
// file writer into the current program folder: twelve stands of every kind
// (gates, ramps, cargo, a helipad) with two overlapping pairs (G5/G6, R1/R2),
// a learned file with options for the current weekday's evening half hours,
// and its entry in the airport list (EHAM).

#include <cstdint>
#include <filesystem>
#include <string>

#include "engine/stand.h"
#include "traffic_service/parked_record.h"

namespace tiny {

inline constexpr double lat0 = 52.30;
inline constexpr double lon = 4.76;
inline constexpr const char* publisher = "Tiny Scenery";

struct StandSpec {
    const char* name;
    double latOffset;  // degrees from lat0
    StandKind kind;
    const char* option;  // "airline type reg cs" of a learned option, or nullptr
};
extern const StandSpec stands[12];

double standLat(const std::string& name);
// The learned file the airport's learning goes to.
std::filesystem::path learnedFile();
// Writes the airport file, its learned file (options on `weekday`, half hours
// 40..47) and the airport list entry; false when a file could not be written.
bool writeAirport(std::uint32_t weekday, const std::string& heavyType);
// A parked-traffic record at the stand.
ParkedTrafficRecord parkedAt(const std::string& stand, std::uint32_t id, const std::string& airline,
                             const std::string& type, const std::string& callsign);

}  // namespace tiny
