#include "platform/clock.h"

#include <atomic>
#include <thread>

namespace platform {
namespace {

using std::chrono::duration_cast;

// The current clock. The holders are never freed: a detached thread may still be
// inside a call on an old clock while a test installs the next one.
std::atomic<Clock*> current{nullptr};

Clock& realClock()
{
    static RealClock* real = new RealClock;
    return *real;
}

void keepAlive(std::shared_ptr<Clock> c)
{
    static std::mutex m;
    static auto* kept = new std::vector<std::shared_ptr<Clock>>;
    std::lock_guard lock(m);
    kept->push_back(std::move(c));
}

}  // namespace

Clock& clock()
{
    Clock* c = current.load(std::memory_order_acquire);
    return c ? *c : realClock();
}

void setClock(std::shared_ptr<Clock> c)
{
    Clock* raw = c.get();
    if (c) keepAlive(std::move(c));
    current.store(raw, std::memory_order_release);
}

// --- RealClock ---

Clock::TimePoint RealClock::now() { return std::chrono::steady_clock::now(); }

double RealClock::wallSeconds()
{
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
}

void RealClock::sleepFor(Duration d)
{
    if (d > Duration::zero()) std::this_thread::sleep_for(d);
}

bool RealClock::waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, TimePoint deadline,
                          const std::function<bool()>& ready)
{
    return cv.wait_until(lock, deadline, ready);
}

// --- VirtualClock ---

VirtualClock::VirtualClock(double wallStart) : wallStart_(wallStart) {}

Clock::TimePoint VirtualClock::now()
{
    std::lock_guard lock(mutex_);
    return TimePoint{} + elapsed_;
}

double VirtualClock::wallSeconds()
{
    std::lock_guard lock(mutex_);
    return wallStart_ + std::chrono::duration<double>(elapsed_).count();
}

void VirtualClock::sleepFor(Duration d)
{
    std::lock_guard lock(mutex_);
    sleeps_.push_back(d);
    if (d > Duration::zero()) elapsed_ += d;
}

bool VirtualClock::waitUntil(std::condition_variable&, std::unique_lock<std::mutex>&, TimePoint deadline,
                             const std::function<bool()>& ready)
{
    if (ready()) return true;
    std::lock_guard lock(mutex_);
    const Duration left = deadline - (TimePoint{} + elapsed_);
    sleeps_.push_back(left);
    if (left > Duration::zero()) elapsed_ += left;
    return ready();
}

void VirtualClock::advance(Duration d)
{
    std::lock_guard lock(mutex_);
    elapsed_ += d;
}

void VirtualClock::setWallSeconds(double s)
{
    std::lock_guard lock(mutex_);
    wallStart_ = s - std::chrono::duration<double>(elapsed_).count();
}

std::vector<Clock::Duration> VirtualClock::sleeps() const
{
    std::lock_guard lock(mutex_);
    return sleeps_;
}

void VirtualClock::clearSleeps()
{
    std::lock_guard lock(mutex_);
    sleeps_.clear();
}

// --- ScaledClock ---

ScaledClock::ScaledClock(double factor, double wallStart)
    : factor_(factor > 0 ? factor : 1.0),
      wallStart_(wallStart),
      realStart_(std::chrono::steady_clock::now()),
      virtualStart_(TimePoint{} + std::chrono::hours(1))
{
}

Clock::Duration ScaledClock::scaledElapsed() const
{
    const auto real = std::chrono::steady_clock::now() - realStart_;
    return duration_cast<Duration>(std::chrono::duration<double, std::nano>(real.count() / factor_));
}

Clock::TimePoint ScaledClock::now() { return virtualStart_ + scaledElapsed(); }

double ScaledClock::wallSeconds() { return wallStart_ + std::chrono::duration<double>(scaledElapsed()).count(); }

void ScaledClock::sleepFor(Duration d)
{
    if (d <= Duration::zero()) return;
    std::this_thread::sleep_for(duration_cast<Duration>(std::chrono::duration<double, std::nano>(d.count() * factor_)));
}

bool ScaledClock::waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, TimePoint deadline,
                            const std::function<bool()>& ready)
{
    const Duration left = deadline - now();
    const auto real = duration_cast<Duration>(std::chrono::duration<double, std::nano>(
        std::max<double>(0.0, static_cast<double>(left.count())) * factor_));
    return cv.wait_for(lock, real, ready);
}

}  // namespace platform
