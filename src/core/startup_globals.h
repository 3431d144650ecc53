#pragma once
// Values that static initialisation sets besides the option records: the range
// derived from RANGE, the keys of the parameters block of airport stand files and
// the simulator named in the header of generated XML files.
//
// The per-category tables of the traffic engine are keyed by its AcCategory and
// live with the engine. The per-thread random engine is tlRandomEngine() of
// core/random.h.

#include <atomic>
#include <cstdint>
#include <string_view>

#include "core/options.h"

// The range around the user aircraft in nautical miles, as the traffic reader
// uses it. Written by setRangeNm (UI and worker threads), read everywhere.
extern std::atomic<double> rangeNm;
// The range in metres of the simulator's ground-info request: RANGE's default
// times 1852 until setRangeNm runs, nm x 1852 + 10000 from then on.
extern std::atomic<std::int32_t> rangeMetres;

inline constexpr double kRangeNmAtStart = kRangeDefaultNm;
inline constexpr std::int32_t kRangeMetresAtStart = kRangeDefaultNm * 1852;

// Keys of the parameters block of airport stand files: the names of these options.
inline constexpr std::string_view standKeyLateralRange = "LATERAL_RANGE";
inline constexpr std::string_view standKeyAutoRange = "AUTO_RANGE";
inline constexpr std::string_view standKeyInitialLoadOnly = "INITIAL_LOAD_ONLY";
inline constexpr std::string_view standKeyParkSoft = "PARK_SOFT";
inline constexpr std::string_view standKeyParkFake = "PARK_FAKE";
inline constexpr std::string_view standKeyParkingPercentage = "parking_percentage";
inline constexpr std::string_view standKeyMaxFit = "MAX_FIT";
inline constexpr std::string_view standKeyWeek = "WEEK";
inline constexpr std::string_view standKeyRtParktrafficOnly = "RT_PARKTRAFFIC_ONLY";
inline constexpr std::string_view standKeyLearnSoft = "LEARN_SOFT";
inline constexpr std::string_view standKeyMaxLive = "MAX_LIVE";

// The simulator the header of a generated XML file names: "MSFS" at start; every
// writer sets "P3D" before it writes (writeMetaInfo reads it).
extern SharedText& generatedFileSimulator;

// rangeNm, rangeMetres and generatedFileSimulator back to their start values (tests, restart).
void resetStartupGlobals();
