#include "liveries/livery_services_impl.h"

#include "liveries/dbase.h"
#include "liveries/livery_index.h"
#include "liveries/livery_match.h"

AcCategory LiveryServicesImpl::typeCategory(const std::string& type) { return dbaseTypeCategory(type); }
bool LiveryServicesImpl::isKnownType(const std::string& type) { return dbaseIsKnownType(type); }
double LiveryServicesImpl::halfWingspan(const std::string& type) { return dbaseHalfWingspan(type); }
double LiveryServicesImpl::largestHalfWingspan() { return maxHalfWingspan; }
std::optional<DbaseRecord> LiveryServicesImpl::findDbaseRecord(const std::string& registration)
{
    return dbaseFindRecord(registration);
}

std::optional<LiveryMatch> LiveryServicesImpl::matchLiveAcLivery(const LiveryRequest& ac)
{
    MatchAc match{ac, ac.cargo, {}};
    gf_matchLiveAcLivery(match);
    if (match.title.empty()) return std::nullopt;
    return LiveryMatch{match.title, match.fsltl};
}
std::optional<LiveryMatch> LiveryServicesImpl::matchStaticAcLivery(const LiveryRequest& ac, bool standCargo,
                                                                   std::string_view standName)
{
    MatchAc match{ac, ac.cargo, ac.title};
    gf_matchStaticAcLivery(match, standCargo, standName);
    if (match.title.empty()) return std::nullopt;
    return LiveryMatch{match.title, match.title.find("FSLTL_") != std::string_view::npos};
}
std::string_view LiveryServicesImpl::lookupTitleById(std::uint32_t aircraftId) { return lf_titleById(aircraftId); }
void LiveryServicesImpl::rememberTitle(std::uint32_t aircraftId, std::string_view title)
{
    TitleByAircraftId.insert_or_assign(aircraftId, title);
}
void LiveryServicesImpl::forgetTitle(std::uint32_t aircraftId) { TitleByAircraftId.erase(aircraftId); }
void LiveryServicesImpl::clearRememberedTitles() { TitleByAircraftId.clear(); }
std::optional<std::string_view> LiveryServicesImpl::regcodeTitle(const std::string& registration)
{
    const auto it = RegcodeTable.find(registration);
    if (it == RegcodeTable.end()) return std::nullopt;
    return it->second;
}
bool LiveryServicesImpl::isBlockedTitle(std::string_view title) { return lf_isBlockedTitle(title); }
void LiveryServicesImpl::liveryNotCreated(const std::string& callsign, std::string_view title,
                                          const std::string& type, const std::string& airline)
{
    lf_liveryNotCreated(callsign, title, type, airline);
}

void installLiveryServices()
{
    static LiveryServicesImpl& instance = *new LiveryServicesImpl;  // never destroyed: threads may ask at exit
    setLiveryServices(&instance);
}
