#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <map>

#include "core/errors.h"
#include "core/geodesy.h"
#include "shell/main_cycle.h"
#include "shell_fixture.h"
#include "simlink/user_aircraft.h"

namespace {

class MainCycle : public ShellFixture {
protected:
    // The calls of one tickStep.
    std::vector<std::string> step()
    {
        calls.clear();
        tickStep();
        return calls.get();
    }
    static bool has(const std::vector<std::string>& v, const std::string& call)
    {
        return std::find(v.begin(), v.end(), call) != v.end();
    }
};

TEST_F(MainCycle, CadencesOverTwentyMinutes)
{
    // A live aircraft and its static duplicate, so the 61-second scan shows itself.
    liveAircraft.push_back(makeLive("KLM1", 52.0, 4.0));
    SimAc dup;
    dup.callsign = "KLM1*";
    dup.simState = SimState::active;
    staticAircraft.push_back(dup);
    fake.airportFileLoaded = true;
    fake.parkAirportHasStands = true;
    std::map<int, std::vector<std::string>> byN;
    for (int n = 1; n <= 1300; ++n) byN[n] = step();

    struct Row {
        int n;
        bool fifteen;       // the 15-second work
        bool sixteen;       // updateStaticParking(false)
        bool duplicate;     // the 61-second scan
        std::string extra;  // one more call expected that second ("" none)
    };
    const Row rows[] = {
        {1, false, false, false, ""},
        {15, true, false, false, ""},
        {16, false, true, false, ""},
        {30, true, false, false, ""},
        {61, false, false, true, ""},
        {240, true, false, false, ""},  // a multiple of 15 and of 16: only the 15-second work
        {915, true, false, false, ""},  // a multiple of 15 and of 61: no scan
        {976, false, true, true, ""},   // 16 x 61
        {1200, true, false, false, "logNoMatchList"},
        {1215, true, false, false, "collectMaps"},  // the renewal's first half
        {1216, false, false, false, ""},            // suppressed while the renewal is half done
        {1230, true, false, false, "adjustParking 0"},
        {1232, false, true, false, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.n);
        const auto& v = byN[r.n];
        EXPECT_TRUE(has(v, "handleAddingStack"));
        EXPECT_TRUE(has(v, "finishFirstStaticParking"));  // every second, whatever else runs
        EXPECT_EQ(has(v, "updateStatusLamps"), r.fifteen);
        EXPECT_EQ(has(v, "updateQueryBox"), r.fifteen);
        EXPECT_EQ(has(v, "updateStaticParking 0"), r.sixteen);
        EXPECT_EQ(has(v, "removeAircraftFromSim KLM1*"), r.duplicate);
        if (!r.extra.empty()) {
            EXPECT_TRUE(has(v, r.extra));
        }
    }
    // The renewal ran once: collected, then adjusted, and is no longer asked.
    int collects = 0;
    for (const auto& [n, v] : byN) collects += has(v, "collectMaps");
    EXPECT_EQ(collects, 1);
    EXPECT_FALSE(mainCycle().renewalRequested.load());
    EXPECT_EQ(mainCycle().minutesToRenewal.load(), 19);  // n = 1260: a minute after the renewal's due time
}

TEST_F(MainCycle, TheCountStartsAgainAfterADay)
{
    mainCycle().secondCount = 86399;
    const auto v = step();
    EXPECT_TRUE(has(v, "logLiveryMatchSummary"));
    EXPECT_TRUE(has(v, "clearRememberedTitles"));
    EXPECT_EQ(mainCycle().secondCount.load(), 0);
}

TEST_F(MainCycle, SecondsBetweenTwoTicksGiveOneStep)
{
    mainCycleCallees().consumeNewSecond = defaultMainCycleCallees().consumeNewSecond;
    newSecondFlag = true;
    newSecondFlag = true;
    tickStep();
    tickStep();
    EXPECT_EQ(mainCycle().secondCount.load(), 1);
    newSecondFlag = false;
}

TEST_F(MainCycle, NotRunningFlightEmptiesThePositionsOnceAndWorksOnceASecond)
{
    fake.simRunning = false;
    std::vector<std::vector<std::string>> ticks;
    for (int i = 0; i < 201; ++i) {
        ASSERT_TRUE(tickStep());
        ticks.push_back(calls.get());
        calls.clear();
    }
    EXPECT_TRUE(has(ticks[0], "setRunningFlag 0"));
    EXPECT_TRUE(has(ticks[0], "clearPositionBuffers"));
    int clears = 0;
    int queryBoxes = 0;
    int firstParkings = 0;
    for (const auto& t : ticks) {
        EXPECT_TRUE(has(t, "processSimReplies"));
        EXPECT_FALSE(has(t, "handleAddingStack"));
        clears += has(t, "clearPositionBuffers");
        queryBoxes += has(t, "updateQueryBox");
        firstParkings += has(t, "finishFirstStaticParking");
    }
    EXPECT_EQ(clears, 1);
    EXPECT_EQ(queryBoxes, 2);  // ticks 100 and 200
    EXPECT_EQ(firstParkings, 2);
    EXPECT_EQ(mainCycle().secondCount.load(), 0);
    // Resumed: the flag is set again and the count goes on.
    fake.simRunning = true;
    const auto v = step();
    EXPECT_TRUE(has(v, "setRunningFlag 1"));
    EXPECT_EQ(mainCycle().secondCount.load(), 1);
    // A stop ends the not-running step's loop.
    fake.simRunning = false;
    closingFlag = true;
    EXPECT_FALSE(tickStep());
}

TEST_F(MainCycle, SimulatorTimeMovesTheTimeShiftFromThirtySeconds)
{
    SIM_TIME.set(true);
    const std::int64_t wall = static_cast<std::int64_t>(platform::wallSeconds());
    struct Row {
        const char* name;
        std::int64_t last;
        std::int64_t sim;
        std::string offsets;  // "" no change
    };
    const Row rows[] = {
        {"29 s later", wall - 3600, wall - 3600 + 29, ""},
        {"30 s later", wall - 3600, wall - 3600 + 30, "setTimeOffsets 59"},
        {"30 s back", wall - 3600, wall - 3600 - 30, "setTimeOffsets 60"},
        {"ahead of the wall clock", wall - 3600, wall + 3600, "setTimeOffsets 0"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        mainCycle().lastSimTimeSeconds = r.last;
        fake.simUtcEpoch = r.sim;
        const auto v = step();
        std::string seen;
        for (const auto& c : v)
            if (c.rfind("setTimeOffsets", 0) == 0) seen = c;
        EXPECT_EQ(seen, r.offsets);
        EXPECT_EQ(mainCycle().lastSimTimeSeconds, r.sim);
    }
}

TEST_F(MainCycle, AnIdentityCheckForAGoneAircraftDoesNotHoldUpTheQueue)
{
    liveAircraft.push_back(makeLive("KLM2", 52.0, 4.0, 20002));
    IdentityCheckQueue.push_back(20001);  // gone
    IdentityCheckQueue.push_back(20002);
    EXPECT_FALSE(has(step(), "resolveSameIdentity KLM2"));
    const auto v = step();
    EXPECT_TRUE(has(v, "searchForCoupledCs KLM2"));
    EXPECT_TRUE(has(v, "resolveSameIdentity KLM2"));
    EXPECT_TRUE(IdentityCheckQueue.empty());
    EXPECT_TRUE(liveAircraft[0].coupledCsSearched);
    step();  // an empty queue is skipped
}

// The user at 52 N 4 E heading north; one aircraft placed by distance (nm),
// bearing from the user (deg), its heading (deg) and altitude.
TEST_F(MainCycle, CollisionRemovalsNearTheUser)
{
    COLLISION_USER_AIR.set(true);
    COLLISION_USER_GND.set(true);
    const LatLon user{52.0, 4.0};
    struct Row {
        const char* name;
        bool onGround;
        double userAgl;
        double distanceNm;
        double bearingDeg;
        double headingDeg;
        double altitudeDelta;
        bool removed;
    };
    const Row rows[] = {
        {"on the runway ahead", false, 300, 0.9, 0.3, 0, 0, true},
        {"runway test needs the user low", false, 600, 0.9, 0.3, 90, 3000, false},
        {"beside the runway line", false, 300, 0.9, 2.0, 90, 3000, false},
        {"head-on within 700 ft of its track", false, 3000, 3.5, 0.0, 180, 500, true},
        {"flying away along the bearing also counts", false, 3000, 3.5, 0.0, 0, 500, true},
        {"crossing far from its track", false, 3000, 3.5, 0.0, 90, 500, false},
        {"head-on but 1000 ft apart", false, 3000, 3.5, 0.0, 180, 1000, false},
        {"head-on but beyond 4 nm", false, 3000, 4.2, 0.0, 180, 0, false},
        {"on the ground within the spans", true, 0, 0.02, 45, 0, 0, true},
        {"on the ground beyond the spans", true, 0, 0.05, 45, 0, 0, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        liveAircraft.clear();
        fake.onGround = r.onGround;
        fake.user = UserAcState{user.lat, user.lon, 0, 0, 0, 5000, r.userAgl, 0, 0, 0, 0, 0};
        const LatLon p = destinationPoint(user, r.bearingDeg * geo::degToRad, r.distanceNm * geo::feetPerNm);
        LiveAc ac = makeLive("TGT", p.lat, p.lon);
        ac.posBlock.heading = r.headingDeg * geo::degToRad;
        ac.posBlock.altitude = 5000 + r.altitudeDelta;
        liveAircraft.push_back(ac);
        EXPECT_EQ(has(step(), "removeAircraftFromSim TGT"), r.removed);
    }
}

TEST_F(MainCycle, OnTheGroundAStaticGoesOnlyWhenTheUserMovedAndOnlyOne)
{
    COLLISION_USER_GND.set(true);
    fake.onGround = true;
    fake.user = UserAcState{52.0, 4.0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (const char* name : {"S1", "S2"}) {
        SimAc st;
        st.callsign = name;
        st.simState = SimState::active;
        st.position = {52.0, 4.0001};
        st.halfWingspan = 0.01;
        staticAircraft.push_back(st);
    }
    auto v = step();
    EXPECT_TRUE(has(v, "removeAircraftFromSim S1"));
    EXPECT_FALSE(has(v, "removeAircraftFromSim S2"));
    v = step();  // not moved since
    EXPECT_FALSE(has(v, "removeAircraftFromSim S1"));
    fake.user.latitude += 2e-8;
    EXPECT_TRUE(has(step(), "removeAircraftFromSim S1"));
}

TEST_F(MainCycle, WindowRequestsAreAppliedOnTheNextSecond)
{
    liveAircraft.push_back(makeLive("BAW1", 10.0, 10.0));
    liveAircraft.push_back(makeLive("BAW2", 9.0, 10.0));  // farther from the user at 52 N
    liveAircraft[0].phase = AcPhase::parked;
    struct Row {
        const char* name;
        std::function<void()> request;
        std::string call;
    };
    const Row rows[] = {
        {"flush", [] { mainCycle().flushStaticRequested = true; }, "removeAllStatics"},
        {"block",
         [] {
             BLOCK_CALLSIGN.set("BAW2");
             mainCycle().blockCallsignChanged = true;
         },
         "removeAircraftFromSim BAW2"},
        {"time shift", [] { mainCycle().timeShiftRemovalRequested = true; }, "removeAircraftFromSim BAW1"},
        {"live limit",
         [] {
             MAX_LIVE_SEL.set(1);
             mainCycle().liveLimitChanged = true;
         },
         "trimLiveAircraft"},
        {"destination", [] { mainCycle().requestDestination("EHAM", {52.3, 4.76}); }, "addDestination EHAM"},
        {"nav lights",
         [] {
             NAV_LIGHTS_WHILE_PARKED.set(false);
             mainCycle().navLightsChanged = true;
         },
         "queueAcEvent BAW1 208 0"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        r.request();
        EXPECT_TRUE(has(step(), r.call));
        EXPECT_FALSE(has(step(), r.call)) << "applied once";
    }
    EXPECT_TRUE(INITIAL_LOAD_ONLY.get());  // the flush keeps the statics away
    BLOCK_CALLSIGN.set("");
    mainCycle().blockCallsignChanged = true;
    step();
    EXPECT_FALSE(mainCycle().blockCallsignChanged.load());
}

TEST_F(MainCycle, TickLoopKeepsItsTenMillisecondsAndReturnsOnAStop)
{
    fake.simRunning = false;
    int ticks = 0;
    mainCycleCallees().processSimReplies = [&ticks] {
        if (++ticks == 5) closingFlag = true;
    };
    clock->clearSleeps();
    tickLoop();
    EXPECT_EQ(ticks, 5);
    const auto sleeps = clock->sleeps();
    ASSERT_EQ(sleeps.size(), 4u);
    for (auto d : sleeps) EXPECT_EQ(d, std::chrono::milliseconds(10));
    // The first static parking is only begun: it does not hold up the first tick.
    EXPECT_TRUE(has(calls.get(), "beginFirstStaticParking"));
    EXPECT_TRUE(has(calls.get(), "setRunningFlag 1"));
}

// Whatever the simulator does, a close ends the tick loop at the next tick:
// a simulator that hangs sends no second, and the loop must not wait for one.
TEST_F(MainCycle, TickLoopEndsOnAStopInEverySimulatorState)
{
    struct Row {
        const char* name;
        bool running;
        bool error;
        bool seconds;
        std::atomic<bool>* flag;  // the stop that comes
    };
    const Row rows[] = {
        {"running, seconds coming", true, false, true, &closingFlag},
        {"running, no second (hung)", true, false, false, &closingFlag},
        {"running, no second, the window closed", true, false, false, &windowClosedFlag},
        {"paused", false, false, false, &closingFlag},
        {"in error", true, true, false, &closingFlag},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        closingFlag = false;
        windowClosedFlag = false;
        fake.simRunning = row.running;
        fake.simError = row.error;
        fake.newSecond = row.seconds;
        int ticks = 0;
        const auto tick = [&ticks, &row] {
            if (++ticks == 5) row.flag->store(true);
        };
        // One of the two is called on every tick, whichever state the simulator is in.
        mainCycleCallees().handleAddingStack = tick;
        mainCycleCallees().processSimReplies = tick;
        tickLoop();
        EXPECT_EQ(ticks, 5);
    }
    closingFlag = false;
    windowClosedFlag = false;
}

TEST_F(MainCycle, TickLoopRunsBackToBackAfterASlowTick)
{
    fake.simRunning = false;
    int ticks = 0;
    mainCycleCallees().processSimReplies = [this, &ticks] {
        if (++ticks == 1) clock->advance(std::chrono::milliseconds(35));  // a slow tick
        if (ticks == 6) closingFlag = true;
    };
    clock->clearSleeps();
    tickLoop();
    // Ticks 2..4 were due already: no sleep until the loop has caught up.
    const auto sleeps = clock->sleeps();
    ASSERT_EQ(sleeps.size(), 2u);
}

TEST_F(MainCycle, TickLoopKeepsItsTimeWhenTheSimulatorsSecondComes)
{
    fake.simRunning = false;
    int ticks = 0;
    mainCycleCallees().processSimReplies = [this, &ticks] {
        ++ticks;
        if (ticks == 2) clock->advance(std::chrono::milliseconds(14));  // a slow tick, and the second came
        fake.secondPending = ticks == 2;
        if (ticks == 4) closingFlag = true;
    };
    clock->clearSleeps();
    tickLoop();
    // The second that came with tick 2 does not move the deadline to its
    // moment: the 6 ms left of the old one, or the 4 ms the slow tick took
    // would be dropped from the count (the simulator's clock is kept by
    // counting its seconds, TheTicksKeepTheSimulatorsClock).
    const auto sleeps = clock->sleeps();
    ASSERT_EQ(sleeps.size(), 2u);
    EXPECT_EQ(sleeps[0], std::chrono::milliseconds(10));
    EXPECT_EQ(sleeps[1], std::chrono::milliseconds(6));
}

class MainLoop : public MainCycle {
protected:
    void SetUp() override
    {
        MainCycle::SetUp();
        RT_LICENSE.set("KEY");
    }
};

TEST_F(MainLoop, RunsUpToTheTickLoop)
{
    mainCycleCallees().handleAddingStack = [this] {
        calls.add("handleAddingStack");
        closingFlag = true;
    };
    mainLoop();
    const auto v = calls.get();
    const std::vector<std::string> order{"reserveEngineContainers", "initSimQueues 5", "startSimClientThread",
                                         "requestUserOnGround",     "requestUserAcTitleModel", "setReaderUserPosition",
                                         "updateQueryBox",          "authenticate",            "launchWeatherReader",
                                         "launchTrafficReader",     "handleAddingStack"};
    auto it = v.begin();
    for (const auto& call : order) {
        it = std::find(it, v.end(), call);
        EXPECT_NE(it, v.end()) << call;
    }
    EXPECT_EQ(statusPanel().trafficLamp.load(), 2);
    EXPECT_LT(virtualSeconds(), 2.0);
}

// The waits between the login and the first tick end when their answer is
// there: the tick loop starts a moment after the later of the first weather
// answer and the reader's loop (fixed pauses of 300 ms put it 0.6 s or more
// after the login).
TEST_F(MainLoop, TheStartWaitsOnlyForItsAnswers)
{
    struct Row {
        const char* name;
        double weatherAt;  // virtual seconds after the login
        double loopAt;
        double tickBefore;  // the first tick comes before this
    };
    const Row rows[] = {
        {"both there at once", 0.0, 0.0, 0.05},
        {"weather after 0.45 s", 0.45, 0.0, 0.5},
        {"reader loop after 0.2 s", 0.0, 0.2, 0.25},
        {"weather after 0.7 s, reader loop after 0.9 s", 0.7, 0.9, 0.95},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetRunState();
        fake = FakeAnswers{};
        installRecorders();
        MainCycleCallees& c = mainCycleCallees();
        double loginAt = -1;
        double firstTickAt = -1;
        c.authenticate = [&] { loginAt = virtualSeconds(); };
        c.weatherOk = [&] { return loginAt >= 0 && virtualSeconds() - loginAt >= row.weatherAt; };
        c.readerLoopRunning = [&] { return loginAt >= 0 && virtualSeconds() - loginAt >= row.loopAt; };
        c.handleAddingStack = [&] {
            if (firstTickAt < 0) firstTickAt = virtualSeconds();
            closingFlag = true;
        };
        mainLoop();
        ASSERT_GE(firstTickAt, 0.0);
        EXPECT_GE(firstTickAt - loginAt, std::max(row.weatherAt, row.loopAt));
        EXPECT_LT(firstTickAt - loginAt, row.tickBefore);
    }
}

// Every wait of the start of a run leaves on a stop flag, and nothing after it runs.
TEST_F(MainLoop, EveryWaitLeavesOnAStop)
{
    struct Row {
        const char* name;
        std::function<void(FakeAnswers&)> setup;
        const char* stopAt;  // the call that sets the flag
        const char* never;   // a call that must not come
    };
    const Row rows[] = {
        {"simulator not running", [](FakeAnswers& f) { f.simRunning = false; }, "startSimClientThread",
         "requestUserOnGround"},
        {"user position unknown", [](FakeAnswers& f) { f.onGroundKnown = false; }, "requestUserOnGround",
         "requestUserAcTitleModel"},
        {"no GUID", [](FakeAnswers& f) { f.guid.clear(); }, "authenticate", "launchWeatherReader"},
        {"no weather", [](FakeAnswers& f) { f.weatherOk = false; }, "launchWeatherReader", "launchTrafficReader"},
        {"reader just started", [](FakeAnswers& f) { f.recordCount = 0; }, "launchTrafficReader",
         "handleAddingStack"},
        {"reader loop silent", [](FakeAnswers& f) { f.loopRunning = false; }, "setReaderUserPosition",
         "handleAddingStack"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        resetRunState();
        simClient = false;
        fake = FakeAnswers{};
        r.setup(fake);
        installRecorders();
        MainCycleCallees& c = mainCycleCallees();
        const std::string stopAt = r.stopAt;
        auto recordAndStop = [this, stopAt](const std::string& call) {
            calls.add(call);
            if (call == stopAt) closingFlag = true;
        };
        c.startSimClientThread = [recordAndStop] { recordAndStop("startSimClientThread"); };
        c.requestUserOnGround = [recordAndStop] { return recordAndStop("requestUserOnGround"), true; };
        c.authenticate = [recordAndStop] { recordAndStop("authenticate"); };
        c.launchWeatherReader = [recordAndStop] { return recordAndStop("launchWeatherReader"), true; };
        c.launchTrafficReader = [recordAndStop] { return recordAndStop("launchTrafficReader"), true; };
        c.setReaderUserPosition = [recordAndStop](const LatLon&) { recordAndStop("setReaderUserPosition"); };
        calls.clear();
        const double before = virtualSeconds();
        mainLoop();
        EXPECT_LT(virtualSeconds() - before, 1.0);
        EXPECT_FALSE(has(calls.get(), r.never));
    }
}

TEST_F(MainLoop, ASilentReaderEndsTheRunWithReason6AfterAbout26Seconds)
{
    fake.loopRunning = false;
    fake.recordCount = 0;
    mainLoop();
    EXPECT_EQ(closingReason(), ClosingReason::ReaderError);
    EXPECT_EQ(restartDelaySeconds(), 15);
    // 0.5 s for the user aircraft, 0.3 s after the reader's start, 15 s without traffic, 10 s more.
    EXPECT_NEAR(virtualSeconds(), 25.9, 0.2);
    EXPECT_TRUE(has(calls.get(), "handleAddingStack")) << "tickLoop still runs and ends on the flag";
}

TEST_F(MainLoop, NoServiceKeyIsAUserError)
{
    RT_LICENSE.set("");
    EXPECT_THROW(mainLoop(), qxv::UserErrorException);
    EXPECT_FALSE(has(calls.get(), "authenticate"));
}

}  // namespace
