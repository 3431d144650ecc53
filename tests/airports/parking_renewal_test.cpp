#include "airports/parking_renewal.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "airports/airport_load.h"
#include "airports/stand_learning.h"
#include "core/paths.h"
#include "engine/live_parking.h"
#include "support/parking_fixture.h"

namespace {

using testing::HasSubstr;

// A live aircraft active at the position.
LiveAc lf_live(std::uint32_t id, double lat, double lon, AcPhase phase = AcPhase::flying, std::uint32_t standId = 0)
{
    LiveAc a;
    a.aircraftId = id;
    a.objectId = id - 0x400000 + 100;
    a.callsign = vr::format("L{}", id - 0x400000);
    a.simState = SimState::active;
    a.phase = phase;
    a.standId = standId;
    a.posBlock.latitude = lat;
    a.posBlock.longitude = lon;
    a.parkedSince = wallTime100ns();
    return a;
}

class ParkingRenewalTest : public ParkingFixture {
protected:
    void SetUp() override
    {
        ParkingFixture::SetUp();
        setUser(52.0, 4.0, 30000, false);
    }
    static std::size_t removing()
    {
        return static_cast<std::size_t>(std::count_if(liveAircraft.begin(), liveAircraft.end(), [](const LiveAc& a) {
            return a.simState == SimState::removingfromsim;
        }));
    }
};

TEST_F(ParkingRenewalTest, TheFarthestLiveAircraftGoesOnlyWhenClearlyFarther)
{
    EXPECT_TRUE(removeFarthestLiveAc(0.0));  // none
    liveAircraft.push_back(lf_live(0x400001, 52.0 + 10.0 / 60, 4.0));
    liveAircraft.push_back(lf_live(0x400002, 52.0 + 10.05 / 60, 4.0));
    EXPECT_FALSE(removeFarthestLiveAc(0.0));
    EXPECT_EQ(liveAircraft[0].simState, SimState::removingfromsim);
    EXPECT_EQ(liveAircraft[1].simState, SimState::active);
    EXPECT_TRUE(removeFarthestLiveAc(10.0));  // 10.05 is not beyond 10.1
}

TEST_F(ParkingRenewalTest, LoweringTheLiveLimitRemovesTheFarthest)
{
    for (std::uint32_t i = 0; i < 80; ++i) liveAircraft.push_back(lf_live(0x400001 + i, 52.0 + (1.0 + i) / 60, 4.0));
    MAX_LIVE_SEL.set(50);
    trimLiveAircraft();
    EXPECT_EQ(removing(), 30u);
    for (std::size_t i = 0; i < 80; ++i) EXPECT_EQ(liveAircraft[i].simState == SimState::removingfromsim, i >= 50) << i;
}

TEST_F(ParkingRenewalTest, MoreLiveParkedThanWanted)
{
    struct Row {
        const char* name;
        std::int32_t maxPark;
        std::size_t removed;
    };
    const Row rows[] = {{"wanted 3 of 5 parked", 3, 2}, {"wanted 0: no limit, none removed", 0, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<Stand> v;
        for (int i = 0; i < 10; ++i) v.push_back(makeStand(vr::format("A{}", i + 1), 52.30 + 0.001 * i, 4.76));
        setStands(std::move(v));
        liveAircraft.clear();
        clearTimedQueues();
        for (std::uint32_t i = 0; i < 5; ++i)
            liveAircraft.push_back(lf_live(0x400001 + i, 52.30 + 0.001 * i, 4.76, AcPhase::parked, i + 1));
        MAX_PARK_SEL.set(row.maxPark);
        parking_percentage.set(100);
        parkedRead = false;
        AppServicesFake fake;
        adjustParking(false);
        EXPECT_EQ(removing(), row.removed);
        bool said = false;
        for (const auto& m : fake.messages()) said |= m.text == "Parking adjustments: 2 more live ac than wanted";
        EXPECT_EQ(said, row.removed == 2);
    }
}

// A static stays for a selection when it is no older than the selection's
// window: its age counts across Monday 00:00 (the week wraps).
TEST_F(ParkingRenewalTest, KeepOrReplaceByAgeAcrossTheWeekWrap)
{
    struct Row {
        const char* name;
        std::uint32_t nowDay, nowSlot, bornDay, bornSlot;
        std::int32_t window;
        bool kept;
    };
    const Row rows[] = {
        {"mid-week, within the window", 3, 20, 3, 16, 4, true},
        {"mid-week, older than the window", 3, 20, 3, 15, 4, false},
        {"born Monday 00:30, now Monday 01:00", 1, 2, 1, 1, 4, true},
        {"born Sunday 23:30, now Monday 01:00", 1, 2, 7, 47, 4, true},
        {"born Sunday 22:00, now Monday 01:00", 1, 2, 7, 44, 4, false},
        {"born Monday 00:00, now Monday 00:00", 1, 0, 1, 0, 0, true},
    };
    for (const Row& row : rows) {
        for (const bool fromParkedTraffic : {false, true}) {
            SCOPED_TRACE(vr::format("{}{}", row.name, fromParkedTraffic ? ", reviewPtStatics" : ""));
            staticAircraft.clear();
            keptStatics.clear();
            staticRemovals.clear();
            parkingSelections.clear();
            currentSlotAndWeekday.store(packSlotAndWeekday(row.nowSlot, row.nowDay));
            SimAc st;
            st.aircraftId = 5;
            st.callsign = "KLM1*";
            st.standId = 1;
            st.simState = SimState::active;
            st.source = 1;
            st.birthDay = row.bornDay;
            st.birthSlot = row.bornSlot;
            staticAircraft.push_back(st);
            ParkingSelection p;
            p.standId = 1;
            p.window = row.window;
            p.flightA = "DLH2";
            parkingSelections.push_back(p);
            if (fromParkedTraffic)
                reviewPtStatics(false);
            else
                keepOrReplaceStatic(staticAircraft[0], 0);
            EXPECT_EQ(keptStatics.size(), row.kept ? 1u : 0u);
            EXPECT_EQ(parkingSelections.empty(), row.kept);
            EXPECT_EQ(staticRemovals.size(), row.kept ? 0u : 1u);
        }
    }
}

TEST_F(ParkingRenewalTest, AStaticWhoseOptionEndsNowIsSelectedAgain)
{
    // Monday 10:00; the option holds 09:00..10:00 but not 10:30.
    setStands({makeStand("A1", 52.30, 4.76, {makeOption("KLM", "B738", "PH-BXA", "KLM1", 1, {18, 19, 20})}),
               makeStand("A2", 52.31, 4.76)});
    SimAc st;
    st.aircraftId = 5;
    st.objectId = 55;
    st.callsign = "KLM1*";
    st.coupledCs = "KLM1";
    st.airline = "KLM";
    st.type = "B738";
    st.registration = "PH-BXA";
    st.standId = 1;
    st.simState = SimState::active;
    st.source = 1;
    st.birthDay = 1;
    st.birthSlot = 18;
    staticAircraft.push_back(st);
    parkedRead = false;
    parking_percentage.set(50);
    adjustParking(false);
    EXPECT_EQ(staticAircraft[0].simState, SimState::removingfromsim);
    ASSERT_EQ(parkingSelections.size(), 1u);
    EXPECT_EQ(parkingSelections[0].standId, 1u);
    EXPECT_EQ(parkingSelections[0].flightA, "KLM1");
    EXPECT_FALSE(parkingSelections[0].preferA);
    EXPECT_TRUE(mainControlsDisabled());
}

TEST_F(ParkingRenewalTest, AStaticFlyingLiveNowGoesAndTheFlushReplacesAll)
{
    const std::vector<int> morning{16, 17, 18, 19, 20, 21};
    setStands({makeStand("A1", 52.30, 4.76,
                         {makeOption("KLM", "B738", "PH-BXA", "KLM1", 1, morning),
                          makeOption("KLM", "B738", "PH-BXC", "KLM3", 1, morning)}),
               makeStand("A2", 52.31, 4.76,
                         {makeOption("KLM", "B738", "PH-BXB", "KLM2", 1, {19, 20, 21}),
                          makeOption("KLM", "B738", "PH-BXD", "KLM4", 1, morning)})});
    for (std::uint32_t i = 0; i < 2; ++i) {
        SimAc st;
        st.aircraftId = 5 + i;
        st.objectId = 55 + i;
        st.callsign = vr::format("KLM{}*", i + 1);
        st.coupledCs = vr::format("KLM{}", i + 1);
        st.airline = "KLM";
        st.type = "B738";
        st.registration = i == 0 ? "PH-BXA" : "PH-BXB";
        st.standId = i + 1;
        st.simState = SimState::active;
        st.source = 1;
        st.birthDay = 1;
        st.birthSlot = 19;
        staticAircraft.push_back(st);
    }
    parkedRead = false;
    parking_percentage.set(100);
    trafficReader().collect("KLM2", 0x400002);  // KLM2 flies live now
    adjustParking(false);
    EXPECT_EQ(staticAircraft[0].simState, SimState::active);
    EXPECT_EQ(staticAircraft[1].simState, SimState::removingfromsim);

    staticAircraft[1].simState = SimState::active;
    adjustParking(true);  // the flush
    EXPECT_EQ(staticAircraft[0].simState, SimState::removingfromsim);
    EXPECT_EQ(staticAircraft[1].simState, SimState::removingfromsim);
    // Both stands get the other aircraft of their options.
    ASSERT_EQ(parkingSelections.size(), 2u);
    std::set<std::string> flights{parkingSelections[0].flightA, parkingSelections[1].flightA};
    EXPECT_EQ(flights, (std::set<std::string>{"KLM3", "KLM4"}));
}

TEST_F(ParkingRenewalTest, FinishingSavesOnlyWhatChangedAndClearsEverything)
{
    for (bool changed : {false, true}) {
        SCOPED_TRACE(changed);
        setStands({makeStand("A1", 52.30, 4.76, {makeOption("KLM", "B738", "PH-BXA", "KLM1", 1, {20})})});
        setCurrentParkAirport({"EHAM", "AMS", 52.3, 4.76, -11});
        loadedAirport = {"archive/stock/EHAM.xml", "Schiphol", "stock", -11};
        airportFileLoaded = true;
        standUpdateCount = changed ? 1 : 0;
        parkingSelections.push_back({});
        setReservedStand("A1");
        finishStaticParking();
        EXPECT_EQ(exists(learnedStockFolder / "EHAM.xml"), changed);
        EXPECT_TRUE(stands.empty());
        EXPECT_TRUE(parkingSelections.empty());
        EXPECT_EQ(currentParkAirport().code, "");
        EXPECT_FALSE(airportFileLoaded.load());
        EXPECT_EQ(reservedStand(), "");
        EXPECT_EQ(standUpdateCount, 0u);
    }
}

}  // namespace
