#pragma once
// Raises the system timer resolution to 1 ms for the life of the guard (the
// 100 Hz tick and the 1 ms dispatch loop need it on Windows; a no-op elsewhere).

namespace platform {

class TimerResolutionGuard {
public:
    TimerResolutionGuard();
    ~TimerResolutionGuard();
    TimerResolutionGuard(const TimerResolutionGuard&) = delete;
    TimerResolutionGuard& operator=(const TimerResolutionGuard&) = delete;
};

}  // namespace platform
