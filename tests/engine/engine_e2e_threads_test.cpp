// The engine end to end: the simulator stand-in and the service stand-in in
// this process over real sockets, the SimClient and traffic reader threads
// running, and the engine ticking on this thread (the engine demo's loop) on a
// clock a hundred times faster than real time. The scene's aircraft must be
// created, moved and removed in the simulator stand-in's world.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <map>
#include <mutex>

#include "core/paths.h"
#include "engine_demo.h"
#include "scene.h"
#include "service_standin.h"
#include "simlink/sc_packets.h"
#include "support/sim_fixture.h"

namespace {

// What the simulator stand-in saw of the AI aircraft, from its packet observer
// (the stand-in's thread).
struct SimSide {
    std::mutex mutex;
    std::uint32_t creations = 0;
    std::uint32_t removals = 0;
    std::map<std::uint32_t, std::pair<double, double>> firstPosition;  // object -> lat, lon
    std::uint32_t movedObjects = 0;

    void observe(const simstandin::RecordedPacket& p)
    {
        std::lock_guard lock(mutex);
        if (p.is(sc::Op::AICreateNonATCAircraft)) ++creations;
        if (p.is(sc::Op::AIRemoveObject)) ++removals;
        if (p.is(sc::Op::SetDataOnSimObject) && p.u32(16) == DEF_AC_POSITION) {
            const std::uint32_t object = p.u32(20);
            const std::pair<double, double> at{p.f64(36), p.f64(44)};
            const auto [it, first] = firstPosition.emplace(object, at);
            if (!first && it->second != at && it->second.first != 0.0) {
                ++movedObjects;
                it->second = {0.0, 0.0};  // counted once
            }
        }
    }
    bool allSeen()
    {
        std::lock_guard lock(mutex);
        return creations > 0 && removals > 0 && movedObjects > 0;
    }
};

class EngineEndToEnd : public simtest::SimFixture {
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
    }
    void TearDown() override
    {
        ::unsetenv("VRMT_APPDATA");
        resetDataFolderPath();
        SimFixture::TearDown();
    }
    std::shared_ptr<platform::ScaledClock> scaled_;
    // Outlives the stand-in's thread, which TearDown stops.
    SimSide sim;
};

TEST_F(EngineEndToEnd, SceneAircraftAreCreatedMovedAndRemovedInTheSimulator)
{
    const EngineDemoOptions defaults;
    startServer();
    simstandin::UserAircraft user = server_->user();
    user.state.latitude = defaults.airport.lat;
    user.state.longitude = defaults.airport.lon;
    user.state.altitude = defaults.airport.elevationFt;
    user.state.zuluYear = 2023;
    user.state.zuluDayOfYear = 318;
    user.onGround = true;
    server_->setUser(user);
    server_->setPacketObserver([this](const simstandin::RecordedPacket& p) { sim.observe(p); });

    standin::FakeTrafficService service;
    standin::SceneAirport airport;
    airport.icao = defaults.airport.code;
    airport.lat = defaults.airport.lat;
    airport.lon = defaults.airport.lon;
    airport.elevationFt = defaults.airport.elevationFt;
    service.setScene(std::make_shared<standin::Scene>(airport, 2, [] { return platform::wallSeconds(); }));
    service.setIntervals(2000, 2000);  // a live answer every 2 s, as the service paces it
    service.start();

    std::atomic<bool> done{false};
    std::vector<std::string> lines;
    EngineDemoOptions options;
    options.serviceUrl = service.baseUrl();
    options.seconds = 600;  // a bound only: the run ends once everything was seen
    options.answerSeconds = 300;  // generous on a busy machine (3 s of real time)
    options.maxLiveSel = 10;  // fewer than the scene has: room is made by removals
    options.logFolder = dir_;
    options.stop = &done;
    options.print = [&lines](const std::string& line) { lines.push_back(line); };
    bool simStarted = false;
    options.afterTick = [&](std::int64_t tick) {
        // The simulator's frames (the flush) at about 33 a second, and its once-a-second replies.
        if (!simStarted) simStarted = server_->sendSim(true);
        if (tick % 3 == 0) server_->sendFrame(60.0f, 1.0f);
        if (tick % 100 == 0) {
            server_->tickSecond();
            if (sim.allSeen()) done = true;
        }
    };

    const auto realStart = std::chrono::steady_clock::now();
    const EngineDemoSummary summary = runEngineDemo(options);
    const double realSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
    service.stop();

    EXPECT_EQ(summary.exitCode, 0);
    EXPECT_TRUE(done.load()) << "created " << sim.creations << ", moved " << sim.movedObjects << ", removed "
                             << sim.removals;
    EXPECT_GT(summary.batches, 5u);  // the buffered start and live answers
    EXPECT_LE(summary.mostInSim, 10u);
    EXPECT_TRUE(summary.flightPlanFolderGone);
    EXPECT_FALSE(std::filesystem::exists(dataFolderPath() / "orig_dest"));
    // The demo disconnected: the simulator takes the client's objects away with it.
    EXPECT_TRUE(simtest::eventually([this] { return server_->aiObjects().empty(); }));
    if (HasFailure()) {
        for (const auto& line : lines) std::printf("%s\n", line.c_str());
    }
    // Shown, not asserted: the clock's pace makes it well under two seconds.
    std::printf("end to end: %lld ticks in %.2f s of real time\n", static_cast<long long>(summary.ticks), realSeconds);
}

// A simulator or a service that does not answer: one line says which, exit code 1.
TEST_F(EngineEndToEnd, NoSimulatorOrNoServiceGivesOneLineAndExitCodeOne)
{
    standin::FakeTrafficService gone;
    gone.start();
    const std::string deadUrl = gone.baseUrl();
    gone.stop();  // connections to it are refused from now on

    struct Row {
        const char* name;
        bool simulator;
        double answerSeconds;  // the simulator, when there is one, must answer in time on a busy machine
        const char* lastLine;
    };
    const Row rows[] = {
        {"no simulator", false, 2, "no simulator answered within 2 s"},
        {"no service", true, 300, "did not answer the login"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.simulator) startServer();
        std::vector<std::string> lines;
        EngineDemoOptions options;
        options.serviceUrl = deadUrl;
        options.answerSeconds = row.answerSeconds;
        options.logFolder = dir_;
        options.print = [&lines](const std::string& line) { lines.push_back(line); };
        const EngineDemoSummary summary = runEngineDemo(options);
        EXPECT_EQ(summary.exitCode, 1);
        ASSERT_FALSE(lines.empty());
        EXPECT_NE(lines.back().find(row.lastLine), std::string::npos) << lines.back();
        EXPECT_EQ(lines.size(), row.simulator ? 2u : 1u);  // with a simulator, its line first
        EXPECT_EQ(summary.ticks, 0);
        EXPECT_TRUE(summary.flightPlanFolderGone);
    }
}

}  // namespace
