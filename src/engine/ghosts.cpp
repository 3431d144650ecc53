#include "engine/ghosts.h"

#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"

void removeGhost(const std::string& callsign)
{
    // The ghost search and removal come with the duplicate handling; until then
    // only the request is logged.
    if (LOG.get()) logLine(vr::format("removeGhost {}_", callsign));
}
