#pragma once
// Quiet ticks: while no aircraft is live in any state, nothing waits in the
// engine's queues, nothing handed to the simulator awaits its answer and no
// reply or record waits to be taken, a tick of lf_handleAddingStack only counts,
// except on the ticks with a cadence of their own (the range request, the user
// aircraft's state, the creation slot). The main cycle's tick loop then sleeps
// through the quiet ticks and counts them when it wakes, so tickCounter keeps
// following the clock: one tick every 10 ms.
//
// Threads: lf_quietTicks, lf_beginQuietSleep and lf_endQuietSleep are for the
// worker; lf_schedulingTick is for the traffic reader (any thread), which gives
// its records their due ticks from it.

#include <cstdint>

#include "platform/clock.h"

// The ticks between two engine ticks (the main cycle's pace).
inline constexpr auto quietTickLength = std::chrono::milliseconds(10);

// How many ticks from tickCounter on only count: 0 when the next tick may have
// work (or a cadence falls on it); n > 0 when ticks tickCounter .. +n-1 do
// nothing but count and the tick after them may have work.
std::int32_t lf_quietTicks();
// The worker goes to sleep: the tick tickCounter was due at `due`, and the
// `ticks` from it on are quiet. Until lf_endQuietSleep, lf_schedulingTick counts
// them by the clock.
void lf_beginQuietSleep(platform::Clock::TimePoint due, std::int32_t ticks);
// The worker woke at `now`: the quiet ticks whose time has come (at most the
// ones announced) are counted into tickCounter without being run. Returns how many.
std::int32_t lf_endQuietSleep(platform::Clock::TimePoint now);
// The worker waits for the simulator's frame (core/tick_wake.h) with the tick
// tickCounter due at `due`: the ticks falling due meanwhile are run when it
// wakes, not skipped. Until lf_endFrameWait, lf_schedulingTick follows the
// clock as in a quiet sleep (at most `ticks` ahead), and never falls behind
// tickCounter while the worker runs the ticks it owes.
void lf_beginFrameWait(platform::Clock::TimePoint due, std::int32_t ticks);
// The worker ran the ticks due: tickCounter is the scheduling tick again.
void lf_endFrameWait();
// tickCounter; while the worker sleeps through quiet ticks or waits for a
// frame, the tick the clock has reached (the count the worker takes when it
// wakes now).
std::int32_t lf_schedulingTick();
