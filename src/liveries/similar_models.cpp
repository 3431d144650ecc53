#include "liveries/similar_models.h"

#include <set>

#include "core/fmt.h"
#include "core/log.h"
#include "core/random.h"
#include "liveries/dbase.h"

TextMap<std::vector<std::string>> SimilarInstalledModels;
TextMap<TextMap<std::vector<std::string>>> SimilarModelsByAirline;

namespace {

bool lf_isInstalledModel(const std::string& model)
{
    return ModelIndex[paxKind].count(model) > 0 || ModelIndex[cargoKind].count(model) > 0;
}

}  // namespace

void gf_clearSimilarModels()
{
    SimilarInstalledModels.clear();
    SimilarModelsByAirline.clear();
}

void gf_buildSimilarModels()
{
    gf_clearSimilarModels();
    std::set<std::string> texts;
    for (const std::vector<std::string>& group : SimilarTypeGroups) {
        for (std::size_t i = 0; i < group.size(); ++i) {
            std::string text = group[i];
            for (std::size_t j = 0; j < group.size(); ++j)
                if (j != i && lf_isInstalledModel(group[j])) text += "," + group[j];
            if (text.find(',') != std::string::npos) texts.insert(std::move(text));
        }
    }
    for (const std::string& text : texts) {
        const std::size_t comma = text.find(',');
        std::vector<std::string> rest;
        for (std::size_t start = comma + 1;;) {
            const std::size_t end = text.find(',', start);
            rest.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
            if (end == std::string::npos) break;
            start = end + 1;
        }
        SimilarInstalledModels.emplace(text.substr(0, comma), std::move(rest));
    }
    for (const std::string& airline : lf_airlineCodes()) {
        TextMap<std::vector<std::string>> lacking;
        for (const auto& [model, similar] : SimilarInstalledModels) {
            if (lf_hasAirlineModel(airline, model)) continue;
            std::vector<std::string> has;
            for (const std::string& s : similar)
                if (lf_hasAirlineModel(airline, s)) has.push_back(s);
            if (!has.empty()) lacking.emplace(model, std::move(has));
        }
        if (!lacking.empty()) SimilarModelsByAirline.emplace(airline, std::move(lacking));
    }
    logLine(vr::format("{} similar model definitions", SimilarInstalledModels.size()));
}

std::vector<std::string>& gf_similarModels(std::string_view airline, std::string_view model)
{
    static std::vector<std::string> none;
    const auto a = SimilarModelsByAirline.find(airline);
    if (a == SimilarModelsByAirline.end()) return none;
    const auto m = a->second.find(model);
    if (m == a->second.end()) return none;
    gf_shuffle(m->second);
    return m->second;
}
