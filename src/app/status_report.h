#pragma once
// The status report for a run without a window to look at: every few seconds one
// line on standard output with the message line and the status panel's counters
// ("live", "parked", "statics", stands, liveries, the simulator and the lamps).
// A thread of its own that only reads (atomics and the message line's locked
// text); it ends when the object goes.

#include <chrono>
#include <string>
#include <thread>

// One line from the current panel and message.
std::string statusReportLine();

class StatusReport {
public:
    explicit StatusReport(std::chrono::seconds every);
    ~StatusReport();
    StatusReport(const StatusReport&) = delete;
    StatusReport& operator=(const StatusReport&) = delete;

private:
    std::jthread thread_;
};
