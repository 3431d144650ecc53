// The stand at a position is asked by the simulator client and the traffic
// reader while the worker replaces, clears and enlarges the stands: every
// answer is one a published set of stands gives, never a torn one.

#include <gtest/gtest.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "engine/stand.h"
#include "engine/stand_search.h"
#include "simlink/user_aircraft.h"
#include "stand_airport.h"

using namespace standtest;

namespace {

std::vector<Stand> renamed(const std::string& prefix, std::size_t count)
{
    std::vector<Stand> v;
    for (std::size_t i = 0; i < count; ++i) {
        v.push_back(standAt(static_cast<std::uint32_t>(i + 1), prefix + std::to_string(i), 0,
                            static_cast<double>(i) * 60, 20));
    }
    return v;
}

}  // namespace

TEST(StandsThreads, NearestStandWhileTheWorkerReloads)
{
    StandAirport a;
    a.useStands(renamed("A", 1));
    userOnGround = true;
    std::atomic<bool> stop{false};
    std::atomic<int> answers{0};
    std::atomic<int> bad{0};
    const std::set<std::string> possible{"", "A0", "B0", "B2"};
    auto ask = [&](LatLon at) {
        while (!stop.load()) {
            const std::string name = nearestStandAirport(at);
            if (possible.count(name) == 0 && name.rfind("B", 0) != 0) ++bad;
            ++answers;
        }
    };
    // One asker stays at A0/B0, the other moves between two places.
    std::thread client(ask, offset(1, 0));
    std::thread reader([&] {
        int i = 0;
        while (!stop.load()) {
            const std::string name = nearestStandAirport(offset(1, (i++ % 2) * 120.0));
            if (possible.count(name) == 0) ++bad;
            ++answers;
        }
    });
    for (int round = 0; round < 300; ++round) {
        switch (round % 3) {
        case 0:
            a.useStands(renamed("A", 1));
            break;
        case 1:
            clearStands();
            break;
        default:
            a.useStands(renamed("B", 3 + static_cast<std::size_t>(round % 40)));  // enlarged
            break;
        }
        // The worker's own use of the stands between reloads.
        if (!stands.empty()) (void)findStandByName(stands.back().name);
    }
    while (answers.load() < 1000) std::this_thread::yield();
    stop = true;
    client.join();
    reader.join();
    EXPECT_EQ(bad.load(), 0);
    a.useStands(renamed("A", 1));
    EXPECT_EQ(nearestStandAirport(offset(1, 0)), "A0");
}
