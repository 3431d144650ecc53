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
            for (int i = 1; i <= 7; ++i)
                threads.emplace_back([i, &winners] {
                    // Reason i always goes with delay 10 * i, so a mixed pair would show.
                    const bool won = i == 4 ? setClosingReasonIfUnset(ClosingReason::UserClosedSim, 40)
                                            : requestClosing(static_cast<ClosingReason>(i), 10 * i);
                    if (won) ++winners;
                });
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
