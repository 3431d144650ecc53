#pragma once
// The worker's tick loop sleeps while the engine has nothing to do (see
// shell/main_cycle.h). Whatever hands the engine work calls wakeTickLoop()
// after the hand-over: a simulator reply, traffic records, the simulator's new
// second, a change of the simulator's running state, a written flight plan, a
// request of the window. A stop wakes it too (notifyStop, core/run_state.h).
//
// Threads: wakeTickLoop is safe from any thread and cheap while the loop does
// not sleep (one atomic exchange); the other two are for the worker alone.

#include "platform/clock.h"

// Wakes the loop at once if it sleeps; otherwise its next sleep returns at once.
void wakeTickLoop();
// The worker, before the engine looks at its work: forgets the wakes so far.
void clearTickWake();
// The worker: sleeps on the program clock until `deadline`, a wake since the
// last clearTickWake, or a stop flag. Returns true when a wake or a stop ended it.
bool sleepUntilTickWake(platform::Clock::TimePoint deadline);
