#include "engine/livery_respawn.h"

#include <cmath>
#include <exception>

#include "core/fmt.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/timed_queues.h"

void liveryRespawn(LiveAc& ac)
{
    try {
        const AcPositionBlock& pb = ac.posBlock;
        PositionSample n = ac.samples.empty() ? PositionSample{} : ac.samples.front();
        if (ac.phase != AcPhase::parked) {
            n.latitude = pb.latitude;
            n.longitude = pb.longitude;
            n.altitude = pb.altitude;
            n.bank = pb.bank;
            if (!ac.samples.empty()) {
                PositionSample& s0 = ac.samples.front();
                if (std::fabs(s0.latitude - pb.latitude) <= 1e-8 && std::fabs(s0.longitude - pb.longitude) <= 1e-8)
                    s0.stationary = true;
            }
        } else {
            if (ac.samples.size() > 1) ac.samples.resize(1);
            if (!ac.samples.empty()) {
                ac.samples.front().stationary = true;
                ac.samples.front().track = pb.heading * geo::radToDeg;
            }
            n.stationary = true;
        }
        n.dueTick = tickCounter.load() + 1;
        ac.samples.push_front(n);
        ac.simState = SimState::liveryrespawn;
        ac.respawnHeading = pb.heading;
        if (ac.objectId == 0) {
            logLineMarked(vr::format("{} removing act {} with objectid=0 ?", "liveryRespawn", acDescription(ac)));
            return;
        }
        // Pushed here, not through removeAircraftFromSim: the confirmation must
        // return the record to the buffer, not erase it.
        removalDeque.push_back(ac.objectId);
    } catch (const std::exception& e) {
        logLine(vr::format("{}: {}", "liveryRespawn", e.what()));
    }
}
