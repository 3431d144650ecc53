#pragma once
// The whole program in this process, for the end-to-end tests: the simulator
// stand-in (its world loop on a thread) and the service stand-in over real
// sockets, the headless window, a program folder under the build folder made
// from a generated livery library, on a clock a hundred times faster than
// real time (a test may set another before it starts the world).

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "airports/airport_list.h"
#include "airports/park_airports.h"
#include "core/fmt.h"
#include "core/log.h"
#include "engine/adding_stack.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "liveries/data_crypto.h"
#include "liverygen.h"
#include "motion_judge.h"
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


namespace shelle2e {

namespace fs = std::filesystem;


// Away from the service query's default box (round EHAM), so the first
// requests find the scene only with the box made round the user aircraft.
inline const standin::SceneAirport lf_airport{"EDDF", 50.0333, 8.5706, 364, 250};

// The clock of a judged whole-program run: ten times faster than real time,
// not a hundred, so that a packet read a few milliseconds late does not show
// as a second late. A sanitizer's build stalls for tens of milliseconds at a
// time, so there it runs at twice real time.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr double judgedRealSecondsPerSecond = 0.5;
#else
inline constexpr double judgedRealSecondsPerSecond = 0.1;
#endif

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

// Waits in real time (bounded) for a condition; the program runs on its own threads.
inline bool lf_within(double seconds, const std::function<bool()>& ready)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!ready()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class ShellEndToEnd : public simtest::SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        scopedClock_.reset();
        clock_ = nullptr;
        scopedClock_ = std::make_unique<platform::ScopedClock>(std::make_shared<platform::ScaledClock>(0.01));
        home_ = fs::current_path();
        // Beside the test program in the build folder, wherever it is run from;
        // one folder a test program, so two of them can run at once.
        const fs::path exe = fs::canonical("/proc/self/exe");
        world_ = exe.parent_path() / (exe.filename().string() + "_world");
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
        startServer(standIn_);
        simstandin::UserAircraft user = server_->user();
        user.state.zuluYear = 2023;
        user.state.zuluDayOfYear = 318;
        server_->setUser(user);
        server_->setPacketObserver([this](const simstandin::RecordedPacket& p) { sim.observe(p); });
        worldStop_ = false;
        worldThread_ = std::thread([this, script = script_] { simstandin::runWorldLoop(*server_, script, worldStop_); });
    }
    void stopWorld()
    {
        worldStop_ = true;
        if (worldThread_.joinable()) worldThread_.join();
    }

    // The service stand-in with the scene's planes round the airport (two a
    // role, `light` light planes circling and `lightDepartures` departing), answering
    // every 2 s, and the program pointed at it.
    void startService(standin::FakeTrafficService& service, int perRole = 2, int light = 0, int lightDepartures = 0)
    {
        scene_ = std::make_shared<standin::Scene>(lf_airport, perRole, [] { return platform::wallSeconds(); }, 0,
                                                  light, lightDepartures);
        sceneFrom_ = platform::wallSeconds();
        service.setScene(scene_);
        service.setIntervals(2000, 2000);
        service.start();
        ::setenv("VRMT_SERVICE_URL", service.baseUrl().c_str(), 1);
        ::setenv("VRMT_SERVICE_KEY", "KEY", 1);
    }

    // The simulator goes away (`beforeStop` runs once its world loop has
    // stopped, before its server does) and comes back: the run ends with
    // reason 5, the `nth` time, and the restarted run creates aircraft again.
    // An empty text, or what went wrong.
    std::string loseAndRegainSimulator(std::size_t nth, const std::function<void()>& beforeStop = {})
    {
        stopWorld();
        if (beforeStop) beforeStop();
        server_->stop();
        if (!lf_within(30, [this, nth] { return logCount("Exiting: SIMCONNECT ERROR") == nth; }))
            return vr::format("loss {} of the simulator did not end the run", nth);
        const std::uint32_t before = sim.creations.load();
        startWorld();
        if (!lf_within(60, [this, before] { return sim.creations.load() > before; }))
            return vr::format("no aircraft after restart {}", nth);
        return "";
    }

    // Runs the program to its close: once its window is there and it created
    // an aircraft, `flight` runs (program time passes in it; it returns what
    // went wrong, or an empty text), then the window is closed. The program's
    // exit code; `failure` what went wrong on the way, or empty.
    int runUntilClosed(const std::function<std::string()>& flight, std::string& failure)
    {
        std::thread user([&] {
            const auto fail = [&failure](const std::string& what) { failure = what; };
            if (!lf_within(60, [] { return mainWindow().window.load() != 0; })) return fail("no window");
            const ui::Handle window = mainWindow().window.load();
            if (!lf_within(60, [this] { return sim.creations.load() > 0; })) {
                ui::driver::close(window);
                return fail("no aircraft created");
            }
            if (const std::string wrong = flight(); !wrong.empty()) {
                ui::driver::close(window);
                return fail(wrong);
            }
            ui::driver::close(window);
            if (!lf_within(30, [] { return mainWindow().window.load() == 0; })) return fail("the close hung");
        });
        const int code = appMain();
        user.join();
        return code;
    }

    // Gives each stream (judged from the stand-in's tracks) the feed the
    // scene served its callsign, on the tracks' clock. An empty text, or what went wrong.
    std::string attachFeed(std::vector<motionjudge::Stream>& streams) const
    {
        const std::string feed = vr::format("#clock,{:.4f}\n", platform::wallSeconds() - simstandin::trackClockSeconds()) +
                                 scene_->feedCsv(sceneFrom_ - 120.0, platform::wallSeconds());
        std::vector<motionjudge::Stream> fed;
        std::vector<double> none;
        std::string error;
        if (!motionjudge::parseStreamsCsv(feed + motionjudge::streamsCsv(streams, {}), fed, none, &error)) return error;
        if (fed.size() != streams.size()) return "the feed's streams are not the tracks'";
        for (std::size_t i = 0; i < streams.size(); ++i) streams[i].fed = fed[i].fed;
        return "";
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
    // The simulator stand-in and its world (a test may change them before it starts the world).
    simstandin::StandInOptions standIn_;
    simstandin::WorldScript script_{lf_airport.lat, lf_airport.lon, lf_airport.elevationFt};
    std::shared_ptr<standin::Scene> scene_;  // the service's, and when it was made (wall seconds)
    double sceneFrom_ = 0.0;
    SimSide sim;
    std::atomic<bool> worldStop_{false};
    std::thread worldThread_;
};

}  // namespace shelle2e
