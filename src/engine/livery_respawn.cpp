#include "engine/livery_respawn.h"

#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "engine/ac_records.h"

void liveryRespawn(LiveAc& ac)
{
    // The removal and re-creation with the new livery come with the stand
    // choice; until then only the request is logged.
    if (LOG.get()) logLine(vr::format("liveryRespawn {}", acDescription(ac)));
}
