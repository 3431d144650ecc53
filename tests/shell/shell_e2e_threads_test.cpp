// The whole program in this process: the simulator stand-in (its world loop on
// a thread) and the service stand-in over real sockets, the headless window, a
// program folder under the build folder made from a generated livery library,
// on a clock a hundred times faster than real time. The program starts,
// connects, logs in and creates AI aircraft in the stand-in; a simulator lost
// restarts the run; the window's close ends it with every thread ended.

#include <gtest/gtest.h>

#include "e2e_fixture.h"

namespace {

using namespace shelle2e;

TEST_F(ShellEndToEnd, StartsCreatesAircraftRestartsTwiceAfterSimulatorLossesAndCloses)
{
    startWorld();
    standin::FakeTrafficService service;
    startService(service);

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
        if (const std::string lost = loseAndRegainSimulator(1); !lost.empty()) {
            ui::driver::close(window);
            return fail(lost);
        }
        liveriesAtSecond = statusPanel().liveriesCount.load();
        // A second restart leaves what the first left: the same sizes.
        const std::size_t parkListAtSecond = parkAirports().size();
        if (const std::string lost = loseAndRegainSimulator(2); !lost.empty()) {
            ui::driver::close(window);
            return fail(lost);
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
    startService(service);
    service.push("auth", standin::Reply::empty());  // no login once: reason 6, a restart
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
