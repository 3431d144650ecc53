#pragma once
// The end of every run of the worker, whatever ended it. The closing reason
// decides what follows: reasons 3, 5 and 6 restart in the same process (a
// countdown, resetSession, then WM_APP+1 starts the next worker); reason 7
// waits until the user closes the window; every other reason quits (WM_APP+2).
// A user close during the countdown or the new-flight wait quits at once.
//
// Threads: the worker thread. It joins the SimClient thread and waits, bounded,
// for the detached readers before logging out. Its last act is always the post
// of WM_APP+1 or WM_APP+2, after which it touches nothing.

#include <cstdint>

void lf_closingDown();
// Counts the restart delay down on the message line, a second a step; leaves on a user close.
void restartCountdown();
// Every run-level state back to a fresh process's; returns the range in metres.
std::int32_t resetSession();
// TIME_SHIFT_DAYS, TIME_SHIFT_HOURS and TIME_SHIFT_MINS set to 0 and saved.
void saveTimeShift();
// How long the closing down waits for the readers to end (ms). Their waits and
// transfers end at once on their stop flags; together with the logout's own
// limit this keeps a close within 2 s whatever the service does.
inline constexpr std::int32_t readerStopLimitMs = 500;
