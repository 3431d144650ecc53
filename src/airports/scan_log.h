#pragma once
// The airport scan's log: text lines kept in memory while a scan runs and written
// to output/info/AirportsScanLog.txt at its end.
//
// Any thread may add a line (gf_scanLog). A scan task collects its own lines
// in a buffer of its own (ScanLogCapture on its thread); the scan appends them to
// the log when it collects the task's result, so the log reads in the order the
// files were found whatever order the tasks end in. The lines are guarded by one
// leaf lock (nothing else is taken while it is held).

#include <string>
#include <vector>

// Appends the line to this thread's capture buffer, or else to the log.
void gf_scanLog(std::string line);
// Appends lines to the log (a collected task's lines).
void appendScanLogLines(std::vector<std::string> lines);
// Takes the log's lines, leaving it empty (reserving room for the next scan).
std::vector<std::string> takeScanLogLines();
// A copy of the log's lines (tests).
std::vector<std::string> scanLogLines();

// While alive, gf_scanLog on this thread appends to `into`.
class ScanLogCapture {
public:
    explicit ScanLogCapture(std::vector<std::string>& into);
    ~ScanLogCapture();
    ScanLogCapture(const ScanLogCapture&) = delete;
    ScanLogCapture& operator=(const ScanLogCapture&) = delete;

private:
    std::vector<std::string>* previous_;
};
