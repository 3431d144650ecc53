#pragma once
// The engine's timed queues: creations wait here until their 50-tick slot (live
// ones always before static ones), removals until their 10-tick slot, before
// they are handed to the simulator layer's command queues. Engine thread only.

#include <cstdint>
#include <deque>
#include <string_view>
#include <vector>

#include "simlink/sim_handover.h"

extern std::deque<AcCreation>& liveCreationQueue;
extern std::deque<AcCreation>& staticCreationQueue;
extern std::deque<std::uint32_t>& removalDeque;
// Aircraft ids whose creation is to be prepared, taken from the back.
extern std::vector<std::uint32_t>& pendingCreationIds;

// Appends a copy of the creation.
void lf_pushCreation(std::deque<AcCreation>& queue, const AcCreation& creation);
// Withdraws the queued creation of that aircraft (its callsign and aircraft
// id); true when one was withdrawn. Another aircraft with the same callsign
// keeps its creation. An empty callsign withdraws nothing.
bool isCreationPending(std::deque<AcCreation>& queue, std::string_view callsign, std::uint32_t aircraftId);
// Empties all four (before a restart).
void clearTimedQueues();
