// Spawning: when a buffered aircraft is created, waits, loses a sample or is
// dropped, the hold for the user aircraft, and what spawnLiveAc sets up.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>

#include "core/options.h"
#include "engine/adding_stack.h"
#include "engine/spawn.h"
#include "engine/timed_queues.h"
#include "engine_records.h"
#include "support/engine_harness.h"

namespace {

constexpr double kDeg = 0.017453292519943295;

enum class Outcome { spawned, waits, popped, dropped };

const char* outcomeText(Outcome o)
{
    switch (o) {
    case Outcome::spawned: return "spawned";
    case Outcome::waits: return "waits";
    case Outcome::popped: return "popped";
    case Outcome::dropped: return "dropped";
    }
    return "?";
}

struct Scene {
    explicit Scene(ScenarioOptions o = {}) : h(std::move(o))
    {
        h.liveries.titles["KLM B738"] = "KLM 737";
        h.liveries.titles["PVT B738"] = "PVT 737";
        h.liveries.titles["TRA B738"] = "TRA 737";
    }
    // Runs lf_spawnPath on the record at `tick` and says what happened.
    Outcome spawnAt(LiveAc& ac, std::int32_t tick)
    {
        tickCounter = tick;
        const std::size_t before = ac.samples.size();
        lf_spawnPath(ac);
        if (ac.removedInBuffer) return Outcome::dropped;
        if (ac.simState == SimState::adding2sim) return Outcome::spawned;
        return ac.samples.size() < before ? Outcome::popped : Outcome::waits;
    }
    EngineHarness h;
};

LiveAc twoSampleAc(double altitude, double groundSpeed, std::int32_t due = 1000)
{
    return liveRecord(0x484000, "KLM123",
                      {sampleAt(52.3, 4.8, due, altitude, groundSpeed), sampleAt(52.3, 4.81, due + 500, altitude, groundSpeed)});
}

TEST(SpawnPath, LeadTicks)
{
    struct Row {
        const char* name;
        double altitude;
        double groundSpeed;
        std::int32_t lead;
    };
    const std::vector<Row> rows = {
        {"ground, moving: 300", 0, 12, 300},
        {"ground, standing: 100", 0, 0, 100},
        {"airborne: 100", 9000, 250, 100},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scene s;
        liveAircraft.push_back(twoSampleAc(row.altitude, row.groundSpeed));
        EXPECT_EQ(outcomeText(s.spawnAt(liveAircraft[0], 1000 - row.lead - 1)), std::string("waits"));
        EXPECT_EQ(outcomeText(s.spawnAt(liveAircraft[0], 1000 - row.lead)), std::string("spawned"));
        EXPECT_EQ(liveAircraft[0].phase, row.altitude > 0 ? AcPhase::flying : AcPhase::taxi);
        EXPECT_EQ(liveInSimCount, 1);
        EXPECT_EQ(pendingCreationIds, std::vector<std::uint32_t>{0x484000});
    }
}

TEST(SpawnPath, Steps)
{
    struct Row {
        const char* name;
        std::function<void(Scene&, LiveAc&)> setup;
        Outcome outcome;
        std::function<void(Scene&, const LiveAc&)> check;
    };
    const std::vector<Row> rows = {
        {"a base case is created", nullptr, Outcome::spawned, nullptr},
        {"empty queue", [](Scene&, LiveAc& a) { a.samples.clear(); }, Outcome::dropped, nullptr},
        {"one sample at its due time", [](Scene&, LiveAc& a) { a.samples.pop_back(); }, Outcome::dropped, nullptr},
        {"mixed airborne and ground samples lose the front",
         [](Scene&, LiveAc& a) { a.samples.push_back(sampleAt(52.3, 4.82, 2000, 0, 20)); }, Outcome::popped,
         [](Scene&, const LiveAc& a) { EXPECT_EQ(a.samples.size(), 2u); }},
        {"11 queued creations: a newborn loses a sample",
         [](Scene&, LiveAc& a) {
             a.samples.push_back(sampleAt(52.3, 4.82, 2000));
             for (int i = 0; i < 11; ++i) lf_pushCreation(liveCreationQueue, AcCreation{{}, "X", "T", 0x400000u + i});
         },
         Outcome::popped, nullptr},
        {"10 queued creations: created",
         [](Scene&, LiveAc&) {
             for (int i = 0; i < 10; ++i) lf_pushCreation(liveCreationQueue, AcCreation{{}, "X", "T", 0x400000u + i});
         },
         Outcome::spawned, nullptr},
        {"MAX_LIVE_SEL 0", [](Scene&, LiveAc&) { MAX_LIVE_SEL.set(0); }, Outcome::dropped, nullptr},
        {"at the cap, none farther: dropped",
         [](Scene&, LiveAc&) {
             MAX_LIVE_SEL.set(1);
             liveInSimCount = 1;
         },
         Outcome::dropped,
         [](Scene& s, const LiveAc&) { EXPECT_EQ(s.h.airports.calls.count("removeFarthestLive"), 1u); }},
        {"at the cap, a farther one removed: created",
         [](Scene&, LiveAc&) {
             MAX_LIVE_SEL.set(1);
             LiveAc far = twoSampleAc(9000, 250);
             far.aircraftId = 0x484999;
             far.callsign = "FAR1";
             far.simState = SimState::active;
             far.objectId = 50;
             far.posBlock.latitude = 53.3;
             far.posBlock.longitude = 4.8;
             liveAircraft.push_back(far);
             liveInSimCount = 1;
         },
         Outcome::spawned,
         [](Scene&, const LiveAc&) {
             EXPECT_EQ(findLive(0x484999)->simState, SimState::removingfromsim);
             EXPECT_EQ(liveInSimCount, 1);
         }},
        {"BLOCK_CALLSIGN", [](Scene&, LiveAc&) { BLOCK_CALLSIGN.set("KLM123"); }, Outcome::dropped, nullptr},
        {"nine-character callsign", [](Scene&, LiveAc& a) { a.callsign = "KLM123456"; }, Outcome::dropped, nullptr},
        {"eight-character callsign", [](Scene&, LiveAc& a) { a.callsign = "KLM12345"; }, Outcome::spawned, nullptr},
        {"@@@@@@@@", [](Scene&, LiveAc& a) { a.callsign = "@@@@@@@@"; }, Outcome::dropped, nullptr},
        {"empty callsign without a database record",
         [](Scene&, LiveAc& a) { a.callsign.clear(); }, Outcome::dropped, nullptr},
        {"empty callsign with a database record: the registration",
         [](Scene& s, LiveAc& a) {
             a.callsign.clear();
             s.h.liveries.dbase["PH-BXA"] = {"PH-BXA", "KLM", "B738", "", true};
         },
         Outcome::spawned,
         [](Scene&, const LiveAc& a) {
             EXPECT_EQ(a.callsign, "PH-BXA");
             EXPECT_TRUE(a.cargo);
         }},
        {"database operator is the airline",
         [](Scene& s, LiveAc& a) {
             a.airline = "XXX";
             s.h.liveries.dbase["PH-BXA"] = {"PH-BXA", "KLM", "B738", "TRA", false};
         },
         Outcome::spawned, [](Scene&, const LiveAc& a) { EXPECT_EQ(a.airline, "TRA"); }},
        {"airline from the callsign", [](Scene&, LiveAc& a) { a.airline.clear(); }, Outcome::spawned,
         [](Scene&, const LiveAc& a) { EXPECT_EQ(a.airline, "KLM"); }},
        {"no airline: PVT",
         [](Scene&, LiveAc& a) {
             a.airline.clear();
             a.callsign = "PHABC";
         },
         Outcome::spawned, [](Scene&, const LiveAc& a) { EXPECT_EQ(a.airline, "PVT"); }},
        {"an unmatched key", [](Scene&, LiveAc& a) { UnmatchedLiveKeys.insert(acTypeRegText(a)); }, Outcome::dropped,
         nullptr},
        {"a ghost whose base lives",
         [](Scene&, LiveAc& a) {
             a.callsign = "KLM123_";
             LiveAc base = twoSampleAc(9000, 250, 90000);
             base.aircraftId = 0x484111;
             liveAircraft.push_back(base);
         },
         Outcome::dropped, nullptr},
        {"a ghost whose base is being removed",
         [](Scene&, LiveAc& a) {
             a.callsign = "KLM123_";
             LiveAc base = twoSampleAc(9000, 250, 90000);
             base.aircraftId = 0x484111;
             base.simState = SimState::removingfromsim;
             liveAircraft.push_back(base);
         },
         Outcome::spawned, nullptr},
        {"a ghost already removed once",
         [](Scene&, LiveAc& a) {
             a.callsign = "KLM123_";
             GhostCallsigns.push_back("KLM123_");
         },
         Outcome::dropped, nullptr},
        {"no livery: the key is kept and the aircraft dropped",
         [](Scene& s, LiveAc&) { s.h.liveries.titles.clear(); }, Outcome::dropped,
         [](Scene&, const LiveAc& a) { EXPECT_EQ(UnmatchedLiveKeys.count(acTypeRegText(a)), 1u); }},
        {"no livery, no registration: no key",
         [](Scene& s, LiveAc& a) {
             s.h.liveries.titles.clear();
             a.registration.clear();
         },
         Outcome::dropped, [](Scene&, const LiveAc&) { EXPECT_TRUE(UnmatchedLiveKeys.empty()); }},
        {"the remembered title first",
         [](Scene& s, LiveAc&) { s.h.liveries.rememberTitle(0x484000, "FSLTL_B738_KLM"); }, Outcome::spawned,
         [](Scene& s, const LiveAc& a) {
             EXPECT_EQ(a.liveryTitle, "FSLTL_B738_KLM");
             EXPECT_TRUE(a.fsltlModel);
             EXPECT_EQ(s.h.liveries.calls.count("match"), 0u);
         }},
        {"a matched title is remembered", nullptr, Outcome::spawned,
         [](Scene& s, const LiveAc& a) { EXPECT_EQ(s.h.liveries.lookupTitleById(a.aircraftId), "KLM 737"); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scene s;
        liveAircraft.push_back(twoSampleAc(9000, 250));
        if (row.setup) row.setup(s, liveAircraft[0]);
        EXPECT_EQ(outcomeText(s.spawnAt(liveAircraft[0], 900)), std::string(outcomeText(row.outcome)));
        if (row.check) row.check(s, liveAircraft[0]);
    }
}

TEST(HoldForUser, Table)
{
    struct Row {
        const char* name;
        bool userOnGround;
        LatLon user;
        double userAltitude;
        double userHeightAboveGround;
        double userHeading;
        double userSpeed;
        PositionSample front;
        bool sticky;
        bool held;
        bool stickyAfter;
    };
    const LatLon at{52.30, 4.80};
    // 0.01 degrees of latitude is 0.6 nm.
    const std::vector<Row> rows = {
        {"ground: a ground sample 100 m away", true, {52.3009, 4.80}, 0, 0, 0, 0, sampleAt(52.30, 4.80, 0, 0, 0), false,
         true, false},
        {"ground: 200 m away", true, {52.3018, 4.80}, 0, 0, 0, 0, sampleAt(52.30, 4.80, 0, 0, 0), false, false, false},
        {"ground: an airborne sample close by", true, at, 0, 0, 0, 0, sampleAt(52.30, 4.80, 0, 3000, 200), false, false,
         false},
        {"ground, sticky: user faster than 8 kt", true, {52.4, 4.8}, 0, 0, 0, 9, sampleAt(52.30, 4.80, 0, 3000, 200),
         true, true, true},
        {"ground, sticky: ground sample within 500 m", true, {52.304, 4.80}, 0, 0, 0, 0, sampleAt(52.30, 4.80, 0, 0, 0),
         true, true, true},
        {"ground, sticky: ground sample moving 9 kt", true, {52.4, 4.80}, 0, 0, 0, 0, sampleAt(52.30, 4.80, 0, 0, 9),
         true, true, true},
        {"ground, sticky: far and slow", true, {52.4, 4.80}, 0, 0, 0, 0, sampleAt(52.30, 4.80, 0, 0, 5), true, false,
         true},
        {"air: airborne sample ahead on its own track line", false, {52.25, 4.80}, 9000, 9000, 0, 250,
         sampleAt(52.30, 4.80, 0, 10000, 250, 0.0), false, true, true},
        {"air: airborne sample crossing far to the side", false, {52.25, 4.80}, 9000, 9000, 0, 250,
         sampleAt(52.30, 4.80, 0, 10000, 250, 90.0), false, false, false},
        {"air: 3000 ft apart", false, {52.25, 4.80}, 13000, 13000, 0, 250, sampleAt(52.30, 4.80, 0, 10000, 250, 0.0),
         false, false, false},
        {"air: beyond 6 nm", false, {52.19, 4.80}, 9000, 9000, 0, 250, sampleAt(52.30, 4.80, 0, 10000, 250, 0.0), false,
         false, false},
        {"air: a ground sample ahead, user low", false, {52.29, 4.80}, 800, 800, 0, 140, sampleAt(52.30, 4.80, 0, 0, 0),
         false, true, true},
        {"air: a ground sample ahead, user high", false, {52.29, 4.80}, 1200, 1200, 0, 140,
         sampleAt(52.30, 4.80, 0, 0, 0), false, false, false},
        {"air: a ground sample abeam", false, {52.29, 4.80}, 800, 800, 90 * kDeg, 140, sampleAt(52.30, 4.80, 0, 0, 0),
         false, false, false},
        {"air, sticky: out of both cases", false, {51.0, 4.80}, 9000, 9000, 0, 250,
         sampleAt(52.30, 4.80, 0, 10000, 250, 0.0), true, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EngineHarness h({.collisionUserAir = true, .collisionUserGnd = true});
        h.setUser(row.user, row.userAltitude, row.userHeightAboveGround, row.userHeading, row.userSpeed,
                  row.userOnGround);
        LiveAc a = liveRecord(0x484000, "KLM1", {row.front, row.front});
        a.holdForUser = row.sticky;
        EXPECT_EQ(lf_holdForUserAc(a), row.held);
        EXPECT_EQ(a.samples.size(), row.held ? 1u : 2u);
        EXPECT_EQ(a.holdForUser, row.stickyAfter);
    }
}

TEST(HoldForUser, SwitchedOffOptionsHoldNothing)
{
    EngineHarness h;  // both collision options off
    h.setUser({52.3009, 4.80}, 0, 0, 0, 0, true);
    LiveAc a = liveRecord(0x484000, "KLM1", {sampleAt(52.30, 4.80, 0, 0, 0), sampleAt(52.30, 4.80, 0, 0, 0)});
    EXPECT_FALSE(lf_holdForUserAc(a));
    h.setUser({52.25, 4.80}, 9000, 9000, 0, 250, false);
    LiveAc b = liveRecord(0x484000, "KLM1", {sampleAt(52.30, 4.80, 0, 10000, 250, 0.0), sampleAt(52.3, 4.8, 0)});
    EXPECT_FALSE(lf_holdForUserAc(b));
}

TEST(SpawnLiveAc, InitialAttitude)
{
    struct Row {
        const char* name;
        std::function<void(LiveAc&)> setup;
        double pitchDeg;
        double headingDeg;
    };
    const std::vector<Row> rows = {
        {"level flight: 3 degrees nose up", nullptr, -3.0, 90.0},
        {"climbing 1200 ft/min", [](LiveAc& a) { a.samples[0].verticalRate = 1200; }, -7.4, 90.0},
        {"climbing beyond 2400 is clamped", [](LiveAc& a) { a.samples[0].verticalRate = 5000; }, -11.8, 90.0},
        {"descending 1200 is halved", [](LiveAc& a) { a.samples[0].verticalRate = -1200; }, -0.8, 90.0},
        {"descending beyond 3000 is clamped", [](LiveAc& a) { a.samples[0].verticalRate = -9000; }, 2.5, 90.0},
        {"on the ground", [](LiveAc& a) {
             for (auto& s : a.samples) {
                 s.altitude = 0;
                 s.airborne = false;
             }
         },
         0.6, 90.0},
        {"a standing second sample: the track",
         [](LiveAc& a) {
             a.samples[1].latitude = a.samples[0].latitude;
             a.samples[1].longitude = a.samples[0].longitude;
             a.samples[1].stationary = true;
             a.samples[0].track = 270;
         },
         -3.0, 270.0},
        {"the heading kept over a livery respawn", [](LiveAc& a) { a.respawnHeading = -10 * kDeg; }, -3.0, 350.0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Scene s;
        liveAircraft.push_back(twoSampleAc(9000, 250));
        LiveAc& a = liveAircraft[0];
        a.samples[0].bank = -0.1;
        if (row.setup) row.setup(a);
        spawnLiveAc(a);
        ASSERT_EQ(a.simState, SimState::adding2sim);
        EXPECT_NEAR(a.posBlock.pitch, row.pitchDeg * kDeg, 1e-9);
        EXPECT_NEAR(a.posBlock.heading, row.headingDeg * kDeg, 0.01);
        EXPECT_EQ(a.posBlock.bank, -0.1);
        EXPECT_EQ(a.headingStep, 0.0);
        EXPECT_EQ(a.posBlock.verticalSpeed, a.samples[0].verticalRate);
        EXPECT_EQ(IdentityCheckQueue.back(), a.aircraftId);
        EXPECT_FALSE(a.holdForUser);
    }
}

TEST(SpawnLiveAc, StandingMarksAndTooFewSamples)
{
    Scene s;
    liveAircraft.push_back(liveRecord(0x484000, "KLM1",
                                      {sampleAt(52.3, 4.8, 100, 0, 3), sampleAt(52.3, 4.8, 200, 0, 4),
                                       sampleAt(52.3, 4.8, 300, 0, 5)}));
    LiveAc& a = liveAircraft[0];
    a.samples[1].stationary = true;
    a.samples[2].stationary = true;
    spawnLiveAc(a);
    EXPECT_TRUE(a.samples[0].stationary);
    EXPECT_EQ(a.samples[0].groundSpeed, 0);
    EXPECT_EQ(a.samples[1].groundSpeed, 0);
    EXPECT_EQ(a.samples[2].groundSpeed, 0);

    LiveAc one = liveRecord(0x484001, "KLM2", {sampleAt(52.3, 4.8, 100)});
    spawnLiveAc(one);
    EXPECT_EQ(one.simState, SimState::buffer);
    EXPECT_NE(s.h.logText().find("===> spawnLiveAc sz:1"), std::string::npos);
}

TEST(Ghosts, BaseExists)
{
    EngineHarness h;
    EXPECT_FALSE(lf_ghostBaseExists(""));
    EXPECT_FALSE(lf_ghostBaseExists("_"));
    liveAircraft.push_back(liveRecord(0x484000, "KLM1", {}));
    EXPECT_TRUE(lf_ghostBaseExists("KLM1_"));
    EXPECT_FALSE(lf_ghostBaseExists("KLM1"));
    liveAircraft[0].simState = SimState::removingfromsim;
    EXPECT_FALSE(lf_ghostBaseExists("KLM1_"));
}

TEST(UnmatchedKeys, Fnv1a64)
{
    EXPECT_EQ(FnvHash{}(""), static_cast<std::size_t>(0xcbf29ce484222325ull));
    EXPECT_EQ(FnvHash{}("a"), static_cast<std::size_t>(0xaf63dc4c8601ec8cull));
}

}  // namespace

namespace {

// Creations still on their way to the simulator count against MAX_LIVE_SEL: with
// one creation every 50 ticks and 200 ticks to become active, the limit holds
// at every tick, the farthest active aircraft making way for nearer ones.
TEST(SpawnPath, TheLiveLimitHoldsAtSaturation)
{
    EngineHarness h({.maxLiveSel = 3});
    h.liveries.titles["KLM B738"] = "KLM 737";
    // Ten aircraft, each nearer to the user than the one before, due 60 ticks apart.
    for (std::uint32_t i = 0; i < 10; ++i) {
        const double lat = 52.30 + 0.5 - 0.04 * i;
        const std::int32_t due = 200 + 60 * static_cast<std::int32_t>(i);
        liveAircraft.push_back(liveRecord(0x484000 + i, vr::format("KLM{}", i),
                                          {sampleAt(lat, 4.76, due), sampleAt(lat, 4.77, due + 50000)}));
    }
    std::uint32_t nextObject = 100;
    int worst = 0;
    int removedForRoom = 0;
    for (int t = 0; t < 1500; ++t) {
        h.tick(1);
        for (const AcCreation& c : h.trace().back().creations) h.reply({nextObject++, c.aircraftId, 0, replyLiveCreated, 0, 0});
        for (std::uint32_t obj : h.trace().back().removals) {
            h.reply({obj, 0, 0, replyRemoved, 0, 0});
            ++removedForRoom;
        }
        const int inSim = static_cast<int>(std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const LiveAc& a) {
            return (a.simState == SimState::adding2sim || a.simState == SimState::active) && !a.removedInBuffer &&
                   !a.removedWhileQueued;
        }));
        worst = std::max(worst, inSim);
        ASSERT_LE(inSim, 3) << "tick " << t;
    }
    EXPECT_EQ(worst, 3);
    EXPECT_GT(removedForRoom, 0) << "nearer aircraft replaced farther ones";
}

}  // namespace
