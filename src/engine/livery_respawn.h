#pragma once
// The livery respawn: an active aircraft is removed to be created again with
// another livery. Worker thread only.

struct LiveAc;

void liveryRespawn(LiveAc& ac);
