#pragma once
// What the engine asks of the liveries and the airports, answered for the
// service stand-in's scene: its aircraft types are known, with their category,
// wing span and one title per airline and type; the park airport is the scene's
// airport; removeFarthestLive follows the airports' rule over the live aircraft.
// For the engine demo and the end-to-end test (the real subsystems come later).

#include <mutex>
#include <set>
#include <string>
#include <unordered_map>

#include "core/airport_services.h"
#include "core/livery_services.h"

class SceneLiveries : public LiveryServices {
public:
    // Installs itself; the destructor restores "not available".
    SceneLiveries();
    ~SceneLiveries() override;
    SceneLiveries(const SceneLiveries&) = delete;
    SceneLiveries& operator=(const SceneLiveries&) = delete;

    AcCategory typeCategory(const std::string& type) override;
    bool isKnownType(const std::string& type) override;
    double halfWingspan(const std::string& type) override;
    double largestHalfWingspan() override;
    std::optional<DbaseRecord> findDbaseRecord(const std::string& registration) override;
    std::optional<LiveryMatch> matchLiveAcLivery(const LiveryRequest& ac) override;
    std::optional<LiveryMatch> matchStaticAcLivery(const LiveryRequest& ac, bool standCargo,
                                                   std::string_view standName) override;
    std::string_view lookupTitleById(std::uint32_t aircraftId) override;
    void rememberTitle(std::uint32_t aircraftId, std::string_view title) override;
    void forgetTitle(std::uint32_t aircraftId) override;
    void clearRememberedTitles() override;
    std::optional<std::string_view> regcodeTitle(const std::string& registration) override;
    bool isBlockedTitle(std::string_view title) override;
    void liveryNotCreated(const std::string& callsign, std::string_view title, const std::string& type,
                          const std::string& airline) override;

    // The title the scene's aircraft of that airline and type wear.
    static std::string titleFor(const std::string& airline, const std::string& type);

private:
    std::string_view lf_keep(const std::string& title);  // under mutex_

    std::mutex mutex_;
    std::set<std::string, std::less<>> titles_;  // node-stable: views into it stay valid
    std::unordered_map<std::uint32_t, std::string_view> remembered_;
    std::set<std::string, std::less<>> blocked_;
};

class SceneAirports : public AirportServices {
public:
    // Installs itself with the given park airport; the destructor restores "no airports".
    explicit SceneAirports(ParkAirportInfo park);
    ~SceneAirports() override;
    SceneAirports(const SceneAirports&) = delete;
    SceneAirports& operator=(const SceneAirports&) = delete;

    ParkAirportInfo parkAirport() override;
    std::optional<double> referenceElevationFt() override;
    std::string reservedStandName() override;
    bool standsLoaded() override;
    bool softLearningAllowed() override;
    std::string sidName(std::uint32_t standId) override;
    bool removeFarthestLive(double distanceNm) override;
    bool addStandOption(std::uint32_t standId, const StandUser& ac, bool flag, std::uint64_t weekdayAndSlot,
                        bool flag2) override;
    bool addStandOptionPT(std::uint32_t standId, const StandUser& ac, bool extend, std::uint64_t weekdayAndSlot,
                          bool extra) override;
    bool isStaticNamed(const StandUser& ac) override;
    bool isParkedTrafficNamed(const StandUser& ac) override;
    void addMyParkAirport() override;
    void setFirstParkAirportReservedStand(const std::string& stand) override;

private:
    ParkAirportInfo park_;
};

// The airports' rule for making room (worker thread, on the engine's live
// aircraft): walks the active live aircraft in order and takes as candidate each
// one farther from the user aircraft than the current candidate (at first
// `distanceNm`) by more than 0.1 nm; a candidate found goes to removal and the
// result is false; none: true.
bool removeFarthestActiveLive(double distanceNm);
