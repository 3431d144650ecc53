#include "core/airport_services.h"

#include <atomic>

namespace {

// Before the airports subsystem is installed: no park airport, no stands.
class NoAirportServices final : public AirportServices {
public:
    ParkAirportInfo parkAirport() override { return {}; }
    std::optional<double> referenceElevationFt() override { return std::nullopt; }
    std::string reservedStandName() override { return {}; }
    bool standsLoaded() override { return false; }
    bool softLearningAllowed() override { return false; }
    std::string sidName(std::uint32_t standId) override { return standId == 0 ? "sid==0?" : "unknown"; }
    bool removeFarthestLive(double) override { return true; }
    bool addStandOption(std::uint32_t, const StandUser&, bool, std::uint64_t, bool) override { return false; }
    bool addStandOptionPT(std::uint32_t, const StandUser&, bool, std::uint64_t, bool) override { return false; }
    bool isStaticNamed(const StandUser&) override { return false; }
    bool isParkedTrafficNamed(const StandUser&) override { return false; }
    void addMyParkAirport() override {}
    void setFirstParkAirportReservedStand(const std::string&) override {}
};

std::atomic<AirportServices*> lf_services{nullptr};

}  // namespace

void setAirportServices(AirportServices* services) { lf_services.store(services, std::memory_order_release); }

AirportServices& airportServices()
{
    static AirportServices& none = *new NoAirportServices;  // never destroyed
    AirportServices* s = lf_services.load(std::memory_order_acquire);
    return s ? *s : none;
}

std::string sidName(std::uint32_t standId) { return airportServices().sidName(standId); }
bool removeFarthestLive(double distanceNm) { return airportServices().removeFarthestLive(distanceNm); }
bool lt_addStandOption(std::uint32_t standId, const StandUser& ac, bool flag, std::uint64_t weekdayAndSlot, bool flag2)
{
    return airportServices().addStandOption(standId, ac, flag, weekdayAndSlot, flag2);
}
bool addStandOptionPT(std::uint32_t standId, const StandUser& ac, bool extend, std::uint64_t weekdayAndSlot, bool extra)
{
    return airportServices().addStandOptionPT(standId, ac, extend, weekdayAndSlot, extra);
}
bool isStaticNamed(const StandUser& ac) { return airportServices().isStaticNamed(ac); }
bool isParkedTrafficNamed(const StandUser& ac) { return airportServices().isParkedTrafficNamed(ac); }
void addMyParkAirport() { airportServices().addMyParkAirport(); }
