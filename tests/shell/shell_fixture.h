#pragma once
// A program folder of its own (the current folder while a test runs), the
// options at their defaults in its parameters.xml, the virtual clock, and the
// main cycle's callees replaced by recorders: every call is written into
// `calls` as "name arg ...". Entries a test needs to answer are set on `fake`.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "core/app_services_fake.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "core/startup_globals.h"
#include "engine/ac_records.h"
#include "engine/spawn.h"
#include "platform/clock.h"
#include "shell/main_cycle.h"
#include "shell/main_window.h"
#include "shell/startup.h"

// What the recorders answer.
struct FakeAnswers {
    bool simRunning = true;
    bool simError = false;
    bool onGroundKnown = true;
    bool onGround = false;
    bool newSecond = true;
    bool secondPending = false;
    // The engine's quiet ticks: 0, the engine always has work and the loop ticks every 10 ms.
    std::int32_t quietTicks = 0;
    // The simulator's frames come (they pace the busy ticks): none by default.
    bool framesFlowing = false;
    std::int64_t simUtcEpoch = 0;
    UserAcState user{52.3, 4.76, 0, 0, 0, 1000, 1000, 0, 0, 0, 0, 0};
    std::string guid = "GUID";
    bool weatherOk = true;
    bool loopRunning = true;
    std::int64_t recordCount = 5;
    bool airportFileLoaded = false;
    bool parkAirportHasStands = false;
    std::optional<LatLon> airport;
};

class ShellFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        static int n = 0;
        folder_ = std::filesystem::temp_directory_path() /
                  ("vrmt_shell_" + std::to_string(::getpid()) + "_" + std::to_string(++n));
        std::filesystem::remove_all(folder_);
        std::filesystem::create_directories(folder_);
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(folder_);
        setParametersFile(folder_ / "parameters.xml");
        resetOptionsToDefaults();
        resetRunState();
        resetStartupGlobals();
        mainCycle().reset();
        mainWindow().resetForRestart();
        mainWindow().restartMark = false;
        statusPanel().reset();
        liveAircraft.clear();
        staticAircraft.clear();
        IdentityCheckQueue.clear();
        restartPending = false;
        resetDbaseReadOnce();
        installRecorders();
    }
    void TearDown() override
    {
        mainCycleCallees() = defaultMainCycleCallees();
        liveAircraft.clear();
        staticAircraft.clear();
        IdentityCheckQueue.clear();
        resetRunState();
        setParametersFile({});
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }

    void installRecorders()
    {
        MainCycleCallees c = defaultMainCycleCallees();
        auto rec = [this](std::string call) { calls.add(std::move(call)); };
        c.reserveEngineContainers = [rec] { rec("reserveEngineContainers"); };
        c.handleAddingStack = [rec] { rec("handleAddingStack"); };
        c.quietTicks = [this] { return fake.quietTicks; };
        c.framesPaceTicks = [this] { return fake.framesFlowing; };
        c.serveTakenFrame = [rec] { rec("serveTakenFrame"); };
        c.processSimReplies = [rec] { rec("processSimReplies"); };
        c.setRunningFlag = [rec](bool on) { rec(std::string("setRunningFlag ") + (on ? "1" : "0")); };
        c.removeAllAiObjects = [rec] { rec("removeAllAiObjects"); };
        c.createFlightPlanFolder = [rec] { return rec("createFlightPlanFolder"), true; };
        c.removeFlightPlanFolder = [rec] { return rec("removeFlightPlanFolder"), true; };
        c.removeAircraftFromSim = [rec](SimAc& ac) { rec("removeAircraftFromSim " + ac.callsign); };
        c.removeAllStatics = [rec] { rec("removeAllStatics"); };
        c.removeStaticsNearLive = [rec](LiveAc& ac) { rec("removeStaticsNearLive " + ac.callsign); };
        c.removeAtStand = [rec](const std::string& s) { rec("removeAtStand " + s); };
        c.searchForCoupledCsAroundThisTime = [rec](std::uint64_t, AcIdentity& ac) {
            rec("searchForCoupledCs " + ac.callsign);
        };
        c.resolveSameIdentity = [rec](LiveAc& ac, bool) { rec("resolveSameIdentity " + ac.callsign); };
        c.countStaticsInSlot = [](bool) { return std::uint32_t{0}; };
        c.averageLiveParked = [](bool) { return std::uint64_t{0}; };
        c.isCreationPending = [rec](LiveAc& ac) { return rec("isCreationPending " + ac.callsign), false; };
        c.clearGhostNames = [rec] { rec("clearGhostNames"); };
        c.queueAcEvent = [rec](const SimAc& ac, std::uint32_t event, std::uint32_t data) {
            rec("queueAcEvent " + ac.callsign + " " + std::to_string(event) + " " + std::to_string(data));
        };
        c.reserveLiveryVectors = [rec] { rec("reserveLiveryVectors"); };
        c.initLiveries = [rec] { rec("initLiveries"); };
        c.readDbase = [rec] { return rec("readDbase"), true; };
        c.logNoMatchList = [rec] { rec("logNoMatchList"); };
        c.logLiveryMatchSummary = [rec] { rec("logLiveryMatchSummary"); };
        c.clearRememberedTitles = [rec] { rec("clearRememberedTitles"); };
        c.readAirports = [rec](const std::filesystem::path& p) { return rec("readAirports " + p.string()), true; };
        c.findAirport = [this](const std::string&) { return fake.airport; };
        c.scanAirports = [rec] { rec("scanAirports"); };
        c.airportFileLoaded = [this] { return fake.airportFileLoaded; };
        c.parkAirportHasStands = [this] { return fake.parkAirportHasStands; };
        c.updateStaticParking = [rec](bool first) { rec(std::string("updateStaticParking ") + (first ? "1" : "0")); };
        c.beginFirstStaticParking = [rec] { rec("beginFirstStaticParking"); };
        c.finishFirstStaticParking = [rec] { rec("finishFirstStaticParking"); };
        c.checkReservedStand = [rec](std::string&) { return rec("checkReservedStand"), false; };
        c.adjustParking = [rec](bool on) { rec(std::string("adjustParking ") + (on ? "1" : "0")); };
        c.removeStaticParked = [rec] { rec("removeStaticParked"); };
        c.readMyParkAirports = [rec] { rec("readMyParkAirports"); };
        c.addDestination = [rec](const std::string& s, const LatLon&) { rec("addDestination " + s); };
        c.removeStaticsNearLiveStep = [rec] { rec("removeStaticsNearLiveStep"); };
        c.trimLiveAircraft = [rec] { rec("trimLiveAircraft"); };
        c.setMaxLiveForParking = [rec](std::int32_t v) { rec("setMaxLiveForParking " + std::to_string(v)); };
        c.initSimQueues = [rec](int v) { rec("initSimQueues " + std::to_string(v)); };
        c.startSimClientThread = [this, rec] {
            rec("startSimClientThread");
            simClient = true;
        };
        c.joinSimClientThread = [this, rec] {
            rec("joinSimClientThread");
            simClient = false;
        };
        c.simClientThreadStarted = [this] { return simClient; };
        c.simRunning = [this] { return fake.simRunning; };
        c.simErrorFlag = [this] { return fake.simError; };
        c.userOnGroundKnown = [this] { return fake.onGroundKnown; };
        c.userOnGround = [this] { return fake.onGround; };
        c.consumeNewSecond = [this] { return fake.newSecond; };
        c.newSecondPending = [this] { return fake.secondPending; };
        c.simUtcEpoch = [this] { return fake.simUtcEpoch; };
        c.userHalfWingspan = [] { return std::optional<double>(0.01); };
        c.requestUserOnGround = [rec] { return rec("requestUserOnGround"), true; };
        c.requestUserAcPosition = [this] { return fake.user; };
        c.userAcSnapshot = [this] { return fake.user; };
        c.requestUserAcTitleModel = [rec] { rec("requestUserAcTitleModel"); };
        c.reportSimConnectError = [rec] { rec("reportSimConnectError"); };
        c.clearPositionBuffers = [rec] { rec("clearPositionBuffers"); };
        c.resetSimLink = [rec] { rec("resetSimLink"); };
        c.setReaderUserPosition = [rec](const LatLon&) { rec("setReaderUserPosition"); };
        c.updateQueryBox = [rec] { rec("updateQueryBox"); };
        c.updateStatusLamps = [rec] { rec("updateStatusLamps"); };
        c.authenticate = [rec] { rec("authenticate"); };
        c.sessionGuid = [this] { return fake.guid; };
        c.weatherOk = [this] { return fake.weatherOk; };
        c.launchWeatherReader = [rec] { return rec("launchWeatherReader"), true; };
        c.launchTrafficReader = [rec] { return rec("launchTrafficReader"), true; };
        c.readerLoopRunning = [this] { return fake.loopRunning; };
        c.readerRecordCount = [this] { return fake.recordCount; };
        c.collectMaps = [rec] { rec("collectMaps"); };
        c.setTimeOffsets = [rec](int m) { rec("setTimeOffsets " + std::to_string(m)); };
        c.stopServiceReaders = [rec](std::int32_t ms) { return rec("stopServiceReaders " + std::to_string(ms)), true; };
        c.deauthenticate = [rec] { rec("deauthenticate"); };
        c.checkWeatherHandles = [rec] { rec("checkWeatherHandles"); };
        mainCycleCallees() = c;
    }

    double virtualSeconds() const
    {
        return std::chrono::duration<double>(clock->now().time_since_epoch()).count() - start_;
    }

    std::shared_ptr<platform::VirtualClock> clock = std::make_shared<platform::VirtualClock>();
    platform::ScopedClock scoped{clock};
    double start_ = std::chrono::duration<double>(clock->now().time_since_epoch()).count();
    RecordedCalls calls;
    FakeAnswers fake;
    bool simClient = false;
    std::filesystem::path folder_;
    std::filesystem::path previous_;
};

// A live aircraft in the simulator at a position.
inline LiveAc makeLive(const std::string& callsign, double lat, double lon, std::uint32_t id = 0)
{
    LiveAc ac;
    ac.callsign = callsign;
    ac.aircraftId = id ? id : 10001;
    ac.simState = SimState::active;
    ac.groundReplySeen = true;
    ac.posBlock.latitude = lat;
    ac.posBlock.longitude = lon;
    ac.halfWingspan = 0.01;
    return ac;
}
