// Stand search on the hand-built airport: stands at a position, free stands near
// an aircraft, stands for a half hour, the slot marks, the coupled-callsign
// window, the wanted stand count and the static parking's record search.

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "core/options.h"
#include "core/random.h"
#include "engine/ac_records.h"
#include "engine/live_parking.h"
#include "engine/slot_records.h"
#include "engine/stand_search.h"
#include "simlink/user_aircraft.h"
#include "traffic_service/handover.h"
#include "stand_airport.h"

using namespace standtest;

namespace {

SlotRecord learned(std::uint32_t index, const std::string& cs, std::initializer_list<std::uint32_t> slots,
                   std::uint32_t weekday = 3, const std::string& type = "B738", std::uint32_t real = 1)
{
    SlotRecord r;
    r.optionIndex = index;
    r.cs = cs;
    r.airl = cs.substr(0, 3);
    r.type = type;
    r.reg = "PH-" + cs;
    r.weekday = weekday;
    r.real = real;
    for (std::uint32_t s : slots) r.slots.set(s);
    return r;
}

std::string nameOf(const Stand* s)
{
    return s ? s->name : std::string("none");
}

AcIdentity identity(const std::string& callsign, const std::string& type = "B738")
{
    return liveAc(0x480000, callsign, type);
}

}  // namespace

TEST(StandSearch, NearestStandAirportWithin55MetresWhileOnTheGround)
{
    StandAirport a;
    EXPECT_EQ(nearestStandAirport(offset(54, 0)), "A1");
    EXPECT_EQ(nearestStandAirport(offset(56, 0)), "");
    EXPECT_EQ(nearestStandAirport(offset(0, 32)), "A2") << "the nearer of two";
    userOnGround = false;
    EXPECT_EQ(nearestStandAirport(offset(0, 0)), "") << "airborne";
    userOnGround = true;
    // The same position after the stands were replaced answers from the new stands.
    EXPECT_EQ(nearestStandAirport(offset(0, 0)), "A1");
    std::vector<Stand> moved = airportStands();
    moved[0].name = "Z9";
    a.useStands(moved);
    EXPECT_EQ(nearestStandAirport(offset(0, 0)), "Z9");
    clearStands();
    EXPECT_EQ(nearestStandAirport(offset(0, 0)), "");
}

TEST(StandSearch, FreeStandNear)
{
    struct Row {
        const char* name;
        std::string type;
        LatLon at;
        double maxDistance;
        bool useRecords;
        std::string want;
        double wantRadiusMetres = 0;  // 0: unchanged
    };
    const Row rows[] = {
        {"the nearest within reach", "B738", offset(0, 25), nm55m, false, "A1"},
        {"nothing within 20 m", "B738", offset(0, 30), nm20m, false, "none"},
        {"taken-for-arrival skipped", "B738", offset(0, 5), nm20m, false, "none"},
        {"2 m too small within 20 m: taken and enlarged", "B738", offset(0, 135), nm55m, false, "A3A", 16.9},
        {"2 m too small 25 m away: the farther fitting stand", "B738", offset(25, 140), nm55m, false, "A3"},
        {"an aeroplane never gets a helipad", "B738", offset(120, 120), nm55m, false, "none"},
        {"a Rotorcraft gets the helipad", "EC35", offset(120, 120), nm55m, false, "H1"},
        {"a Rotorcraft never gets a gate", "EC35", offset(0, 0), nm55m, false, "none"},
        {"the record-matched stand within 85 m", "B738", offset(0, 290), nm20m, true, "B1"},
        {"records off: none", "B738", offset(0, 290), nm20m, false, "none"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        std::vector<Stand> v = airportStands();
        liveAircraft.clear();
        if (std::string(r.name).starts_with("taken")) {
            // Another arrival drives in to A1.
            LiveAc holder;
            holder.aircraftId = 0x480100;
            holder.standId = A1;
            holder.simState = SimState::active;
            liveAircraft.push_back(holder);
            takeStandForArrival(v[A1 - 1], holder.aircraftId);
        }
        v[B1 - 1].options.push_back(learned(1, "KLM123", {30}));
        a.useStands(v);
        const std::uint32_t before = standUpdateCount;
        const AcIdentity ac = identity("KLM123", r.type);
        const Stand* s = findFreeStandNear(r.at, ac, r.maxDistance, r.useRecords);
        EXPECT_EQ(nameOf(s), r.want);
        if (r.wantRadiusMetres > 0) {
            EXPECT_NEAR(s->radius, b738 - 1 * metre, 1e-12);
            EXPECT_TRUE(s->radiusChange);
            EXPECT_EQ(standUpdateCount, before + 1);
            EXPECT_EQ(statusPanel().standUpdates.load(), static_cast<std::int32_t>(standUpdateCount));
        } else {
            EXPECT_EQ(standUpdateCount, before);
        }
    }
    liveAircraft.clear();
}

TEST(StandSearch, TheNearestHelipadDecidesEvenWithAFittingStandFarther)
{
    StandAirport a;
    // 10 m from the helipad, 60 m from a ramp: the helipad is nearest, so an aeroplane gets nothing.
    const AcIdentity ac = identity("PVT1", "C172");
    EXPECT_EQ(nameOf(findFreeStandNear(offset(0, 10, standPos(H1)), ac, 0.1, false)), "none");
}

TEST(StandSearch, StandForSlotByKind)
{
    struct Row {
        const char* name;
        std::string type;
        bool cargo;
        std::string airline;
        std::string parkCode;
        std::set<std::string> want;
    };
    const Row rows[] = {
        {"Rotorcraft: the helipad", "EC35", false, "HEL", "EHAM", {"H1"}},
        {"cargo: cargo stands first", "B744", true, "CLX", "EHAM", {"C1", "CR"}},
        {"Light: plain ramps", "C172", false, "PVT", "EHAM", {"R1", "R2"}},
        {"PVT airline: plain ramps", "B738", false, "PVT", "EHAM", {"R1", "R2"}},
        {"a K airport: gates first", "B738", false, "KLM", "KJFK", {"A1", "A2", "A3", "A3A", "B1"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        a.h.airports.park.code = r.parkCode;
        std::set<std::string> seen;
        for (std::uint32_t seed = 1; seed <= 20; ++seed) {
            seedRandomEngine(seed);
            AcIdentity ac = identity(r.airline + "1", r.type);
            ac.cargo = r.cargo;
            ac.airline = r.airline;
            seen.insert(nameOf(lf_findStandForSlot(packWeekdayAndSlot(3, 20), ac, false)));
        }
        for (const std::string& s : seen) EXPECT_TRUE(r.want.count(s)) << s;
    }
}

TEST(StandSearch, StandForSlotPrefersTheNameAndTheSizeAndSkipsUsedStands)
{
    StandAirport a;
    a.h.airports.park.code = "KJFK";  // gates first
    std::vector<Stand> v = airportStands();
    v[A2 - 1].options.push_back(learned(1, "KLM123", {10}));          // knows the callsign
    v[A1 - 1].options.push_back(learned(1, "DLH1", {20}, 3, "A320"));  // used at 20 on Wednesday
    a.useStands(v);
    for (std::uint32_t seed = 1; seed <= 10; ++seed) {
        SCOPED_TRACE(seed);
        seedRandomEngine(seed);
        EXPECT_EQ(nameOf(lf_findStandForSlot(packWeekdayAndSlot(3, 20), identity("KLM123"), false)), "A2");
        const std::string other = nameOf(lf_findStandForSlot(packWeekdayAndSlot(3, 20), identity("UAE5"), false));
        EXPECT_NE(other, "A1") << "used in this half hour";
        EXPECT_NE(other, "B1") << "a step larger";
    }
}

TEST(StandSearch, StandForSlotRetriesTheNextHalfHourOnlyAtSmallAirports)
{
    for (const std::size_t extra : {0u, 1u}) {
        SCOPED_TRACE(extra);
        StandAirport a;
        // One ramp stand, used now, free in the next half hour; `extra` adds an 11th stand that fits nothing.
        std::vector<Stand> v = airportStands();
        v[R1 - 1].options.push_back(learned(1, "XXX1", {20}));
        v[R2 - 1].options.push_back(learned(1, "XXX2", {20, 21}));
        if (extra) v.push_back(standAt(11, "Q1", 500, 500, 1, {.cargo = true, .heli = true}));
        a.useStands(v);
        const AcIdentity light = identity("PVT7", "C172");
        EXPECT_EQ(nameOf(lf_findStandForSlot(packWeekdayAndSlot(3, 20), light, false)), "none");
        EXPECT_EQ(nameOf(lf_findStandForSlot(packWeekdayAndSlot(3, 20), light, true)), extra ? "none" : "R1");
    }
}

TEST(StandSearch, LiveIdsNearFindsANeighbourParkedTooClose)
{
    StandAirport a;
    liveAircraft.push_back(liveAc(0x480001, "KLM1", "B738", AcPhase::parked, A3A));
    const Stand& a3 = *findStandById(A3);
    EXPECT_EQ(lf_liveIdsNear(a3.conflictingStands, a3, identity("DLH5")), 0u);
    EXPECT_EQ(lf_liveIdsNear(a3.conflictingStands, a3, identity("KLM1")), 1u) << "itself";
    liveAircraft[0].phase = AcPhase::taxi;
    EXPECT_EQ(lf_liveIdsNear(a3.conflictingStands, a3, identity("DLH5")), 1u) << "not parked";
    liveAircraft[0].phase = AcPhase::pushing_back;
    EXPECT_EQ(lf_liveIdsNear(a3.conflictingStands, a3, identity("DLH5")), 0u);
    // Two small aircraft 22 m apart do not touch.
    liveAircraft.push_back(liveAc(0x480002, "PVT1", "C172", AcPhase::parked, R2));
    const Stand& r1 = *findStandById(R1);
    EXPECT_EQ(lf_liveIdsNear(r1.conflictingStands, r1, identity("PVT2", "C172")), 1u);
}

TEST(StandSearch, SlotMarks)
{
    struct Row {
        const char* name;
        std::uint32_t marked, now;
        bool force, result;
        std::uint32_t markAfter;
    };
    const Row rows[] = {
        {"2 half hours ago: refused", 18, 20, false, false, 18},
        {"3 half hours ago: taken", 17, 20, false, true, 20},
        {"46 then 1: 3 later across midnight", 46, 1, false, true, 1},
        {"45 then 0: 3 later", 45, 0, false, true, 0},
        {"47 then 0: refused", 47, 0, false, false, 47},
        {"forced", 20, 20, true, true, 20},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        EXPECT_TRUE(lf_markIdInSlot(packWeekdayAndSlot(2, r.marked), 7, false)) << "a new mark";
        EXPECT_TRUE(lf_markIdInSlot(packWeekdayAndSlot(2, r.marked), 8, false));
        EXPECT_EQ(lf_markIdInSlot(packWeekdayAndSlot(3, r.now), 7, r.force), r.result);
        ASSERT_EQ(slotMarks.size(), 2u);
        EXPECT_EQ(slotMarks[0].slot, r.markAfter);
        EXPECT_EQ(slotMarks[1].slot, r.marked);
    }
}

TEST(StandSearch, CoupledCallsignWindowHasNoWrap)
{
    struct Row {
        const char* name;
        std::uint32_t recordSlot;
        std::uint32_t recordDay;
        std::string type;
        bool found;
    };
    const Row rows[] = {
        {"slot 12 is within 10", 12, 3, "B738", true},
        {"slot 13 is not", 13, 3, "B738", false},
        {"Heavy: slot 16", 16, 3, "B744", true},
        {"Heavy: slot 17 is not", 17, 3, "B744", false},
        {"never the previous day's end", 47, 3, "B738", false},
        {"another weekday", 2, 2, "B738", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        std::vector<Stand> v = airportStands();
        SlotRecord rec = learned(1, "KLM11", {r.recordSlot}, r.recordDay);
        rec.cs2 = "KLM12";
        v[A2 - 1].options.push_back(rec);
        a.useStands(v);
        AcIdentity id = identity("KLM12_", r.type);
        id.category = r.type == "B744" ? AcCategory::Heavy : AcCategory::Large;
        id.coupledCs.clear();
        lf_searchForCoupledCsAroundThisTime(packWeekdayAndSlot(3, 2), id);
        EXPECT_EQ(id.coupledCs, r.found ? "KLM11" : "");
        EXPECT_EQ(id.coupledCs2, r.found ? "KLM12" : "");
    }
}

TEST(StandSearch, WantedStandCount)
{
    struct Row {
        const char* name;
        std::size_t stands;
        std::int32_t percentage, custom, maxPark;
        std::uint32_t want;
        std::int32_t shownPercentage;
    };
    const Row rows[] = {
        {"3 stands at 30 %: one", 3, 30, -1, 500, 1, 33},
        {"3 stands at 50 %: rounded", 3, 50, -1, 500, 2, 67},
        {"10 stands at 25 %: 2.5 rounds up", 10, 25, -1, 500, 3, 30},
        {"the custom percentage wins", 10, 25, 60, 500, 6, 60},
        {"capped by MAX_PARK_SEL", 10, 90, -1, 4, 4, 40},
        {"MAX_PARK_SEL 0: none", 10, 90, -1, 0, 0, 90},
        {"one stand", 1, 0, -1, 500, 1, 100},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        std::vector<Stand> v = airportStands();
        v.resize(r.stands);
        a.useStands(v);
        parking_percentage.set(r.percentage);
        CUSTOM_PARKING_PERCENTAGE.set(r.custom);
        MAX_PARK_SEL.set(r.maxPark);
        EXPECT_EQ(lf_updateStandCount(), r.want);
        EXPECT_EQ(statusPanel().wantedStands.load(), static_cast<std::int32_t>(r.want));
        EXPECT_EQ(statusPanel().wantedPercentage.load(), r.shownPercentage);
    }
}

TEST(StandSearch, CountStaticsAndTheirMeanAge)
{
    StandAirport a;
    currentSlotAndWeekday.store(packSlotAndWeekday(10, 3));
    auto born = [](std::uint32_t id, std::uint32_t day, std::uint32_t slot, SimState state) {
        SimAc st = staticAc(id, "S" + std::to_string(id) + "*", A1, "B738", state);
        st.birthDay = day;
        st.birthSlot = slot;
        return st;
    };
    staticAircraft.push_back(born(1, 3, 6, SimState::active));           // 4 half hours
    staticAircraft.push_back(born(2, 2, 10, SimState::removingfromsim));  // 48
    staticAircraft.push_back(born(3, 3, 10, SimState::active));           // this very slot: 0
    staticAircraft.push_back(born(5, 1, 0, SimState::buffer));            // not counted
    EXPECT_EQ(lf_countStaticsInSlot(true), 3u);
    EXPECT_FLOAT_EQ(statusPanel().averageStaticAgeHours.load(), 52.0f / 6.0f + 0.5f);
    // Monday 01:00: the ones born on Sunday are the oldest, not left out.
    currentSlotAndWeekday.store(packSlotAndWeekday(2, 1));
    staticAircraft.clear();
    staticAircraft.push_back(born(6, 7, 46, SimState::active));  // Sunday 23:00: 4 half hours
    staticAircraft.push_back(born(7, 1, 0, SimState::active));   // Monday 00:00: 2
    staticAircraft.push_back(born(8, 6, 2, SimState::active));   // Saturday 01:00: 96
    EXPECT_EQ(lf_countStaticsInSlot(true), 3u);
    EXPECT_FLOAT_EQ(statusPanel().averageStaticAgeHours.load(), 102.0f / 6.0f + 0.5f);
    staticAircraft.clear();
    EXPECT_EQ(lf_countStaticsInSlot(true), 0u);
    EXPECT_FLOAT_EQ(statusPanel().averageStaticAgeHours.load(), 0.0f);
}

TEST(StandSearch, SlotPredicates)
{
    SlotRecord r = learned(1, "KLM1", {5, 44});
    SlotKey key{3, 8, r.reg, r.airl, r.type};
    EXPECT_TRUE(lf_slotPredicateA(key, 3, r));
    EXPECT_FALSE(lf_slotPredicateA(key, 2, r));
    EXPECT_TRUE(lf_slotPredicateB(key, 3, r));
    EXPECT_FALSE(lf_slotPredicateB(key, 2, r));
    key.type = "A320";
    EXPECT_FALSE(lf_slotPredicateA(key, 10, r));
}

class SearchStands : public testing::Test {
protected:
    void SetUp() override
    {
        std::vector<Stand> v = airportStands();
        v[A1 - 1].options = {learned(1, "KLM1", {19, 20})};
        SlotRecord two = learned(1, "DLH2", {20});
        two.cs2 = "DLH3";
        v[A2 - 1].options = {two};
        v[A3 - 1].options = {learned(1, "BAW4", {20})};
        v[A3A - 1].options = {learned(1, "EZY5", {20}, 3, "A320")};
        v[B1 - 1].options = {learned(1, "UAE6", {20}, 3, "B744", 0)};
        a.useStands(v);
    }
    std::set<std::string> planned(const std::vector<ParkingSelection>& plan)
    {
        std::set<std::string> out;
        for (const ParkingSelection& p : plan) out.insert(a.h.airports.standNames[p.standId] + ":" + p.flightA);
        return out;
    }
    StandAirport a;
};

TEST_F(SearchStands, OneRecordAStandWithTheNeighbourExcluded)
{
    seedRandomEngine(5);
    std::vector<ParkingSelection> plan;
    lf_searchStands(packWeekdayAndSlot(3, 21), 1, 1, plan);  // one half hour back: slot 20
    // A3 and A3A overlap: whichever comes first takes its pair.
    EXPECT_EQ(planned(plan), (std::set<std::string>{"A1:KLM1", "A2:DLH2", "A3:BAW4"}));
    EXPECT_TRUE(findStandById(A3)->assigned);
    EXPECT_TRUE(findStandById(A3A)->neighbourTaken);
    for (const ParkingSelection& p : plan) {
        EXPECT_EQ(p.kind, 1u);
        EXPECT_EQ(p.window, 1);
        EXPECT_EQ(p.aircraftId, 0u);
    }
    EXPECT_TRUE(plan[0].preferA) << "no second callsign";
    EXPECT_FALSE(plan[1].preferA) << "two callsigns and nothing at 21";
    // Soft records only (mode 0).
    std::vector<ParkingSelection> soft;
    lf_searchStands(packWeekdayAndSlot(3, 20), 0, 0, soft);
    EXPECT_EQ(planned(soft), (std::set<std::string>{"B1:UAE6"}));
}

TEST_F(SearchStands, AnAircraftInPlayIsLeftOutAndItsRecordCleared)
{
    struct Row {
        const char* name;
        std::function<void()> setup;
    };
    const Row rows[] = {
        {"planned registration", [] { parkingSelections.push_back({0, 0, 0, 0, "", "", "", "", "PH-KLM1", false}); }},
        {"used name", [] { usedNames.insert("KLM1"); }},
        {"used name with the ghost mark", [] { usedNames.insert("KLM1_"); }},
        {"a static's coupled callsign", [] {
             SimAc st = staticAc(9, "XXX9*", C1);
             st.coupledCs = "KLM1";
             staticAircraft.push_back(st);
         }},
        {"a reviewed live parked aircraft", [] { liveParkedList.push_back({"KLM1", 0, C1, 30}); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        SetUp();
        parkingSelections.clear();
        usedNames.clear();
        staticAircraft.clear();
        liveParkedList.clear();
        r.setup();
        std::vector<ParkingSelection> plan;
        lf_searchStands(packWeekdayAndSlot(3, 20), 1, 0, plan);
        EXPECT_EQ(planned(plan).count("A1:KLM1"), 0u);
        EXPECT_EQ(findStandById(A1)->options[0].optionIndex, 0u);
        EXPECT_FALSE(findStandById(A1)->assigned);
    }
}

TEST_F(SearchStands, AStaticTooCloseOnANeighbourKeepsTheStandEmpty)
{
    staticAircraft.push_back(staticAc(1, "KLM9*", A3A, "A320"));
    std::vector<ParkingSelection> plan;
    lf_searchStands(packWeekdayAndSlot(3, 20), 1, 0, plan);
    EXPECT_EQ(planned(plan).count("A3:BAW4"), 0u);
    // The WEEK option takes every weekday; HELICOPTERS off leaves a helipad out.
    WEEK.set(true);
    std::vector<Stand> v = airportStands();
    v[H1 - 1].options = {learned(1, "HEL1", {20}, 5, "EC35")};
    v[R1 - 1].options = {learned(1, "PVT1", {20}, 6, "C172")};
    a.useStands(v);
    HELICOPTERS.set(false);
    std::vector<ParkingSelection> week;
    lf_searchStands(packWeekdayAndSlot(3, 20), 1, 0, week);
    EXPECT_EQ(planned(week), (std::set<std::string>{"R1:PVT1"}));
}

TEST_F(SearchStands, OffsetPastMidnightSearchesThePreviousWeekday)
{
    std::vector<Stand> v = airportStands();
    v[A1 - 1].options = {learned(1, "KLM1", {46}, 7)};
    a.useStands(v);
    std::vector<ParkingSelection> plan;
    lf_searchStands(packWeekdayAndSlot(1, 1), 1, 3, plan);  // Monday 1 less 3: Sunday 46
    EXPECT_EQ(planned(plan), (std::set<std::string>{"A1:KLM1"}));
}

TEST(StandSearch, TheTrafficReaderAsksForTheUsersStand)
{
    ScenarioOptions o = standOptions();
    o.user = offset(3, 60);
    StandAirport a(o);
    EXPECT_EQ(serviceHandover().userStandAirport(), "A2");
    a.h.setUser(offset(3, 60), 3000, 3000, 0, 250, false);
    EXPECT_EQ(serviceHandover().userStandAirport(), "") << "airborne";
}

TEST(StandSearch, PreferAAcrossMidnightLooksAtTheNextWeekday)
{
    struct Row {
        const char* name;
        std::uint32_t nextDayRecordDay;
        std::string nextDayType;
        bool preferA;
    };
    const Row rows[] = {
        {"the same aircraft at 0 the next day", 4, "B738", true},
        {"another type the next day", 4, "A320", false},
        {"two days on", 5, "B738", false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        std::vector<Stand> v = airportStands();
        SlotRecord late = learned(1, "KLM1", {47}, 3);
        late.cs2 = "KLM2";
        SlotRecord next = learned(2, "KLM3", {0}, r.nextDayRecordDay, r.nextDayType);
        next.airl = "KLM";
        v[A1 - 1].options = {late, next};
        a.useStands(v);
        std::vector<ParkingSelection> plan;
        lf_searchStands(packWeekdayAndSlot(3, 47), 1, 0, plan);
        ASSERT_EQ(plan.size(), 1u);
        EXPECT_EQ(plan[0].flightA, "KLM1");
        EXPECT_EQ(plan[0].flightB, "KLM2");
        EXPECT_EQ(plan[0].preferA, r.preferA);
    }
}
