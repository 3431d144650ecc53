#pragma once
// Ghosts: a live callsign ending in "_" is the ghost of the aircraft whose
// callsign is the same text without it. Worker thread only.

#include <string>

// Removes the ghost of `callsign` (its callsign + "_") when one lives; the
// callsign goes to GhostCallsigns.
void removeGhost(const std::string& callsign);
