// The whole program in this process: the simulator stand-in (its world loop on
// a thread) and the service stand-in over real sockets, the headless window, a
// program folder under the build folder made from a generated livery library,
// on a clock a hundred times faster than real time. The program starts,
// connects, logs in and creates AI aircraft in the stand-in; a simulator lost
// restarts the run; the window's close ends it with every thread ended.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <thread>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "core/log.h"
#include "engine/adding_stack.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "liveries/data_crypto.h"
#include "liverygen.h"
#include "platform/ui.h"
#include "scene.h"
#include "service_standin.h"
#include "shell/app_frame.h"
#include "shell/closing.h"
#include "shell/startup.h"
#include "shell/main_window.h"
#include "simlink/sc_packets.h"
#include "simlink/sim_client.h"
#include "simstandin/world_loop.h"
#include "support/sim_fixture.h"
#include "traffic_service/traffic_reader.h"
#include "traffic_service/weather.h"

namespace {

namespace fs = std::filesystem;

// Away from the service query's default box (round EHAM), so the first
// requests find the scene only with the box made round the user aircraft.
const standin::SceneAirport lf_airport{"EDDF", 50.0333, 8.5706, 364, 250};

// What the simulator stand-in saw (its thread).
struct SimSide {
    std::atomic<std::uint32_t> creations{0};
    std::atomic<std::int32_t> firstCreationTick{-1};  // the engine's tick at the first creation of the process
    void observe(const simstandin::RecordedPacket& p)
    {
        if (!p.is(sc::Op::AICreateNonATCAircraft)) return;
        if (creations++ == 0) firstCreationTick = tickCounter.load();
    }
};

class ShellEndToEnd : public simtest::SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        scopedClock_.reset();
        clock_ = nullptr;
        scopedClock_ = std::make_unique<platform::ScopedClock>(std::make_shared<platform::ScaledClock>(0.01));
        home_ = fs::current_path();
        // Beside the test program in the build folder, wherever it is run from.
        world_ = fs::canonical("/proc/self/exe").parent_path() / "e2e_world";
        makeWorld();
        fs::current_path(world_);
        ::setenv("VRMT_APPDATA", (world_ / "appdata").c_str(), 1);
        resetDataFolderPath();
        setParametersFile({});
        gf_openLog(world_);
        // A program run before in this process left its run state: back to a start's.
        resetSession();
        mainWindow().restartMark = false;
        restartPending = false;
        ui::resetUi();
    }
    void TearDown() override
    {
        stopWorld();
        closeLog();
        fs::current_path(home_);
        ::unsetenv("VRMT_APPDATA");
        ::unsetenv("VRMT_SERVICE_URL");
        ::unsetenv("VRMT_SERVICE_KEY");
        resetDataFolderPath();
        SimFixture::TearDown();
    }

    // docs, the database the generated library is made for, the airport list,
    // and the options: the library as the livery folder, the service key.
    void makeWorld()
    {
        fs::remove_all(world_);
        fs::create_directories(world_ / "docs");
        fs::create_directories(world_ / "input");
        const auto library = liverygen::generateLiveryLibrary(world_ / "ai", 120, 7);
        gf_encryptFile(DataDecryptionKey, library.dbaseXml, world_ / "input" / "dbase.enc");
        std::ofstream(world_ / "input" / "airports_p3d.xml")
            << "<?xml version=\"1.0\"?>\n<airports>\n<airport code=\"EDDF\" iata=\"FRA\" lat=\"50.0333\" "
               "lon=\"8.5706\" alt=\"364\"/>\n</airports>\n";
        fs::create_directories(world_ / "appdata" / "VRMT_P3D");
        std::ofstream(world_ / "appdata" / "VRMT_P3D" / "parameters.xml")
            << "<?xml version=\"1.0\"?>\n<parameters>\n"
            << "<parameter name=\"PROGRAM_VERSION\" value=\"11.0.3\"/>\n"
            << "<parameter name=\"SIM_INSTALL_PATH\" value=\"C:\\Prepar3D v5\"/>\n"
            << "<parameter name=\"lfolder0\" value=\"" << (world_ / "ai").string() << "\"/>\n"
            << "<parameter name=\"SCAN_LIVERIES\" value=\"true\"/>\n"
            << "<parameter name=\"SCAN_AIRPORTS\" value=\"false\"/>\n"
            << "<parameter name=\"LIG_AUTOMATIC\" value=\"false\"/>\n"
            << "<parameter name=\"AFG_AUTOMATIC\" value=\"false\"/>\n"
            << "<parameter name=\"MATCHING_DEPTH\" value=\"4\"/>\n"
            << "<parameter name=\"RT_LICENSE\" value=\"KEY\"/>\n"
            << "</parameters>\n";
    }

    void startWorld()
    {
        startServer();
        simstandin::UserAircraft user = server_->user();
        user.state.zuluYear = 2023;
        user.state.zuluDayOfYear = 318;
        server_->setUser(user);
        server_->setPacketObserver([this](const simstandin::RecordedPacket& p) { sim.observe(p); });
        worldStop_ = false;
        simstandin::WorldScript script{lf_airport.lat, lf_airport.lon, lf_airport.elevationFt};
        worldThread_ = std::thread([this, script] { simstandin::runWorldLoop(*server_, script, worldStop_); });
    }
    void stopWorld()
    {
        worldStop_ = true;
        if (worldThread_.joinable()) worldThread_.join();
    }

    std::string logText() const
    {
        std::ifstream in(world_ / "Log.txt");
        return {std::istreambuf_iterator<char>(in), {}};
    }
    std::size_t logCount(const std::string& text) const
    {
        const std::string log = logText();
        std::size_t n = 0;
        for (auto at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
        return n;
    }

    fs::path home_;
    fs::path world_;
    SimSide sim;
    std::atomic<bool> worldStop_{false};
    std::thread worldThread_;
};

// Waits in real time (bounded) for a condition; the program runs on its own threads.
bool lf_within(double seconds, const std::function<bool()>& ready)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

TEST_F(ShellEndToEnd, StartsCreatesAircraftRestartsTwiceAfterSimulatorLossesAndCloses)
{
    startWorld();
    standin::FakeTrafficService service;
    service.setScene(std::make_shared<standin::Scene>(lf_airport, 2, [] { return platform::wallSeconds(); }));
    service.setIntervals(2000, 2000);
    service.start();
    ::setenv("VRMT_SERVICE_URL", service.baseUrl().c_str(), 1);
    ::setenv("VRMT_SERVICE_KEY", "KEY", 1);

    std::atomic<double> firstAircraftAt{-1};
    std::atomic<double> closedAt{-1};
    std::atomic<std::int32_t> liveriesAtFirst{-1};
    std::atomic<std::int32_t> liveriesAtSecond{-2};
    std::string failure;
    const auto realStart = std::chrono::steady_clock::now();
    const auto since = [realStart] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - realStart).count();
    };
    std::thread user([&] {
        const auto fail = [&failure](const std::string& what) { failure = what; };
        if (!lf_within(60, [this] { return mainWindow().window.load() != 0; })) return fail("no window");
        const ui::Handle window = mainWindow().window.load();
        if (!lf_within(60, [this] { return sim.creations.load() > 0; })) {
            ui::driver::close(window);
            return fail("no aircraft created");
        }
        firstAircraftAt = since();
        liveriesAtFirst = statusPanel().liveriesCount.load();
        // The simulator goes away: the run ends with reason 5 and restarts.
        stopWorld();
        server_->stop();
        if (!lf_within(30, [this] { return logCount("Exiting: SIMCONNECT ERROR") == 1; })) {
            ui::driver::close(window);
            return fail("the lost simulator did not end the run");
        }
        const std::uint32_t before = sim.creations.load();
        startWorld();
        if (!lf_within(60, [this, before] { return sim.creations.load() > before; })) {
            ui::driver::close(window);
            return fail("no aircraft after the restart");
        }
        liveriesAtSecond = statusPanel().liveriesCount.load();
        // A second restart leaves what the first left: the same sizes.
        const std::size_t parkListAtSecond = parkAirports().size();
        stopWorld();
        server_->stop();
        if (!lf_within(30, [this] { return logCount("Exiting: SIMCONNECT ERROR") == 2; })) {
            ui::driver::close(window);
            return fail("the second loss did not end the run");
        }
        const std::uint32_t beforeThird = sim.creations.load();
        startWorld();
        if (!lf_within(60, [this, beforeThird] { return sim.creations.load() > beforeThird; })) {
            ui::driver::close(window);
            return fail("no aircraft after the second restart");
        }
        if (statusPanel().liveriesCount.load() != liveriesAtSecond.load() || parkAirports().size() != parkListAtSecond ||
            airportList.size() != 1)
            fail("the second restart did not start from a first start's sizes");
        const double closeAsked = since();
        ui::driver::close(window);
        if (!lf_within(30, [this] { return mainWindow().window.load() == 0; })) return fail("the close hung");
        closedAt = since() - closeAsked;
    });
    const int code = appMain();
    user.join();
    service.stop();

    EXPECT_EQ(failure, "");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(logCount("Exiting: SIMCONNECT ERROR"), 2u);
    EXPECT_EQ(logCount("Exiting: USER CLOSED SIM"), 1u);
    EXPECT_EQ(service.requests("auth").size(), 3u) << "one login a run";
    EXPECT_EQ(logCount("dbase records read"), 1u) << "the database is read once per process";
    // Live batches are due 30 s after they come: only the buffered traffic of the
    // reader's first request can make an aircraft sooner.
    EXPECT_GE(sim.firstCreationTick.load(), 0);
    EXPECT_LT(sim.firstCreationTick.load(), 2500) << "the buffered traffic was lost";
    EXPECT_EQ(logCount("Restarting after 9 seconds"), 2u);
    // The restart started from what a first start has: the same liveries, one airport list.
    EXPECT_GT(liveriesAtFirst.load(), 0);
    EXPECT_EQ(liveriesAtSecond.load(), liveriesAtFirst.load());
    EXPECT_EQ(airportList.size(), 1u);
    // Every thread of the program has ended.
    EXPECT_FALSE(simClientThreadStarted());
    EXPECT_TRUE(trafficReader().finished.load());
    EXPECT_TRUE(weatherClient().finished.load());
    EXPECT_TRUE(closingFlag.load());
    if (HasFailure()) std::printf("%s\n", logText().c_str());
    std::printf("end to end: first aircraft after %.2f s, the close took %.2f s (real time)\n",
                firstAircraftAt.load(), closedAt.load());
}

TEST_F(ShellEndToEnd, ARefusedLoginRestartsAndALicenseErrorWaitsForTheClose)
{
    startWorld();
    standin::FakeTrafficService service;
    service.setScene(std::make_shared<standin::Scene>(lf_airport, 2, [] { return platform::wallSeconds(); }));
    service.setIntervals(2000, 2000);
    service.start();
    service.push("auth", standin::Reply::empty());  // no login once: reason 6, a restart
    ::setenv("VRMT_SERVICE_URL", service.baseUrl().c_str(), 1);
    ::setenv("VRMT_SERVICE_KEY", "KEY", 1);
    std::string failure;
    std::thread user([&] {
        const auto fail = [&failure](const std::string& what) { failure = what; };
        if (!lf_within(60, [] { return mainWindow().window.load() != 0; })) return fail("no window");
        const ui::Handle window = mainWindow().window.load();
        if (!lf_within(60, [this] { return logCount("Exiting: READER ERROR") == 1; })) {
            ui::driver::close(window);
            return fail("the refused login did not end the run");
        }
        if (!lf_within(60, [this] { return logCount("Authenticated at RT server") == 1; })) {
            ui::driver::close(window);
            return fail("the restarted run did not log in");
        }
        // Now the key is refused for good: the run stops and waits for the user.
        service.push("auth", standin::Reply::json({{"status", 402}}));
        stopWorld();
        server_->stop();
        if (!lf_within(60, [this] { return logCount("Exiting: SIMCONNECT ERROR") == 1; })) {
            ui::driver::close(window);
            return fail("the lost simulator did not end the run");
        }
        startWorld();
        if (!lf_within(60, [this] { return logCount("Exiting: SYSTEM ERROR") == 1; })) {
            ui::driver::close(window);
            return fail("the license error did not end the run");
        }
        platform::sleepFor(std::chrono::seconds(30));  // program time: nothing happens
        if (!ui::isWindow(window) || logCount("User closed VRMT_P3D") != 0) return fail("did not wait for the user");
        ui::driver::close(window);
    });
    const int code = appMain();
    user.join();
    service.stop();
    EXPECT_EQ(failure, "");
    EXPECT_EQ(code, 0);
    EXPECT_EQ(logCount("Error 402: Your RealTraffic license is not valid, check the license key"), 1u);
    EXPECT_EQ(logCount("User closed VRMT_P3D"), 1u);
    EXPECT_EQ(logCount("Exiting: "), 3u);
    EXPECT_FALSE(simClientThreadStarted());
    EXPECT_TRUE(trafficReader().finished.load());
    EXPECT_TRUE(weatherClient().finished.load());
    if (HasFailure()) std::printf("%s\n", logText().c_str());
}

}  // namespace
