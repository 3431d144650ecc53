#include "liveries/livery_match.h"

#include <algorithm>
#include <stdexcept>

#include "core/app_services.h"
#include "core/errors.h"
#include "core/random.h"
#include "core/run_state.h"
#include "core/utils.h"
#include "engine/ac_records.h"
#include "liveries/dbase.h"
#include "liveries/livery_index.h"
#include "liveries/similar_models.h"

std::array<std::int32_t, 6> MatchStepCounters{};
std::vector<std::string> BlockedTitles;
std::set<std::string> NotCreatedSet;
std::unordered_map<std::uint32_t, std::string_view> TitleByAircraftId;

namespace {

constexpr std::string_view privateAirline = "PVT";
constexpr std::size_t blockedTitleLimit = 20;

// The aircraft as the engine's description functions take it (log lines only).
AcIdentity lf_describedAc(const MatchAc& ac)
{
    AcIdentity id;
    id.airline = ac.request.airline;
    id.type = ac.request.type;
    id.origin = ac.request.origin;
    id.destination = ac.request.destination;
    id.callsign = ac.request.callsign;
    id.registration = ac.request.registration;
    return id;
}

void lf_logMark(const MatchAc& ac, std::string_view mark)
{
    if (LOG.get()) logLine(vr::format("          {} ={}= {}", acDescription(lf_describedAc(ac)), mark, ac.title));
}

void lf_logNoStaticMatch(const MatchAc& ac, std::string_view standName)
{
    if (LOG.get())
        logLine(vr::format("{:8}: {} no livery match ...", standName, acDescription3(lf_describedAc(ac))));
}

// The end of a static step that found a title: a blocked one is dropped.
void lf_staticFound(MatchAc& ac, int step)
{
    if (lf_isBlockedTitle(ac.title)) {
        ac.title = {};
        return;
    }
    lf_logMark(ac, std::to_string(step));
}

bool lf_isCategoryFallback(AcCategory category)
{
    return category == AcCategory::Light || category == AcCategory::Buzjets || category == AcCategory::Rotorcraft;
}

}  // namespace

bool lf_isBlockedTitle(std::string_view title)
{
    return std::find(BlockedTitles.begin(), BlockedTitles.end(), title) != BlockedTitles.end();
}

bool lf_isSpecialTitle(std::string_view title) { return SpecialTitleSet.count(title) > 0; }

void lf_pickRandomLivery(MatchAc& ac, const std::vector<std::string_view>& titles)
{
    if (titles.empty()) return;
    for (int i = 0; i < 5; ++i) {
        ac.title = titles[lf_randomIndex(titles.size())];
        if (!lf_isSpecialTitle(ac.title)) return;
    }
    std::vector<std::string_view> plain;
    for (std::string_view t : titles)
        if (!lf_isSpecialTitle(t)) plain.push_back(t);
    if (!plain.empty()) ac.title = plain[lf_randomIndex(plain.size())];
}

bool lf_matchByRegcode(MatchAc& ac)
{
    if (ac.request.registration.empty()) return false;
    const auto it = RegcodeTable.find(ac.request.registration);
    ac.title = it == RegcodeTable.end() ? std::string_view() : it->second;
    return !ac.title.empty();
}

bool lf_matchAirlineModel(MatchAc& ac, const MatchKey& key, std::size_t kind)
{
    const auto& airlines = AirlineModelIndex.at(kind);
    const auto a = airlines.find(key.airline);
    if (a == airlines.end()) return false;
    const auto m = a->second.find(key.model);
    if (m == a->second.end()) return false;
    lf_pickRandomLivery(ac, m->second);
    return !ac.title.empty();
}

bool lf_matchAirlineModelAnyKind(MatchAc& ac, const MatchKey& key)
{
    if (lf_matchAirlineModel(ac, key, ac.cargo ? cargoKind : paxKind)) return true;
    return ac.cargo && lf_matchAirlineModel(ac, key, paxKind);
}

bool lf_matchModel(MatchAc& ac, std::string_view model)
{
    const auto& models = ModelIndex.at(ac.cargo ? cargoKind : paxKind);
    const auto m = models.find(model);
    if (m == models.end()) return false;
    lf_pickRandomLivery(ac, m->second);
    return !ac.title.empty();
}

bool lf_matchSimilarModel(MatchAc& ac, MatchKey key)
{
    for (const std::string& model : gf_similarModels(key.airline, key.model)) {
        if (dbaseTypeCategory(model) != ac.request.category) continue;
        key.model = model;
        if (lf_matchAirlineModelAnyKind(ac, key)) return true;
    }
    return false;
}

void lf_matchFallback(MatchAc& ac, int& step)
{
    const std::int32_t depth = MATCHING_DEPTH.get();
    const LiveryRequest& r = ac.request;
    if (ac.title.empty() && depth == 4 && lf_matchAirlineModelAnyKind(ac, {unknownAirline, r.type})) {
        step = 4;
        return;
    }
    if (!ac.title.empty() || !lf_isCategoryFallback(r.category)) return;
    if (depth >= 3 && r.airline != privateAirline && lf_matchAirlineModelAnyKind(ac, {unknownAirline, r.type})) {
        step = 4;
        return;
    }
    if (lf_matchModel(ac, r.type)) {
        step = 5;
        return;
    }
    const std::vector<std::string>* candidates = nullptr;
    std::string randomModel;
    std::vector<std::string> one;
    if (const auto it = SimilarInstalledModels.find(r.type); it != SimilarInstalledModels.end()) {
        gf_shuffle(it->second);
        candidates = &it->second;
    } else if (const std::vector<std::string>* list = lf_categoryModelList(dbaseTypeCategory(r.type));
               list && !list->empty()) {
        one.push_back(lf_randomCategoryModel(*list));
        candidates = &one;
    }
    if (!candidates) return;
    for (const std::string& model : *candidates) {
        if (lf_matchModel(ac, model)) {
            step = 6;
            return;
        }
    }
}

void lf_logMatchStep(MatchAc& ac, int step)
{
    if (lf_isBlockedTitle(ac.title)) {
        ac.title = {};
        return;
    }
    if (step < 1 || step > 6) throw std::out_of_range(vr::format("match step {}", step));
    ++MatchStepCounters[static_cast<std::size_t>(step - 1)];
    lf_logMark(ac, std::to_string(step));
    ac.fsltl = ac.title.find("FSLTL_") != std::string_view::npos;
}

void gf_matchLiveAcLivery(MatchAc& ac)
{
    const std::int32_t depth = MATCHING_DEPTH.get();
    const LiveryRequest& r = ac.request;
    if (lf_matchByRegcode(ac)) return lf_logMatchStep(ac, 1);
    if (depth < 2) return;
    if (r.airline == privateAirline && lf_matchAirlineModelAnyKind(ac, {unknownAirline, r.type}))
        return lf_logMatchStep(ac, 4);
    const std::string op = gf_dbaseOperator(r.registration);
    if (!r.airline.empty()) {
        if (lf_matchAirlineModelAnyKind(ac, {r.airline, r.type}) ||
            (!op.empty() && lf_matchAirlineModelAnyKind(ac, {gf_dbaseAirline(r.registration), r.type})))
            return lf_logMatchStep(ac, 2);
    }
    if (depth < 3) return;
    if (!r.airline.empty()) {
        if (lf_matchSimilarModel(ac, {r.airline, r.type})) return lf_logMatchStep(ac, 3);
        if (!op.empty()) {
            std::string owner;
            if (!r.registration.empty())
                if (const auto record = dbaseFindRecord(r.registration)) owner = record->airline;
            if (lf_matchSimilarModel(ac, {owner, r.type})) return lf_logMatchStep(ac, 3);
        }
    }
    int step = 0;
    lf_matchFallback(ac, step);
    if (ac.title.empty()) return;
    if (lf_isBlockedTitle(ac.title)) {
        ac.title = {};
        return;
    }
    lf_logMatchStep(ac, step);
}

void gf_matchStaticAcLivery(MatchAc& ac, bool standCargo, std::string_view standName)
{
    const LiveryRequest& r = ac.request;
    if (!ac.title.empty()) return lf_logMark(ac, "s");
    ac.cargo = standCargo;
    const std::int32_t depth = MATCHING_DEPTH.get();
    if (lf_matchByRegcode(ac)) return lf_staticFound(ac, 1);
    if (depth < 2) return lf_logNoStaticMatch(ac, standName);
    if (r.airline == privateAirline && lf_matchAirlineModelAnyKind(ac, {unknownAirline, r.type}))
        return lf_staticFound(ac, 4);
    const std::string op = gf_dbaseOperator(r.registration);
    const std::string owner = op.empty() ? std::string() : gf_dbaseAirline(r.registration);
    if (lf_matchAirlineModelAnyKind(ac, {r.airline, r.type}) ||
        (!op.empty() && lf_matchAirlineModelAnyKind(ac, {owner, r.type})))
        return lf_staticFound(ac, 2);
    if (depth >= 3) {
        for (const std::string& model : gf_similarModels(r.airline, r.type))
            if (lf_matchAirlineModelAnyKind(ac, {r.airline, model})) return lf_staticFound(ac, 3);
        if (!op.empty())
            for (const std::string& model : gf_similarModels(r.airline, r.type))
                if (lf_matchAirlineModelAnyKind(ac, {owner, model})) return lf_staticFound(ac, 3);
        int step = 0;
        lf_matchFallback(ac, step);
        if (!ac.title.empty()) return lf_staticFound(ac, step);
    }
    lf_logNoStaticMatch(ac, standName);
}

std::string_view lf_titleById(std::uint32_t aircraftId)
{
    const auto it = TitleByAircraftId.find(aircraftId);
    if (it == TitleByAircraftId.end()) return {};
    if (!lf_isBlockedTitle(it->second)) return it->second;
    TitleByAircraftId.erase(it);
    return {};
}

void lf_liveryNotCreated(const std::string& callsign, std::string_view title, const std::string& type,
                         const std::string& airline)
{
    if (anyStopFlag()) return;
    showMessage(vr::format("{} '{}' could not be created by your Sim!", callsign, title), true);
    BlockedTitles.emplace_back(title);
    NotCreatedSet.insert(type + " " + airline);
    if (BlockedTitles.size() < blockedTitleLimit) return;
    const std::string message = vr::format("There are too many liveries that could not be created by {}!", "P3D");
    logLine(vr::format("\n{}Error 81, {}\n", "===> ", message));
    throw qxv::UserErrorException(81, vr::format("{}, see Log.txt", message));
}

std::vector<std::string> lf_notCreatedList()
{
    std::vector<std::string> lines;
    lines.reserve(NotCreatedSet.size());
    for (const std::string& s : NotCreatedSet) lines.push_back("  " + s);
    return lines;
}

void gf_logLiveryMatchSummary()
{
    if (std::all_of(MatchStepCounters.begin(), MatchStepCounters.end(), [](std::int32_t n) { return n == 0; }))
        return;
    logLine(gf_joinTokens(32, 32, true, false, "live traffic livery matching summary"));
    logLine("Matches at step: ");
    for (std::size_t i = 0; i < MatchStepCounters.size(); ++i) logLine(vr::format("  {}: {}", i + 1, MatchStepCounters[i]));
    if (!NotCreatedSet.empty()) {
        logLine(vr::format("\nCould not be created by {}:", "P3D"));
        for (const std::string& line : lf_notCreatedList()) logLine(line);
    }
    logLine(std::string(100, '*') + "\n");
}

void resetLiveryMatchRecords()
{
    MatchStepCounters.fill(0);
    BlockedTitles.clear();
    NotCreatedSet.clear();
    TitleByAircraftId.clear();
}
