#pragma once
// One decoded parked aircraft of the parked-traffic answer.

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

struct ParkedTrafficRecord {
    std::string airline;
    std::string type;
    std::string origin;
    std::string destination;
    std::string callsign;  // the flight text, cleaned
    std::string coupledCs;
    std::string coupledCs2;
    std::string registration;
    bool coupledCsSearched = false;
    double lat = 0.0;
    double lon = 0.0;
    std::uint32_t aircraftId = 0;
    std::int32_t slot = -1;  // half-hour slot of the sighting; an age once processed
    std::string stand;
};

// Decodes the 7-value `entry` of hex id `key` and appends a record to `out`, or
// drops it (logging what is not a plain drop). Never throws.
void processParkedTrafficLine(const std::string& key, const nlohmann::json& entry,
                              std::vector<ParkedTrafficRecord>& out);

std::string formatParkedLineMessage(const std::string& text);
