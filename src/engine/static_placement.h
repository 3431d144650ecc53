#pragma once
// Static aircraft placement: the static parking leaves its decisions in
// parkingSelections (engine/stand.h); every 50 ticks without a live creation
// the timed queues call placeStaticAircraft, which turns the last one into a
// static aircraft at its stand, with a livery matched for that stand, and
// queues its creation. Worker thread only.

#include <cstdint>
#include <string>

#include "engine/stand.h"

// The id of the previous static placed; the next takes (counter + 1) mod 10000.
extern std::uint32_t staticIdCounter;

// Places at most one static aircraft from the back of parkingSelections (the
// selection is consumed whatever happens to it).
void placeStaticAircraft();
// The callsign of a static aircraft from its selection (flight A first when
// preferA, else flight B; the other one when that is empty); empty when both are.
std::string lf_detcs(const ParkingSelection& p);
// Trailing "_" removed and "*" appended unless it ends in "*" already.
std::string lf_staticCallsign(std::string callsign);
