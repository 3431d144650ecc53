#include "liveries/folder_scan.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "core/files.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "core/task_slots.h"
#include "core/utils.h"
#include "liveries/dbase.h"
#include "liveries/livery.h"
#include "liveries/regcodes.h"
#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/fs_path.h"

namespace fs = std::filesystem;

namespace {

std::string lf_upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

bool lf_isCandidate(const fs::directory_entry& entry)
{
    std::error_code ec;
    if (!entry.is_regular_file(ec)) return false;
    const auto& path = entry.path();
    if (lf_upper(platform::pathText(path.extension())) != ".CFG") return false;
    const std::string stem = lf_upper(platform::pathText(path.stem()));
    return stem == "AIRCRAFT" || stem == "SIM";
}

// Whether the walk may go into this folder.
bool lf_mayDescend(const std::string& pathText)
{
    return pathText.find("airport") == std::string::npos && pathText.size() < 250;
}

// One started task: the thread and what it hands back, under the walk's mutex.
struct PendingTask {
    fs::path path;
    bool done = false;
    CfgScanResult result;
    std::exception_ptr error;
    std::jthread thread;  // last: joined before the rest goes away
};

class FolderWalk {
public:
    FolderWalk(std::uint32_t folderNumber, const fs::path& folder, const CfgScanTask& task)
        : folderNumber_(folderNumber), folder_(folder), task_(task)
    {
    }
    ~FolderWalk() { stopAll(); }
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;

    void run();

private:
    enum class Outcome { Collected, Skipped, Failed, Closing };

    // False when the walk has to end.
    bool startTask(const fs::path& path, const std::string& pathText);
    Outcome collectOldest(std::string& failure);
    void stopAll();
    void logClosing() { logLine(vr::format("liveries search in {} stopped, the program closes", platform::pathText(folder_))); }

    const std::uint32_t folderNumber_;
    const fs::path folder_;
    const CfgScanTask& task_;
    std::mutex mutex_;
    std::condition_variable finished_;
    std::deque<std::unique_ptr<PendingTask>> pending_;
};

bool FolderWalk::startTask(const fs::path& path, const std::string& pathText)
{
    if (anyStopFlag() || !gf_waitForTaskSlot()) {
        logClosing();
        return false;
    }
    const bool ivao = pathText.find("ivao_x-csl") != std::string::npos || pathText.find("IVAO_MTL") != std::string::npos;
    auto pending = std::make_unique<PendingTask>();
    pending->path = path;
    PendingTask* task = pending.get();
    task->thread = std::jthread([this, task, ivao](std::stop_token stop) {
        const TaskSlotRelease slot;
        CfgScanResult result;
        std::exception_ptr error;
        try {
            result = task_(folderNumber_, task->path, ivao, stop);
        } catch (...) {
            error = std::current_exception();
        }
        const std::lock_guard lock(mutex_);
        task->result = std::move(result);
        task->error = error;
        task->done = true;
        finished_.notify_all();
    });
    pending_.push_back(std::move(pending));
    ++runningTasks;
    if (static_cast<long>(pending_.size()) > taskLimit.load()) {
        std::string failure;
        switch (collectOldest(failure)) {
        case Outcome::Failed:
            logLineMarked(vr::format("liveries search aborted, futs inner, {}", failure));
            return false;
        case Outcome::Closing:
            logClosing();
            return false;
        default:
            break;
        }
    }
    return true;
}

FolderWalk::Outcome FolderWalk::collectOldest(std::string& failure)
{
    PendingTask& task = *pending_.front();
    bool finished = false;
    {
        std::unique_lock lock(mutex_);
        auto& clock = platform::clock();
        const auto deadline = clock.now() + scanTaskWaitLimit;
        while (!task.done) {
            if (anyStopFlag()) return Outcome::Closing;
            const auto now = clock.now();
            if (now >= deadline) break;
            clock.waitUntil(finished_, lock, std::min(deadline, now + std::chrono::milliseconds(50)),
                            [&] { return task.done; });
        }
        finished = task.done;
    }
    const bool timedOut = !finished;
    if (timedOut) {
        logLineMarked(vr::format("Future wait timed out after {} seconds, {} skipped", scanTaskWaitLimit.count(),
                                 platform::pathText(task.path)));
        task.thread.request_stop();
    }
    task.thread.join();
    const auto owned = std::move(pending_.front());
    pending_.pop_front();
    // A task that did not finish in time may have stopped half-way: nothing of it is kept.
    if (timedOut) return Outcome::Skipped;
    if (task.error) {
        try {
            std::rethrow_exception(task.error);
        } catch (const std::exception& e) {
            failure = e.what();
        } catch (...) {
            failure = "unknown exception";
        }
        return Outcome::Failed;
    }
    ScanReportLines accepted;
    auto liveries = lf_acceptCandidates(task.result.liveries, accepted);
    lf_appendScanReports(task.result.reports);
    lf_appendScanReports(accepted);
    ScannedLiveries.splice(ScannedLiveries.end(), liveries);
    return Outcome::Collected;
}

void FolderWalk::stopAll()
{
    for (auto& task : pending_) task->thread.request_stop();
    for (auto& task : pending_) {
        if (task->thread.joinable()) task->thread.join();
    }
    pending_.clear();
}

void FolderWalk::run()
{
    struct Level {
        std::vector<fs::directory_entry> entries;
        std::size_t next = 0;
    };
    std::vector<Level> levels;
    try {
        levels.push_back(Level{platform::listDirectorySorted(folder_)});
    } catch (const std::exception& e) {
        logLineMarked(vr::format("liveries search in folder {} aborted because of iterator problem: {}",
                                 platform::pathText(folder_), e.what()));
        return;
    }
    while (!levels.empty()) {
        if (levels.back().next >= levels.back().entries.size()) {
            levels.pop_back();
            continue;
        }
        const fs::directory_entry entry = levels.back().entries[levels.back().next++];
        const std::string pathText = platform::pathText(entry.path());
        try {
            // The listing's own file types: no status read for most entries.
            std::error_code ec;
            const bool link = entry.is_symlink(ec);
            if (ec) throw fs::filesystem_error("cannot read the type", entry.path(), ec);
            if (!link && entry.is_directory(ec)) {
                if (!lf_mayDescend(pathText)) continue;
                std::vector<fs::directory_entry> children;
                try {
                    children = platform::listDirectorySorted(entry.path());
                } catch (const std::exception& e) {
                    logLineMarked(vr::format("liveries search skips {}: {}", pathText, e.what()));
                    continue;
                }
                levels.push_back(Level{std::move(children)});
            } else if (lf_isCandidate(entry)) {
                if (!startTask(entry.path(), pathText)) return;
            }
        } catch (const std::exception& e) {
            logLineMarked(vr::format("liveries search in {} aborted, cause: {}", pathText, e.what()));
            return;
        }
    }
    while (!pending_.empty()) {
        std::string failure;
        switch (collectOldest(failure)) {
        case Outcome::Failed:
            logLineMarked(vr::format("liveries search aborted, futs outer, {}", failure));
            return;
        case Outcome::Closing:
            logClosing();
            return;
        default:
            break;
        }
    }
}

CfgScanResult lf_defaultTask(std::uint32_t folderNumber, const fs::path& path, bool ivao, std::stop_token stop)
{
    return lf_scanCfgFile(folderNumber, path, ivao, stop);
}

bool lf_writeReportFile(const std::vector<std::string>& lines, const fs::path& path)
{
    if (gf_writeLines(lines, path)) return true;
    logLineMarked(vr::format("could not write {}", platform::pathText(path)));
    return false;
}

std::vector<std::string> lf_sorted(ScanReport list)
{
    auto lines = scanReport(list).copy();
    std::sort(lines.begin(), lines.end());
    return lines;
}

}  // namespace

void lf_searchLiveriesInFolder(std::uint32_t folderNumber, const fs::path& folder)
{
    lf_searchLiveriesInFolder(folderNumber, folder, CfgScanTask(lf_defaultTask));
}

void lf_searchLiveriesInFolder(std::uint32_t folderNumber, const fs::path& folder, const CfgScanTask& task)
{
    try {
        FolderWalk walk(folderNumber, folder, task);
        walk.run();
    } catch (const std::exception& e) {
        // Only the walk's own bookkeeping can get here (out of memory); the tasks are stopped by then.
        logLineMarked(vr::format("liveries search in folder {} aborted: {}", platform::pathText(folder), e.what()));
    }
}

void lf_removePreviousScanFiles()
{
    try {
        for (const fs::path* path : {&aircraftCfgWithNoFltsimSectionPath, &liveriesScannedPath, &inlineRegcodesPath,
                                     &invalidAirlineCodesPath, &invalidAircraftCodesPath, &fixesPath,
                                     &invalidAircraftCfgFilesPath, &incompleteFltsimSectionsPath, &outputErrorsFolder}) {
            fs::remove(*path);
        }
    } catch (const std::exception& e) {
        logLine(vr::format("problems with removing previous files: {}", e.what()));
    }
}

void lf_applyDbaseUpdates()
{
    ScanReportLines conversions;
    const auto flag = [](bool b) { return b ? "true" : "false"; };
    for (auto& livery : ScannedLiveries) {
        if (livery.atcId.empty()) continue;
        const auto record = dbaseFindRecord(livery.atcId);
        if (!record) continue;
        if (record->cargo != livery.cargo) {
            conversions.add(ScanReport::DbaseConversions, vr::format("{:80} {} cargo {} => {}", livery.title, livery.atcId,
                                                                     flag(livery.cargo), flag(record->cargo)));
            livery.cargo = record->cargo;
        }
        const std::string& airline = record->op.empty() ? record->airline : record->op;
        if (airline != livery.airline) {
            conversions.add(ScanReport::DbaseConversions,
                            vr::format("{:80} {} airl {} => {}", livery.title, livery.atcId, livery.airline, airline));
            livery.airline = airline;
        }
        if (record->type != livery.model) {
            conversions.add(ScanReport::DbaseConversions,
                            vr::format("{:80} {} model {} => {}", livery.title, livery.atcId, livery.model, record->type));
            livery.model = record->type;
        }
    }
    lf_appendScanReports(conversions);
}

void lf_writeFixesFile()
{
    try {
        fs::create_directories(fixesPath.parent_path());
        lf_writeReportFile(scanReport(ScanReport::Fixes).copy(), fixesPath);
    } catch (const fs::filesystem_error& e) {
        logLine(vr::format("Error writing file {}: {}", platform::pathText(fixesPath), e.what()));
    }
}

void lf_writeScanReport()
{
    const ScanReport errors[] = {ScanReport::InvalidAirlineCodes, ScanReport::InvalidAircraftCodes, ScanReport::Fixes,
                                 ScanReport::InvalidAircraftCfgFiles, ScanReport::IncompleteSections};
    const bool anyError = std::any_of(std::begin(errors), std::end(errors), [](ScanReport r) { return !scanReport(r).empty(); });
    logLine(anyError ? "\nErrors:" : "\nNo errors");
    std::error_code ec;
    fs::create_directories(outputErrorsFolder, ec);
    const auto summary = [](std::string text) { logLine(text); };

    if (!scanReport(ScanReport::InvalidAirlineCodes).empty()) {
        const auto lines = lf_sorted(ScanReport::InvalidAirlineCodes);
        lf_writeReportFile(lines, invalidAirlineCodesPath);
        summary(vr::format("{} invalid airline code{}, see {}", lines.size(), gf_pluralS(static_cast<std::int64_t>(lines.size())),
                           platform::pathText(invalidAirlineCodesPath)));
    }
    if (!scanReport(ScanReport::InvalidAircraftCodes).empty()) {
        const auto lines = lf_sorted(ScanReport::InvalidAircraftCodes);
        lf_writeReportFile(lines, invalidAircraftCodesPath);
        summary(vr::format("{} invalid model code{}, see {}", lines.size(), gf_pluralS(static_cast<std::int64_t>(lines.size())),
                           platform::pathText(invalidAircraftCodesPath)));
    }
    if (!scanReport(ScanReport::Fixes).empty()) {
        lf_writeFixesFile();
        summary(vr::format("{} code fixes, see {}", scanReport(ScanReport::Fixes).size(), platform::pathText(fixesPath)));
    }
    if (!scanReport(ScanReport::InvalidAircraftCfgFiles).empty()) {
        const auto lines = lf_sorted(ScanReport::InvalidAircraftCfgFiles);
        lf_writeReportFile(lines, invalidAircraftCfgFilesPath);
        summary(vr::format("{} invalid aircraft.cfg files, see {}", lines.size(), platform::pathText(invalidAircraftCfgFilesPath)));
    }
    if (!scanReport(ScanReport::IncompleteSections).empty()) {
        auto lines = lf_sorted(ScanReport::IncompleteSections);
        const std::size_t count = lines.size();
        lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
        lf_writeReportFile(lines, incompleteFltsimSectionsPath);
        summary(vr::format("{} incomplete [fltsim.x] sections, see {}", count, platform::pathText(incompleteFltsimSectionsPath)));
    }

    logLine("\nInformation:");
    const bool anyInfo = !scanReport(ScanReport::NoFltsimSection).empty() || !scanReport(ScanReport::DbaseConversions).empty();
    if (anyInfo) fs::create_directories(outputInfoFolder, ec);
    if (!scanReport(ScanReport::NoFltsimSection).empty()) {
        const auto lines = lf_sorted(ScanReport::NoFltsimSection);
        lf_writeReportFile(lines, aircraftCfgWithNoFltsimSectionPath);
        summary(vr::format("{} empty aircraft.cfg files, see {}", lines.size(), platform::pathText(aircraftCfgWithNoFltsimSectionPath)));
    }
    if (!scanReport(ScanReport::DbaseConversions).empty()) {
        const auto lines = scanReport(ScanReport::DbaseConversions).copy();
        lf_writeReportFile(lines, airlineModelConversionsPath);
        summary(vr::format("{} liveries updated with real live data from dbase, see {}", lines.size(),
                           platform::pathText(airlineModelConversionsPath)));
    }
}

void lf_resetScanLists()
{
    for (std::size_t i = 0; i < scanReportCount; ++i) scanReport(static_cast<ScanReport>(i)).clear();
    ScannedTitles.clear();
    DontUseTitles.clear();
}
