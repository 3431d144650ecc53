#include "core/tick_wake.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

#include "core/run_state.h"

namespace {

// Never destroyed: a detached thread (the traffic reader) may still hand over
// work while the process exits.
struct TickWake {
    std::mutex mutex;
    std::condition_variable cv;
    std::atomic<bool> pending{false};
    std::atomic<bool> sleeping{false};
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
