// The static parking over real sockets: the simulator stand-in and the service
// stand-in in this process, the SimClient and traffic reader threads running,
// the engine ticking on the engine demo's loop on a clock a hundred times
// faster than real time, and the static parking called on the main cycle's
// cadences from the loop. The statics must stand in the stand-in's world,
// follow the parked answers at the renewal, and be gone when the user
// aircraft has left, with what was learned saved.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <mutex>
#include <set>

#include "airports/airport_list.h"
#include "airports/airport_services_impl.h"
#include "airports/park_airports.h"
#include "airports/parking_renewal.h"
#include "airports/static_parking.h"
#include "core/fmt.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "core/time.h"
#include "engine/slot_records.h"
#include "engine/stand.h"
#include "engine_demo.h"
#include "platform/clock.h"
#include "service_standin.h"
#include "support/sim_fixture.h"
#include "support/tiny_airport.h"

namespace {

using testing::HasSubstr;

class StaticParkingThreads : public simtest::SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        scopedClock_.reset();
        clock_ = nullptr;
        scaled_ = std::make_shared<platform::ScaledClock>(0.01);
        scopedClock_ = std::make_unique<platform::ScopedClock>(scaled_);
        std::filesystem::create_directories(dir_ / "appdata");
        ::setenv("VRMT_APPDATA", (dir_ / "appdata").c_str(), 1);
        resetDataFolderPath();
        previousDir_ = std::filesystem::current_path();
        std::filesystem::create_directories(dir_ / "program");
        std::filesystem::current_path(dir_ / "program");
        resetOptionsToDefaults();
    }
    void TearDown() override
    {
        std::filesystem::current_path(previousDir_);
        resetAirportList();
        resetOptionsToDefaults();
        ::unsetenv("VRMT_APPDATA");
        resetDataFolderPath();
        SimFixture::TearDown();
    }
    // The parked answer: the given flights at their stands, parked ten minutes ago.
    void setParked(std::vector<std::pair<std::string, std::string>> flightsAtStands)
    {
        std::lock_guard lock(parkedMutex_);
        parked_ = nlohmann::json::object();
        std::uint32_t id = 0x3c0001;
        for (const auto& [flight, stand] : flightsAtStands) {
            parked_[vr::format("{:06x}", id++)] = standin::makeParkedEntry(
                tiny::standLat(stand), tiny::lon, stand, "A320", "D-A" + flight, platform::wallSeconds() - 600, flight);
        }
    }
    standin::Reply parkedAnswer()
    {
        std::lock_guard lock(parkedMutex_);
        return standin::Reply::json({{"status", 200}, {"rrl", 2000}, {"data", parked_}});
    }
    std::set<std::string> worldStatics() const
    {
        std::set<std::string> tails;
        for (const simstandin::AiObject& o : server_->aiObjects())
            if (!o.atcId.empty() && o.atcId.back() == '*') tails.insert(o.atcId);
        return tails;
    }

    std::shared_ptr<platform::ScaledClock> scaled_;
    std::filesystem::path previousDir_;
    std::mutex parkedMutex_;
    nlohmann::json parked_ = nlohmann::json::object();
};

TEST_F(StaticParkingThreads, StaticsFollowTheParkedAnswersAndLeaveWithTheUser)
{
    const std::uint64_t start = slotAndWeekday();
    parking_percentage.set(60);  // 7 of 12 (the learned file keeps it)
    MAX_FIT.set(47);
    ASSERT_TRUE(tiny::writeAirport(weekdayOfPacked(start), "A332"));
    std::ofstream(myParkAirportsPath) << "EHAM,G2\n";
    ASSERT_TRUE(lf_readMyParkAirports());

    startServer();
    simstandin::UserAircraft user = server_->user();
    user.state.latitude = tiny::standLat("G1");
    user.state.longitude = tiny::lon;
    user.state.altitude = -11;
    user.state.zuluYear = 2023;
    user.state.zuluDayOfYear = 318;
    user.onGround = true;
    server_->setUser(user);

    standin::FakeTrafficService service;
    service.setIntervals(2000, 2000);
    setParked({{"DLH4", "G4"}, {"EZY8", "R2"}});
    service.setHandler("traffic.parked", [this](const standin::Request&) { return parkedAnswer(); });
    service.start();

    AirportServicesImpl airports;
    std::atomic<bool> done{false};
    std::vector<std::string> lines;
    std::vector<std::string> story;  // what the test saw, for a failure
    EngineDemoOptions options;
    options.airport = {"EHAM", "AMS", tiny::lat0 + 0.004, tiny::lon, -11.0};
    options.serviceUrl = service.baseUrl();
    options.seconds = 900;  // a bound only
    options.answerSeconds = 300;
    options.logFolder = dir_ / "program";
    options.stop = &done;
    options.print = [&lines](const std::string& line) { lines.push_back(line); };

    enum class Phase { parking, renewal, renewed, leaving, done } phase = Phase::parking;
    std::int64_t seconds = 0;
    std::int64_t phaseStart = 0;
    std::size_t planned = 0;
    bool simStarted = false;
    std::set<std::string> firstStatics, renewedStatics;
    simstandin::UserAircraft away = user;
    options.afterTick = [&](std::int64_t tick) {
        if (!simStarted) simStarted = server_->sendSim(true);
        if (tick % 3 == 0) server_->sendFrame(60.0f, 1.0f);
        if (tick % 100 != 0) return;
        server_->tickSecond();
        ++seconds;
        currentSlotAndWeekday = slotAndWeekday();
        if (seconds == 1) {
            setAirportServices(&airports);
            updateStaticParking(true);
            planned = parkingSelections.size();
            story.push_back(vr::format("{} planned", planned));
            return;
        }
        removeStaticsNearLiveStep();
        if (seconds % 16 == 0 && seconds % 15 != 0 && phase != Phase::renewal) updateStaticParking(false);
        const std::set<std::string> statics = worldStatics();
        switch (phase) {
        case Phase::parking:
            if (planned > 0 && parkingSelections.empty() && statics.size() == planned) {
                firstStatics = statics;
                setParked({{"EZY8", "R2"}, {"AFR10", "C2"}});
                beginParkingRenewal();
                phase = Phase::renewal;
                phaseStart = seconds;
            }
            break;
        case Phase::renewal:
            if (seconds - phaseStart == 15) {
                completeParkingRenewal(false);
                lt_addStandOption(2, StandUser{0x4b0001, "KLM", "B738", "PH-BKZ", "KLM21"}, false,
                                  currentSlotAndWeekday.load(), false);
                phase = Phase::renewed;
                phaseStart = seconds;
            }
            break;
        case Phase::renewed:
            if (statics.count("AFR10*") && !statics.count("DLH4*")) {
                renewedStatics = statics;
                phase = Phase::leaving;
                phaseStart = seconds;
            }
            break;
        case Phase::leaving:
            // Climbing away north at 3 nm a second (a jump of 10 nm would be a new flight).
            if (away.state.latitude < tiny::lat0 + 0.4) {
                away.state.latitude += 0.05;
                away.state.altitude += 300;
                away.state.altAboveGround += 300;
                away.onGround = false;
                server_->setUser(away);
            }
            if (currentParkAirport().code.empty() && statics.empty()) {
                phase = Phase::done;
                done = true;
            }
            break;
        case Phase::done: break;
        }
    };

    const EngineDemoSummary summary = runEngineDemo(options);
    service.stop();
    setAirportServices(nullptr);

    EXPECT_EQ(summary.exitCode, 0);
    EXPECT_EQ(phase, Phase::done) << "after " << seconds << " s";
    EXPECT_EQ(planned, 6u);
    EXPECT_TRUE(firstStatics.count("DLH4*") && firstStatics.count("EZY8*") && firstStatics.count("KLM3*"))
        << firstStatics.size();
    EXPECT_TRUE(renewedStatics.count("AFR10*") && renewedStatics.count("EZY8*"));
    EXPECT_FALSE(renewedStatics.count("DLH4*"));
    std::ifstream learned(tiny::learnedFile());
    const std::string saved((std::istreambuf_iterator<char>(learned)), std::istreambuf_iterator<char>());
    EXPECT_THAT(saved, HasSubstr("PH-BKZ"));  // learned at G2 while the user was there
    EXPECT_THAT(saved, testing::Not(HasSubstr("REGFAKE")));  // no invented registration
    EXPECT_THAT(saved, testing::Not(HasSubstr("reg=\"FAKE")));
    std::ifstream logFile(dir_ / "program" / "Log.txt");
    const std::string log((std::istreambuf_iterator<char>(logFile)), std::istreambuf_iterator<char>());
    for (const char* text : {"The park airport is EHAM (AMS)", "2 parking positions from PT", "Parking adjustments: ",
                             "is out of sight", "saved with 1 update"})
        EXPECT_THAT(log, HasSubstr(text));
    if (HasFailure()) {
        for (const auto& line : story) std::printf("%s\n", line.c_str());
        for (const auto& line : lines) std::printf("%s\n", line.c_str());
        std::ifstream log(dir_ / "program" / "Log.txt");
        for (std::string line; std::getline(log, line);) std::printf("log: %s\n", line.c_str());
    }
}

}  // namespace
