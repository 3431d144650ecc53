// Ghosts, duplicates and removals at stands. Removals take effect later: the
// tests look at the records' state flags.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "engine/adding_stack.h"
#include "engine/ghosts.h"
#include "engine/spawn.h"
#include "engine/timed_queues.h"
#include "engine_records.h"
#include "stand_airport.h"

using namespace standtest;

namespace {

bool removing(const SimAc& ac)
{
    return ac.simState == SimState::removingfromsim;
}

}  // namespace

TEST(Ghosts, NamingRule)
{
    EXPECT_TRUE(isGhostOf("DLH4_", "DLH4"));
    EXPECT_FALSE(isGhostOf("DLH4", "DLH4_"));
    EXPECT_FALSE(isGhostOf("UAL12", "UAL1"));
    EXPECT_FALSE(isGhostOf("DLH4__", "DLH4"));
    EXPECT_FALSE(isGhostOf("_", "x"));
    EXPECT_TRUE(isGhostOf("_", ""));
}

TEST(Ghosts, RemoveGhost)
{
    struct Row {
        const char* name;
        std::string liveCallsign;
        SimState state;
        AcPhase phase;
        std::string newCallsign;
        bool removed;
        std::string logPart;
    };
    const Row rows[] = {
        {"a parked ghost", "DLH4_", SimState::active, AcPhase::parked, "DLH4", true,
         "A2      : DLH4_    is a ghost and will be removed, continue with DLH4"},
        {"a flying ghost", "DLH4_", SimState::active, AcPhase::flying, "DLH4", true,
         "          DLH4_    is a ghost and will be removed, continue with DLH4"},
        {"already being removed", "DLH4_", SimState::removingfromsim, AcPhase::flying, "DLH4", false, ""},
        {"UAL12 is no ghost of UAL1", "UAL12", SimState::active, AcPhase::flying, "UAL1", false, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        LiveAc ghost = liveAc(0x480001, r.liveCallsign, "B738", r.phase, A2);
        ghost.simState = r.state;
        liveAircraft.push_back(ghost);
        removeGhost(r.newCallsign);
        EXPECT_EQ(liveAircraft[0].simState, r.removed ? SimState::removingfromsim : r.state);
        EXPECT_EQ(GhostCallsigns.size(), r.removed ? 1u : 0u);
        if (r.removed) {
            EXPECT_EQ(GhostCallsigns[0], r.liveCallsign);
            EXPECT_NE(a.h.logText().find(r.logPart), std::string::npos) << a.h.logText();
        }
    }
}

TEST(Ghosts, NewcomerRules)
{
    struct Row {
        const char* name;
        std::string occupant;
        AcPhase phase;
        SimState state;
        bool reported;
        std::string newcomer;
        bool free;
        bool occupantRemoved;
    };
    const Row rows[] = {
        {"taxiing occupant: free", "KLM1", AcPhase::taxi, SimState::active, false, "DLH2", true, false},
        {"occupant not active: free", "KLM1", AcPhase::parked, SimState::adding2sim, false, "DLH2", true, false},
        {"1 same callsign", "KLM1", AcPhase::parked, SimState::active, false, "KLM1", true, true},
        {"2 the newcomer is the ghost", "ABC1", AcPhase::parked, SimState::active, false, "ABC1_", false, false},
        {"3 the occupant is the ghost", "ABC1_", AcPhase::pushed_back, SimState::active, false, "ABC1", true, true},
        {"4 a ghost occupant, a real newcomer", "XYZ9_", AcPhase::parked, SimState::active, true, "ABC1", true, true},
        {"5 a real occupant, a ghost newcomer", "XYZ9", AcPhase::parked, SimState::active, false, "ABC1_", false, false},
        {"6 the feed reports it there", "XYZ9", AcPhase::pushing_back, SimState::active, true, "ABC1", false, false},
        {"7 otherwise the newcomer wins", "XYZ9", AcPhase::parked, SimState::active, false, "ABC1", true, true},
        {"UAL1 is no ghost of a reported UAL12", "UAL12", AcPhase::parked, SimState::active, true, "UAL1", false, false},
        {"UAL12 is no ghost of a reported UAL1", "UAL1", AcPhase::parked, SimState::active, true, "UAL12", false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        EXPECT_TRUE(lf_freeStandForNewcomer(A1, r.newcomer)) << "nobody there";
        LiveAc o = liveAc(0x480001, r.occupant, "B738", r.phase, A1);
        o.simState = r.state;
        o.standReported = r.reported;
        liveAircraft.push_back(o);
        EXPECT_EQ(lf_freeStandForNewcomer(A1, r.newcomer), r.free);
        EXPECT_EQ(removing(liveAircraft[0]), r.occupantRemoved);
    }
}

TEST(Ghosts, ClearAdjacentStandOnlyWhenTheyWouldTouch)
{
    StandAirport a;
    liveAircraft.push_back(liveAc(0x480001, "KLM1", "B738", AcPhase::parked, A3A));
    liveAircraft.push_back(liveAc(0x480002, "PVT1", "C172", AcPhase::parked, R2));
    liveAircraft.push_back(liveAc(0x480003, "KLM3", "B738", AcPhase::pushed_back, A1));
    LiveAc big = liveAc(0x480009, "DLH9", "B738", AcPhase::taxi);
    LiveAc small = liveAc(0x480008, "PVT8", "C172", AcPhase::taxi);
    lf_clearAdjacentStand(A3A, big, *findStandById(A3));
    lf_clearAdjacentStand(R2, small, *findStandById(R1));
    lf_clearAdjacentStand(A1, big, *findStandById(A1));
    EXPECT_TRUE(removing(liveAircraft[0])) << "20 m apart, 39 m of wings";
    EXPECT_FALSE(removing(liveAircraft[1])) << "22 m apart, 12 m of wings";
    EXPECT_FALSE(removing(liveAircraft[2])) << "pushed back: not parked";
    EXPECT_NE(a.h.logText().find("A3A     : KLM1     removed by parking DLH9 at adjacent and possibly colliding stand A3"),
              std::string::npos);
}

TEST(Ghosts, SameIdentityRemovesTheFirstMatchingActiveStatic)
{
    struct Row {
        const char* name;
        std::function<void(SimAc&)> edit;
        std::function<void(LiveAc&)> editLive;
        bool removed;
        std::string logPart;
    };
    const Row rows[] = {
        {"same hex id", [](SimAc& s) { s.source = 0; s.linkedAircraftId = 0x480001; }, nullptr, true,
         "A2      : BAW9*    removed, new on ground 'KLM1' has same hexid"},
        {"a linked id of another source", [](SimAc& s) { s.source = 1; s.linkedAircraftId = 0x480001; }, nullptr,
         false, ""},
        {"same registration", [](SimAc& s) { s.registration = "PH-KLM1"; }, nullptr, true,
         "A2      : BAW9*    PH-KLM1 removed, new on ground 'KLM1' has same regcode PH-KLM1"},
        {"the callsign coupled", [](SimAc& s) { s.coupledCs = "KLM1"; }, nullptr, true,
         "A2      : BAW9*    'KLM1 ' removed, new on ground KLM1 'KLM1' '' has same callsign"},
        {"the live second callsign coupled", [](SimAc& s) { s.coupledCs = "KLM7"; },
         [](LiveAc& l) { l.coupledCs2 = "KLM7"; }, true, "has coupled callsign"},
        {"a ghost of the coupled callsign", [](SimAc& s) { s.coupledCs2 = "KLM1"; },
         [](LiveAc& l) { l.callsign = "KLM1_"; }, true, "has coupled callsign"},
        {"not active", [](SimAc& s) { s.coupledCs = "KLM1"; s.simState = SimState::adding2sim; }, nullptr, false, ""},
        {"nothing in common", [](SimAc&) {}, nullptr, false, ""},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        staticAircraft.push_back(staticAc(1, "AFR8*", A1));
        SimAc st = staticAc(2, "BAW9*", A2);
        r.edit(st);
        staticAircraft.push_back(st);
        SimAc twin = st;  // a second match later in the vector stays
        twin.aircraftId = 3;
        twin.objectId = 503;
        twin.standId = A3;
        staticAircraft.push_back(twin);
        LiveAc live = liveAc(0x480001, "KLM1", "B738", AcPhase::taxi);
        if (r.editLive) r.editLive(live);
        resolveSameIdentity(live, true);
        EXPECT_FALSE(removing(staticAircraft[0]));
        EXPECT_EQ(removing(staticAircraft[1]), r.removed);
        EXPECT_FALSE(removing(staticAircraft[2])) << "one a call";
        if (r.removed) {
            EXPECT_NE(a.h.logText().find(r.logPart), std::string::npos) << a.h.logText();
        }
    }
}

TEST(Ghosts, SameIdentityRemovesWithTheLogOff)
{
    StandAirport a;
    LOG.set(false);
    SimAc st = staticAc(2, "BAW9*", A2);
    st.registration = "PH-KLM1";
    staticAircraft.push_back(st);
    LiveAc live = liveAc(0x480001, "KLM1", "B738", AcPhase::flying);
    resolveSameIdentity(live, false);
    EXPECT_TRUE(removing(staticAircraft[0]));
    EXPECT_EQ(a.h.logText().find("regcode"), std::string::npos);
    live.callsign.clear();
    staticAircraft[0].simState = SimState::active;
    resolveSameIdentity(live, false);
    EXPECT_EQ(staticAircraft[0].simState, SimState::active) << "no callsign: nothing";
}

TEST(Ghosts, StaticsNearALiveAircraft)
{
    struct Row {
        const char* name;
        double distanceFactor;  // of 1.1 x the two half wingspans
        std::string staticCallsign;
        bool rollingOut;
        bool removed;
    };
    const Row rows[] = {
        {"at 0.99 of the reach", 0.99, "BAW9*", false, true},
        {"at 1.01 of the reach", 1.01, "BAW9*", false, false},
        {"the same callsign, however close", 0.1, "KLM1", false, false},
        {"rolling out", 0.1, "BAW9*", true, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        const double reachMetres = (b738 + b738) * 1.1 * 1852;
        staticAircraft.push_back(staticAc(1, r.staticCallsign, A1));
        staticAircraft.push_back(staticAc(2, r.staticCallsign, A1));  // a second one as close: next call
        LiveAc live = liveAc(0x480001, "KLM1", "B738", AcPhase::taxi);
        const LatLon at = offset(r.distanceFactor * reachMetres, 0);
        live.posBlock.latitude = at.lat;
        live.posBlock.longitude = at.lon;
        live.rollingOut = r.rollingOut;
        removeStaticsNearLive(live);
        EXPECT_EQ(removing(staticAircraft[0]), r.removed);
        EXPECT_FALSE(removing(staticAircraft[1]));
        if (!r.rollingOut) {
            EXPECT_EQ(live.collisionTestPosition.lat, at.lat);
        }
    }
}

TEST(Ghosts, RemoveAllStatics)
{
    StandAirport a;
    staticAircraft.push_back(staticAc(1, "S1*", A1));
    staticAircraft.push_back(staticAc(2, "S2*", A2, "B738", SimState::adding2sim));  // queued
    staticAircraft.push_back(staticAc(3, "S3*", A3, "B738", SimState::adding2sim));  // sent
    staticAircraft.push_back(staticAc(4, "S4*", C1, "B738", SimState::buffer));
    staticAircraft.push_back(staticAc(5, "S5*", B1, "B738", SimState::removingfromsim));
    AcCreation queued;
    queued.callsign = "S2*";
    queued.aircraftId = 2;
    lf_pushCreation(staticCreationQueue, queued);
    removeAllStatics();
    ASSERT_EQ(staticAircraft.size(), 4u) << "the queued creation is withdrawn and its record erased";
    EXPECT_TRUE(staticCreationQueue.empty());
    EXPECT_EQ(staticAircraft[0].simState, SimState::removingfromsim);
    EXPECT_EQ(staticAircraft[0].aircraftId, 1u);
    EXPECT_TRUE(staticAircraft[1].removeAfterCreate);
    EXPECT_EQ(staticAircraft[1].aircraftId, 3u);
    EXPECT_EQ(staticAircraft[2].simState, SimState::buffer);
    EXPECT_EQ(staticAircraft[3].aircraftId, 5u);
}

TEST(Ghosts, RemoveAtStand)
{
    struct Row {
        const char* name;
        std::string stand;
        bool withStatic;
        bool staticRemoved, liveRemoved;
    };
    const Row rows[] = {
        {"a static first", "A1", true, true, false},
        {"else the parked live aircraft", "A1", false, false, true},
        {"an unknown name", "Q9", true, false, false},
        {"no name", "", true, false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        StandAirport a;
        // Records without a stand (id 0) must never be taken for an unknown name.
        staticAircraft.push_back(staticAc(7, "S7*", 0));
        if (r.withStatic) staticAircraft.push_back(staticAc(1, "S1*", A1));
        liveAircraft.push_back(liveAc(0x480002, "KLM2", "B738", AcPhase::parked, 0));
        liveAircraft.push_back(liveAc(0x480001, "KLM1", "B738", AcPhase::parked, A1));
        removeAtStand(r.stand);
        EXPECT_FALSE(removing(staticAircraft[0]));
        EXPECT_FALSE(removing(liveAircraft[0]));
        if (r.withStatic) {
            EXPECT_EQ(removing(staticAircraft[1]), r.staticRemoved);
        }
        EXPECT_EQ(removing(liveAircraft[1]), r.liveRemoved);
    }
}
