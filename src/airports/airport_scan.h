#pragma once
// The airport scan: finds the add-on airports installed in the simulator and
// gives each a stand file. It collects the add-on scenery folders (the afolder
// options, or scenery.cfg and scenery_add-ons.xml), walks them in name order,
// reads every BGL file with an airport section in a task of its own (at most
// taskLimit at once, core/task_slots.h), links each airport to an archived file
// (my_thirdparty / my_ORBX "<ICAO>.txt") or generates its "<ICAO>.xml", copies
// generated files that can feed offline learning into TBLO, and writes the scan
// log to output/info/AirportsScanLog.txt.
//
// Threads: gf_scanAirports runs on the worker at start-up. Each folder search
// has threads of its own (at most one more than taskLimit), ended and joined
// before the search returns (none outlives the scan). They test the BGL files'
// headers in batches ahead of the walk, opening each file once and keeping the
// bytes of those that pass for their tasks (up to 64 MiB a search; a file
// beyond that is read again by its task), and run the tasks, which the walk
// starts in walk order, at most taskLimit at once. Tasks share: the scan log (scan_log.h; each task's lines are added in
// the order the files were found), the link lock (the archive lookups, and the
// record of which walk number wrote each file: a file is written to a
// temporary file of its own outside the lock and renamed over its target under
// it, so no two tasks write one file and, of two files holding one airport,
// the later in walk order wins, as in a scan of one file after the other), the
// changed-files flag (atomic) and the read-only data tables. The link lock is a
// leaf lock apart from the scan log's, which may be taken inside it.
//
// Every wait is bounded: a task slot is refused while the run closes, and a
// task's result is awaited at most 10 seconds on platform::clock() (then the
// task is asked to stop, which it sees before its next record).

#include <atomic>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "airports/bgl_reader.h"

// Set by every link or generated file of the scan; cleared when a scan starts.
extern std::atomic<bool> airportFilesChanged;

// The install folder's "Scenery": the simulator's own airports. Empty when no
// install path is known.
std::filesystem::path stockAirportsPath();
// ProgramData/Lockheed Martin/Prepar3D v<5|6>/scenery.cfg and scenery_add-ons.xml.
std::filesystem::path sceneryCfgPath();
std::filesystem::path sceneryAddOnsPath();

// The whole scan (worker, start-up). Throws qxv::UserErrorException 49 (manual
// mode without folders) or 42 (a folder option inside the stock scenery) before
// any file is removed; file-system failures of its folders throw
// std::filesystem::filesystem_error.
void gf_scanAirports();

// The folder lists (texts as the options and files hold them).
void lf_readAfolderParameters(std::vector<std::string>& list);
void lf_readSceneryCfg(std::vector<std::string>& list);
// The sections of scenery.cfg's lines handed to lf_readSceneryCfgEntries.
void lf_readSceneryCfgLines(const std::vector<std::string>& lines, std::vector<std::string>& list);
void lf_readSceneryCfgEntries(const std::vector<std::string>& section, const std::string& base,
                              std::vector<std::string>& list);
void lf_readSceneryAddOns(std::vector<std::string>& list);

// Searches the folders, writes the scan log, makes the offline-learning copies;
// the changed-files flag.
bool lf_scanMain(const std::vector<std::string>& list);
void lf_scanFolder(const std::vector<std::string>& list);
void lf_searchFolder(const std::filesystem::path& folder);

// Exactly ".BGL" or ".bgl".
bool lf_isBGLfile(const std::filesystem::path& extension);
// The path lies in the stock scenery (a whole-component match).
bool lf_isSimulatorPath(const std::filesystem::path& path);
// The text names one of the simulator's own scenery folders ("\World", "\0106", ...)
// as a whole path component.
bool lf_isStockSceneryFolder(std::string_view text);

// "simaddon" for a path with ORBX in any case; else the publisher of the first
// alias group with an alias the path contains (any case; an empty alias matches
// every path); else "unknown".
std::string publisherFromFilename(const std::string& path);

// Link and generation as the tasks call them (the link lock is taken inside).
bool lf_linkAirport(ScannedAirport& airport, int& archivedCount, const std::string& path);
std::optional<std::string> lf_linkSimaddon(const std::string& icao);
std::optional<std::string> lf_linkThirdParty(const std::string& publisher, const std::string& icao,
                                             int& archivedCount);
void lf_generateAirportFile(ScannedAirport& airport);

void lf_copyOrbxForLearning(const std::vector<std::string>& codes);
void lf_copyThirdPartyForLearning(const std::vector<std::string>& codes);

// Test hooks. The body each task runs instead of lf_processBGLfile (empty: the
// reader); and the number of task threads alive now.
using BglTaskBody =
    std::function<void(const std::filesystem::path&, BglAirportHandler&, const std::atomic<bool>& stop)>;
void setBglTaskBody(BglTaskBody body);
int liveBglTaskCount();
