#include "liveries/livery_index.h"

#include <algorithm>
#include <atomic>
#include <random>
#include <stdexcept>
#include <tuple>

#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/random.h"
#include "core/utils.h"
#include "liveries/dbase.h"
#include "liveries/livery.h"

TextMap<TextMap<std::vector<LiveryEntry>>> LiveryIndex;
std::array<TextMap<TextMap<TitleViews>>, 2> AirlineModelIndex;
std::array<TextMap<TitleViews>, 2> ModelIndex;
CategoryModelLists CategoryModels;
TextMap<std::string_view> RegcodeTable;
TitleViews SpecialTitles;
std::unordered_set<std::string_view> SpecialTitleSet;

namespace {

// title -> its view in LiveryIndex; built on first use, emptied with the index.
std::unordered_map<std::string_view, std::string_view> lf_titleLookup;

// The option of the categories that can be switched off, with the reason logged.
struct CategoryOption {
    CheckboxParameter* option;
    const char* line;
};

CategoryOption lf_categoryOption(AcCategory category)
{
    switch (category) {
    case AcCategory::Light:
        return {&LIGHT_AIRCRAFT, "{} temporarily switched off because you do not have light aircraft installed"};
    case AcCategory::HighPerf:
        return {&HIGH_PERF_AIRCRAFT, "{} temporarily switched off because you do not have High Perf aircraft installed"};
    case AcCategory::Rotorcraft:
        return {&HELICOPTERS, "{} temporarily switched off because you do not have Helicopters installed"};
    default:
        return {nullptr, nullptr};
    }
}

std::vector<std::string>* lf_mutableCategoryList(AcCategory category)
{
    switch (category) {
    case AcCategory::Light:
        return &CategoryModels.light;
    case AcCategory::Buzjets:
        return &CategoryModels.buzjets;
    case AcCategory::Rotorcraft:
        return &CategoryModels.rotorcraft;
    default:
        return nullptr;
    }
}

}  // namespace

std::size_t lf_randomIndex(std::size_t n)
{
    if (n <= 1) return 0;
    return static_cast<std::size_t>(tlRandomEngine()() % n);
}

void gf_reserveLiveryVectors()
{
    static std::atomic<bool> done{false};
    if (done.exchange(true)) return;
    SpecialTitles.reserve(4096);
    SpecialTitleSet.reserve(4096);
    CategoryModels.light.reserve(64);
    CategoryModels.buzjets.reserve(128);
    CategoryModels.rotorcraft.reserve(32);
}

void lf_indexLiveries(const std::list<Livery>& liveries)
{
    std::string airline;
    std::string model;
    std::vector<LiveryEntry> entries;
    entries.reserve(4048);
    TextMap<std::vector<LiveryEntry>> inner;
    const auto flushModel = [&] {
        if (entries.empty()) return;
        inner.emplace(model, entries);  // a copy with capacity == size
        entries.clear();
    };
    const auto flushAirline = [&] {
        if (inner.empty()) return;
        LiveryIndex.emplace(airline, std::move(inner));
        inner = {};
    };
    for (const Livery& livery : liveries) {
        if (livery.model != model) {
            flushModel();
            model = livery.model;
        }
        if (livery.airline != airline) {
            flushModel();
            flushAirline();
            airline = livery.airline;
        }
        LiveryEntry entry{livery.title, livery.cargo};
        entry.title.shrink_to_fit();
        entries.push_back(std::move(entry));
    }
    flushModel();
    flushAirline();
}

void lf_indexScannedLiveries() { lf_indexLiveries(ScannedLiveries); }

void lf_buildAirlineModelIndexes()
{
    for (const auto& [airline, models] : LiveryIndex) {
        std::array<TextMap<TitleViews>, 2> inner;
        for (const auto& [model, entries] : models) {
            std::array<TitleViews, 2> split;
            for (const LiveryEntry& e : entries) split[e.cargo ? cargoKind : paxKind].push_back(e.title);
            for (std::size_t kind = 0; kind < 2; ++kind) {
                if (split[kind].empty()) continue;
                split[kind].shrink_to_fit();
                inner[kind].emplace(model, std::move(split[kind]));
            }
        }
        for (std::size_t kind = 0; kind < 2; ++kind)
            if (!inner[kind].empty()) AirlineModelIndex[kind].emplace(airline, std::move(inner[kind]));
    }
}

void lf_buildModelIndexes()
{
    struct Record {
        std::string_view model;
        std::string_view airline;
        std::string_view title;
        bool cargo;
    };
    std::vector<Record> records;
    for (const auto& [airline, models] : LiveryIndex)
        for (const auto& [model, entries] : models)
            for (const LiveryEntry& e : entries) records.push_back({model, airline, e.title, e.cargo});
    std::sort(records.begin(), records.end(), [](const Record& a, const Record& b) {
        return std::tie(a.model, a.airline, a.title) < std::tie(b.model, b.airline, b.title);
    });
    std::array<TitleViews, 2> kinds;
    kinds[paxKind].reserve(15000);
    kinds[cargoKind].reserve(15000);
    std::string_view current;
    const auto flush = [&] {
        for (std::size_t kind = 0; kind < 2; ++kind) {
            if (kinds[kind].empty()) continue;
            ModelIndex[kind].emplace(std::string(current), TitleViews(kinds[kind].begin(), kinds[kind].end()));
            kinds[kind].clear();
        }
    };
    for (const Record& r : records) {
        if (r.model != current) {
            flush();
            current = r.model;
        }
        kinds[r.cargo ? cargoKind : paxKind].push_back(r.title);
    }
    flush();
}

void lf_summarizeCategory(AcCategory category)
{
    std::array<std::vector<std::string_view>, 2> models;  // one entry per title, by kind
    std::size_t modelCount = 0;
    for (std::size_t kind : {paxKind, cargoKind}) {
        for (const auto& [model, titles] : ModelIndex[kind]) {
            if (dbaseTypeCategory(model) != category) continue;
            ++modelCount;
            models[kind].insert(models[kind].end(), titles.size(), model);
        }
    }
    const std::uint64_t pax = models[paxKind].size();
    const std::uint64_t cargo = models[cargoKind].size();
    const CategoryOption option = lf_categoryOption(category);
    const std::string_view name = acCategoryText(category);
    if (pax == 0 && cargo == 0) {
        logLine(vr::format("Category {}: No livery found", name));
        if (option.option) {
            if (option.option->get()) {
                option.option->set(false);
                saveBoolParameter(option.option);
                logLine(vr::format(vr::runtime(option.line), option.option->name()));
            }
            option.option->enable(false);
        }
        return;
    }
    const std::string cargoPart =
        cargo == 0 ? std::string() : vr::format(" and {} cargo liverie{}", cargo, gf_pluralSuffix(cargo));
    logLine(vr::format("Category {}: {} pax liverie{}{}", name, pax, gf_pluralSuffix(pax), cargoPart));
    if (modelCount > 0) {
        std::vector<std::string_view> all = models[paxKind];
        all.insert(all.end(), models[cargoKind].begin(), models[cargoKind].end());
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        if (std::vector<std::string>* list = lf_mutableCategoryList(category))
            for (std::string_view m : all) list->emplace_back(m);
        std::string row = "  ";
        int inRow = 0;
        for (std::string_view m : all) {
            row.append(m).push_back(',');
            if (++inRow == 20) {
                row.pop_back();
                logLine(row);
                row = "  ";
                inRow = 0;
            }
        }
        if (inRow > 0) {
            row.pop_back();
            logLine(row);
        }
    }
    if (option.option) option.option->enable(true);
}

std::string_view lf_findScannedTitle(std::string_view title)
{
    for (const auto& [airline, models] : LiveryIndex)
        for (const auto& [model, entries] : models)
            for (const LiveryEntry& e : entries)
                if (e.title == title) return e.title;
    return {};
}

std::string_view lf_indexedTitle(std::string_view title)
{
    if (lf_titleLookup.empty() && !LiveryIndex.empty()) {
        // Same walk as lf_findScannedTitle, so the first equal title wins in both.
        for (const auto& [airline, models] : LiveryIndex)
            for (const auto& [model, entries] : models)
                for (const LiveryEntry& e : entries) lf_titleLookup.emplace(e.title, e.title);
    }
    const auto it = lf_titleLookup.find(title);
    return it == lf_titleLookup.end() ? std::string_view() : it->second;
}

bool lf_hasAirlineModel(std::string_view airline, std::string_view model)
{
    const auto a = LiveryIndex.find(airline);
    return a != LiveryIndex.end() && a->second.find(model) != a->second.end();
}

std::vector<std::string> lf_airlineCodes()
{
    std::vector<std::string> codes;
    codes.reserve(LiveryIndex.size());
    for (const auto& [airline, models] : LiveryIndex) codes.push_back(airline);
    std::sort(codes.begin(), codes.end());
    for (std::string& code : codes)
        if (code.size() > 3) code.resize(3);
    return codes;
}

std::string lf_randomCategoryModel(const std::vector<std::string>& models)
{
    if (models.empty()) return {};
    return models[lf_randomIndex(models.size())];
}

const std::vector<std::string>* lf_categoryModelList(AcCategory category)
{
    return lf_mutableCategoryList(category);
}

void gf_clearLiveryIndexes()
{
    CategoryModels.light.clear();
    CategoryModels.buzjets.clear();
    CategoryModels.rotorcraft.clear();
    SpecialTitles.clear();
    SpecialTitleSet.clear();
    RegcodeTable.clear();
    ModelIndex[paxKind].clear();
    ModelIndex[cargoKind].clear();
    AirlineModelIndex[paxKind].clear();
    AirlineModelIndex[cargoKind].clear();
    lf_titleLookup.clear();
    LiveryIndex.clear();
}
