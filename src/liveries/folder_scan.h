#pragma once
// The scan of one liveries folder with parallel tasks, and what a whole scan does
// around it: removing the previous scan's files, correcting the Liveries from the
// aircraft database, writing the report files and emptying the lists.
//
// A scan runs on one thread (the worker at start-up); the walk starts one task
// thread per aircraft.cfg while the task slots (core/task_slots.h) allow, and
// collects the results in the order the files were found. No task outlives the
// walk: on every way out the walk asks the tasks still pending to stop and waits
// for them, dropping their results. ScannedLiveries and the report lists change
// only on the walking thread, in walk order.
//
// Order of a whole scan: lf_removePreviousScanFiles; the don't-use titles;
// lf_searchLiveriesInFolder for each folder (lowest number first);
// lf_applyDbaseUpdates; sort, de-duplicate and lf_writeLiveriesScanned;
// lf_writeScanReport; lf_resetScanLists.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stop_token>

#include "liveries/cfg_scanner.h"

// How long the walk waits for one task before it gives that file up.
inline constexpr std::chrono::seconds scanTaskWaitLimit{10};

// Walks the folder (sorted, depth first, directory links not followed; no descent
// into a path holding "airport" or of 250 or more characters) and scans every
// aircraft.cfg and sim.cfg (any case) on a task of its own; the Liveries found
// are appended to ScannedLiveries and the report lines to the report lists, in
// walk order. Never throws: a failure is logged and ends the walk, keeping what
// was collected before it. A closing request ends it too.
void lf_searchLiveriesInFolder(std::uint32_t folderNumber, const std::filesystem::path& folder);

// The same with another task body (tests). The walk holds the task's slot
// around the call.
using CfgScanTask =
    std::function<CfgScanResult(std::uint32_t folderNumber, const std::filesystem::path& path, bool ivao,
                                std::stop_token stop)>;
void lf_searchLiveriesInFolder(std::uint32_t folderNumber, const std::filesystem::path& folder,
                               const CfgScanTask& task);

// Removes the previous scan's report files, LiveriesScanned.xml and then the
// errors folder; stops at the first failure (logged).
void lf_removePreviousScanFiles();

// Takes cargo flag, airline (the operator when the record names one) and type of
// every scanned Livery with a registration from its database record, listing
// each change in the dbase conversions list.
void lf_applyDbaseUpdates();

// Writes the non-empty report lists to their files and logs a summary of each.
void lf_writeScanReport();
// Writes the fixes list to Fixes.txt (its folders created when missing).
void lf_writeFixesFile();

// Empties every report list, the handed-out titles and the don't-use titles.
void lf_resetScanLists();
