#include "support/tiny_airport.h"

#include <sstream>

#include "airports/airport_list.h"
#include "airports/stand_file.h"
#include "core/paths.h"

namespace tiny {

const StandSpec stands[12] = {
    {"G1", 0.0000, {}, nullptr},
    {"G2", 0.0008, {}, nullptr},
    {"G3", 0.0016, {}, "KLM B738 PH-BKA KLM3"},
    {"G4", 0.0024, {}, nullptr},
    {"G5", 0.0032, {}, "KLM B738 PH-BKB KLM5"},
    {"G6", 0.0034, {}, "KLM B738 PH-BKC KLM6"},
    {"R1", 0.0044, {false, true, false}, "KLM B738 PH-BKD KLM7"},
    {"R2", 0.0046, {false, true, false}, nullptr},
    {"C1", 0.0056, {true, false, false}, "MPH HEAVY PH-MPA MPH9"},
    {"C2", 0.0064, {true, false, false}, nullptr},
    {"H1", 0.0072, {false, false, true}, nullptr},
    {"G7", 0.0080, {}, "KLM B738 PH-BKE KLM12"},
};

double standLat(const std::string& name)
{
    for (const StandSpec& s : stands)
        if (name == s.name) return lat0 + s.latOffset;
    return 0.0;
}

std::filesystem::path learnedFile() { return learnedThirdpartyFolder / publisher / "EHAM.xml"; }

bool writeAirport(std::uint32_t weekday, const std::string& heavyType)
{
    AirportFile file;
    file.airportName = "Tiny";
    file.publisher = publisher;
    file.altitude = -11;
    AirportFile learned = file;
    for (const StandSpec& stand : stands) {
        Stand s(stand.name, {}, lat0 + stand.latOffset, lon, 1.0, 22.0, stand.kind);
        file.stands.push_back(s);
        if (stand.option == nullptr) continue;
        std::istringstream words(stand.option);
        SlotRecord r;
        words >> r.airl >> r.type >> r.reg >> r.cs;
        if (r.type == "HEAVY") r.type = heavyType;
        r.weekday = weekday;
        for (std::size_t slot = 40; slot < 48; ++slot) r.slots.set(slot);
        r.optionIndex = 1;
        s.options.push_back(r);
        learned.stands.push_back(s);
    }
    std::error_code ec;
    std::filesystem::create_directories(myThirdpartyFolder, ec);
    std::filesystem::create_directories(learnedFile().parent_path(), ec);
    if (!writeParkpositions(file, myThirdpartyFolder / "EHAM.xml", StandFileMode::full)) return false;
    if (!writeParkpositions(learned, learnedFile(), StandFileMode::learned)) return false;
    airportList.push_back({"EHAM", "AMS", lat0 + 0.004, lon, -11});
    airportsRead = true;
    return true;
}

ParkedTrafficRecord parkedAt(const std::string& stand, std::uint32_t id, const std::string& airline,
                             const std::string& type, const std::string& callsign)
{
    ParkedTrafficRecord r;
    r.airline = airline;
    r.type = type;
    r.callsign = callsign;
    r.registration = "REG" + callsign;
    r.lat = standLat(stand);
    r.lon = lon;
    r.aircraftId = id;
    r.slot = 1;
    r.stand = stand;
    return r;
}

}  // namespace tiny
