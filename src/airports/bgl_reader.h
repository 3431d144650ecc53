#pragma once
// Reader of compiled airport scenery files (BGL): every airport of a file with
// its ICAO code, name, elevation and stands (parking spots and helipads). One
// scan task reads one file; everything here is per call, so any number of tasks
// may read at once.
//
// The file is outside input. It is read whole into 32-bit little-endian words;
// every index taken from the file is checked (in 64 bits) against the end of the
// file and of the enclosing section, subsection, record or list before it is
// read, and every walk needs a record size of at least 4 bytes to move on. A
// malformed airport record ends that airport with a scan-log line; a malformed
// file ends quietly.
//
// Layout read (byte offsets): header W[1] = 56, W[5] section count; section
// entries of 20 bytes from byte 56 (+0 type, 3 = airports; +4 flags, read only
// when bit 16 is clear; +8 subsection count; +12 subsection table offset);
// subsection entries of 16 bytes (+8 data offset, +12 data size); record head
// u16 id + u32 size; airports 0x3C / 0xAB (elevation +20, ident +40,
// subrecords from +56 / +60); names 0x19, helipads 0x26, parking lists 0x3D /
// 0xAD with 36- / 40-byte entries plus 4 bytes per airline code.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <iosfwd>
#include <optional>
#include <span>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "airports/stand_file.h"
#include "engine/stand.h"

// One airport read from a BGL file, as the scan links and generates it.
struct ScannedAirport : AirportFile {
    std::string icao;
};

// What becomes of each airport read: the scan links it to an archived file and
// generates its stand file; tests and the fuzz target record.
class BglAirportHandler {
public:
    virtual ~BglAirportHandler() = default;
    // Stores the path and publisher in the airport; true when it was linked,
    // with the archived file's stand count (0 without one).
    virtual bool linkAirport(ScannedAirport& airport, int& archivedCount, const std::string& path) = 0;
    // Writes the airport's generated stand file.
    virtual void generateAirportFile(ScannedAirport& airport) = 0;
};

// Per airport record: names taken, duplicates seen, helipad numbering and the
// helipad positions of this airport.
struct BglAirportState {
    std::unordered_set<std::string> names;
    bool duplicates = false;
    int helipadNumber = 1;
    std::vector<std::pair<double, double>> helipadPositions;  // lat, lon
};

// The cheap test made before a task is started: the file opens, holds the 56-byte
// header with W[1] = 56, a section count above 0, is longer than 56 + 20 x count
// bytes, and has a section of type 3 in its table. Reads the header and the
// section table only.
bool lf_checkBGLfile(const std::filesystem::path& path);
// The same test on an open stream of `size` bytes, read from its start.
bool lf_checkBGLstream(std::istream& in, std::uint64_t size);

// A scenery file as the scan takes it: opened once, given the header test of
// lf_checkBGLfile and, when it passes and has at most `keepBytes` bytes, read
// whole (the head first, so a file that fails costs only its first 4 KiB).
struct BglScanFile {
    bool airports = false;  // passed the header test
    // The whole file as lf_readFileDwords gives it, when it passed, was small
    // enough and could be read.
    std::optional<std::vector<std::uint32_t>> words;
};
BglScanFile lf_readBGLforScan(const std::filesystem::path& path, std::uint64_t keepBytes = UINT64_MAX);

// One task's work: reads the file and hands every airport in it to `handler`.
// `stop`, when given, is looked at before each record. A file that cannot be read
// or is malformed ends quietly; an exception is logged ("Exception in
// lf_processBGLfile: ...") and raised again.
void lf_processBGLfile(const std::filesystem::path& path, BglAirportHandler& handler,
                       const std::atomic<bool>* stop = nullptr);
// The same over the file's words already read (lf_readBGLforScan); `path` names
// them in messages.
void lf_processBGLwords(std::span<const std::uint32_t> words, const std::string& path, BglAirportHandler& handler,
                        const std::atomic<bool>* stop = nullptr);
// The same over bytes already in memory (fuzzing); `path` names them in messages.
void lf_processBGLbytes(const std::uint8_t* data, std::size_t size, const std::string& path,
                        BglAirportHandler& handler, const std::atomic<bool>* stop = nullptr);

// The whole file as words in one read, the last one padded with zero bytes;
// nullopt when it cannot be read or is larger than 1 GiB.
std::optional<std::vector<std::uint32_t>> lf_readFileDwords(const std::filesystem::path& path);

// Base 38 of word >> 5: 0 a blank, 2..11 '0'..'9', 1 and 12..37 the character
// digit + 53. Valid with exactly 4 characters and no blank.
std::pair<std::string, bool> lf_decodeIdentifierOrRegionCode(std::uint32_t word);

// "" for 0 and 11, r p np ep sep sp swp wp nwp g for 1..10, else the character index + 53.
std::string lf_parkingNamePrefix(std::uint32_t nameIndex);

// Among stands that share one name, the largest keeps the plain name and the
// others get "a", "b", ... in order of decreasing radius (stands carrying the
// suffix mark start a group).
void lf_assignGeneratedIds(ScannedAirport& airport);

// Feet from signed millimetres, rounded; above 10,000 ft (feet + 20 > 10,020) 0.
std::int32_t bglElevationFeet(std::int32_t millimetres);
