#pragma once
// Motion scenes for vrmt-motiontrace: one live aircraft flown by the engine's
// own tick (replies, update pass, position hand-over) over a flat ground whose
// heights answer the engine's ground requests (every 100 ticks, 20 while a
// flare asks for them). The simulator and the airports are stand-ins in this
// process; nothing is sent anywhere.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/ac_records.h"

// A flat world: the simulator's ground information for every active live
// aircraft, as the by-type request brings it (every 100 ticks, every 20 while
// fastRangeRequest is set): the ground at one elevation, the height above it
// the block altitude less the elevation, on the ground at cgHeight or below,
// nothing above 2500 ft. The tests fly their scenarios over it too.
struct FlatGround {
    double elevationFt = 0.0;
    // After the tick that ran with tickCounter == tick.
    void answer(std::int32_t tick) const;
};

// The scene names: "landing", "pushback", "antimeridian".
std::vector<std::string> motionSceneNames();

// Flies the scene for at most maxTicks ticks (or until the aircraft is gone),
// calling `row` after every tick with the tick and the aircraft. False for an
// unknown scene name.
bool runMotionScene(const std::string& name, std::int32_t maxTicks,
                    const std::function<void(std::int32_t, const LiveAc&)>& row);
