#include "platform/timer_resolution.h"

namespace platform {

// POSIX timers already have fine resolution.
TimerResolutionGuard::TimerResolutionGuard() = default;
TimerResolutionGuard::~TimerResolutionGuard() = default;

}  // namespace platform
