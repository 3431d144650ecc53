// my_park_airports.txt is written by users: any bytes must give entries of
// known airports or logged skips, never a crash, and no entry twice.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <list>
#include <set>
#include <string>
#include <vector>

#include "airports/airport_list.h"
#include "airports/park_airports.h"

namespace {

// Made on the first input (the airport list is another file's global).
void lf_makeAirports()
{
    static const bool made = [] {
        for (const char* code : {"EGLL", "EHAM", "EHRD", "KJFK"}) airportList.push_back({code, "", 52.0, 4.0, 0.0});
        airportsRead = true;
        return true;
    }();
    (void)made;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    lf_makeAirports();
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < size; ++i) {
        const char c = static_cast<char>(data[i]);
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    std::list<ParkAirport> list;
    parseMyParkAirports(lines, list);
    std::set<std::string> codes;
    for (const ParkAirport& p : list) {
        if (findAirport(p.code) == nullptr || !codes.insert(p.code).second) std::abort();
        if (p.code.find(',') != std::string::npos || p.stand.find(',') != std::string::npos) std::abort();
    }
    return 0;
}
