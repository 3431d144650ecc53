#pragma once
// Spawning live aircraft: a live aircraft lives first in the buffer; once a tick
// the update pass calls lf_spawnPath for it, which waits, drops a sample, drops
// the aircraft (removedInBuffer; the update pass erases it) or creates it
// (spawnLiveAc: livery, phase, initial position block, adding2sim, pending id).
// Worker thread only, like the tables below.

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

struct LiveAc;
enum class AcPhase : std::uint32_t;

// Callsigns removed as ghosts; appended only (until a reset).
extern std::vector<std::string>& GhostCallsigns;

// acTypeRegText keys of live aircraft for which no livery matched (64-bit FNV-1a).
struct FnvHash {
    std::size_t operator()(std::string_view text) const noexcept;
};
using UnmatchedKeySet = std::unordered_set<std::string, FnvHash>;
extern UnmatchedKeySet& UnmatchedLiveKeys;

// Aircraft ids in the order of their spawn or touchdown; the main cycle looks
// at the front once a second (worker).
extern std::deque<std::uint32_t>& IdentityCheckQueue;

// Lead ticks before the front sample's due tick.
inline constexpr std::int32_t spawnLeadMoving = 300;
inline constexpr std::int32_t spawnLead = 100;
// More queued live creations than this make a newborn lose a sample instead.
inline constexpr std::size_t maxQueuedCreations = 10;

void lf_spawnPath(LiveAc& ac);
// True when the aircraft must wait for the user aircraft (its front sample dropped).
bool lf_holdForUserAc(LiveAc& ac);
void spawnLiveAc(LiveAc& ac);
// A live aircraft not being removed has the callsign without its last character.
bool lf_ghostBaseExists(std::string_view callsign);
// The initial pitch (rad, negative = nose up) for an airborne sample's vertical rate (ft/min).
double initialAirPitch(double verticalRate);
// Every phase change keeps the old phase in prevPhase (only a real change).
void setAcPhase(LiveAc& ac, AcPhase phase);
