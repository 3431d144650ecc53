// The stand of an aircraft born standing, the learning of stand use and the
// livery respawn.

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "core/options.h"
#include "engine/adding_stack.h"
#include "engine/livery_respawn.h"
#include "engine/slot_records.h"
#include "engine/spawn.h"
#include "engine/stand_choice.h"
#include "engine/timed_queues.h"
#include "stand_airport.h"

using namespace standtest;

namespace {

PositionSample groundSample(const LatLon& at, double speed, bool stationary = false)
{
    PositionSample s;
    s.latitude = at.lat;
    s.longitude = at.lon;
    s.groundSpeed = speed;
    s.stationary = stationary;
    s.track = 90;
    return s;
}

// A newborn in the buffer whose samples are given.
LiveAc newborn(std::initializer_list<PositionSample> samples, const std::string& callsign = "DLH9")
{
    LiveAc ac = liveAc(0x480009, callsign, "B738", AcPhase::birth);
    ac.simState = SimState::buffer;
    ac.objectId = 0;
    for (const PositionSample& s : samples) ac.samples.push_back(s);
    return ac;
}

bool removing(const SimAc& ac)
{
    return ac.simState == SimState::removingfromsim;
}

}  // namespace

TEST(StandChoice, AircraftBornOnTheGround)
{
    struct Row {
        const char* name;
        std::function<LiveAc()> make;
        std::function<void(StandAirport&)> setup;
        std::string want;  // "" none
        bool removedInBuffer;
    };
    const LatLon a2 = offset(0, 60);
    const Row rows[] = {
        {"standing at A2", [&] { return newborn({groundSample(a2, 0, true), groundSample(a2, 0, true)}); }, nullptr,
         "A2", false},
        {"6 nm from the park airport",
         [] {
             const LatLon far = offset(6 * 1852, 0);
             return newborn({groundSample(far, 0, true), groundSample(far, 0, true)});
         },
         [](StandAirport& a) {
             std::vector<Stand> v = airportStands();
             v[0].latitude = offset(6 * 1852, 0).lat;
             a.useStands(v);
         },
         "", false},
        {"rolling at 6 kt",
         [&] { return newborn({groundSample(offset(0, 30), 6), groundSample(offset(0, 40), 6), groundSample(a2, 6)}); },
         nullptr, "", false},
        {"5 kt, the last sample 30 m on: the stand nearest the last sample",
         [&] {
             return newborn({groundSample(offset(0, 90), 5), groundSample(offset(0, 80), 5),
                             groundSample(offset(0, 60), 2)});
         },
         nullptr, "A2", false},
        {"5 kt, the last sample 40 m on: none",
         [&] { return newborn({groundSample(offset(0, 100), 5), groundSample(offset(0, 80), 5), groundSample(a2, 2)}); },
         nullptr, "", false},
        {"the user's stand: none, and the aircraft is created (taxis)",
         [&] { return newborn({groundSample(a2, 0, true), groundSample(a2, 0, true)}); },
         [&](StandAirport& a) { a.h.setUser(offset(3, 60), 0, 0, 0, 0, true); }, "", false},
        {"the reserved stand: none",
         [&] { return newborn({groundSample(a2, 0, true), groundSample(a2, 0, true)}); },
         [](StandAirport& a) { a.h.airports.reservedStand = "A2"; }, "", false},
        {"held by an aircraft the feed reports there: not created",
         [&] { return newborn({groundSample(a2, 0, true), groundSample(a2, 0, true)}); },
         [](StandAirport&) {
             LiveAc o = liveAc(0x480001, "KLM1", "B738", AcPhase::parked, A2);
             o.standReported = true;
             liveAircraft.push_back(o);
         },
         "", true},
        {"a live aircraft too close on the neighbour: not created",
         [] {
             const LatLon a3 = offset(0, 120);
             return newborn({groundSample(a3, 0, true), groundSample(a3, 0, true)});
         },
         [](StandAirport&) { liveAircraft.push_back(liveAc(0x480001, "KLM1", "B738", AcPhase::parked, A3A)); }, "",
         true},
        {"no stands loaded",
         [&] { return newborn({groundSample(a2, 0, true), groundSample(a2, 0, true)}); },
         [](StandAirport& a) { a.h.airports.loaded = false; }, "", false},
        {"no park airport",
         [&] { return newborn({groundSample(a2, 0, true), groundSample(a2, 0, true)}); },
         [](StandAirport& a) { a.h.airports.park = {}; }, "", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        if (r.setup) r.setup(a);
        staticAircraft.push_back(staticAc(1, "S1*", A2));
        LiveAc ac = r.make();
        const auto stand = lf_chooseStand(ac);
        EXPECT_EQ(stand ? stand->name : "", r.want);
        EXPECT_EQ(ac.removedInBuffer, r.removedInBuffer);
        EXPECT_EQ(removing(staticAircraft[0]), r.want == "A2") << "statics on the stand make way only on success";
        if (stand) {
            EXPECT_TRUE(ac.samples.front().stationary);
            EXPECT_EQ(ac.samples.front().groundSpeed, 0.0);
        }
    }
}

TEST(StandChoice, SpawnedAtAStand)
{
    StandAirport a;
    const LatLon a2 = offset(2, 60);
    LiveAc ac = newborn({groundSample(a2, 0, true), groundSample(a2, 0, true), groundSample(a2, 0, true)});
    ac.liveryTitle = "Lufthansa 737";
    liveAircraft.push_back(ac);
    spawnLiveAc(liveAircraft[0]);
    const LiveAc& b = liveAircraft[0];
    EXPECT_EQ(b.phase, AcPhase::parked);
    EXPECT_EQ(b.standId, A2);
    EXPECT_EQ(b.simState, SimState::adding2sim);
    EXPECT_EQ(b.samples.size(), 1u);
    EXPECT_NEAR(b.samples[0].latitude, standPos(A2).lat, 1e-12);
    EXPECT_NEAR(b.samples[0].track, 1.5 * 57.29577951308232, 1e-9);
    EXPECT_NEAR(b.posBlock.heading, 1.5, 1e-12);
    EXPECT_EQ(b.birthDay, 3u) << "parked: born now";
    EXPECT_EQ(b.birthSlot, 20u);
    EXPECT_GT(b.parkedSince, 0);
    EXPECT_EQ(a.h.airports.calls.count(vr::format("addStandOption {} DLH9 false {} false", A2,
                                                  packSlotAndWeekday(20, 3))),
              1u);
    ASSERT_EQ(slotMarks.size(), 1u);
    EXPECT_NE(a.h.logText().find("A2      : DLH9     born at stand"), std::string::npos);
}

class Learning : public testing::Test {
protected:
    LiveAc vanishing(const LatLon& at = offset(300, 300), double heightFt = 800)
    {
        LiveAc ac = liveAc(0x480009, "DLH9", "B738", AcPhase::flying);
        ac.posBlock.latitude = at.lat;
        ac.posBlock.longitude = at.lon;
        ac.heightAboveGround = heightFt;
        return ac;
    }
    std::size_t learned() { return a.h.airports.calls.count("addStandOptionPT"); }
    StandAirport a;
};

TEST_F(Learning, Gates)
{
    struct Row {
        const char* name;
        std::function<void(StandAirport&, LiveAc&)> setup;
        bool departing;
        bool learns;
    };
    const Row rows[] = {
        {"low near the airport", nullptr, false, true},
        {"LEARN_SOFT off", [](StandAirport&, LiveAc&) { LEARN_SOFT.set(false); }, false, false},
        {"soft learning not allowed", [](StandAirport& a, LiveAc&) { a.h.airports.softLearning = false; }, false,
         false},
        {"no park airport", [](StandAirport& a, LiveAc&) { a.h.airports.park = {}; }, false, false},
        {"6 nm away",
         [](StandAirport&, LiveAc& ac) {
             ac.posBlock.latitude = offset(6 * 1852, 0).lat;
         },
         true, false},
        {"2500 ft up", [](StandAirport&, LiveAc& ac) { ac.heightAboveGround = 2500; }, false, false},
        {"2500 ft up but departing", [](StandAirport&, LiveAc& ac) { ac.heightAboveGround = 2500; }, true, true},
        {"with a stand", [](StandAirport&, LiveAc& ac) { ac.standId = A1; }, false, false},
        {"its registration already learned near this half hour",
         [](StandAirport& a, LiveAc&) {
             std::vector<Stand> v = airportStands();
             SlotRecord r;
             r.optionIndex = 1;
             r.reg = "PH-DLH9";
             r.weekday = 3;
             r.slots.set(21);
             v[CR - 1].options.push_back(r);
             a.useStands(v);
         },
         false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        a.h.airports.calls.clear();
        slotMarks.clear();
        LEARN_SOFT.set(true);
        a.h.airports.softLearning = true;
        a.h.airports.park = park;
        a.useStands(airportStands());
        LiveAc ac = vanishing();
        if (r.setup) r.setup(a, ac);
        lf_learnStandUse(ac, r.departing);
        ASSERT_EQ(learned(), r.learns ? 1u : 0u);
        if (r.learns) {
            const std::string call = a.h.airports.calls.get().back();
            EXPECT_NE(call.find(vr::format(" DLH9 false {} {}", packSlotAndWeekday(20, 3), !r.departing)),
                      std::string::npos)
                << call;
        }
    }
}

TEST_F(Learning, OnceInThreeHalfHours)
{
    struct Step {
        std::uint32_t slot;
        bool learns;
    };
    const Step steps[] = {{20, true}, {21, false}, {22, false}, {23, true}, {23, false}};
    for (const Step& s : steps) {
        SCOPED_TRACE(s.slot);
        a.h.airports.calls.clear();
        currentSlotAndWeekday.store(packSlotAndWeekday(static_cast<int>(s.slot), 3));
        LiveAc ac = vanishing();
        lf_learnStandUse(ac, false);
        EXPECT_EQ(learned(), s.learns ? 1u : 0u);
    }
}

TEST_F(Learning, AKnownStandIsExtendedAndARefusalTakesTheMarkBack)
{
    std::vector<Stand> v = airportStands();
    v[A3 - 1].seenSoft[0x480009] = StandSighting{1, 3, 18};
    a.useStands(v);
    LiveAc ac = vanishing();
    lf_learnStandUse(ac, true);
    ASSERT_EQ(learned(), 1u);
    EXPECT_EQ(a.h.airports.calls.get().back(),
              vr::format("addStandOptionPT {} DLH9 true {} false", A3, packSlotAndWeekday(20, 3)));
    ASSERT_EQ(slotMarks.size(), 1u);
    EXPECT_EQ(slotMarks[0].slot, 20u);
    // Seen there in this very half hour: not known, a stand is searched; refused, the mark goes.
    a.useStands(airportStands());
    slotMarks.clear();
    a.h.airports.addStandOptionResult = false;
    LiveAc other = vanishing();
    other.aircraftId = 0x480010;
    lf_learnStandUse(other, false);
    EXPECT_EQ(learned(), 2u);
    EXPECT_TRUE(slotMarks.empty());
}

TEST(LiveryRespawn, TheAircraftComesBackWhereItIs)
{
    struct Row {
        const char* name;
        AcPhase phase;
        bool atCurrentPosition;
        std::uint32_t objectId;
        std::size_t queueAfter;
    };
    const Row rows[] = {
        {"parked: the queue cut to s0, both standing", AcPhase::parked, true, 140, 2},
        {"taxiing at the current position: s0 stands", AcPhase::taxi, true, 140, 4},
        {"taxiing between samples", AcPhase::taxi, false, 140, 4},
        {"no object: only logged", AcPhase::taxi, true, 0, 4},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        tickCounter = 500;
        LiveAc ac = liveAc(0x480009, "DLH9", "B738", r.phase, A2);
        ac.objectId = r.objectId;
        ac.posBlock.heading = 2.0;
        ac.posBlock.altitude = -5;
        const LatLon here = standPos(A2);
        const LatLon s0At = r.atCurrentPosition ? here : offset(10, 60);
        ac.samples = {groundSample(s0At, 5), groundSample(offset(20, 60), 5), groundSample(offset(30, 60), 5)};
        liveAircraft.push_back(ac);
        LiveAc& b = liveAircraft[0];
        liveryRespawn(b);
        EXPECT_EQ(b.simState, SimState::liveryrespawn);
        ASSERT_TRUE(b.respawnHeading.has_value());
        EXPECT_EQ(*b.respawnHeading, 2.0);
        ASSERT_EQ(b.samples.size(), r.queueAfter);
        const PositionSample& n = b.samples[0];
        EXPECT_EQ(n.dueTick, 501);
        EXPECT_NEAR(n.latitude, here.lat, 1e-12);
        EXPECT_EQ(n.altitude, r.phase == AcPhase::parked ? 0.0 : -5.0);
        EXPECT_EQ(b.samples[1].stationary, r.atCurrentPosition);
        if (r.phase == AcPhase::parked) {
            EXPECT_TRUE(n.stationary);
            EXPECT_NEAR(b.samples[1].track, 2.0 * 57.29577951308232, 1e-9);
        }
        if (r.objectId != 0) {
            ASSERT_EQ(removalDeque.size(), 1u);
            EXPECT_EQ(removalDeque.front(), r.objectId);
        } else {
            EXPECT_TRUE(removalDeque.empty());
            EXPECT_NE(a.h.logText().find("liveryRespawn removing act"), std::string::npos);
        }
        EXPECT_FALSE(findStandById(A2)->occupied);
    }
}
