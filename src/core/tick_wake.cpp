#include "core/tick_wake.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "core/run_state.h"

namespace {

enum FrameWait : int { frameIdle, frameWaiting, frameTaken };

// Never destroyed: a detached thread (the traffic reader) may still hand over
// work while the process exits.
struct TickWake {
    std::mutex mutex;
    std::condition_variable cv;
    std::atomic<bool> pending{false};
    std::atomic<bool> sleeping{false};
    // The wait for a frame: set to waiting under the mutex, taken by one frame.
    std::atomic<int> frame{frameIdle};
    std::atomic<platform::Clock::TimePoint::rep> frameTickDue{0};
};
TickWake& lf_tickWake()
{
    static auto* w = new TickWake;
    return *w;
}

}  // namespace

void wakeTickLoop()
{
    TickWake& w = lf_tickWake();
    // Either the loop sees `pending` before it sleeps, or this sees `sleeping`
    // (both sequentially consistent) and wakes it under the mutex, which the
    // loop holds from its look at `pending` until it waits.
    if (w.pending.exchange(true)) return;
    if (!w.sleeping.load()) return;
    {
        std::lock_guard lock(w.mutex);
    }
    w.cv.notify_one();
}

void clearTickWake() { lf_tickWake().pending.store(false); }

namespace {

// A stop ends a wait for a frame too (the stop flags are in its condition).
void lf_wakeFrameWait()
{
    TickWake& w = lf_tickWake();
    {
        std::lock_guard lock(w.mutex);
    }
    w.cv.notify_one();
}

}  // namespace

bool sleepUntilTickWake(platform::Clock::TimePoint deadline)
{
    static const bool stopWakes = (addStopWaker(&wakeTickLoop), true);
    (void)stopWakes;
    TickWake& w = lf_tickWake();
    std::unique_lock lock(w.mutex);
    w.sleeping.store(true);
    const bool woken = platform::clock().waitUntil(w.cv, lock, deadline,
                                                   [&w] { return w.pending.load() || anyStopFlag(); });
    w.sleeping.store(false);
    return woken;
}

bool frameTicksWanted(platform::Clock::TimePoint now)
{
    TickWake& w = lf_tickWake();
    return w.frame.load() == frameWaiting && now.time_since_epoch().count() > w.frameTickDue.load();
}

bool takeFrameForTicks()
{
    TickWake& w = lf_tickWake();
    if (!frameTicksWanted(platform::steadyNow())) return false;
    // One frame takes the wait; the loop sees it under the mutex (as wakeTickLoop's wake).
    int waiting = frameWaiting;
    if (!w.frame.compare_exchange_strong(waiting, frameTaken)) return false;
    lf_wakeFrameWait();
    return true;
}

bool sleepUntilFrame(platform::Clock::TimePoint tickDue, platform::Clock::TimePoint deadline)
{
    static const bool stopWakes = (addStopWaker(&lf_wakeFrameWait), true);
    (void)stopWakes;
    TickWake& w = lf_tickWake();
    std::unique_lock lock(w.mutex);
    w.frameTickDue.store(tickDue.time_since_epoch().count());
    w.frame.store(frameWaiting);
    platform::clock().waitUntil(w.cv, lock, deadline,
                                [&w] { return w.frame.load() == frameTaken || anyStopFlag(); });
    // A frame taken after the last look at the deadline is owed all the same;
    // it stays taken until its ticks have run (finishTakenFrame).
    int waiting = frameWaiting;
    return !w.frame.compare_exchange_strong(waiting, frameIdle);
}

bool takenFrameAwaitsTicks() { return lf_tickWake().frame.load() == frameTaken; }

void finishTakenFrame()
{
    int taken = frameTaken;
    lf_tickWake().frame.compare_exchange_strong(taken, frameIdle);
}
