// Every handler of the main window used on the UI thread while the worker
// ticks 500 live aircraft: the two share only atomics and the requests.
#include <atomic>
#include <thread>

#include "shell/edit_controls.h"
#include "shell/window_fixture.h"

namespace {

class WindowThreads : public WindowFixture {};

TEST_F(WindowThreads, HandlersWhileTheWorkerTicks)
{
    for (int i = 0; i < 500; ++i) {
        LiveAc ac = makeLive(vr::format("LIVE{}", i), 52.0 + i * 0.001, 4.7, static_cast<std::uint32_t>(20000 + i));
        if (i % 3 == 0) ac.phase = AcPhase::parked;
        liveAircraft.push_back(ac);
    }
    fake.airportFileLoaded = true;
    fake.airport = LatLon{52.3, 4.76};
    std::atomic<bool> done{false};
    std::atomic<int> ticks{0};
    std::thread worker([&] {
        while (!done.load()) {
            tickStep();
            refreshParkingCounters();
            ++ticks;
        }
    });

    const ParameterControl* boxes[] = {&LIG_AUTOMATIC, &LIG_PRIORITIZE, &COLLISION_LIVE_PARKED_GND,
                                       &COLLISION_USER_GND, &COLLISION_USER_AIR, &INITIAL_LOAD_ONLY,
                                       &ALWAYS_ON_TOP, &SUPPRESS_STUB, &GUID_CHANGES, &RT_PARKTRAFFIC_ONLY,
                                       &SIM_TIME, &AUTO_RANGE, &AFG_AUTOMATIC, &PARK_SOFT, &PARK_FAKE, &WEEK,
                                       &NAV_LIGHTS_WHILE_PARKED, &LEARN_SOFT, &KEEP_SIM_TIME_PAR,
                                       &STRAIGHT_PBS_ONLY, &LOG, &LIGHT_AIRCRAFT, &HELICOPTERS,
                                       &HIGH_PERF_AIRCRAFT};
    for (int round = 0; round < 4; ++round) {
        for (const ParameterControl* box : boxes) click(*box);
        for (ComboParameter* c : {&MATCHING_DEPTH, &MAX_PARK_SEL, &RANGE, &AIRP_RANGE, &AR_ABOVE_HEIGHT,
                                  &AIRP_HEIGHT, &MAX_LIVE_SEL})
            choose(*c, round % static_cast<int>(c->choices().size()));
        for (const ButtonParameter* b : {&UNBLOCK, &RE_READ, &FLUSH_STATIC}) click(*b);
        enter(parking_percentage, std::to_string(20 + round));
        enter(MAX_FIT_FL, round % 2 ? "3.2" : "12");
        enter(TIME_SHIFT_MINS, std::to_string(round * 7));
        enter(TIME_SHIFT_HOURS, round % 2 ? "1" : "");
        enter(BLOCK_CALLSIGN, round % 2 ? "live42" : "");
        enter(DESTINATION, round % 2 ? "eham" : "");
        enter(ALL_INSTALL_PATH, (folder_ / "nothing").string());
        paint();
    }
    done = true;
    worker.join();
    EXPECT_GT(ticks.load(), 0);
    EXPECT_EQ(liveAircraft.size() <= 500, true);
}

}  // namespace
