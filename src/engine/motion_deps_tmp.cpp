// Stand-ins until the adding stack lands.
#include "engine/motion_deps.h"

#include "simlink/sim_queues.h"

std::atomic<std::int32_t> tickCounter{0};
bool fastRangeRequest = false;
UserAcState engineUserAc{};
std::atomic<int> engineQnh{1013};

void removeAircraftFromSim(SimAc& ac)
{
    if (ac.simState == SimState::buffer) {
        ac.removedInBuffer = true;
        return;
    }
    ac.simState = SimState::removingfromsim;
}
void shutDownAc(SimAc& ac)
{
    setThrottle(ac, 0);
    gf_setFlaps(ac, 0);
    queueClientEvent({ac.objectId, EVENT_ENGINE_AUTO_SHUTDOWN, 0});
}
void setThrottle(SimAc& ac, std::uint32_t step)
{
    static constexpr std::uint32_t values[] = {0, 4914, 8191, 11468, 16383};
    if (step == ac.throttleStep) return;
    if (step <= 4) queueClientEvent({ac.objectId, EVENT_THROTTLE_SET, values[step]});
    ac.throttleStep = step;
}
void gf_setFlaps(SimAc& ac, std::uint32_t index)
{
    static constexpr std::uint32_t values[] = {0, 3072, 10240, 16383, 0};
    if (index == ac.flapsIndex || ac.category == AcCategory::Rotorcraft) return;
    if (index <= 4) queueClientEvent({ac.objectId, EVENT_FLAPS_SET, values[index]});
    ac.flapsIndex = index;
}
void queueIdentityCheck(std::uint32_t) {}
void lf_spawnPath(LiveAc&) {}
