// The service stand-in's scene, as a replay of the engine sees it: positions
// that agree with the reported speeds, and a new flight for every round.

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "core/geodesy.h"
#include "scene.h"

namespace {

using json = nlohmann::json;

constexpr double start = 1700000000.0;

struct Seen {
    json entry;
    double t = 0;
    double firstT = 0;
};

TEST(Scene, PositionsKeepTheReportedSpeedsAndEachRoundIsANewFlight)
{
    double now = start;
    const standin::Scene scene(standin::SceneAirport{}, 2, [&now] { return now; });
    std::map<std::string, Seen> seen;
    std::map<std::string, std::string> callsignOf;
    std::size_t steps = 0, flights = 0;
    for (double t = start - 60; t <= start + 1000; t += 0.5) {
        const json data = scene.liveData(t, 90, -90, -180, 180);
        ASSERT_EQ(data.size(), 12u);
        for (const auto& [hex, e] : data.items()) {
            SCOPED_TRACE(hex + " at " + std::to_string(t - start));
            const std::string callsign = e[13].get<std::string>();
            ASSERT_LE(callsign.size(), 8u);
            auto [cs, newFlight] = callsignOf.emplace(hex, callsign);
            EXPECT_EQ(cs->second, callsign);  // one flight, one callsign
            const auto it = seen.find(hex);
            if (it == seen.end()) {
                seen[hex] = {e, t, t};
                ++flights;
                continue;
            }
            // A flight is never seen again after it ended.
            ASSERT_DOUBLE_EQ(it->second.t, t - 0.5) << "reappears after " << it->second.t - start;
            const json& before = it->second.entry;
            const double dt = e[10].get<double>() - before[10].get<double>();
            ASSERT_NEAR(dt, 0.5, 1e-6);
            const double nm = distanceNm({before[1].get<double>(), before[2].get<double>()},
                                         {e[1].get<double>(), e[2].get<double>()});
            const double gs0 = before[5].get<double>(), gs1 = e[5].get<double>();
            const double slack = 0.02, tinyNm = 0.0005;
            ASSERT_LE(nm, std::max(gs0, gs1) * dt / 3600.0 * (1 + slack) + tinyNm);
            ASSERT_GE(nm, std::min(gs0, gs1) * dt / 3600.0 * (1 - slack) - tinyNm);
            it->second.entry = e;
            it->second.t = t;
            ++steps;
        }
    }
    EXPECT_GT(steps, 20000u);
    EXPECT_GT(flights, 20u);  // every moving plane flew several rounds
}

TEST(Scene, TheRoundUnderWayAtTheStartKeepsThePlanesOwnIds)
{
    double now = start;
    const standin::Scene scene(standin::SceneAirport{}, 2, [&now] { return now; });
    const json data = scene.liveData(start, 90, -90, -180, 180);
    for (int i = 0; i < 12; ++i) {
        char hex[8];
        std::snprintf(hex, sizeof hex, "%06x", 0x484000 + i);
        ASSERT_TRUE(data.contains(hex)) << hex;
        const std::string callsign = data[hex][13].get<std::string>();
        EXPECT_EQ(callsign.substr(3), std::to_string(100 + i));
    }
    // Later, the scene's clock having moved on, the same times give the same answer.
    now = start + 5000;
    EXPECT_EQ(scene.liveData(start, 90, -90, -180, 180), data);
}

}  // namespace
