#pragma once
// What core, the simulator link, the live-traffic client and the traffic engine
// use of the airports, stands and static-parking subsystem: the park airport,
// stand names, stand-use recording and the few calls the engine makes into it.
//
// The subsystem installs its implementation with setAirportServices; until then
// there is no park airport and no stand. Tests install AirportServicesFake
// (core/airport_services_fake.h). Aircraft are passed as the fields that are
// used, so this header knows no type of the engine.

#include <cstdint>
#include <optional>
#include <string>

// The park airport; an empty code: none.
struct ParkAirportInfo {
    std::string code;
    std::string iata;
    double lat = 0.0;  // degrees
    double lon = 0.0;
    double elevationFt = 0.0;
};

// The names of an aircraft that stand-use records and the static parking compare.
struct StandUser {
    std::uint32_t aircraftId = 0;
    std::string airline;
    std::string type;
    std::string registration;
    std::string callsign;
};

class AirportServices {
public:
    virtual ~AirportServices() = default;

    virtual ParkAirportInfo parkAirport() = 0;
    // The park airport's elevation for the traffic reader (feet); none outside static parking.
    virtual std::optional<double> referenceElevationFt() = 0;
    // The stand reserved for the user aircraft; empty when none.
    virtual std::string reservedStandName() = 0;
    // An airport stand file was read (ground movement parks only while set).
    virtual bool standsLoaded() = 0;
    // Stand-use learning may run (with LEARN_SOFT).
    virtual bool softLearningAllowed() = 0;

    // The name of the stand with that id; "sid==0?" for 0, "unknown" when no stand has it.
    virtual std::string sidName(std::uint32_t standId) = 0;
    // Sends the farthest active live aircraft beyond distanceNm (+0.1 nm) to
    // removal and returns false; true when there is none.
    virtual bool removeFarthestLive(double distanceNm) = 0;
    // Records the half-hour slot in the aircraft's stand-use record at the stand;
    // true when something was recorded (lt_addStandOption). extend: a record
    // whose slots lie close enough is extended instead of adding one.
    virtual bool addStandOption(std::uint32_t standId, const StandUser& ac, bool flag, std::uint64_t weekdayAndSlot,
                                bool extend) = 0;
    // The same for learned (soft) stand use (addStandOptionPT): extend is true for
    // a stand the aircraft was seen at before; extra is true for an aircraft that
    // vanished in flight.
    virtual bool addStandOptionPT(std::uint32_t standId, const StandUser& ac, bool extend,
                                  std::uint64_t weekdayAndSlot, bool extra) = 0;
    // A static aircraft / a planned static position carries one of the aircraft's names.
    virtual bool isStaticNamed(const StandUser& ac) = 0;
    virtual bool isParkedTrafficNamed(const StandUser& ac) = 0;
    // Rewrites my_park_airports.txt from the park-airport list.
    virtual void addMyParkAirport() = 0;
    // A new flight: the first park-airport entry's reserved stand becomes `stand`.
    virtual void setFirstParkAirportReservedStand(const std::string& stand) = 0;
    // A new run: the park airport, the park-airport list and the static
    // parking's run state are emptied (called by the engine's reset).
    virtual void resetForNewRun() {}
};

// Installs the implementation (not owned; it must outlive its use). nullptr: no airports.
void setAirportServices(AirportServices* services);
AirportServices& airportServices();

// Shorthands under the subsystem's own names.
std::string sidName(std::uint32_t standId);
bool removeFarthestLive(double distanceNm);
bool lt_addStandOption(std::uint32_t standId, const StandUser& ac, bool flag, std::uint64_t weekdayAndSlot,
                       bool extend);
bool addStandOptionPT(std::uint32_t standId, const StandUser& ac, bool extend, std::uint64_t weekdayAndSlot,
                      bool extra);
bool isStaticNamed(const StandUser& ac);
bool isParkedTrafficNamed(const StandUser& ac);
void addMyParkAirport();
