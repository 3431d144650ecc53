#include "engine/quiet_ticks.h"

#include <algorithm>
#include <mutex>

#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/flight_plans.h"
#include "engine/scheduling.h"
#include "engine/sim_replies.h"
#include "engine/stand.h"
#include "engine/timed_queues.h"
#include "simlink/sim_handover.h"
#include "simlink/sim_queues.h"

namespace {

// The cadences of lf_handleAddingStack that run with nothing queued: the range
// request every 100 ticks (every 20 while an aircraft lands) and the user
// aircraft's state every 100; the creation slot opens every 50 (its pace state
// moves on that tick even with nothing to create).
constexpr std::int32_t lf_slotTicks = 50;
constexpr std::int32_t lf_fastRangeTicks = 20;

std::int32_t lf_ticksTo(std::int32_t tick, std::int32_t period)
{
    const std::int32_t r = ((tick % period) + period) % period;
    return r == 0 ? 0 : period - r;
}

bool lf_engineEmpty()
{
    if (!liveAircraft.empty() || !liveCreationQueue.empty() || !staticCreationQueue.empty() ||
        !removalDeque.empty() || !pendingCreationIds.empty() || !creationsInFlight.empty() ||
        !removalsInFlight.empty() || !createdObjects.empty() || !parkingSelections.empty() ||
        !positionQueue.write().empty())
        return false;
    {
        std::lock_guard lock(addingMutex);
        if (!addingStack.empty() || !bufferedRecords.empty()) return false;
    }
    {
        std::lock_guard lock(simReplyMutex);
        if (!simReplies.empty()) return false;
    }
    return !writtenFlightPlansWaiting();
}

// The worker's sleep through quiet ticks, as the traffic reader sees it.
struct QuietSleep {
    std::mutex mutex;
    bool open = false;
    platform::Clock::TimePoint due{};
    std::int32_t tick = 0;
    std::int32_t ticks = 0;
    bool frameWait = false;  // the ticks reached are run, not counted
};
QuietSleep& lf_quietSleep()
{
    static auto* q = new QuietSleep;  // never destroyed: the reader may still ask during exit
    return *q;
}

// Under the mutex: the quiet ticks whose time has come by `now`.
std::int32_t lf_ticksReached(const QuietSleep& q, platform::Clock::TimePoint now)
{
    if (now <= q.due) return 0;
    const auto reached = (now - q.due) / quietTickLength;
    return static_cast<std::int32_t>(std::min<std::int64_t>(reached, q.ticks));
}

}  // namespace

std::int32_t lf_quietTicks()
{
    if (!lf_engineEmpty()) return 0;
    const std::int32_t tick = tickCounter.load();
    std::int32_t quiet = lf_ticksTo(tick, lf_slotTicks);  // 100 is a multiple of 50
    if (fastRangeRequest) quiet = std::min(quiet, lf_ticksTo(tick, lf_fastRangeTicks));
    const std::int32_t early = lf_earlyRangeTick();
    if (early >= tick) quiet = std::min(quiet, early - tick);
    return quiet;
}

namespace {

// A quiet sleep (its ticks are counted at its end) or a wait for a frame (they are run).
void lf_openSleep(platform::Clock::TimePoint due, std::int32_t ticks, bool frameWait)
{
    QuietSleep& q = lf_quietSleep();
    std::lock_guard lock(q.mutex);
    q.open = true;
    q.frameWait = frameWait;
    q.due = due;
    q.tick = tickCounter.load();
    q.ticks = std::max(ticks, 0);
}

}  // namespace

void lf_beginQuietSleep(platform::Clock::TimePoint due, std::int32_t ticks) { lf_openSleep(due, ticks, false); }

std::int32_t lf_endQuietSleep(platform::Clock::TimePoint now)
{
    QuietSleep& q = lf_quietSleep();
    std::lock_guard lock(q.mutex);
    if (!q.open || q.frameWait) return 0;
    q.open = false;
    const std::int32_t reached = lf_ticksReached(q, now);
    tickCounter.fetch_add(reached);
    return reached;
}

void lf_beginFrameWait(platform::Clock::TimePoint due, std::int32_t ticks) { lf_openSleep(due, ticks, true); }

void lf_endFrameWait()
{
    QuietSleep& q = lf_quietSleep();
    std::lock_guard lock(q.mutex);
    if (q.frameWait) q.open = false;
}

std::int32_t lf_schedulingTick()
{
    QuietSleep& q = lf_quietSleep();
    std::lock_guard lock(q.mutex);
    if (!q.open) return tickCounter.load();
    const platform::Clock::TimePoint now = platform::steadyNow();
    if (!q.frameWait) return q.tick + lf_ticksReached(q, now);
    // The ticks owed from `due` on, each counted from its own time on, as a
    // loop ticking every 10 ms would have run it by now.
    const std::int32_t owed = now < q.due ? 0 : std::min(lf_ticksReached(q, now) + 1, q.ticks);
    return std::max(q.tick + owed, tickCounter.load());
}
