// The static parking's story at one airport, on the engine's tick with the
// simulated world answering as the simulator would: the user aircraft stands
// at the airport, its stands load, parked traffic and learned options become
// statics one per 50 ticks, twenty minutes later the renewal replaces what
// changed, a taxiing live aircraft clears a static out of its way, and when the
// user aircraft has left, every static is gone and what was learned is saved.
// The minutes pass on the virtual clock; the main cycle's cadences (the
// park-airport step every 16 s, the renewal in two halves, the collision pass
// every second) are called as it calls them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

#include "airports/airport_list.h"
#include "airports/airport_load.h"
#include "airports/airport_services_impl.h"
#include "airports/learned_merge.h"
#include "airports/park_airports.h"
#include "airports/parking_renewal.h"
#include "airports/stand_file.h"
#include "airports/static_parking.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "core/time.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/slot_records.h"
#include "support/engine_harness.h"
#include "support/sim_world.h"
#include "support/tiny_airport.h"
#include "traffic_service/parked_record.h"
#include "traffic_service/traffic_reader.h"

namespace {

using testing::HasSubstr;

using tiny::parkedAt;
using tiny::standLat;
constexpr double kLat0 = tiny::lat0;
constexpr double kLon = tiny::lon;
constexpr const char* kPublisher = tiny::publisher;

class StaticParkingScenario : public testing::Test {
protected:
    void SetUp() override
    {
        previousDir_ = std::filesystem::current_path();
        std::random_device rd;
        root_ = std::filesystem::temp_directory_path() / ("vrmt_static_scenario_" + std::to_string(rd()));
        for (const char* f : {"airports/my_thirdparty", "airports/learned/thirdparty", "input"})
            std::filesystem::create_directories(root_ / f);
        std::filesystem::current_path(root_);
        resetOptionsToDefaults();
    }
    void TearDown() override
    {
        setParkedTrafficSource({});
        resetAirportList();
        resetOptionsToDefaults();
        std::filesystem::current_path(previousDir_);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    static std::filesystem::path learnedFile() { return tiny::learnedFile(); }

    // One second of the main cycle: 100 ticks, then the per-second work.
    void second()
    {
        for (int i = 0; i < 100; ++i) {
            h_->clock().advance(std::chrono::milliseconds(10));
            h_->tick(1);
        }
        currentSlotAndWeekday = slotAndWeekday();
        ++seconds_;
        removeStaticsNearLiveStep();
        if (seconds_ % 15 == 0) return;  // the 15-second work (the renewal halves are called by the test)
        if (seconds_ % 16 == 0) updateStaticParking(false);
    }
    void runSeconds(int n)
    {
        for (int i = 0; i < n; ++i) second();
    }
    // The statics in the world by tail, and the stands they stand at.
    std::set<std::string> worldStatics() const
    {
        std::set<std::string> tails;
        for (const WorldObject& o : world_->objects())
            if (!o.tail.empty() && o.tail.back() == '*') tails.insert(o.tail);
        return tails;
    }
    std::set<std::string> staticStands() const
    {
        std::set<std::string> names;
        for (const SimAc& st : staticAircraft)
            if (st.simState == SimState::active) names.insert(sidName(st.standId));
        return names;
    }

    std::unique_ptr<EngineHarness> h_;
    std::unique_ptr<SimWorld> world_;
    std::vector<ParkedTrafficRecord> parked_;
    int seconds_ = 0;

private:
    std::filesystem::path previousDir_;
    std::filesystem::path root_;
};

TEST_F(StaticParkingScenario, FromArrivalToDeparture)
{
    ScenarioOptions options;
    options.user = {standLat("G1"), kLon};
    options.userAltitudeFt = -11;
    options.userHeightAboveGroundFt = 0;
    options.userGroundSpeedKt = 0;
    options.userOnGround = true;
    options.ownSimApi = false;
    h_ = std::make_unique<EngineHarness>(options);
    world_ = std::make_unique<SimWorld>();
    h_->afterFlush = [this] { world_->answer(); };
    UserAcState user{};
    user.latitude = standLat("G1");
    user.longitude = kLon;
    world_->setUser(user, true);
    AirportServicesImpl airports;
    setAirportServices(&airports);
    for (const auto& [key, title] : std::map<std::string, std::string>{{"KLM B738", "KLM 737-800"},
                                                                       {"DLH A320", "Lufthansa A320"},
                                                                       {"EZY A320", "easyJet A320"},
                                                                       {"AFR A320", "Air France A320"},
                                                                       {"MPH B744", "Martinair 747F"}})
        h_->liveries.titles[key] = title;
    h_->liveries.halfSpans = {{"B738", 0.0097}, {"A320", 0.0096}, {"B744", 0.0175}};
    h_->liveries.categories = {{"B738", AcCategory::Large}, {"A320", AcCategory::Large}, {"B744", AcCategory::Heavy}};
    parking_percentage.set(60);  // 7 of 12
    MAX_FIT.set(47);
    COLLISION_LIVE_PARKED_GND.set(true);
    ASSERT_TRUE(tiny::writeAirport(weekdayOfPacked(slotAndWeekday()), "B744"));
    std::ofstream(myParkAirportsPath) << "EHAM,G2\n";
    ASSERT_TRUE(lf_readMyParkAirports());

    parked_ = {parkedAt("G4", 0x3c0004, "DLH", "A320", "DLH4"), parkedAt("R2", 0x400008, "EZY", "A320", "EZY8")};
    setParkedTrafficSource([this](std::vector<ParkedTrafficRecord>& out) {
        out = parked_;
        return true;
    });

    // Start: on the ground at G1, the parking is calculated at once.
    currentSlotAndWeekday = slotAndWeekday();
    updateStaticParking(true);
    ASSERT_EQ(currentParkAirport().code, "EHAM");
    ASSERT_EQ(stands.size(), 12u);
    EXPECT_EQ(reservedStand(), "G1");  // the stand the user aircraft stands at
    EXPECT_TRUE(mainControlsDisabled());
    const std::size_t planned = parkingSelections.size();
    EXPECT_EQ(planned, 6u);

    // One creation per 50 ticks: after 40 s every static stands active in the world.
    int createdBy = -1;
    for (int s = 0; s < 40; ++s) {
        second();
        if (createdBy < 0 && parkingSelections.empty() && staticStands().size() == planned) createdBy = s;
    }
    EXPECT_GE(createdBy, 2);  // not all at once
    EXPECT_FALSE(mainControlsDisabled());
    const std::set<std::string> firstStands = staticStands();
    EXPECT_EQ(firstStands.count("G1"), 0u);
    EXPECT_TRUE(firstStands.count("G4") && firstStands.count("R2") && firstStands.count("G3") &&
                firstStands.count("C1") && firstStands.count("G7"));
    EXPECT_EQ(firstStands.count("G5") + firstStands.count("G6"), 1u);  // one of the overlapping pair
    EXPECT_EQ(firstStands.count("R1"), 0u);                            // R2 holds its pair
    EXPECT_EQ(worldStatics().size(), planned);
    EXPECT_TRUE(worldStatics().count("DLH4*") && worldStatics().count("KLM3*"));

    // Something is learned while the user is here (a live aircraft arrives at G2).
    EXPECT_TRUE(lt_addStandOption(2, StandUser{0x4b0001, "KLM", "B738", "PH-BKZ", "KLM21"}, false,
                                  currentSlotAndWeekday.load(), false));

    // Twenty minutes later: the renewal in its two halves. DLH4 has left, AFR10
    // stands at C2, and KLM3 flies live now.
    runSeconds(1200 - seconds_);
    beginParkingRenewal();
    parked_ = {parkedAt("R2", 0x400008, "EZY", "A320", "EZY8"), parkedAt("C2", 0x390010, "AFR", "A320", "AFR10")};
    trafficReader().collect("KLM3", 0x484003);
    runSeconds(15);
    completeParkingRenewal(false);
    runSeconds(40);
    const std::set<std::string> renewed = worldStatics();
    EXPECT_EQ(renewed.count("DLH4*"), 0u);
    EXPECT_EQ(renewed.count("KLM3*"), 0u);
    EXPECT_EQ(renewed.count("AFR10*"), 1u);
    EXPECT_EQ(renewed.count("EZY8*"), 1u);
    EXPECT_EQ(renewed.count("MPH9*"), 1u);
    EXPECT_EQ(renewed.count("KLM21*"), 1u);  // what was learned at G2 this half hour

    // A live aircraft taxis past the static at C1.
    LiveAc taxiing;
    taxiing.aircraftId = 0x4c0001;
    taxiing.callsign = "TRA5";
    taxiing.simState = SimState::active;
    taxiing.groundReplySeen = true;
    taxiing.phase = AcPhase::taxi;
    taxiing.halfWingspan = 0.0097;
    taxiing.posBlock.latitude = standLat("C1") + 0.0001;
    taxiing.posBlock.longitude = kLon;
    taxiing.collisionTestPosition = {standLat("C1") + 0.001, kLon};
    liveAircraft.push_back(taxiing);
    removeStaticsNearLiveStep();
    liveAircraft.pop_back();
    runSeconds(5);
    EXPECT_EQ(worldStatics().count("MPH9*"), 0u);

    // The user aircraft takes off and leaves: every static goes, the learning is saved.
    user.latitude = kLat0 + 0.5;  // 30 nm north
    user.altitude = 5000;
    user.altAboveGround = 5000;
    world_->setUser(user, false);
    h_->setUser({user.latitude, user.longitude}, 5000, 5000, 0.0, 250, false);
    runSeconds(40);
    EXPECT_EQ(currentParkAirport().code, "");
    EXPECT_TRUE(worldStatics().empty());
    EXPECT_TRUE(staticAircraft.empty());

    // Read back with the loader: what was learned, nothing invented.
    std::vector<Stand> fresh;
    for (const tiny::StandSpec& stand : tiny::stands) fresh.emplace_back(stand.name, std::vector<SlotRecord>{}, 0.0, 0.0, 0.0, 20.0, stand.kind);
    AirportHeader header;
    header.publisher = kPublisher;
    header.airportName = "Tiny";
    lf_readLearned(learnedFile(), header, fresh);
    std::set<std::string> regs;
    for (const Stand& s : fresh)
        for (const SlotRecord& r : s.options) regs.insert(s.name + " " + r.reg);
    EXPECT_EQ(regs, (std::set<std::string>{"G2 PH-BKZ", "G3 PH-BKA", "G5 PH-BKB", "G6 PH-BKC", "R1 PH-BKD",
                                           "C1 PH-MPA", "G7 PH-BKE"}));

    const std::string log = h_->logText();
    EXPECT_THAT(log, HasSubstr("The park airport is EHAM (AMS)"));
    EXPECT_THAT(log, HasSubstr("2 parking positions from PT"));
    EXPECT_THAT(log, HasSubstr("is out of sight"));
    // What the message line showed (and the window logs).
    std::string shown;
    for (const auto& m : h_->app.messages())
        if (m.log) shown += m.text + "\n";
    EXPECT_THAT(shown, HasSubstr("Parking adjustments: 2 to be removed, 2 to be added")) << shown;
    EXPECT_THAT(shown, HasSubstr("saved with 1 update "));
    setAirportServices(&h_->airports);
}

}  // namespace
