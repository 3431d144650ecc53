#include "core/livery_services.h"

#include <atomic>

namespace {

// Before the liveries subsystem is installed: nothing is known.
class UnavailableLiveryServices final : public LiveryServices {
public:
    AcCategory typeCategory(const std::string&) override { return AcCategory{0}; }
    bool isKnownType(const std::string&) override { return false; }
    double halfWingspan(const std::string&) override { return 0.0; }
    double largestHalfWingspan() override { return 0.0; }
    std::optional<DbaseRecord> findDbaseRecord(const std::string&) override { return std::nullopt; }
    std::optional<LiveryMatch> matchLiveAcLivery(const LiveryRequest&) override { return std::nullopt; }
    std::optional<LiveryMatch> matchStaticAcLivery(const LiveryRequest&, bool, std::string_view) override
    {
        return std::nullopt;
    }
    std::string_view lookupTitleById(std::uint32_t) override { return {}; }
    void rememberTitle(std::uint32_t, std::string_view) override {}
    void forgetTitle(std::uint32_t) override {}
    void clearRememberedTitles() override {}
    std::optional<std::string_view> regcodeTitle(const std::string&) override { return std::nullopt; }
    bool isBlockedTitle(std::string_view) override { return false; }
    void liveryNotCreated(const std::string&, std::string_view, const std::string&, const std::string&) override {}
};

std::atomic<LiveryServices*> lf_services{nullptr};

}  // namespace

void setLiveryServices(LiveryServices* services) { lf_services.store(services, std::memory_order_release); }

LiveryServices& liveryServices()
{
    static LiveryServices& unavailable = *new UnavailableLiveryServices;  // never destroyed
    LiveryServices* s = lf_services.load(std::memory_order_acquire);
    return s ? *s : unavailable;
}

AcCategory gf_typeCategory(const std::string& type) { return liveryServices().typeCategory(type); }
bool gf_isKnownType(const std::string& type) { return liveryServices().isKnownType(type); }
double gf_halfWingspan(const std::string& type) { return liveryServices().halfWingspan(type); }
std::optional<DbaseRecord> gf_findDbaseRecord(const std::string& registration)
{
    return liveryServices().findDbaseRecord(registration);
}
std::optional<LiveryMatch> gf_matchLiveAcLivery(const LiveryRequest& ac) { return liveryServices().matchLiveAcLivery(ac); }
std::optional<LiveryMatch> gf_matchStaticAcLivery(const LiveryRequest& ac, bool standCargo, std::string_view standName)
{
    return liveryServices().matchStaticAcLivery(ac, standCargo, standName);
}
std::string_view gf_lookupTitleById(std::uint32_t aircraftId) { return liveryServices().lookupTitleById(aircraftId); }
void gf_liveryNotCreated(const std::string& callsign, std::string_view title, const std::string& type,
                         const std::string& airline)
{
    liveryServices().liveryNotCreated(callsign, title, type, airline);
}

std::vector<std::string> gf_registrationVariants(const std::string& registration)
{
    if (registration.size() < 5 || registration.front() == 'N' || registration.find('-') != std::string::npos)
        return {registration};
    return {registration.substr(0, 2) + "-" + registration.substr(2),
            registration.substr(0, 1) + "-" + registration.substr(1), registration};
}
