#pragma once
// The per-tick update of one live aircraft and the merge of a new sample into
// its queue. These two are the seam of the engine's motion: the version here
// spawns buffered aircraft and moves active ones in a straight line from sample
// to sample; the full motion (prediction, ground movement, landing, take-off)
// replaces this file with the same signatures. Worker thread only.

#include <cstddef>

struct LiveAc;
struct PositionSample;

// Most samples a queue holds; the next one removes the aircraft.
inline constexpr std::size_t maxQueuedSamples = 200;

// One tick of the aircraft; true when the record is to be erased.
bool updateLiveAc(LiveAc& ac);
// Appends the sample (due after the newest queued one) or drops it.
void decodeExisting(LiveAc& ac, PositionSample sample);
