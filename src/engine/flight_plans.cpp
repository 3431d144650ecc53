#include "engine/flight_plans.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <fstream>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "core/fmt.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/tick_wake.h"
#include "engine/ac_records.h"
#include "platform/clock.h"
#include "platform/thread_name.h"

namespace fs = std::filesystem;

namespace {

struct FolderState {
    fs::path folder;
    TreeRemover remover;
};

FolderState& lf_state()
{
    static auto* s = new FolderState;
    return *s;
}

bool lf_exists(const fs::path& p)
{
    std::error_code ec;
    const bool e = fs::exists(p, ec);
    if (ec) throw fs::filesystem_error("exists", p, ec);
    return e;
}

// One piece of file work: a plan to write, or the file of an aircraft to remove.
struct FlightPlanJob {
    fs::path path;
    std::string text;
    std::uint32_t objectId = 0;
    std::uint32_t aircraftId = 0;
    bool remove = false;
};

bool lf_writeText(const fs::path& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    return static_cast<bool>(out);
}

// Does the file work in the order asked: on its thread once started, else in
// the caller. Everything below mutex_ is guarded by it.
class FlightPlanWriter {
public:
    void start()
    {
        std::lock_guard lock(mutex_);
        if (!thread_.joinable()) thread_ = std::thread([this] {
            platform::nameThisThread("vrmt-flightplans");
            run();
        });
    }

    void stop()
    {
        std::thread thread;
        {
            std::lock_guard lock(mutex_);
            if (!thread_.joinable()) return;
            stop_ = true;
            held_ = false;
            thread = std::move(thread_);
            workCv_.notify_one();
        }
        thread.join();
        std::lock_guard lock(mutex_);
        stop_ = false;
    }

    void submit(FlightPlanJob&& job)
    {
        {
            std::lock_guard lock(mutex_);
            if (thread_.joinable()) {
                jobs_.push_back(std::move(job));
                workCv_.notify_one();
                return;
            }
        }
        doJob(job);
    }

    void take(std::vector<WrittenFlightPlan>& out)
    {
        out.clear();
        std::lock_guard lock(mutex_);
        out.swap(written_);
    }

    bool writtenWaiting()
    {
        std::lock_guard lock(mutex_);
        return !written_.empty();
    }

    void hold(bool held)
    {
        std::lock_guard lock(mutex_);
        held_ = held;
        workCv_.notify_one();
    }

    void finish()
    {
        std::unique_lock lock(mutex_);
        idleCv_.wait(lock, [this] { return jobs_.empty() && !busy_; });
    }

    // The waiting work and the plans not taken go; the job under way is finished.
    void drop()
    {
        std::unique_lock lock(mutex_);
        jobs_.clear();
        idleCv_.wait(lock, [this] { return !busy_; });
        written_.clear();
        writers_.clear();
    }

private:
    void run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            workCv_.wait(lock, [this] { return (!jobs_.empty() && !held_) || stop_; });
            if (jobs_.empty()) return;  // stopped, with everything done
            FlightPlanJob job = std::move(jobs_.front());
            jobs_.pop_front();
            busy_ = true;
            lock.unlock();
            doJob(job);
            lock.lock();
            busy_ = false;
            idleCv_.notify_all();
        }
    }

    // Without mutex_ held. One job at a time: the writer thread's, or the caller's without it.
    void doJob(const FlightPlanJob& job)
    {
        std::error_code ec;
        if (job.remove) {
            // Only the file this aircraft wrote: the simulator may have given its
            // object id to another aircraft since, whose plan is there now.
            {
                std::lock_guard lock(mutex_);
                const auto it = writers_.find(job.objectId);
                if (it == writers_.end() || it->second != job.aircraftId) return;
                writers_.erase(it);
            }
            fs::remove(job.path, ec);
            return;
        }
        const bool written = lf_writeText(job.path, job.text);
        if (!written) fs::remove(job.path, ec);
        {
            std::lock_guard lock(mutex_);
            if (written)
                writers_[job.objectId] = job.aircraftId;
            else
                writers_.erase(job.objectId);
            written_.push_back({job.objectId, job.aircraftId, written});
        }
        wakeTickLoop();  // the worker hands it to the simulator on its next tick
    }

    std::mutex mutex_;
    std::condition_variable workCv_;
    std::condition_variable idleCv_;
    std::deque<FlightPlanJob> jobs_;
    std::vector<WrittenFlightPlan> written_;
    // The aircraft whose plan each object id's file holds (set as it is written).
    std::unordered_map<std::uint32_t, std::uint32_t> writers_;
    bool busy_ = false;
    bool held_ = false;
    bool stop_ = false;
    std::thread thread_;
};

// Never destroyed: its thread sleeps on until the process ends.
FlightPlanWriter& lf_writer()
{
    static auto* w = new FlightPlanWriter;
    return *w;
}

const char* lf_flightRule(AcCategory c)
{
    switch (c) {
    case AcCategory::Buzjets:
    case AcCategory::Large:
    case AcCategory::Heavy: return "IFR";
    default: return "VFR";
    }
}

}  // namespace

fs::path flightPlanFolder()
{
    const FolderState& s = lf_state();
    return s.folder.empty() ? dataFolderPath() / "orig_dest" : s.folder;
}

std::string xmlEscaped(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default:
            if (static_cast<unsigned char>(c) >= 0x20 && c != 0x7f) out += c;
        }
    }
    return out;
}

std::string flightPlanText(const AcIdentity& identity)
{
    return vr::format("{}\n{}\n{}\n{}{}{}\n{}{}{}\n{}{}{}\n{}\n{}", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>",
                      "<SimBase.Document Type=\"AceXML\" version=\"4,3\">", "<FlightPlan.FlightPlan>", "<FPType>",
                      lf_flightRule(identity.category), "</FPType>", "<DepartureID>", xmlEscaped(identity.origin),
                      "</DepartureID>", "<DestinationID>", xmlEscaped(identity.destination), "</DestinationID>",
                      "</FlightPlan.FlightPlan>", "</SimBase.Document>") +
           "\n";
}

bool gf_writeFlightPlan(const fs::path& path, const AcIdentity& identity)
{
    return lf_writeText(path, flightPlanText(identity));
}

void startFlightPlanWriter() { lf_writer().start(); }
void stopFlightPlanWriter() { lf_writer().stop(); }

void requestFlightPlanFile(std::uint32_t objectId, std::uint32_t aircraftId, const AcIdentity& identity)
{
    lf_writer().submit({flightPlanFolder() / gf_flightPlanFileName(objectId), flightPlanText(identity), objectId,
                        aircraftId, false});
}

void requestFlightPlanRemoval(std::uint32_t objectId, std::uint32_t aircraftId)
{
    lf_writer().submit({flightPlanFolder() / gf_flightPlanFileName(objectId), {}, objectId, aircraftId, true});
}

void takeWrittenFlightPlans(std::vector<WrittenFlightPlan>& out) { lf_writer().take(out); }
bool writtenFlightPlansWaiting() { return lf_writer().writtenWaiting(); }
void holdFlightPlanWriter(bool hold) { lf_writer().hold(hold); }
void finishFlightPlanWork() { lf_writer().finish(); }

fs::path gf_flightPlanFileName(std::uint32_t objectId) { return vr::format("{}.pln", objectId); }

bool gf_createFlightPlanFolder()
{
    const fs::path base = dataFolderPath();
    FolderState& s = lf_state();
    s.folder = base / "orig_dest";
    std::error_code ec;
    if (!lf_exists(base)) fs::create_directories(base, ec);
    if (!lf_exists(s.folder)) fs::create_directory(s.folder, ec);
    return lf_exists(s.folder);
}

bool gf_removeFlightPlanFolder()
{
    lf_writer().drop();
    const fs::path folder = flightPlanFolder();
    if (!lf_exists(folder)) return true;
    const TreeRemover remover = lf_state().remover;
    std::error_code ec;
    for (int attempt = 1; attempt <= 10; ++attempt) {
        ec.clear();
        if (remover)
            remover(folder, ec);
        else
            fs::remove_all(folder, ec);
        if (!ec) break;
        if (ec != std::errc::directory_not_empty && ec != std::errc::permission_denied) break;
        if (attempt < 10) platform::sleepFor(std::chrono::milliseconds(50));
    }
    if (ec) logLine(vr::format("gf_removeFlightPlanFolder: {}", ec.message()));
    return !lf_exists(folder);
}

void setTreeRemover(TreeRemover remover) { lf_state().remover = std::move(remover); }
