#pragma once
// BglBuilder: writes compiled airport scenery files (BGL) as the simulator's SDK
// compiler lays them out, for the tests, the benchmark and the fuzz seeds. Every
// offset follows the published BGL layout (not the reader):
//
//   file header, 56 bytes: +0 magic 0x19920201, +4 header size 56, +8/+12 file
//     time, +16 second magic 0x08051803, +20 section count, +24 eight QMIDs
//   section entry, 20 bytes from byte 56: +0 type (3 = airport), +4 flags (bit 16
//     set: 20-byte subsection entries), +8 subsection count, +12 offset of the
//     subsection table, +16 size of that table
//   subsection entry, 16 bytes: +0 id, +4 record count, +8 data offset, +12 data size
//   record head: +0 u16 id, +2 u32 size including the head
//   airport 0x3C (56-byte head) or 0xAB (60): +11 helipad count, +12 lon, +16 lat,
//     +20 elevation (signed mm), +40 ident (base 38 << 5), +44 region
//   name 0x19: text from +6, padded with NULs so the size is a multiple of 4
//   helipad 0x26, 36 bytes: +12 lon, +16 lat, +20 alt, +24 length, +28 width,
//     +32 heading (f32 degrees)
//   parking list 0x3D (36-byte entries) / 0xAD (40-byte entries): +6 u16 count;
//     entry: bits 0-5 name, 6-7 push-back, 8-11 type, 12-23 number, 24-31 airline
//     code count; +4 radius, +8 heading, +12..+27 tee offsets, +28 lon, +32 lat;
//     then 4 bytes per airline code
//
// Besides well-formed files it makes broken ones: every size and count field is
// listed with its byte offset, so a test can overwrite it, and files can be cut.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace bglb {

inline constexpr std::uint32_t kMagic = 0x19920201;
inline constexpr std::uint32_t kMagic2 = 0x08051803;
inline constexpr std::uint32_t kHeaderSize = 56;
inline constexpr std::uint32_t kAirportSection = 3;
inline constexpr std::uint32_t kFlagBit16 = 0x10000;

// The packed forms; lat/lon rounded to the nearest step of the grid.
std::uint32_t encodeLat(double lat);
std::uint32_t encodeLon(double lon);
// Base 38, most significant first: ' ' 0, '0'..'9' 2..11, 'A'..'Z' 12..37; the
// word is that number << 5. Other characters count as ' '.
std::uint32_t encodeIdent(std::string_view ident);

struct Parking {
    int nameIndex = 2;  // "p"
    int type = 8;       // a gate
    int number = 1;
    float radius = 20.0f;  // metres
    float heading = 90.0f; // degrees
    double lat = 52.3;
    double lon = 4.76;
    std::vector<std::string> airlineCodes;  // up to 4 characters each
};

struct NameRec {
    std::string text;
    std::int64_t sizeOverride = -1;  // >= 0: written in place of the padded size
};
struct HelipadRec {
    double lat = 52.3;
    double lon = 4.76;
    float length = 20.0f;
    float width = 20.0f;
    float heading = 0.0f;
};
struct ParkingListRec {
    std::vector<Parking> entries;
    int id = -1;             // -1: 0x3D in a 0x3C airport, 0xAD in a 0xAB one
    int countOverride = -1;  // -1: the number of entries
};
// Any other subrecord (runway 0x04, COM 0x12, ...): a head and zero bytes.
struct OtherRec {
    std::uint16_t id = 0x0012;
    std::uint32_t payloadBytes = 10;
};
using SubRecord = std::variant<NameRec, HelipadRec, ParkingListRec, OtherRec>;

struct Airport {
    std::string ident = "EHAM";
    bool extended = false;  // 0xAB with 60-byte head, else 0x3C with 56
    std::int32_t elevationMm = 0;
    double lat = 52.3086;
    double lon = 4.7639;
    std::optional<std::uint32_t> identWord;  // written in place of encodeIdent(ident)
    std::vector<SubRecord> subs;
};

// Bytes of a record that is not an airport (read as a record of the walk).
struct OtherRecord {
    std::uint16_t id = 0x0004;
    std::uint32_t payloadBytes = 18;
};
using Record = std::variant<Airport, OtherRecord>;

struct Subsection {
    std::vector<Record> records;
};
struct Section {
    std::uint32_t type = kAirportSection;
    std::uint32_t flags = 1;
    std::vector<Subsection> subsections;
};

// A field of the image a test may overwrite.
struct Field {
    std::uint64_t offset = 0;  // byte offset in the file
    int width = 4;             // 2 or 4 bytes
    std::string what;          // "section count", "airport size", ...
};

struct BglImage {
    std::vector<std::uint8_t> bytes;
    std::vector<Field> sizes;   // record and subrecord sizes, subsection data sizes, header size
    std::vector<Field> counts;  // section, subsection and parking counts
    std::vector<Field> offsets; // subsection table and data offsets

    // Writes `value` into the field (little-endian, cut to its width).
    void patch(const Field& field, std::uint32_t value);
    // The first `n` bytes only.
    void cut(std::size_t n);
    bool write(const std::filesystem::path& path) const;
};

class BglBuilder {
public:
    BglBuilder& section(Section s);
    // One airport section with one subsection holding the airports.
    BglBuilder& airports(std::vector<Airport> list);
    // A section of another type with one subsection of `bytes` zero bytes.
    BglBuilder& otherSection(std::uint32_t type, std::uint32_t bytes = 64);

    BglImage build() const;

private:
    std::vector<Section> sections_;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> others_;  // index in sections_ -> payload
};

// A small well-formed airport: name, a helipad, a parking list of `stands`
// entries p1..pN, airline codes on every third, and a COM subrecord.
Airport sampleAirport(std::string ident, int stands, bool extended, double lat = 52.3, double lon = 4.76);
// A file with one airport section holding `airports`.
BglImage sampleFile(const std::vector<Airport>& airports);
// A file without an airport section (what most scenery files are).
BglImage sceneryWithoutAirport(std::uint32_t bytes = 256);

// A scenery library of `files` BGL files in a few publisher folders below
// `folder`: every `airportEvery`-th file holds an airport of 20 to `maxStands`
// stands (both forms by turns; every tenth reuses the code of the one before),
// the others only sections without airports. The same every time.
struct LibraryStats {
    std::size_t files = 0;
    std::size_t airports = 0;
    std::uint64_t bytes = 0;
};
LibraryStats writeSceneryLibrary(const std::filesystem::path& folder, int files, int airportEvery, int maxStands);

}  // namespace bglb
