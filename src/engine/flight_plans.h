#pragma once
// Flight-plan files: one small AceXML file "<object id>.pln" per live aircraft
// created with an origin and a destination, in dataFolderPath()/"orig_dest". The
// folder is created at start and removed with its files when the run closes.
// Worker thread only.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>

struct AcIdentity;

// The folder (set by gf_createFlightPlanFolder; dataFolderPath()/"orig_dest" before).
std::filesystem::path flightPlanFolder();

// The file content for an identity; origin and destination XML-escaped.
std::string flightPlanText(const AcIdentity& identity);
// "&", "<", ">", '"' and "'" as entities, control characters dropped.
std::string xmlEscaped(std::string_view text);
// Creates or truncates the file and writes the plan; false when it cannot be written.
bool gf_writeFlightPlan(const std::filesystem::path& path, const AcIdentity& identity);
// "{}.pln" of the object id.
std::filesystem::path gf_flightPlanFileName(std::uint32_t objectId);
// Creates the base data folder and the flight-plan folder when missing; whether it exists.
bool gf_createFlightPlanFolder();
// Removes the folder with everything in it (up to 10 tries); whether it is gone.
bool gf_removeFlightPlanFolder();

// The removal of a folder tree, replaceable in tests (the simulator may hold a
// file open on Windows): returns the count removed and sets ec on failure.
using TreeRemover = std::function<std::uintmax_t(const std::filesystem::path&, std::error_code&)>;
void setTreeRemover(TreeRemover remover);
