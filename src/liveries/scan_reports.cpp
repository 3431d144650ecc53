#include "liveries/scan_reports.h"

bool ScanReportLines::empty() const
{
    for (const auto& list : lines) {
        if (!list.empty()) return false;
    }
    return true;
}

void ReportList::add(std::string line)
{
    const std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
}

void ReportList::append(std::vector<std::string>& lines)
{
    const std::lock_guard lock(mutex_);
    for (auto& line : lines) lines_.push_back(std::move(line));
    lines.clear();
}

std::vector<std::string> ReportList::copy() const
{
    const std::lock_guard lock(mutex_);
    return lines_;
}

std::size_t ReportList::size() const
{
    const std::lock_guard lock(mutex_);
    return lines_.size();
}

bool ReportList::empty() const { return size() == 0; }

void ReportList::clear()
{
    const std::lock_guard lock(mutex_);
    lines_.clear();
}

ReportList& scanReport(ScanReport list)
{
    // Never destroyed: a scan may still be collecting while the process exits.
    static auto& lists = *new std::array<ReportList, scanReportCount>;
    return lists[static_cast<std::size_t>(list)];
}

void lf_appendScanReports(ScanReportLines& lines)
{
    for (std::size_t i = 0; i < scanReportCount; ++i) {
        if (!lines.lines[i].empty()) scanReport(static_cast<ScanReport>(i)).append(lines.lines[i]);
    }
}
