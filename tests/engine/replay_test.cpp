// Ten minutes of the service stand-in's scene replayed into the engine, tick by
// tick, against the test world: the buffered start, then a live answer every 2
// to 3 seconds, then silence until everything is gone. Every tick must keep the
// engine's pacing and limits, every object must move no faster than its samples
// say, and a flight plan must exist exactly while its object does. Once with
// room for ten aircraft, once for a hundred, and a shorter run in which the
// simulator refuses one livery.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "core/geodesy.h"
#include "core/options.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/flight_plans.h"
#include "engine/scheduling.h"
#include "engine/sim_replies.h"
#include "engine/timed_queues.h"
#include "scene.h"
#include "scene_services.h"
#include "simlink/sim_queues.h"
#include "support/airport_scenario.h"
#include "support/sim_world.h"

namespace {

constexpr double start = 1'700'000'000.0;
constexpr int ticksPerSecond = 100;
constexpr int drainLimitTicks = 30'000;
constexpr double fastestManoeuvreKt = 5.0;  // the largest manoeuvreSpeed of the categories

const ParkAirportInfo eham{"EHAM", "AMS", 52.3086, 4.7639, -11.0};

// What the checks remember of one object between ticks.
struct Track {
    LatLon at;
    std::int32_t tick = 0;
    std::int32_t frontDue = 0;  // the front sample when last seen (its due tick) ...
    double frontGs = 0;         // ... and its ground speed
    double legGs = 0;           // the larger ground speed of the two samples of the leg under way
    double perTick = 0;         // nm a tick of the step that led here
};

struct ReplayStats {
    std::size_t creations = 0, removals = 0, positions = 0, plnSeen = 0;
    std::size_t mostInSim = 0, mostObjects = 0;
};

const LiveAc* lf_byObject(std::uint32_t objectId)
{
    const auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                 [&](const LiveAc& a) { return a.objectId == objectId; });
    return it == liveAircraft.end() ? nullptr : &*it;
}

// The checks of one tick, on its trace and the engine's state after it.
class ReplayChecks {
public:
    explicit ReplayChecks(std::size_t maxLive) : maxLive_(maxLive) {}

    void onTick(const TickTrace& t)
    {
        for (const AcCreation& c : t.creations) {
            ++stats.creations;
            EXPECT_GE(t.tick - lastCreation_, 50) << "creation of " << c.callsign << " at tick " << t.tick;
            EXPECT_LE(c.callsign.size(), 8u) << c.callsign;
            EXPECT_FALSE(c.callsign.empty());
            lastCreation_ = t.tick;
        }
        for (const std::uint32_t id : t.removals) {
            ++stats.removals;
            EXPECT_GE(t.tick - lastRemoval_, 10) << "removal of " << id << " at tick " << t.tick;
            lastRemoval_ = t.tick;
        }
        std::size_t inSim = 0;
        for (const LiveAc& a : liveAircraft) {
            inSim += a.simState == SimState::adding2sim || a.simState == SimState::active;
        }
        stats.mostInSim = std::max(stats.mostInSim, inSim);
        EXPECT_LE(inSim, maxLive_) << "tick " << t.tick;
        for (const QueuedPosition& p : t.positions) checkStep(t.tick, p);
        checkFlightPlans(t);
    }

    // At a flush: the world holds no more than the limit and the removals under way.
    void onFlush(const SimWorld& world, std::int32_t tick)
    {
        std::size_t removing = 0;
        for (const LiveAc& a : liveAircraft) removing += a.simState == SimState::removingfromsim;
        const std::size_t objects = world.objectCount();
        stats.mostObjects = std::max(stats.mostObjects, objects);
        EXPECT_LE(objects, maxLive_ + removing) << "tick " << tick;
    }

    ReplayStats stats;

private:
    // The step between two position blocks of one object stays within 1.5 x the
    // larger ground speed of the samples it moves between (a small constant for
    // rounding; at least the fastest manoeuvring speed, with which ground
    // movement may push back or drive into a stand whatever the samples say).
    // On the ground the speed changes by a bounded step, so an object slowing
    // down may stay faster than its samples for a while, never faster than it was.
    void checkStep(std::int32_t tick, const QueuedPosition& p)
    {
        ++stats.positions;
        const LiveAc* ac = lf_byObject(p.objectId);
        ASSERT_NE(ac, nullptr) << "positions for object " << p.objectId << " without a record";
        Track next;
        next.at = {p.block.latitude, p.block.longitude};
        next.tick = tick;
        next.frontDue = ac->samples.empty() ? 0 : ac->samples.front().dueTick;
        next.frontGs = ac->samples.empty() ? 0.0 : ac->samples.front().groundSpeed;
        next.legGs = next.frontGs;
        const auto it = tracks_.find(p.objectId);
        if (it != tracks_.end()) {
            const Track& last = it->second;
            // A new front sample: the leg runs from the previous front to it.
            next.legGs = last.frontDue == next.frontDue ? std::max(last.legGs, next.frontGs)
                                                        : std::max(last.frontGs, next.frontGs);
            const double ticks = tick - last.tick;
            const double gs = std::max({next.legGs, last.legGs, fastestManoeuvreKt});
            // Or what reaching the front sample by its due tick takes: the motion
            // catches up with a late stream inside its re-timing window (a leg
            // lasts 25 ticks at least; a ground curve runs up to about twice its chord).
            double catchUp = 0.0;
            if (!ac->samples.empty()) {
                const PositionSample& front = ac->samples.front();
                catchUp = 2.5 * distanceNm(last.at, {front.latitude, front.longitude}) /
                          std::max<double>(static_cast<double>(front.dueTick) - last.tick, 1.0);
            }
            const double slowing = ac->groundReplySeen ? last.perTick : 0.0;
            const double bound = (std::max({1.5 * gs / 360000.0, catchUp, slowing}) + 1e-6) * ticks;
            const double moved = distanceNm(last.at, next.at);
            EXPECT_LE(moved, bound) << ac->callsign << " object " << p.objectId << " at tick " << tick << ", " << gs
                                    << " kt, the step before " << last.perTick << " nm a tick";
            next.perTick = ticks > 0 ? moved / ticks : last.perTick;
        }
        tracks_[p.objectId] = next;
    }

    // A ".pln" for exactly the objects with origin and destination that the
    // engine knows (from their creation reply to their removal reply).
    void checkFlightPlans(const TickTrace& t)
    {
        expected_.clear();
        for (const LiveAc& a : liveAircraft) {
            if (a.objectId != 0 && !a.origin.empty() && !a.destination.empty())
                expected_.push_back(std::to_string(a.objectId) + ".pln");
        }
        std::sort(expected_.begin(), expected_.end());
        EXPECT_EQ(t.plnFiles, expected_) << "tick " << t.tick;  // both sorted
        stats.plnSeen = std::max(stats.plnSeen, t.plnFiles.size());
    }

    std::size_t maxLive_;
    std::int32_t lastCreation_ = -1000;
    std::int32_t lastRemoval_ = -1000;
    std::map<std::uint32_t, Track> tracks_;
    std::vector<std::string> expected_;
};

struct Row {
    const char* name;
    std::int32_t maxLiveSel;
    std::size_t leastCreations;  // the scene is larger than 10: removals make room
    const char* refusedTitle;    // the simulator cannot create this livery (or nullptr)
    int seconds;                 // of live answers
};

TEST(Replay, TenMinutesOfTheSceneKeepEveryInvariantAndDrainToNothing)
{
    const Row rows[] = {
        {"room for ten", 10, 20, nullptr, 600},
        {"room for a hundred", 100, 20, nullptr, 600},
        {"one livery the simulator refuses", 100, 10, "AFR A332 (stand-in)", 180},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScenarioOptions o = scenarioAtAirport(eham);
        o.maxLiveSel = row.maxLiveSel;
        o.rangeNm = 40;
        o.watchPlnFiles = true;
        EngineHarness h(o);
        // An aircraft whose stream ends while it taxis holds its place up to
        // this long before it goes: short enough for the drain.
        MAX_HOLDING_MINUTES.set(1);
        SceneLiveries liveries;  // the scene's types, categories and titles
        SimWorld world;
        world.setUser(userStateAt(eham), true);
        if (row.refusedTitle) world.refuseTitle(row.refusedTitle);

        double now = start;
        standin::SceneAirport airport;
        const standin::Scene scene(airport, 4, [&now] { return now; });
        const auto answer = [&](double t) { return scene.liveData(t, 90, -90, -180, 180); };

        ReplayChecks checks(static_cast<std::size_t>(row.maxLiveSel));
        std::size_t refusedTitleHanded = 0;         // creations wearing the refused title
        std::map<std::uint32_t, std::int32_t> refusedTitleSpawns;  // aircraft id -> the tick it got the title
        std::int32_t firstRefusal = -1;
        h.onTick = [&](const TickTrace& t) {
            checks.onTick(t);
            if (!row.refusedTitle) return;
            for (const AcCreation& c : t.creations) refusedTitleHanded += c.liveryTitle == row.refusedTitle;
            for (const LiveAc& a : liveAircraft) {
                if (a.simState == SimState::adding2sim && a.liveryTitle == row.refusedTitle)
                    refusedTitleSpawns.emplace(a.aircraftId, t.tick);
            }
        };
        h.afterFlush = [&] {
            world.answer();
            checks.onFlush(world, tickCounter.load());
            if (firstRefusal < 0 && !world.events().empty() && world.events().back().kind == WorldEvent::refused)
                firstRefusal = tickCounter.load();
        };

        // The buffered start: five answers 6 s apart, the oldest first.
        for (int k = 4; k >= 0; --k) h.handOver(answer(start - 6.0 * k), 6 * (4 - k));
        std::mt19937 pace(7);
        int nextAnswer = 200 + static_cast<int>(pace() % 101);
        for (int tick = 0; tick < row.seconds * ticksPerSecond; ++tick) {
            now = start + static_cast<double>(tick) / ticksPerSecond;
            if (tick == nextAnswer) {
                h.handOver(answer(now), 30);
                nextAnswer += 200 + static_cast<int>(pace() % 101);
            }
            h.tick(1);
            if (::testing::Test::HasFailure()) break;
        }
        // Silence: everything drains.
        int drained = 0;
        while (drained < drainLimitTicks && (!liveAircraft.empty() || world.objectCount() > 0)) {
            h.tick(2);
            drained += 2;
            if (::testing::Test::HasFailure()) break;
        }
        h.tick(20);  // the last removal replies

        EXPECT_TRUE(liveAircraft.empty()) << liveAircraft.size() << " aircraft left";
        EXPECT_EQ(world.objectCount(), 0u);
        EXPECT_TRUE(createdObjects.empty());
        EXPECT_TRUE(pendingCreationIds.empty());
        EXPECT_TRUE(liveCreationQueue.empty());
        EXPECT_TRUE(removalDeque.empty());
        EXPECT_TRUE(creationsInFlight.empty());
        {
            std::lock_guard lock(addingMutex);
            EXPECT_TRUE(addingStack.empty());
            EXPECT_TRUE(bufferedRecords.empty());
        }
        {
            std::lock_guard lock(simQueueMutex);
            EXPECT_TRUE(creationQueue.empty());
            EXPECT_TRUE(removalQueue.empty());
        }
        EXPECT_TRUE(std::filesystem::is_empty(flightPlanFolder()));
        EXPECT_EQ(world.strayPositionWrites(), 0u);

        const ReplayStats& s = checks.stats;
        EXPECT_GE(s.creations, row.leastCreations);
        EXPECT_GE(s.removals, s.creations / 2);
        if (row.refusedTitle) {
            // Blocked at the first refusal: no aircraft spawned after it wears the
            // title; only those already on their way are refused too.
            ASSERT_GE(firstRefusal, 0);
            EXPECT_TRUE(liveries.isBlockedTitle(row.refusedTitle));
            for (const auto& [id, t] : refusedTitleSpawns) EXPECT_LE(t, firstRefusal) << id;
            std::size_t refused = 0;
            for (const WorldEvent& e : world.events()) refused += e.kind == WorldEvent::refused;
            EXPECT_EQ(refused, refusedTitleHanded);
            EXPECT_GT(refused, 0u);
        }
        EXPECT_GT(s.positions, 1'000u * static_cast<std::size_t>(row.seconds) / 60);
        EXPECT_GT(s.plnSeen, 0u);
        if (row.maxLiveSel == 10) {
            EXPECT_EQ(s.mostInSim, 10u);  // the limit was reached and held
        }
        std::printf("%s: %zu creations, %zu removals, at most %zu in the simulator, %d ticks to drain\n", row.name,
                    s.creations, s.removals, s.mostInSim, drained);
    }
}

}  // namespace
