#pragma once
// The status report for a run without a window to look at: every few seconds one
// line on standard output with the message line and the status panel's counters
// ("live", "parked", "statics", stands, liveries, the simulator and the lamps).
// A thread of its own that only reads (atomics and the message line's locked
// text); it ends at once when the object goes (its wait is woken, not sliced).

#include <chrono>
#include <condition_variable>
#include <mutex>
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
    std::mutex mutex_;
    std::condition_variable wake_;
    bool ending_ = false;  // under mutex_
    std::thread thread_;   // last: started once the members above stand
};
