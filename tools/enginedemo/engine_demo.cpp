#include "engine_demo.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <memory>

#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/flight_plans.h"
#include "engine/scheduling.h"
#include "engine/spawn.h"
#include "platform/clock.h"
#include "scene_services.h"
#include "simlink/sc_api.h"
#include "simlink/sim_client.h"
#include "simlink/sim_queues.h"
#include "simlink/user_aircraft.h"
#include "traffic_service/curl_client.h"
#include "traffic_service/handover.h"
#include "traffic_service/session.h"
#include "traffic_service/traffic_reader.h"
#include "traffic_service/weather.h"

namespace {

using namespace std::chrono;
using Clock = platform::Clock;

constexpr auto lf_tick = milliseconds(10);
constexpr std::int64_t lf_ticksPerSecond = 100;
constexpr std::int64_t lf_queryBoxTicks = 15 * lf_ticksPerSecond;  // the main cycle's 15-second step
constexpr auto lf_readerEndLimit = seconds(5);

struct StateCounts {
    std::array<std::uint32_t, 5> byState{};
    std::uint32_t inSim() const { return byState[1] + byState[2]; }
};

StateCounts lf_countStates()
{
    StateCounts c;
    for (const LiveAc& ac : liveAircraft) {
        const auto s = static_cast<std::size_t>(ac.simState);
        if (s < c.byState.size()) ++c.byState[s];
    }
    return c;
}

std::string lf_countsLine(double seconds, const StateCounts& c, std::uint64_t batches)
{
    return vr::format("{:5.0f} s: buffer {}, adding2sim {}, active {}, liveryrespawn {}, removingfromsim {} "
                      "({} traffic batches)",
                      seconds, c.byState[0], c.byState[1], c.byState[2], c.byState[3], c.byState[4], batches);
}

bool lf_userPositionKnown()
{
    const UserAcState s = userAcSnapshot();
    return positionKnown(s.latitude, s.longitude);
}

// Waits on the clock until `ready` holds, the stop is asked, or the limit passes.
bool lf_waitFor(const std::function<bool()>& ready, Clock::Duration limit, const std::atomic<bool>* stop)
{
    const auto deadline = platform::steadyNow() + limit;
    while (!ready()) {
        if (platform::steadyNow() >= deadline || closingFlag || (stop && *stop)) return ready();
        platform::sleepFor(milliseconds(10));
    }
    return true;
}

// The requests the main cycle makes of the simulator at the start of a run:
// the on-ground flag every second, the user state, title and model once.
void lf_requestUserAircraft()
{
    {
        std::lock_guard lock(simQueueMutex);
        SimConnect_RequestDataOnSimObject(simHandle.load(), REQUEST_USER_ON_GROUND, DEF_ON_GROUND,
                                          SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND);
    }
    (void)requestUserAcPosition();
    requestUserAcTitleModel();
}

void lf_followUser(TrafficReader& reader)
{
    const UserAcState s = userAcSnapshot();
    reader.setUserPosition({s.latitude, s.longitude});
    reader.updateQueryBox();
}

}  // namespace

EngineDemoSummary runEngineDemo(const EngineDemoOptions& options)
{
    std::function<void(const std::string&)> print = options.print;
    if (!print) {
        print = [](const std::string& line) {
            std::printf("%s\n", line.c_str());
            std::fflush(stdout);
        };
    }
    EngineDemoSummary summary;
    if (options.logFolder.empty()) {
        gf_openLog();
    } else {
        gf_openLog(options.logFolder);
    }
    resetRunState();
    sessionOpen = false;  // until this run logs in
    SIM_INSTALL_PATH.set("Prepar3D v5");
    if (options.maxLiveSel >= 0) MAX_LIVE_SEL.set(options.maxLiveSel);
    setRangeNm(RANGE.get());

    SceneLiveries liveries;
    SceneAirports airports(options.airport);

    lf_reserveEngineContainers();
    removeAllAiObjects();
    resetSimLink();
    initSimQueues(5);
    gf_createFlightPlanFolder();

    auto batches = std::make_shared<std::atomic<std::uint64_t>>(0);
    ServiceHandover handover = defaultServiceHandover();
    wireEngineHandover(handover);
    handover.scheduleTrafficRecords = [schedule = handover.scheduleTrafficRecords,
                                       batches](std::vector<TrafficRecord>& batch, int delaySeconds) {
        ++*batches;
        schedule(batch, delaySeconds);
    };
    handover.userAircraft = [] {
        const UserAcState s = userAcSnapshot();
        return ServiceUserAircraft{s.latitude, s.longitude, s.altitude};
    };
    handover.userStandAirport = [] { return userStandAirport(); };
    setServiceHandover(handover);
    setServiceBaseUrl(options.serviceUrl);
    setServiceTimeouts({milliseconds(5000), milliseconds(15000)});

    TrafficReader& reader = trafficReader();
    WeatherClient& weather = weatherClient();
    const auto finish = [&](int exitCode) {
        setRunningFlag(false);
        if (!reader.finished) {
            reader.stop = true;
            if (!waitReaderFinished(reader, lf_readerEndLimit)) print("the traffic reader did not end in time");
        }
        if (sessionOpen) deauthenticate(reader);
        joinSimClientThread();
        summary.flightPlanFolderGone = gf_removeFlightPlanFolder();
        removeAllAiObjects();
        setServiceHandover(defaultServiceHandover());
        closeLog();
        summary.exitCode = exitCode;
        return summary;
    };

    const auto stopped = [&options] { return options.stop && *options.stop; };

    // The simulator: connected, and the user aircraft known.
    startSimClientThread();
    const auto answerLimit = duration_cast<Clock::Duration>(duration<double>(options.answerSeconds));
    if (!lf_waitFor([] { return !notYetConnected.load(); }, answerLimit, options.stop)) {
        if (stopped()) return finish(0);
        print(vr::format("no simulator answered within {:.0f} s (is vrmt-simstandin running, with the same pipe "
                         "folder?)",
                         options.answerSeconds));
        return finish(1);
    }
    lf_requestUserAircraft();
    if (!lf_waitFor(lf_userPositionKnown, answerLimit, options.stop)) {
        if (stopped()) return finish(0);
        print("the simulator did not report the user aircraft");
        return finish(1);
    }
    print("simulator connected: " + statusPanel().simLabel.get());

    // The service: login, then the traffic reader around the user aircraft.
    checkWeatherHandles(reader, weather);
    int status = 0;
    if (!authenticate(status, weather)) {
        print(vr::format("the live-traffic service at {} did not answer the login (status {}; is "
                         "vrmt-servicestandin running there?)",
                         options.serviceUrl, status));
        return finish(1);
    }
    reader.setSessionGuid(weather.sessionGuid());
    lf_followUser(reader);
    if (!launchTrafficReader(reader, weather) ||
        !lf_waitFor([&reader] { return reader.loopRunning.load(); }, answerLimit, options.stop)) {
        if (stopped()) return finish(0);
        print(vr::format("the live-traffic service at {} sent no traffic", options.serviceUrl));
        return finish(1);
    }
    print(vr::format("service connected: {}", options.serviceUrl));

    // The engine, every 10 ms on the clock.
    setRunningFlag(true);
    const auto start = platform::steadyNow();
    const auto runFor = duration_cast<Clock::Duration>(duration<double>(options.seconds));
    const auto statusTicks =
        std::max<std::int64_t>(1, static_cast<std::int64_t>(options.statusEverySeconds * lf_ticksPerSecond));
    auto next = start;
    std::int64_t tick = 0;
    while (!closingFlag && !stopped() && platform::steadyNow() - start < runFor) {
        lf_handleAddingStack();
        ++tick;
        if (options.afterTick) options.afterTick(tick);
        // The main cycle's consumer of the identity checks: nothing to resolve here.
        if (tick % lf_ticksPerSecond == 0 && !IdentityCheckQueue.empty()) IdentityCheckQueue.pop_front();
        if (tick % lf_queryBoxTicks == 0) lf_followUser(reader);
        const StateCounts counts = lf_countStates();
        summary.mostActive = std::max(summary.mostActive, counts.byState[2]);
        summary.mostInSim = std::max(summary.mostInSim, counts.inSim());
        if (tick % statusTicks == 0) {
            print(lf_countsLine(duration<double>(platform::steadyNow() - start).count(), counts, *batches));
        }
        next += lf_tick;
        platform::clock().sleepUntil(next);
    }
    summary.ticks = tick;
    summary.batches = *batches;
    if (tick % statusTicks != 0) {  // the last counts, unless its status line just said them
        print(lf_countsLine(duration<double>(platform::steadyNow() - start).count(), lf_countStates(), *batches));
    }
    if (closingFlag) {
        const ClosingReason reason = closingReason();
        const char* who = reason == ClosingReason::ReaderError || reason == ClosingReason::SystemError
                              ? "the live-traffic service stopped answering"
                          : reason == ClosingReason::SimWasClosed || reason == ClosingReason::SimConnectError
                              ? "the simulator stopped answering"
                              : "the run ended early";
        print(vr::format("{} ({})", who, closingReasonText(reason)));
        return finish(1);
    }
    return finish(0);
}
