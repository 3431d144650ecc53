#include "core/run_state.h"

#include <array>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "platform/clock.h"

std::atomic<bool> closingFlag{false};
std::atomic<bool> windowClosedFlag{false};
std::atomic<bool> timeShiftActive{false};
std::atomic<double> trafficLastRecordTime{0.0};
std::atomic<std::uint64_t> currentSlotAndWeekday{0};

namespace {

// Reason in the high 32 bits, delay in the low 32 bits.
std::atomic<std::uint64_t> lf_closingState{0};

std::uint64_t lf_pack(ClosingReason reason, std::int32_t delay)
{
    return (std::uint64_t(std::uint32_t(reason)) << 32) | std::uint32_t(delay);
}

// The waits on the stop flags sleep on this pair; never destroyed, as a
// detached thread may still wait during exit.
struct StopSignal {
    std::mutex mutex;
    std::condition_variable cv;
    std::array<void (*)(), 8> wakers{};
};
StopSignal& lf_stopSignal()
{
    static auto* s = new StopSignal;
    return *s;
}

}  // namespace

void notifyStop()
{
    StopSignal& s = lf_stopSignal();
    std::array<void (*)(), 8> wakers{};
    {
        // Taken so that a waiter between its look at the flags and its sleep
        // cannot miss this wake-up.
        std::lock_guard lock(s.mutex);
        wakers = s.wakers;
    }
    s.cv.notify_all();
    for (auto* waker : wakers)
        if (waker) waker();
}

void addStopWaker(void (*waker)())
{
    StopSignal& s = lf_stopSignal();
    std::lock_guard lock(s.mutex);
    for (auto& slot : s.wakers) {
        if (slot == waker) return;
        if (!slot) {
            slot = waker;
            return;
        }
    }
}

namespace {

bool lf_sleepUnless(std::chrono::nanoseconds d, const std::function<bool()>& stopped)
{
    if (stopped()) return false;
    if (d <= std::chrono::nanoseconds::zero()) return true;
    StopSignal& s = lf_stopSignal();
    std::unique_lock lock(s.mutex);
    return !platform::clock().waitFor(s.cv, lock, d, stopped);
}

}  // namespace

bool sleepUnlessStopped(std::chrono::nanoseconds d, const std::atomic<bool>* own)
{
    return lf_sleepUnless(d, [own] { return anyStopFlag() || (own && own->load()); });
}

bool sleepUnlessSet(std::chrono::nanoseconds d, const std::atomic<bool>& flag)
{
    return lf_sleepUnless(d, [&flag] { return flag.load(); });
}

std::string_view closingReasonText(ClosingReason reason)
{
    static constexpr std::array<std::string_view, 8> texts{
        "NOT YET SET",     "SIM WAS CLOSED",   "NEW FLIGHT",   "NEW SETTINGS",
        "USER CLOSED SIM", "SIMCONNECT ERROR", "READER ERROR", "SYSTEM ERROR",
    };
    const auto i = static_cast<std::int32_t>(reason);
    return i >= 0 && i < static_cast<std::int32_t>(texts.size()) ? texts[static_cast<std::size_t>(i)] : "UNKNOWN";
}

bool setClosingReasonIfUnset(ClosingReason reason, std::int32_t restartDelaySeconds)
{
    std::uint64_t current = lf_closingState.load();
    while ((current >> 32) == 0) {
        if (lf_closingState.compare_exchange_weak(current, lf_pack(reason, restartDelaySeconds))) return true;
    }
    return false;
}

bool requestClosing(ClosingReason reason, std::int32_t restartDelaySeconds)
{
    if (closingFlag.load()) {
        // A run ended by an error waits for the user: new settings (an install
        // path typed after start-up error 151 or 153) take the error's place
        // and restart the run, unless the window is closing.
        if (reason != ClosingReason::NewSettings || windowClosedFlag.load()) return false;
        std::uint64_t current = lf_closingState.load();
        return (current >> 32) == std::uint32_t(ClosingReason::SystemError) &&
               lf_closingState.compare_exchange_strong(current, lf_pack(reason, restartDelaySeconds));
    }
    // The reason goes first and the flag after it: every loop polls only the
    // flag and then reads the reason, so it must never find the flag without it.
    // A window close may have set its reason already; it came first.
    const bool set = setClosingReasonIfUnset(reason, restartDelaySeconds);
    closingFlag.store(true);
    notifyStop();
    return set;
}

void setClosingReason(ClosingReason reason, std::int32_t restartDelaySeconds)
{
    lf_closingState.store(lf_pack(reason, restartDelaySeconds));
}

ClosingReason closingReason() { return static_cast<ClosingReason>(std::int32_t(lf_closingState.load() >> 32)); }

std::int32_t restartDelaySeconds() { return static_cast<std::int32_t>(std::uint32_t(lf_closingState.load())); }

void resetRunState()
{
    closingFlag.store(false);
    windowClosedFlag.store(false);
    lf_closingState.store(0);
    timeShiftActive.store(false);
    trafficLastRecordTime.store(0.0);
    currentSlotAndWeekday.store(0);
}
