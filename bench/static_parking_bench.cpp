#include <benchmark/benchmark.h>

#include <random>

#include "airports/airport_load.h"
#include "airports/static_parking.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "core/time.h"
#include "engine/ac_records.h"
#include "engine/slot_records.h"
#include "engine/stand.h"
#include "engine/timed_queues.h"
#include "traffic_service/parked_record.h"

// Goals: calculateStaticParking on a 500-stand airport with 10 options a stand
// and 200 parked records under 20 ms; the once-a-second pass of 500 taxiing
// live aircraft against 256 statics under 1 ms (both run on the worker between
// ticks).

namespace {

std::vector<Stand> lf_stands(std::mt19937& random)
{
    std::uniform_int_distribution<int> slot(0, 47), day(1, 7);
    std::vector<Stand> v;
    for (int i = 0; i < 500; ++i) {
        std::vector<SlotRecord> options;
        for (int k = 0; k < 10; ++k) {
            SlotRecord r;
            r.airl = "KLM";
            r.type = k % 2 ? "B738" : "E190";
            r.reg = vr::format("PH-{}{}", i, k);
            r.cs = vr::format("KLM{}", i * 10 + k);
            const int s = slot(random);
            for (int j = s; j < std::min(s + 6, 48); ++j) r.slots.set(static_cast<std::size_t>(j));
            r.weekday = static_cast<std::uint32_t>(day(random));
            r.real = k < 7 ? 1 : 0;
            r.optionIndex = static_cast<std::uint32_t>(k + 1);
            options.push_back(r);
        }
        // A grid 60 m apart: few neighbours.
        v.emplace_back(vr::format("S{}", i), std::move(options), 52.30 + (i / 25) * 0.00054, 4.76 + (i % 25) * 0.00088,
                       0.0, 20.0, Stand::Kind{});
    }
    lf_numberAndFindConflicts(v);
    return v;
}

void BM_CalculateStaticParking(benchmark::State& state)
{
    std::mt19937 random(3);
    const std::vector<Stand> base = lf_stands(random);
    std::vector<ParkedTrafficRecord> parked;
    for (int i = 0; i < 200; ++i) {
        ParkedTrafficRecord r;
        r.airline = "DLH";
        r.type = "A320";
        r.callsign = vr::format("DLH{}", i);
        r.registration = vr::format("D-A{}", i);
        r.aircraftId = 0x3c0000 + static_cast<std::uint32_t>(i);
        r.lat = 52.30 + (i / 25) * 0.00054 * 2.5;
        r.lon = 4.76 + (i % 25) * 0.00088;
        r.slot = i % 10;
        parked.push_back(r);
    }
    setParkedTrafficSource([&parked](std::vector<ParkedTrafficRecord>& out) {
        out = parked;
        return true;
    });
    currentSlotAndWeekday = packSlotAndWeekday(20, 3);
    parking_percentage.set(60);
    MAX_FIT.set(47);
    PARK_SOFT.set(true);
    for (auto _ : state) {
        state.PauseTiming();
        replaceStands(base);
        state.ResumeTiming();
        calculateStaticParking();
        benchmark::DoNotOptimize(parkingSelections.size());
    }
    state.counters["selections"] = static_cast<double>(parkingSelections.size());
    setParkedTrafficSource({});
    clearStandState();
}
BENCHMARK(BM_CalculateStaticParking)->Unit(benchmark::kMillisecond);

void BM_StaticsNearLive(benchmark::State& state)
{
    COLLISION_LIVE_PARKED_GND.set(true);
    staticAircraft.clear();
    liveAircraft.clear();
    std::mt19937 random(4);
    std::uniform_real_distribution<double> lat(52.28, 52.33), lon(4.72, 4.80);
    for (int i = 0; i < 256; ++i) {
        SimAc s;
        s.callsign = vr::format("S{}*", i);
        s.simState = SimState::active;
        s.position = {lat(random), lon(random)};
        s.halfWingspan = 0.01;
        staticAircraft.push_back(s);
    }
    for (int i = 0; i < 500; ++i) {
        LiveAc a;
        a.aircraftId = 0x400000 + static_cast<std::uint32_t>(i);
        a.callsign = vr::format("L{}", i);
        a.simState = SimState::active;
        a.groundReplySeen = true;
        a.phase = AcPhase::taxi;
        a.halfWingspan = 0.01;
        a.posBlock.latitude = lat(random);
        a.posBlock.longitude = lon(random);
        liveAircraft.push_back(a);
    }
    for (auto _ : state) {
        // Every aircraft moved since its last test.
        for (LiveAc& a : liveAircraft) a.collisionTestPosition = {0.0, 0.0};
        for (SimAc& s : staticAircraft) s.simState = SimState::active;
        removeStaticsNearLiveStep();
        clearTimedQueues();
    }
    staticAircraft.clear();
    liveAircraft.clear();
}
BENCHMARK(BM_StaticsNearLive)->Unit(benchmark::kMicrosecond);

}  // namespace
