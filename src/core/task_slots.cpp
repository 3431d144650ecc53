#include "core/task_slots.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "core/run_state.h"
#include "platform/clock.h"

std::atomic<int> runningTasks{0};
std::atomic<int> taskLimit{1};

namespace {

// Never destroyed: detached scan tasks release their slots at any time.
std::mutex& lf_mutex()
{
    static std::mutex& m = *new std::mutex;
    return m;
}

std::condition_variable& lf_released()
{
    static std::condition_variable& cv = *new std::condition_variable;
    return cv;
}

// Counts the resets; read and changed under lf_mutex().
unsigned lf_generation = 0;

void lf_release(const unsigned* generation)
{
    {
        // Under the lock so a waiter cannot miss the wake-up between its test and its wait.
        std::lock_guard lock(lf_mutex());
        if (generation && *generation != lf_generation) return;
        --runningTasks;
    }
    lf_released().notify_all();
}

}  // namespace

void resetTaskSlots(unsigned hardwareThreads)
{
    const unsigned limit = std::clamp(hardwareThreads, 1u, 1u << 16);
    {
        std::lock_guard lock(lf_mutex());
        taskLimit.store(static_cast<int>(limit));
        runningTasks.store(0);
        ++lf_generation;
    }
    lf_released().notify_all();
}

bool gf_waitForTaskSlot()
{
    std::unique_lock lock(lf_mutex());
    const auto free = [] { return runningTasks.load() < taskLimit.load(); };
    // The stop flags are set without notifying this wait, so look at them now and then.
    while (!free()) {
        if (anyStopFlag()) return false;
        platform::clock().waitFor(lf_released(), lock, std::chrono::milliseconds(50),
                                  [&] { return free() || anyStopFlag(); });
    }
    return true;
}

void gf_releaseTaskSlot() { lf_release(nullptr); }

TaskSlotRelease::TaskSlotRelease()
{
    std::lock_guard lock(lf_mutex());
    generation_ = lf_generation;
}

TaskSlotRelease::~TaskSlotRelease() { lf_release(&generation_); }
