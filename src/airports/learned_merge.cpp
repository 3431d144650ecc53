#include "airports/learned_merge.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <stdexcept>
#include <unordered_map>

#include "airports/c_numbers.h"
#include "airports/stand_file.h"
#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/startup_globals.h"
#include "platform/fs_path.h"

namespace {

void lf_logOption(std::string_view name, const auto& value) { logLine(vr::format("{:24}: {}", name, value)); }

void lf_copyBool(const pugi::xml_document& doc, std::string_view key, CheckboxParameter& option)
{
    if (std::optional<bool> v = lf_getApfParameterBool(doc, key)) {
        option.set(*v);
        showCheckboxState(option);
        lf_logOption(option.name(), *v);
    }
}

// The per-airport option copies that the file holds replace the current values.
void lf_copyOptions(const pugi::xml_document& doc)
{
    lf_copyBool(doc, standKeyLearnSoft, LEARN_SOFT);
    // Without the entry the choice stays: -1 would stop every new live aircraft.
    if (std::optional<std::int32_t> v = lf_getApfParameterInt(doc, standKeyMaxLive)) {
        MAX_LIVE_SEL.set(MAX_LIVE_SEL.clamped(snapMaxLiveChoice(*v)));
        showIntParameterText(MAX_LIVE_SEL);
        lf_logOption(MAX_LIVE_SEL.name(), MAX_LIVE_SEL.get());
    }
    if (std::optional<std::int32_t> v = lf_getApfParameterInt(doc, standKeyLateralRange)) {
        setRangeNm(snapRangeChoice(*v));
        lf_logOption(RANGE.name(), RANGE.get());
    }
    lf_copyBool(doc, standKeyAutoRange, AUTO_RANGE);
    lf_copyBool(doc, standKeyParkFake, PARK_FAKE);
    lf_copyBool(doc, standKeyWeek, WEEK);  // stored as 27, which reads as false
    lf_copyBool(doc, standKeyParkSoft, PARK_SOFT);
    if (std::optional<std::int32_t> v = lf_getApfParameterInt(doc, standKeyParkingPercentage)) {
        parking_percentage.set(parking_percentage.clamped(*v));
        showIntParameterText(parking_percentage);
        lf_logOption(parking_percentage.name(), parking_percentage.get());
    }
    lf_copyBool(doc, standKeyInitialLoadOnly, INITIAL_LOAD_ONLY);
    if (std::optional<std::int32_t> v = lf_getApfParameterInt(doc, standKeyMaxFit)) {
        MAX_FIT.set(MAX_FIT.clamped(*v));
        showIntParameterText(MAX_FIT);
        MAX_FIT_FL.set(static_cast<float>(MAX_FIT.get()) * 0.5f + 0.5f);
        showFloatParameterText(MAX_FIT_FL);
        logLine(vr::format("{:24}: {} (max number of half hours, is {} hrs decimal)", MAX_FIT.name(), MAX_FIT.get(),
                           MAX_FIT_FL.get()));
    }
    lf_copyBool(doc, standKeyRtParktrafficOnly, RT_PARKTRAFFIC_ONLY);
}

// Stands made by hand and the learning of stands that the airport file has.
void lf_mergeLearnedStands(const pugi::xml_node& list, const std::string& pathText, std::vector<Stand>& stands)
{
    // Names are unique after the load's duplicate check: the first match is the only one.
    std::unordered_map<std::string, std::size_t> byName;
    byName.reserve(stands.size() * 2);
    for (std::size_t i = 0; i < stands.size(); ++i) byName.emplace(stands[i].name, i);

    for (pugi::xml_node pos = list.child("parkpos"); pos; pos = pos.next_sibling("parkpos")) {
        const std::string id = pos.attribute("id").as_string();
        const auto found = byName.find(id);
        if (pos.attribute("manual").as_bool()) {
            if (found != byName.end()) {
                logLineMarked(vr::format("manually created standid {} already exists in {}", id, pathText));
                continue;
            }
            const double lat = leadingDoubleOrZero(pos.attribute("latitude").as_string());
            const double lon = leadingDoubleOrZero(pos.attribute("longitude").as_string());
            const double radius = leadingDoubleOrZero(pos.attribute("radius").as_string());
            if ((std::fabs(lat) > 0.0001 || std::fabs(lon) > 0.0001) && radius != 0.0 &&
                readParkpos(pos, id, 0, stands)) {
                stands.back().manual = true;
                byName.emplace(id, stands.size() - 1);
            } else {
                logLineMarked(vr::format("manually created standid {} misses correct attributes in {}", id, pathText));
            }
            continue;
        }
        if (found == byName.end() || !lf_matchLearnedStand(pos, stands[found->second]))
            logLine(vr::format("learned stand {} in {} not found?", id, pathText));
    }
}

// A handmade learned file holds the whole airport.
void lf_readHandmadeStands(const pugi::xml_node& list, std::vector<Stand>& stands)
{
    stands.clear();
    readAllParkpos(list, 1, stands);
}

}  // namespace

std::int32_t snapMaxLiveChoice(std::int32_t v)
{
    if (v == 0) return 0;
    if (v >= 1 && v <= 17) return 10;
    if (v >= 18 && v <= 37) return 25;
    if (v >= 38 && v <= 62) return 50;
    if (v >= 63 && v <= 87) return 75;
    if (v >= 88 && v <= 299) return 100;
    return 500;
}

void lf_mergeLearnedDocument(const pugi::xml_document& doc, const std::string& pathText, const AirportHeader& header,
                             std::vector<Stand>& stands)
{
    try {
        if (!readStandFileMeta(doc)) return;
        if (std::optional<std::string> name = lf_getApfParameterString(doc, "airport_name");
            name && *name != header.airportName)
            showMessage(vr::format("Warning: learned file airport name: '{}' differs from archived file airport name: '{}'",
                                   *name, header.airportName),
                        true);
        lf_copyOptions(doc);
        const pugi::xml_node list = doc.child("parkpositions");
        const bool handmade = lf_getApfParameterBool(doc, "handmade").value_or(false);
        if (!handmade) {
            handmadeMark = false;
            lf_mergeLearnedStands(list, pathText, stands);
        } else {
            handmadeMark = true;
            lf_logOption("handmade", true);
            lf_readHandmadeStands(list, stands);
        }
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{}: {}", "lf_readLearned", e.what()));
    }
}

void lf_readLearned(const std::filesystem::path& path, const AirportHeader& header, std::vector<Stand>& stands)
{
    const std::string pathText = platform::pathText(path);
    pugi::xml_document doc;
    const pugi::xml_parse_result loaded = doc.load_file(path.c_str());
    if (!loaded) {
        std::filesystem::path aside = path;
        aside.replace_extension(".0.xml");
        std::error_code ec;
        std::filesystem::rename(path, aside, ec);
        logLineMarked(vr::format("{} found, but could not be loaded, saved as *.0.xml: {}", pathText,
                                 loaded.description()));
        if (ec) logLineMarked(vr::format("could not move {} aside: {}", pathText, ec.message()));
        return;
    }
    logLine(vr::format("Read from learned airport file: '{}'", pathText));
    lf_mergeLearnedDocument(doc, pathText, header, stands);
}

bool lf_matchLearnedStand(const pugi::xml_node& parkpos, Stand& stand)
{
    if (stand.name != parkpos.attribute("id").as_string()) return false;
    if (parkpos.attribute("radius_change").as_bool()) {
        const double metres = leadingDoubleOrZero(parkpos.attribute("radius").as_string());
        if (std::isfinite(metres)) {
            stand.radius = metres * kMetresToNm;
            stand.radiusChange = true;
        } else {
            logLineMarked(vr::format("learned stand {}: radius {} is not a number, kept", stand.name,
                                     parkpos.attribute("radius").as_string()));
        }
    }
    if (parkpos.attribute("cargo_change").as_bool()) {
        stand.cargo = parkpos.attribute("cargo").as_bool();
        stand.cargoChange = true;
    }
    std::uint32_t next = stand.options.empty() ? 1 : stand.options.back().optionIndex + 1;
    for (pugi::xml_node opt = parkpos.child("opt"); opt; opt = opt.next_sibling("opt")) {
        SlotRecord record = readOptRecord(opt, next, 0);
        const bool known = std::any_of(stand.options.begin(), stand.options.end(),
                                       [&](const SlotRecord& r) { return lf_sameSlotRecord(r, record); });
        if (known) continue;
        stand.options.push_back(std::move(record));
        ++next;
    }
    return true;
}

bool lf_sameSlotRecord(const SlotRecord& a, const SlotRecord& b)
{
    return a.weekday == b.weekday && a.real == b.real && a.reg == b.reg && a.airl == b.airl && a.type == b.type &&
           (a.slots & b.slots).any();
}

std::pair<std::int32_t, std::int32_t> computeQualityFactors(std::span<const Stand> stands)
{
    const bool anyOption =
        std::any_of(stands.begin(), stands.end(), [](const Stand& s) { return !s.options.empty(); });
    if (!anyOption) return {-1, -1};
    double weights = 0.0;
    double sums[2] = {0.0, 0.0};  // soft, real
    for (const Stand& s : stands) {
        // In nautical miles, so every real stand weighs 0.3 and the factors are plain means.
        const double w = s.radius <= 7.0 ? 0.3 : s.radius <= 10.0 ? 1.5 : 1.0;
        weights += w;
        for (int real = 0; real < 2; ++real) {
            std::int64_t n = 0;
            std::int64_t hours = 0;
            unsigned days = 0;  // bit d for weekday d
            for (const SlotRecord& r : s.options) {
                if (r.optionIndex == 0 || (r.real == 1) != (real == 1)) continue;
                ++n;
                hours += static_cast<std::int64_t>(r.slots.count());
                if (r.weekday >= 1 && r.weekday <= 7) days |= 1u << r.weekday;
            }
            if (n == 0) continue;
            const double d = std::popcount(days);
            sums[real] += (std::min<std::int64_t>(20 * n, 4000) + 10000 + 100 * d + 2 * std::min<std::int64_t>(hours, 600)) * w;
        }
    }
    auto factor = [&](double sum) {
        const double q = std::round(sum / weights * 0.00625);
        return static_cast<std::int32_t>(std::clamp(q, 0.0, 100.0));
    };
    return {factor(sums[1]), factor(sums[0])};
}

std::pair<std::int32_t, std::int32_t> computeQualityFactors() { return computeQualityFactors(stands); }
