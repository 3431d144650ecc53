#pragma once
// The airports subsystem's answers to core's airport seam. The shell installs
// one: `static AirportServicesImpl impl; setAirportServices(&impl);`.
// The stand-use recording and the static-parking calls answer "no airports"
// until the static parking provides them.

#include "core/airport_services.h"

class AirportServicesImpl : public AirportServices {
public:
    // The park airport as the load and the static parking set it.
    ParkAirportInfo parkAirport() override;
    // The park airport's elevation while its stand file is loaded.
    std::optional<double> referenceElevationFt() override;
    std::string reservedStandName() override { return {}; }
    // The park airport's stand file is loaded.
    bool standsLoaded() override;
    bool softLearningAllowed() override { return false; }
    // Worker thread (the stands are the worker's).
    std::string sidName(std::uint32_t standId) override;
    bool removeFarthestLive(double) override { return true; }
    bool addStandOption(std::uint32_t, const StandUser&, bool, std::uint64_t, bool) override { return false; }
    bool addStandOptionPT(std::uint32_t, const StandUser&, bool, std::uint64_t, bool) override { return false; }
    bool isStaticNamed(const StandUser&) override { return false; }
    bool isParkedTrafficNamed(const StandUser&) override { return false; }
    void addMyParkAirport() override {}
    void setFirstParkAirportReservedStand(const std::string&) override {}
};
