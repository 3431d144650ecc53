#include "scene_services.h"

#include <algorithm>
#include <array>

#include "core/geodesy.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"

namespace {

constexpr double lf_nmPerMetre = 0.0005399568034557236;

struct SceneType {
    const char* type;
    AcCategory category;
    double spanMetres;
};

// The types the service stand-in's scene flies.
constexpr std::array<SceneType, 9> lf_types{{
    {"A320", AcCategory::Large, 35.8},
    {"B738", AcCategory::Large, 35.8},
    {"E190", AcCategory::Large, 28.7},
    {"A332", AcCategory::Heavy, 60.3},
    {"B77W", AcCategory::Heavy, 64.8},
    {"A21N", AcCategory::Large, 35.8},
    {"C172", AcCategory::Light, 11.0},
    {"C208", AcCategory::Light, 15.9},
    {"PC12", AcCategory::Light, 16.3},
}};

const SceneType* lf_find(const std::string& type)
{
    const auto it = std::find_if(lf_types.begin(), lf_types.end(), [&](const SceneType& t) { return type == t.type; });
    return it == lf_types.end() ? nullptr : &*it;
}

}  // namespace

// --- liveries ---

SceneLiveries::SceneLiveries() { setLiveryServices(this); }
SceneLiveries::~SceneLiveries() { setLiveryServices(nullptr); }

std::string SceneLiveries::titleFor(const std::string& airline, const std::string& type)
{
    return airline + " " + type + " (stand-in)";
}

std::string_view SceneLiveries::lf_keep(const std::string& title)
{
    return *titles_.insert(title).first;
}

AcCategory SceneLiveries::typeCategory(const std::string& type)
{
    const SceneType* t = lf_find(type);
    return t ? t->category : AcCategory::Light;
}

bool SceneLiveries::isKnownType(const std::string& type) { return lf_find(type) != nullptr; }

double SceneLiveries::halfWingspan(const std::string& type)
{
    const SceneType* t = lf_find(type);
    return (t ? t->spanMetres : 35.8) * 0.5 * lf_nmPerMetre;
}

double SceneLiveries::largestHalfWingspan()
{
    double largest = 0;
    for (const SceneType& t : lf_types) largest = std::max(largest, t.spanMetres);
    return largest * 0.5 * lf_nmPerMetre;
}

std::optional<DbaseRecord> SceneLiveries::findDbaseRecord(const std::string&) { return std::nullopt; }

std::optional<LiveryMatch> SceneLiveries::matchLiveAcLivery(const LiveryRequest& ac)
{
    if (!lf_find(ac.type)) return std::nullopt;
    std::lock_guard lock(mutex_);
    const std::string title = titleFor(ac.airline, ac.type);
    if (blocked_.count(title)) return std::nullopt;
    return LiveryMatch{lf_keep(title), false};
}

std::optional<LiveryMatch> SceneLiveries::matchStaticAcLivery(const LiveryRequest& ac, bool, std::string_view)
{
    return matchLiveAcLivery(ac);
}

std::string_view SceneLiveries::lookupTitleById(std::uint32_t aircraftId)
{
    std::lock_guard lock(mutex_);
    const auto it = remembered_.find(aircraftId);
    if (it == remembered_.end() || blocked_.count(it->second)) return {};
    return it->second;
}

void SceneLiveries::rememberTitle(std::uint32_t aircraftId, std::string_view title)
{
    std::lock_guard lock(mutex_);
    remembered_[aircraftId] = lf_keep(std::string(title));
}

void SceneLiveries::forgetTitle(std::uint32_t aircraftId)
{
    std::lock_guard lock(mutex_);
    remembered_.erase(aircraftId);
}

void SceneLiveries::clearRememberedTitles()
{
    std::lock_guard lock(mutex_);
    remembered_.clear();
}

std::optional<std::string_view> SceneLiveries::regcodeTitle(const std::string&) { return std::nullopt; }

bool SceneLiveries::isBlockedTitle(std::string_view title)
{
    std::lock_guard lock(mutex_);
    return blocked_.count(title) > 0;
}

void SceneLiveries::liveryNotCreated(const std::string&, std::string_view title, const std::string&,
                                     const std::string&)
{
    std::lock_guard lock(mutex_);
    blocked_.insert(std::string(title));
}

// --- airports ---

SceneAirports::SceneAirports(ParkAirportInfo park) : park_(std::move(park)) { setAirportServices(this); }
SceneAirports::~SceneAirports() { setAirportServices(nullptr); }

ParkAirportInfo SceneAirports::parkAirport() { return park_; }
std::optional<double> SceneAirports::referenceElevationFt() { return std::nullopt; }
std::string SceneAirports::reservedStandName() { return {}; }
bool SceneAirports::standsLoaded() { return false; }
bool SceneAirports::softLearningAllowed() { return false; }
std::string SceneAirports::sidName(std::uint32_t standId) { return standId == 0 ? "sid==0?" : "unknown"; }
bool SceneAirports::removeFarthestLive(double distanceNm) { return removeFarthestActiveLive(distanceNm); }
bool SceneAirports::addStandOption(std::uint32_t, const StandUser&, bool, std::uint64_t, bool) { return false; }
bool SceneAirports::addStandOptionPT(std::uint32_t, const StandUser&, bool, std::uint64_t, bool)
{
    return false;
}
bool SceneAirports::isStaticNamed(const StandUser&) { return false; }
bool SceneAirports::isParkedTrafficNamed(const StandUser&) { return false; }
void SceneAirports::addMyParkAirport() {}
void SceneAirports::setFirstParkAirportReservedStand(const std::string&) {}

bool removeFarthestActiveLive(double distanceNm)
{
    const LatLon user{engineUserAcState.latitude, engineUserAcState.longitude};
    double farthest = distanceNm;
    std::uint32_t candidate = 0;
    for (const LiveAc& ac : liveAircraft) {
        if (ac.simState != SimState::active) continue;
        const double d = ::distanceNm(user, {ac.posBlock.latitude, ac.posBlock.longitude});
        if (d > farthest + 0.1) {
            farthest = d;
            candidate = ac.aircraftId;
        }
    }
    if (candidate == 0) return true;
    for (LiveAc& ac : liveAircraft) {
        if (ac.aircraftId == candidate) {
            removeAircraftFromSim(ac);
            break;
        }
    }
    return false;
}
