#pragma once
// Ghosts, duplicates and removal. The feed can show one real aircraft twice:
// under a new hex id with the old callsign, with a callsign that carries a
// trailing "_" (a ghost), or as a static aircraft that the static parking placed
// while the same aircraft is live; aircraft also get in each other's way on the
// ground. These rules pick which record goes; the bulk removals follow. Every
// removal goes through removeAircraftFromSim, so it takes effect later: callers
// look at state flags, not at the vectors' sizes. Worker thread only.

#include <cstdint>
#include <string>

struct LiveAc;
struct Stand;

// The naming rule of ghosts: `ghost` is the ghost of `callsign` when it is the
// same text followed by "_".
bool isGhostOf(const std::string& ghost, const std::string& callsign);

// Removes the live ghost of `callsign` (not one already being removed); its
// callsign goes to GhostCallsigns.
void removeGhost(const std::string& callsign);
// Removes the first active static that duplicates the live aircraft: the same
// hex id, the same registration, or the callsign among its coupled callsigns.
void resolveSameIdentity(LiveAc& live, bool onGround);
// Removes the first active static within 1.1 x the two half wingspans of the
// live aircraft's block position (at most one a call).
void removeStaticsNearLive(LiveAc& live);
// True when the newcomer `callsign` may take the stand; a parked live occupant
// that loses is removed.
bool lf_freeStandForNewcomer(std::uint32_t standId, const std::string& callsign);
// Removes a live aircraft parked on the adjacent stand when it stands too close
// to the stand the newcomer is parking at.
void lf_clearAdjacentStand(std::uint32_t adjacentStandId, LiveAc& newcomer, const Stand& target);
// Every static goes: active ones are removed, queued creations withdrawn and
// erased, creations in flight removed once created. Statics in buffer stay.
void removeAllStatics();
// The first active static, else the first parked live aircraft, at the stand of
// that name goes; nothing when no stand has the name.
void removeAtStand(const std::string& name);
