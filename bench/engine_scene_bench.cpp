#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <random>

#include "cold_caches.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/motion.h"
#include "scene.h"
#include "scene_services.h"
#include "support/airport_scenario.h"
#include "support/sim_world.h"

// The walk the real scene pays: the service stand-in's scene (approaches,
// landings, taxiing, parked, push-backs and departures, each role renewing its
// flights) replayed into the engine against the test world, as
// `scripts/bench-load 120` serves it to the program. With 120 aircraft a role
// and room for 500 the live count stands at its limit: aircraft wait in the
// buffer for room, samples fall due, ground rolls run, creations and removals
// go every few ticks. Timed: the engine's step of each tick, with the caches
// made cold between ticks (the warm row, 0, for comparison). The scene first
// runs until the live count has settled.
//
// Goal: the mean cold tick under 60 us (0.6 % of one core at 100 Hz), the
// share of the 2 % the whole program may take that is the engine's.
//
// Every creation, removal, client event and position block handed to the
// simulator layer goes into a digest printed at the end: a change that is
// meant to be faster only must leave it as it was.

namespace {

constexpr double lf_start = 1'700'000'000.0;
constexpr int lf_ticksPerSecond = 100;
constexpr int lf_settleTicks = 40'000;  // creations go one each half second: 500 take 250 s
const ParkAirportInfo lf_eham{"EHAM", "AMS", 52.3086, 4.7639, -11.0};

// 64-bit FNV-1a over what the simulator layer was handed.
class Digest {
public:
    void bytes(const void* data, std::size_t n)
    {
        const auto* p = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < n; ++i) {
            h_ ^= p[i];
            h_ *= 0x100000001b3ull;
        }
    }
    template <class T>
    void value(const T& v)
    {
        bytes(&v, sizeof v);
    }
    void text(const std::string& s)
    {
        value(s.size());
        bytes(s.data(), s.size());
    }
    void tick(const TickTrace& t)
    {
        value(t.tick);
        for (const AcCreation& c : t.creations) {
            const SIMCONNECT_DATA_INITPOSITION& p = c.initPosition;
            for (double v : {p.Latitude, p.Longitude, p.Altitude, p.Pitch, p.Bank, p.Heading}) value(v);
            value(p.OnGround);
            value(p.Airspeed);
            text(c.callsign);
            text(c.liveryTitle);
            value(c.aircraftId);
        }
        for (std::uint32_t id : t.removals) value(id);
        for (const QueuedEvent& e : t.events) {
            value(e.objectId);
            value(e.eventId);
            value(e.data);
        }
        for (const QueuedPosition& p : t.positions) {
            value(p.block);
            value(p.objectId);
        }
    }
    std::uint64_t result() const { return h_; }

private:
    std::uint64_t h_ = 0xcbf29ce484222325ull;
};

void BM_sceneTick(benchmark::State& state)
{
    const int perRole = static_cast<int>(state.range(0));
    const bool cold = state.range(1) != 0;
    ScenarioOptions o = scenarioAtAirport(lf_eham);
    o.maxLiveSel = 500;
    o.rangeNm = 40;
    o.openLog = false;
    EngineHarness h(o);
    SceneLiveries liveries;  // the scene's types, categories and titles
    SimWorld world;
    world.setUser(userStateAt(lf_eham), true);

    double now = lf_start;
    const standin::Scene scene(standin::SceneAirport{}, perRole, [&now] { return now; });
    const auto answer = [&](double t) { return scene.liveData(t, 90, -90, -180, 180); };
    Digest digest;
    h.onTick = [&](const TickTrace& t) { digest.tick(t); };
    h.afterFlush = [&] { world.answer(); };

    // The buffered start: five answers 6 s apart, the oldest first; then a live
    // answer every 2 to 3 s.
    for (int k = 4; k >= 0; --k) h.handOver(answer(lf_start - 6.0 * k), 6 * (4 - k));
    std::mt19937 pace(7);
    int tick = 0;
    int nextAnswer = 200 + static_cast<int>(pace() % 101);
    const auto oneTick = [&] {
        now = lf_start + static_cast<double>(tick) / lf_ticksPerSecond;
        if (tick == nextAnswer) {
            h.handOver(answer(now), 30);
            nextAnswer += 200 + static_cast<int>(pace() % 101);
        }
        h.tick(1);
        ++tick;
    };
    while (tick < lf_settleTicks) oneTick();

    double stepSeconds = 0.0;
    h.step = [&stepSeconds] {
        const auto t0 = std::chrono::steady_clock::now();
        lf_handleAddingStack();
        stepSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    };
    std::size_t mostBuffered = 0;
    for (auto _ : state) {
        oneTick();
        state.SetIterationTime(stepSeconds);
        std::size_t buffered = 0;
        for (const LiveAc& ac : liveAircraft) buffered += ac.simState == SimState::buffer;
        mostBuffered = std::max(mostBuffered, buffered);
        if (cold) coolCaches();
    }
    std::size_t active = 0, rolling = 0;
    for (const LiveAc& ac : liveAircraft) {
        active += ac.simState == SimState::active;
        rolling += ac.simState == SimState::active && lf_rollsOnGround(ac);
    }
    state.counters["active"] = static_cast<double>(active);
    state.counters["rolling"] = static_cast<double>(rolling);
    state.counters["mostBuffered"] = static_cast<double>(mostBuffered);
    std::fprintf(stderr, "scene %d a role, %s: digest %016llx after %d ticks\n", perRole, cold ? "cold" : "warm",
                 static_cast<unsigned long long>(digest.result()), tick);
}
BENCHMARK(BM_sceneTick)->Args({120, 1})->Iterations(3000)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_sceneTick)->Args({120, 0})->Iterations(3000)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
