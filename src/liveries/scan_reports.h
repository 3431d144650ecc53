#pragma once
// The report lists of a livery scan: what the aircraft.cfg scanner refused or
// corrected, one text line an entry, written to the report files when the scan
// ends (lf_writeScanReport) and emptied by lf_resetScanLists.
//
// A scan task does not write into these lists: it collects its lines in its own
// ScanReportLines, and the walking thread appends them here in walk order, so
// the files do not depend on which task ran first. Each list has its own mutex;
// any thread may read or change it.

#include <array>
#include <cstddef>
#include <mutex>
#include <string>
#include <vector>

enum class ScanReport : std::size_t {
    InvalidAirlineCodes,      // errors/InvalidAirlineCodes.txt
    InvalidAircraftCodes,     // errors/InvalidAircraftCodes.txt
    Fixes,                    // errors/Fixes.txt
    InvalidAircraftCfgFiles,  // errors/InvalidAircraftCfgFiles.txt
    IncompleteSections,       // errors/IncompleFltsimSections.txt
    NoFltsimSection,          // info/AircraftCfgWithNoFltsimSection.txt
    DbaseConversions,         // info/AirlineModelConversions.txt (lf_applyDbaseUpdates)
};
inline constexpr std::size_t scanReportCount = 7;

// The lines one aircraft.cfg gave, by list.
struct ScanReportLines {
    std::array<std::vector<std::string>, scanReportCount> lines;

    void add(ScanReport list, std::string line) { lines[static_cast<std::size_t>(list)].push_back(std::move(line)); }
    const std::vector<std::string>& operator[](ScanReport list) const
    {
        return lines[static_cast<std::size_t>(list)];
    }
    bool empty() const;
};

class ReportList {
public:
    void add(std::string line);
    void append(std::vector<std::string>& lines);  // moves the lines in
    std::vector<std::string> copy() const;
    std::size_t size() const;
    bool empty() const;
    void clear();

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

// The process-wide list.
ReportList& scanReport(ScanReport list);

// Appends every line of `lines` to its list (moving them).
void lf_appendScanReports(ScanReportLines& lines);
