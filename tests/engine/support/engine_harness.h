#pragma once
// The traffic engine driven tick by tick, for the engine's tests, its
// benchmark and its fuzz target (no GoogleTest in this library).
//
// One EngineHarness is one scenario on the test thread, with no other thread:
// a virtual clock, a seeded random engine, the scenario's options, the three
// core fakes, the engine reset, a quiet SimConnect fake (or a world a test
// installs over it), and the traffic answers decoded with processTrafficRecord
// and handed over through the traffic client's hand-over table, as the reader
// does. tick(n) runs lf_handleAddingStack n times, moves the virtual clock on
// 10 ms after each (the program clock of the main cycle), and flushes the simulator
// queues every second tick, as the simulator's frames would; each tick leaves a
// trace of what the engine handed to the simulator layer.
//
//     EngineHarness h({.maxLiveSel = 10});
//     h.handOver(entries, 30);   // processTrafficRecord, then the engine's hand-over
//     h.tick(600);
//     // h.trace(), h.api().calls, liveAircraft ...
//
// The options and the engine's globals are process-wide: one harness at a time.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/airport_services_fake.h"
#include "core/app_services_fake.h"
#include "core/geodesy.h"
#include "core/livery_services_fake.h"
#include "platform/clock.h"
#include "simlink/sim_api_fake.h"
#include "simlink/sim_handover.h"
#include "traffic_service/traffic_record.h"

// Back to the state before a run, for a test: removeAllAiObjects, tickCounter 0,
// the simulator layer reset, the reply list emptied, the flight not running, the
// run state cleared, the traffic reader's batch and blocked-callsign state reset.
void resetEngineForTest();

struct ScenarioOptions {
    std::int32_t maxLiveSel = 100;
    std::int32_t rangeNm = 40;
    bool log = false;
    bool guidChanges = false;
    bool collisionUserAir = false;
    bool collisionUserGnd = false;
    bool lightAircraft = true;
    bool helicopters = true;
    bool highPerfAircraft = true;
    bool navLightsWhileParked = false;
    std::string blockCallsign{};
    // The user aircraft.
    LatLon user{52.30, 4.76};
    double userAltitudeFt = 30000.0;
    double userHeightAboveGroundFt = 30000.0;
    double userHeadingRad = 0.0;
    double userGroundSpeedKt = 400.0;
    bool userOnGround = false;
    // The park airport (an empty code: none; ground traffic is then not decoded).
    ParkAirportInfo park{};
    std::uint32_t seed = 1234;
    // setRunningFlag(true) at the start.
    bool flightRunning = true;
    // Keep every tick's trace in trace() (a long replay uses onTick instead).
    bool keepTrace = true;
    // List the flight-plan folder into every tick's trace.
    bool watchPlnFiles = false;
    // Open Log.txt in the scenario's folder (logText() reads it).
    bool openLog = true;
    // The harness installs its own quiet SimConnect fake (a test may install a world over it).
    bool ownSimApi = true;
};

// What the engine handed to the simulator layer in one tick.
struct TickTrace {
    std::int32_t tick = 0;                   // tickCounter while the tick ran
    std::vector<AcCreation> creations;       // handed to queueAcCreation
    std::vector<std::uint32_t> removals;     // object ids handed to the removal queue
    std::vector<QueuedEvent> events;         // client events queued
    std::vector<QueuedPosition> positions;   // the position blocks handed over
    std::vector<std::string> plnFiles;       // with watchPlnFiles: the folder's files, sorted
    bool flushed = false;                    // the queues were flushed after the tick
};

// A SimConnect fake that does not record the position writes of every frame.
class QuietSimApi : public SimApiFake {
public:
    HRESULT setDataOnSimObject(DWORD defineId, DWORD objectId, DWORD unitSize, const void* data) override;
    std::int64_t positionWrites = 0;
};

// The airports fake, answering removeFarthestLive by the airports' rule over
// the live vector (the farthest active live aircraft beyond d + 0.1 nm from the
// user aircraft goes to removeAircraftFromSim; false when one went).
class HarnessAirports : public AirportServicesFake {
public:
    bool removeFarthestLive(double distanceNm) override;
    // False: answer removeFarthestResult instead of the rule.
    bool useRule = true;
};

// One live entry of a traffic answer, as the service sends it.
struct EntrySpec {
    std::uint32_t hexId = 0x484000;
    double lat = 52.30;
    double lon = 4.80;
    double track = 90.0;
    double altitude = 10000.0;  // ft, barometric; 0 or less: on the ground
    double groundSpeed = 250.0;
    std::string type = "B738";
    std::string registration = "PH-BXA";
    double time = 1'700'000'000.0;
    std::string origin = "EHAM";
    std::string destination = "LEMD";
    std::string callsign = "KLM123";
    double verticalRate = 0.0;
    std::string source = "adsb_icao";
    std::optional<double> tas;  // [20]; none: null
    std::optional<double> trueHeading;
};
nlohmann::json trafficEntry(const EntrySpec& entry);

class EngineHarness {
public:
    explicit EngineHarness(ScenarioOptions options = {});
    ~EngineHarness();
    EngineHarness(const EngineHarness&) = delete;
    EngineHarness& operator=(const EngineHarness&) = delete;

    // Decodes the entries with processTrafficRecord and hands the batch over.
    void handOver(const nlohmann::json& entries, int delaySeconds);
    // The records as decoded, handed over.
    void handOverRecords(std::vector<TrafficRecord> records, int delaySeconds);
    // Decodes without handing over (what the reader's batch would be).
    std::vector<TrafficRecord> decode(const nlohmann::json& entries);

    // n ticks; after every second tick the queues are flushed and afterFlush runs.
    void tick(int n = 1);
    // Runs afterFlush's world: set by a test (the SimWorld answers here).
    std::function<void()> afterFlush;
    // Called with every tick's trace.
    std::function<void(const TickTrace&)> onTick;
    // Runs the engine's step of a tick in place of lf_handleAddingStack (a
    // benchmark times it there); it must call lf_handleAddingStack once.
    std::function<void()> step;

    const std::vector<TickTrace>& trace() const { return trace_; }
    void clearTrace() { trace_.clear(); }
    // Every creation handed over so far, with the tick.
    std::vector<std::pair<std::int32_t, AcCreation>> creations() const;

    // The user aircraft as the engine will read it at its next request.
    void setUser(const LatLon& position, double altitudeFt, double heightAboveGroundFt, double headingRad,
                 double groundSpeedKt, bool onGround);
    // Pushes a simulator reply (as the SimClient thread would).
    void reply(const SimReply& r);

    QuietSimApi& api();
    const std::filesystem::path& folder() const { return folder_; }
    std::string logText() const;
    platform::VirtualClock& clock() { return *clock_; }
    const ScenarioOptions& options() const { return options_; }

    AppServicesFake app;
    LiveryServicesFake liveries;
    HarnessAirports airports;

private:
    void captureTick(std::int32_t tick, bool flushed);

    ScenarioOptions options_;
    std::shared_ptr<platform::VirtualClock> clock_;
    std::unique_ptr<platform::ScopedClock> scopedClock_;
    std::unique_ptr<QuietSimApi> api_;
    std::filesystem::path folder_;
    std::vector<TickTrace> trace_;
    TickTrace current_;
    std::size_t seenCreations_ = 0;
    std::size_t seenRemovals_ = 0;
    std::size_t seenEvents_ = 0;
};
