#include "engine/static_placement.h"

#include <gtest/gtest.h>

#include "core/run_state.h"
#include "core/time.h"
#include "engine/ac_records.h"
#include "engine/slot_records.h"
#include "engine/timed_queues.h"
#include "support/engine_harness.h"

namespace {

Stand lf_stand(const std::string& name, double lat, double lon)
{
    return Stand(name, {}, lat, lon, 1.0, 20.0, {});
}

class StaticPlacementTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::vector<Stand> v{lf_stand("A1", 52.30, 4.76), lf_stand("A2", 52.3003, 4.76), lf_stand("B1", 52.31, 4.76)};
        for (std::size_t i = 0; i < v.size(); ++i) v[i].sid = static_cast<std::uint32_t>(i + 1);
        v[0].conflictingStands = {2};
        v[1].conflictingStands = {1};
        v[2].cargo = true;
        replaceStands(std::move(v));
        h.liveries.titles["KLM B738"] = "KLM 737";
        h.liveries.titles["MPH B744"] = "MPH 747F";
        currentSlotAndWeekday = packSlotAndWeekday(1, 1);
        staticIdCounter = 0;
    }
    static ParkingSelection select(std::uint32_t standId, std::string flightA, std::string flightB = {},
                                   bool preferA = true, std::int32_t window = 0)
    {
        return ParkingSelection{0x4840aa, 1, standId, window, "KLM", "B738", std::move(flightA), std::move(flightB),
                                "PH-BXA", preferA};
    }
    EngineHarness h;
};

TEST_F(StaticPlacementTest, PlacesFromTheBackWithItsCreation)
{
    parkingSelections = {select(3, "KLM1"), select(1, "KLM2", {}, true, 3)};
    placeStaticAircraft();
    ASSERT_EQ(staticAircraft.size(), 1u);
    const SimAc& st = staticAircraft[0];
    EXPECT_EQ(st.callsign, "KLM2*");
    EXPECT_EQ(st.standId, 1u);
    EXPECT_EQ(st.aircraftId, 1u);
    EXPECT_EQ(st.simState, SimState::adding2sim);
    EXPECT_EQ(st.linkedAircraftId, 0x4840aau);
    EXPECT_EQ(st.source, 1u);
    // Slot 1 of Monday aged 3 half hours: slot 46 of Sunday.
    EXPECT_EQ(st.birthDay, 7u);
    EXPECT_EQ(st.birthSlot, 46u);
    EXPECT_EQ(st.coupledCs, "KLM2");
    ASSERT_EQ(staticCreationQueue.size(), 1u);
    const AcCreation& c = staticCreationQueue.front();
    EXPECT_EQ(c.callsign, "KLM2*");
    EXPECT_EQ(c.liveryTitle, "KLM 737");
    EXPECT_EQ(c.aircraftId, 1u);
    EXPECT_DOUBLE_EQ(c.initPosition.Latitude, 52.30);
    EXPECT_DOUBLE_EQ(c.initPosition.Heading, 57.29577951308232);
    EXPECT_EQ(c.initPosition.OnGround, 1u);
    EXPECT_EQ(c.initPosition.Altitude, 0.0);
    EXPECT_EQ(parkingSelections.size(), 1u);
}

// A static takes the model kind of its livery as a live aircraft does.
TEST_F(StaticPlacementTest, TheFsltlFlagComesWithTheLivery)
{
    std::uint32_t standId = 1;
    for (const std::string& title : {std::string("KLM 737"), std::string("FSLTL_B738_KLM")}) {
        SCOPED_TRACE(title);
        staticAircraft.clear();
        h.liveries.titles["KLM B738"] = title;
        parkingSelections = {select(standId, "KLM2")};
        standId = 3;
        placeStaticAircraft();
        ASSERT_EQ(staticAircraft.size(), 1u);
        EXPECT_EQ(staticAircraft[0].fsltlModel, title.rfind("FSLTL_", 0) == 0);
    }
}

TEST_F(StaticPlacementTest, CallsignTable)
{
    struct Row {
        const char* name;
        std::string flightA;
        std::string flightB;
        bool preferA;
        std::string callsign;
    };
    const Row rows[] = {
        {"flight A empty: airline, star, id", "", "KLM9", false, "KLM*1"},
        {"trailing underscores go", "KLM12__", "", true, "KLM12*"},
        {"already starred", "KLM12*", "", true, "KLM12*"},
        {"flight B preferred", "KLM12", "KLM34", false, "KLM34*"},
        {"prefer A with A empty: B", "", "KLM34", true, "KLM*1"},
        {"prefer B with B empty: A", "KLM12", "", false, "KLM12*"},
        {"only underscores: no flight", "___", "", true, "KLM*1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        staticAircraft.clear();
        clearTimedQueues();
        staticIdCounter = 0;
        parkingSelections = {select(3, row.flightA, row.flightB, row.preferA)};
        placeStaticAircraft();
        ASSERT_EQ(staticAircraft.size(), 1u);
        EXPECT_EQ(staticAircraft[0].callsign, row.callsign);
    }
    ParkingSelection p = select(3, "", "");
    EXPECT_EQ(lf_detcs(p), "");
    EXPECT_EQ(lf_staticCallsign(""), "*");
}

TEST_F(StaticPlacementTest, BlockedStandsDropTheSelection)
{
    struct Row {
        const char* name;
        bool live;
        AcPhase phase;
        SimState state;
        std::uint32_t standId;
        bool blocked;
    };
    const Row rows[] = {
        {"live parked on the stand", true, AcPhase::parked, SimState::active, 1, true},
        {"live parking on the neighbour", true, AcPhase::parking, SimState::active, 2, true},
        {"live taxiing on the stand", true, AcPhase::taxi, SimState::active, 1, false},
        {"live parked elsewhere", true, AcPhase::parked, SimState::active, 3, false},
        {"static being added on the stand", false, AcPhase::birth, SimState::adding2sim, 1, true},
        {"static being removed on the neighbour", false, AcPhase::birth, SimState::removingfromsim, 2, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        liveAircraft.clear();
        staticAircraft.clear();
        clearTimedQueues();
        if (row.live) {
            LiveAc a;
            a.aircraftId = 0x500000;
            a.callsign = "DLH1";
            a.phase = row.phase;
            a.simState = row.state;
            a.standId = row.standId;
            liveAircraft.push_back(a);
        } else {
            SimAc s;
            s.aircraftId = 77;
            s.callsign = "AFR1*";
            s.simState = row.state;
            s.standId = row.standId;
            staticAircraft.push_back(s);
        }
        parkingSelections = {select(1, "KLM2")};
        placeStaticAircraft();
        EXPECT_TRUE(parkingSelections.empty());
        EXPECT_EQ(staticCreationQueue.size(), row.blocked ? 0u : 1u);
    }
}

TEST_F(StaticPlacementTest, NoLiveryOrNoStandCreatesNothing)
{
    ParkingSelection p = select(3, "AFR7");
    p.airline = "AFR";  // no title for AFR B738
    parkingSelections = {p, select(99, "KLM5")};
    placeStaticAircraft();  // stand 99: none
    placeStaticAircraft();  // no livery
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_TRUE(staticCreationQueue.empty());
    EXPECT_TRUE(parkingSelections.empty());
}

TEST_F(StaticPlacementTest, IdsRunToNineThousandNineHundredNinetyNineThenZero)
{
    staticIdCounter = 9998;
    parkingSelections = {select(3, "KLM2"), select(1, "KLM1")};
    placeStaticAircraft();
    placeStaticAircraft();
    ASSERT_EQ(staticAircraft.size(), 2u);
    EXPECT_EQ(staticAircraft[0].aircraftId, 9999u);
    EXPECT_EQ(staticAircraft[1].aircraftId, 0u);
}

TEST_F(StaticPlacementTest, ACreationThatDoesNotFitIsDroppedAtPlacement)
{
    h.liveries.titles["KLM B738"] = std::string(300, 'T');
    parkingSelections = {select(1, "KLM1")};
    placeStaticAircraft();
    EXPECT_TRUE(staticAircraft.empty());
    EXPECT_TRUE(staticCreationQueue.empty());
}

TEST_F(StaticPlacementTest, TimedQueuesPlaceInFiftyTickSlotsOrRightAfterAStaticCreation)
{
    parkingSelections = {select(3, "KLM2"), select(1, "KLM1")};
    h.tick(1);  // tick 0: a 50-tick slot
    EXPECT_EQ(staticAircraft.size(), 1u);
    h.tick(1);  // tick 1: the run's first creation goes at once, then the next placement
    EXPECT_EQ(staticAircraft.size(), 2u);
    AcCreation live;
    live.callsign = "DLH1";
    live.aircraftId = 0x500000;
    liveCreationQueue.push_back(live);
    h.tick(49);  // ticks 2..50: no creation before 50 ticks after the last
    EXPECT_EQ(staticCreationQueue.size(), 1u);
    EXPECT_EQ(liveCreationQueue.size(), 1u);
    h.tick(1);  // tick 51: the live creation goes first, the static one waits
    EXPECT_TRUE(liveCreationQueue.empty());
    EXPECT_EQ(staticCreationQueue.size(), 1u);
    h.tick(50);  // tick 101: then the static one
    EXPECT_TRUE(staticCreationQueue.empty());
}

}  // namespace
