#include "airports/airport_services_impl.h"

#include <algorithm>

#include "airports/airport_load.h"
#include "airports/park_airports.h"
#include "airports/parking_renewal.h"
#include "airports/stand_learning.h"
#include "airports/static_parking.h"
#include "engine/ac_records.h"
#include "engine/stand.h"

namespace {

// The size and use of the aircraft that a stay's extension needs: from its live
// record, else from its type.
LearnedAircraft lf_learned(const StandUser& ac)
{
    LearnedAircraft learned{ac, false, false};
    const auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                 [&](const LiveAc& live) { return live.aircraftId == ac.aircraftId; });
    if (it != liveAircraft.end()) {
        learned.cargo = it->cargo;
        learned.heavy = it->category == AcCategory::Heavy;
    } else {
        learned.heavy = gf_typeCategory(ac.type) == AcCategory::Heavy;
    }
    return learned;
}

}  // namespace

ParkAirportInfo AirportServicesImpl::parkAirport() { return currentParkAirport(); }

std::optional<double> AirportServicesImpl::referenceElevationFt()
{
    if (!airportFileLoaded.load()) return std::nullopt;
    const ParkAirportInfo park = currentParkAirport();
    if (park.code.empty()) return std::nullopt;
    return park.elevationFt;
}

std::string AirportServicesImpl::reservedStandName() { return reservedStand(); }

bool AirportServicesImpl::standsLoaded() { return airportFileLoaded.load(); }

bool AirportServicesImpl::softLearningAllowed() { return ::softLearningAllowed.load(); }

std::string AirportServicesImpl::sidName(std::uint32_t standId) { return standName(standId); }

bool AirportServicesImpl::removeFarthestLive(double distanceNm) { return removeFarthestLiveAc(distanceNm); }

bool AirportServicesImpl::addStandOption(std::uint32_t standId, const StandUser& ac, bool, std::uint64_t weekdayAndSlot,
                                         bool extend)
{
    return lt_addStandOption(standId, lf_learned(ac), weekdayAndSlot, extend);
}

bool AirportServicesImpl::addStandOptionPT(std::uint32_t standId, const StandUser& ac, bool extend,
                                           std::uint64_t weekdayAndSlot, bool extra)
{
    return ::addStandOptionPT(standId, lf_learned(ac), weekdayAndSlot, extend, extra);
}

bool AirportServicesImpl::isStaticNamed(const StandUser& ac) { return isStaticNamedAc(ac); }

bool AirportServicesImpl::isParkedTrafficNamed(const StandUser& ac) { return isParkedTrafficNamedAc(ac); }

void AirportServicesImpl::addMyParkAirport() { addMyParkAirportEntry(); }

void AirportServicesImpl::setFirstParkAirportReservedStand(const std::string& stand) { setFirstParkAirportStand(stand); }

void AirportServicesImpl::resetForNewRun() { resetAirportState(); }
