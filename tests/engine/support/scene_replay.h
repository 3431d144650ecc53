#pragma once
// The service stand-in's scene replayed into the engine against the test world,
// tick by tick on the virtual clock, as the program is served it: the buffered
// start (five answers 6 s apart), then a live answer every 2 to 3 s (seeded).
// For the benchmark of the scene's walk and the tests that compare two runs.
// Header-only: it needs the engine demo's scene services (vrmt_enginedemo).
//
// TraceDigest folds what a tick handed to the simulator layer (creations,
// removals, client events, position blocks, bit for bit) into a 64-bit FNV-1a.

#include <cstdint>
#include <random>
#include <string>

#include "scene.h"
#include "scene_services.h"
#include "support/airport_scenario.h"
#include "support/sim_world.h"

class TraceDigest {
public:
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

    std::uint64_t h_ = 0xcbf29ce484222325ull;
};

class SceneReplay {
public:
    static constexpr double start = 1'700'000'000.0;

    static ScenarioOptions options(std::int32_t maxLiveSel)
    {
        ScenarioOptions o = scenarioAtAirport(eham());
        o.maxLiveSel = maxLiveSel;
        o.rangeNm = 40;
        o.openLog = false;
        return o;
    }

    SceneReplay(int perRole, std::int32_t maxLiveSel)
        : harness(options(maxLiveSel)), scene_(standin::SceneAirport{}, perRole, [this] { return now_; })
    {
        world.setUser(userStateAt(eham()), true);
        harness.afterFlush = [this] { world.answer(); };
        for (int k = 4; k >= 0; --k) harness.handOver(answer(start - 6.0 * k), 6 * (4 - k));
        nextAnswer_ = 200 + static_cast<int>(pace_() % 101);
    }

    // One tick: the answer due by now, then the engine's tick.
    void tick()
    {
        now_ = start + static_cast<double>(tick_) / 100.0;
        if (tick_ == nextAnswer_) {
            harness.handOver(answer(now_), 30);
            nextAnswer_ += 200 + static_cast<int>(pace_() % 101);
        }
        harness.tick(1);
        ++tick_;
    }
    int ticks() const { return tick_; }

    EngineHarness harness;
    SceneLiveries liveries;  // the scene's types, categories and titles
    SimWorld world;

private:
    static const ParkAirportInfo& eham()
    {
        static const ParkAirportInfo park{"EHAM", "AMS", 52.3086, 4.7639, -11.0};
        return park;
    }
    nlohmann::json answer(double t) const { return scene_.liveData(t, 90, -90, -180, 180); }

    double now_ = start;
    const standin::Scene scene_;
    std::mt19937 pace_{7};
    int tick_ = 0;
    int nextAnswer_ = 0;
};
