#pragma once
// Keeps the scan tasks of the livery and airport scans to a limit (the number of
// hardware threads). Protocol: the scanner calls gf_waitForTaskSlot(), starts the
// task, then increments runningTasks itself; the task body holds a
// TaskSlotRelease so it gives its slot back on every way out. A task may end
// before its scanner has counted it: the counter then dips below 0 for a moment
// and comes back to the right value, so it must not be clamped at 0.

#include <atomic>

// Scan tasks running now.
extern std::atomic<int> runningTasks;
// The same counter by its other name.
inline std::atomic<int>& runningTaskCount = runningTasks;
// The most scan tasks allowed at once; never below 1.
extern std::atomic<int> taskLimit;

// Sets the limit to `hardwareThreads` (at least 1: hardware_concurrency() may
// be 0) and the counter to 0, and starts a new generation of tasks. At each
// start of a worker.
void resetTaskSlots(unsigned hardwareThreads);

// Returns true once runningTasks < taskLimit. Does not take the slot. Returns
// false without a free slot when the run is closing (closingFlag or
// windowClosedFlag), so a scan cannot hang the closing down.
bool gf_waitForTaskSlot();

// Gives a slot back and wakes the waiters.
void gf_releaseTaskSlot();

// Gives the task's slot back when it goes out of scope, unless the counter was
// reset since the task began: a task of an abandoned scan that ends after a new
// worker started must not take a slot of the new generation.
class TaskSlotRelease {
public:
    TaskSlotRelease();
    ~TaskSlotRelease();
    TaskSlotRelease(const TaskSlotRelease&) = delete;
    TaskSlotRelease& operator=(const TaskSlotRelease&) = delete;

private:
    unsigned generation_;
};
