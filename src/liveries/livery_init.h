#pragma once
// The start-up of the liveries: scan the liveries folders when SCAN_LIVERIES is
// on (the user's lfolder0..9, or with LIG_AUTOMATIC the simulator's add-on
// folders) into output/LiveriesScanned.xml, then, once per process, read that
// file back and build the indexes, the regcode tables and the similar models.
//
// Thread: gf_initLiveries runs on the worker thread before its main loop.
// requestLiveryRescan may be called from any thread (the option handler on the
// window thread): it only sets an atomic request, which the next gf_initLiveries
// applies before anything else, so clearing never overlaps a build or a match.

#include <atomic>
#include <filesystem>
#include <functional>
#include <list>
#include <string>
#include <vector>

#include "liveries/livery.h"

namespace pugi {
class xml_document;
}

// The scanned liveries have been processed in this process.
extern std::atomic<bool> LiveriesInitialised;

// Asks the next gf_initLiveries to forget the processed liveries and build
// everything again (indexes, regcode tables, similar models, remembered titles).
void requestLiveryRescan();
bool liveryRescanRequested();
void clearLiveryRescanRequest();  // tests

// Throws qxv::UserErrorException 48 (manual mode without folders), 43
// (automatic scan found nothing), 53 (manual scan found nothing) and the
// reader's codes. A stop requested during the scan returns at once, SCAN_LIVERIES
// left on and nothing processed.
void gf_initLiveries();

// What scans one folder into ScannedLiveries: lf_searchLiveriesInFolder, unless
// a test put another in place (an empty function restores it).
using LiveryFolderSearch = std::function<void(std::uint32_t folderNumber, const std::filesystem::path& folder)>;
void setLiveryFolderSearch(LiveryFolderSearch search);

// Scans the folders (numbered 1.. in order, at most 10) and writes
// LiveriesScanned.xml; false when no livery was found; true when written, and
// when a stop was requested during the scan (nothing written then).
bool lf_scanLiveryFolders(const std::vector<std::filesystem::path>& folders);
// Keeps, for every airline and model, only the liveries of the lowest folder number.
void lf_prioritizeLiveries(std::list<Livery>& liveries);
// Sorts by airline, model, title (byte order, stable).
void lf_sortLiveries(std::list<Livery>& liveries);

// ScannedLiveries := the content of LiveriesScanned.xml, sorted. Throws
// qxv::UserErrorException 51 (missing or not XML), 52 (no <liveries>), 999 (a
// <liv> without airl, type or title), 533 (no <liv>).
void lf_readLiveriesScanned();
// The same on a loaded document; `pathText` names the file in messages.
void lf_readLiveriesScannedDocument(const pugi::xml_document& doc, const std::string& pathText);

// Once per process: read, index, regcodes, model indexes, similar models,
// category summaries.
void lf_processScannedLiveries();
