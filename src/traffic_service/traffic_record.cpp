#include "traffic_service/traffic_record.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <stdexcept>

#include "core/fmt.h"
#include "core/run_state.h"
#include "core/utils.h"
#include "traffic_service/handover.h"
#include "traffic_service/traffic_reader.h"

namespace {

using Kind = TrafficValue::Kind;

double lf_number(const TrafficEntry& entry, std::size_t i)
{
    const TrafficValue& v = entry.values[i];
    return v.kind == Kind::number ? v.number : 0.0;
}

// A text position; empty for anything that is not a text.
std::string_view lf_text(const TrafficEntry& entry, std::size_t i)
{
    const TrafficValue& v = entry.values[i];
    return v.kind == Kind::text ? v.text : std::string_view();
}

bool lf_isNumber(const TrafficEntry& entry, std::size_t i) { return entry.values[i].kind == Kind::number; }

// The last reported blocked callsign lives for the whole run, across resets.
std::mutex& lf_blockedMutex()
{
    static auto* m = new std::mutex;
    return *m;
}
std::string& lf_lastBlockedCallsign()
{
    static auto* s = new std::string;
    return *s;
}

bool lf_decodeRegistration(TrafficRecord& record, const TrafficEntry& entry)
{
    record.registration.clear();
    const std::string_view reg = lf_text(entry, 9);
    if (reg.size() > 12) return false;
    if (reg != "null") record.registration = reg;
    return true;
}

bool lf_acceptCategory(const TrafficRecord& record, const TrafficEntry& entry)
{
    return gf_isAircraftCategory(record.type, lf_text(entry, 28));
}

bool lf_decodeHexId(TrafficRecord& record, const TrafficEntry& entry)
{
    const std::string_view hex = lf_text(entry, 0);
    if (hex.empty()) return false;
    record.aircraftId = leadingHexValue(hex);
    return record.aircraftId > 10000;
}

void lf_decodeAltitude(TrafficReader& reader, TrafficRecord& record, const TrafficEntry& entry)
{
    double raw = 0.0;
    if (lf_isNumber(entry, 4))
        raw = lf_number(entry, 4);
    else if (lf_isNumber(entry, 18))
        raw = lf_number(entry, 18);
    if (raw <= 0) {
        record.altitude = 0;
        return;
    }
    double a = std::max(0.0, (reader.qnh.load() - 1013) * 30.0 + raw);
    if (a > 0 && a < 14000) {
        const std::optional<double> ref = reader.referenceElevation();
        const double h = a - (ref ? *ref : -1000.0);
        const double gs = record.groundSpeed;
        if (h <= 0 || (h <= 45 && gs <= 120) || (h <= 90 && gs <= 80) || (h <= 120 && gs <= 43)) a = 0;
    }
    if (a > 0 && record.groundSpeed <= 35) a = 0;
    record.altitude = a;
}

bool lf_checkBlockedCallsign(TrafficReader& reader, TrafficRecord& record, const TrafficEntry& entry)
{
    record.callsign.clear();
    record.callsign = lf_text(entry, 13);
    if (record.callsign == "null" || containsChar(record.callsign, '@')) record.callsign.clear();
    if (record.callsign == "ERARMTR0" || record.callsign == "AIRPORT1") return false;
    const std::string blocked = serviceHandover().blockCallsign();
    if (blocked.empty() || blocked != record.callsign) return true;

    auto& h = serviceHandover();
    std::unique_lock lock(lf_blockedMutex());
    std::string& last = lf_lastBlockedCallsign();
    if (reader.blockedState.load()) {
        reader.blockedState = false;
        last = blocked;
        lock.unlock();
        h.pushBlockedReply(record.aircraftId);
        h.showMessage("Reader: Live aircraft " + record.callsign + " blocked", true);
    } else if (last != blocked) {
        const std::string previous = last;
        last.clear();
        reader.blockedState = true;
        lock.unlock();
        h.showMessage("Reader: Live aircraft " + previous + " no longer blocked", true);
    }
    return false;
}

// How long after its last record in the air a ground record of an aircraft
// away from the park airport is still taken for its landing: the roll-out and
// the taxi that follow it.
constexpr double lf_landedWithinSeconds = 600.0;
// Above this many entries the ones older than that go.
constexpr std::size_t lf_airborneKept = 8192;

void lf_noteAirborne(TrafficReader& reader, const TrafficRecord& r)
{
    auto& seen = reader.airborneSeen;
    if (seen.size() >= lf_airborneKept) {
        std::erase_if(seen, [&r](const auto& e) { return !(r.time - e.second <= lf_landedWithinSeconds); });
    }
    seen[r.aircraftId] = r.time;
}

bool lf_airborneLately(const TrafficReader& reader, const TrafficRecord& r)
{
    const auto it = reader.airborneSeen.find(r.aircraftId);
    return it != reader.airborneSeen.end() && r.time - it->second <= lf_landedWithinSeconds;
}

double lf_defaultSpeed(double altitude)
{
    if (altitude <= 2000) return 180;
    if (altitude <= 5000) return 220;
    if (altitude <= 10000) return 250;
    if (altitude <= 20000) return 350;
    return 430;
}

// The steps of one record; false drops it silently.
bool lf_decode(TrafficReader& reader, TrafficRecord& r, const TrafficEntry& entry)
{
    if (!entry.typeName.empty() || entry.size < trafficEntryPositions)
        throw std::runtime_error(
            vr::format("entry is not an array of 48 values: {}", entry.typeName.empty() ? "array" : entry.typeName));
    auto& h = serviceHandover();

    r.time = lf_number(entry, 10);
    reader.lastRecordTime = r.time;
    trafficLastRecordTime = r.time;  // the program's time while a time shift is active
    if (!lf_decodeRegistration(r, entry)) return false;
    r.type = lf_text(entry, 8);
    if (r.type == "0" || r.type == "ZZZZ") r.type.clear();
    if (!lf_acceptCategory(r, entry)) return false;

    r.lat = lf_number(entry, 1);
    r.lon = lf_number(entry, 2);
    if (r.lat < -90 || r.lat > 90 || r.lon < -180 || r.lon > 180 ||
        (std::fabs(r.lat) <= 0.0001 && std::fabs(r.lon) <= 0.0001))
        return false;  // "lalo": no usable position
    if (distanceNm(reader.userPosition(), {r.lat, r.lon}) > h.rangeNm()) return false;

    r.trueHeading.reset();
    r.trueHeadingGiven = false;
    // The service prefixes the source with its feed ("X_adsb_icao", "T_adsb_icao").
    if (lf_text(entry, 17).ends_with("adsb_icao")) {
        const double th = lf_number(entry, 25);
        if (th == 0) {
            r.trueHeading = geo::twoPi;
        } else if (th > 0 && th <= 360) {
            r.trueHeading = th * geo::degToRad;
        } else if (th > 360) {
            return false;  // "true heading: {:.2F}"
        }
        r.trueHeadingGiven = r.trueHeading.has_value();
    }

    if (!lf_decodeHexId(r, entry)) return false;
    r.groundSpeed = lf_number(entry, 5);
    lf_decodeAltitude(reader, r, entry);
    r.airborne = r.altitude > 0;
    if (!lf_checkBlockedCallsign(reader, r, entry)) return false;
    if (r.callsign.empty() && r.registration.empty()) return false;

    if (reader.collectMaps.load()) reader.collect(r.callsign, r.aircraftId);

    if (r.airborne) {
        lf_noteAirborne(reader, r);
    } else {
        const ServiceParkAirport park = h.parkAirport();
        if (park.code.empty() || distanceNm(park.position, {r.lat, r.lon}) > 5.0) {
            // Away from the park airport only a landing is followed on the ground:
            // an aircraft seen in the air lately rolls out and taxis as served.
            if (!lf_airborneLately(reader, r)) return false;
            r.awayFromPark = true;
        }
    }

    r.track = lf_number(entry, 3);
    if (r.track == 0 && r.trueHeadingGiven) r.track = *r.trueHeading * geo::radToDeg;
    r.verticalRate = lf_number(entry, 15);
    r.origin = lf_text(entry, 11);
    if (r.origin == "null") r.origin.clear();
    r.destination = lf_text(entry, 12);
    if (r.destination == "null") r.destination.clear();

    if (r.airborne && lf_isNumber(entry, 23)) {
        const double v = lf_number(entry, 23);
        if (v != 0 && v != -1) r.bankAngle = -v * geo::degToRad;
    }
    if (lf_isNumber(entry, 20) && lf_number(entry, 20) != -1)
        r.speed = lf_number(entry, 20);
    else
        r.speed = lf_defaultSpeed(r.altitude);
    r.stationary = false;
    return true;
}

}  // namespace

std::string jsonStringOr(const nlohmann::json& value) { return value.is_string() ? value.get<std::string>() : ""; }

std::string formatTrueHeading(double value) { return vr::format("true heading: {:.2F}", value); }

std::string formatLatLon(const LatLon& position)
{
    return vr::format("{:.6f},{:.6f}", position.lat, position.lon);
}

bool containsText(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool containsChar(const std::string& text, char c) { return text.find(c) != std::string::npos; }

std::uint32_t leadingHexValue(std::string_view text)
{
    std::uint64_t v = 0;
    bool any = false;
    for (char c : text) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            break;
        any = true;
        v = v * 16 + static_cast<std::uint64_t>(d);
        if (v > 0xFFFFFFFFull) return 0;
    }
    return any ? static_cast<std::uint32_t>(v) : 0;
}

void resetBlockedCallsignReport()
{
    std::lock_guard lock(lf_blockedMutex());
    lf_lastBlockedCallsign().clear();
}

TrafficEntry trafficEntryOf(const nlohmann::json& entry)
{
    TrafficEntry e;
    if (!entry.is_array()) {
        e.typeName = entry.type_name();
        return e;
    }
    e.size = entry.size();
    const std::size_t n = std::min(e.size, trafficEntryPositions);
    for (std::size_t i = 0; i < n; ++i) {
        const nlohmann::json& v = entry[i];
        if (v.is_number()) {
            e.values[i].kind = Kind::number;
            e.values[i].number = v.get<double>();
        } else if (v.is_string()) {
            e.values[i].kind = Kind::text;
            e.values[i].text = v.get_ref<const std::string&>();
        }
    }
    return e;
}

void processTrafficRecord(TrafficReader& reader, const nlohmann::json& entry)
{
    processTrafficRecord(reader, trafficEntryOf(entry));
}

void processTrafficRecord(TrafficReader& reader, const TrafficEntry& entry)
{
    try {
        TrafficRecord r;
        if (lf_decode(reader, r, entry)) reader.records.push_back(std::move(r));
    } catch (const std::exception& e) {
        serviceHandover().logLine(vr::format("{}: {}", "processLine", e.what()));
    }
}

void processTrafficRecord() { processTrafficRecord(trafficReader(), trafficReader().document); }
