#include "traffic_service/parked_record.h"

#include <cmath>
#include <stdexcept>

#include <gsl/narrow>

#include "core/fmt.h"
#include "core/time.h"
#include "traffic_service/handover.h"
#include "traffic_service/traffic_record.h"

namespace {

using nlohmann::json;

std::int64_t lf_parkedTime(const json& v)
{
    if (v.is_number_float()) {
        const double r = std::round(v.get<double>());
        // Out of the 64-bit range (the cast itself would be undefined).
        if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18)) throw gsl::narrowing_error();
        return static_cast<std::int64_t>(r);
    }
    return v.get<std::int64_t>();  // a value that is not a number raises a type error
}

void lf_decodeParkedRegistration(ParkedTrafficRecord& record, const json& entry)
{
    std::string reg = jsonStringOr(entry[4]);
    record.registration = (reg.size() > 12 || reg == "null") ? std::string() : std::move(reg);
}

std::string lf_cleanFlight(std::string flight)
{
    if (flight == "null" || containsChar(flight, '@') || containsText(flight, "00000") || flight.size() > 8) return {};
    if (!flight.empty() && flight.front() == '.') flight.erase(0, 1);
    return flight;
}

bool lf_decode(const std::string& key, const json& entry, ParkedTrafficRecord& r)
{
    // Members that are no aircraft ("ICAO", "QNH", "buffer_0", ids up to 10000) go
    // without a log line, whatever their shape.
    r.aircraftId = leadingHexValue(key);
    if (r.aircraftId <= 10000) return false;
    if (!entry.is_array() || entry.size() < 7)
        throw std::runtime_error(vr::format("entry is not an array of 7 values: {}", entry.type_name()));
    r.slot = halfHourSlotAt(lf_parkedTime(entry[5]));
    lf_decodeParkedRegistration(r, entry);

    r.type = jsonStringOr(entry[3]);
    if (r.type == "0" || r.type == "ZZZZ") r.type.clear();
    static const char* const aliases[][2] = {{"A380", "A388"}, {"B767", "B763"}, {"B747", "B744"}, {"B757", "B752"}};
    for (const auto& a : aliases)
        if (r.type == a[0]) {
            r.type = a[1];
            break;
        }

    // Only floating-point numbers count as a position here.
    r.lat = entry[0].is_number_float() ? entry[0].get<double>() : 0.0;
    r.lon = entry[1].is_number_float() ? entry[1].get<double>() : 0.0;
    if (r.lat < -90 || r.lat > 90 || r.lon < -180 || r.lon > 180 ||
        (std::fabs(r.lat) <= 0.0001 && std::fabs(r.lon) <= 0.0001))
        return false;  // "lalo:": no usable position

    r.callsign = lf_cleanFlight(jsonStringOr(entry[6]));

    auto& h = serviceHandover();
    if (r.registration.empty() && !r.callsign.empty()) {
        if (auto db = h.findDbaseRecord(r.callsign)) {
            r.airline = db->airline;
            r.type = db->type;
            r.registration = r.callsign;
            if (!db->op.empty()) r.airline = db->op;
        }
    } else if (!r.registration.empty()) {
        if (auto db = h.findDbaseRecord(r.registration)) {
            r.airline = db->airline;
            r.type = db->type;
            if (!db->op.empty()) r.airline = db->op;
            if (r.callsign.empty()) r.callsign = r.registration;
        }
    }

    if (r.type.empty() || !h.isKnownType(r.type) || !h.isTypeCategoryIncluded(r.type)) return false;
    if (!entry[2].is_string()) return false;
    r.stand = entry[2].get<std::string>();
    // An empty reserved or user stand means there is none to keep free.
    const std::string reserved = h.reservedStandName();
    if (!reserved.empty() && r.stand == reserved) return false;
    const std::string userStand = h.userStandAirport();
    if (!userStand.empty() && r.stand == userStand) return false;
    return true;
}

}  // namespace

std::string formatParkedLineMessage(const std::string& text)
{
    return vr::format("{}: {}", "processParkedTrafficLine", text);
}

void processParkedTrafficLine(const std::string& key, const nlohmann::json& entry,
                              std::vector<ParkedTrafficRecord>& out)
{
    try {
        ParkedTrafficRecord r;
        if (lf_decode(key, entry, r)) out.push_back(std::move(r));
    } catch (const std::exception& e) {
        serviceHandover().logLineMarked(formatParkedLineMessage(e.what()));
    }
}
