#include "airports/airport_services_impl.h"

#include "airports/airport_load.h"
#include "engine/stand.h"

ParkAirportInfo AirportServicesImpl::parkAirport() { return currentParkAirport(); }

std::optional<double> AirportServicesImpl::referenceElevationFt()
{
    if (!airportFileLoaded.load()) return std::nullopt;
    const ParkAirportInfo park = currentParkAirport();
    if (park.code.empty()) return std::nullopt;
    return park.elevationFt;
}

bool AirportServicesImpl::standsLoaded() { return airportFileLoaded.load(); }

std::string AirportServicesImpl::sidName(std::uint32_t standId)
{
    if (standId == 0) return "sid==0?";
    const Stand* s = findStandById(standId);
    return s ? s->name : "unknown";
}
