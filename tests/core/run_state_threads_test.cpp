#include <chrono>
#include <functional>
#include <atomic>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/run_state.h"

namespace {

TEST(RunStateThreads, ExactlyOneOfManyRacingSettersWins)
{
    for (int round = 0; round < 50; ++round) {
        resetRunState();
        std::atomic<int> winners{0};
        {
            std::vector<std::jthread> threads;
            for (int i = 1; i <= 7; ++i) {
                // New settings may take an error's place on purpose (a second,
                // later win); the first-come rule is raced by the others.
                if (static_cast<ClosingReason>(i) == ClosingReason::NewSettings) continue;
                threads.emplace_back([i, &winners] {
                    // Reason i always goes with delay 10 * i, so a mixed pair would show.
                    const bool won = i == 4 ? setClosingReasonIfUnset(ClosingReason::UserClosedSim, 40)
                                            : requestClosing(static_cast<ClosingReason>(i), 10 * i);
                    if (won) ++winners;
                });
            }
        }
        EXPECT_EQ(winners.load(), 1);
        EXPECT_EQ(restartDelaySeconds(), 10 * static_cast<int>(closingReason()));
    }
    resetRunState();
}

TEST(RunStateThreads, WhoeverSeesTheFlagFindsTheReason)
{
    // Every loop polls closingFlag and then reads the reason: it must never find
    // the flag set and the reason still unset.
    for (int round = 0; round < 2000; ++round) {
        resetRunState();
        std::atomic<bool> ready{false};
        ClosingReason seen = ClosingReason::NotYetSet;
        std::int32_t seenDelay = 0;
        std::thread poller([&] {
            ready = true;
            while (!closingFlag.load()) {
            }
            seen = closingReason();
            seenDelay = restartDelaySeconds();
        });
        while (!ready.load()) {
        }
        requestClosing(ClosingReason::NewFlight, 30);
        poller.join();
        ASSERT_EQ(seen, ClosingReason::NewFlight) << "round " << round;
        ASSERT_EQ(seenDelay, 30) << "round " << round;
    }
    resetRunState();
}

}  // namespace

// A wait on the stop flags ends as soon as a stop is announced, whichever flag
// it is and however long the wait was to be: a close never waits for a sleep.
TEST(RunStateThreads, AStopEndsEveryWaitAtOnce)
{
    std::atomic<bool> own{false};
    struct Row {
        const char* name;
        std::function<bool()> wait;  // the wait under test; false: ended by a stop
        std::function<void()> stop;
    };
    const Row rows[] = {
        {"a close", [] { return sleepUnlessStopped(std::chrono::hours(1)); },
         [] { requestClosing(ClosingReason::UserClosedSim, 0); }},
        {"the window's close", [] { return sleepUnlessStopped(std::chrono::hours(1)); },
         [] {
             windowClosedFlag = true;
             notifyStop();
         }},
        {"a thread's own stop", [&] { return sleepUnlessStopped(std::chrono::hours(1), &own); },
         [&] {
             own = true;
             notifyStop();
         }},
        {"one flag alone", [&] { return sleepUnlessSet(std::chrono::hours(1), own); },
         [&] {
             own = true;
             notifyStop();
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetRunState();
        own = false;
        std::atomic<bool> waiting{false};
        bool result = true;
        const auto start = std::chrono::steady_clock::now();
        std::thread waiter([&] {
            waiting = true;
            result = row.wait();
        });
        while (!waiting) std::this_thread::yield();
        row.stop();
        waiter.join();
        EXPECT_FALSE(result);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));  // not the hour
    }
    resetRunState();
    // Set before the wait: no wait at all; a wait that is not stopped runs its time.
    own = true;
    EXPECT_FALSE(sleepUnlessSet(std::chrono::hours(1), own));
    EXPECT_TRUE(sleepUnlessStopped(std::chrono::milliseconds(1)));
}
