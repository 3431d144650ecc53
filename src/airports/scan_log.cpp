#include "airports/scan_log.h"

#include <mutex>

namespace {

// Never destroyed: a task of an abandoned scan may log at exit.
std::mutex& lf_mutex = *new std::mutex;
std::vector<std::string>& lf_lines = *new std::vector<std::string>;
thread_local std::vector<std::string>* lf_capture = nullptr;

}  // namespace

void gf_scanLog(std::string line)
{
    if (lf_capture) {
        lf_capture->push_back(std::move(line));
        return;
    }
    std::lock_guard lock(lf_mutex);
    lf_lines.push_back(std::move(line));
}

void appendScanLogLines(std::vector<std::string> lines)
{
    std::lock_guard lock(lf_mutex);
    for (auto& line : lines) lf_lines.push_back(std::move(line));
}

std::vector<std::string> takeScanLogLines()
{
    std::lock_guard lock(lf_mutex);
    std::vector<std::string> out;
    out.swap(lf_lines);
    lf_lines.reserve(2048);
    return out;
}

std::vector<std::string> scanLogLines()
{
    std::lock_guard lock(lf_mutex);
    return lf_lines;
}

ScanLogCapture::ScanLogCapture(std::vector<std::string>& into) : previous_(lf_capture) { lf_capture = &into; }

ScanLogCapture::~ScanLogCapture() { lf_capture = previous_; }
