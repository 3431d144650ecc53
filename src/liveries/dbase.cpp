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

StringSet& lf_categorySet(AcCategory c) { return CategoryTypeSets[static_cast<std::size_t>(c)]; }

void lf_readSimilarTypes(const pugi::xml_document& doc)
{
    SimilarTypeGroups.reserve(64);
    for (const pugi::xml_node similar : doc.child("similar_types").children("similar")) {
        std::vector<std::string> group = gf_tokenize(getAttribute(similar, "types"), ',');
        std::sort(group.begin(), group.end());
        SimilarTypeGroups.push_back(std::move(group));
    }
    SimilarTypeGroups.shrink_to_fit();
}

void lf_readPublishers(const pugi::xml_document& doc)
{
    std::vector<std::string> names;
    for (const pugi::xml_node pub : doc.child("publishers").children("pub")) names.push_back(getAttribute(pub, "names"));
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    PublisherAliases.reserve(640);
    for (const std::string& text : names) {
        std::vector<std::string> group = gf_tokenize(text, ',');
        group.shrink_to_fit();
        PublisherAliases.push_back(std::move(group));
    }
    PublisherAliases.shrink_to_fit();
    logLine(vr::format("   {} publishers", PublisherAliases.size()));
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

void lf_readWingspans(const pugi::xml_document& doc)
{
    bool accepted = false;
    for (const pugi::xml_node wingspan : doc.child("wingspans").children("wingspan")) {
        const std::string type = getAttribute(wingspan, "type");
        if (!dbaseIsKnownType(type)) {
            logLineMarked(vr::format("wingspan model {} is not valid, skipped", type));
            continue;
        }
        const std::string text = getAttribute(wingspan, "meters");
        const std::optional<double> metres = lf_metres(text);
        if (!metres) {
            logLineMarked(vr::format("wingspan of {} is not a number of metres: '{}', skipped", type, text));
            continue;
        }
        const double halfSpan = *metres * halfSpanNmPerMetre;
        Wingspans.try_emplace(type, halfSpan);  // the first entry of a type wins
        maxHalfWingspan = std::max(maxHalfWingspan, halfSpan);
        accepted = true;
    }
    if (!accepted) return;
    std::array<double, acCategoryCount> sums{};
    std::array<int, acCategoryCount> counts{};
    double allSum = 0.0;
    for (const auto& [type, halfSpan] : Wingspans) {
        const auto c = static_cast<std::size_t>(dbaseTypeCategory(type));
        sums[c] += halfSpan;
        ++counts[c];
        allSum += halfSpan;
    }
    // A category without entries takes the average of all of them.
    const double allAverage = allSum / static_cast<double>(Wingspans.size());
    for (std::size_t c = 0; c < acCategoryCount; ++c)
        CategoryHalfWingspans[c] = counts[c] > 0 ? sums[c] / counts[c] : allAverage;
}

void lf_readFixes(const pugi::xml_document& doc)
{
    for (const pugi::xml_node fx : doc.child("fixes").children("fx")) {
        const std::string wrong = getAttribute(fx, "wro");
        const std::string correct = getAttribute(fx, "cor");
        if (!dbaseIsKnownType(correct)) {
            logLineMarked(vr::format("wrong fix {} -> {}, the latter is not valid", wrong, correct));
            continue;
        }
        if (!TypeFixes.try_emplace(wrong, correct).second)
            logLineMarked(vr::format("wrong part of fix: '{}', already exists, skipped", wrong));
    }
}

void lf_readRecords(const pugi::xml_document& doc)
{
    DbaseRecords.clear();
    for (const pugi::xml_node db : doc.child("dbase").children("db")) {
        DbaseRecord record{getAttribute(db, "reg"), getAttribute(db, "airl"), getAttribute(db, "type"),
                           getAttribute(db, "opr"), gf_isTrueText(getAttribute(db, "cargo"))};
        if (record.registration.empty()) {
            // The key "" would be found in every title by findShortCode.
            logLineMarked(vr::format("dbase record without registration (airl '{}', type '{}'), skipped",
                                     record.airline, record.type));
            continue;
        }
        const std::string registration = record.registration;
        if (!DbaseRecords.try_emplace(registration, std::move(record)).second)  // the first record stays
            logLineMarked(vr::format("regcode {} already exists", registration));
    }
    lf_shortKeys.clear();
    for (const auto& [key, record] : DbaseRecords)
        if (key.size() < 6) lf_shortKeys.push_back(key);
    std::sort(lf_shortKeys.begin(), lf_shortKeys.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() > b.size() : a < b;
    });
}

}  // namespace

bool gf_isTrueText(std::string_view text)
{
    return !text.empty() && std::string_view("1tTyY").find(text.front()) != std::string_view::npos;
}

void resetDbaseTables()
{
    KnownTypes.clear();
    for (StringSet& set : CategoryTypeSets) set.clear();
    CargoTypes.clear();
    SimilarTypeGroups.clear();
    IcaoAirlines.clear();
    CargoOperators.clear();
    PublisherAliases.clear();
    Wingspans.clear();
    maxHalfWingspan = 0.0;
    CategoryHalfWingspans.fill(0.0);
    TypeFixes.clear();
    SimAddonAirports.clear();
    ThirdPartyAirports.clear();
    DbaseRecords.clear();
    lf_shortKeys.clear();
}

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

void lf_readThirdParties(const pugi::xml_document& doc)
{
    if (ThirdPartyAirports.capacity() < 200) ThirdPartyAirports.reserve(200);
    for (const pugi::xml_node entry : doc.child("thirdpartiesP3D").children("thirdpartieP3D"))
        ThirdPartyAirports.push_back({getAttribute(entry, "pub"), gf_tokenize(getAttribute(entry, "arpts"), ',')});
}

void gf_readDbaseDocument(const pugi::xml_document& doc)
{
    resetDbaseTables();
    try {
        lf_readTypeSet(doc, "aircrafts", KnownTypes, "aircraft");
        lf_readTypeSet(doc, "high_performance", lf_categorySet(AcCategory::HighPerf), "hpf");
        lf_readTypeSet(doc, "heavy", lf_categorySet(AcCategory::Heavy), "hvy");
        lf_readTypeSet(doc, "large", lf_categorySet(AcCategory::Large), "lar");
        lf_readTypeSet(doc, "buzjet", lf_categorySet(AcCategory::Buzjets), "bzj");
        lf_readTypeSet(doc, "rotorcraft", lf_categorySet(AcCategory::Rotorcraft), "rot");
        lf_readTypeSet(doc, "cargo_types", CargoTypes, "cargo_type");
        lf_readSimilarTypes(doc);
        lf_readCodeSet(doc, "ICAO_airlines", IcaoAirlines);
        lf_readCodeSet(doc, "cargo_operators", CargoOperators);
        lf_readPublishers(doc);
        lf_readWingspans(doc);
        lf_readFixes(doc);
        lf_readXmlList(doc, "simaddonsP3D", SimAddonAirports, "simaddonP3D", "arpts");
        lf_readThirdParties(doc);
        lf_readRecords(doc);
    } catch (...) {
        resetDbaseTables();
        throw;
    }
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
    try {
        gf_readDbaseDocument(doc);
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

AcCategory dbaseTypeCategory(std::string_view type)
{
    for (AcCategory c : {AcCategory::Large, AcCategory::Heavy, AcCategory::Buzjets, AcCategory::Rotorcraft,
                         AcCategory::HighPerf})
        if (lf_categorySet(c).count(type) > 0) return c;
    return AcCategory::Light;
}

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
