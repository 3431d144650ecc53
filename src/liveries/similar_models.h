#pragma once
// The similar models that have installed liveries: for each model of a group of
// interchangeable types (SimilarTypeGroups of the database), the other members
// with at least one livery, and per airline the similar models that airline has
// for a model it lacks. Built once the livery indexes exist; read (and shuffled in
// place) by the matching. Worker thread only, no lock (see livery_index.h).

#include <string>
#include <string_view>
#include <vector>

#include "liveries/livery_index.h"

// model -> similar models with installed liveries.
extern TextMap<std::vector<std::string>> SimilarInstalledModels;
// airline code (three characters at most) -> model it lacks -> similar models it has.
extern TextMap<TextMap<std::vector<std::string>>> SimilarModelsByAirline;

// Empties both maps, then builds them from SimilarTypeGroups and the indexes;
// logs "{} similar model definitions".
void gf_buildSimilarModels();
// The similar models of (airline, model), shuffled in place on every call; a
// shared empty vector when there are none. Valid until the next build or clear.
std::vector<std::string>& gf_similarModels(std::string_view airline, std::string_view model);
void gf_clearSimilarModels();
