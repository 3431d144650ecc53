#include "airports/airport_list.h"

#include <algorithm>

#include "airports/airport_load.h"
#include "airports/c_numbers.h"
#include "core/errors.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/paths.h"
#include "platform/fs_path.h"

std::vector<Airport>& airportList = *new std::vector<Airport>;
std::atomic<bool>& airportsRead = *new std::atomic<bool>(false);

namespace {

constexpr std::size_t kReservedAirports = 44000;

bool lf_parseNumber(const pugi::xml_attribute& attribute, double& value, std::string& error)
{
    const ParsedNumber n = parseLeadingDouble(attribute.as_string());
    if (n.status == NumberStatus::ok) {
        value = n.value;
        return true;
    }
    error = n.status == NumberStatus::outOfRange ? "stod argument out of range" : "invalid stod argument";
    return false;
}

}  // namespace

void parseAirport(const pugi::xml_node& airport, const std::string& code)
{
    const pugi::xml_attribute lat = airport.attribute("lat");
    const pugi::xml_attribute lon = airport.attribute("lon");
    const pugi::xml_attribute alt = airport.attribute("alt");
    if (!lat || !lon || !alt) {
        logLineMarked(vr::format("Missing lat/lon/alt for airport '{}'", code));
        return;
    }
    Airport a{.code = code, .iata = airport.attribute("iata").as_string()};
    std::string error;
    if (!lf_parseNumber(alt, a.alt, error) || !lf_parseNumber(lat, a.lat, error) || !lf_parseNumber(lon, a.lon, error)) {
        logLineMarked(vr::format("Error parsing coordinates for airport '{}': {}", code, error));
        return;
    }
    airportList.push_back(std::move(a));
}

bool readAirportsDocument(const pugi::xml_document& doc, const std::string& pathText)
{
    const pugi::xml_node root = doc.child("airports");
    if (!root) throw qxv::UserErrorException(88, "Missing <airports> root in: " + pathText);
    for (pugi::xml_node a = root.child("airport"); a; a = a.next_sibling("airport"))
        parseAirport(a, a.attribute("code").as_string());
    std::stable_sort(airportList.begin(), airportList.end(),
                     [](const Airport& x, const Airport& y) { return x.code < y.code; });
    logLine(vr::format("{} airports read from '{}'", airportList.size(), pathText));
    airportList.shrink_to_fit();
    airportsRead = true;
    return !airportList.empty();
}

bool readAirports(const std::filesystem::path& fileName)
{
    if (airportsRead) return !airportList.empty();
    // Whatever an earlier failed read appended goes: a retry must not hold airports twice.
    airportList.clear();
    const std::filesystem::path path = platform::toFsPath((inputFolder / fileName).generic_string());
    const std::string pathText = platform::pathText(path);
    try {
        if (airportList.capacity() < kReservedAirports) airportList.reserve(kReservedAirports);
        pugi::xml_document doc;
        const pugi::xml_parse_result loaded = doc.load_file(path.c_str());
        if (!loaded) throw qxv::UserErrorException(88, pathText + " not loaded: " + loaded.description());
        return readAirportsDocument(doc, pathText);
    } catch (const qxv::UserErrorException&) {
        airportList.clear();
        throw;
    } catch (const std::exception& e) {
        airportList.clear();
        throw qxv::UserErrorException(88, e.what());
    }
}

std::string airportLabel(const Airport& airport)
{
    std::string label = airport.code.empty() ? "?" : airport.code;
    if (!airport.iata.empty()) label += " (" + airport.iata + ")";
    return label;
}

const Airport* findAirport(std::string_view code)
{
    const auto it = std::lower_bound(airportList.begin(), airportList.end(), code,
                                     [](const Airport& a, std::string_view c) { return a.code < c; });
    return it != airportList.end() && it->code == code ? &*it : nullptr;
}

const Airport* closestAirportOrStand(const LatLon& position)
{
    double best = 100.0;
    const Airport* closest = nullptr;
    const Airport* neighbour = nullptr;
    for (const Airport& a : airportList) {
        const double d = distanceNm(position, {a.lat, a.lon});
        if (d <= 5.0 && d < best) {
            if (closest) neighbour = closest;
            closest = &a;
            best = d;
        }
    }
    if (!closest || !neighbour) return closest;
    logLine(vr::format("Airport {} is closest, neighbour is {}", closest->code, neighbour->code));
    std::string closestStand;
    std::string neighbourStand;
    const double closestDistance = gf_readDestApfForClosestStand(closest->code, position, closestStand);
    const double neighbourDistance = gf_readDestApfForClosestStand(neighbour->code, position, neighbourStand);
    if (neighbourDistance < closestDistance) {
        logLine(vr::format("Airport {} is closest, but stand {} at neighbouring airport {} is closer at {:.0F} meters ...",
                           closest->code, neighbourStand, neighbour->code, neighbourDistance * 1852.0));
        return neighbour;
    }
    return closest;
}

void resetAirportList()
{
    airportList.clear();
    airportList.shrink_to_fit();
    airportsRead = false;
}
