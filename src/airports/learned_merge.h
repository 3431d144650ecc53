#pragma once
// The learned file of an airport merged into the stands just read from its
// airport file, and the quality factors of the recorded stand use.
//
// Worker thread: the merge works on the caller's stand vector (the load's own,
// which replaces the engine's stands only when the whole load succeeded) and
// sets option records (not saved to parameters.xml: they belong to the airport).

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "engine/stand.h"

// What a load keeps of an airport file's header.
struct AirportHeader {
    std::string airportName;
    std::string publisher;
    std::int32_t altitude = 0;  // feet
    std::pair<std::int32_t, std::int32_t> qf{-1, -1};  // Qf_real, Qf_soft
    std::int32_t rtTrafficWeek = 0;                    // "RT_traffic_week", 0 when absent
};

// Loads the learned file and merges it (lf_mergeLearnedDocument). A file that
// cannot be loaded is moved aside to "<name>.0.xml" and nothing is merged.
void lf_readLearned(const std::filesystem::path& path, const AirportHeader& header, std::vector<Stand>& stands);
// The merge of a loaded learned document; `pathText` names it in log lines.
// Nothing throws out of it: a problem is logged and what was merged stays.
void lf_mergeLearnedDocument(const pugi::xml_document& doc, const std::string& pathText, const AirportHeader& header,
                             std::vector<Stand>& stands);

// Merges one learned <parkpos> into the stand when its id is the stand's name:
// radius and cargo changes, and its <opt>s not yet recorded (source 0).
bool lf_matchLearnedStand(const pugi::xml_node& parkpos, Stand& stand);
// Same weekday, real flag, registration, operator and type, and a common half hour.
bool lf_sameSlotRecord(const SlotRecord& a, const SlotRecord& b);

// (Qf_real, Qf_soft), each 0..100, over the stands; (-1, -1) when no stand has
// an option.
std::pair<std::int32_t, std::int32_t> computeQualityFactors(std::span<const Stand> stands);
std::pair<std::int32_t, std::int32_t> computeQualityFactors();

// The MAX_LIVE_SEL choice for a learned MAX_LIVE value.
std::int32_t snapMaxLiveChoice(std::int32_t maxLive);
