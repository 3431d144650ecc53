#pragma once
// A clean engine for one motion test: options at their defaults, tick 0, no
// aircraft, stands or queued events, QNH 1013, user position unknown; the
// airport and simulator fakes installed; Log.txt in a scratch folder.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/airport_services_fake.h"
#include "simlink/sim_api_fake.h"

std::vector<std::string>& parkingStubCalls();

class MotionTest : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Lines of Log.txt (the banner first).
    std::vector<std::string> logLines() const;

    AirportServicesFake airports;
    SimApiFake sim;
    std::filesystem::path logDir_;
};
