#include "core/start_moments.h"

#include <array>
#include <atomic>
#include <chrono>

#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "platform/clock.h"

namespace {

constexpr std::array<const char*, 6> kMomentText = {
    "login", "first traffic answer", "first record scheduled", "first live aircraft spawned",
    "first live creation queued", "first live object created",
};

// Nanoseconds of the steady clock at the login; 0 before any login.
std::atomic<std::int64_t> lf_loginAt{0};
// One bit a moment: set once it was logged in this run.
std::atomic<std::uint32_t> lf_logged{0};

std::int64_t lf_nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(platform::steadyNow().time_since_epoch()).count();
}

}  // namespace

void markStartMoment(StartMoment moment)
{
    const auto index = static_cast<std::uint32_t>(moment);
    if (moment == StartMoment::login) {
        lf_loginAt = lf_nowNs();
        lf_logged = 1U;
        return;
    }
    const std::int64_t login = lf_loginAt.load();
    if (login == 0) return;
    const std::uint32_t bit = 1U << index;
    if ((lf_logged.fetch_or(bit) & bit) != 0) return;
    if (!LOG.get()) return;
    const double seconds = static_cast<double>(lf_nowNs() - login) / 1e9;
    logLine(vr::format("Start: {} {:.2f} s after the login", kMomentText[index], seconds));
}
