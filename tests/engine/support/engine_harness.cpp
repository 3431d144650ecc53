#include "support/engine_harness.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>

#include "core/log.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/random.h"
#include "core/run_state.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/flight_plans.h"
#include "engine/scheduling.h"
#include "service_standin.h"
#include "simlink/sim_client.h"
#include "simlink/sim_queues.h"
#include "simlink/user_aircraft.h"
#include "traffic_service/handover.h"
#include "traffic_service/traffic_reader.h"

namespace fs = std::filesystem;

void resetEngineForTest()
{
    removeAllAiObjects();
    tickCounter = 0;
    resetSimLink();
    (void)takeSimReplies();
    setRunningFlag(false);
    resetRunState();
    setTreeRemover(nullptr);
    TrafficReader& reader = trafficReader();
    reader.records.clear();
    reader.blockedState = true;
    reader.lastRecordTime = 0.0;
    resetBlockedCallsignReport();
}

HRESULT QuietSimApi::setDataOnSimObject(DWORD defineId, DWORD objectId, DWORD unitSize, const void* data)
{
    if (defineId == DEF_AC_POSITION) {
        ++positionWrites;
        return 0;
    }
    return SimApiFake::setDataOnSimObject(defineId, objectId, unitSize, data);
}

bool HarnessAirports::removeFarthestLive(double distanceNm)
{
    calls.add(vr::format("removeFarthestLive {:.3f}", distanceNm));
    if (!useRule) return removeFarthestResult;
    const LatLon user{engineUserAcState.latitude, engineUserAcState.longitude};
    double farthest = distanceNm;
    std::optional<std::uint32_t> candidate;
    for (const LiveAc& a : liveAircraft) {
        if (a.simState != SimState::active) continue;
        const double d = ::distanceNm(user, {a.posBlock.latitude, a.posBlock.longitude});
        if (d > farthest + 0.1) {
            farthest = d;
            candidate = a.aircraftId;
        }
    }
    if (!candidate) return true;
    for (LiveAc& a : liveAircraft) {
        if (a.aircraftId == *candidate) {
            removeAircraftFromSim(a);
            break;
        }
    }
    return false;
}

nlohmann::json trafficEntry(const EntrySpec& s)
{
    return standin::makeEntry({{0, vr::format("{:x}", s.hexId)},
                               {1, s.lat},
                               {2, s.lon},
                               {3, s.track},
                               {4, s.altitude},
                               {5, s.groundSpeed},
                               {8, s.type},
                               {9, s.registration.empty() ? nlohmann::json("null") : nlohmann::json(s.registration)},
                               {10, s.time},
                               {11, s.origin.empty() ? nlohmann::json("null") : nlohmann::json(s.origin)},
                               {12, s.destination.empty() ? nlohmann::json("null") : nlohmann::json(s.destination)},
                               {13, s.callsign.empty() ? nlohmann::json("null") : nlohmann::json(s.callsign)},
                               {15, s.verticalRate},
                               {17, s.source},
                               {20, s.tas ? nlohmann::json(*s.tas) : nlohmann::json(nullptr)},
                               {25, s.trueHeading ? nlohmann::json(*s.trueHeading) : nlohmann::json(nullptr)},
                               {28, "A3"}});
}

EngineHarness::EngineHarness(ScenarioOptions options)
    : options_(std::move(options)), clock_(std::make_shared<platform::VirtualClock>())
{
    scopedClock_ = std::make_unique<platform::ScopedClock>(clock_);
    std::random_device rd;
    folder_ = fs::temp_directory_path() / vr::format("vrmt-engine-{:08x}{:08x}", rd(), rd());
    fs::create_directories(folder_);
    if (options_.openLog) gf_openLog(folder_);
    ::setenv("VRMT_APPDATA", (folder_ / "appdata").c_str(), 1);
    resetDataFolderPath();

    resetEngineForTest();
    seedRandomEngine(options_.seed);
    if (options_.ownSimApi) api_ = std::make_unique<QuietSimApi>();

    MAX_LIVE_SEL.set(options_.maxLiveSel);
    RANGE.set(options_.rangeNm);
    setRangeNm(options_.rangeNm);
    LOG.set(options_.log);
    GUID_CHANGES.set(options_.guidChanges);
    COLLISION_USER_AIR.set(options_.collisionUserAir);
    COLLISION_USER_GND.set(options_.collisionUserGnd);
    LIGHT_AIRCRAFT.set(options_.lightAircraft);
    HELICOPTERS.set(options_.helicopters);
    HIGH_PERF_AIRCRAFT.set(options_.highPerfAircraft);
    NAV_LIGHTS_WHILE_PARKED.set(options_.navLightsWhileParked);
    BLOCK_CALLSIGN.set(options_.blockCallsign);
    airports.park = options_.park;

    ServiceHandover h = defaultServiceHandover();
    wireEngineHandover(h);
    setServiceHandover(std::move(h));
    trafficReader().setUserPosition(options_.user);
    trafficReader().qnh = 1013;

    setUser(options_.user, options_.userAltitudeFt, options_.userHeightAboveGroundFt, options_.userHeadingRad,
            options_.userGroundSpeedKt, options_.userOnGround);
    userObjectId = 2;
    gf_createFlightPlanFolder();
    if (options_.flightRunning) setRunningFlag(true);
}

EngineHarness::~EngineHarness()
{
    resetEngineForTest();
    gf_removeFlightPlanFolder();
    setServiceHandover(defaultServiceHandover());
    trafficReader().setUserPosition({});
    resetOptionsToDefaults();
    setRangeNm(RANGE.get());
    api_.reset();
    if (options_.openLog) closeLog();
    ::unsetenv("VRMT_APPDATA");
    resetDataFolderPath();
    std::error_code ec;
    fs::remove_all(folder_, ec);
}

QuietSimApi& EngineHarness::api()
{
    if (!api_) api_ = std::make_unique<QuietSimApi>();
    return *api_;
}

void EngineHarness::setUser(const LatLon& position, double altitudeFt, double heightAboveGroundFt, double headingRad,
                            double groundSpeedKt, bool onGround)
{
    {
        std::lock_guard lock(simQueueMutex);
        UserAcState& s = userAcStateLocked();
        s = UserAcState{};
        s.latitude = position.lat;
        s.longitude = position.lon;
        s.heading = headingRad;
        s.altitude = altitudeFt;
        s.altAboveGround = heightAboveGroundFt;
        s.groundVelocity = groundSpeedKt;
        engineUserAcState = s;
    }
    userOnGround = onGround;
    userOnGroundKnown = true;
}

void EngineHarness::reply(const SimReply& r) { pushSimReply(r); }

std::vector<TrafficRecord> EngineHarness::decode(const nlohmann::json& entries)
{
    TrafficReader& reader = trafficReader();
    reader.records.clear();
    for (const nlohmann::json& e : entries) processTrafficRecord(reader, e);
    std::vector<TrafficRecord> out;
    out.swap(reader.records);
    return out;
}

void EngineHarness::handOver(const nlohmann::json& entries, int delaySeconds)
{
    TrafficReader& reader = trafficReader();
    reader.records.clear();
    for (const nlohmann::json& e : entries) processTrafficRecord(reader, e);
    serviceHandover().scheduleTrafficRecords(reader.records, delaySeconds);
}

void EngineHarness::handOverRecords(std::vector<TrafficRecord> records, int delaySeconds)
{
    serviceHandover().scheduleTrafficRecords(records, delaySeconds);
}

void EngineHarness::tick(int n)
{
    for (int i = 0; i < n; ++i) {
        const std::int32_t t = tickCounter.load();
        if (step)
            step();
        else
            lf_handleAddingStack();
        // The program clock runs 10 ms a tick, as the main cycle's does.
        clock_->advance(std::chrono::milliseconds(10));
        const bool flush = t % 2 == 0;
        captureTick(t, flush);
        if (flush) {
            flushSimQueues();
            seenCreations_ = seenRemovals_ = seenEvents_ = 0;
            if (afterFlush) afterFlush();
        }
    }
}

void EngineHarness::captureTick(std::int32_t tick, bool flushed)
{
    TickTrace& c = current_;
    c.tick = tick;
    c.flushed = flushed;
    c.creations.clear();
    c.removals.clear();
    c.events.clear();
    c.positions.clear();
    c.plnFiles.clear();
    {
        std::lock_guard lock(simQueueMutex);
        c.creations.assign(creationQueue.begin() + static_cast<std::ptrdiff_t>(seenCreations_), creationQueue.end());
        c.removals.assign(removalQueue.begin() + static_cast<std::ptrdiff_t>(seenRemovals_), removalQueue.end());
        c.events.assign(eventQueue.begin() + static_cast<std::ptrdiff_t>(seenEvents_), eventQueue.end());
        c.positions = positionQueue.sendLocked();
        seenCreations_ = creationQueue.size();
        seenRemovals_ = removalQueue.size();
        seenEvents_ = eventQueue.size();
    }
    if (options_.watchPlnFiles) {
        std::error_code ec;
        for (fs::directory_iterator it(flightPlanFolder(), ec), end; !ec && it != end; it.increment(ec))
            c.plnFiles.push_back(it->path().filename().string());
        std::sort(c.plnFiles.begin(), c.plnFiles.end());
    }
    if (onTick) onTick(c);
    if (options_.keepTrace) trace_.push_back(c);
}

std::vector<std::pair<std::int32_t, AcCreation>> EngineHarness::creations() const
{
    std::vector<std::pair<std::int32_t, AcCreation>> out;
    for (const TickTrace& t : trace_)
        for (const AcCreation& c : t.creations) out.emplace_back(t.tick, c);
    return out;
}

std::string EngineHarness::logText() const
{
    std::ifstream in(folder_ / "Log.txt", std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}
