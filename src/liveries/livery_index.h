#pragma once
// The in-memory indexes of the installed liveries, which the livery matching
// reads many times a second without touching the disk, and the tables that hold
// views into them.
//
// Ownership: LiveryIndex owns every title string; every other holder of a title
// (the two kind indexes, RegcodeTable, SpecialTitles, the remembered titles of
// the aircraft ids, an aircraft's matched title) keeps a std::string_view into
// it. The inner vectors of LiveryIndex are built once and never touched again
// until the whole index is cleared: a view into a short string points inside the
// string object, so growing a vector would move it. BlockedTitles (see
// livery_records.h) owns copies, so it survives a rebuild.
//
// Who writes, who reads: everything here is process-wide, written only by the
// worker thread while it processes the scanned liveries before its main loop
// (and cleared by it when a rescan was requested, livery_init.h), and read
// without a lock by the matching on the same thread. No lock: building, clearing
// and matching never overlap because they all run on the worker thread.

#include <array>
#include <cstddef>
#include <cstdint>
#include <list>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "simlink/ac_category.h"

struct Livery;

// Hash and equality that let a map keyed by std::string be searched with a view.
struct TextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>{}(text); }
};
template <class T>
using TextMap = std::unordered_map<std::string, T, TextHash, std::equal_to<>>;

using TitleViews = std::vector<std::string_view>;

// One installed livery under an airline and a model.
struct LiveryEntry {
    std::string title;  // owning; capacity trimmed to its length
    bool cargo = false;
};

// Kinds of the two-map indexes.
inline constexpr std::size_t paxKind = 0;
inline constexpr std::size_t cargoKind = 1;

// airline -> model -> entries, in the order of the sorted scanned list (by title
// within a model). Every key present has at least one entry.
extern TextMap<TextMap<std::vector<LiveryEntry>>> LiveryIndex;
// [kind]: airline -> model -> titles of that kind, in entry order. Only airlines
// and models with titles of the kind are present.
extern std::array<TextMap<TextMap<TitleViews>>, 2> AirlineModelIndex;
// [kind]: model -> titles of that kind over all airlines, ordered by airline,
// then title. Only models with titles of the kind are present.
extern std::array<TextMap<TitleViews>, 2> ModelIndex;

// The distinct models with liveries of the three categories that the fallback
// steps of the matching draw from, each ascending (byte order).
struct CategoryModelLists {
    std::vector<std::string> light;
    std::vector<std::string> buzjets;
    std::vector<std::string> rotorcraft;
};
extern CategoryModelLists CategoryModels;

// registration -> installed title.
extern TextMap<std::string_view> RegcodeTable;
// Installed titles of special liveries (the random pick avoids them), in merge
// order, and the same as a set for the membership test.
extern TitleViews SpecialTitles;
extern std::unordered_set<std::string_view> SpecialTitleSet;

// Reserves SpecialTitles (4096) and the three category lists (64, 128, 32) once
// per process.
void gf_reserveLiveryVectors();

// LiveryIndex from `liveries`, which must be sorted by airline, model, title.
void lf_indexLiveries(const std::list<Livery>& liveries);
// The same from ScannedLiveries.
void lf_indexScannedLiveries();
void lf_buildAirlineModelIndexes();
void lf_buildModelIndexes();
// Logs the liveries of the category, fills its model list (Light, Buzjets,
// Rotorcraft) and, for Light, HighPerf and Rotorcraft, switches the category's
// option off (saved) and disables its check box when it has no livery, or
// enables the check box when it has.
void lf_summarizeCategory(AcCategory category);

// The indexed view of an equal title (walks the whole index; first found in the
// index's iteration order), or an empty view.
std::string_view lf_findScannedTitle(std::string_view title);
// The same answer through a hash map built on first use after the index was
// built (the regcode merges look up tens of thousands of titles).
std::string_view lf_indexedTitle(std::string_view title);
bool lf_hasAirlineModel(std::string_view airline, std::string_view model);
// The first three characters of every airline key, in ascending key order.
std::vector<std::string> lf_airlineCodes();
// One model of a category list at random; "" for an empty list.
std::string lf_randomCategoryModel(const std::vector<std::string>& models);
// The category list of Light, Buzjets or Rotorcraft; nullptr for the others.
const std::vector<std::string>* lf_categoryModelList(AcCategory category);

// A random index below n: 0 for n = 1 (no draw), else the thread's next 32-bit
// draw modulo n. n must not be 0.
std::size_t lf_randomIndex(std::size_t n);

// Empties the category lists, SpecialTitles, RegcodeTable, ModelIndex,
// AirlineModelIndex and last LiveryIndex. Every view into the index is invalid
// afterwards.
void gf_clearLiveryIndexes();
