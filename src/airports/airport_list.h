#pragma once
// The list of the simulator's airports (airports_p3d.xml in the input folder):
// code, IATA code, position and elevation, sorted by code.
//
// Read once on the worker thread at start-up, before any reader runs; read
// without a lock afterwards (worker and traffic threads). A failed read leaves
// the list empty and unread, so a later call reads again.

#include <atomic>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "core/geodesy.h"

struct Airport {
    std::string code;  // ICAO; empty when the file has none
    std::string iata;  // empty when the file has none
    double lat = 0.0;  // degrees
    double lon = 0.0;
    double alt = 0.0;  // as the file holds it
};

// Sorted by code (byte order; the file's order among equal codes).
extern std::vector<Airport>& airportList;
extern std::atomic<bool>& airportsRead;

// Reads inputFolder/fileName; true when the list is not empty. A second call
// returns the first one's answer without reading. Failures throw
// qxv::UserErrorException 88.
bool readAirports(const std::filesystem::path& fileName);
// The same from a loaded document (the path names it in messages).
bool readAirportsDocument(const pugi::xml_document& doc, const std::string& pathText);
// Appends the airport of one <airport> element with that code; a missing or
// unreadable lat, lon or alt is logged and nothing is added.
void parseAirport(const pugi::xml_node& airport, const std::string& code);
// "EHAM (AMS)"; "?" for an empty code; no brackets without an IATA code.
std::string airportLabel(const Airport& airport);
// The first airport with exactly that code; nullptr when none.
const Airport* findAirport(std::string_view code);
// The airport at which the position lies (within 5 nm), or nullptr; with two
// airports that close the nearer stand decides.
const Airport* closestAirportOrStand(const LatLon& position);
// Empty and unread again (tests).
void resetAirportList();
