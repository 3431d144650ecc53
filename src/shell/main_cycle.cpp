#include "shell/main_cycle.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <utility>

#include "airports/airport_list.h"
#include "airports/airport_load.h"
#include "airports/airport_scan.h"
#include "airports/park_airports.h"
#include "airports/parking_renewal.h"
#include "airports/static_parking.h"
#include "core/errors.h"
#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "core/tick_wake.h"
#include "core/time.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/flight_plans.h"
#include "engine/ghosts.h"
#include "engine/live_parking.h"
#include "engine/quiet_ticks.h"
#include "engine/scheduling.h"
#include "engine/sim_replies.h"
#include "engine/spawn.h"
#include "engine/stand.h"
#include "engine/stand_search.h"
#include "engine/timed_queues.h"
#include "liveries/dbase.h"
#include "liveries/livery_index.h"
#include "liveries/livery_init.h"
#include "liveries/livery_match.h"
#include "platform/clock.h"
#include "platform/timer_resolution.h"
#include "shell/app_frame.h"
#include "shell/main_window.h"
#include "simlink/sim_api.h"
#include "simlink/sim_client.h"
#include "simlink/sim_queues.h"
#include "simlink/user_aircraft.h"
#include "traffic_service/session.h"
#include "traffic_service/traffic_reader.h"
#include "traffic_service/weather.h"

namespace {

using std::chrono::milliseconds;

constexpr double lf_feetPerNm = 6076.11549;
constexpr double lf_pi = 3.14159265358979323846;

// Brings an angle in radians into (-pi, pi].
double lf_wrapPi(double a)
{
    a = std::fmod(a, 2.0 * lf_pi);
    if (a <= -lf_pi) a += 2.0 * lf_pi;
    if (a > lf_pi) a -= 2.0 * lf_pi;
    return a;
}

bool lf_active(const SimAc& ac) { return ac.simState == SimState::active; }

bool lf_moved(double lat0, double lon0, double lat1, double lon1)
{
    return std::fabs(lat1 - lat0) >= 1e-8 || std::fabs(lon1 - lon0) >= 1e-8;
}

}  // namespace

void MainCycleState::reset()
{
    flightPaused = false;
    notRunningCountdown = 0;
    secondCount = 0;
    userState = UserAcState{};
    userRadiusNm = 0.0;
    lastSimTimeSeconds = 0;
    lastUserLat = 0.0;
    lastUserLon = 0.0;
    renewalInProgress = false;
    minutesToRenewal = 20;
    flushStaticRequested = false;
    blockCallsignChanged = false;
    parkAirportChanged = false;
    renewalRequested = false;
    parkTrafficOnlyTurnedOn = false;
    navLightsChanged = false;
    liveLimitChanged = false;
    timeShiftRemovalRequested = false;
    autoRangeRequested = false;
    takeDestination();
}

namespace {

void lf_sayItWaitsWhilePaused(const MainCycleState& s)
{
    if (s.flightPaused.load()) showMessage("The flight is paused: the change applies when it resumes", false);
}

}  // namespace

void MainCycleState::request(std::atomic<bool>& flag)
{
    flag = true;
    wakeTickLoop();
    lf_sayItWaitsWhilePaused(*this);
}

void MainCycleState::requestDestination(const std::string& ident, const LatLon& position)
{
    {
        std::lock_guard lock(destinationMutex_);
        destination_.emplace(ident, position);
    }
    wakeTickLoop();
    lf_sayItWaitsWhilePaused(*this);
}

std::optional<std::pair<std::string, LatLon>> MainCycleState::takeDestination()
{
    std::lock_guard lock(destinationMutex_);
    return std::exchange(destination_, std::nullopt);
}

MainCycleState& mainCycle()
{
    static MainCycleState& s = *new MainCycleState;  // never destroyed
    return s;
}

MainCycleCallees defaultMainCycleCallees()
{
    MainCycleCallees c;
    c.reserveEngineContainers = [] { lf_reserveEngineContainers(); };
    c.handleAddingStack = [] { lf_handleAddingStack(); };
    c.quietTicks = [] { return lf_quietTicks(); };
    c.beginQuietSleep = [](platform::Clock::TimePoint due, std::int32_t ticks) { lf_beginQuietSleep(due, ticks); };
    c.endQuietSleep = [](platform::Clock::TimePoint now) { return lf_endQuietSleep(now); };
    c.framesPaceTicks = [] { return simFramesFlowing(); };
    c.beginFrameWait = [](platform::Clock::TimePoint due, std::int32_t ticks) { lf_beginFrameWait(due, ticks); };
    c.endFrameWait = [] { lf_endFrameWait(); };
    c.serveTakenFrame = [] { serveTakenFrame(); };
    c.processSimReplies = [] { processSimReplies(); };
    c.setRunningFlag = [](bool on) { setRunningFlag(on); };
    c.removeAllAiObjects = [] { removeAllAiObjects(); };
    c.createFlightPlanFolder = [] { return gf_createFlightPlanFolder(); };
    c.removeFlightPlanFolder = [] { return gf_removeFlightPlanFolder(); };
    c.removeAircraftFromSim = [](SimAc& ac) { removeAircraftFromSim(ac); };
    c.removeAllStatics = [] { removeAllStatics(); };
    c.removeStaticsNearLive = [](LiveAc& ac) { removeStaticsNearLive(ac); };
    c.removeAtStand = [](const std::string& name) { removeAtStand(name); };
    c.searchForCoupledCsAroundThisTime = [](std::uint64_t slot, AcIdentity& ac) {
        lf_searchForCoupledCsAroundThisTime(slot, ac);
    };
    c.resolveSameIdentity = [](LiveAc& ac, bool seen) { resolveSameIdentity(ac, seen); };
    c.countStaticsInSlot = [](bool flag) { return lf_countStaticsInSlot(flag); };
    c.averageLiveParked = [](bool flag) { return lf_averageLiveParked(flag); };
    c.isCreationPending = [](LiveAc& ac) { return isCreationPending(liveCreationQueue, ac.callsign, ac.aircraftId); };
    c.clearGhostNames = [] { GhostCallsigns.clear(); };
    c.queueAcEvent = [](const SimAc& ac, std::uint32_t event, std::uint32_t data) { queueAcEvent(ac, event, data); };
    c.reserveLiveryVectors = [] { gf_reserveLiveryVectors(); };
    c.initLiveries = [] { gf_initLiveries(); };
    c.readDbase = [] { return gf_readDbase(); };
    c.logNoMatchList = [] { gf_logNoMatchList(UnmatchedLiveKeys); };
    c.logLiveryMatchSummary = [] { gf_logLiveryMatchSummary(); };
    c.clearRememberedTitles = [] { liveryServices().clearRememberedTitles(); };
    c.readAirports = [](const std::filesystem::path& file) { return readAirports(file); };
    c.findAirport = [](const std::string& code) -> std::optional<LatLon> {
        const Airport* a = ::findAirport(code);
        if (!a) return std::nullopt;
        return LatLon{a->lat, a->lon};
    };
    c.scanAirports = [] { gf_scanAirports(); };
    c.airportFileLoaded = [] { return airportFileLoaded.load(); };
    c.parkAirportHasStands = [] { return !airportServices().parkAirport().code.empty() && !stands.empty(); };
    c.updateStaticParking = [](bool onStart) { updateStaticParking(onStart); };
    c.beginFirstStaticParking = [] { beginFirstStaticParking(); };
    c.finishFirstStaticParking = [] { finishFirstStaticParking(); };
    c.checkReservedStand = [](std::string& text) {
        checkReservedStand(true, text);
        return !text.empty();
    };
    c.adjustParking = [](bool flush) { adjustParking(flush); };
    c.removeStaticParked = [] { removeStaticParked(); };
    c.readMyParkAirports = [] { lf_readMyParkAirports(); };
    c.addDestination = [](const std::string& code, const LatLon& p) { addDestination(code, p); };
    c.removeStaticsNearLiveStep = [] { removeStaticsNearLiveStep(); };
    c.trimLiveAircraft = [] { trimLiveAircraft(); };
    c.setMaxLiveForParking = [](std::int32_t v) { maxLiveForParking = v; };
    c.initSimQueues = [](int major) { initSimQueues(major); };
    c.startSimClientThread = [] { startSimClientThread(); };
    c.joinSimClientThread = [] { joinSimClientThread(); };
    c.simClientThreadStarted = [] { return simClientThreadStarted(); };
    c.simRunning = [] { return simRunning.load(); };
    c.simErrorFlag = [] { return simErrorFlag.load(); };
    c.userOnGroundKnown = [] { return userOnGroundKnown.load(); };
    c.userOnGround = [] { return userOnGround.load(); };
    c.consumeNewSecond = [] {
        bool expected = true;
        return newSecondFlag.compare_exchange_strong(expected, false);
    };
    c.newSecondPending = [] { return newSecondFlag.load(); };
    c.simUtcEpoch = [] { return simUtcEpoch.load(); };
    c.userHalfWingspan = [] { return userHalfWingspan(); };
    c.requestUserOnGround = [] {
        std::lock_guard lock(simQueueMutex);
        return simApi().requestDataOnSimObject(REQUEST_USER_ON_GROUND, DEF_ON_GROUND, SIMCONNECT_OBJECT_ID_USER,
                                               SIMCONNECT_PERIOD_SECOND) >= 0;
    };
    c.requestUserAcPosition = [] { return requestUserAcPosition(); };
    c.userAcSnapshot = [] { return userAcSnapshot(); };
    c.requestUserAcTitleModel = [] { requestUserAcTitleModel(); };
    c.reportSimConnectError = [] { reportSimConnectError(); };
    c.clearPositionBuffers = [] {
        std::lock_guard lock(simQueueMutex);
        positionQueue.resetLocked();
    };
    c.resetSimLink = [] { resetSimLink(); };
    c.setReaderUserPosition = [](const LatLon& p) { trafficReader().setUserPosition(p); };
    c.updateQueryBox = [] { trafficReader().updateQueryBox(); };
    c.updateStatusLamps = [] { updateStatusLamps(); };
    c.authenticate = [] { gf_authenticater(); };
    c.sessionGuid = [] { return weatherClient().sessionGuid(); };
    c.weatherOk = [] { return weatherClient().weatherOk.load(); };
    c.launchWeatherReader = [] { return launchWeatherReader(); };
    c.launchTrafficReader = [] { return launchTrafficReader(); };
    c.readerLoopRunning = [] { return trafficReader().loopRunning.load(); };
    c.readerRecordCount = [] { return trafficReader().recordCount.load(); };
    c.collectMaps = [] { trafficReader().collectMaps = true; };
    c.setTimeOffsets = [](int minutes) {
        trafficReader().toffset = minutes;
        weatherClient().toffset = minutes;
    };
    c.stopServiceReaders = [](std::int32_t limitMs) { return stopServiceReaders(milliseconds(limitMs)); };
    c.deauthenticate = [] { deauthenticate(trafficReader()); };
    c.checkWeatherHandles = [] { checkWeatherHandles(); };
    return c;
}

MainCycleCallees& mainCycleCallees()
{
    static MainCycleCallees& c = *new MainCycleCallees(defaultMainCycleCallees());  // never destroyed
    return c;
}

bool stopFlagSet() { return anyStopFlag(); }

bool waitUnlessStopped(std::int64_t limitMs, std::int64_t stepMs, const std::function<bool()>& done)
{
    // Without a condition the wait is one sleep that a close ends at once;
    // with one it is looked at every step.
    if (!done) return sleepUnlessStopped(milliseconds(limitMs));
    for (std::int64_t waited = 0; !done(); waited += stepMs) {
        if (waited >= limitMs) return !stopFlagSet();
        if (!sleepUnlessStopped(milliseconds(stepMs))) return false;
    }
    return !stopFlagSet();
}

bool requestAircraftGndAir()
{
    MainCycleCallees& c = mainCycleCallees();
    MainCycleState& s = mainCycle();
    while (!c.simRunning() || c.simErrorFlag()) {
        if (!sleepUnlessStopped(milliseconds(100))) return false;
    }
    if (!c.requestUserOnGround()) {
        logLineMarked("SimConnect request ac gnd/air fails");
        c.reportSimConnectError();
    }
    const auto known = [&s] { return positionKnown(s.userState.latitude, s.userState.longitude); };
    while (!(c.userOnGroundKnown() && known())) {
        if (stopFlagSet()) return false;
        s.userState = c.requestUserAcPosition();
        if (!sleepUnlessStopped(milliseconds(500))) return false;
    }
    c.requestUserAcTitleModel();
    while (!known()) {
        if (stopFlagSet()) return false;
        s.userState = c.requestUserAcPosition();
        if (!sleepUnlessStopped(milliseconds(200))) return false;
    }
    return !stopFlagSet();
}

void mainLoop()
{
    MainCycleCallees& c = mainCycleCallees();
    MainCycleState& s = mainCycle();
    StatusPanel& panel = statusPanel();
    mainWindow().loggedIn = false;
    panel.simConnected = false;
    repaintStatusPanel();

    c.reserveEngineContainers();
    c.reserveLiveryVectors();
    c.initSimQueues(P3D_VERSION.get());
    if (c.simClientThreadStarted()) c.joinSimClientThread();
    c.startSimClientThread();

    if (!requestAircraftGndAir()) return;
    if (AUTO_RANGE.get()) {
        applyAutoRange();
        RANGE.enable(false);
    }
    if (stopFlagSet()) return;
    mainWindow().restartMark = false;
    repaintStatusPanel();
    if (stopFlagSet()) return;

    c.setRunningFlag(false);
    if (configuredServiceKey().empty())
        throw qxv::UserErrorException(
            99, "No key for the live-traffic service: put your key into the RT_LICENSE entry of parameters.xml");
    // The reader's first request (the buffered traffic of the last half minute)
    // asks for the box around the user aircraft and keeps only the records within
    // range of it: both must stand before the reader starts. Without the position
    // a quick answer was measured from 0,0 and lost whole, and the box stayed
    // the default one for the first 15 seconds.
    c.setReaderUserPosition({s.userState.latitude, s.userState.longitude});
    c.updateQueryBox();
    c.authenticate();
    statusPanel().trafficLamp = 2;
    statusPanel().weatherLamp = 2;
    repaintStatusPanel();

    // The login's GUID: no reader starts without one.
    for (int i = 0; i < 10 && c.sessionGuid().empty(); ++i) {
        if (!waitUnlessStopped(300, 300, nullptr)) return;
    }
    if (stopFlagSet()) return;
    if (c.sessionGuid().empty()) {
        logLineMarked("No session with the live-traffic service");
        requestClosing(ClosingReason::ReaderError, 15);
        return;
    }
    mainWindow().loggedIn = true;

    // Each wait ends as soon as what it waits for is there (looked at every
    // 10 ms): the first live aircraft is not held up by a fixed pause.
    c.launchWeatherReader();
    const auto weatherCame = [&c] { return c.weatherOk(); };
    for (int i = 0; i < 10 && !c.weatherOk(); ++i) {
        if (!waitUnlessStopped(300, 10, weatherCame)) return;
        applyParkAirportChange();
    }
    c.launchTrafficReader();
    if (!waitUnlessStopped(300, 10, [&c] { return c.readerLoopRunning(); })) return;

    c.setReaderUserPosition({s.userState.latitude, s.userState.longitude});
    reportNoTraffic();
    if (stopFlagSet()) return;
    currentSlotAndWeekday.store(slotAndWeekday());

    if (!c.readerLoopRunning()) {
        const auto start = platform::steadyNow();
        while (!c.readerLoopRunning()) {
            if (stopFlagSet()) return;
            if (platform::steadyNow() - start > std::chrono::seconds(10)) {
                logLine("TrafficReader receiving timed out after 10 seconds?");
                requestClosing(ClosingReason::ReaderError, 15);
                break;
            }
            if (!sleepUnlessStopped(milliseconds(100))) return;
        }
    }
    tickLoop();
}

namespace {

// The tick due at `next` and the `quiet` ticks from it only count (the first
// of them is tickCounter): sleeps until the tick after them or a wake, counts
// the quiet ticks whose time has passed and returns the time of the tick to
// run now. Woken before `next`, it waits for `next` as the loop does.
platform::Clock::TimePoint lf_sleepThroughQuietTicks(MainCycleCallees& c, platform::Clock::TimePoint next,
                                                     std::int32_t quiet, std::int32_t& counted)
{
    c.beginQuietSleep(next, quiet);
    sleepUntilTickWake(next + quiet * quietTickLength);
    const auto now = platform::steadyNow();
    counted = c.endQuietSleep(now);
    next += counted * quietTickLength;
    if (next - now >= milliseconds(1)) platform::clock().sleepUntil(next);
    return next;
}

// The ticks keep the simulator's clock: 100 to each of its seconds. The loop
// ticks every 10 ms of the program clock; each simulator second compares the
// ticks run with the seconds seen since the count began and moves the next
// tick by one tick (earlier or later) while the two are further apart than
// the seconds' own arrival varies (they come with a frame, up to a frame or
// two late). Moving the ticks to the moment each second is seen instead would
// drop the part of a tick between the tick's time and that moment, every
// second: the count fell behind by a tick every two or three seconds. After a
// pause, or when they are apart by more than a hang or a jump of the
// simulator's clock could explain, the count begins anew.
class SimPace {
public:
    void countTicks(std::int32_t n) { ticks_ += n; }
    void pause() { counting_ = false; }
    // A simulator second, seen once the ticks owed have run: the ticks by
    // which to move the next tick (-1 earlier, +1 later, 0 none).
    int onSecond()
    {
        ++seconds_;
        const std::int64_t ahead = ticks_ - seconds_ * ticksPerSecond;
        if (!counting_ || ahead > restartTicks || ahead < -restartTicks) {
            counting_ = true;
            ticks_ = 0;
            seconds_ = 0;
            return 0;
        }
        if (ahead > bandTicks) return 1;
        if (ahead < -bandTicks) return -1;
        return 0;
    }

    static constexpr std::int64_t ticksPerSecond = 100;
    // The seconds' arrival varies by up to two frames (the stand-in's come
    // with the frame after the second, and the loop sees them with a frame).
    static constexpr std::int64_t bandTicks = 8;
    static constexpr std::int64_t restartTicks = 50;

private:
    bool counting_ = false;
    std::int64_t ticks_ = 0;    // run (or counted while quiet) since the count began
    std::int64_t seconds_ = 0;  // simulator seconds since then
};

// Without a frame the ticks due are run this late at most (the frames stopped,
// or come slower than 25 a second).
constexpr auto lf_frameWaitLimit = milliseconds(40);

// The tick due at `next` waits for the simulator's frame: sleeps until a frame
// takes it (once less than a millisecond is left to `next`, when the loop runs
// it) or the frames stay away too long. Returns whether a frame was taken.
bool lf_waitForFrame(MainCycleCallees& c, platform::Clock::TimePoint next)
{
    c.beginFrameWait(next, static_cast<std::int32_t>(lf_frameWaitLimit / quietTickLength) + 1);
    return sleepUntilFrame(next - milliseconds(1), next + lf_frameWaitLimit);
}

}  // namespace

void tickLoop()
{
    MainCycleCallees& c = mainCycleCallees();
    MainCycleState& s = mainCycle();
    // The first static parking does not hold up the first tick: it goes on from
    // the once-a-second step when the parked traffic is in.
    c.beginFirstStaticParking();
    c.updateStatusLamps();
    s.secondCount = 0;
    auto next = platform::steadyNow() + milliseconds(10);
    currentSlotAndWeekday.store(slotAndWeekday());
    c.setRunningFlag(true);
    const platform::TimerResolutionGuard resolution;
    // The wakes so far are forgotten before every tick: what came before is the
    // tick's work, what comes after it ends the next sleep at once.
    clearTickWake();
    bool go = tickStep();
    SimPace pace;
    bool frameWaitOpen = false;  // the scheduling tick follows the clock
    bool frameOwed = false;      // a frame taken: its flush follows the ticks due
    bool secondOwed = false;     // a simulator second came: the ticks are held to its clock
    while (go) {
        // Only while the flight runs: paused, every tick has its step.
        const bool running = c.simRunning() && !c.simErrorFlag();
        if (!running) pace.pause();
        if (next - platform::steadyNow() >= milliseconds(1)) {
            // The ticks due have run: the frame that woke the loop is sent now.
            if (std::exchange(frameWaitOpen, false)) c.endFrameWait();
            if (std::exchange(frameOwed, false)) c.serveTakenFrame();
            const std::int32_t quiet = running ? c.quietTicks() : 0;
            if (quiet > 0) {
                std::int32_t counted = 0;
                next = lf_sleepThroughQuietTicks(c, next, quiet, counted);
                pace.countTicks(counted);
            } else if (running && c.framesPaceTicks()) {
                frameWaitOpen = true;
                frameOwed = lf_waitForFrame(c, next);
            } else {
                platform::clock().sleepUntil(next);
            }
        }
        // A second of the simulator came: the ticks are held to its clock.
        // While more ticks are owed (a frame woke the loop late, a tick took
        // long) they are run first, on any pass of the catch-up: compared
        // earlier, the ticks owed would count as missing.
        const auto now = platform::steadyNow();
        if (c.newSecondPending()) secondOwed = true;
        if (secondOwed && now - next < milliseconds(10)) {
            next += pace.onSecond() * milliseconds(10);
            secondOwed = false;
        }
        next += milliseconds(10);
        clearTickWake();
        pace.countTicks(1);
        go = tickStep();
    }
    if (frameWaitOpen) c.endFrameWait();
    if (frameOwed) c.serveTakenFrame();
}

bool tickStep()
{
    MainCycleCallees& c = mainCycleCallees();
    MainCycleState& s = mainCycle();
    if (c.simRunning() && !c.simErrorFlag()) {
        c.handleAddingStack();
        // No simulator second (also while the simulator hangs): the stop flags
        // still end the loop.
        if (!c.consumeNewSecond()) return !stopFlagSet();
        flightRunningStep();
        if (stopFlagSet()) return false;
        c.finishFirstStaticParking();
        const std::int32_t n = s.secondCount.load();
        if (n % 15 == 0) {
            c.updateStatusLamps();
            c.setReaderUserPosition({s.userState.latitude, s.userState.longitude});
            c.updateQueryBox();
            const std::string reserved = airportServices().reservedStandName();
            if (!reserved.empty()) c.removeAtStand(reserved);
            applyParkAirportChange();
            parkingRenewalTimer(n);
            return true;
        }
        if (n % 16 == 0 && !s.renewalInProgress) c.updateStaticParking(false);
        if (n % 61 == 0 && !staticAircraft.empty()) duplicateScan();
        return true;
    }
    flightNotRunningStep();
    return !stopFlagSet();
}

void duplicateScan()
{
    MainCycleCallees& c = mainCycleCallees();
    for (LiveAc& live : liveAircraft) {
        if (!live.groundReplySeen || !lf_active(live)) continue;
        const std::string key = live.callsign + "*";
        for (SimAc& st : staticAircraft) {
            const bool match = st.callsign == key || (!live.registration.empty() && st.registration == live.registration);
            if (match && lf_active(st)) {
                c.removeAircraftFromSim(st);
                return;
            }
        }
    }
}

void collisionRemovals()
{
    MainCycleCallees& c = mainCycleCallees();
    MainCycleState& s = mainCycle();
    const UserAcState& u = s.userState;
    const LatLon user{u.latitude, u.longitude};
    if (!c.userOnGround()) {
        if (!COLLISION_USER_AIR.get()) return;
        for (LiveAc& ac : liveAircraft) {
            if (!lf_active(ac)) continue;
            const LatLon p{ac.posBlock.latitude, ac.posBlock.longitude};
            const double d = distanceNm(user, p);
            if (ac.groundReplySeen && u.altAboveGround < 500.0 && d <= 1.0) {
                const double b = lf_wrapPi(initialBearing(user, p) - u.heading);
                if (std::sin(std::fabs(b)) * d * lf_feetPerNm <= 50.0) {
                    c.removeAircraftFromSim(ac);
                    return;
                }
            }
            if (d <= 4.0 && std::fabs(ac.posBlock.altitude - u.altitude) < 1000.0) {
                const double r = lf_wrapPi(ac.posBlock.heading - initialBearing(user, p)) * 180.0 / lf_pi;
                const double a = std::fabs(std::fabs(r) - 90.0);
                if (std::cos(a * lf_pi / 180.0) * d * lf_feetPerNm <= 700.0) {
                    c.removeAircraftFromSim(ac);
                    return;
                }
            }
        }
        return;
    }
    if (!COLLISION_USER_GND.get()) return;
    for (LiveAc& ac : liveAircraft) {
        if (!ac.groundReplySeen || !lf_active(ac)) continue;
        const double d = distanceNm(user, {ac.posBlock.latitude, ac.posBlock.longitude});
        if ((s.userRadiusNm + ac.halfWingspan) * 1.15 >= d) {
            c.removeAircraftFromSim(ac);
            return;
        }
    }
    if (!lf_moved(s.lastUserLat, s.lastUserLon, u.latitude, u.longitude)) return;
    s.lastUserLat = u.latitude;
    s.lastUserLon = u.longitude;
    for (SimAc& st : staticAircraft) {
        if (!lf_active(st)) continue;
        if ((s.userRadiusNm + st.halfWingspan) * 1.1 >= distanceNm(user, st.position)) {
            c.removeAircraftFromSim(st);
            return;
        }
    }
}

void flightRunningStep()
{
    MainCycleCallees& c = mainCycleCallees();
    MainCycleState& s = mainCycle();
    if (s.flightPaused) {
        s.flightPaused = false;
        logLine(vr::format("{} Flight resumed", timeOfDay()));
        c.setRunningFlag(true);
    }
    advanceMessageClock();
    refreshParkingCounters();
    currentSlotAndWeekday.store(slotAndWeekday());
    s.userState = c.userAcSnapshot();
    if (const auto span = c.userHalfWingspan()) s.userRadiusNm = *span;

    if (SIM_TIME.get()) {
        const std::int64_t simTime = c.simUtcEpoch();
        const std::int64_t moved = simTime - s.lastSimTimeSeconds;
        if (moved >= 30 || moved <= -30) {
            std::int64_t minutes = (static_cast<std::int64_t>(platform::wallSeconds()) - simTime) / 60;
            if (minutes < 0) minutes = 0;
            applyTimeShift(static_cast<std::int32_t>(std::min<std::int64_t>(minutes, INT32_MAX)), false);
        }
        s.lastSimTimeSeconds = simTime;
    }
    s.secondCount = s.secondCount + 1;

    // One identity check a second; an id whose aircraft is gone is dropped,
    // so it cannot hold up the ids behind it.
    if (!IdentityCheckQueue.empty()) {
        const std::uint32_t id = IdentityCheckQueue.front();
        for (LiveAc& ac : liveAircraft) {
            if (ac.aircraftId != id) continue;
            if (!ac.coupledCsSearched) {
                c.searchForCoupledCsAroundThisTime(currentSlotAndWeekday.load(), ac);
                ac.coupledCsSearched = true;
            }
            c.resolveSameIdentity(ac, ac.groundReplySeen);
            break;
        }
        if (!IdentityCheckQueue.empty() && IdentityCheckQueue.front() == id) IdentityCheckQueue.pop_front();
    }

    if (s.flushStaticRequested.exchange(false)) {
        c.removeAllStatics();
        if (!INITIAL_LOAD_ONLY.get()) {
            INITIAL_LOAD_ONLY.set(true);
            showCheckboxState(INITIAL_LOAD_ONLY);
        }
    }

    collisionRemovals();

    if (COLLISION_LIVE_PARKED_GND.get() && !staticAircraft.empty()) c.removeStaticsNearLiveStep();

    if (s.blockCallsignChanged.load()) {
        const std::string blocked = BLOCK_CALLSIGN.get();
        if (!blocked.empty()) {
            for (LiveAc& ac : liveAircraft) {
                if (ac.callsign == blocked && lf_active(ac)) {
                    c.removeAircraftFromSim(ac);
                    break;
                }
            }
        }
        s.blockCallsignChanged = false;
    }
    applyWindowRequests();
}

void applyWindowRequests()
{
    MainCycleCallees& c = mainCycleCallees();
    MainCycleState& s = mainCycle();
    if (s.timeShiftRemovalRequested.exchange(false)) removeShownTraffic();
    if (s.autoRangeRequested.exchange(false) && AUTO_RANGE.get()) applyAutoRange();
    if (const auto destination = s.takeDestination()) applyDestination(destination->first, destination->second);
    if (s.liveLimitChanged.exchange(false)) c.trimLiveAircraft();
    if (s.navLightsChanged.exchange(false)) {
        // The aircraft already shown follow the option: statics, then the parked live ones.
        const std::uint32_t on = NAV_LIGHTS_WHILE_PARKED.get() ? 1 : 0;
        for (const SimAc& st : staticAircraft)
            if (lf_active(st)) c.queueAcEvent(st, EVENT_NAV_LIGHTS, on);
        for (const LiveAc& ac : liveAircraft)
            if (lf_active(ac) && ac.phase == AcPhase::parked) c.queueAcEvent(ac, EVENT_NAV_LIGHTS, on);
    }
}

void flightNotRunningStep()
{
    MainCycleCallees& c = mainCycleCallees();
    MainCycleState& s = mainCycle();
    if (!s.flightPaused) {
        c.setRunningFlag(false);
        s.flightPaused = true;
        s.notRunningCountdown = 100;
        c.clearPositionBuffers();
        logLine(vr::format("{} Flight not running", timeOfDay()));
    }
    c.processSimReplies();
    s.notRunningCountdown -= 1;
    if (s.notRunningCountdown % 100 == 0) {
        applyParkAirportChange();
        c.updateQueryBox();
        c.finishFirstStaticParking();  // a first static parking still waiting is not held up by a pause
    }
    if (s.notRunningCountdown < 1) {
        s.notRunningCountdown = 100;
        refreshParkingCounters();
        currentSlotAndWeekday.store(slotAndWeekday());
    }
}

void applyParkAirportChange()
{
    MainCycleCallees& c = mainCycleCallees();
    MainCycleState& s = mainCycle();
    if (!s.parkAirportChanged.load() || mainControlsDisabled()) return;
    std::string text;
    if (c.checkReservedStand(text)) showMessage(text, true);
    RE_READ.enable(true);
    DESTINATION.enable(true);
    s.parkAirportChanged = false;
}

void parkingRenewalTimer(std::int32_t n)
{
    MainCycleCallees& c = mainCycleCallees();
    MainCycleState& s = mainCycle();
    if (s.renewalRequested.load()) {
        if (!s.renewalInProgress) {
            s.renewalInProgress = true;
            disableMainControls();
            c.collectMaps();
        } else {
            s.renewalInProgress = false;
            mainWindow().clearError();
            clearMessage();
            if (c.parkAirportHasStands()) {
                c.adjustParking(s.parkTrafficOnlyTurnedOn.load());
                s.parkTrafficOnlyTurnedOn = false;
            }
            s.renewalRequested = false;
        }
    }
    if (n % 30 == 0 && AUTO_RANGE.get()) applyAutoRange();
    if (n % 60 == 0) {
        s.minutesToRenewal = 20 - (n / 60) % 20;
        repaintStatusPanel();
    }
    if (n % 1200 == 0) {
        c.logNoMatchList();
        if (c.airportFileLoaded() && (!INITIAL_LOAD_ONLY.get() || RT_PARKTRAFFIC_ONLY.get()) &&
            !s.renewalRequested.load())
            s.renewalRequested = true;
    }
    if (n % 86400 == 0) {
        s.secondCount = 0;
        c.logLiveryMatchSummary();
        c.clearRememberedTitles();
    }
}
