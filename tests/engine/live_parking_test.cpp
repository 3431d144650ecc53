// Parking of live aircraft: the search for a stand while taxiing, the wanted
// parked count, the review of long-parked aircraft and the mean parking time.
// Minutes parked run on the virtual wall clock.

#include <gtest/gtest.h>

#include <string>

#include "core/options.h"
#include "engine/live_parking.h"
#include "engine/motion.h"
#include "engine/stand_search.h"
#include "stand_airport.h"

using namespace standtest;

namespace {

constexpr std::int64_t minute100ns = 600000000;

bool removing(const SimAc& ac)
{
    return ac.simState == SimState::removingfromsim;
}

// A live aircraft parked at a stand `minutes` ago on the virtual wall clock.
LiveAc parkedFor(std::uint32_t id, const std::string& callsign, std::uint32_t standId, std::int64_t minutes,
                 const std::string& type = "B738")
{
    LiveAc ac = liveAc(id, callsign, type, AcPhase::parked, standId);
    ac.parkedSince = wallTime100ns() - minutes * minute100ns;
    return ac;
}

}  // namespace

TEST(LiveParking, ReviewRemovesTheLongParkedAndListsTheRest)
{
    struct Row {
        const char* name;
        std::string type;
        std::int64_t minutes;
        bool reported;
        bool initialLoadOnly;
        bool removed;
        std::uint32_t listed;  // minutes in the list when kept
    };
    const Row rows[] = {
        {"Heavy at 150 min stays", "B744", 150, false, false, false, 150},
        {"Heavy at 181 min goes", "B744", 181, false, false, true, 0},
        {"Large at 150 min goes", "B738", 150, false, false, true, 0},
        {"Large at 90 min stays", "B738", 90, false, false, false, 90},
        {"reported at its stand: 0 minutes, never by time", "B738", 500, true, false, false, 0},
        {"INITIAL_LOAD_ONLY removes nobody", "B738", 500, false, true, false, 500},
        {"a wall clock set back counts 0", "B738", -30, false, false, false, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        INITIAL_LOAD_ONLY.set(r.initialLoadOnly);
        liveAircraft.push_back(parkedFor(0x480001, "KLM1", A1, 20));
        LiveAc ac = parkedFor(0x480002, "KLM2", A2, r.minutes, r.type);
        ac.standReported = r.reported;
        liveAircraft.push_back(ac);
        lf_reviewLiveParked();
        EXPECT_FALSE(removing(liveAircraft[0]));
        EXPECT_EQ(removing(liveAircraft[1]), r.removed);
        ASSERT_EQ(liveParkedList.size(), r.removed ? 1u : 2u);
        if (!r.removed) {
            // Smallest first.
            const LiveParkedEntry& e = r.listed < 20 ? liveParkedList[0] : liveParkedList[1];
            EXPECT_EQ(e.callsign, "KLM2");
            EXPECT_EQ(e.standId, A2);
            EXPECT_EQ(e.minutes, r.listed);
        }
    }
}

TEST(LiveParking, EnforceMaxParkRemovesTheLongestParkedAndTheOldestStatic)
{
    struct Row {
        const char* name;
        std::uint32_t extra;
        bool parkTrafficOnly, initialLoadOnly;
        SimState oldestStatic;
        bool liveRemoved, staticRemoved;
    };
    const Row rows[] = {
        // Ten stands at 30 %: three wanted; three live parked.
        {"one about to park: the longest parked goes", 1, false, false, SimState::active, true, true},
        {"exactly the wanted count: nobody live", 0, false, false, SimState::active, false, true},
        {"RT_PARKTRAFFIC_ONLY: nothing", 1, true, false, SimState::active, false, false},
        {"INITIAL_LOAD_ONLY: no live aircraft", 1, false, true, SimState::active, false, true},
        {"the oldest static already going: nothing more", 1, false, false, SimState::removingfromsim, true, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        RT_PARKTRAFFIC_ONLY.set(r.parkTrafficOnly);
        INITIAL_LOAD_ONLY.set(r.initialLoadOnly);
        liveAircraft.push_back(parkedFor(0x480001, "KLM1", A1, 30));
        liveAircraft.push_back(parkedFor(0x480002, "KLM2", A2, 60));
        liveAircraft.push_back(parkedFor(0x480003, "KLM3", A3, 10));
        SimAc young = staticAc(1, "S1*", C1);
        young.birthDay = 3;
        young.birthSlot = 2;
        SimAc old = staticAc(2, "S2*", B1, "B738", r.oldestStatic);
        old.birthDay = 2;
        old.birthSlot = 40;
        staticAircraft = {young, old};
        enforceMaxPark(r.extra);
        EXPECT_FALSE(removing(liveAircraft[0]));
        EXPECT_EQ(removing(liveAircraft[1]), r.liveRemoved);
        EXPECT_FALSE(removing(liveAircraft[2]));
        EXPECT_FALSE(removing(staticAircraft[0]));
        if (r.oldestStatic == SimState::active) {
            EXPECT_EQ(removing(staticAircraft[1]), r.staticRemoved);
        }
        if (r.liveRemoved) {
            EXPECT_NE(a.h.logText().find("A2      :          KLM2     PH-KLM2 KLM B738 live max park exceeded, removed"),
                      std::string::npos)
                << a.h.logText();
        }
    }
}

TEST(LiveParking, RemoveLiveParkedTakesTheLongestFirst)
{
    StandAirport a;
    liveAircraft.push_back(parkedFor(0x480001, "KLM1", A1, 30));
    liveAircraft.push_back(parkedFor(0x480002, "KLM2", A2, 60));
    liveAircraft.push_back(parkedFor(0x480003, "KLM3", A3, 10));
    liveAircraft.push_back(parkedFor(0x480004, "KLM4", A3A, 90));
    liveAircraft.back().phase = AcPhase::taxi;  // not parked: never counted
    removeLiveParked(2);
    EXPECT_TRUE(removing(liveAircraft[0]));
    EXPECT_TRUE(removing(liveAircraft[1]));
    EXPECT_FALSE(removing(liveAircraft[2]));
    EXPECT_FALSE(removing(liveAircraft[3]));
    EXPECT_NE(a.h.logText().find("live parked"), std::string::npos);
    EXPECT_NE(a.h.logText().find(" at A2 removed"), std::string::npos);
}

TEST(LiveParking, MeanParkingTimeInHalfHours)
{
    struct Row {
        const char* name;
        std::uint32_t day, slot;  // now
        std::uint32_t bornDay, bornSlot;
        float mean;  // with a second aircraft born now
    };
    const Row rows[] = {
        {"two hours ago", 3, 20, 3, 16, 2.0f},
        {"yesterday", 3, 20, 2, 20, 24.0f},
        {"Sunday evening seen on Monday morning adds nothing", 1, 2, 7, 46, 0.0f},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        currentSlotAndWeekday.store(packSlotAndWeekday(static_cast<int>(r.slot), static_cast<int>(r.day)));
        LiveAc early = parkedFor(0x480001, "KLM1", A1, 0);
        early.birthDay = r.bornDay;
        early.birthSlot = r.bornSlot;
        liveAircraft.push_back(early);
        LiveAc now = parkedFor(0x480002, "KLM2", A2, 0);
        markParkedNow(now);
        EXPECT_EQ(now.birthDay, r.day);
        EXPECT_EQ(now.birthSlot, r.slot);
        liveAircraft.push_back(now);
        EXPECT_EQ(lf_averageLiveParked(true), 2u);
        EXPECT_FLOAT_EQ(statusPanel().meanLiveParkedSlots.load(), r.mean);
    }
}

class Try2Park : public testing::Test {
protected:
    // A taxiing aircraft whose newest sample lies `north` metres from A2.
    LiveAc& taxiing(double north = 5, std::uint32_t id = 0x480009, const std::string& callsign = "DLH9")
    {
        LiveAc ac = liveAc(id, callsign, "B738", AcPhase::taxi);
        const LatLon from = offset(200, 60);
        const LatLon to = offset(north, 60);
        ac.posBlock.latitude = from.lat;
        ac.posBlock.longitude = from.lon;
        PositionSample s0;
        s0.latitude = from.lat;
        s0.longitude = from.lon;
        PositionSample s1 = s0;
        s1.latitude = to.lat;
        s1.longitude = to.lon;
        s1.groundSpeed = 8;
        ac.samples = {s0, s1};
        ac.groundReplySeen = true;
        liveAircraft.push_back(ac);
        return liveAircraft.back();
    }
    StandAirport a;
};

TEST_F(Try2Park, ParksAtTheFreeStandAndClearsTheWay)
{
    liveAircraft.reserve(8);
    liveAircraft.push_back(parkedFor(0x480001, "KLM1", A2, 10));  // on the stand: goes,
    liveAircraft.back().standReported = true;                     // even when the feed reports it there
    liveAircraft.push_back(parkedFor(0x480002, "KLM2", A1, 10));  // 60 m away: stays
    staticAircraft.push_back(staticAc(1, "S1*", A2));
    LiveAc& ac = taxiing();
    try2Park(ac, false);
    EXPECT_EQ(ac.phase, AcPhase::parking);
    EXPECT_EQ(ac.prevPhase, AcPhase::taxi);
    EXPECT_EQ(ac.standId, A2);
    EXPECT_FALSE(ac.cargoLook);
    EXPECT_NEAR(ac.position.lat, standPos(A2).lat, 1e-12);
    EXPECT_TRUE(removing(liveAircraft[0]));
    EXPECT_FALSE(removing(liveAircraft[1]));
    EXPECT_TRUE(removing(staticAircraft[0])) << "the static on the stand makes way";
    EXPECT_NE(a.h.logText().find("A2      : KLM1     removed, DLH9 wants to park there"), std::string::npos);
}

// Two arrivals for one stand: the first is given it and holds it while it
// drives in; the second is sent nowhere near until the first has gone.
TEST_F(Try2Park, TwoArrivalsForOneStand)
{
    liveAircraft.reserve(8);
    LiveAc& first = taxiing(5, 0x480009, "DLH9");
    LiveAc& second = taxiing(4, 0x48000A, "DLH10");
    try2Park(first, false);
    ASSERT_EQ(first.standId, A2);
    EXPECT_TRUE(findStandById(A2)->occupied);
    try2Park(second, false);
    EXPECT_EQ(second.standId, 0u);
    EXPECT_EQ(second.phase, AcPhase::taxi);
    EXPECT_FALSE(removing(first)) << "a parked aircraft makes way; an arriving one keeps its stand";
    // The first at its stand parks: its own mark does not send it away.
    first.samples.clear();
    first.posBlock.latitude = standPos(A2).lat;
    first.posBlock.longitude = standPos(A2).lon;
    lf_arriveAtStand(first);
    EXPECT_EQ(first.phase, AcPhase::parked);
    EXPECT_FALSE(removing(first));
    // It goes: the stand is free for the second.
    removeAircraftFromSim(first);
    EXPECT_FALSE(findStandById(A2)->occupied);
    second.samples.back().latitude += 1e-7;
    try2Park(second, false);
    EXPECT_EQ(second.standId, A2);
    EXPECT_EQ(findStandById(A2)->occupiedBy, 0x48000Au);
}

// A mark whose holder has gone without a removal (or has another stand now) blocks nothing.
TEST_F(Try2Park, AMarkWithoutItsHolderBlocksNothing)
{
    for (const bool holderLeft : {true, false}) {
        SCOPED_TRACE(holderLeft ? "holder erased" : "holder at another stand");
        liveAircraft.clear();
        liveAircraft.reserve(8);
        if (!holderLeft) liveAircraft.push_back(liveAc(0x480100, "KLM100", "B738", AcPhase::parking, A1));
        Stand& a2 = *findStandById(A2);
        a2.occupied = true;
        a2.occupiedBy = 0x480100;
        LiveAc& ac = taxiing();
        try2Park(ac, false);
        EXPECT_EQ(ac.standId, A2);
    }
}

TEST_F(Try2Park, RefusedStandsAndOneSearchAPosition)
{
    struct Row {
        const char* name;
        std::string reserved;
        LatLon user;
        bool parks;
    };
    const Row rows[] = {
        {"free", "", offset(-3000, 0), true},
        {"the reserved stand", "A2", offset(-3000, 0), false},
        {"the user's stand", "", offset(3, 60), false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        liveAircraft.clear();
        a.h.airports.reservedStand = r.reserved;
        a.h.setUser(r.user, 0, 0, 0, 0, true);
        LiveAc& ac = taxiing();
        try2Park(ac, false);
        EXPECT_EQ(ac.phase == AcPhase::parking, r.parks);
    }
    // Nothing within 20 m: a second call at the same newest position does not search again.
    liveAircraft.clear();
    a.h.airports.reservedStand.clear();
    a.h.setUser(offset(-3000, 0), 0, 0, 0, 0, true);
    LiveAc& ac = taxiing(30);
    try2Park(ac, false);
    EXPECT_EQ(ac.phase, AcPhase::taxi);
    try2Park(ac, true);  // 55 m would reach A2, but the position is the same
    EXPECT_EQ(ac.phase, AcPhase::taxi);
    ac.samples.back().latitude += 1e-7;
    try2Park(ac, true);
    EXPECT_EQ(ac.phase, AcPhase::parking);
}

TEST(LiveParking, OnAMondayMorningTheMondayBornStaticCountsAsTheOldest)
{
    StandAirport a;
    currentSlotAndWeekday.store(packSlotAndWeekday(3, 1));
    liveAircraft.push_back(parkedFor(0x480001, "KLM1", A1, 30));
    liveAircraft.push_back(parkedFor(0x480002, "KLM2", A2, 30));
    liveAircraft.push_back(parkedFor(0x480003, "KLM3", A3, 30));
    SimAc sunday = staticAc(1, "S1*", C1);
    sunday.birthDay = 7;
    sunday.birthSlot = 46;
    SimAc monday = staticAc(2, "S2*", B1);
    monday.birthDay = 1;
    monday.birthSlot = 1;
    staticAircraft = {sunday, monday};
    enforceMaxPark(0);
    EXPECT_FALSE(removing(staticAircraft[0]));
    EXPECT_TRUE(removing(staticAircraft[1]));
}

TEST(LiveParking, AnAircraftTheArrivalCheckParksIsBornNow)
{
    StandAirport a;
    currentSlotAndWeekday.store(packSlotAndWeekday(33, 5));
    LiveAc ac = liveAc(0x480001, "KLM1", "B738", AcPhase::parking, A1);
    ac.prevPhase = AcPhase::taxi;
    const LatLon here = standPos(A1);
    int i = 0;
    for (const double metres : {1.0, 4.5, 8.0, 11.5, 15.0, 18.5}) {
        PositionSample p;
        const LatLon at = offset(0, metres, here);
        p.latitude = at.lat;
        p.longitude = at.lon;
        p.groundSpeed = 2;
        p.dueTick = 100 * ++i;
        lf_arrivalCheck(ac, p);
    }
    ASSERT_EQ(ac.phase, AcPhase::parked);
    EXPECT_EQ(ac.birthDay, 5u);
    EXPECT_EQ(ac.birthSlot, 33u);
    EXPECT_GT(ac.parkedSince, 0);
}
