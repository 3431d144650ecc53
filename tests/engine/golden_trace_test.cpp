// A minute of three aircraft (one on approach, one taxiing, one parked) from
// the buffered start on, with every call the engine makes of the simulator in
// order: creations, the calls of the creation replies, the lights toggles, the
// activation's events and lights. Positions and the periodic requests are left
// out. The expected text pins the order; a change to it must be deliberate.

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/flight_plans.h"
#include "support/airport_scenario.h"
#include "support/sim_world.h"

namespace {

constexpr double start = 1'700'000'000.0;
const ParkAirportInfo eham{"EHAM", "AMS", 52.3086, 4.7639, -11.0};

// The three aircraft at time t (seconds after the start).
nlohmann::json answerAt(double t)
{
    EntrySpec approach;  // 12 nm north, southbound at 180 kt, descending
    approach.hexId = 0x484a01;
    approach.callsign = "KLM123";
    approach.type = "B738";
    approach.registration = "PH-BXA";
    approach.origin = "LEMD";
    approach.destination = "EHAM";
    approach.lat = eham.lat + (12.0 - 180.0 * t / 3600.0) / 60.0;
    approach.lon = eham.lon;
    approach.track = 180;
    approach.altitude = 4000 - 10 * t;
    approach.groundSpeed = 180;
    approach.verticalRate = -600;
    approach.time = start + t;

    EntrySpec taxi;  // eastbound on a taxiway at 12 kt
    taxi.hexId = 0x484a02;
    taxi.callsign = "DLH456";
    taxi.type = "A320";
    taxi.registration = "D-AIZA";
    taxi.origin = "EHAM";
    taxi.destination = "EDDF";
    taxi.lat = eham.lat + 0.005;
    taxi.lon = eham.lon + 12.0 * t / 3600.0 / (60.0 * std::cos(eham.lat * 0.017453292519943295));
    taxi.track = 90;
    taxi.altitude = 0;
    taxi.groundSpeed = 12;
    taxi.time = start + t;

    EntrySpec parked;  // standing, no route
    parked.hexId = 0x484a03;
    parked.callsign = "BAW789";
    parked.type = "E190";
    parked.registration = "G-LCYA";
    parked.origin.clear();
    parked.destination.clear();
    parked.lat = eham.lat - 0.004;
    parked.lon = eham.lon + 0.002;
    parked.track = 270;
    parked.altitude = 0;
    parked.groundSpeed = 0;
    parked.time = start + t;

    return nlohmann::json::array({trafficEntry(approach), trafficEntry(taxi), trafficEntry(parked)});
}

std::vector<std::string> runMinute()
{
    EngineHarness h(scenarioAtAirport(eham));
    for (const auto& [type, category] : {std::pair{"B738", AcCategory::Large}, std::pair{"A320", AcCategory::Large},
                                         std::pair{"E190", AcCategory::Buzjets}}) {
        h.liveries.knownTypes.insert(type);
        h.liveries.categories[type] = category;
    }
    h.liveries.titles["KLM B738"] = "KLM Boeing 737-800";
    h.liveries.titles["DLH A320"] = "Lufthansa A320";
    h.liveries.titles["BAW E190"] = "BA CityFlyer E190";
    SimWorld world;
    world.setUser(userStateAt(eham), true);

    std::vector<std::string> lines;
    std::size_t seen = 0;
    const std::string folder = flightPlanFolder().string() + "/";
    h.afterFlush = [&] {
        world.answer();
        const auto calls = world.calls.get();
        for (; seen < calls.size(); ++seen) {
            std::string line = calls[seen];
            if (line.rfind("requestType ", 0) == 0 || line.rfind("request 109 ", 0) == 0) continue;
            if (const auto at = line.find(folder); at != std::string::npos) line.replace(at, folder.size(), "orig_dest/");
            lines.push_back(std::to_string(tickCounter.load()) + " " + line);
        }
    };
    for (int k = 4; k >= 0; --k) h.handOver(answerAt(-6.0 * k), 6 * (4 - k));
    for (int tick = 0; tick < 6000; ++tick) {
        if (tick > 0 && tick % 200 == 0) h.handOver(answerAt(tick / 100.0), 30);
        h.tick(1);
    }
    return lines;
}

// Event ids: 207 beacon, 208 nav, 209 taxi, 210 strobes, 211 landing, 212 cabin,
// 213 logo, 214 all lights toggle, 215-217 freezes, 218 flaps, 219 spoilers,
// 220 gear, 221 engine auto-start, 222 shutdown, 223 throttle. Objects from 100
// on. The aircraft on approach (102) gets its lights below 10000 ft at its first
// due sample, then cabin lights and gear up at every due sample while the
// simulator has not reported it within 2400 ft of the ground.
const char* const golden = R"(
3 create BA CityFlyer E190 BAW789 104
3 request 111 404 100 1
5 release 100 103
7 request 102 405 100 1
7 event 100 215 1
7 event 100 216 1
7 event 100 217 1
53 create Lufthansa A320 DLH456 104
53 request 111 404 101 1
55 event 100 214 0
55 release 101 103
57 flightPlan 101 orig_dest/101.pln 110
57 request 102 405 101 1
57 event 101 215 1
57 event 101 216 1
57 event 101 217 1
57 event 101 223 0
103 create KLM Boeing 737-800 KLM123 104
103 request 111 404 102 1
105 event 100 214 0
105 event 101 214 0
105 release 102 103
107 flightPlan 102 orig_dest/102.pln 110
107 request 102 405 102 1
107 event 102 215 1
107 event 102 216 1
107 event 102 217 1
107 event 102 208 1
107 event 102 207 1
107 event 102 211 1
107 event 102 209 1
107 event 102 210 1
107 event 102 213 1
107 event 102 212 1
107 event 102 212 1
107 event 102 220 0
107 release 102 103
107 event 102 218 0
107 release 102 103
155 event 101 214 0
155 event 102 214 0
205 event 102 214 0
207 event 100 219 0
207 event 100 221 0
207 event 100 208 1
207 event 100 207 1
207 event 100 211 0
207 event 100 209 1
207 event 100 210 0
207 event 100 213 1
207 event 100 212 1
207 event 100 223 0
207 release 100 103
207 event 100 218 3072
207 release 100 103
257 event 101 219 0
257 event 101 221 0
257 event 101 208 1
257 event 101 207 1
257 event 101 211 0
257 event 101 209 1
257 event 101 210 0
257 event 101 213 1
257 event 101 212 1
257 release 101 103
257 event 101 218 3072
257 release 101 103
307 event 102 221 0
307 event 102 219 0
699 event 102 212 1
699 event 102 220 0
1287 event 102 212 1
1287 event 102 220 0
1867 event 102 212 1
1867 event 102 220 0
2449 event 102 212 1
2449 event 102 220 0
3035 event 102 212 1
3035 event 102 220 0
3629 event 102 212 1
3629 event 102 220 0
4229 event 102 212 1
4229 event 102 220 0
4837 event 102 212 1
4837 event 102 220 0
5451 event 102 212 1
5451 event 102 220 0
)";

TEST(GoldenTrace, AMinuteOfThreeAircraft)
{
    const std::vector<std::string> lines = runMinute();
    std::string text = "\n";
    for (const auto& l : lines) text += l + "\n";
    EXPECT_EQ(text, golden);
    EXPECT_EQ(runMinute(), lines);  // and the same again
}

}  // namespace
