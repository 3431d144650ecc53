#include "airports/airport_scan.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <numeric>
#include <thread>

#include "airports/airport_load.h"
#include "airports/scan_log.h"
#include "airports/stand_file.h"
#include "core/app_services.h"
#include "core/errors.h"
#include "core/files.h"
#include "core/fmt.h"
#include "core/install_lookup.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "core/startup_globals.h"
#include "core/task_slots.h"
#include "core/text_input.h"
#include "core/utils.h"
#include "liveries/dbase.h"
#include "platform/clock.h"
#include "platform/directory.h"
#include "platform/fs_path.h"
#include "platform/known_folders.h"

std::atomic<bool> airportFilesChanged{false};

namespace {

namespace fs = std::filesystem;

constexpr const char* kMark = "===> ";
constexpr const char* kSimaddon = "simaddon";
constexpr auto kResultWait = std::chrono::seconds(10);
constexpr auto kResultStep = std::chrono::milliseconds(50);

std::string lf_lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The key of a "key=value" line, trimmed and lower-cased; empty without '='.
std::string lf_key(const std::string& line)
{
    const auto eq = line.find('=');
    return eq == std::string::npos ? std::string() : lf_lower(gf_trim(std::string_view(line).substr(0, eq)));
}

std::string lf_value(const std::string& line)
{
    const auto eq = line.find('=');
    return eq == std::string::npos ? std::string() : gf_trim(std::string_view(line).substr(eq + 1));
}

// `part` occurs in `text` ending at a component boundary (end, '/' or '\').
bool lf_containsComponent(std::string_view text, std::string_view part)
{
    if (part.empty()) return false;
    for (auto at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) {
        const auto end = at + part.size();
        if (end == text.size() || text[end] == '/' || text[end] == '\\') return true;
    }
    return false;
}

// ---- link lock and the files written under it ----------------------------

// Held for every link and generated file written. For each file written in this
// scan, the walk number of the BGL file that wrote it: an earlier file never
// replaces what a later one wrote.
std::mutex& lf_linkMutex = *new std::mutex;
std::map<std::string, std::uint64_t>& lf_writtenBy = *new std::map<std::string, std::uint64_t>;
constexpr std::uint64_t kLastInWalk = ~0ull;

// Whether `sequence` may write `path` now (the link lock held); notes it.
bool lf_mayWriteLocked(const fs::path& path, std::uint64_t sequence)
{
    auto [it, added] = lf_writtenBy.try_emplace(platform::pathText(path), sequence);
    if (!added && it->second > sequence) return false;
    it->second = sequence;
    return true;
}

// What became of a file written in walk order.
enum class WalkWrite { written, later, failed };
std::atomic<std::uint64_t> lf_tmpCount{0};

// Writes `file` for the BGL file with walk number `sequence` (`made`: its text
// could be made). The text goes to a temporary file of its own beside the file
// first, outside the link lock, so tasks write at the same time; under the lock
// it is renamed over the file unless a later file of the walk has written it.
WalkWrite lf_writeInWalkOrder(bool made, std::string_view text, const fs::path& file, std::uint64_t sequence)
{
    std::error_code ec;
    fs::path tmp = file;
    tmp += vr::format(".{}.tmp", ++lf_tmpCount);
    bool written = false;
    if (made) {
        fs::create_directories(file.parent_path(), ec);
        written = gf_writeTextFile(text, tmp);
    }
    WalkWrite result = WalkWrite::failed;
    {
        std::lock_guard lock(lf_linkMutex);
        if (!lf_mayWriteLocked(file, sequence)) result = WalkWrite::later;
        else if (written && (fs::rename(tmp, file, ec), !ec)) return WalkWrite::written;
    }
    if (made) fs::remove(tmp, ec);
    return result;
}

// ---- publishers ---------------------------------------------------------

struct LoweredAliases {
    std::vector<std::vector<std::string>> groups;  // aliases lower-cased; publisher = PublisherAliases[i][0]
};

LoweredAliases lf_lowerAliases()
{
    LoweredAliases out;
    out.groups.reserve(PublisherAliases.size());
    for (const auto& group : PublisherAliases) {
        auto& g = out.groups.emplace_back();
        for (const auto& alias : group) g.push_back(lf_lower(alias));
    }
    return out;
}

bool lf_simaddonByName(const std::string& path) { return lf_lower(path).find("orbx") != std::string::npos; }

void lf_logSimaddonByName() { gf_scanLog(vr::format("from filename => publisher {}", kSimaddon)); }

// The publisher of a BGL file by its path (scan-logged per airport by the callers).
std::string lf_publisher(const std::string& path, const LoweredAliases& aliases)
{
    if (lf_simaddonByName(path)) return kSimaddon;
    const std::string lower = lf_lower(path);
    for (std::size_t i = 0; i < aliases.groups.size(); ++i) {
        for (const auto& alias : aliases.groups[i])
            if (alias.empty() || lower.find(alias) != std::string::npos) return PublisherAliases[i][0];
    }
    return "unknown";
}

bool lf_linkAirport(ScannedAirport& airport, int& count, const std::string& path, const std::string& publisher,
                    std::uint64_t sequence)
{
    count = 0;
    airport.bglPath = path;
    airport.publisher = publisher;
    if (publisher == "unknown") return false;
    const bool simaddon = publisher == kSimaddon;
    std::optional<std::string> reference;
    {
        std::lock_guard lock(lf_linkMutex);
        reference = simaddon ? lf_linkSimaddon(airport.icao) : lf_linkThirdParty(publisher, airport.icao, count);
    }
    if (!reference) return false;
    const fs::path file = (simaddon ? myOrbxFolder : myThirdpartyFolder) / airportLinkFileName(airport.icao);
    if (lf_writeInWalkOrder(true, simaddon ? *reference : *reference + "\n", file, sequence) == WalkWrite::failed) {
        gf_scanLog(vr::format("{}could not write {}", kMark, platform::pathText(file)));
        count = 0;
        return false;
    }
    if (simaddon) gf_scanLog(vr::format("{} airport {} linked to {}", kSimaddon, airport.icao, *reference));
    else gf_scanLog(vr::format("thirdparty airport {} linked to {}", airport.icao, *reference));
    airportFilesChanged = true;
    return true;
}

void lf_generateAirportFile(ScannedAirport& airport, std::uint64_t sequence)
{
    if (airport.stands.empty()) return;
    const fs::path& folder = airport.publisher == kSimaddon ? myOrbxFolder : myThirdpartyFolder;
    const auto helipads = std::count_if(airport.stands.begin(), airport.stands.end(), [](const Stand& s) { return s.heli; });
    const std::string heliText =
        helipads > 0 ? vr::format(", of which {} helipad{}", helipads, gf_pluralSuffix(helipads)) : std::string();
    const auto n = airport.stands.size();
    gf_scanLog(vr::format("Generated {}: {} position{}{}", airportXmlName(airport.icao), n, gf_pluralSuffix(n), heliText));
    // Written in the order of the ids; the stands themselves stay where they are.
    std::vector<std::uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0U);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::uint32_t a, std::uint32_t b) { return airport.stands[a].name < airport.stands[b].name; });
    const fs::path file = folder / airportFileName(airport.icao);
    std::string text;
    const bool made = standFileText(airport, StandFileMode::full, text, order);
    if (lf_writeInWalkOrder(made, text, file, sequence) == WalkWrite::failed) {
        gf_scanLog(vr::format("{}Generating {} did not succeed", kMark, platform::pathText(file)));
        return;
    }
    airportFilesChanged = true;  // also when a later file of the walk wrote it
}

// ---- tasks --------------------------------------------------------------

std::mutex& lf_bodyMutex = *new std::mutex;
BglTaskBody& lf_body = *new BglTaskBody;
std::atomic<int> lf_liveTasks{0};

// What one task does with its airports: links and generates under its walk number.
class ScanHandler final : public BglAirportHandler {
public:
    ScanHandler(std::uint64_t sequence, const LoweredAliases& aliases) : sequence_(sequence), aliases_(aliases) {}
    bool linkAirport(ScannedAirport& airport, int& count, const std::string& path) override
    {
        if (!publisher_) {  // worked out once per file, logged for each of its airports
            publisher_ = lf_publisher(path, aliases_);
            simaddonByName_ = lf_simaddonByName(path);
        }
        if (simaddonByName_) lf_logSimaddonByName();
        return lf_linkAirport(airport, count, path, *publisher_, sequence_);
    }
    void generateAirportFile(ScannedAirport& airport) override { lf_generateAirportFile(airport, sequence_); }

private:
    std::uint64_t sequence_;
    const LoweredAliases& aliases_;
    std::optional<std::string> publisher_;
    bool simaddonByName_ = false;
};

struct BglTask {
    fs::path path;
    std::optional<std::vector<std::uint32_t>> words;  // the file, read when it was tested
    std::uint64_t sequence = 0;
    std::atomic<bool> stop{false};
    std::mutex mutex;
    std::condition_variable doneCv;
    bool done = false;  // under mutex; once set, the task's thread no longer touches it
    std::vector<std::string> lines;
    std::exception_ptr error;
};

// The bytes of the tested files a folder search keeps for their tasks, at most
// kKeptBytes (the threads test against it before they read, so it may be
// passed by a file or so a thread). A file beyond it is read again by its task.
constexpr std::uint64_t kKeptBytes = 64ull << 20;

std::uint64_t lf_wordBytes(const std::optional<std::vector<std::uint32_t>>& words)
{
    return words ? words->size() * sizeof(std::uint32_t) : 0;
}

void lf_runTask(BglTask& task, const LoweredAliases& aliases, const BglTaskBody& body, std::atomic<std::uint64_t>& kept)
{
    std::vector<std::string> lines;
    std::exception_ptr error;
    // The search keeps its tasks to the limit, so a slot is free now unless
    // another scan holds one; none is given while the run closes, and then the
    // task does nothing, as one that sees its stop flag at once.
    if (gf_waitForTaskSlot()) {
        ++runningTasks;
        TaskSlotRelease slot;  // given back before the result is handed over
        ScanLogCapture capture(lines);
        const auto words = std::move(task.words);
        task.words.reset();
        try {
            ScanHandler handler(task.sequence, aliases);
            if (body) body(task.path, handler, task.stop);
            else if (words) lf_processBGLwords(*words, platform::pathText(task.path), handler, &task.stop);
            else lf_processBGLfile(task.path, handler, &task.stop);
        } catch (...) {
            error = std::current_exception();
        }
        kept -= lf_wordBytes(words);
    }
    // Told under the lock: the collector may free the task as soon as it holds the lock.
    std::lock_guard lock(task.mutex);
    task.lines = std::move(lines);
    task.error = error;
    task.done = true;
    --lf_liveTasks;
    task.doneCv.notify_all();
}

// A run of BGL files the walk found, in walk order, whose headers are tested
// (and the files that pass read) on the search's threads, ahead of the walk.
struct TestBatch {
    struct File {
        fs::path path;
        BglScanFile file;
        std::exception_ptr error;
    };
    std::vector<File> files;
    bool done = false;  // under the search's pool mutex
};

constexpr std::size_t kBatchFiles = 16;   // files tested together
constexpr std::size_t kBatchesAhead = 32;  // batches tested ahead of the tasks started

void lf_testBatch(TestBatch& batch, std::atomic<std::uint64_t>& kept)
{
    for (TestBatch::File& f : batch.files) {
        try {
            const std::uint64_t now = kept.load();
            f.file = lf_readBGLforScan(f.path, now < kKeptBytes ? kKeptBytes - now : 0);
            kept += lf_wordBytes(f.file.words);
        } catch (...) {
            f.error = std::current_exception();
        }
    }
}

// One folder's search. The walk hands it the BGL files in walk order; their
// headers are tested in batches on the search's threads, ahead of the walk, and
// each file that passes becomes a task, started in walk order. The tasks are
// collected in that order too, and the search holds at most one more than the
// task limit. The threads (started as work comes, at most one more than the
// task limit) run at most the limit of tasks at once, take the tasks in walk
// order, and end with the search.
class FolderSearch {
public:
    FolderSearch(std::string folderText, const LoweredAliases& aliases, std::uint64_t& sequence)
        : folderText_(std::move(folderText)), aliases_(aliases), sequence_(sequence)
    {
        std::lock_guard lock(lf_bodyMutex);
        body_ = lf_body;
    }
    ~FolderSearch()
    {
        collectAll();
        {
            std::lock_guard lock(poolMutex_);
            // Batches not yet tested are not wanted any more.
            std::erase_if(waiting_, [](const Work& w) { return w.batch != nullptr; });
            quit_ = true;
        }
        poolCv_.notify_all();
        for (std::thread& t : threads_) t.join();
    }

    // A BGL file of the walk. False once the walk is to stop (a stop flag).
    bool offer(fs::path path)
    {
        if (!open_) open_ = std::make_unique<TestBatch>();
        open_->files.push_back({std::move(path), {}, {}});
        if (open_->files.size() >= kBatchFiles) postOpenBatch();
        return startTested(kBatchesAhead);
    }
    // Every file offered is tested and its task started; false as offer.
    bool finish()
    {
        if (open_) postOpenBatch();
        return startTested(0);
    }
    void collectAll()
    {
        while (!fifo_.empty()) collectOldest(false);
    }

private:
    struct Work {
        BglTask* task = nullptr;
        TestBatch* batch = nullptr;
    };

    // Queues work for the threads, starting one when none is free.
    void enqueue(Work work)
    {
        const std::size_t limit = static_cast<std::size_t>(std::max(1, taskLimit.load()));
        bool wake = false;
        {
            std::lock_guard lock(poolMutex_);
            if (idle_ <= static_cast<int>(waiting_.size()) && threads_.size() <= limit)
                threads_.emplace_back([this] { runWork(); });  // no thread to be had: the walk ends with the failure
            waiting_.push_back(work);
            wake = idle_ > 0 && takeableLocked() > 0;
        }
        if (wake) poolCv_.notify_one();
    }

    void postOpenBatch()
    {
        enqueue({nullptr, open_.get()});
        batches_.push_back(std::move(open_));
    }

    // Starts the tasks of the tested batches in walk order, waiting for the
    // oldest batch while more than `ahead` are untested or unstarted.
    bool startTested(std::size_t ahead)
    {
        while (!batches_.empty()) {
            TestBatch& batch = *batches_.front();
            {
                std::unique_lock lock(poolMutex_);
                if (!batch.done && batches_.size() <= ahead) return true;
                awaited_ = &batch;
                testedCv_.wait(lock, [&] { return batch.done; });
                awaited_ = nullptr;
            }
            const std::unique_ptr<TestBatch> owned = std::move(batches_.front());
            batches_.pop_front();
            for (TestBatch::File& f : owned->files) {
                if (f.error) std::rethrow_exception(f.error);
                if (!f.file.airports) continue;
                if (anyStopFlag()) return false;
                start(std::move(f.path), std::move(f.file.words));
            }
        }
        return true;
    }

    void start(fs::path path, std::optional<std::vector<std::uint32_t>> words)
    {
        auto task = std::make_unique<BglTask>();
        task->path = std::move(path);
        task->words = std::move(words);
        task->sequence = ++sequence_;
        ++lf_liveTasks;
        try {
            enqueue({task.get(), nullptr});
        } catch (...) {
            --lf_liveTasks;
            throw;
        }
        fifo_.push_back(std::move(task));
        const std::size_t limit = static_cast<std::size_t>(std::max(1, taskLimit.load()));
        if (fifo_.size() > limit) collectOldest(true);
    }

    // A thread of the search: takes the oldest task while fewer than the task
    // limit run, else the oldest batch. The thread that ends a task takes the
    // next one itself, so a task limit of 1 costs no hand-over between threads.
    void runWork()
    {
        std::unique_lock lock(poolMutex_);
        for (;;) {
            ++idle_;
            poolCv_.wait(lock, [this] { return quit_ || nextWorkLocked() != waiting_.end(); });
            --idle_;
            const auto next = nextWorkLocked();
            if (next == waiting_.end()) return;  // quitting: the search has collected every task
            const Work work = *next;
            waiting_.erase(next);
            if (work.task) {
                ++tasksRunning_;
                lock.unlock();
                lf_runTask(*work.task, aliases_, body_, kept_);
                lock.lock();
                --tasksRunning_;
                // This thread takes the next work itself; another is woken only for more.
                if (idle_ > 0 && takeableLocked() > 1) poolCv_.notify_one();
                continue;
            }
            lock.unlock();
            lf_testBatch(*work.batch, kept_);
            lock.lock();
            work.batch->done = true;
            if (work.batch == awaited_) testedCv_.notify_one();
        }
    }

    // The oldest task while fewer than the task limit run, else the oldest batch.
    std::deque<Work>::iterator nextWorkLocked()
    {
        const auto task = std::find_if(waiting_.begin(), waiting_.end(), [](const Work& w) { return w.task; });
        if (task != waiting_.end() && tasksRunning_ < std::max(1, taskLimit.load())) return task;
        return std::find_if(waiting_.begin(), waiting_.end(), [](const Work& w) { return w.batch; });
    }
    // How many of the waiting works threads may take now.
    std::ptrdiff_t takeableLocked() const
    {
        const auto tasks = std::count_if(waiting_.begin(), waiting_.end(), [](const Work& w) { return w.task; });
        const auto places = std::max(0, std::max(1, taskLimit.load()) - tasksRunning_);
        return static_cast<std::ptrdiff_t>(waiting_.size()) - tasks + std::min<std::ptrdiff_t>(tasks, places);
    }

    void collectOldest(bool inner)
    {
        std::unique_ptr<BglTask> task = std::move(fifo_.front());
        fifo_.pop_front();
        {
            std::unique_lock lock(task->mutex);
            auto& clock = platform::clock();
            const auto deadline = clock.now() + kResultWait;
            while (!task->done) {
                if (anyStopFlag()) {
                    task->stop = true;
                    break;
                }
                if (clock.now() >= deadline) {
                    gf_scanLog(vr::format("{}Future wait timed out after 10 seconds: {}", kMark,
                                          platform::pathText(task->path)));
                    task->stop = true;
                    break;
                }
                clock.waitUntil(task->doneCv, lock, std::min(clock.now() + kResultStep, deadline),
                                [&] { return task->done; });
                // A clock of virtual time returns at once with the lock held: let the task in.
                lock.unlock();
                std::this_thread::yield();
                lock.lock();
            }
        }
        {
            // The task sees its stop flag before its next record.
            std::unique_lock lock(task->mutex);
            task->doneCv.wait(lock, [&] { return task->done; });
        }
        appendScanLogLines(std::move(task->lines));
        if (!task->error) return;
        std::string what = "unknown exception";
        try {
            std::rethrow_exception(task->error);
        } catch (const std::exception& e) {
            what = e.what();
        } catch (...) {
        }
        const std::string path = platform::pathText(task->path);
        if (inner) gf_scanLog(vr::format("{} airports search aborted, futs inner, \n{}\n{}\n{}", kMark, folderText_, path, what));
        else gf_scanLog(vr::format("{} airports search in {} aborted, futs outer error: {} ({})", kMark, folderText_, what, path));
    }

    std::string folderText_;
    const LoweredAliases& aliases_;
    std::uint64_t& sequence_;
    BglTaskBody body_;
    std::deque<std::unique_ptr<BglTask>> fifo_;      // started, not yet collected
    std::unique_ptr<TestBatch> open_;                // files offered, not yet posted
    std::deque<std::unique_ptr<TestBatch>> batches_;  // posted, their tasks not yet started
    std::mutex poolMutex_;  // a leaf: the threads' queue and state below, and the batches' done flags
    std::condition_variable poolCv_;
    std::atomic<std::uint64_t> kept_{0};  // bytes of tested files kept for their tasks
    std::condition_variable testedCv_;  // the batch the walk waits for is done
    const TestBatch* awaited_ = nullptr;  // that batch
    std::deque<Work> waiting_;
    std::vector<std::thread> threads_;
    int idle_ = 0;
    int tasksRunning_ = 0;
    bool quit_ = false;
};

// State of one scan run, shared by its folder searches (worker thread only).
struct ScanRun {
    LoweredAliases aliases;
    std::uint64_t sequence = 0;
};
ScanRun* lf_run = nullptr;

// Walks `dir` in name order, directory links not followed, and offers the
// search its BGL files; false once the walk is to stop.
bool lf_walk(const fs::path& dir, FolderSearch& search)
{
    for (const auto& entry : platform::listDirectorySorted(dir)) {
        const fs::path& path = entry.path();
        std::error_code ec;
        if (entry.is_symlink(ec)) {
            if (entry.is_directory(ec)) continue;
        }
        if (entry.is_directory(ec)) {
            if (lf_isSimulatorPath(path)) continue;
            if (!lf_walk(path, search)) return false;
            continue;
        }
        if (!entry.is_regular_file(ec) || !lf_isBGLfile(path.extension())) continue;
        const std::string text = platform::pathText(path);
        if (text.find("statics") != std::string::npos || text.find("_heliports") != std::string::npos) continue;
        if (lf_isSimulatorPath(path)) continue;
        if (!search.offer(path)) return false;
    }
    return true;
}

fs::path lf_programDataFolder()
{
    if (auto folder = platform::knownFolder(platform::KnownFolder::ProgramData)) return *folder;
    return platform::toFsPath("C:\\ProgramData");
}

fs::path lf_sceneryListFolder()
{
    return lf_programDataFolder() / "Lockheed Martin" / ("Prepar3D v" + p3dVersionFromPath());
}

void lf_copyForLearning(const std::vector<std::string>& codes, const fs::path& folder, bool orbx)
{
    std::size_t done = 0;
    std::size_t copied = 0;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        if (anyStopFlag()) return;
        const std::string& icao = codes[i];
        showMessage(vr::format("Offline learning check {} ({} of {})", icao, i + 1, codes.size()));
        if (!lf_checkArchivedForOfflineLearning(icao)) {
            ++done;
            continue;
        }
        const fs::path source = folder / airportFileName(icao);
        const fs::path target = tbloFolder / airportFileName(icao);
        std::error_code ec;
        fs::copy_file(source, target, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            if (orbx) logLineMarked(vr::format("failed to copy {}", platform::pathText(source)));
            else logLineMarked(vr::format("'{}' failed to copy '{}'", platform::pathText(source), platform::pathText(target)));
            continue;
        }
        logLine(vr::format("{} copied to {}", icao, platform::pathText(target)));
        ++copied;
        if (fs::exists(folder / airportLinkFileName(icao))) fs::remove(source);
    }
    if (orbx) {
        statusPanel().orbxDone = done + copied == codes.size();
        repaintStatusPanel();
    }
    const auto inTblo = gf_listFolder(tbloFolder);
    statusPanel().tbloCount = static_cast<std::int32_t>(inTblo);
    if (inTblo == 0) {
        logLine(orbx ? "All your ORBX airports are done, no off line learning needed."
                     : "All your third party airports are done, no off line learning needed.");
        if (!orbx && fs::exists(tbloFolder)) fs::remove(tbloFolder);
    } else {
        logLineMarked(vr::format("\nzip folder '{}', and mail to {}", platform::pathText(tbloFolder),
                                 "support@vormeth.example"));
    }
}

}  // namespace

fs::path stockAirportsPath()
{
    const std::string install = SIM_INSTALL_PATH.get();
    if (gf_trim(install).empty()) return {};
    return platform::toFsPath(install) / "Scenery";
}

fs::path sceneryCfgPath() { return lf_sceneryListFolder() / "scenery.cfg"; }
fs::path sceneryAddOnsPath() { return lf_sceneryListFolder() / "scenery_add-ons.xml"; }

bool lf_isBGLfile(const fs::path& extension)
{
    const std::string e = extension.string();
    return e == ".BGL" || e == ".bgl";
}

bool lf_isSimulatorPath(const fs::path& path)
{
    const fs::path stock = stockAirportsPath();
    if (stock.empty()) return false;
    return lf_containsComponent(platform::pathText(path.lexically_normal()), platform::pathText(stock.lexically_normal()));
}

bool lf_isStockSceneryFolder(std::string_view text)
{
    static const char* const names[] = {
        "\\Cities", "\\CITIES", "\\cities", "\\World", "\\BASE", "\\Global", "\\Bathymetry", "\\AFRI", "\\ASIA",
        "\\AUST",   "\\EURE",   "\\EURW",   "\\NAMC",  "\\NAME", "\\NAMW",   "\\OCEN",       "\\SAME", "\\0006",
        "\\0007",   "\\0103",   "\\0106",   "\\0107",  "\\0206", "\\0207",   "\\0307",       "\\0407", "\\0505",
        "\\0506",   "\\0507",   "\\0606",   "\\0607",  "\\0706", "\\0707",   "\\0805",       "\\0806", "\\0807",
        "\\0900",   "\\0906",   "\\0907",   "\\1000",  "\\1006", "\\1007",   "\\1100",       "\\1102", "\\1107"};
    const std::string trimmed = gf_trim(text);
    for (const char* name : names)
        if (lf_containsComponent(trimmed, name)) return true;
    return false;
}

std::string publisherFromFilename(const std::string& path)
{
    if (lf_simaddonByName(path)) lf_logSimaddonByName();
    return lf_publisher(path, lf_lowerAliases());
}

std::optional<std::string> lf_linkSimaddon(const std::string& icao)
{
    if (SimAddonAirports.count(icao) > 0) return "archive/" + std::string(kSimaddon) + "/" + airportXmlName(icao);
    gf_scanLog(vr::format("{} does not exist as simaddon", icao));
    return std::nullopt;
}

std::optional<std::string> lf_linkThirdParty(const std::string& publisher, const std::string& icao, int& count)
{
    std::string folder = publisher;
    if (const auto blank = folder.find(' '); blank != std::string::npos) folder.replace(blank, 1, "%20");
    const std::string reference = "archive/thirdparty/" + folder + "/" + airportXmlName(icao);
    for (const auto& entry : ThirdPartyAirports) {
        if (entry.publisher != publisher) continue;
        for (const auto& item : entry.airports) {
            // The count follows the 4-character code.
            PrefixedNumberParser parser{publisher, icao, count};
            if (icao.size() == 4 && parser.parsePrefixedNumber(item)) return reference;
        }
    }
    gf_scanLog(vr::format("thirdparty {} {} does not exist", publisher, icao));
    return std::nullopt;
}

bool lf_linkAirport(ScannedAirport& airport, int& count, const std::string& path)
{
    return lf_linkAirport(airport, count, path, publisherFromFilename(path), kLastInWalk);
}

void lf_generateAirportFile(ScannedAirport& airport) { lf_generateAirportFile(airport, kLastInWalk); }

void lf_readAfolderParameters(std::vector<std::string>& list)
{
    list.clear();
    const fs::path stock = stockAirportsPath();
    for (StringParameter* option : afolder) {
        const std::string value = option->get();
        if (value.empty()) continue;
        if (!stock.empty() && lf_isSimulatorPath(platform::toFsPath(value)))
            throw qxv::UserErrorException(
                42, vr::format("parameter {} points to stock airports instead of add-on airports!", option->name()));
        logLine(vr::format("From parameter {}: {}", option->name(), value));
        list.push_back(value);
    }
}

namespace {

// A folder as Windows names it: letter case, separator kind and a trailing separator do not count.
std::string lf_folderKey(const std::string& folder)
{
    std::string key = lf_lower(folder);
    std::replace(key.begin(), key.end(), '/', '\\');
    while (key.size() > 1 && key.back() == '\\') key.pop_back();
    return key;
}

// Appends the folder unless the list names it already (a repeated entry would be scanned twice).
bool lf_addFolder(std::vector<std::string>& list, const std::string& folder)
{
    const std::string key = lf_folderKey(folder);
    if (std::any_of(list.begin(), list.end(), [&key](const std::string& f) { return lf_folderKey(f) == key; })) {
        logLine("      listed before, skipped:" + folder);
        return false;
    }
    list.push_back(folder);
    return true;
}

}  // namespace

void lf_readSceneryCfgEntries(const std::vector<std::string>& section, const std::string& base,
                              std::vector<std::string>& list)
{
    const bool active = std::any_of(section.begin(), section.end(), [](const std::string& line) {
        return lf_key(line) == "active" && lf_lower(lf_value(line)) == "true";
    });
    if (!active) return;
    for (const auto& line : section) {
        if (lf_key(line) != "local" || lf_isStockSceneryFolder(line)) continue;
        std::string value = lf_value(line);
        if (value.size() < 2 || value.find(":\\") == std::string::npos) {
            const bool separated = !base.empty() && (base.back() == '\\' || base.back() == '/');
            value = base + (separated ? "" : "\\") + value;
        }
        if (lf_isSimulatorPath(platform::toFsPath(value))) continue;
        if (lf_addFolder(list, value)) logLine("      found:" + value);
    }
}

void lf_readSceneryCfg(std::vector<std::string>& list)
{
    const fs::path path = sceneryCfgPath();
    logLine(vr::format("\nReading: {} for airport add-ons ...", platform::pathText(path)));
    std::vector<std::string> lines;
    if (!gf_readTextFileLines(path, lines)) {
        logLine(platform::pathText(path) + " not found!");
        return;
    }
    const std::size_t before = list.size();
    lf_readSceneryCfgLines(lines, list);
    logLine(vr::format("{} scenery add-on paths found\n", list.size() - before));
}

void lf_readSceneryCfgLines(const std::vector<std::string>& lines, std::vector<std::string>& list)
{
    const std::string base = SIM_INSTALL_PATH.get();
    std::vector<std::string> section;
    for (const auto& raw : lines) {
        const std::string line = gf_trim(raw);
        if (!line.empty() && line.front() == '[') {  // "[Area.001]" (or "[General]") starts a section
            lf_readSceneryCfgEntries(section, base, list);
            section.clear();
            continue;
        }
        const std::string key = lf_key(line);
        if (key == "required" || key == "title" || key == "layer") continue;
        section.push_back(line);
    }
    lf_readSceneryCfgEntries(section, base, list);
}

void lf_readSceneryAddOns(std::vector<std::string>& list)
{
    const fs::path path = sceneryAddOnsPath();
    logLine(vr::format("\nReading {} for add-on airport ...", platform::pathText(path)));
    std::vector<std::string> lines;
    if (!gf_readTextFileLines(path, lines)) {
        logLine(platform::pathText(path) + " not found!");
        return;
    }
    const std::size_t before = list.size();
    for (const auto& line : lines) {
        const std::string folder = gf_extractPath(line);
        if (folder.empty()) continue;
        if (lf_addFolder(list, folder)) logLine("found path:" + folder);
    }
    logLine(vr::format("{} scenery add-on paths found\n", list.size() - before));
}

void lf_searchFolder(const fs::path& folder)
{
    const std::string text = platform::pathText(folder);
    gf_scanLog("Scanning for addon airports in " + text);
    ScanRun local;
    if (!lf_run) local.aliases = lf_lowerAliases();
    ScanRun& run = lf_run ? *lf_run : local;
    FolderSearch search(text, run.aliases, run.sequence);
    // A folder that cannot be listed ends the walk; the files found before it
    // are still read, then the failure is logged, as if the walk had read each
    // file as it found it.
    std::string failure;
    bool more = true;
    try {
        more = lf_walk(folder, search);
    } catch (const fs::filesystem_error& e) {
        failure = vr::format("{} airports search in folder {} aborted because of iterator problem: {}", kMark, text,
                             e.what());
    } catch (const std::exception& e) {
        failure = vr::format("{} airports search in folder {} aborted, cause: {}", kMark, text, e.what());
        more = false;
    }
    if (more) {
        try {
            search.finish();
        } catch (const std::exception& e) {
            if (!failure.empty()) gf_scanLog(std::move(failure));
            failure = vr::format("{} airports search in folder {} aborted, cause: {}", kMark, text, e.what());
        }
    }
    if (!failure.empty()) gf_scanLog(std::move(failure));
    search.collectAll();
}

void lf_scanFolder(const std::vector<std::string>& list)
{
    for (const auto& text : list) {
        if (text.empty()) continue;
        if (anyStopFlag()) return;
        const fs::path folder = platform::toFsPath(text);
        std::error_code ec;
        if (!fs::exists(folder, ec)) {
            showMessage(text + " does not exist, skipped!", true);
        } else if (!fs::is_directory(folder, ec)) {
            showMessage(text + " is not a folder name, skipped!", true);
        } else if (!lf_isSimulatorPath(folder)) {
            lf_searchFolder(folder);
        }
    }
}

bool lf_scanMain(const std::vector<std::string>& list)
{
    logLine(vr::format("The scan will search {} folder{}", list.size(), list.size() == 1 ? "" : "s"));
    try {
        fs::remove(airportsScanLogPath);
    } catch (const fs::filesystem_error&) {
        logLine("problems with removing previous files (maybe still open?)");
    }
    statusPanel().tbloCount = 0;
    takeScanLogLines();

    ScanRun run;
    run.aliases = lf_lowerAliases();
    lf_run = &run;
    try {
        lf_scanFolder(list);
    } catch (...) {
        lf_run = nullptr;
        throw;
    }
    lf_run = nullptr;

    std::error_code ec;
    fs::create_directories(airportsScanLogPath.parent_path(), ec);
    gf_writeLines(takeScanLogLines(), airportsScanLogPath);
    logLine(platform::pathText(airportsScanLogPath) + " written");
    clearMessage();

    const auto thirdParty = gf_listXmlFiles(myThirdpartyFolder);
    const auto orbx = gf_listXmlFiles(myOrbxFolder);
    statusPanel().orbxDone = orbx.empty();
    repaintStatusPanel();
    if (!anyStopFlag()) {
        lf_copyOrbxForLearning(orbx);
        lf_copyThirdPartyForLearning(thirdParty);
    }
    const bool changed = airportFilesChanged.load();
    if (changed) logLine("Airports scan successful");
    return changed;
}

void lf_copyOrbxForLearning(const std::vector<std::string>& codes) { lf_copyForLearning(codes, myOrbxFolder, true); }

void lf_copyThirdPartyForLearning(const std::vector<std::string>& codes)
{
    lf_copyForLearning(codes, myThirdpartyFolder, false);
}

void gf_scanAirports()
{
    showMessage("Scanning for addon airports ...");
    logLine(vr::format("\n++++++++++++++++++++++++ airports scan {} starts +++++++++++++++++++++++++++++",
                       AFG_AUTOMATIC.get() ? "automatic " : "manual "));
    airportFilesChanged = false;
    {
        std::lock_guard lock(lf_linkMutex);
        lf_writtenBy.clear();
    }

    // The folders first: a refused option must not cost the user's files.
    std::vector<std::string> folders;
    folders.reserve(10);
    if (AFG_AUTOMATIC.get()) {
        lf_readSceneryCfg(folders);
        lf_readSceneryAddOns(folders);
    } else {
        lf_readAfolderParameters(folders);
        if (folders.empty())
            throw qxv::UserErrorException(49, "Set afolder parameter(-s) to your add-on airports first, see Manual 6.1");
    }

    if (fs::exists(tbloFolder)) gf_cleanFolder(tbloFolder);
    else fs::create_directory(tbloFolder);
    gf_cleanFolder(myOrbxFolder);
    gf_cleanFolder(myThirdpartyFolder);
    generatedFileSimulator.set("P3D");

    if (!lf_scanMain(folders)) showMessage("Warning: Scan has not found any add-on airports", true);

    if (!anyStopFlag()) {
        SCAN_AIRPORTS.set(false);
        saveBoolParameter(&SCAN_AIRPORTS);
        showCheckboxState(SCAN_AIRPORTS);  // the box follows the option, as the livery scan's does
    }
    repaintStatusPanel();
    if (fs::exists(tbloFolder) && gf_listFolder(tbloFolder) == 0) fs::remove(tbloFolder);
    logLine("-------------------------- airports scan ends    ----------------------------\n");
}

void setBglTaskBody(BglTaskBody body)
{
    std::lock_guard lock(lf_bodyMutex);
    lf_body = std::move(body);
}

int liveBglTaskCount() { return lf_liveTasks.load(); }
