// Stand-ins for the parking of live aircraft and the stand-use learning, which
// are built with the stand search. They only record their calls, so the motion
// can be driven and tested without them; parkingStubCalls() returns the record.

#include <string>
#include <vector>

#include "core/fmt.h"
#include "engine/motion.h"

std::vector<std::string>& parkingStubCalls()
{
    static std::vector<std::string>& calls = *new std::vector<std::string>();
    return calls;
}

void try2Park(LiveAc& ac, bool wide)
{
    parkingStubCalls().push_back(vr::format("try2Park {} {}", ac.aircraftId, wide));
}

void enforceMaxPark(std::uint32_t extra)
{
    parkingStubCalls().push_back(vr::format("enforceMaxPark {}", extra));
}

void lf_learnStandUse(LiveAc& ac, bool departing)
{
    parkingStubCalls().push_back(vr::format("lf_learnStandUse {} {}", ac.aircraftId, departing));
}

bool lf_markIdInSlot(std::uint64_t weekdayAndSlot, std::uint32_t aircraftId, bool force)
{
    parkingStubCalls().push_back(vr::format("lf_markIdInSlot {} {} {}", weekdayAndSlot, aircraftId, force));
    return true;
}
