#pragma once
// How traffic reaches the engine: every decoded answer of the live-traffic
// service is a batch of TrafficRecords. lf_scheduleTrafficRecords gives each
// record the tick at which the aircraft is to be there and hands the batch over;
// the worker merges the records into the live aircraft (lf_mergeTrafficRecord).
//
// Threads and locks:
// - lf_scheduleTrafficRecords runs on the traffic reader thread. It reads
//   tickCounter (atomic) and touches nothing of the engine but the two lists
//   below, under addingMutex.
// - The adding stack (live batches, delay 30) and the buffered list (the
//   buffered start, any other delay) and flightRunning are guarded by
//   addingMutex. The worker takes at most two records of the adding stack a
//   tick, and merges the whole buffered list, in order, at the start of its
//   next tick. The reader never merges.
// - Everything else here (the merges, the live vector) is worker only.
// Lock order: addingMutex -> simReplyMutex -> simQueueMutex (simlink/sim_queues.h).
// removeAllAiObjects (engine/adding_stack.h) empties both lists.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <vector>

#include "traffic_service/traffic_record.h"

struct LiveAc;
struct ServiceHandover;

extern std::mutex& addingMutex;
// The flight runs (guarded by addingMutex): while clear, live batches are dropped.
extern bool flightRunning;
// Live records waiting for the worker, taken from the back (guarded by addingMutex).
extern std::vector<TrafficRecord>& addingStack;
// Records of the buffered start waiting for the worker's next tick, in
// hand-over order, due ticks already set (guarded by addingMutex).
extern std::vector<TrafficRecord>& bufferedRecords;

// The engine's QNH (hPa), written by the weather reader; 1013 after a reset.
extern std::atomic<int> engineQnh;

// Gives every record its due tick and hands the batch over: delay 30 into the
// adding stack (only when the stack is empty and the flight runs), any other
// delay into the buffered list; dropped whole while closingFlag is set. The
// batch is left empty. An empty batch sets the reader's last record time to 0.
void lf_scheduleTrafficRecords(std::vector<TrafficRecord>& batch, int delaySeconds);
// The due ticks alone: base = delay x 100 + tick; m = the median time (index
// n / 2 of the sorted times); each record base - 10 x trunc((time - m) x -10).
// Records whose time is not positive and finite, or more than a day from m,
// are taken out (one log line for the batch). Returns how many were taken out.
std::size_t lf_setDueTicks(std::vector<TrafficRecord>& batch, int delaySeconds, std::int32_t tick);

// Stores the running flag under addingMutex.
void setRunningFlag(bool running);
// Reads it under addingMutex.
bool isFlightRunning();

// Worker, at the start of a tick: merges the buffered list, in order.
void lf_mergeBufferedRecords();
// Merges one record into the live aircraft (worker). An exception of a merge
// step is logged and skips only this record.
void lf_mergeTrafficRecord(TrafficRecord& record);
// An unknown aircraft: completes the type from the database and adds it.
void lf_newTrafficAc(TrafficRecord& record);
// Filters the record (category, near-airport altitude) and appends a new LiveAc.
void addLiveAc(TrafficRecord& record);
// The park airport's elevation (ft) while one is set, else -1000.
double referenceAltitudeFt();
// The merge's plausibility tests against the newest queued sample of `ac`: true
// when the record is ignored.
bool lf_recordRefused(const LiveAc& ac, const TrafficRecord& record);

// Fills the engine entries of the traffic client's hand-over table: the batch
// hand-over, the callsign-blocked reply (kind 5) and the engine QNH.
void wireEngineHandover(ServiceHandover& handover);
