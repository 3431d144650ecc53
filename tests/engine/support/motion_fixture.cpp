#include "support/motion_fixture.h"

#include <fstream>
#include <random>

#include "core/log.h"
#include "core/options.h"
#include "core/random.h"
#include "core/run_state.h"
#include "core/startup_globals.h"
#include "engine/motion.h"
#include "engine/stand.h"
#include "simlink/sim_queues.h"

void MotionTest::SetUp()
{
    resetOptionsToDefaults();
    resetStartupGlobals();
    resetRunState();
    seedRandomEngine(1234);
    tickCounter.store(0);
    liveAircraft.clear();
    staticAircraft.clear();
    clearStands();
    standUpdateCount = 0;
    resetSimQueues();
    parkingStubCalls().clear();
    engineQnh.store(1013);
    engineUserAc = {};
    fastRangeRequest = false;
    std::random_device rd;
    logDir_ = std::filesystem::temp_directory_path() / ("vrmt-motion-" + std::to_string(rd()));
    std::filesystem::create_directories(logDir_);
    gf_openLog(logDir_);
}

void MotionTest::TearDown()
{
    closeLog();
    std::error_code ec;
    std::filesystem::remove_all(logDir_, ec);
    liveAircraft.clear();
    staticAircraft.clear();
    clearStands();
    resetSimQueues();
}

std::vector<std::string> MotionTest::logLines() const
{
    std::vector<std::string> lines;
    std::ifstream in(logDir_ / "Log.txt");
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}
