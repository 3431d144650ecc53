// Stand searches on a 500-stand airport with ten stand-use records a stand:
// the free stand near an aircraft, the stand for a learned aircraft at a half
// hour, and the stand at the user position (each call a fresh position, so
// the one-entry memory never answers).

#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <vector>

#include "core/livery_services_fake.h"
#include "core/random.h"
#include "engine/ac_records.h"
#include "engine/slot_records.h"
#include "engine/stand.h"
#include "engine/stand_search.h"
#include "simlink/user_aircraft.h"

namespace {

constexpr double lat0 = 52.30;
constexpr double lon0 = 4.76;
constexpr double metresPerDegree = 60.0 * 1852.0;

LatLon at(double north, double east)
{
    return {lat0 + north / metresPerDegree, lon0 + east / (metresPerDegree * std::cos(lat0 * 0.017453292519943295))};
}

// 500 stands on a 25 x 20 grid 60 m apart, every fifth a ramp, every 25th cargo,
// each with ten records of different airlines over the day.
void loadAirport()
{
    std::vector<Stand> v;
    v.reserve(500);
    for (std::uint32_t i = 0; i < 500; ++i) {
        const LatLon p = at((i / 25) * 60.0, (i % 25) * 60.0);
        Stand s("S" + std::to_string(i), {}, p.lat, p.lon, 0.0, 18.0 + (i % 3) * 6.0,
                {.cargo = i % 25 == 0, .ramp = i % 5 == 0, .heli = false});
        s.sid = i + 1;
        for (std::uint32_t k = 0; k < 10; ++k) {
            SlotRecord r;
            r.optionIndex = k + 1;
            r.airl = "A" + std::to_string(k);
            r.type = "B738";
            r.reg = "PH-" + std::to_string(i * 10 + k);
            r.cs = r.airl + std::to_string(i);
            r.weekday = 1 + k % 7;
            r.slots.set((i + k * 5) % 48);
            r.slots.set((i + k * 5 + 1) % 48);
            r.real = 1;
            s.options.push_back(std::move(r));
        }
        v.push_back(std::move(s));
    }
    replaceStands(std::move(v));
}

AcIdentity aircraft()
{
    AcIdentity id;
    id.airline = "KLM";
    id.type = "B738";
    id.callsign = "KLM1234";
    id.category = AcCategory::Large;
    id.halfWingspan = 17.9 / 1852.0;
    return id;
}

void BM_FindFreeStandNear(benchmark::State& state)
{
    LiveryServicesFake liveries;
    loadAirport();
    const AcIdentity id = aircraft();
    std::uint32_t i = 0;
    for (auto _ : state) {
        const LatLon p = at((i % 20) * 60.0 + 7.0, ((i * 7) % 25) * 60.0 + 3.0);
        benchmark::DoNotOptimize(findFreeStandNear(p, id, 0.029697624190064796, true));
        ++i;
    }
    clearStands();
}
BENCHMARK(BM_FindFreeStandNear);

void BM_FindStandForSlot(benchmark::State& state)
{
    LiveryServicesFake liveries;
    loadAirport();
    seedRandomEngine(7);
    const AcIdentity id = aircraft();
    std::uint32_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(lf_findStandForSlot(packWeekdayAndSlot(1 + i % 7, i % 48), id, true));
        ++i;
    }
    clearStands();
}
BENCHMARK(BM_FindStandForSlot);

void BM_NearestStandAirport(benchmark::State& state)
{
    loadAirport();
    userOnGround = true;
    std::uint32_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(nearestStandAirport(at((i % 20) * 60.0 + 5.0, (i % 25) * 60.0 + 1.0 + (i % 2))));
        ++i;
    }
    userOnGround = false;
    clearStands();
}
BENCHMARK(BM_NearestStandAirport);

}  // namespace
