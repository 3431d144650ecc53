#pragma once
// The program's one source of time. Every sleep, timed wait and time read goes
// through clock(), so tests can swap in a clock that runs on virtual time.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace platform {

class Clock {
public:
    using Duration = std::chrono::nanoseconds;
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~Clock() = default;

    // Monotonic time, for intervals and deadlines.
    virtual TimePoint now() = 0;
    // Wall-clock time: seconds since 1970-01-01 00:00:00 UTC.
    virtual double wallSeconds() = 0;

    virtual void sleepFor(Duration d) = 0;
    void sleepUntil(TimePoint t) { sleepFor(t - now()); }

    // Waits on `cv` (with `lock` held on entry and exit) until `ready()` holds or
    // the deadline passes; returns ready().
    virtual bool waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock,
                           TimePoint deadline, const std::function<bool()>& ready) = 0;
    bool waitFor(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, Duration d,
                 const std::function<bool()>& ready)
    {
        return waitUntil(cv, lock, now() + d, ready);
    }
};

// The process-wide clock: the real one unless a test set another.
Clock& clock();
// Replaces the process-wide clock; nullptr restores the real one. The clock
// given stays alive until it is replaced (the previous one is kept alive for
// the rest of the process, so a thread still sleeping on it is safe).
void setClock(std::shared_ptr<Clock> c);

// Shorthands for the process-wide clock.
inline void sleepFor(Clock::Duration d) { clock().sleepFor(d); }
inline Clock::TimePoint steadyNow() { return clock().now(); }
inline double wallSeconds() { return clock().wallSeconds(); }

class RealClock final : public Clock {
public:
    TimePoint now() override;
    double wallSeconds() override;
    void sleepFor(Duration d) override;
    bool waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, TimePoint deadline,
                   const std::function<bool()>& ready) override;
};

// Virtual time for single-threaded tests: every sleep, and every wait that is
// not ready at once, advances the time to its end at once. Records what was asked.
class VirtualClock final : public Clock {
public:
    explicit VirtualClock(double wallStart = 1'700'000'000.0);
    TimePoint now() override;
    double wallSeconds() override;
    void sleepFor(Duration d) override;
    bool waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, TimePoint deadline,
                   const std::function<bool()>& ready) override;

    void advance(Duration d);
    void setWallSeconds(double s);
    std::vector<Duration> sleeps() const;  // every sleep and unready wait, in order
    void clearSleeps();

private:
    mutable std::mutex mutex_;
    Duration elapsed_{0};
    double wallStart_;
    std::vector<Duration> sleeps_;
};

// Real time run faster: every sleep and wait lasts `factor` times the time asked
// (0.01 makes a second 10 ms), and now() and wallSeconds() advance faster in step.
// For threaded end-to-end tests.
class ScaledClock final : public Clock {
public:
    explicit ScaledClock(double factor, double wallStart = 1'700'000'000.0);
    TimePoint now() override;
    double wallSeconds() override;
    void sleepFor(Duration d) override;
    bool waitUntil(std::condition_variable& cv, std::unique_lock<std::mutex>& lock, TimePoint deadline,
                   const std::function<bool()>& ready) override;

private:
    Duration scaledElapsed() const;
    double factor_;
    double wallStart_;
    std::chrono::steady_clock::time_point realStart_;
    TimePoint virtualStart_;
};

// Sets a clock for the life of the guard (tests).
class ScopedClock {
public:
    explicit ScopedClock(std::shared_ptr<Clock> c) : clock_(std::move(c)) { setClock(clock_); }
    ~ScopedClock() { setClock(nullptr); }
    ScopedClock(const ScopedClock&) = delete;
    ScopedClock& operator=(const ScopedClock&) = delete;
    Clock& get() { return *clock_; }

private:
    std::shared_ptr<Clock> clock_;
};

}  // namespace platform
