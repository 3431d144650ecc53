// The service stand-in's scene, as a replay of the engine sees it: positions
// that agree with the reported speeds, and a new flight for every round.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

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

struct Flown {
    std::size_t steps = 0;
    std::size_t flights = 0;
    std::size_t holdingSteps = 0;  // at 250 kt, 5,000 ft or higher
};

// Two planes of each role and `holding` holding planes, looked at every half
// second from a minute before the scene's start to 1,000 s after it.
void flyScene(int holding, Flown& flown)
{
    double now = start;
    const standin::Scene scene(standin::SceneAirport{}, 2, [&now] { return now; }, holding);
    std::map<std::string, Seen> seen;
    std::map<std::string, std::string> callsignOf;
    auto& [steps, flights, holdingSteps] = flown;
    for (double t = start - 60; t <= start + 1000; t += 0.5) {
        const json data = scene.liveData(t, 90, -90, -180, 180);
        ASSERT_EQ(data.size(), 12u + static_cast<std::size_t>(holding));
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
            if (e[4].get<double>() >= 5000.0 && gs1 == 250.0) ++holdingSteps;
        }
    }
}

TEST(Scene, PositionsKeepTheReportedSpeedsAndEachRoundIsANewFlight)
{
    Flown roles, withHolding;
    flyScene(0, roles);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_GT(roles.steps, 20000u);
    EXPECT_GT(roles.flights, 20u);  // every moving plane flew several rounds
    EXPECT_EQ(roles.holdingSteps, 0u);

    // A holding plane stays one flight, seen at every step at its level and speed.
    flyScene(3, withHolding);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(withHolding.flights, roles.flights + 3);
    EXPECT_EQ(withHolding.holdingSteps, 3u * 2120u);
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

// Light planes as multilateration sees them: an answer between two fixes
// repeats the last one, the fixes come 4 s apart at the speed served (each
// plane's own, throughout), without an airspeed, low over the airport's
// ground; every other plane climbs and descends on the way.
TEST(Scene, LightPlanesAreFixedEveryFourSecondsAtTheirOwnSpeed)
{
    double now = start;
    const standin::SceneAirport airport;
    const standin::Scene scene(airport, 0, [&now] { return now; }, 0, 6);
    std::map<std::string, json> lastFix;
    std::map<std::string, double> lowest, highest;
    std::size_t fixes = 0;
    for (double t = start; t <= start + 600; t += 0.5) {
        const json data = scene.liveData(t, 90, -90, -180, 180);
        ASSERT_EQ(data.size(), 6u);
        for (const auto& [hex, e] : data.items()) {
            SCOPED_TRACE(hex + " at " + std::to_string(t - start));
            EXPECT_EQ(e[17], "X_mlat");
            EXPECT_EQ(e[20], -1);  // no airspeed
            EXPECT_LE(t - e[10].get<double>(), 4.0);
            const double height = e[4].get<double>() - airport.elevationFt;
            const auto low = lowest.emplace(hex, height).first;
            const auto high = highest.emplace(hex, height).first;
            low->second = std::min(low->second, height);
            high->second = std::max(high->second, height);
            const auto it = lastFix.find(hex);
            if (it != lastFix.end() && it->second[10] != e[10]) {
                const json& before = it->second;
                ASSERT_NEAR(e[10].get<double>() - before[10].get<double>(), 4.0, 1e-6);
                const double gs = e[5].get<double>();
                EXPECT_EQ(gs, before[5].get<double>());
                const double nm = distanceNm({before[1].get<double>(), before[2].get<double>()},
                                             {e[1].get<double>(), e[2].get<double>()});
                EXPECT_NEAR(nm / 4.0 * 3600.0, gs, 0.01 * gs);
                ++fixes;
            } else if (it != lastFix.end()) {
                EXPECT_EQ(it->second, e);  // between fixes the answer repeats the last one
            }
            lastFix[hex] = e;
        }
    }
    EXPECT_GT(fixes, 6u * 140u);
    std::size_t climbing = 0;
    for (const auto& [hex, low] : lowest) {
        EXPECT_GE(low, 390.0) << hex;
        EXPECT_LE(highest[hex], 1900.0) << hex;
        if (highest[hex] - low > 700.0) ++climbing;
    }
    EXPECT_EQ(climbing, 3u);
}

// Departing light planes, seen likewise: each flight first on the ground (waiting
// on its strip or at its roll's start), rolling and climbing at the speeds it
// reports, slowly (200 ft/min), a new flight (hex id and callsign) every 600 s.
TEST(Scene, LightDeparturesRollAndClimbSlowlyAsANewFlightEachRound)
{
    double now = start;
    const standin::SceneAirport airport;
    const standin::Scene scene(airport, 0, [&now] { return now; }, 0, 0, 3);
    std::map<std::string, json> lastFix;
    std::map<std::string, double> highest;
    std::set<std::string> callsigns;
    for (double t = start; t <= start + 1300; t += 0.5) {
        const json data = scene.liveData(t, 90, -90, -180, 180);
        ASSERT_EQ(data.size(), 3u);
        for (const auto& [hex, e] : data.items()) {
            SCOPED_TRACE(hex + " at " + std::to_string(t - start));
            EXPECT_EQ(e[17], "X_mlat");
            const double height = e[4].get<double>() > 0 ? e[4].get<double>() - airport.elevationFt : 0.0;
            const auto it = lastFix.find(hex);
            if (it == lastFix.end()) {
                EXPECT_TRUE(callsigns.insert(e[13].get<std::string>()).second) << "a callsign flies once";
                EXPECT_EQ(height, 0.0);
                EXPECT_LE(e[5].get<double>(), 20.0);
            } else if (it->second[10] != e[10]) {
                const json& before = it->second;
                const double gs0 = before[5].get<double>(), gs1 = e[5].get<double>();
                const double nm = distanceNm({before[1].get<double>(), before[2].get<double>()},
                                             {e[1].get<double>(), e[2].get<double>()});
                EXPECT_LE(nm, std::max(gs0, gs1) * 4.0 / 3600.0 * 1.02 + 0.0005);
                EXPECT_GE(nm, std::min(gs0, gs1) * 4.0 / 3600.0 * 0.98 - 0.0005);
                const double beforeFt =
                    before[4].get<double>() > 0 ? before[4].get<double>() - airport.elevationFt : 0.0;
                EXPECT_GE(height, beforeFt);
                EXPECT_LE(height - beforeFt, 200.0 * 4.0 / 60.0 + 25.0 + 1e-6);
                EXPECT_LE(gs1, 80.0);
            }
            lastFix[hex] = e;
            highest[hex] = std::max(highest[hex], height);
        }
    }
    // Rounds 0, 1 and 2 of each.
    EXPECT_EQ(callsigns.size(), 9u);
    std::size_t climbedAway = 0;
    for (const auto& [hex, h] : highest) climbedAway += h > 1500.0 ? 1 : 0;
    EXPECT_EQ(climbedAway, 6u);  // the first two rounds, to nearly 2,000 ft
}

}  // namespace

// Many flights a role: on one field they stack on its runway (a landing every
// 2 s at 120 a role), spread over fields they keep apart on the ground. The
// closest two planes on the ground come, while either moves, looked at every
// second over a round of the longest role.
TEST(Scene, ManyFlightsSpreadOverFieldsKeepApartOnTheGround)
{
    struct Row {
        const char* name;
        int perRole, sites;
        double closestAtLeastM;  // 0: they meet (closer than two wide-bodies' half spans)
    };
    const Row rows[] = {
        {"120 a role on one field", 120, 1, 0.0},
        {"120 a role over 24 fields", 120, 24, 70.0},
        {"84 a role over 17 fields", 84, 17, 70.0},
    };
    constexpr double cellM = 100.0, metresPerDegree = 111120.0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        double now = start;
        const standin::Scene scene(standin::SceneAirport{}, row.perRole, [&now] { return now; }, 0, 0, 0, row.sites);
        double closest = 1e9, farthestNm = 0;
        for (double t = start; t <= start + 440; t += 1.0) {
            struct OnGround {
                double north, east;
                bool moving;
            };
            std::map<std::pair<long, long>, std::vector<OnGround>> cells;
            const json data = scene.liveData(t, 90, -90, -180, 180);
            for (const auto& [hex, e] : data.items()) {
                if (e[4].get<double>() > 0) continue;  // aloft
                const standin::SceneAirport ap;
                farthestNm = std::max(farthestNm, distanceNm({ap.lat, ap.lon}, {e[1].get<double>(), e[2].get<double>()}));
                const double north = e[1].get<double>() * metresPerDegree;
                const double east = e[2].get<double>() * metresPerDegree * std::cos(52.3 * 0.0174533);
                const OnGround g{north, east, e[5].get<double>() > 0};
                const long cn = std::lround(std::floor(north / cellM)), ce = std::lround(std::floor(east / cellM));
                for (long dn = -1; dn <= 1; ++dn)
                    for (long de = -1; de <= 1; ++de) {
                        const auto it = cells.find({cn + dn, ce + de});
                        if (it == cells.end()) continue;
                        for (const OnGround& o : it->second)
                            if (o.moving || g.moving) closest = std::min(closest, std::hypot(o.north - north, o.east - east));
                    }
                cells[{cn, ce}].push_back(g);
            }
        }
        EXPECT_LT(farthestNm, 10.5);  // inside the program's box on the ground
        if (row.closestAtLeastM > 0) {
            EXPECT_GE(closest, row.closestAtLeastM);
        } else {
            EXPECT_LT(closest, 70.0);
        }
    }
}
