#include "airports/static_parking.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "core/options.h"
#include "airports/stand_learning.h"
#include "engine/stand_search.h"
#include "traffic_service/traffic_reader.h"
#include "support/parking_fixture.h"

namespace {

using testing::HasSubstr;

// Twenty stands 110 m apart (no neighbours), A1..A20.
std::vector<Stand> lf_row(int n, const std::function<std::vector<SlotRecord>(int)>& options)
{
    std::vector<Stand> v;
    for (int i = 0; i < n; ++i) v.push_back(makeStand("A" + std::to_string(i + 1), 52.30 + 0.001 * i, 4.76, options(i)));
    return v;
}

ParkedTrafficRecord lf_parked(std::uint32_t id, const std::string& callsign, double lat, std::int32_t age)
{
    ParkedTrafficRecord r;
    r.airline = "KLM";
    r.type = "B738";
    r.callsign = callsign;
    r.registration = "PH-" + callsign;
    r.lat = lat;
    r.lon = 4.76;
    r.aircraftId = id;
    r.slot = age;
    return r;
}

class StaticParkingTest : public ParkingFixture {
protected:
    void SetUp() override
    {
        ParkingFixture::SetUp();
        MAX_FIT.set(47);
        parking_percentage.set(35);
    }
    static std::set<std::string> selectedStands()
    {
        std::set<std::string> names;
        for (const ParkingSelection& p : parkingSelections) names.insert(standName(p.standId));
        return names;
    }
};

TEST_F(StaticParkingTest, LearnedOptionsFillTheWantedStandsLargestWindowFirst)
{
    // Monday 10:00 (slot 20); stand i holds KLMi at slot 20 - i.
    setStands(lf_row(20, [](int i) {
        return std::vector<SlotRecord>{makeOption("KLM", "B738", vr::format("PH-{}", i), vr::format("KLM{}", i), 1,
                                                  {20 - i})};
    }));
    setReservedStand("A1");
    setUser(52.301, 4.76, 0, true);  // at A2
    AppServicesFake fake;
    calculateStaticParking();
    // 35 % of 20 = 7 stands, the nearest windows first, A1 reserved and A2 the user's.
    EXPECT_EQ(selectedStands(), (std::set<std::string>{"A3", "A4", "A5", "A6", "A7", "A8", "A9"}));
    ASSERT_EQ(parkingSelections.size(), 7u);
    for (std::size_t i = 1; i < parkingSelections.size(); ++i)
        EXPECT_GE(parkingSelections[i - 1].window, parkingSelections[i].window);
    EXPECT_EQ(parkingSelections.back().window, 2);
    EXPECT_THAT(logLinesWith("7 positions (35% vs wanted 35%, with Max fit=24 hours)"), testing::SizeIs(1));
    EXPECT_THAT(logLinesWith("It is day 1 (Mon), 10.5 hours"), testing::SizeIs(1));
    EXPECT_TRUE(mainControlsDisabled());
    EXPECT_EQ(realPassWindow, 8);
    EXPECT_EQ(fake.parkingControlRefreshes(), 1);  // the window shows the parking options in force
}

TEST_F(StaticParkingTest, TheFitWindowAndTheSoftPass)
{
    struct Row {
        const char* name;
        std::int32_t maxFit;
        std::uint64_t now;
        SlotRecord option;
        bool parkSoft;
        std::size_t selected;
    };
    const Row rows[] = {
        {"max fit 0: this half hour", 0, packWeekdayAndSlot(1, 20), makeOption("KLM", "B738", "PH-A", "KLM1", 1, {20}),
         false, 1},
        {"max fit 0: not the one before", 0, packWeekdayAndSlot(1, 20),
         makeOption("KLM", "B738", "PH-A", "KLM1", 1, {19}), false, 0},
        {"max fit 47 reaches Sunday evening", 47, packWeekdayAndSlot(1, 2),
         makeOption("KLM", "B738", "PH-A", "KLM1", 7, {40}), false, 1},
        {"soft options without PARK_SOFT or PARK_FAKE: none", 47, packWeekdayAndSlot(1, 20),
         makeOption("KLM", "B738", "PH-A", "KLM1", 1, {20}, 0), false, 0},
        {"soft options with PARK_SOFT", 47, packWeekdayAndSlot(1, 20),
         makeOption("KLM", "B738", "PH-A", "KLM1", 1, {20}, 0), true, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        MAX_FIT.set(row.maxFit);
        PARK_SOFT.set(row.parkSoft);
        PARK_FAKE.set(false);
        parking_percentage.set(50);
        currentSlotAndWeekday = row.now;
        setStands({makeStand("A1", 52.30, 4.76, {row.option}), makeStand("A2", 52.31, 4.76)});
        calculateStaticParking();
        EXPECT_EQ(parkingSelections.size(), row.selected);
        EXPECT_EQ(statusPanel().softPositionsUsed.load(), row.parkSoft && row.selected == 1);
    }
}

TEST_F(StaticParkingTest, ParkedTrafficAndWhatBlocksIt)
{
    setStands(lf_row(10, [](int) { return std::vector<SlotRecord>{}; }));
    parking_percentage.set(100);
    parked = {lf_parked(0x400001, "KLM1", 52.300, 1), lf_parked(0x400002, "KLM2_", 52.301, 2),
              lf_parked(0x400003, "KLM3", 52.302, 0), lf_parked(0x400004, "KLM4", 52.303, 3),
              lf_parked(0x400005, "KLM5", 52.35, 3)};  // far from every stand
    LiveAc live;
    live.aircraftId = 0x500000;
    live.callsign = "KLM2";  // the flight of KLM2_ up to its "_"
    liveAircraft.push_back(live);
    trafficReader().collect("", 0x400003);
    trafficReader().collect("KLM4", 0x999999);
    calculateStaticParking();
    // KLM2_ flies live, KLM3's id and KLM4's name are used, KLM5 has no stand.
    ASSERT_EQ(parkingSelections.size(), 1u);
    EXPECT_EQ(parkingSelections[0].flightA, "KLM1");
    EXPECT_EQ(parkingSelections[0].kind, 0u);
    EXPECT_EQ(parkingSelections[0].window, 1);
    EXPECT_EQ(parkingSelections[0].aircraftId, 0x400001u);
    EXPECT_TRUE(parkingSelections[0].preferA);
    EXPECT_THAT(logLinesWith("no stand for PT 52.350000,4.760000"), testing::SizeIs(1));
    EXPECT_THAT(logLinesWith("1 parking position from PT"), testing::SizeIs(1));
}

TEST_F(StaticParkingTest, ParkTrafficOnlyPlacesEveryRecordWhateverTheWantedNumber)
{
    setStands(lf_row(10, [](int) { return std::vector<SlotRecord>{}; }));
    parking_percentage.set(10);  // wants 1
    RT_PARKTRAFFIC_ONLY.set(true);
    for (int i = 0; i < 4; ++i) parked.push_back(lf_parked(0x400001 + i, vr::format("KLM{}", i), 52.30 + 0.001 * i, 3 - i));
    calculateStaticParking();
    ASSERT_EQ(parkingSelections.size(), 4u);
    EXPECT_EQ(parkingSelections.front().window, 3);  // largest first
    EXPECT_EQ(parkingSelections.back().window, 0);
    EXPECT_THAT(logLinesWith("4 positions from RT parktraffic only"), testing::SizeIs(1));
}

TEST_F(StaticParkingTest, NothingFoundGivesTheControlsBack)
{
    setStands(lf_row(3, [](int) { return std::vector<SlotRecord>{}; }));
    disableMainControls();
    parkedRead = false;
    calculateStaticParking();
    EXPECT_TRUE(parkingSelections.empty());
    EXPECT_FALSE(mainControlsDisabled());
    EXPECT_THAT(logLinesWith("no parking positions found"), testing::SizeIs(1));
}

TEST_F(StaticParkingTest, NamesForTheEngine)
{
    SimAc st;
    st.coupledCs = "KLM1";
    st.registration = "PH-AAA";
    staticAircraft.push_back(st);
    parkingSelections.push_back(ParkingSelection{0, 1, 1, 0, "KLM", "B738", "KLM7", "KLM8", "PH-BBB", true});
    struct Row {
        StandUser ac;
        bool staticNamed;
        bool parkedNamed;
    };
    const Row rows[] = {
        {{1, "", "", "", "KLM1"}, true, false},
        {{1, "", "", "PH-AAA", "X"}, true, false},
        {{1, "", "", "", "KLM8"}, false, true},
        {{1, "", "", "PH-BBB", ""}, false, true},
        {{1, "", "", "", ""}, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.ac.callsign + row.ac.registration);
        EXPECT_EQ(isStaticNamedAc(row.ac), row.staticNamed);
        EXPECT_EQ(isParkedTrafficNamedAc(row.ac), row.parkedNamed);
    }
}

TEST_F(StaticParkingTest, StaticsNearMovingLiveAircraftGo)
{
    COLLISION_LIVE_PARKED_GND.set(true);
    liveries.halfSpans["B738"] = 0.0097;
    SimAc st;
    st.callsign = "KLM1*";
    st.simState = SimState::active;
    st.position = {52.3000, 4.7600};
    st.halfWingspan = 0.0097;
    st.objectId = 9;
    staticAircraft.push_back(st);
    struct Row {
        const char* name;
        AcPhase phase;
        bool moved;
        bool removed;
    };
    const Row rows[] = {
        {"taxiing past", AcPhase::taxi, true, true},
        {"parking past", AcPhase::parking, true, true},
        {"standing still", AcPhase::taxi, false, false},
        {"flying over", AcPhase::flying, true, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        staticAircraft[0].simState = SimState::active;
        clearTimedQueues();
        liveAircraft.clear();
        LiveAc live;
        live.aircraftId = 0x500000;
        live.callsign = "DLH1";
        live.simState = SimState::active;
        live.groundReplySeen = true;
        live.phase = row.phase;
        live.halfWingspan = 0.0097;
        live.posBlock.latitude = 52.3001;
        live.posBlock.longitude = 4.7600;
        live.collisionTestPosition = row.moved ? LatLon{52.2, 4.76} : LatLon{52.3001, 4.7600};
        liveAircraft.push_back(live);
        removeStaticsNearLiveStep();
        EXPECT_EQ(staticAircraft[0].simState == SimState::removingfromsim, row.removed);
    }
}

}  // namespace
