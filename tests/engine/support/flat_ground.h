#pragma once
// A flat world for the motion scenarios: the simulator's ground information
// for every active live aircraft, as the by-type request brings it (every 100
// ticks, every 20 while fastRangeRequest is set): the ground at one elevation,
// the height above it the block altitude less the elevation, on the ground at
// cgHeight or below, nothing above 2500 ft.

#include <cstdint>

#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "simlink/sim_handover.h"

struct FlatGround {
    double elevationFt = 0.0;

    // After the tick that ran with tickCounter == tick.
    void answer(std::int32_t tick) const
    {
        const std::int32_t period = fastRangeRequest ? 20 : 100;
        if (tick % period != 0) return;
        for (const LiveAc& ac : liveAircraft) {
            if (ac.simState != SimState::active || ac.objectId == 0) continue;
            const double height = ac.posBlock.altitude - elevationFt;
            if (height > 2500.0) continue;
            SimReply r;
            r.objectId = ac.objectId;
            r.aircraftId = height <= ac.cgHeight ? 1 : 0;
            r.kind = replyGroundInfo;
            r.valueA = elevationFt;
            r.valueB = height;
            pushSimReply(r);
        }
    }
};
