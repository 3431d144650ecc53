#include <benchmark/benchmark.h>

#include <cstdint>
#include <mutex>
#include <random>
#include <vector>

#include "cold_caches.h"
#include "core/geodesy.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/motion.h"
#include "engine/scheduling.h"
#include "simlink/sim_queues.h"
#include "support/engine_harness.h"
#include "support/motion_fleet.h"

// The engine's per-tick step with hundreds of aircraft, and the merge of one
// large traffic answer. Goals: a tick with 500 active and 100 buffered aircraft
// well under 100 us; a batch of 1,000 records merged into 1,000 live aircraft
// under 5 ms.
//
// BM_busyTick is the tick the program pays for: a busy scene's mix (waiting in
// the buffer, flying, landing, taxiing, parked) with the caches made cold
// between ticks, as the 10 ms sleep between two ticks leaves them while the
// simulator and other processes run; two traffic records are merged a tick,
// as while an answer is taken from the adding stack. The warm row (0) is for
// comparison.

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

// The busy scene: 500 records, as the program holds them with about 480 aircraft
// live around a busy airport. Samples fall due every 5 s, staggered.
constexpr int lf_waiting = 100, lf_flying = 100, lf_landing = 80, lf_taxiing = 100, lf_parked = 100,
              lf_climbing = 20;
constexpr std::int32_t lf_sampleTicks = 500;
constexpr int lf_busySamples = 48;  // 24,000 ticks: longer than the benchmark runs

LiveAc lf_busyBase(int i, AcCategory category)
{
    LiveAc ac = motionFleetAircraft(static_cast<std::size_t>(i), category);
    ac.registration = "PH-" + std::to_string(1000 + i);
    return ac;
}

// A straight or bending path of samples from `at`, the first due at `due`.
void lf_busyPath(LiveAc& ac, LatLon at, double heading, double speed, double altitude, double climbFtMin,
                 std::int32_t due, double bend)
{
    for (int k = 0; k < lf_busySamples; ++k) {
        PositionSample s = positionSampleAt(at, speed, due + k * lf_sampleTicks, altitude, altitude > 0);
        s.verticalRate = climbFtMin;
        s.track = heading;
        ac.samples.push_back(s);
        heading += k % 2 == 0 ? bend : -bend;
        at = destinationPoint(at, heading * geo::degToRad, speed * lf_sampleTicks / 360000.0 * geo::feetPerNm);
        altitude = std::max(0.0, altitude + climbFtMin * lf_sampleTicks / 6000.0);
    }
    ac.posBlock.latitude = ac.samples.front().latitude;
    ac.posBlock.longitude = ac.samples.front().longitude;
    ac.posBlock.altitude = ac.samples.front().altitude;
    ac.posBlock.heading = heading * geo::degToRad;
}

void lf_buildBusyScene(std::int32_t tick)
{
    liveAircraft.clear();
    int i = 0;
    const auto place = [](int n) { return LatLon{52.0 + 0.004 * (n % 100), 4.5 + 0.004 * (n / 100)}; };
    const auto stagger = [tick](int n) { return tick + 1 + (n * 37) % lf_sampleTicks; };
    for (int n = 0; n < lf_waiting; ++n, ++i) {
        // Known to the engine, due after the run: each looks at its lead time every tick.
        LiveAc ac = lf_busyBase(i, AcCategory::Large);
        ac.simState = SimState::buffer;
        ac.objectId = 0;
        lf_busyPath(ac, place(i), 180, 200, 3000, -700, tick + 100'000 + n * 50, 0);
        liveAircraft.push_back(std::move(ac));
    }
    for (int n = 0; n < lf_flying; ++n, ++i) {
        LiveAc ac = lf_busyBase(i, AcCategory::Large);
        ac.phase = AcPhase::flying;
        ac.highAltLights = true;
        lf_busyPath(ac, place(i), 90 + n, 280, 12000, -500, stagger(i), 0);
        liveAircraft.push_back(std::move(ac));
    }
    for (int n = 0; n < lf_landing; ++n, ++i) {
        LiveAc ac = lf_busyBase(i, AcCategory::Large);
        ac.phase = AcPhase::flying;
        ac.landing = true;
        ac.heightAboveGround = 1500.0;
        ac.lowAltLights = true;
        lf_busyPath(ac, place(i), 183, 150, 2500, -700, stagger(i), 0);
        liveAircraft.push_back(std::move(ac));
    }
    for (int n = 0; n < lf_taxiing; ++n, ++i) {
        // Taxiing along bends: ground rolls along curves.
        LiveAc ac = lf_busyBase(i, AcCategory::Large);
        ac.phase = AcPhase::taxi;
        ac.prevPhase = AcPhase::pushed_back;
        ac.groundReplySeen = true;
        ac.heightAboveGround = 0.0;
        lf_busyPath(ac, place(i), 90, 15, 0, 0, stagger(i), 40);
        liveAircraft.push_back(std::move(ac));
    }
    for (int n = 0; n < lf_parked; ++n, ++i) {
        // At a stand: one standing sample, the next a week away.
        LiveAc ac = lf_busyBase(i, AcCategory::Large);
        ac.phase = AcPhase::parked;
        ac.prevPhase = AcPhase::parking;
        ac.groundReplySeen = true;
        ac.heightAboveGround = 0.0;
        PositionSample s = positionSampleAt(place(i), 0, tick + 1'000'000, 0, false);
        s.stationary = true;
        ac.samples.push_back(s);
        ac.posBlock.latitude = s.latitude;
        ac.posBlock.longitude = s.longitude;
        liveAircraft.push_back(std::move(ac));
    }
    for (int n = 0; n < lf_climbing; ++n, ++i) {
        LiveAc ac = lf_busyBase(i, AcCategory::Heavy);
        ac.phase = AcPhase::take_off;
        ac.takeOffRoll = true;
        ac.altStep = 0.4;
        ac.heightAboveGround = 500.0;
        ac.lowAltLights = true;
        lf_busyPath(ac, place(i), 3, 160, 500, 1500, stagger(i), 0);
        liveAircraft.push_back(std::move(ac));
    }
}

// Two records a tick for aircraft of the scene, as a traffic answer is merged
// from the adding stack: each one 5 s after the aircraft's last, where it was.
void lf_feedRecords(std::mt19937& random)
{
    std::lock_guard lock(addingMutex);
    for (int k = 0; k < 2; ++k) {
        const LiveAc& ac = liveAircraft[random() % liveAircraft.size()];
        if (ac.samples.empty()) continue;
        const PositionSample& last = ac.samples.back();
        TrafficRecord r;
        r.aircraftId = ac.aircraftId;
        r.callsign = ac.callsign;
        r.type = ac.type;
        r.lat = last.latitude;
        r.lon = last.longitude;
        r.altitude = last.altitude;
        r.groundSpeed = last.groundSpeed;
        r.speed = last.speed;
        r.track = last.track;
        r.airborne = last.airborne;
        r.time = ac.lastSampleTime + 5.0;
        r.dueTick = last.dueTick + lf_sampleTicks;
        addingStack.push_back(std::move(r));
    }
}

void BM_busyTick(benchmark::State& state)
{
    EngineBench bench;
    const bool cold = state.range(0) != 0;
    lf_buildBusyScene(tickCounter.load());
    std::mt19937 random(26);
    lf_feedRecords(random);
    for (auto _ : state) {
        lf_handleAddingStack();
        benchmark::ClobberMemory();
        state.PauseTiming();
        // What the simulator's frame does on its own thread; then the sleep.
        flushSimQueues();
        lf_feedRecords(random);
        if (cold) coolCaches();
        state.ResumeTiming();
    }
    std::size_t active = 0, buffered = 0;
    for (const LiveAc& ac : liveAircraft) {
        active += ac.simState == SimState::active;
        buffered += ac.simState == SimState::buffer;
    }
    state.counters["active"] = static_cast<double>(active);
    state.counters["buffered"] = static_cast<double>(buffered);
}
BENCHMARK(BM_busyTick)->Arg(1)->Iterations(2000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_busyTick)->Arg(0)->Iterations(20000)->Unit(benchmark::kMicrosecond);

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
