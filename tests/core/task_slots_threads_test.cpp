#include "core/task_slots.h"

#include <chrono>
#include <future>
#include <latch>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "core/run_state.h"

namespace {

class TaskSlotsThreads : public ::testing::Test {
protected:
    void SetUp() override { resetRunState(); }
    void TearDown() override
    {
        resetRunState();
        resetTaskSlots(1);
    }
};

TEST_F(TaskSlotsThreads, AtMostTheLimitRunAtOnce)
{
    resetTaskSlots(2);
    std::atomic<int> running{0};
    std::atomic<int> most{0};
    std::atomic<int> done{0};
    std::vector<std::jthread> tasks;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(gf_waitForTaskSlot());
        std::latch started(1);
        tasks.emplace_back([&] {
            TaskSlotRelease release;
            const int now = ++running;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {
            }
            started.count_down();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            --running;
            ++done;
        });
        ++runningTasks;  // the caller takes the slot after the start
        started.wait();
    }
    tasks.clear();
    EXPECT_EQ(done.load(), 6);
    EXPECT_LE(most.load(), 2);
    EXPECT_EQ(runningTasks.load(), 0);
}

TEST_F(TaskSlotsThreads, ZeroHardwareThreadsStillGivesOneSlot)
{
    resetTaskSlots(0);
    EXPECT_EQ(taskLimit.load(), 1);
    auto waited = std::async(std::launch::async, [] { return gf_waitForTaskSlot(); });
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(waited.get());
}

TEST_F(TaskSlotsThreads, ThrowingTaskReleasesItsSlot)
{
    resetTaskSlots(1);
    ++runningTasks;
    auto task = std::async(std::launch::async, [] {
        TaskSlotRelease release;
        throw std::runtime_error("bad file");
    });
    EXPECT_THROW(task.get(), std::runtime_error);
    EXPECT_EQ(runningTasks.load(), 0);
    EXPECT_TRUE(gf_waitForTaskSlot());
}

TEST_F(TaskSlotsThreads, ReleaseWakesAWaiter)
{
    resetTaskSlots(1);
    ++runningTasks;
    auto waiter = std::async(std::launch::async, [] { return gf_waitForTaskSlot(); });
    EXPECT_EQ(waiter.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    gf_releaseTaskSlot();
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(waiter.get());
}

TEST_F(TaskSlotsThreads, ClosingEndsTheWait)
{
    resetTaskSlots(1);
    ++runningTasks;  // a task that never ends
    auto waiter = std::async(std::launch::async, [] { return gf_waitForTaskSlot(); });
    closingFlag.store(true);
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_FALSE(waiter.get());
}

TEST_F(TaskSlotsThreads, TaskOfAnAbandonedScanDoesNotFreeASlotOfTheNextOne)
{
    resetTaskSlots(2);
    ++runningTasks;
    auto oldTask = std::make_unique<TaskSlotRelease>();
    resetTaskSlots(2);  // a new worker starts while a task of the old scan still runs
    ++runningTasks;     // the new scan's first task
    oldTask.reset();    // the old task ends
    EXPECT_EQ(runningTasks.load(), 1);
}

TEST_F(TaskSlotsThreads, TaskThatEndsBeforeItIsCountedLeavesNoSlotTaken)
{
    resetTaskSlots(1);
    ASSERT_TRUE(gf_waitForTaskSlot());
    std::thread([] { TaskSlotRelease release; }).join();  // ends at once
    ++runningTasks;                                       // the scanner counts it afterwards
    EXPECT_EQ(runningTasks.load(), 0);
    auto waiter = std::async(std::launch::async, [] { return gf_waitForTaskSlot(); });
    ASSERT_EQ(waiter.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(waiter.get());
}

}  // namespace
