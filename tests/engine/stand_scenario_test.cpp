// Scenarios on the hand-built airport, the engine driven tick by tick against
// the simulated world: arrivals choosing stands, conflicting stands, ghosts,
// duplicate statics and the learning of stand use. The log tells the story.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/options.h"
#include "engine/adding_stack.h"
#include "engine/ghosts.h"
#include "engine/motion.h"
#include "engine/slot_records.h"
#include "engine_records.h"
#include "stand_airport.h"
#include "support/sim_world.h"

using namespace standtest;

namespace {

constexpr double t0 = 1'700'000'000.0;

struct Point {
    double north, east, groundSpeed;
};

// One aircraft's entries, 16 s apart from `start`, on the ground (the merge drops
// a slow or standing sample that follows the last one within 15 s).
nlohmann::json track(std::uint32_t hex, const std::string& callsign, const std::vector<Point>& points,
                     double start = t0, const std::string& type = "B738")
{
    nlohmann::json out = nlohmann::json::array();
    for (std::size_t i = 0; i < points.size(); ++i) {
        const LatLon p = offset(points[i].north, points[i].east);
        EntrySpec e;
        e.hexId = hex;
        e.callsign = callsign;
        e.registration = "PH-" + callsign;
        e.type = type;
        e.lat = p.lat;
        e.lon = p.lon;
        e.altitude = 0;
        e.groundSpeed = points[i].groundSpeed;
        e.track = 0;
        e.time = start + 16.0 * static_cast<double>(i);
        out.push_back(trafficEntry(e));
    }
    return out;
}

nlohmann::json standing(std::uint32_t hex, const std::string& callsign, double north, double east,
                        double start = t0)
{
    return track(hex, callsign, {{north, east, 0}, {north, east, 0}, {north, east, 0}}, start);
}

void append(nlohmann::json& to, const nlohmann::json& more)
{
    for (const auto& e : more) to.push_back(e);
}

class Scene {
public:
    explicit Scene(LatLon user = offset(-3000, 0)) : a(options(user))
    {
        a.h.liveries.knownTypes = {"B738", "A320"};
        a.h.liveries.titles["KLM B738"] = "KLM 737";
        a.h.liveries.titles["DLH B738"] = "Lufthansa 737";
        a.h.liveries.titles["BAW B738"] = "BA 737";
        a.h.liveries.titles["EZY B738"] = "easyJet 737";
        a.h.liveries.titles["UAL B738"] = "United 737";
        UserAcState u{};
        u.latitude = user.lat;
        u.longitude = user.lon;
        u.altitude = park.elevationFt;
        world.setUser(u, true);
        a.h.afterFlush = [this] { world.answer(); };
        parking_percentage.set(100);  // room for every parked aircraft here
        a.h.onTick = [this](const TickTrace&) {
            for (const LiveAc& ac : liveAircraft) {
                if (ac.simState == SimState::adding2sim && born.count(ac.callsign) == 0)
                    born[ac.callsign] = {ac.phase, ac.standId};
            }
        };
    }
    static ScenarioOptions options(LatLon user)
    {
        ScenarioOptions o = standOptions();
        o.user = user;
        o.ownSimApi = false;
        return o;
    }
    const LiveAc* live(const std::string& callsign) const
    {
        for (const LiveAc& ac : liveAircraft)
            if (ac.callsign == callsign) return &ac;
        return nullptr;
    }
    std::string log() const { return a.h.logText(); }
    // The virtual wall clock: entries are stamped with it, as the service would.
    double now() { return a.h.clock().wallSeconds(); }

    struct Birth {
        AcPhase phase;
        std::uint32_t standId;
    };
    StandAirport a;
    SimWorld world;
    std::map<std::string, Birth> born;
};

}  // namespace

TEST(StandScenario, ArrivalsChooseStandsButNeverTheReservedOrTheUsers)
{
    Scene s(offset(1, 320));  // the user aircraft stands at B1
    s.a.h.airports.reservedStand = "A1";
    nlohmann::json entries = nlohmann::json::array();
    append(entries, standing(0x484001, "KLM1", 2, 60));    // at A2
    append(entries, standing(0x484002, "DLH2", 1, 0));     // at A1, reserved
    append(entries, standing(0x484003, "BAW3", -2, 320));  // at B1, the user's
    // Taxiing in and slowing to a stop 3 m short of A3.
    append(entries, track(0x484004, "EZY4",
                          {{-300, 120, 14}, {-190, 120, 12}, {-95, 120, 9}, {-30, 120, 5}, {-3, 120, 2},
                           {-3, 120, 0}, {-3, 120, 0}, {-3, 120, 0}}));
    s.a.h.handOver(entries, 6);
    s.a.h.tick(12000);
    const std::string log = s.log();
    ASSERT_EQ(s.born.count("KLM1"), 1u) << log;
    EXPECT_EQ(s.born["KLM1"].phase, AcPhase::parked);
    EXPECT_EQ(s.born["KLM1"].standId, A2);
    const auto klm = s.world.objectByTail("KLM1");
    ASSERT_TRUE(klm.has_value());
    EXPECT_NEAR(klm->position.latitude, standPos(A2).lat, 1e-9) << "created at the stand itself";
    for (const char* cs : {"DLH2", "BAW3"}) {
        SCOPED_TRACE(cs);
        ASSERT_EQ(s.born.count(cs), 1u) << log;
        EXPECT_EQ(s.born[cs].phase, AcPhase::taxi);
        EXPECT_EQ(s.born[cs].standId, 0u);
    }
    EXPECT_EQ(s.born["EZY4"].phase, AcPhase::taxi);
    const LiveAc* ezy = s.live("EZY4");
    ASSERT_NE(ezy, nullptr) << log;
    EXPECT_EQ(ezy->standId, A3) << log;
    EXPECT_EQ(ezy->phase, AcPhase::parked) << log;
    EXPECT_NE(log.find("A2      : KLM1     born at stand"), std::string::npos) << log;
    EXPECT_NE(log.find("A3      : EZY4     arrived at stand"), std::string::npos) << log;
    EXPECT_NE(log.find("A1      :          kept for the user aircraft, DLH2 taxis"), std::string::npos) << log;
    EXPECT_NE(log.find("B1      :          kept for the user aircraft, BAW3 taxis"), std::string::npos) << log;
}

TEST(StandScenario, ConflictingStands)
{
    Scene s;
    // A static on A3 and one on its neighbour A3A, and a live aircraft parked on A3A.
    staticAircraft.push_back(staticAc(1, "S1*", A3));
    staticAircraft.push_back(staticAc(2, "S2*", A3A));
    nlohmann::json first = standing(0x484001, "KLM1", 0, 140);  // at A3A
    s.a.h.handOver(first, 6);
    s.a.h.tick(1500);
    ASSERT_NE(s.live("KLM1"), nullptr);
    EXPECT_EQ(s.live("KLM1")->standId, A3A);
    // The static under it and the one on the neighbour stand, 20 m away, make way.
    ASSERT_EQ(staticAircraft.size(), 2u);
    EXPECT_EQ(staticAircraft[0].simState, SimState::removingfromsim);
    EXPECT_EQ(staticAircraft[1].simState, SimState::removingfromsim);
    EXPECT_NE(s.log().find("A3      : S1*      makes way for KLM1 parking at excluded stand A3A"), std::string::npos)
        << s.log();
    // A newborn standing at A3, 20 m from it, is not created.
    s.a.h.handOver(standing(0x484002, "DLH2", 0, 121, s.now()), 6);
    s.a.h.tick(1500);
    EXPECT_EQ(s.live("DLH2"), nullptr) << s.log();
    EXPECT_NE(s.log().find("A3      : DLH2     stand held, not created"), std::string::npos) << s.log();
    EXPECT_FALSE(s.world.objectByTail("DLH2").has_value());
    // A taxiing aircraft parks at A3 all the same: the one on A3A goes, the static on A3 makes way.
    // The first two entries together, then one entry a request, as the live feed sends them.
    const nlohmann::json ezy = track(0x484003, "EZY3",
                                     {{-300, 120, 14}, {-190, 120, 12}, {-95, 120, 9}, {-30, 120, 5}, {-3, 120, 2},
                                      {-3, 120, 0}, {-3, 120, 0}, {-3, 120, 0}},
                                     s.now());
    s.a.h.handOver(nlohmann::json::array({ezy[0], ezy[1]}), 20);
    for (std::size_t i = 2; i < ezy.size(); ++i) {
        s.a.h.tick(1600);
        s.a.h.handOver(nlohmann::json::array({ezy[i]}), 20);
    }
    s.a.h.tick(1600);
    // Standing 3 m short of A3 beside the parked KLM1: sent into A3, it clears the neighbour.
    LiveAc* ezyAc = findLive(0x484003);
    ASSERT_NE(ezyAc, nullptr);
    ASSERT_EQ(ezyAc->phase, AcPhase::taxi);
    try2Park(*ezyAc, false);
    s.a.h.tick(6000);
    const std::string log = s.log();
    EXPECT_EQ(s.live("KLM1"), nullptr) << log;
    ASSERT_NE(s.live("EZY3"), nullptr) << log;
    EXPECT_EQ(s.live("EZY3")->standId, A3) << log;
    EXPECT_NE(log.find("A3A     : KLM1     removed by parking EZY3 at adjacent and possibly colliding stand A3"),
              std::string::npos)
        << log;
}

TEST(StandScenario, Ghosts)
{
    Scene s;
    // DLH4_ parked at A1; then DLH4 appears: the ghost goes.
    s.a.h.handOver(standing(0x484001, "DLH4_", 1, 0), 6);
    s.a.h.tick(1500);
    ASSERT_NE(s.live("DLH4_"), nullptr);
    s.a.h.handOver(standing(0x484002, "DLH4", 1, 60, s.now()), 6);
    s.a.h.tick(1500);
    EXPECT_EQ(s.live("DLH4_"), nullptr) << s.log();
    EXPECT_NE(s.live("DLH4"), nullptr);
    // A ghost born at a stand a real DLH5 holds never displaces it.
    s.a.h.handOver(standing(0x484003, "DLH5", 0, 220, s.now()), 6);
    s.a.h.tick(1500);
    s.a.h.handOver(standing(0x484004, "DLH5_", 0, 221, s.now()), 6);
    s.a.h.tick(1500);
    EXPECT_NE(s.live("DLH5"), nullptr);
    EXPECT_FALSE(s.world.objectByTail("DLH5_").has_value());
    // UAL1 and UAL12 are not each other's ghosts.
    s.a.h.handOver(standing(0x484005, "UAL12", 120, 0, s.now()), 6);
    s.a.h.tick(1500);
    s.a.h.handOver(standing(0x484006, "UAL1", 0, 320, s.now()), 6);
    s.a.h.tick(1500);
    EXPECT_NE(s.live("UAL12"), nullptr);
    EXPECT_NE(s.live("UAL1"), nullptr);
    const std::string log = s.log();
    EXPECT_NE(log.find("A1      : DLH4_    is a ghost and will be removed, continue with DLH4"), std::string::npos)
        << log;
}

TEST(StandScenario, DuplicateStaticsGoOneACall)
{
    Scene s;
    SimAc byHex = staticAc(1, "S1*", A1);
    byHex.source = 0;
    byHex.linkedAircraftId = 0x484001;
    SimAc byReg = staticAc(2, "S2*", A2);
    byReg.registration = "PH-KLM1";
    SimAc byCs = staticAc(3, "S3*", A3);
    byCs.coupledCs = "KLM1";
    staticAircraft = {byHex, byReg, byCs};
    s.a.h.handOver(standing(0x484001, "KLM1", 120, 220), 6);  // on the cargo ramp
    s.a.h.tick(1500);
    LiveAc* klm = findLive(0x484001);
    ASSERT_NE(klm, nullptr);
    for (int call = 0; call < 3; ++call) {
        resolveSameIdentity(*klm, true);
        int going = 0;
        for (const SimAc& st : staticAircraft) going += st.simState == SimState::removingfromsim;
        EXPECT_EQ(going, call + 1);
    }
    const std::string log = s.log();
    EXPECT_NE(log.find("has same hexid"), std::string::npos) << log;
    EXPECT_NE(log.find("has same regcode PH-KLM1"), std::string::npos);
    EXPECT_NE(log.find("has same callsign"), std::string::npos);
}

TEST(StandScenario, LearningOncePerThreeHalfHours)
{
    Scene s;
    LEARN_SOFT.set(true);
    MAX_HOLDING_MINUTES.set(1);  // a stream that ends on the ground holds for a minute
    const std::vector<Point> vanishing{{300, 300, 14}, {185, 300, 14}, {70, 300, 14}};
    const auto run = [&](std::uint32_t slot, double start) {
        s.a.h.airports.calls.clear();
        currentSlotAndWeekday.store(packSlotAndWeekday(static_cast<int>(slot), 3));
        s.a.h.handOver(track(0x484001, "KLM1", vanishing, start), 6);
        s.a.h.tick(30000);
        return s.a.h.airports.calls.count("addStandOptionPT");
    };
    EXPECT_EQ(run(20, s.now()), 1u) << s.log();
    EXPECT_EQ(run(22, s.now()), 0u) << "within three half hours";
    EXPECT_EQ(run(23, s.now()), 1u) << "three half hours later";
    // Known at a stand: recorded there with "extend" set.
    std::vector<Stand> v = airportStands();
    v[A2 - 1].seenSoft[0x484001] = StandSighting{1, 3, 10};
    s.a.useStands(v);
    s.a.h.airports.calls.clear();
    currentSlotAndWeekday.store(packSlotAndWeekday(30, 3));
    s.a.h.handOver(track(0x484001, "KLM1", vanishing, s.now()), 6);
    s.a.h.tick(30000);
    const auto calls = s.a.h.airports.calls.get();
    EXPECT_NE(std::find(calls.begin(), calls.end(),
                        vr::format("addStandOptionPT {} KLM1 true {} false", A2, packSlotAndWeekday(30, 3))),
              calls.end());
}
