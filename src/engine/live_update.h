#pragma once
// The per-tick update of one live aircraft and the merge of a new sample into
// its queue: a buffered aircraft is spawned; an active one is moved by the
// motion (nextPosMain, motion.h: prediction, ground movement, landing, take-off)
// when its next sample is due, and its position block goes to the simulator. A
// new sample is queued, merged with the stationary ones, or dropped; too many
// queued samples or a holding left end the aircraft. Worker thread only.

#include <cstddef>

struct LiveAc;
struct PositionSample;

// Most samples a queue holds; the next one removes the aircraft.
inline constexpr std::size_t maxQueuedSamples = 200;

// One tick of the aircraft; true when the record is to be erased.
bool updateLiveAc(LiveAc& ac);
// Appends the sample (due after the newest queued one) or drops it.
void decodeExisting(LiveAc& ac, PositionSample sample);
