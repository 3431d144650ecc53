#include "liveries/folder_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include <unistd.h>
#include <vector>

#include "core/fmt.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "core/task_slots.h"
#include "liveries/support/aircraft_folder.h"
#include "platform/clock.h"
#include "platform/fs_path.h"

namespace {

namespace fs = std::filesystem;

// A task body that scans nothing: each file gives one Livery titled with its
// path relative to the scanned folder, so ScannedLiveries shows the walk order.
// It counts the tasks running at once; `hook` runs first in each task.
class RecordingTask {
public:
    explicit RecordingTask(fs::path root) : root_(std::move(root)) {}

    std::function<void(const std::string& name, std::stop_token stop)> hook;

    CfgScanTask task()
    {
        return [this](std::uint32_t folderNumber, const fs::path& path, bool ivao, std::stop_token stop) {
            const int now = ++running_;
            int seen = maxRunning_.load();
            while (now > seen && !maxRunning_.compare_exchange_weak(seen, now)) {
            }
            ++started_;
            const std::string name = platform::pathText(path.lexically_relative(root_));
            // Finish in a scrambled order.
            for (int i = 0; i < static_cast<int>(std::hash<std::string>{}(name) % 2000); ++i) std::this_thread::yield();
            CfgScanResult result;
            try {
                if (hook) hook(name, stop);
            } catch (...) {
                --running_;
                ++finished_;
                throw;
            }
            result.liveries.push_back(
                LiveryCandidate{folderNumber, ivao ? "IVA" : "AAA", "B738", name, "", true, "F", "[fltsim.0]", ivao});
            result.reports.add(ScanReport::Fixes, name);
            --running_;
            ++finished_;
            return result;
        };
    }
    int maxRunning() const { return maxRunning_.load(); }
    int running() const { return running_.load(); }
    int started() const { return started_.load(); }
    int finished() const { return finished_.load(); }

private:
    fs::path root_;
    std::atomic<int> running_{0};
    std::atomic<int> maxRunning_{0};
    std::atomic<int> started_{0};
    std::atomic<int> finished_{0};
};

std::vector<std::string> scannedTitles()
{
    std::vector<std::string> titles;
    for (const auto& l : ScannedLiveries) titles.push_back(l.title);
    return titles;
}

class FolderScan : public ::testing::Test {
protected:
    FolderScan()
    {
        loadDbase();
        resetScanState();
        resetRunState();
        resetTaskSlots(8);
    }
    ~FolderScan() override
    {
        resetScanState();
        resetRunState();
        resetTaskSlots(8);
    }

    // Empty aircraft.cfg files (and other files) at the given relative paths.
    void touch(const fs::path& root, const std::vector<std::string>& files)
    {
        for (const auto& f : files) {
            fs::create_directories((root / f).parent_path());
            writeWholeFile(root / f, "");
        }
    }

    bool logged(const std::string& text) const
    {
        const auto lines = folder_.logLines();
        return std::find(lines.begin(), lines.end(), text) != lines.end();
    }

    WorkingFolder folder_;
};

TEST_F(FolderScan, CandidatesAndDescent)
{
    const fs::path root = folder_ / "lib";
    const std::string deep(250, 'd');
    touch(root, {"A/aircraft.cfg", "B/Aircraft.CFG", "C/SIM.cfg", "D/aircraft.cfg.bak", "D/model.cfg", "E/sub/aircraft.cfg",
                 "my_airports/aircraft.cfg", "F/" + deep.substr(0, 200) + "/G/aircraft.cfg", "sim.cfg"});
    fs::create_directory_symlink(root / "A", root / "Z_link");
    RecordingTask recording(root);
    lf_searchLiveriesInFolder(1, root, recording.task());
    EXPECT_EQ(scannedTitles(), (std::vector<std::string>{"A/aircraft.cfg", "B/Aircraft.CFG", "C/SIM.cfg",
                                                         "E/sub/aircraft.cfg", "sim.cfg"}));
    EXPECT_EQ(ScannedLiveries.front().folderNumber, 1u);
    EXPECT_EQ(runningTasks.load(), 0);

    // A folder whose own path holds "airport" is read at its top level only.
    resetScanState();
    const fs::path airports = folder_ / "airports_lib";
    touch(airports, {"aircraft.cfg", "X/aircraft.cfg"});
    RecordingTask top(airports);
    lf_searchLiveriesInFolder(2, airports, top.task());
    EXPECT_EQ(scannedTitles(), std::vector<std::string>{"aircraft.cfg"});

    // IVAO files go to the IVAO body.
    resetScanState();
    const fs::path ivao = folder_ / "ivao";
    touch(ivao, {"IVAO_MTL/IVAO_B738/aircraft.cfg", "ivao_x-csl/x/aircraft.cfg", "ivao_mtl/aircraft.cfg"});
    RecordingTask which(ivao);
    lf_searchLiveriesInFolder(3, ivao, which.task());
    std::vector<std::string> airlines;
    for (const auto& l : ScannedLiveries) airlines.push_back(l.airline);
    EXPECT_EQ(airlines, (std::vector<std::string>{"IVA", "AAA", "IVA"}));
}

TEST_F(FolderScan, ResultsArriveInWalkOrderWithTwoTasks)
{
    resetTaskSlots(2);
    const fs::path root = folder_ / "lib";
    std::vector<std::string> files;
    for (char c = 'a'; c <= 'f'; ++c) files.push_back(std::string(1, c) + "/aircraft.cfg");
    touch(root, files);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        resetScanState();
        RecordingTask recording(root);
        lf_searchLiveriesInFolder(1, root, recording.task());
        EXPECT_EQ(scannedTitles(), files);
        EXPECT_EQ(scanReport(ScanReport::Fixes).copy(), files);
        EXPECT_LE(recording.maxRunning(), 2);
        EXPECT_EQ(runningTasks.load(), 0);
    }
}

TEST_F(FolderScan, AThrowingTaskEndsTheWalkWithNoTaskLeft)
{
    resetTaskSlots(2);
    const fs::path root = folder_ / "lib";
    std::vector<std::string> files;
    for (char c = 'a'; c <= 'h'; ++c) files.push_back(std::string(1, c) + "/aircraft.cfg");
    touch(root, files);
    RecordingTask recording(root);
    recording.hook = [](const std::string& name, std::stop_token) {
        if (name == "c/aircraft.cfg") throw std::runtime_error("boom");
    };
    lf_searchLiveriesInFolder(1, root, recording.task());
    EXPECT_EQ(scannedTitles(), (std::vector<std::string>{"a/aircraft.cfg", "b/aircraft.cfg"}));
    EXPECT_TRUE(logged("===> liveries search aborted, futs inner, boom"));
    EXPECT_EQ(runningTasks.load(), 0);
    EXPECT_EQ(recording.running(), 0);
    EXPECT_EQ(recording.started(), recording.finished());
    EXPECT_EQ(scanReport(ScanReport::Fixes).size(), 2u);

    // The last file throwing is met in the final collection.
    resetScanState();
    RecordingTask last(root);
    last.hook = [](const std::string& name, std::stop_token) {
        if (name == "h/aircraft.cfg") throw std::runtime_error("late");
    };
    lf_searchLiveriesInFolder(1, root, last.task());
    EXPECT_EQ(ScannedLiveries.size(), 7u);
    EXPECT_TRUE(logged("===> liveries search aborted, futs outer, late"));
    EXPECT_EQ(runningTasks.load(), 0);
}

TEST_F(FolderScan, AClosingRequestEndsTheWalkWithNoTaskLeft)
{
    resetTaskSlots(2);
    const fs::path root = folder_ / "lib";
    std::vector<std::string> files;
    for (int i = 0; i < 20; ++i) files.push_back(vr::format("{:02}/aircraft.cfg", i));
    touch(root, files);
    RecordingTask recording(root);
    recording.hook = [](const std::string& name, std::stop_token) {
        if (name == "03/aircraft.cfg") closingFlag.store(true);
    };
    lf_searchLiveriesInFolder(1, root, recording.task());
    const auto kept = ScannedLiveries.size();
    EXPECT_LT(kept, files.size());
    EXPECT_LE(recording.started(), 6);
    EXPECT_EQ(runningTasks.load(), 0);
    EXPECT_EQ(recording.running(), 0);
    EXPECT_EQ(recording.started(), recording.finished());
    // Whatever was collected is a prefix of the walk.
    const auto titles = scannedTitles();
    EXPECT_TRUE(std::equal(titles.begin(), titles.end(), files.begin()));
}

// Virtual time that passes only once every task but the stuck one has finished:
// until then a wait that is not ready waits a little real time.
class StallClock final : public platform::Clock {
public:
    explicit StallClock(std::function<bool()> mayPass) : mayPass_(std::move(mayPass)) {}
    TimePoint now() override { return virtual_.now(); }
    double wallSeconds() override { return virtual_.wallSeconds(); }
    void sleepFor(Duration d) override { virtual_.sleepFor(d); }
    bool waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, TimePoint deadline,
                   const std::function<bool()>& ready) override
    {
        if (mayPass_()) return virtual_.waitUntil(cv, lock, deadline, ready);
        cv.wait_for(lock, std::chrono::milliseconds(1), ready);
        return ready();
    }

private:
    platform::VirtualClock virtual_;
    std::function<bool()> mayPass_;
};

TEST_F(FolderScan, AStuckTaskIsGivenUpAfterTheWaitLimit)
{
    const fs::path root = folder_ / "lib";
    touch(root, {"a/aircraft.cfg", "b/aircraft.cfg", "c/aircraft.cfg", "d/aircraft.cfg"});
    RecordingTask recording(root);
    std::atomic<bool> stopSeen{false};
    recording.hook = [&](const std::string& name, std::stop_token stop) {
        if (name != "b/aircraft.cfg") return;
        while (!stop.stop_requested()) std::this_thread::yield();
        stopSeen = true;
    };
    platform::ScopedClock clock(std::make_shared<StallClock>([&] { return recording.finished() >= 3; }));
    lf_searchLiveriesInFolder(1, root, recording.task());
    EXPECT_TRUE(stopSeen.load());
    EXPECT_EQ(scannedTitles(), (std::vector<std::string>{"a/aircraft.cfg", "c/aircraft.cfg", "d/aircraft.cfg"}));
    EXPECT_TRUE(logged("===> Future wait timed out after 10 seconds, " + platform::pathText(root / "b/aircraft.cfg") +
                       " skipped"));
    EXPECT_EQ(runningTasks.load(), 0);
}

TEST_F(FolderScan, AMissingFolderIsLogged)
{
    lf_searchLiveriesInFolder(1, folder_ / "missing");
    EXPECT_TRUE(ScannedLiveries.empty());
    const auto lines = folder_.logLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_TRUE(lines.back().starts_with("===> liveries search in folder " + platform::pathText(folder_ / "missing") +
                                         " aborted because of iterator problem: "));
}

TEST_F(FolderScan, AnUnreadableSubFolderIsSkipped)
{
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
    const fs::path root = folder_ / "lib";
    touch(root, {"a/aircraft.cfg", "b/x/aircraft.cfg", "c/aircraft.cfg"});
    fs::permissions(root / "b", fs::perms::none);
    RecordingTask recording(root);
    lf_searchLiveriesInFolder(1, root, recording.task());
    fs::permissions(root / "b", fs::perms::owner_all);
    EXPECT_EQ(scannedTitles(), (std::vector<std::string>{"a/aircraft.cfg", "c/aircraft.cfg"}));
}

// The real task bodies on real aircraft folders: the first file in walk order
// keeps a title that two files of one folder share, whatever task ends first.
TEST_F(FolderScan, ATitleInTwoFilesGoesToTheFileFoundFirst)
{
    const fs::path root = folder_ / "lib";
    for (const char* name : {"A", "B", "C"}) makeAircraftFolder(root / name);
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        resetScanState();
        lf_searchLiveriesInFolder(4, root);
        ASSERT_EQ(ScannedLiveries.size(), 2u);
        EXPECT_EQ(ScannedLiveries.front().folderNumber, 4u);
        const auto incomplete = scanReport(ScanReport::IncompleteSections).copy();
        ASSERT_EQ(incomplete.size(), 4u);
        EXPECT_EQ(incomplete[0], platform::pathText(root / "B") + " [fltsim.0] title 'TEST B738 Alpha G-ABCD' already exists");
        EXPECT_EQ(incomplete[3], platform::pathText(root / "C") + " [fltsim.1] title 'TEST B738 Cargo' already exists");
    }
}

TEST_F(FolderScan, Reports)
{
    struct Row {
        const char* name;
        std::vector<std::pair<ScanReport, std::vector<std::string>>> lists;
        std::vector<std::pair<fs::path, std::vector<std::string>>> files;
        std::vector<std::string> summaries;
    };
    std::vector<std::string> incomplete;
    for (int i = 0; i < 30; ++i) incomplete.push_back(vr::format("line {:02}", i < 20 ? 19 - i : i - 20));
    std::vector<std::string> twenty;
    for (int i = 0; i < 20; ++i) twenty.push_back(vr::format("line {:02}", i));
    const Row rows[] = {
        {"nothing", {}, {}, {"\nNo errors", "\nInformation:"}},
        {"sorted codes",
         {{ScanReport::InvalidAirlineCodes, {"QQQ b", "PPP a", "QQQ a"}}},
         {{invalidAirlineCodesPath, {"PPP a", "QQQ a", "QQQ b"}}},
         {"\nErrors:", "3 invalid airline codes, see output/errors/InvalidAirlineCodes.txt", "\nInformation:"}},
        {"one model code",
         {{ScanReport::InvalidAircraftCodes, {"XXXX"}}},
         {{invalidAircraftCodesPath, {"XXXX"}}},
         {"\nErrors:", "1 invalid model code, see output/errors/InvalidAircraftCodes.txt", "\nInformation:"}},
        {"fixes in arrival order",
         {{ScanReport::Fixes, {"fix b", "fix a"}}},
         {{fixesPath, {"fix b", "fix a"}}},
         {"\nErrors:", "2 code fixes, see output/errors/Fixes.txt", "\nInformation:"}},
        {"invalid files",
         {{ScanReport::InvalidAircraftCfgFiles, {"z", "y"}}},
         {{invalidAircraftCfgFilesPath, {"y", "z"}}},
         {"\nErrors:", "2 invalid aircraft.cfg files, see output/errors/InvalidAircraftCfgFiles.txt", "\nInformation:"}},
        {"thirty incomplete lines, ten of them repeats",
         {{ScanReport::IncompleteSections, incomplete}},
         {{incompleteFltsimSectionsPath, twenty}},
         {"\nErrors:", "30 incomplete [fltsim.x] sections, see output/errors/IncompleFltsimSections.txt",
          "\nInformation:"}},
        {"information only",
         {{ScanReport::NoFltsimSection, {"b.cfg", "a.cfg"}}, {ScanReport::DbaseConversions, {"conv 2", "conv 1"}}},
         {{aircraftCfgWithNoFltsimSectionPath, {"a.cfg", "b.cfg"}}, {airlineModelConversionsPath, {"conv 2", "conv 1"}}},
         {"\nNo errors", "\nInformation:", "2 empty aircraft.cfg files, see output/info/AircraftCfgWithNoFltsimSection.txt",
          "2 liveries updated with real live data from dbase, see output/info/AirlineModelConversions.txt"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetScanState();
        fs::remove_all(folder_ / outputFolder);
        for (const auto& [list, lines] : row.lists) {
            for (const auto& line : lines) scanReport(list).add(line);
        }
        const auto before = folder_.logLines().size();
        lf_writeScanReport();
        auto log = folder_.logLines();
        log.erase(log.begin(), log.begin() + static_cast<std::ptrdiff_t>(before));
        // Log lines that begin with a line feed show as an empty line and the text.
        std::vector<std::string> expected;
        for (const auto& s : row.summaries) {
            if (s.starts_with('\n')) {
                expected.push_back("");
                expected.push_back(s.substr(1));
            } else {
                expected.push_back(s);
            }
        }
        EXPECT_EQ(log, expected);
        std::size_t written = 0;
        for (const auto& [path, lines] : row.files) {
            EXPECT_EQ(fileLines(folder_ / path), lines) << path;
            ++written;
        }
        std::size_t present = 0;
        for (const auto& dir : {outputErrorsFolder, outputInfoFolder}) {
            if (!fs::exists(folder_ / dir)) continue;
            for (const auto& e : fs::directory_iterator(folder_ / dir)) {
                (void)e;
                ++present;
            }
        }
        EXPECT_EQ(present, written);
    }
}

TEST_F(FolderScan, AReportThatCannotBeWrittenIsLogged)
{
    scanReport(ScanReport::Fixes).add("fix");
    scanReport(ScanReport::InvalidAircraftCodes).add("XXXX");
    fs::create_directories(folder_ / invalidAircraftCodesPath);  // a folder where the file belongs
    lf_writeScanReport();
    EXPECT_TRUE(logged("===> could not write " + platform::pathText(invalidAircraftCodesPath)));
    EXPECT_TRUE(logged("1 invalid model code, see " + platform::pathText(invalidAircraftCodesPath)));
    EXPECT_EQ(fileLines(folder_ / fixesPath), std::vector<std::string>{"fix"});

    fs::remove_all(folder_ / outputErrorsFolder);
    writeWholeFile(folder_ / outputErrorsFolder, "a file where the folder belongs");
    lf_writeFixesFile();
    const auto log = folder_.logLines();
    EXPECT_TRUE(log.back().starts_with("Error writing file " + platform::pathText(fixesPath) + ": ")) << log.back();
}

TEST_F(FolderScan, DbaseUpdates)
{
    ScannedLiveries.emplace_back("AAA", "B738", "T1", "", 1, false);        // no registration
    ScannedLiveries.emplace_back("AAA", "B738", "T2", "G-ABCD", 1, false);  // the record agrees
    ScannedLiveries.emplace_back("EZY", "B744", "T3", "G-ABCD", 1, true);   // cargo, airline and model differ
    ScannedLiveries.emplace_back("DLH", "A320", "T4", "DABCD", 1, false);   // the operator wins over the airline
    ScannedLiveries.emplace_back("AAA", "B738", "T5", "N999", 1, false);    // not in the database
    lf_applyDbaseUpdates();
    std::vector<std::string> got;
    for (const auto& l : ScannedLiveries) got.push_back(liveryText(l));
    EXPECT_EQ(got, (std::vector<std::string>{"AAA|B738|T1||pax", "AAA|B738|T2|G-ABCD|pax", "AAA|B738|T3|G-ABCD|pax",
                                             "EWG|A320|T4|DABCD|pax", "AAA|B738|T5|N999|pax"}));
    EXPECT_EQ(scanReport(ScanReport::DbaseConversions).copy(),
              (std::vector<std::string>{vr::format("{:80} G-ABCD cargo true => false", "T3"),
                                        vr::format("{:80} G-ABCD airl EZY => AAA", "T3"),
                                        vr::format("{:80} G-ABCD model B744 => B738", "T3"),
                                        vr::format("{:80} DABCD airl DLH => EWG", "T4")}));
}

TEST_F(FolderScan, RemovingThePreviousFiles)
{
    fs::create_directories(folder_ / outputErrorsFolder);
    fs::create_directories(folder_ / outputInfoFolder);
    for (const auto* p : {&liveriesScannedPath, &invalidAirlineCodesPath, &fixesPath, &incompleteFltsimSectionsPath,
                          &aircraftCfgWithNoFltsimSectionPath, &airlineModelConversionsPath}) {
        writeWholeFile(folder_ / *p, "x");
    }
    lf_removePreviousScanFiles();
    EXPECT_FALSE(fs::exists(folder_ / liveriesScannedPath));
    EXPECT_FALSE(fs::exists(folder_ / outputErrorsFolder));
    EXPECT_FALSE(fs::exists(folder_ / aircraftCfgWithNoFltsimSectionPath));
    EXPECT_TRUE(fs::exists(folder_ / airlineModelConversionsPath));

    // Another file in the errors folder: the folder stays and the failure is logged.
    fs::create_directories(folder_ / outputErrorsFolder);
    writeWholeFile(folder_ / outputErrorsFolder / "mine.txt", "x");
    writeWholeFile(folder_ / fixesPath, "x");
    lf_removePreviousScanFiles();
    EXPECT_FALSE(fs::exists(folder_ / fixesPath));
    EXPECT_TRUE(fs::exists(folder_ / outputErrorsFolder / "mine.txt"));
    const auto log = folder_.logLines();
    ASSERT_FALSE(log.empty());
    EXPECT_TRUE(log.back().starts_with("problems with removing previous files: ")) << log.back();
}

}  // namespace
