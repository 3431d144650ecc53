#pragma once
// Flight-plan files: one small AceXML file "<object id>.pln" per live aircraft
// created with an origin and a destination, in dataFolderPath()/"orig_dest". The
// folder is created at start and removed with its files when the run closes.
//
// The files are written and removed off the worker's tick: the worker asks
// (requestFlightPlanFile, requestFlightPlanRemoval) and later takes the plans
// written (takeWrittenFlightPlans) to hand them to the simulator. Once the
// program has called startFlightPlanWriter, a writer thread does the file work
// in the order asked; before that (tests, tools) each request is done before
// the call returns, so a written plan is there to take at once. A removal
// deletes a file only for the aircraft whose plan it holds. The job queue, the
// written list and the record of who wrote each file are guarded by the
// writer's own mutex, a leaf of the lock order. Everything else here is for
// the worker thread.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

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
// File work still waiting is dropped first (the file being written is finished),
// and so are the written plans not yet taken.
bool gf_removeFlightPlanFolder();

// A plan file written (or not) for a created object.
struct WrittenFlightPlan {
    std::uint32_t objectId = 0;
    std::uint32_t aircraftId = 0;
    bool written = false;  // false: it could not be written, and no file is left
};

// The program: a thread of its own writes and removes plan files from now on.
void startFlightPlanWriter();
// Does what was asked, then ends the thread: the file work is done in the
// caller again (tests).
void stopFlightPlanWriter();
// Writes the plan of an identity as flightPlanFolder()/"<objectId>.pln".
void requestFlightPlanFile(std::uint32_t objectId, std::uint32_t aircraftId, const AcIdentity& identity);
// Removes flightPlanFolder()/"<objectId>.pln" (after any earlier request is
// done) when it holds the plan of that aircraft: the file a later aircraft with
// the same object id wrote stays.
void requestFlightPlanRemoval(std::uint32_t objectId, std::uint32_t aircraftId);
// Moves the plans written since the last take into out (emptied first).
void takeWrittenFlightPlans(std::vector<WrittenFlightPlan>& out);
// Whether a written plan waits to be taken (each one written wakes the tick loop).
bool writtenFlightPlansWaiting();
// Test hook: while held, the writer thread starts no new file work.
void holdFlightPlanWriter(bool hold);
// Waits until the writer has done everything asked so far (tests, benchmarks).
void finishFlightPlanWork();

// The removal of a folder tree, replaceable in tests (the simulator may hold a
// file open on Windows): returns the count removed and sets ec on failure.
using TreeRemover = std::function<std::uintmax_t(const std::filesystem::path&, std::error_code&)>;
void setTreeRemover(TreeRemover remover);
