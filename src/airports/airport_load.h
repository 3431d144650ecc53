#pragma once
// Loading the park airport's stands: the airport stand file (local, or fetched
// from the download site), its learned file, invented stand use, stand ids,
// overlapping stands, and the summary in the log and the status panel.
//
// Worker thread. The stands are read into a vector of the load's own and replace
// the engine's stands only when the load succeeds: a failed load leaves the
// previous stands as they were. Errors come back as texts, never as exceptions.

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <pugixml.hpp>

#include "airports/learned_merge.h"
#include "core/geodesy.h"
#include "engine/stand.h"

// The park airport's file is loaded (set by a load, cleared when static parking
// ends); answers AirportServices::standsLoaded(). Any thread.
extern std::atomic<bool>& airportFileLoaded;
// "RT_traffic_week" of the loaded airport file (0 when absent).
extern std::atomic<std::int32_t>& rtTrafficWeek;

// The local copy of a downloaded park airport file.
std::filesystem::path parkAirportCopyPath();

// Loads the airport's stands; "" on success, else the error text.
std::string gf_readApf(const std::string& reference, AirportHeader& header);

// The airport file's part of a load, on a loaded document: meta check, header
// and stands (source 1, duplicate ids refused). "" or the error text; throws
// std::runtime_error for a duplicate id or a missing altitude.
std::string lf_readApfDocument(const pugi::xml_document& doc, const std::string& reference, AirportHeader& header,
                               std::vector<Stand>& stands);
// Stand ids 1, 2, 3 ... in vector order, then the overlapping stands of each
// (every other stand b with 1.1 x distance < radius a + radius b), in sid order.
void lf_numberAndFindConflicts(std::vector<Stand>& stands);

// Downloads the download folder + reference into the target; "" or
// "failed to download: '<address>'".
std::string lf_downloadFile(const std::string& reference, const std::filesystem::path& target);

// Blanks when both are negative; "{:2}/{:2}" while Qf_real is below 45; else "{:2}" of Qf_real.
std::string formatQualityPair(std::int32_t qfReal, std::int32_t qfSoft);

// Distance (nm) from the position to the nearest <parkpos> of the airport's file,
// whose id goes to standName; 100.0 when there is no readable file or no stand.
double gf_readDestApfForClosestStand(const std::string& icao, const LatLon& position, std::string& standName);

// Whether the archived file of the airport carries quality factors and at least
// 27 weeks of recorded traffic. The fetched copy is removed in every case. A
// file the site does not have ("not archived") is logged as a plain line; a
// site not reached and a file that cannot be loaded are marked.
bool lf_checkArchivedForOfflineLearning(const std::string& icao);
