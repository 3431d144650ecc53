#include <gtest/gtest.h>

#include <thread>

#include "platform/clock.h"

using namespace std::chrono_literals;

TEST(VirtualClock, SleepsAdvanceAtOnceAndAreRecorded)
{
    auto vc = std::make_shared<platform::VirtualClock>(1000.0);
    platform::ScopedClock scoped(vc);
    const auto t0 = platform::steadyNow();
    platform::sleepFor(250ms);
    platform::clock().sleepUntil(t0 + 1s);
    EXPECT_EQ(platform::steadyNow() - t0, 1s);
    EXPECT_DOUBLE_EQ(platform::wallSeconds(), 1001.0);
    EXPECT_EQ(vc->sleeps(), (std::vector<platform::Clock::Duration>{250ms, 750ms}));
}

TEST(VirtualClock, UnreadyWaitJumpsToItsDeadline)
{
    platform::VirtualClock vc;
    std::mutex m;
    std::condition_variable cv;
    std::unique_lock lock(m);
    bool flag = false;
    const auto t0 = vc.now();
    EXPECT_FALSE(vc.waitFor(cv, lock, 5s, [&] { return flag; }));
    EXPECT_EQ(vc.now() - t0, 5s);
    flag = true;
    EXPECT_TRUE(vc.waitFor(cv, lock, 5s, [&] { return flag; }));
    EXPECT_EQ(vc.now() - t0, 5s);
}

TEST(ScaledClock, TimeRunsFasterAndWaitsWake)
{
    platform::ScaledClock sc(0.001);
    const auto t0 = sc.now();
    sc.sleepFor(2s);  // 2 ms of real time
    EXPECT_GE(sc.now() - t0, 2s);

    std::mutex m;
    std::condition_variable cv;
    bool flag = false;
    std::thread t([&] {
        std::lock_guard lock(m);
        flag = true;
        cv.notify_all();
    });
    std::unique_lock lock(m);
    EXPECT_TRUE(sc.waitFor(cv, lock, 10000s, [&] { return flag; }));
    lock.unlock();
    t.join();
}

TEST(Clock, DefaultIsRealAndResettable)
{
    platform::setClock(std::make_shared<platform::VirtualClock>(5.0));
    EXPECT_DOUBLE_EQ(platform::wallSeconds(), 5.0);
    platform::setClock(nullptr);
    EXPECT_GT(platform::wallSeconds(), 1'600'000'000.0);
}
