// The main cycle's own cost. Goals: flightRunningStep with 500 live aircraft
// (100 of them taxiing) and 256 statics, nothing removed, under 1 ms (a tenth
// of a tick); tickStep apart from the engine under 2 us.
#include <benchmark/benchmark.h>

#include "core/options.h"
#include "core/run_state.h"
#include "engine/ac_records.h"
#include "shell/main_cycle.h"

namespace {

void lf_fill()
{
    liveAircraft.clear();
    staticAircraft.clear();
    for (int i = 0; i < 500; ++i) {
        LiveAc ac;
        ac.callsign = "LIVE" + std::to_string(i);
        ac.aircraftId = 20000 + i;
        ac.simState = SimState::active;
        ac.groundReplySeen = true;
        ac.phase = i < 100 ? AcPhase::taxi : AcPhase::flying;
        // Far from the user and from the statics: nothing is removed.
        ac.posBlock.latitude = 40.0 + (i % 50) * 0.05;
        ac.posBlock.longitude = 10.0 + (i / 50) * 0.05;
        ac.posBlock.altitude = 20000;
        ac.halfWingspan = 0.01;
        liveAircraft.push_back(ac);
    }
    for (int i = 0; i < 256; ++i) {
        SimAc st;
        st.callsign = "STAT" + std::to_string(i);
        st.aircraftId = static_cast<std::uint32_t>(i + 1);
        st.simState = SimState::active;
        st.position = {30.0 + i * 0.001, 10.0};
        st.halfWingspan = 0.01;
        staticAircraft.push_back(st);
    }
}

void BM_FlightRunningStep(benchmark::State& state)
{
    lf_fill();
    COLLISION_USER_AIR.set(true);
    COLLISION_USER_GND.set(true);
    COLLISION_LIVE_PARKED_GND.set(true);
    MainCycleCallees& c = mainCycleCallees();
    c.userAcSnapshot = [] { return UserAcState{52.0, 4.0, 0, 0, 0, 3000, 3000, 200, 0, 0, 0, 0}; };
    c.userOnGround = [] { return false; };
    double wiggle = 1e-6;
    for (auto _ : state) {
        // The taxiing aircraft move a little every second, so each is checked against the statics.
        for (int i = 0; i < 100; ++i) liveAircraft[static_cast<std::size_t>(i)].posBlock.latitude += wiggle;
        wiggle = -wiggle;
        flightRunningStep();
    }
    mainCycle().reset();
    resetRunState();
}
BENCHMARK(BM_FlightRunningStep)->Unit(benchmark::kMicrosecond);

void BM_TickStepOwnCost(benchmark::State& state)
{
    MainCycleCallees& c = mainCycleCallees();
    const MainCycleCallees saved = c;
    c.handleAddingStack = [] {};
    c.simRunning = [] { return true; };
    c.simErrorFlag = [] { return false; };
    c.consumeNewSecond = [] { return false; };
    for (auto _ : state) benchmark::DoNotOptimize(tickStep());
    c = saved;
}
BENCHMARK(BM_TickStepOwnCost)->Unit(benchmark::kNanosecond);

}  // namespace
