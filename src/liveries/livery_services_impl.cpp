#include "liveries/livery_services_impl.h"

#include "liveries/dbase.h"

AcCategory LiveryServicesImpl::typeCategory(const std::string& type) { return dbaseTypeCategory(type); }
bool LiveryServicesImpl::isKnownType(const std::string& type) { return dbaseIsKnownType(type); }
double LiveryServicesImpl::halfWingspan(const std::string& type) { return dbaseHalfWingspan(type); }
double LiveryServicesImpl::largestHalfWingspan() { return maxHalfWingspan; }
std::optional<DbaseRecord> LiveryServicesImpl::findDbaseRecord(const std::string& registration)
{
    return dbaseFindRecord(registration);
}

std::optional<LiveryMatch> LiveryServicesImpl::matchLiveAcLivery(const LiveryRequest&) { return std::nullopt; }
std::optional<LiveryMatch> LiveryServicesImpl::matchStaticAcLivery(const LiveryRequest&, bool) { return std::nullopt; }
std::string_view LiveryServicesImpl::lookupTitleById(std::uint32_t) { return {}; }
void LiveryServicesImpl::rememberTitle(std::uint32_t, std::string_view) {}
void LiveryServicesImpl::forgetTitle(std::uint32_t) {}
void LiveryServicesImpl::clearRememberedTitles() {}
std::optional<std::string_view> LiveryServicesImpl::regcodeTitle(const std::string&) { return std::nullopt; }
bool LiveryServicesImpl::isBlockedTitle(std::string_view) { return false; }
void LiveryServicesImpl::liveryNotCreated(const std::string&, std::string_view) {}

void installLiveryServices()
{
    static LiveryServicesImpl& instance = *new LiveryServicesImpl;  // never destroyed: threads may ask at exit
    setLiveryServices(&instance);
}
