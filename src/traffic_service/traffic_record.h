#pragma once
// One decoded aircraft of the live traffic, and the decoding of a 48-value
// entry of a traffic answer into it.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "traffic_service/service_types.h"

class TrafficReader;

struct TrafficRecord {
    std::string airline;
    std::string type;
    std::string origin;
    std::string destination;
    std::string callsign;
    std::string coupledCs;
    std::string coupledCs2;
    std::string registration;
    bool coupledCsSearched = false;
    double lat = 0.0;
    double lon = 0.0;
    double altitude = 0.0;      // ft, QNH-corrected; 0 on the ground
    double groundSpeed = 0.0;   // kt
    double track = 0.0;         // degrees
    double verticalRate = 0.0;  // ft/min
    double speed = 0.0;         // true airspeed, kt
    std::int32_t dueTick = 0;
    bool airborne = false;
    bool stationary = false;
    bool trueHeadingGiven = false;
    // On the ground away from the park airport (or with none): an aircraft seen
    // in the air lately, which only the aircraft already flown may take (its landing).
    bool awayFromPark = false;
    std::optional<double> bankAngle;    // rad
    std::optional<double> trueHeading;  // rad
    double time = 0.0;                  // s since 1970
    std::uint32_t aircraftId = 0;
};

// One value of an entry as the decoder reads it: a JSON number (integer or
// floating point, as a double), a JSON string (its text, pointing into the
// parsed answer) or anything else.
struct TrafficValue {
    enum class Kind : std::uint8_t { other, number, text };
    Kind kind = Kind::other;
    double number = 0.0;
    std::string_view text;
};

// The positions 0..28 of an entry: the decoder reads no others.
inline constexpr std::size_t trafficEntryPositions = 29;

// One entry of an answer as the decoder reads it, made by whichever JSON
// reader parsed the answer; its texts live as long as that parsed answer.
struct TrafficEntry {
    std::string_view typeName;  // empty for an array, else the JSON type's name ("object", "null" ...)
    std::size_t size = 0;       // the array's number of values
    std::array<TrafficValue, trafficEntryPositions> values{};
};

// The entry view of a JSON value (texts point into `entry`).
TrafficEntry trafficEntryOf(const nlohmann::json& entry);

// Decodes one entry (an array of 48 values) into a record appended to the
// reader's records, or drops it. Never throws.
void processTrafficRecord(TrafficReader& reader, const TrafficEntry& entry);
void processTrafficRecord(TrafficReader& reader, const nlohmann::json& entry);
// The same for the global reader's current entry (its JSON document).
void processTrafficRecord();

std::string jsonStringOr(const nlohmann::json& value);
std::string formatTrueHeading(double value);
std::string formatLatLon(const LatLon& position);
bool containsText(const std::string& text, const std::string& part);
bool containsChar(const std::string& text, char c);
// The leading hexadecimal digits of `text` as an unsigned 32-bit value; 0 when
// there is no digit or the value does not fit.
std::uint32_t leadingHexValue(std::string_view text);
// The last callsign reported blocked (survives resets); for tests.
void resetBlockedCallsignReport();
