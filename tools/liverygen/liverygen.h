#pragma once
// A generated library of installed AI aircraft, for the livery scan's tests and
// benchmark and for trying the scan by hand: a tree of aircraft folders
//   <dir>/SimObjects/Airplanes/<maker> <type> <n>/aircraft.cfg
//   <dir>/IVAO_MTL/IVAO_<type>[w]/aircraft.cfg
// each with its model folder, one texture folder per livery and the flight-model
// file, and the aircraft database the library is made for (<dir>/dbase.xml).
//
// The aircraft.cfg files look like real ones: 300 to 800 lines, [fltsim.N]
// sections with every key a livery has, [General] with atc_model and the other
// sections of an aircraft, in UTF-8 (with or without byte-order mark, LF or
// CRLF), UTF-16 or an 8-bit code page. A share of files and sections carries
// each fault the scanner reports; the generator counts what a scan must find.
// The same seed gives the same library, byte for byte.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace liverygen {

// What a scan of the library finds: Liveries, and the lines of each report list.
struct Expected {
    std::size_t liveries = 0;
    std::size_t invalidAirlineCodes = 0;
    std::size_t invalidAircraftCodes = 0;
    std::size_t fixes = 0;
    std::size_t invalidCfgFiles = 0;
    std::size_t incompleteSections = 0;  // before repeated lines are dropped
    std::size_t noFltsimSection = 0;

    bool operator==(const Expected&) const = default;
};

struct Library {
    std::filesystem::path root;
    std::filesystem::path dbaseXml;
    std::size_t files = 0;
    std::size_t lines = 0;  // of all aircraft.cfg files
    Expected expected;
};

// Writes a library of `count` aircraft.cfg files into `dir` (created when
// missing; files of an earlier library with the same names are overwritten).
// Throws std::filesystem::filesystem_error when it cannot write.
Library generateLiveryLibrary(const std::filesystem::path& dir, std::size_t count, std::uint32_t seed);

// The aircraft database of every generated library (plain XML).
std::string generatedDbaseXml();

// One aircraft.cfg with `sections` liveries (20 make 749 lines) and no fault,
// as the scanner reads it (for the single-file benchmark); the folders it names
// are made beside it. Returns its path.
std::filesystem::path writeSingleAircraft(const std::filesystem::path& folder, std::size_t sections);

}  // namespace liverygen
