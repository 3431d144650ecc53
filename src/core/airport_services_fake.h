#pragma once
// Recording stand-in of the airports subsystem for tests. Constructing it
// installs it; destroying it restores "no airports". The answers are public
// fields; the calls that change something are recorded.

#include <atomic>
#include <map>
#include <set>
#include <mutex>

#include "core/airport_services.h"
#include "core/app_services_fake.h"
#include "core/fmt.h"

class AirportServicesFake : public AirportServices {
public:
    AirportServicesFake() { setAirportServices(this); }
    ~AirportServicesFake() override { setAirportServices(nullptr); }
    AirportServicesFake(const AirportServicesFake&) = delete;
    AirportServicesFake& operator=(const AirportServicesFake&) = delete;

    ParkAirportInfo parkAirport() override
    {
        std::lock_guard lock(mutex_);
        return park;
    }
    std::optional<double> referenceElevationFt() override
    {
        std::lock_guard lock(mutex_);
        return referenceElevation;
    }
    std::string reservedStandName() override
    {
        std::lock_guard lock(mutex_);
        return reservedStand;
    }
    bool standsLoaded() override { return loaded; }
    bool softLearningAllowed() override { return softLearning; }
    std::string sidName(std::uint32_t standId) override
    {
        if (standId == 0) return "sid==0?";
        auto it = standNames.find(standId);
        return it == standNames.end() ? "unknown" : it->second;
    }
    bool removeFarthestLive(double distanceNm) override
    {
        calls.add(vr::format("removeFarthestLive {}", distanceNm));
        return removeFarthestResult;
    }
    bool addStandOption(std::uint32_t standId, const StandUser& ac, bool flag, std::uint64_t weekdayAndSlot,
                        bool flag2) override
    {
        calls.add(vr::format("addStandOption {} {} {} {} {}", standId, ac.callsign, flag, weekdayAndSlot, flag2));
        return addStandOptionResult;
    }
    bool addStandOptionPT(std::uint32_t standId, const StandUser& ac, bool extend, std::uint64_t weekdayAndSlot,
                          bool extra) override
    {
        calls.add(vr::format("addStandOptionPT {} {} {} {} {}", standId, ac.callsign, extend, weekdayAndSlot, extra));
        return addStandOptionResult;
    }
    bool isStaticNamed(const StandUser& ac) override { return staticNames.count(ac.callsign) > 0; }
    bool isParkedTrafficNamed(const StandUser& ac) override { return parkedNames.count(ac.callsign) > 0; }
    void addMyParkAirport() override { calls.add("addMyParkAirport"); }
    void setFirstParkAirportReservedStand(const std::string& stand) override
    {
        calls.add("reservedStand " + stand);
    }
    void resetForNewRun() override { calls.add("resetForNewRun"); }

    // Answers (set before the code under test runs; park, referenceElevation and
    // reservedStand may be changed under lock() while it runs).
    std::unique_lock<std::mutex> lock() { return std::unique_lock(mutex_); }
    ParkAirportInfo park;
    std::optional<double> referenceElevation;
    std::string reservedStand;
    std::atomic<bool> loaded{false};
    std::atomic<bool> softLearning{true};
    std::map<std::uint32_t, std::string> standNames;
    std::set<std::string> staticNames;
    std::set<std::string> parkedNames;
    bool removeFarthestResult = true;
    bool addStandOptionResult = true;
    RecordedCalls calls;

private:
    std::mutex mutex_;
};
