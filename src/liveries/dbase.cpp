#include "liveries/dbase.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <stdexcept>

#include <pugixml.hpp>

#include "core/errors.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/utils.h"
#include "liveries/data_crypto.h"
#include "liveries/livery_services_impl.h"
#include "platform/fs_path.h"

StringSet KnownTypes;
std::array<StringSet, acCategoryCount> CategoryTypeSets;
StringSet CargoTypes;
std::vector<std::vector<std::string>> SimilarTypeGroups;
StringSet IcaoAirlines;
StringSet CargoOperators;
std::vector<std::vector<std::string>> PublisherAliases;
std::map<std::string, double, std::less<>> Wingspans;
double maxHalfWingspan = 0.0;
std::array<double, acCategoryCount> CategoryHalfWingspans{};
std::unordered_map<std::string, std::string> TypeFixes;
StringSet SimAddonAirports;
std::vector<ThirdPartyEntry> ThirdPartyAirports;
std::unordered_map<std::string, DbaseRecord> DbaseRecords;

namespace {

// The registration keys findShortCode tries, in its order.
std::vector<std::string> lf_shortKeys;

// Tested in the order Large, Heavy, Buzjets, Rotorcraft, HighPerf; Light in none.
AcCategory lf_categoryOf(const std::array<StringSet, acCategoryCount>& sets, std::string_view type)
{
    for (AcCategory c : {AcCategory::Large, AcCategory::Heavy, AcCategory::Buzjets, AcCategory::Rotorcraft,
                         AcCategory::HighPerf})
        if (sets[static_cast<std::size_t>(c)].count(type) > 0) return c;
    return AcCategory::Light;
}

// One reading of the document into tables of its own: the program's tables
// (or another reading's) are never looked at. `logs` is off for the check of a
// downloaded file, whose lines the start-up's own reading writes later.
struct DbaseReading {
    const pugi::xml_document& doc;
    DbaseTables& t;
    bool logs;

    void line(const std::string& text) const
    {
        if (logs) logLine(text);
    }
    void marked(const std::string& text) const
    {
        if (logs) logLineMarked(text);
    }
    StringSet& categorySet(AcCategory c) const { return t.categoryTypeSets[static_cast<std::size_t>(c)]; }
    bool isKnownType(std::string_view type) const { return !type.empty() && t.knownTypes.count(type) > 0; }
    AcCategory typeCategory(std::string_view type) const { return lf_categoryOf(t.categoryTypeSets, type); }
};

void lf_readSimilarTypes(const DbaseReading& r)
{
    r.t.similarTypeGroups.reserve(64);
    for (const pugi::xml_node similar : r.doc.child("similar_types").children("similar")) {
        std::vector<std::string> group = gf_tokenize(getAttribute(similar, "types"), ',');
        std::sort(group.begin(), group.end());
        r.t.similarTypeGroups.push_back(std::move(group));
    }
    r.t.similarTypeGroups.shrink_to_fit();
}

void lf_readPublishers(const DbaseReading& r)
{
    std::vector<std::string> names;
    for (const pugi::xml_node pub : r.doc.child("publishers").children("pub")) names.push_back(getAttribute(pub, "names"));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    r.t.publisherAliases.reserve(640);
    for (const std::string& text : names) {
        std::vector<std::string> group = gf_tokenize(text, ',');
        group.shrink_to_fit();
        r.t.publisherAliases.push_back(std::move(group));
    }
    r.t.publisherAliases.shrink_to_fit();
    r.line(vr::format("   {} publishers", r.t.publisherAliases.size()));
}

// A span in metres: a finite number >= 0; an absent attribute is 0.
std::optional<double> lf_metres(const std::string& text)
{
    if (text.empty()) return 0.0;
    const std::string trimmed = gf_trim(text);
    double value = 0.0;
    const auto [end, ec] = std::from_chars(trimmed.data(), trimmed.data() + trimmed.size(), value);
    if (ec != std::errc{} || end != trimmed.data() + trimmed.size() || !std::isfinite(value) || value < 0.0)
        return std::nullopt;
    return value;
}

void lf_readWingspans(const DbaseReading& r)
{
    bool accepted = false;
    for (const pugi::xml_node wingspan : r.doc.child("wingspans").children("wingspan")) {
        const std::string type = getAttribute(wingspan, "type");
        if (!r.isKnownType(type)) {
            r.marked(vr::format("wingspan model {} is not valid, skipped", type));
            continue;
        }
        const std::string text = getAttribute(wingspan, "meters");
        const std::optional<double> metres = lf_metres(text);
        if (!metres) {
            r.marked(vr::format("wingspan of {} is not a number of metres: '{}', skipped", type, text));
            continue;
        }
        const double halfSpan = *metres * halfSpanNmPerMetre;
        r.t.wingspans.try_emplace(type, halfSpan);  // the first entry of a type wins
        r.t.maxHalfWingspan = std::max(r.t.maxHalfWingspan, halfSpan);
        accepted = true;
    }
    if (!accepted) return;
    std::array<double, acCategoryCount> sums{};
    std::array<int, acCategoryCount> counts{};
    double allSum = 0.0;
    for (const auto& [type, halfSpan] : r.t.wingspans) {
        const auto c = static_cast<std::size_t>(r.typeCategory(type));
        sums[c] += halfSpan;
        ++counts[c];
        allSum += halfSpan;
    }
    // A category without entries takes the average of all of them.
    const double allAverage = allSum / static_cast<double>(r.t.wingspans.size());
    for (std::size_t c = 0; c < acCategoryCount; ++c)
        r.t.categoryHalfWingspans[c] = counts[c] > 0 ? sums[c] / counts[c] : allAverage;
}

void lf_readFixes(const DbaseReading& r)
{
    for (const pugi::xml_node fx : r.doc.child("fixes").children("fx")) {
        const std::string wrong = getAttribute(fx, "wro");
        const std::string correct = getAttribute(fx, "cor");
        if (!r.isKnownType(correct)) {
            r.marked(vr::format("wrong fix {} -> {}, the latter is not valid", wrong, correct));
            continue;
        }
        if (!r.t.typeFixes.try_emplace(wrong, correct).second)
            r.marked(vr::format("wrong part of fix: '{}', already exists, skipped", wrong));
    }
}

void lf_readRecords(const DbaseReading& r)
{
    for (const pugi::xml_node db : r.doc.child("dbase").children("db")) {
        DbaseRecord record{getAttribute(db, "reg"), getAttribute(db, "airl"), getAttribute(db, "type"),
                           getAttribute(db, "opr"), gf_isTrueText(getAttribute(db, "cargo"))};
        if (record.registration.empty()) {
            // The key "" would be found in every title by findShortCode.
            r.marked(vr::format("dbase record without registration (airl '{}', type '{}'), skipped", record.airline,
                                record.type));
            continue;
        }
        const std::string registration = record.registration;
        if (!r.t.records.try_emplace(registration, std::move(record)).second)  // the first record stays
            r.marked(vr::format("regcode {} already exists", registration));
    }
    for (const auto& [key, record] : r.t.records)
        if (key.size() < 6) r.t.shortKeys.push_back(key);
    std::sort(r.t.shortKeys.begin(), r.t.shortKeys.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() > b.size() : a < b;
    });
}

// Every section into the reading's tables; throws as gf_readDbaseDocument does.
void lf_readTables(const DbaseReading& r)
{
    const pugi::xml_document& doc = r.doc;
    lf_readTypeSet(doc, "aircrafts", r.t.knownTypes, "aircraft");
    lf_readTypeSet(doc, "high_performance", r.categorySet(AcCategory::HighPerf), "hpf");
    lf_readTypeSet(doc, "heavy", r.categorySet(AcCategory::Heavy), "hvy");
    lf_readTypeSet(doc, "large", r.categorySet(AcCategory::Large), "lar");
    lf_readTypeSet(doc, "buzjet", r.categorySet(AcCategory::Buzjets), "bzj");
    lf_readTypeSet(doc, "rotorcraft", r.categorySet(AcCategory::Rotorcraft), "rot");
    lf_readTypeSet(doc, "cargo_types", r.t.cargoTypes, "cargo_type");
    lf_readSimilarTypes(r);
    lf_readCodeSet(doc, "ICAO_airlines", r.t.icaoAirlines);
    lf_readCodeSet(doc, "cargo_operators", r.t.cargoOperators);
    lf_readPublishers(r);
    lf_readWingspans(r);
    lf_readFixes(r);
    lf_readXmlList(doc, "simaddonsP3D", r.t.simAddonAirports, "simaddonP3D", "arpts");
    lf_readThirdParties(doc, r.t.thirdPartyAirports);
    lf_readRecords(r);
}

// The program's tables become the reading's.
void lf_install(DbaseTables&& t)
{
    KnownTypes = std::move(t.knownTypes);
    CategoryTypeSets = std::move(t.categoryTypeSets);
    CargoTypes = std::move(t.cargoTypes);
    SimilarTypeGroups = std::move(t.similarTypeGroups);
    IcaoAirlines = std::move(t.icaoAirlines);
    CargoOperators = std::move(t.cargoOperators);
    PublisherAliases = std::move(t.publisherAliases);
    Wingspans = std::move(t.wingspans);
    maxHalfWingspan = t.maxHalfWingspan;
    CategoryHalfWingspans = t.categoryHalfWingspans;
    TypeFixes = std::move(t.typeFixes);
    SimAddonAirports = std::move(t.simAddonAirports);
    ThirdPartyAirports = std::move(t.thirdPartyAirports);
    DbaseRecords = std::move(t.records);
    lf_shortKeys = std::move(t.shortKeys);
}

}  // namespace

bool gf_isTrueText(std::string_view text)
{
    return !text.empty() && std::string_view("1tTyY").find(text.front()) != std::string_view::npos;
}

void resetDbaseTables() { lf_install({}); }

void lf_readXmlList(const pugi::xml_document& doc, const char* section, StringSet& target, const char* element,
                    const char* attribute)
{
    for (const pugi::xml_node node : doc.child(section).children(element))
        for (std::string& piece : gf_tokenize(getAttribute(node, attribute), ',')) target.insert(std::move(piece));
    if (target.empty())
        throw qxv::UserErrorException(
            61, vr::format("In XML file section [{}], element [{}], attribute [{}] is empty.", section, element,
                           attribute));
}

void lf_readTypeSet(const pugi::xml_document& doc, const char* section, StringSet& target, const char* element)
{
    StringSet fresh;
    lf_readXmlList(doc, section, fresh, element, "types");
    target = std::move(fresh);
}

void lf_readCodeSet(const pugi::xml_document& doc, const char* section, StringSet& target)
{
    StringSet fresh;
    lf_readXmlList(doc, section, fresh, "ICAO", "codes");
    target = std::move(fresh);
}

void lf_readThirdParties(const pugi::xml_document& doc, std::vector<ThirdPartyEntry>& target)
{
    if (target.capacity() < 200) target.reserve(200);
    for (const pugi::xml_node entry : doc.child("thirdpartiesP3D").children("thirdpartieP3D"))
        target.push_back({getAttribute(entry, "pub"), gf_tokenize(getAttribute(entry, "arpts"), ',')});
}

void gf_readDbaseDocument(const pugi::xml_document& doc)
{
    DbaseTables fresh;
    try {
        lf_readTables({doc, fresh, true});
    } catch (...) {
        resetDbaseTables();
        throw;
    }
    lf_install(std::move(fresh));
    logLine(vr::format("{} dbase records read", DbaseRecords.size()));
    installLiveryServices();
}

bool gf_readDbase()
{
    const RemoveFileOnExit removePlain(dbaseXmlPath);  // also a stale one: the plain file is never a source
    if (!std::filesystem::exists(dbaseEncPath))
        throw std::runtime_error(vr::format("{} not available", platform::pathText(dbaseEncPath)));
    if (!gf_streamDecrypt(dbaseEncPath, dbaseXmlPath))
        throw std::runtime_error(vr::format("{} stream decrypt failed", platform::pathText(dbaseEncPath)));
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_file(dbaseXmlPath.c_str());
    if (!result)
        throw qxv::UserErrorException(60, vr::format("'{}' not read because of {}", platform::pathText(dbaseXmlPath),
                                                     result.description()));
    gf_readDbaseDocument(doc);
    return true;
}

std::string dbaseFileProblem(const std::filesystem::path& enc)
{
    pugi::xml_document doc;
    std::string problem = gf_loadDataDocument(enc, doc);
    if (!problem.empty()) return problem;
    DbaseTables candidate;
    try {
        lf_readTables({doc, candidate, false});
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

AcCategory dbaseTypeCategory(std::string_view type) { return lf_categoryOf(CategoryTypeSets, type); }

bool dbaseIsKnownType(std::string_view type) { return !type.empty() && KnownTypes.count(type) > 0; }

double dbaseHalfWingspan(std::string_view type)
{
    const auto it = Wingspans.find(type);
    if (it != Wingspans.end()) return it->second;
    return CategoryHalfWingspans[static_cast<std::size_t>(dbaseTypeCategory(type))];
}

std::optional<DbaseRecord> dbaseFindRecord(const std::string& registration)
{
    if (registration.empty()) return std::nullopt;
    for (const std::string& spelling : gf_registrationVariants(registration)) {
        const auto it = DbaseRecords.find(spelling);
        if (it != DbaseRecords.end()) return it->second;
    }
    return std::nullopt;
}

bool gf_isIcaoAirline(std::string_view code) { return !code.empty() && IcaoAirlines.count(code) > 0; }

std::string gf_dbaseAirline(const std::string& registration)
{
    std::optional<DbaseRecord> record = dbaseFindRecord(registration);
    return record ? std::move(record->airline) : std::string();
}

std::string gf_dbaseOperator(const std::string& registration)
{
    std::optional<DbaseRecord> record = dbaseFindRecord(registration);
    return record ? std::move(record->op) : std::string();
}

std::optional<std::string> findShortCode(std::string_view text)
{
    for (const std::string& key : lf_shortKeys)
        if (text.find(key) != std::string_view::npos) return key;
    return std::nullopt;
}
