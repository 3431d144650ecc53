#pragma once
// The aircraft.cfg scanner: one aircraft.cfg of an installed AI aircraft becomes
// the Liveries of its [fltsim.N] sections that pass every check, and a report
// line for everything refused or corrected.
//
// The two task bodies run on the scan's task threads, many at once. They read
// only the file, the aircraft database and the don't-use titles (both filled
// before the scan and not changed during it), and touch no shared list: a task
// gives back its candidate Liveries and its report lines, and the walking thread
// hands out the titles (lf_acceptCandidates) and files the lines in walk order,
// so the result does not depend on which task ran first.
//
// The normal variant takes the type from the file's atc_model and the airline
// from atc_parking_codes; the IVAO variant (aircraft under IVAO_MTL or
// ivao_x-csl) takes the type from the folder name and the airline from the title.

#include <cstdint>
#include <filesystem>
#include <list>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "liveries/livery.h"
#include "liveries/scan_reports.h"

// A section that passed every check, before its title is handed out.
struct LiveryCandidate {
    std::uint32_t folderNumber = 0;
    std::string airline;
    std::string model;
    std::string title;
    std::string atcId;
    bool notCargo = true;
    std::string folder;  // the aircraft folder as text, for the "already exists" line
    std::string header;  // the section's header line
    bool ivao = false;
};

// What one aircraft.cfg gave.
struct CfgScanResult {
    std::vector<LiveryCandidate> liveries;  // in file order
    ScanReportLines reports;
};

// What the section steps know of their file.
struct CfgFileContext {
    std::uint32_t folderNumber = 0;
    std::string model;             // ICAO type of every livery of the file
    std::string pathText;          // PATH of the report lines
    std::filesystem::path folder;  // the aircraft folder
    std::string folderText;        // FOLDER of the report lines
    ScanReportLines* reports = nullptr;
};

// The task bodies. Each gives its task slot back on every way out, exceptions
// included (TaskSlotRelease). A stop request ends the walk over the sections
// early (the caller drops the result). An exception is logged ("Exception in
// lf_searchLiveriesinFile {}: {}") and thrown on.
CfgScanResult lf_searchLiveriesinFile(std::uint32_t folderNumber, const std::filesystem::path& path,
                                      std::stop_token stop = {});
CfgScanResult lf_searchIvaoLiveriesinFile(std::uint32_t folderNumber, const std::filesystem::path& path,
                                          std::stop_token stop = {});
// Either body without the slot release (for a caller that holds the slot itself).
CfgScanResult lf_scanCfgFile(std::uint32_t folderNumber, const std::filesystem::path& path, bool ivao,
                             std::stop_token stop = {});

// Whether the file may be scanned: false (and logged or reported) when a header
// number does not fit 32 bits or exceeds 10000. A file without any header goes to
// the files-without-sections list and passes.
bool lf_checkFltsimNumbers(const std::vector<std::string>& lines, const std::string& pathText,
                           ScanReportLines& reports);
// The type of the file from its first atc_model line, after the database's fixes;
// empty (and reported) when the file is to be skipped.
std::string lf_readGeneralAtcModel(const std::string& pathText, const std::vector<std::string>& lines,
                                   ScanReportLines& reports);
// The type of an IVAO file from its folder "...\IVAO_MTL\IVAO_<code>\aircraft.cfg"
// (either separator, ignoring case); empty (and reported) when it has none.
std::string lf_fixIvaoModel(const std::filesystem::path& path, ScanReportLines& reports);

// Cut the lines into [fltsim.N] sections and process each, appending the
// candidates in file order. Stop between sections on a stop request.
void lf_searchFltsimSections(const CfgFileContext& file, const std::vector<std::string>& lines,
                             std::vector<LiveryCandidate>& out, std::stop_token stop = {});
void lf_searchIvaoSections(const CfgFileContext& file, const std::vector<std::string>& lines,
                           std::vector<LiveryCandidate>& out, std::stop_token stop = {});
// One section (its header line first); at most one candidate.
std::vector<LiveryCandidate> lf_procesFltSimSection(const CfgFileContext& file, std::span<const std::string> section);
std::vector<LiveryCandidate> lf_procesIvaoFltSimSection(const CfgFileContext& file,
                                                        std::span<const std::string> section);

// On the walking thread, in walk order: hands out the candidates' titles
// (lf_makeLivery); a title handed out before gives its "already exists" line in
// `reports` instead of a Livery.
std::list<Livery> lf_acceptCandidates(std::vector<LiveryCandidate>& candidates, ScanReportLines& reports);
