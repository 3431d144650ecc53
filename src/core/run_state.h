#pragma once
// The run's shared stop state: the two stop flags, the reason the run ends with
// and its restart delay, and the two traffic-time inputs of nowSeconds(). Every
// thread reads these without a lock, so all of them are atomics. They are
// trivially destructible, so a detached thread may still read them during exit.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string_view>

enum class ClosingReason : std::int32_t {
    NotYetSet = 0,
    SimWasClosed = 1,
    NewFlight = 2,
    NewSettings = 3,
    UserClosedSim = 4,
    SimConnectError = 5,
    ReaderError = 6,
    SystemError = 7,
};

// "NOT YET SET", "SIM WAS CLOSED", ... "SYSTEM ERROR"; "UNKNOWN" for any other value.
std::string_view closingReasonText(ClosingReason reason);

// Closing down requested; every loop polls it.
extern std::atomic<bool> closingFlag;
// The user closed the main window.
extern std::atomic<bool> windowClosedFlag;
// Either of the two: whatever runs long looks at this and ends.
inline bool anyStopFlag() { return closingFlag.load() || windowClosedFlag.load(); }

// Wakes every wait on the stop flags at once: whoever sets closingFlag,
// windowClosedFlag or a thread's own stop flag calls this after the store
// (requestClosing does it itself). It also calls the registered wakers, by which
// the transfers in flight are woken. Safe from any thread; never throws.
void notifyStop();
// Adds a function that notifyStop calls (a few, registered once for the life of
// the process; a second registration of the same function is ignored).
void addStopWaker(void (*waker)());
// Sleeps `d` on the program clock unless a stop flag - or `own`, when given - is
// set or becomes set (seen at once through notifyStop). Returns true when the
// whole time passed, false when a stop ended it (also when set on entry).
bool sleepUnlessStopped(std::chrono::nanoseconds d, const std::atomic<bool>* own = nullptr);
// The same for one flag alone (a reader's own stop, the window's close):
// false as soon as `flag` is set.
bool sleepUnlessSet(std::chrono::nanoseconds d, const std::atomic<bool>& flag);

// Ends the run with `reason` unless a run end was already requested: sets the
// reason and delay together when none is set yet, then closingFlag, so whoever
// sees the flag finds the reason. The first reason wins, with one exception:
// NewSettings replaces SystemError (an error waiting for the user, who has now
// typed new settings) while the window is open. Returns whether this call set
// them.
bool requestClosing(ClosingReason reason, std::int32_t restartDelaySeconds);
// Sets reason and delay when no reason is set yet (the flag is left alone).
// Returns whether it set them.
bool setClosingReasonIfUnset(ClosingReason reason, std::int32_t restartDelaySeconds);
// Sets reason and delay whatever was set before.
void setClosingReason(ClosingReason reason, std::int32_t restartDelaySeconds);

// Reason and delay are stored as one atomic value, so they are always read as
// the pair that was set together.
ClosingReason closingReason();
std::int32_t restartDelaySeconds();

// A time shift of more than 0 minutes is active (set by the time-shift handler).
extern std::atomic<bool> timeShiftActive;
// The time stamp (seconds since 1970) of the newest traffic record; 0 until traffic came.
extern std::atomic<double> trafficLastRecordTime;

// The packed slot and weekday of slotAndWeekday() (core/time.h), stored once a
// second by the main cycle while the flight runs and read by the engine; 0 when
// the engine has been emptied.
extern std::atomic<std::uint64_t> currentSlotAndWeekday;

// Clears every value above: flags false, reason NotYetSet, delay 0, no time shift,
// no traffic time. For a restart and for tests.
void resetRunState();
