#pragma once
// A clean engine for one motion test (header-only: the harness library has no
// GoogleTest): the engine reset, options at their defaults, tick 0, no stands,
// QNH 1013, user position unknown; the airport and simulator fakes installed;
// Log.txt in a scratch folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "core/airport_services_fake.h"
#include "core/log.h"
#include "core/options.h"
#include "core/random.h"
#include "core/startup_globals.h"
#include "engine/motion.h"
#include "engine/stand.h"
#include "simlink/sim_api_fake.h"
#include "simlink/sim_queues.h"
#include "support/engine_harness.h"

class MotionTest : public testing::Test {
protected:
    void SetUp() override
    {
        resetEngineForTest();
        resetOptionsToDefaults();
        resetStartupGlobals();
        seedRandomEngine(1234);
        clearStands();
        standUpdateCount = 0;
        std::random_device rd;
        logDir_ = std::filesystem::temp_directory_path() / ("vrmt-motion-" + std::to_string(rd()));
        std::filesystem::create_directories(logDir_);
        gf_openLog(logDir_);
    }
    void TearDown() override
    {
        closeLog();
        std::error_code ec;
        std::filesystem::remove_all(logDir_, ec);
        resetEngineForTest();
        clearStands();
    }

    // Lines of Log.txt (the banner first).
    std::vector<std::string> logLines() const
    {
        std::vector<std::string> lines;
        std::ifstream in(logDir_ / "Log.txt");
        std::string line;
        while (std::getline(in, line)) {
            if (!line.empty()) lines.push_back(line);
        }
        return lines;
    }

    AirportServicesFake airports;
    SimApiFake sim;
    std::filesystem::path logDir_;
};
