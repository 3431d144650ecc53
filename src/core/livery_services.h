#pragma once
// What core, the simulator link, the live-traffic client and the traffic engine
// use of the liveries and aircraft-data subsystem: type lookups, database
// records, livery matching, remembered and refused titles.
//
// The subsystem installs its implementation with setLiveryServices; until then
// every call answers "not available" (no record, no match, no title, category
// Light, span 0). Tests install LiveryServicesFake (core/livery_services_fake.h).
// The aircraft are passed as the few fields the lookups need, so this header
// knows no type of the engine; AcCategory is the engine's enum, declared here
// opaquely (0 Light .. 5 Rotorcraft).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class AcCategory : std::int32_t;

// One registration of the aircraft database.
struct DbaseRecord {
    std::string registration;
    std::string airline;
    std::string type;
    std::string op;  // operator
    bool cargo = false;
};

// What a livery match looks at of an aircraft.
struct LiveryRequest {
    std::string airline;
    std::string type;
    std::string registration;
    std::string callsign;
    AcCategory category{};
    bool cargo = false;
    // For the log lines only. (Appended with initializers, so the requests
    // written as {airline, type, registration, callsign, category, cargo} stay whole.)
    std::string origin{};
    std::string destination{};
    // A title the aircraft already carries (a static aircraft placed again):
    // the static match keeps it.
    std::string_view title{};
};

// A matched livery: the title is a view into the livery table, which lives for
// the whole run (until a rescan rebuilds it at the start of a run); fsltlModel
// is whether the title contains "FSLTL_", for live and static aircraft alike.
struct LiveryMatch {
    std::string_view title;
    bool fsltlModel = false;
};

class LiveryServices {
public:
    virtual ~LiveryServices() = default;

    // Category of an ICAO type from the database's type sets; Light when in none.
    virtual AcCategory typeCategory(const std::string& type) = 0;
    // The type is in the database's set of known types (exact text).
    virtual bool isKnownType(const std::string& type) = 0;
    // Half the wingspan of the type in nautical miles (the category's average when unknown).
    virtual double halfWingspan(const std::string& type) = 0;
    // The largest half wingspan of the database (nm), for a user aircraft of unknown type.
    virtual double largestHalfWingspan() = 0;
    // The database record of the first spelling of gf_registrationVariants that has one.
    virtual std::optional<DbaseRecord> findDbaseRecord(const std::string& registration) = 0;

    // The livery for a live aircraft; none when nothing fits (MATCHING_DEPTH decides the steps).
    virtual std::optional<LiveryMatch> matchLiveAcLivery(const LiveryRequest& ac) = 0;
    // The livery for a new static aircraft at a stand with that cargo flag and
    // name (for the log); a request that carries a title keeps it. None: drop the aircraft.
    virtual std::optional<LiveryMatch> matchStaticAcLivery(const LiveryRequest& ac, bool standCargo,
                                                           std::string_view standName) = 0;
    // The title remembered for the aircraft id; empty when none or when it is blocked.
    virtual std::string_view lookupTitleById(std::uint32_t aircraftId) = 0;
    virtual void rememberTitle(std::uint32_t aircraftId, std::string_view title) = 0;
    virtual void forgetTitle(std::uint32_t aircraftId) = 0;
    virtual void clearRememberedTitles() = 0;
    // RegcodeTable: the title of an installed livery registered for the registration.
    virtual std::optional<std::string_view> regcodeTitle(const std::string& registration) = 0;
    // BlockedTitles: the simulator could not create this title.
    virtual bool isBlockedTitle(std::string_view title) = 0;
    // The simulator refused to create the aircraft: shows "{} '{}' could not be
    // created by your Sim!", blocks the title, lists "type airline" as not
    // created; throws qxv::UserErrorException 81 when 20 or more titles are
    // blocked. Nothing once a stop was requested.
    virtual void liveryNotCreated(const std::string& callsign, std::string_view title, const std::string& type,
                                  const std::string& airline) = 0;
};

// Installs the implementation (not owned; it must outlive its use). nullptr: "not available".
void setLiveryServices(LiveryServices* services);
LiveryServices& liveryServices();

// Shorthands under the subsystem's own names.
AcCategory gf_typeCategory(const std::string& type);
bool gf_isKnownType(const std::string& type);
double gf_halfWingspan(const std::string& type);
std::optional<DbaseRecord> gf_findDbaseRecord(const std::string& registration);
std::optional<LiveryMatch> gf_matchLiveAcLivery(const LiveryRequest& ac);
std::optional<LiveryMatch> gf_matchStaticAcLivery(const LiveryRequest& ac, bool standCargo,
                                                  std::string_view standName);
std::string_view gf_lookupTitleById(std::uint32_t aircraftId);
void gf_liveryNotCreated(const std::string& callsign, std::string_view title, const std::string& type,
                         const std::string& airline);

// The spellings of a registration to look up, in order: for 5 or more
// characters, not starting with 'N' and holding no '-': the form with '-' after
// the second character, then after the first, then the registration itself;
// otherwise the registration alone.
std::vector<std::string> gf_registrationVariants(const std::string& registration);
