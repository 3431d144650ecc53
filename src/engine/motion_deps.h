#pragma once
// What the motion code uses of the rest of the engine (adding stack, replies,
// spawning). Stand-in declarations until those land.

#include <atomic>
#include <cstdint>

#include "engine/ac_records.h"
#include "simlink/sim_definitions.h"

extern std::atomic<std::int32_t> tickCounter;
extern bool fastRangeRequest;
extern UserAcState engineUserAc;
extern std::atomic<int> engineQnh;
void removeAircraftFromSim(SimAc& ac);
void shutDownAc(SimAc& ac);
void setThrottle(SimAc& ac, std::uint32_t step);
void gf_setFlaps(SimAc& ac, std::uint32_t index);
void queueIdentityCheck(std::uint32_t aircraftId);
void lf_spawnPath(LiveAc& ac);
