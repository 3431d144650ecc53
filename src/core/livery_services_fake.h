#pragma once
// Recording stand-in of the liveries subsystem for tests. Constructing it
// installs it; destroying it restores "not available". The answers are set
// through the public tables before the code under test runs; every call is
// recorded ("match AAL B738 N123AA", "matchStatic AAL B738 cargo at GATE 1",
// "notCreated AAL123 title B738 AAL", ...).

#include <map>
#include <set>
#include <string>

#include "core/app_services_fake.h"
#include "core/livery_services.h"

class LiveryServicesFake : public LiveryServices {
public:
    LiveryServicesFake() { setLiveryServices(this); }
    ~LiveryServicesFake() override { setLiveryServices(nullptr); }
    LiveryServicesFake(const LiveryServicesFake&) = delete;
    LiveryServicesFake& operator=(const LiveryServicesFake&) = delete;

    AcCategory typeCategory(const std::string& type) override
    {
        auto it = categories.find(type);
        return it == categories.end() ? AcCategory{0} : it->second;
    }
    bool isKnownType(const std::string& type) override { return knownTypes.count(type) > 0; }
    double halfWingspan(const std::string& type) override
    {
        auto it = halfSpans.find(type);
        return it == halfSpans.end() ? defaultHalfSpan : it->second;
    }
    double largestHalfWingspan() override { return largestHalfSpan; }
    std::optional<DbaseRecord> findDbaseRecord(const std::string& registration) override
    {
        calls.add("dbase " + registration);
        for (const std::string& r : gf_registrationVariants(registration)) {
            auto it = dbase.find(r);
            if (it != dbase.end()) return it->second;
        }
        return std::nullopt;
    }
    std::optional<LiveryMatch> matchLiveAcLivery(const LiveryRequest& ac) override
    {
        calls.add("match " + ac.airline + " " + ac.type + " " + ac.registration);
        return lf_title(ac.airline + " " + ac.type);
    }
    std::optional<LiveryMatch> matchStaticAcLivery(const LiveryRequest& ac, bool standCargo,
                                                   std::string_view standName) override
    {
        calls.add("matchStatic " + ac.airline + " " + ac.type + (standCargo ? " cargo" : "") + " at " +
                  std::string(standName));
        if (!ac.title.empty()) return LiveryMatch{ac.title, ac.title.find("FSLTL_") != std::string_view::npos};
        return lf_title(ac.airline + " " + ac.type);
    }
    std::string_view lookupTitleById(std::uint32_t aircraftId) override
    {
        std::lock_guard lock(mutex_);
        auto it = remembered_.find(aircraftId);
        if (it == remembered_.end() || blocked.count(it->second)) return {};
        return it->second;
    }
    void rememberTitle(std::uint32_t aircraftId, std::string_view title) override
    {
        std::lock_guard lock(mutex_);
        remembered_[aircraftId] = std::string(title);
    }
    void forgetTitle(std::uint32_t aircraftId) override
    {
        std::lock_guard lock(mutex_);
        remembered_.erase(aircraftId);
    }
    void clearRememberedTitles() override
    {
        std::lock_guard lock(mutex_);
        remembered_.clear();
    }
    std::optional<std::string_view> regcodeTitle(const std::string& registration) override
    {
        auto it = regcodes.find(registration);
        if (it == regcodes.end()) return std::nullopt;
        return std::string_view(it->second);
    }
    bool isBlockedTitle(std::string_view title) override { return blocked.count(std::string(title)) > 0; }
    void liveryNotCreated(const std::string& callsign, std::string_view title, const std::string& type,
                          const std::string& airline) override
    {
        calls.add("notCreated " + callsign + " " + std::string(title) + " " + type + " " + airline);
    }

    // Answers. Keys of `titles` are "airline type"; the stored titles live as
    // long as the fake, like the real livery table lives for the run.
    std::map<std::string, AcCategory> categories;
    std::set<std::string> knownTypes;
    std::map<std::string, double> halfSpans;
    double defaultHalfSpan = 0.0;
    double largestHalfSpan = 0.0;
    std::map<std::string, DbaseRecord> dbase;
    std::map<std::string, std::string> titles;
    std::map<std::string, std::string> regcodes;
    std::set<std::string> blocked;
    RecordedCalls calls;

private:
    std::optional<LiveryMatch> lf_title(const std::string& key) const
    {
        auto it = titles.find(key);
        if (it == titles.end() || blocked.count(it->second)) return std::nullopt;
        return LiveryMatch{it->second, it->second.find("FSLTL_") != std::string::npos};
    }

    std::mutex mutex_;
    std::map<std::uint32_t, std::string> remembered_;
};
