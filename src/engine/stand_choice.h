#pragma once
// The stand of a live aircraft born standing at the park airport, and the
// learning of stand use from live aircraft that appear or vanish near it
// without a stand. Worker thread only.

#include <cstdint>
#include <optional>

#include "engine/stand.h"

struct LiveAc;

// A copy of the stand chosen for an aircraft born on the ground within 5 nm of
// the park airport, standing or about to stop; the statics there make way.
// Nothing when none fits or the stand is the user's or the reserved one (the
// aircraft then taxis); nothing with removedInBuffer set when the stand found
// cannot be had.
std::optional<Stand> lf_chooseStand(LiveAc& ac);
// Records the stand use of an aircraft leaving the feed or starting its take-off
// roll at the stand learned for it, else at a stand free at this half hour.
void lf_learnStandUse(LiveAc& ac, bool departing);
// The stand where the aircraft was seen before (at another half hour) records
// this half hour; true when it did, and the aircraft's slot mark is then set.
bool lf_recordKnownStandUse(LiveAc& ac, std::uint64_t weekdayAndSlot, bool departing);
