#pragma once
// Picking the installed livery that a live or a static aircraft wears, and the
// records the matching keeps while the process runs: the titles the simulator
// refused (BlockedTitles, NotCreatedSet), the title remembered per aircraft id
// (TitleByAircraftId), the counters of the match steps and their log reports.
//
// Steps, from the most specific to the most general (MATCHING_DEPTH 1..4 limits
// how far down they go):
//   1 the registration's regcode          4 the unknown airline "ZZZ" with the type
//   2 airline (or the registration's      5 the type alone, any airline
//     database airline) with the type     6 a similar type alone, or a random
//   3 a similar type under that airline     type of the aircraft's category
// Where several liveries fit, one is drawn at random (tlRandomEngine), avoiding
// special titles. A picked title that the simulator refused before is dropped
// and the aircraft stays unmatched.
//
// Thread: everything here runs on the worker thread (the engine's tick loop,
// the renewal timer, the closing down) and takes no lock; the indexes are read as
// livery_index.h describes. BlockedTitles, NotCreatedSet and MatchStepCounters
// live for the process (a restart keeps them); BlockedTitles owns its strings, so
// a rescan that rebuilds the index leaves it valid. TitleByAircraftId holds views
// and is emptied by the engine at a restart and by a rescan.

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/options.h"

// The unknown-airline placeholder of the scanned liveries.
inline constexpr std::string_view unknownAirline = "ZZZ";

// The aircraft being matched: the request, and what the match sets.
struct MatchAc {
    const LiveryRequest& request;
    bool cargo = false;
    std::string_view title;  // a view into LiveryIndex; empty: no livery
    bool fsltl = false;
};

// A match key.
struct MatchKey {
    std::string_view airline;
    std::string_view model;
};

// Counted live matches by step 1..6 (index step - 1); never reset.
extern std::array<std::int32_t, 6> MatchStepCounters;
// Titles the simulator could not create, in order of refusal (repeats kept).
extern std::vector<std::string> BlockedTitles;
// "type airline" of the aircraft whose creation failed.
extern std::set<std::string> NotCreatedSet;
// aircraft id -> title of its last live match.
extern std::unordered_map<std::uint32_t, std::string_view> TitleByAircraftId;

bool lf_isBlockedTitle(std::string_view title);
bool lf_isSpecialTitle(std::string_view title);

// Step 1. With a registration: title := its regcode's title, or empty when it
// has none; true when a title was found. Without: false, title unchanged.
bool lf_matchByRegcode(MatchAc& ac);
// The liveries of the key in AirlineModelIndex[kind] (kind 0 pax, 1 cargo;
// another kind throws std::out_of_range). Found: a random pick; true when a
// title is set. Not found: false, title unchanged.
bool lf_matchAirlineModel(MatchAc& ac, const MatchKey& key, std::size_t kind);
// The aircraft's kind first; a cargo aircraft that found nothing tries pax too.
bool lf_matchAirlineModelAnyKind(MatchAc& ac, const MatchKey& key);
// ModelIndex[the aircraft's kind][model]; no retry in the other kind.
bool lf_matchModel(MatchAc& ac, std::string_view model);
// Each similar model of the key (gf_similarModels, a fresh random order) of the
// aircraft's own category, under the key's airline, both kinds as above.
bool lf_matchSimilarModel(MatchAc& ac, MatchKey key);
// Steps 4 to 6; `step` is set on a match and left unchanged otherwise.
void lf_matchFallback(MatchAc& ac, int& step);
// A random title of the vector that is not special: up to five draws, then a
// random one of the non-special titles; all special: the fifth draw stays.
void lf_pickRandomLivery(MatchAc& ac, const std::vector<std::string_view>& titles);
// A blocked title is dropped (nothing counted); otherwise counts the step
// (std::out_of_range outside 1..6), logs "          {} ={}= {}" with LOG and
// sets fsltl.
void lf_logMatchStep(MatchAc& ac, int step);

// The live match: ac.title is the livery, empty when nothing fits.
void gf_matchLiveAcLivery(MatchAc& ac);
// The static match at a stand: a title already carried is kept (logged "=s=");
// otherwise the stand decides cargo and the steps run as for a live aircraft,
// with the airline step also for an empty airline, similar models of any
// category and a second similar pass under the registration's database airline.
// Counts nothing and leaves fsltl alone. Log lines only with LOG.
void gf_matchStaticAcLivery(MatchAc& ac, bool standCargo, std::string_view standName);

// Core's gf_lookupTitleById and gf_liveryNotCreated reach these two through the
// livery services (liveries/livery_services_impl.h).
// The remembered title of the id; empty when none. A remembered title that is
// blocked now is forgotten and answers empty.
std::string_view lf_titleById(std::uint32_t aircraftId);
// The simulator refused the aircraft (nothing once a stop was requested): shows
// and logs "{} '{}' could not be created by your Sim!", blocks the title, lists
// "type airline"; from the 20th blocked title on logs and throws
// qxv::UserErrorException 81.
void lf_liveryNotCreated(const std::string& callsign, std::string_view title, const std::string& type,
                         const std::string& airline);
// "  type airline" of every entry of NotCreatedSet.
std::vector<std::string> lf_notCreatedList();
// With LOG and unmatched keys: "\nNo match found for:", each key, an empty line.
template <class Keys>
void gf_logNoMatchList(const Keys& unmatched)
{
    if (unmatched.empty() || !LOG.get()) return;
    logLine("\nNo match found for:");
    for (const auto& key : unmatched) logLine(key);
    logLine("");
}
// The counters of the live matches and the refused aircraft; nothing while every
// counter is 0.
void gf_logLiveryMatchSummary();

// Every record back to its start (tests).
void resetLiveryMatchRecords();
