// The identity merge of a known aircraft: route, callsign and registration
// changes, the relivery rules, and when the aircraft is created again.

#include <gtest/gtest.h>

#include <functional>

#include "core/options.h"
#include "engine/respawn.h"
#include "engine_records.h"
#include "support/engine_harness.h"

namespace {

constexpr std::uint32_t kHex = 0x484000;

struct Identity {
    EngineHarness h;
    explicit Identity(bool guidChanges = true) : h(ScenarioOptions{.log = true, .guidChanges = guidChanges})
    {
        h.liveries.dbase["PH-NEW"] = {"PH-NEW", "TRA", "B738", "", false};
        h.liveries.dbase["PH-OPR"] = {"PH-OPR", "TRA", "B738", "KLM", false};
        h.liveries.dbase["PH-KLM"] = {"PH-KLM", "KLM", "B738", "", false};
        h.liveries.regcodes["PH-REG"] = "Regcode title";
        h.liveries.regcodes["PH-SAME"] = "KLM 737";
        h.airports.park = {"EHAM", "AMS", 52.3, 4.76, 0};
        liveAircraft.push_back(liveRecord(kHex, "KLM1", {sampleAt(52.3, 4.8, 0)}));
        LiveAc& a = ac();
        a.simState = SimState::active;
        a.phase = AcPhase::flying;
        a.objectId = 150;
        a.origin = "AMS";
        a.destination = "MAD";
        a.registration = "PH-BXA";
        a.liveryTitle = "KLM 737";
        a.posBlock.heading = 1.5;
        h.liveries.rememberTitle(kHex, "KLM 737");
    }
    LiveAc& ac() { return *findLive(kHex); }
    TrafficRecord record() const
    {
        TrafficRecord r = trafficRecord(kHex, 1.7e9);
        r.callsign = "KLM1";
        r.origin = "AMS";
        r.destination = "MAD";
        r.registration = "PH-BXA";
        return r;
    }
};

TEST(RespawnAc, Table)
{
    struct Row {
        const char* name;
        std::function<void(LiveAc&)> setup;
        std::function<void(TrafficRecord&)> edit;
        bool result;
        bool respawned;
        std::function<void(Identity&, const LiveAc&)> check;
        bool guidChanges = true;
    };
    const std::vector<Row> rows = {
        {"nothing changed", nullptr, nullptr, true, false, nullptr},
        {"landing: untouched", [](LiveAc& a) { a.landing = true; }, [](TrafficRecord& r) { r.callsign = "KLM2"; }, true,
         false, [](Identity&, const LiveAc& a) { EXPECT_EQ(a.callsign, "KLM1"); }},
        {"take-off roll: untouched", [](LiveAc& a) { a.takeOffRoll = true; }, [](TrafficRecord& r) { r.origin = "X"; },
         true, false, [](Identity&, const LiveAc& a) { EXPECT_EQ(a.origin, "AMS"); }},
        {"buffer: new callsign taken without a ghost test",
         [](LiveAc& a) { a.simState = SimState::buffer; },
         [](TrafficRecord& r) {
             r.callsign = "KLM2_";
             r.registration = "PH-NEW";
             r.destination = "BCN";
         },
         true, false,
         [](Identity&, const LiveAc& a) {
             EXPECT_EQ(a.callsign, "KLM2_");
             EXPECT_EQ(a.registration, "PH-NEW");
             EXPECT_EQ(a.destination, "BCN");
             EXPECT_EQ(a.liveryTitle, "KLM 737");
         }},
        {"adding2sim: untouched", [](LiveAc& a) { a.simState = SimState::adding2sim; },
         [](TrafficRecord& r) { r.callsign = "KLM2"; }, true, false,
         [](Identity&, const LiveAc& a) { EXPECT_EQ(a.callsign, "KLM1"); }},
        {"pushing back: untouched", [](LiveAc& a) { a.phase = AcPhase::pushing_back; },
         [](TrafficRecord& r) { r.callsign = "KLM2"; }, true, false, nullptr},
        {"parking in progress: untouched", [](LiveAc& a) { a.parkProgress = 1; },
         [](TrafficRecord& r) { r.callsign = "KLM2"; }, true, false, nullptr},
        {"callsign equal to the registration: ignored", nullptr, [](TrafficRecord& r) { r.callsign = "PH-BXA"; }, true,
         false, [](Identity&, const LiveAc& a) { EXPECT_EQ(a.callsign, "KLM1"); }},
        {"a new callsign: taken and respawned", nullptr, [](TrafficRecord& r) { r.callsign = "KLM77"; }, false, true,
         [](Identity&, const LiveAc& a) {
             EXPECT_EQ(a.callsign, "KLM77");
             EXPECT_EQ(a.coupledCs, "KLM77");
             EXPECT_TRUE(a.coupledCs2.empty());
             EXPECT_EQ(a.phase, AcPhase::flying) << "same livery: no new match";
             EXPECT_EQ(a.liveryTitle, "KLM 737");
         }},
        {"a new ghost callsign whose base lives: done here",
         [](LiveAc&) { liveAircraft.push_back(liveRecord(0x484111, "KLM77", {})); },
         [](TrafficRecord& r) { r.callsign = "KLM77_"; }, false, false,
         [](Identity&, const LiveAc& a) { EXPECT_EQ(a.callsign, "KLM1"); }},
        {"a route change: taken, taxi on the ground, respawned",
         [](LiveAc& a) { a.groundReplySeen = true; },
         [](TrafficRecord& r) {
             r.origin = "BCN";
             r.destination = "LHR";
         },
         false, true,
         [](Identity&, const LiveAc& a) {
             EXPECT_EQ(a.origin, "BCN");
             EXPECT_EQ(a.destination, "LHR");
             EXPECT_EQ(a.phase, AcPhase::taxi);
             EXPECT_EQ(a.prevPhase, AcPhase::flying);
             EXPECT_EQ(a.targetBearing, 1.5);
         }},
        {"only one end of the route differs: kept", nullptr, [](TrafficRecord& r) { r.destination = "LHR"; }, true,
         false, [](Identity&, const LiveAc& a) { EXPECT_EQ(a.destination, "MAD"); }},
        {"flying back to the park airport: route and livery kept", nullptr,
         [](TrafficRecord& r) {
             r.origin = "MAD";
             r.destination = "AMS";
         },
         true, false, [](Identity&, const LiveAc& a) { EXPECT_EQ(a.origin, "AMS"); }},
        {"an empty route filled counts as a change",
         [](LiveAc& a) { a.destination.clear(); }, nullptr, false, true,
         [](Identity&, const LiveAc& a) { EXPECT_EQ(a.destination, "MAD"); }},
        {"a new registration of another airline: relivery",
         nullptr,
         [](TrafficRecord& r) {
             r.registration = "PH-NEW";
             r.callsign = "TRA123";
         },
         false, true,
         [](Identity& s, const LiveAc& a) {
             EXPECT_EQ(a.airline, "TRA");
             EXPECT_EQ(a.registration, "PH-NEW");
             EXPECT_TRUE(s.h.liveries.lookupTitleById(kHex).empty());
             // Title and phase go only once the respawn is under way (the record in liveryrespawn).
             const bool underWay = a.simState == SimState::liveryrespawn;
             EXPECT_EQ(a.liveryTitle.empty(), underWay);
             EXPECT_EQ(a.phase, underWay ? AcPhase::birth : AcPhase::flying);
         }},
        {"GUID_CHANGES off: identity changes, phase and title stay",
         nullptr,
         [](TrafficRecord& r) {
             r.registration = "PH-NEW";
             r.callsign = "TRA123";
         },
         true, false,
         [](Identity& s, const LiveAc& a) {
             EXPECT_EQ(a.airline, "TRA");
             EXPECT_EQ(a.callsign, "TRA123");
             EXPECT_EQ(a.phase, AcPhase::flying);
             EXPECT_EQ(a.liveryTitle, "KLM 737");
             EXPECT_TRUE(s.h.liveries.lookupTitleById(kHex).empty()) << "the remembered title is forgotten";
         },
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Identity s(row.guidChanges);
        if (row.setup) row.setup(s.ac());
        TrafficRecord r = s.record();
        if (row.edit) row.edit(r);
        EXPECT_EQ(respawnAc(s.ac(), r), row.result);
        EXPECT_EQ(s.h.logText().find("respawns") != std::string::npos, row.respawned);
        // The respawn takes the object out and keeps the record for its return.
        EXPECT_EQ(s.ac().simState == SimState::liveryrespawn, row.respawned);
        if (row.check) row.check(s, s.ac());
    }
}

TEST(Relivery, Matrix)
{
    struct Row {
        const char* name;
        std::string acRegistration;
        std::string acCallsign;
        std::string recordRegistration;
        std::string recordCallsign;
        bool liveryKept;  // lf_mergeRegistration's result
        std::string airline;
    };
    const std::vector<Row> rows = {
        {"no registration in the record", "PH-BXA", "KLM1", "", "KLM1", true, "KLM"},
        {"same registration", "PH-BXA", "KLM1", "PH-BXA", "KLM1", true, "KLM"},
        {"database: another airline, callsign agrees", "PH-BXA", "KLM1", "PH-NEW", "TRA1", false, "TRA"},
        {"database: another airline, callsign disagrees", "PH-BXA", "KLM1", "PH-NEW", "EZY1", true, "KLM"},
        {"database: callsign without an airline", "PH-BXA", "KLM1", "PH-NEW", "PHNEW", true, "KLM"},
        {"database: operator equal to the airline", "PH-BXA", "KLM1", "PH-OPR", "TRA1", true, "KLM"},
        {"database: same airline and type", "PH-BXA", "KLM1", "PH-KLM", "KLM1", true, "KLM"},
        {"unknown registration", "PH-BXA", "KLM1", "PH-ZZZ", "TRA1", true, "KLM"},
        {"no registration yet: regcode title differs", "", "KLM1", "PH-REG", "KLM1", false, "KLM"},
        {"no registration yet: regcode title equal", "", "KLM1", "PH-SAME", "KLM1", true, "KLM"},
        {"no registration yet: database airline", "", "KLM1", "PH-NEW", "KLM1", false, "TRA"},
        {"no registration yet: database operator is the airline", "", "KLM1", "PH-OPR", "KLM1", true, "KLM"},
        {"callsign was the registration: regcode path", "PH-BXA", "PH-BXA", "PH-REG", "KLM1", false, "KLM"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Identity s;
        LiveAc& a = s.ac();
        a.registration = row.acRegistration;
        a.callsign = row.acCallsign;
        TrafficRecord r = s.record();
        r.registration = row.recordRegistration;
        r.callsign = row.recordCallsign;
        EXPECT_EQ(lf_mergeRegistration(a, r), row.liveryKept);
        EXPECT_EQ(a.airline, row.airline);
        EXPECT_EQ(a.registration, row.recordRegistration.empty() ? row.acRegistration : row.recordRegistration);
        EXPECT_EQ(s.h.liveries.lookupTitleById(kHex).empty(), !row.liveryKept);
    }
}

}  // namespace
