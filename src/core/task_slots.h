#pragma once
// Keeps the scan tasks of the livery and airport scans to a limit (the number of
// hardware threads). Protocol: the scanner calls gf_waitForTaskSlot(), starts the
// task, then increments runningTasks itself; the task body holds a
// TaskSlotRelease so it gives its slot back on every way out.

#include <atomic>

// Scan tasks running now.
extern std::atomic<int> runningTasks;
// The same counter by its other name.
inline std::atomic<int>& runningTaskCount = runningTasks;
// The most scan tasks allowed at once; never below 1.
extern std::atomic<int> taskLimit;

// Sets the limit to `hardwareThreads` (at least 1: hardware_concurrency() may
// be 0) and the counter to 0. At each start of a worker.
void resetTaskSlots(unsigned hardwareThreads);

// Returns true once runningTasks < taskLimit. Does not take the slot. Returns
// false without a free slot when the run is closing (closingFlag or
// windowClosedFlag), so a scan cannot hang the closing down.
bool gf_waitForTaskSlot();

// Gives a slot back and wakes the waiters. Never takes the counter below 0.
void gf_releaseTaskSlot();

// Calls gf_releaseTaskSlot() when it goes out of scope.
class TaskSlotRelease {
public:
    TaskSlotRelease() = default;
    ~TaskSlotRelease() { gf_releaseTaskSlot(); }
    TaskSlotRelease(const TaskSlotRelease&) = delete;
    TaskSlotRelease& operator=(const TaskSlotRelease&) = delete;
};
