#include "airports/bgl_reader.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "airports/scan_log.h"
#include "core/fmt.h"
#include "core/log.h"
#include "platform/file_probe.h"
#include "platform/fs_path.h"

namespace {

constexpr std::uint64_t kMaxFileBytes = 1ull << 30;
constexpr std::uint64_t kHeadBytes = 4096;  // what the scan reads of a file before its header test
constexpr std::uint32_t kAirport = 0x3C;
constexpr std::uint32_t kAirportExtended = 0xAB;
constexpr std::uint32_t kName = 0x19;
constexpr std::uint32_t kHelipad = 0x26;
constexpr std::uint32_t kParkingList = 0x3D;
constexpr std::uint32_t kParkingListExtended = 0xAD;

// An index from the file that lies outside what encloses it.
struct BglBounds : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The file's words; every read names the end it must stay before.
class BglWords {
public:
    BglWords(const std::uint32_t* w, std::uint64_t n) : w_(w), n_(n) {}

    std::uint64_t size() const { return n_; }
    std::uint32_t at(std::uint64_t i, std::uint64_t limit) const
    {
        if (i >= limit || i >= n_) throw BglBounds(vr::format("word {} beyond {}", i, std::min(limit, n_)));
        return w_[i];
    }
    float floatAt(std::uint64_t i, std::uint64_t limit) const { return std::bit_cast<float>(at(i, limit)); }
    // Record head at word i: id in the low half of W[i], the size spans the high
    // half of W[i] and the low half of W[i+1].
    std::uint32_t id(std::uint64_t i, std::uint64_t limit) const { return at(i, limit) & 0xFFFF; }
    std::uint32_t size(std::uint64_t i, std::uint64_t limit) const
    {
        return (at(i, limit) >> 16) | (at(i + 1, limit) << 16);
    }
    // Byte b (from the start of the file), inside word limit.
    std::uint8_t byte(std::uint64_t b, std::uint64_t limit) const
    {
        return static_cast<std::uint8_t>(at(b / 4, limit) >> (8 * (b % 4)));
    }

private:
    const std::uint32_t* w_;
    std::uint64_t n_;
};

double lf_lon(std::uint32_t raw) { return raw * 4.470348358154297e-7 - 180.0; }
double lf_lat(std::uint32_t raw) { return 90.0 - raw * 3.3527612686157227e-7; }

bool lf_validPosition(double lat, double lon)
{
    if (!(lat >= -90.0 && lat <= 90.0 && lon >= -180.0 && lon <= 180.0)) return false;
    return !(std::fabs(lat) <= 0.0001 && std::fabs(lon) <= 0.0001);
}

double lf_headingRadians(float degrees)
{
    return degrees == 0.0f ? 6.283185307179586 : degrees * 0.017453292519943295;
}

std::string lf_latLonText(double lat, double lon) { return vr::format("{:.6f},{:.6f}", lat, lon); }

// The name of subrecord o (word index) of `size` bytes: L = min(size - 6, 45)
// bytes from byte 6, of which the compiled form keeps 2 + 4k + min(L - 4k - 2, 2)
// with k = (L - 2) / 4 (names over 44 characters lose their last one), never
// more than the subrecord holds; trailing NULs dropped.
std::string lf_decodeAirportNAME(const BglWords& w, std::uint64_t o, std::uint32_t size, std::uint64_t limit)
{
    const std::int64_t L = std::min<std::int64_t>(static_cast<std::int64_t>(size) - 6, 45);
    if (L <= 0) return {};
    std::int64_t count = L;
    if (L >= 2) {
        const std::int64_t k = (L - 2) / 4;
        const std::int64_t r = L - 4 * k - 2;
        count = 2 + 4 * k + std::min<std::int64_t>(r, 2);
    }
    std::string name;
    const std::uint64_t first = o * 4 + 6;
    for (std::int64_t i = 0; i < count; ++i) name.push_back(static_cast<char>(w.byte(first + i, limit)));
    while (!name.empty() && name.back() == '\0') name.pop_back();
    return name;
}

struct AirportRecord {
    std::uint64_t start;  // word index of the head
    std::uint64_t end;    // one past the record, within the file
    bool extended;
    std::uint64_t firstSub() const { return start + (extended ? 15 : 14); }
};

// Calls f(subrecord word index, id, size in bytes, end word) for each subrecord of
// the record until f returns false. A head below 4 bytes or past the record
// is malformed.
template <class F>
void lf_walkSubrecords(const BglWords& w, const AirportRecord& rec, F&& f)
{
    std::uint64_t sub = rec.firstSub();
    while (sub < rec.end) {
        const std::uint32_t id = w.id(sub, rec.end);
        const std::uint32_t size = w.size(sub, rec.end);
        if (size < 4) throw BglBounds(vr::format("subrecord 0x{:X} of size {}", id, size));
        const std::uint64_t end = sub + size / 4;
        if (end > rec.end) throw BglBounds(vr::format("subrecord 0x{:X} runs past its airport", id));
        if (!f(sub, id, size, end)) return;
        sub = end;
    }
}

// Elevation and name; a name that differs from one taken before leaves none.
void lf_readAirportHeader(const BglWords& w, const AirportRecord& rec, ScannedAirport& airport)
{
    airport.altitude = bglElevationFeet(static_cast<std::int32_t>(w.at(rec.start + 5, rec.end)));
    std::string name;
    lf_walkSubrecords(w, rec, [&](std::uint64_t sub, std::uint32_t id, std::uint32_t size, std::uint64_t end) {
        if (id == kName) {
            std::string n = lf_decodeAirportNAME(w, sub, size, end);
            if (name.empty()) name = std::move(n);
            else if (name != n) name.clear();
        }
        return true;
    });
    airport.airportName = std::move(name);
}

void lf_readHelipads(const BglWords& w, std::uint64_t sub, std::uint64_t end, ScannedAirport& airport,
                     BglAirportState& state)
{
    const double lon = lf_lon(w.at(sub + 3, end));
    const double lat = lf_lat(w.at(sub + 4, end));
    const float width = w.floatAt(sub + 7, end);
    const float heading = w.floatAt(sub + 8, end);
    if (!lf_validPosition(lat, lon)) {
        gf_scanLog("lat/lon helipad incorrect (skipped): " + lf_latLonText(lat, lon));
        return;
    }
    for (const auto& [la, lo] : state.helipadPositions) {
        if (std::fabs(la - lat) < 1e-8 && std::fabs(lo - lon) < 1e-8) {
            gf_scanLog("double helipad " + airport.airportName + " (skipped) " + lf_latLonText(lat, lon));
            return;
        }
    }
    if (!std::isfinite(width) || !std::isfinite(heading)) {
        gf_scanLog(vr::format("===> helipad {} of {} with size {} and heading {} (skipped) in {}", state.helipadNumber,
                              airport.icao, width, heading, airport.bglPath));
        return;
    }
    state.helipadPositions.emplace_back(lat, lon);
    airport.stands.emplace_back(vr::format("helipad{}", state.helipadNumber), std::vector<SlotRecord>{}, lat, lon,
                                lf_headingRadians(heading), width / 2.0, Stand::Kind{false, false, true});
    ++state.helipadNumber;
}

void lf_readParkingPositions(const BglWords& w, std::uint64_t sub, std::uint64_t end, bool wide,
                             ScannedAirport& airport, BglAirportState& state, const std::string& path)
{
    const std::uint32_t count = w.at(sub + 1, end) >> 16;
    // Room for the stands the list can hold (an entry takes 9 words or more), so
    // the records are not moved as they come.
    const std::uint64_t room = std::min<std::uint64_t>(count, (end - sub) / 9);
    airport.stands.reserve(airport.stands.size() + room);
    state.names.reserve(state.names.size() + room);
    std::uint64_t e = sub + 2;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t word = w.at(e, end);
        const float r = w.floatAt(e + 1, end);
        const float heading = w.floatAt(e + 2, end);
        const std::uint32_t rawLon = w.at(e + 7, end);
        const std::uint32_t rawLat = w.at(e + 8, end);
        const std::uint64_t next = e + (wide ? 10 : 9) + (word >> 24);
        if (next > end) throw BglBounds("parking entry runs past its list");
        e = next;

        if (!(r > 1.0f && r < 200.0f)) {
            gf_scanLog(vr::format("Skipped position with radius {:.1F} m in {}", r, path));
            continue;
        }
        const std::string name = lf_parkingNamePrefix(word & 0x3F) + std::to_string((word >> 12) & 0xFFF);
        const std::uint32_t type = (word >> 8) & 0xF;
        if (type == 0 || type > 11) continue;
        const double lat = lf_lat(rawLat);
        const double lon = lf_lon(rawLon);
        if (!lf_validPosition(lat, lon)) {
            gf_scanLog(vr::format("LatLon {} invalid (skipped)", lf_latLonText(lat, lon)));
            continue;
        }
        if (!std::isfinite(heading)) {
            gf_scanLog(vr::format("===> Skipped position {} with heading {} in {}", name, heading, path));
            continue;
        }
        std::string id = name;
        if (!state.names.insert(name).second) {
            state.duplicates = true;
            id.clear();
            for (char suffix : std::string_view("abcdef")) {
                if (state.names.insert(name + suffix).second) {
                    id = name + suffix;
                    break;
                }
            }
            if (id.empty()) {
                gf_scanLog(vr::format("===> Warning: more than 6 duplicate IDs {} in {}", name, path));
                continue;
            }
        }
        Stand& stand = airport.stands.emplace_back(id, std::vector<SlotRecord>{}, lat, lon, lf_headingRadians(heading),
                                                   r, Stand::Kind{type == 5, type < 8, false});
        stand.suffixMark = id != name;
    }
}

bool lf_stopped(const std::atomic<bool>* stop) { return stop && stop->load(std::memory_order_relaxed); }

void lf_processAirportRecord(const BglWords& w, const AirportRecord& rec, const std::string& icao,
                             const std::string& path, BglAirportHandler& handler, const std::atomic<bool>* stop)
{
    ScannedAirport airport;
    airport.icao = icao;
    int archived = 0;
    const bool linked = handler.linkAirport(airport, archived, path);
    try {
        lf_readAirportHeader(w, rec, airport);
        BglAirportState state;
        const std::uint32_t listId = rec.extended ? kParkingListExtended : kParkingList;
        lf_walkSubrecords(w, rec, [&](std::uint64_t sub, std::uint32_t id, std::uint32_t, std::uint64_t end) {
            if (id == kHelipad) {
                lf_readHelipads(w, sub, end, airport, state);
            } else if (id == listId) {
                lf_readParkingPositions(w, sub, end, rec.extended, airport, state, path);
                if (state.duplicates) lf_assignGeneratedIds(airport);
                return false;  // the first parking list only
            }
            return true;
        });
    } catch (const BglBounds& e) {
        gf_scanLog(vr::format("===> airport {} in {} is malformed ({}), skipped", icao, path, e.what()));
        return;
    }
    if (lf_stopped(stop)) return;
    const auto s = static_cast<std::int64_t>(airport.stands.size());
    const bool more = s > archived && airport.publisher != "simaddon";
    if (more) gf_scanLog(vr::format("===> {} has {} parkpos while archived one has {}", icao, s, archived));
    if (!linked || more) handler.generateAirportFile(airport);
}

// The records of one subsection, from word `start` to `end`.
void lf_walkRecords(const BglWords& w, std::uint64_t start, std::uint64_t end, const std::string& path,
                    BglAirportHandler& handler, const std::atomic<bool>* stop, std::unordered_set<std::uint64_t>& done)
{
    std::uint64_t pos = start;
    while (pos + 1 < end) {
        if (lf_stopped(stop)) return;
        const std::uint32_t id = w.id(pos, end);
        const std::uint32_t size = w.size(pos, end);
        if (size < 4) return;
        const std::uint64_t recEnd = pos + size / 4;
        if (id == kAirport || id == kAirportExtended) {
            if (recEnd > end || pos + 10 >= recEnd) {
                gf_scanLog(vr::format("===> airport record at byte {} in {} runs past its data, skipped", pos * 4,
                                      path));
                return;
            }
            const auto [icao, valid] = lf_decodeIdentifierOrRegionCode(w.at(pos + 10, recEnd));
            // Subsections that overlap (a broken size or offset) must not give an airport twice.
            if (valid && done.insert(pos).second)
                lf_processAirportRecord(w, {pos, recEnd, id == kAirportExtended}, icao, path, handler, stop);
        }
        pos = recEnd;
    }
}

void lf_processWords(const BglWords& w, const std::string& path, BglAirportHandler& handler,
                     const std::atomic<bool>* stop)
{
    const std::uint64_t n = w.size();
    if (n < 14 || w.at(1, n) != 56) return;
    const std::uint64_t sections = w.at(5, n);
    std::unordered_set<std::uint64_t> done;  // airport records read, by word index
    for (std::uint64_t i = 0; i < sections; ++i) {
        const std::uint64_t entry = 14 + 5 * i;
        if (entry + 5 > n) return;
        if (w.at(entry, n) != 3 || (w.at(entry + 1, n) & 0x10000) != 0) continue;
        // Entries beyond the table's size are not the table's.
        const std::uint64_t subsections = std::min<std::uint64_t>(w.at(entry + 2, n), w.at(entry + 4, n) / 16);
        const std::uint64_t table = w.at(entry + 3, n) / 4;
        for (std::uint64_t j = 0; j < subsections; ++j) {
            const std::uint64_t sub = table + 4 * j;
            if (sub + 4 > n) break;
            const std::uint64_t offset = w.at(sub + 2, n);
            const std::uint64_t end = std::min<std::uint64_t>(n, (offset + w.at(sub + 3, n)) / 4);
            lf_walkRecords(w, offset / 4, end, path, handler, stop, done);
            if (lf_stopped(stop)) return;
        }
    }
}

void lf_process(const BglWords& w, const std::string& path, BglAirportHandler& handler,
                const std::atomic<bool>* stop)
{
    try {
        lf_processWords(w, path, handler, stop);
    } catch (const BglBounds&) {
        // A malformed file outside any airport ends quietly.
    } catch (const std::exception& e) {
        logLineMarked(vr::format("Exception in lf_processBGLfile: {} in {}", e.what(), path));
        throw;
    }
}

// The header test over `read`, which fills the bytes asked for from the file's
// start onwards, one piece after the other (false when it cannot).
template <class Read>
bool lf_checkBGLhead(Read&& read, std::uint64_t fileSize)
{
    std::uint32_t header[14];
    if (!read(header, sizeof header)) return false;
    const std::uint64_t count = header[5];
    if (header[1] != 56 || count == 0 || fileSize <= 56 + 20 * count) return false;
    // The table in pieces, so a huge count costs no huge buffer.
    std::vector<std::uint32_t> table(5 * std::min<std::uint64_t>(count, 4096));
    for (std::uint64_t done = 0; done < count;) {
        const std::uint64_t now = std::min<std::uint64_t>(count - done, table.size() / 5);
        if (!read(table.data(), static_cast<std::size_t>(now * 20))) return false;
        for (std::uint64_t i = 0; i < now; ++i)
            if (table[5 * i] == 3) return true;
        done += now;
    }
    return false;
}

}  // namespace

std::int32_t bglElevationFeet(std::int32_t millimetres)
{
    const auto feet = static_cast<std::int32_t>(std::lround(millimetres * 3.2808399 / 1000.0));
    return feet + 20 > 10020 ? 0 : feet;
}

bool lf_checkBGLfile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::error_code ec;
    const std::uint64_t fileSize = std::filesystem::file_size(path, ec);
    return !ec && lf_checkBGLstream(in, fileSize);
}

bool lf_checkBGLstream(std::istream& in, std::uint64_t fileSize)
{
    return lf_checkBGLhead(
        [&in](void* into, std::size_t bytes) {
            return static_cast<bool>(in.read(static_cast<char*>(into), static_cast<std::streamsize>(bytes)));
        },
        fileSize);
}

BglScanFile lf_readBGLforScan(const std::filesystem::path& path, std::uint64_t keepBytes)
{
    BglScanFile out;
    platform::ReadOnlyFile file(path);
    const auto size = file.size();
    if (!size) return out;
    if (*size > std::min(kMaxFileBytes, keepBytes)) {  // tested as a stream, not read whole
        out.airports = lf_checkBGLfile(path);
        return out;
    }
    std::vector<std::uint32_t> words((std::min(*size, kHeadBytes) + 3) / 4, 0);
    std::uint64_t loaded = file.read(words.data(), static_cast<std::size_t>(std::min(*size, kHeadBytes)));
    // The rest of the file, once it is needed.
    const auto readRest = [&] {
        if (loaded == *size || file.readFailed() || loaded < std::min(*size, kHeadBytes)) return;
        words.resize((*size + 3) / 4, 0);
        loaded += file.read(reinterpret_cast<char*>(words.data()) + loaded, static_cast<std::size_t>(*size - loaded));
    };
    std::uint64_t at = 0;
    out.airports = lf_checkBGLhead(
        [&](void* into, std::size_t bytes) {
            if (at + bytes > loaded) readRest();
            if (at + bytes > loaded) return false;
            std::memcpy(into, reinterpret_cast<const char*>(words.data()) + at, bytes);
            at += bytes;
            return true;
        },
        *size);
    if (!out.airports) return out;
    readRest();
    if (loaded == *size && !file.readFailed()) out.words = std::move(words);
    return out;
}

std::optional<std::vector<std::uint32_t>> lf_readFileDwords(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size < 0 || static_cast<std::uint64_t>(size) > kMaxFileBytes) return std::nullopt;
    std::vector<std::uint32_t> words((static_cast<std::uint64_t>(size) + 3) / 4, 0);
    in.seekg(0);
    if (size > 0 && !in.read(reinterpret_cast<char*>(words.data()), size)) return std::nullopt;
    return words;
}

void lf_processBGLfile(const std::filesystem::path& path, BglAirportHandler& handler, const std::atomic<bool>* stop)
{
    const auto words = lf_readFileDwords(path);
    if (!words) return;
    lf_process(BglWords(words->data(), words->size()), platform::pathText(path), handler, stop);
}

void lf_processBGLwords(std::span<const std::uint32_t> words, const std::string& path, BglAirportHandler& handler,
                        const std::atomic<bool>* stop)
{
    lf_process(BglWords(words.data(), words.size()), path, handler, stop);
}

void lf_processBGLbytes(const std::uint8_t* data, std::size_t size, const std::string& path,
                        BglAirportHandler& handler, const std::atomic<bool>* stop)
{
    std::vector<std::uint32_t> words((size + 3) / 4, 0);
    if (size > 0) std::memcpy(words.data(), data, size);
    lf_process(BglWords(words.data(), words.size()), path, handler, stop);
}

std::pair<std::string, bool> lf_decodeIdentifierOrRegionCode(std::uint32_t word)
{
    std::uint32_t v = word >> 5;
    std::string text;
    bool blank = false;
    while (v > 0) {
        const std::uint32_t d = v % 38;
        v /= 38;
        char c = ' ';
        if (d == 0) blank = true;
        else if (d >= 2 && d <= 11) c = static_cast<char>('0' + d - 2);
        else c = static_cast<char>(d + 53);
        text.insert(text.begin(), c);
    }
    return {text, text.size() == 4 && !blank};
}

std::string lf_parkingNamePrefix(std::uint32_t nameIndex)
{
    static const char* const table[] = {"", "r", "p", "np", "ep", "sep", "sp", "swp", "wp", "nwp", "g", ""};
    if (nameIndex < 12) return table[nameIndex];
    return std::string(1, static_cast<char>(nameIndex + 53));
}

void lf_assignGeneratedIds(ScannedAirport& airport)
{
    auto& stands = airport.stands;
    for (;;) {
        const auto marked = std::find_if(stands.begin(), stands.end(), [](const Stand& s) { return s.suffixMark; });
        if (marked == stands.end()) return;
        marked->suffixMark = false;
        const std::string base = marked->name.substr(0, marked->name.size() - 1);
        std::vector<Stand*> group;
        for (Stand& s : stands) {
            const bool member = s.name == base || (s.name.size() == base.size() + 1 &&
                                                   s.name.compare(0, base.size(), base) == 0 &&
                                                   s.name.back() >= 'a' && s.name.back() <= 'f');
            if (!member) continue;
            s.suffixMark = false;
            group.push_back(&s);
        }
        std::stable_sort(group.begin(), group.end(), [](const Stand* a, const Stand* b) { return a->radius > b->radius; });
        for (std::size_t i = 0; i < group.size(); ++i)
            group[i]->name = i == 0 ? base : base + static_cast<char>('a' + i - 1);
    }
}
