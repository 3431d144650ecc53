#pragma once
// The worker's tick loop sleeps while the engine has nothing to do (see
// shell/main_cycle.h). Whatever hands the engine work calls wakeTickLoop()
// after the hand-over: a simulator reply, traffic records, the simulator's new
// second, a change of the simulator's running state, a written flight plan, a
// request of the window. A stop wakes it too (notifyStop, core/run_state.h).
//
// While the flight runs busy and the simulator's frames come, the loop waits
// for the frame instead of its own 10 ms timer: a frame that finds a tick due
// (takeFrameForTicks, on the simulator link's I/O thread) wakes it, it runs the
// ticks due by then one after the other and then hands the frame's flush on.
// The flush sends the positions of the latest tick due, as with a tick every
// 10 ms, but a frame costs one wake of the worker instead of three or four
// timer wakes, and the ticks after the first find the records in the cache.
// Other work does not end that wait: it is taken with the frame's ticks. A
// frame taken stays taken until its ticks have run, so that a flush the
// simulator link runs meanwhile (the frame's read brought a message that may
// not wait) knows it would come too early.
//
// Threads: wakeTickLoop, takeFrameForTicks and takenFrameAwaitsTicks are safe
// from any thread and cheap while the loop does not wait for them (an atomic
// or two); the others are for the worker alone.

#include "platform/clock.h"

// Wakes the loop at once if it sleeps; otherwise its next sleep returns at once.
void wakeTickLoop();
// The worker, before the engine looks at its work: forgets the wakes so far.
void clearTickWake();
// The worker: sleeps on the program clock until `deadline`, a wake since the
// last clearTickWake, or a stop flag. Returns true when a wake or a stop ended it.
bool sleepUntilTickWake(platform::Clock::TimePoint deadline);

// The worker: sleeps until a frame takeFrameForTicks gave it, a stop flag, or
// `deadline` (the frames stopped). A frame is taken only after `tickDue`.
// Returns true when a frame was taken: the worker then owes its flush, and the
// frame stays taken until finishTakenFrame (or the next wait).
bool sleepUntilFrame(platform::Clock::TimePoint tickDue, platform::Clock::TimePoint deadline);
// Any thread, for a frame of the simulator that came at `now`: the loop waits
// for a frame and a tick is due (it would take the frame).
bool frameTicksWanted(platform::Clock::TimePoint now);
// Any thread, for a frame that can be dispatched now: true when the loop waits
// for a frame and a tick is due; the loop is woken and hands the flush on after
// its ticks. False: the frame is not the loop's (it is served as before).
bool takeFrameForTicks();
// Any thread: a frame was taken and the ticks due by it have not all run yet
// (a flush now would send the positions of the tick before them).
bool takenFrameAwaitsTicks();
// The worker, once the ticks of the frame it took have run (before it hands
// the flush on); nothing when no frame is taken.
void finishTakenFrame();
