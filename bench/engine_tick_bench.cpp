#include <benchmark/benchmark.h>

#include <vector>

#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/scheduling.h"
#include "support/engine_harness.h"

// The engine's per-tick step with hundreds of aircraft, and the merge of one
// large traffic answer. Goals: a tick with 500 active and 100 buffered aircraft
// well under 100 us; a batch of 1,000 records merged into 1,000 live aircraft
// under 5 ms.

namespace {

constexpr double lf_lat = 52.3, lf_lon = 4.76;

TrafficRecord lf_record(std::uint32_t id, double north, double time, double track)
{
    TrafficRecord r;
    r.aircraftId = id;
    r.airline = "KLM";
    r.type = "B738";
    r.callsign = "KLM" + std::to_string(id % 100000);
    r.registration = "PH-" + std::to_string(id % 1000);
    r.origin = "EGLL";
    r.destination = "EHAM";
    r.lat = lf_lat + north;
    r.lon = lf_lon + 0.0001 * static_cast<double>(id % 1000);
    r.altitude = 5000;
    r.groundSpeed = 250;
    r.speed = 260;
    r.track = track;
    r.airborne = true;
    r.time = time;
    return r;
}

// The engine driven as the tests drive it (no log, no trace kept), with the
// bench's one type known.
struct EngineBench {
    EngineBench() : harness(lf_options()) { harness.liveries.knownTypes = {"B738"}; }
    static ScenarioOptions lf_options()
    {
        ScenarioOptions o;
        o.keepTrace = false;
        o.openLog = false;
        return o;
    }
    EngineHarness harness;
};

// A live aircraft made from a record, in the given state.
LiveAc& lf_addAircraft(const TrafficRecord& r, SimState state, std::uint32_t objectId)
{
    liveAircraft.push_back(newLiveAc(positionSampleFromTraffic(r), acIdentityFromTraffic(r), r.time));
    LiveAc& ac = liveAircraft.back();
    ac.aircraftId = r.aircraftId;
    ac.simState = state;
    ac.objectId = objectId;
    return ac;
}

void BM_handleAddingStack(benchmark::State& state)
{
    EngineBench bench;
    const int active = static_cast<int>(state.range(0));
    const int buffered = static_cast<int>(state.range(1));
    // 200 samples 100 s apart: 2 million ticks, longer than any run (the count
    // of active aircraft at the end shows that they all still flew).
    constexpr int samples = 200, spacing = 10000;
    for (int i = 0; i < active; ++i) {
        TrafficRecord r = lf_record(0x400000 + i, 0.001 * i, 1.7e9, 0);
        LiveAc& ac = lf_addAircraft(r, SimState::active, 100 + i);
        ac.phase = AcPhase::flying;
        ac.posBlock.latitude = r.lat;
        ac.posBlock.longitude = r.lon;
        ac.posBlock.altitude = r.altitude;
        ac.samples.clear();
        for (int k = 1; k <= samples; ++k) {
            // 250 kt for 100 s: 6.9 nm north each sample.
            PositionSample s = positionSampleFromTraffic(lf_record(r.aircraftId, 0.001 * i + 0.1157 * k, 1.7e9, 0));
            s.dueTick = k * spacing;
            ac.samples.push_back(s);
        }
    }
    for (int i = 0; i < buffered; ++i) {
        // Due far ahead: each waits for its lead time every tick.
        TrafficRecord r = lf_record(0x500000 + i, -0.001 * i, 1.7e9, 90);
        LiveAc& ac = lf_addAircraft(r, SimState::buffer, 0);
        PositionSample s = ac.samples.front();
        s.dueTick = 100'000'000;
        ac.samples.front() = s;
        s.dueTick += 100;
        ac.samples.push_back(s);
    }
    for (auto _ : state) {
        lf_handleAddingStack();
        benchmark::ClobberMemory();
    }
    std::size_t stillActive = 0;
    for (const LiveAc& ac : liveAircraft) stillActive += ac.simState == SimState::active;
    state.counters["active"] = static_cast<double>(stillActive);
}
BENCHMARK(BM_handleAddingStack)->Args({500, 100})->Unit(benchmark::kMicrosecond);

void BM_mergeBatch(benchmark::State& state)
{
    EngineBench bench;
    const int n = static_cast<int>(state.range(0));
    std::vector<TrafficRecord> batch;
    for (int i = 0; i < n; ++i) {
        lf_addAircraft(lf_record(0x400000 + i, 0.001 * i, 1.7e9, 0), SimState::buffer, 0);
        // 2 s later, 5 degrees off the track: kept by every plausibility test.
        batch.push_back(lf_record(0x400000 + i, 0.001 * i + 0.0023, 1.7e9 + 2, 5));
    }
    std::vector<TrafficRecord> records;
    for (auto _ : state) {
        state.PauseTiming();
        for (LiveAc& ac : liveAircraft) {
            ac.samples.resize(1);
            ac.lastSampleTime = 1.7e9;
        }
        records = batch;
        state.ResumeTiming();
        for (TrafficRecord& r : records) lf_mergeTrafficRecord(r);
        benchmark::ClobberMemory();
    }
    std::size_t queued = 0;
    for (const LiveAc& ac : liveAircraft) queued += ac.samples.size();
    state.counters["samplesPerAircraft"] = static_cast<double>(queued) / n;  // 2: every record was merged
    state.counters["liveAcBytes"] = static_cast<double>(sizeof(LiveAc));
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_mergeBatch)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace
