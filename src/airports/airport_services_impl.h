#pragma once
// The airports subsystem's answers to core's airport seam. The shell installs
// one: `static AirportServicesImpl impl; setAirportServices(&impl);`.

#include "core/airport_services.h"

class AirportServicesImpl : public AirportServices {
public:
    // The park airport as the load and the static parking set it (any thread).
    ParkAirportInfo parkAirport() override;
    // The park airport's elevation while its stand file is loaded (any thread).
    std::optional<double> referenceElevationFt() override;
    // The stand kept free for the user (any thread).
    std::string reservedStandName() override;
    // The park airport's stand file is loaded (any thread).
    bool standsLoaded() override;
    bool softLearningAllowed() override;
    // The rest: worker thread (the stands and aircraft are the worker's), except
    // the park-airport list's two entries, which lock it.
    std::string sidName(std::uint32_t standId) override;
    bool removeFarthestLive(double distanceNm) override;
    bool addStandOption(std::uint32_t standId, const StandUser& ac, bool flag, std::uint64_t weekdayAndSlot,
                        bool extend) override;
    bool addStandOptionPT(std::uint32_t standId, const StandUser& ac, bool extend, std::uint64_t weekdayAndSlot,
                          bool extra) override;
    bool isStaticNamed(const StandUser& ac) override;
    bool isParkedTrafficNamed(const StandUser& ac) override;
    void addMyParkAirport() override;
    void setFirstParkAirportReservedStand(const std::string& stand) override;
    void resetForNewRun() override;
};
