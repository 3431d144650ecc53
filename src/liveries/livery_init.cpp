#include "liveries/livery_init.h"

#include <pugixml.hpp>

#include <algorithm>
#include <filesystem>
#include <map>
#include <tuple>

#include "core/app_services.h"
#include "core/errors.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "core/startup_globals.h"
#include "core/utils.h"
#include "liveries/addon_discovery.h"
#include "liveries/dbase.h"
#include "liveries/folder_scan.h"
#include "liveries/livery_index.h"
#include "liveries/livery_match.h"
#include "liveries/regcode_merge.h"
#include "liveries/regcodes.h"
#include "liveries/similar_models.h"
#include "platform/fs_path.h"

std::atomic<bool> LiveriesInitialised{false};

namespace {

std::atomic<bool> lf_rescanRequested{false};
LiveryFolderSearch lf_folderSearch;

// Everything the processing builds, so it can be built again; the remembered
// titles point into the index and go with it.
void lf_forgetProcessedLiveries()
{
    gf_clearSimilarModels();
    TitleByAircraftId.clear();
    gf_clearLiveryIndexes();
}

bool lf_liveryBefore(const Livery& a, const Livery& b)
{
    return std::tie(a.airline, a.model, a.title) < std::tie(b.airline, b.model, b.title);
}

}  // namespace

void setLiveryFolderSearch(LiveryFolderSearch search) { lf_folderSearch = std::move(search); }

void requestLiveryRescan() { lf_rescanRequested.store(true); }
bool liveryRescanRequested() { return lf_rescanRequested.load(); }
void clearLiveryRescanRequest() { lf_rescanRequested.store(false); }

void lf_sortLiveries(std::list<Livery>& liveries) { liveries.sort(lf_liveryBefore); }

void lf_prioritizeLiveries(std::list<Livery>& liveries)
{
    std::map<std::pair<std::string_view, std::string_view>, std::uint32_t> lowest;
    for (const Livery& l : liveries) {
        const auto [it, added] = lowest.try_emplace({l.airline, l.model}, l.folderNumber);
        if (!added) it->second = std::min(it->second, l.folderNumber);
    }
    std::list<Livery> kept;
    for (auto it = liveries.begin(); it != liveries.end();) {
        const auto next = std::next(it);
        if (it->folderNumber <= lowest.at({it->airline, it->model})) kept.splice(kept.end(), liveries, it);
        it = next;
    }
    liveries.swap(kept);
}

bool lf_scanLiveryFolders(const std::vector<std::filesystem::path>& folders)
{
    ScannedLiveries.clear();
    lf_removePreviousScanFiles();
    lf_readDontUseTitles();
    std::uint32_t number = 0;
    std::int64_t total = 0;
    for (const std::filesystem::path& folder : folders) {
        if (folder.empty()) continue;
        const std::string text = platform::pathText(folder);
        if (!std::filesystem::exists(folder)) {
            logLine(text + " does not exist, skipped!");
            continue;
        }
        if (!std::filesystem::is_directory(folder)) {
            logLine(text + " is not a folder name, skipped!");
            continue;
        }
        number = std::min<std::uint32_t>(number + 1, 10);
        if (anyStopFlag()) continue;
        const std::size_t before = ScannedLiveries.size();
        if (lf_folderSearch)
            lf_folderSearch(number, folder);
        else
            lf_searchLiveriesInFolder(number, folder);
        const auto added = static_cast<std::int64_t>(ScannedLiveries.size() - before);
        const std::string where = vr::format("found in {}", text);
        if (added < 1) {
            logLine(vr::format("No liveries {}", where));
        } else {
            logLine(vr::format("{} liverie{} {}", added, gf_pluralS(added), where));
            total += added;
        }
    }
    if (anyStopFlag()) {
        ScannedLiveries.clear();
        lf_resetScanLists();
        return true;
    }
    if (ScannedLiveries.empty()) {
        statusPanel().liveriesCount = 0;
        repaintStatusPanel();
        lf_resetScanLists();
        return false;
    }
    if (folders.size() > 1) logLine(vr::format("{} in total", total));
    lf_applyDbaseUpdates();
    if (LIG_PRIORITIZE.get()) lf_prioritizeLiveries(ScannedLiveries);
    lf_sortLiveries(ScannedLiveries);
    ScannedLiveries.unique(lf_liveryEquals);
    std::filesystem::create_directories(outputFolder);  // else the file could not be written
    lf_writeLiveriesScanned();
    ScannedLiveries.clear();
    lf_writeScanReport();
    lf_resetScanLists();
    clearMessage();
    return true;
}

void lf_readLiveriesScannedDocument(const pugi::xml_document& doc, const std::string& pathText)
{
    ScannedLiveries.clear();
    try {
        if (readMetaInfo(doc, &metaAuthor) && readMetaInfo(doc, &metaDate)) readMetaInfo(doc, &metaVersion);
        const pugi::xml_node liveries = doc.child("liveries");
        if (!liveries)
            throw qxv::UserErrorException(52, vr::format("{} does not contain a <liveries> section", pathText));
        for (const pugi::xml_node liv : liveries.children("liv")) {
            for (const char* required : {"airl", "type", "title"})
                if (!liv.attribute(required))
                    throw qxv::UserErrorException(
                        999, vr::format("Missing required attribute '{}' in <{}>", required, liv.name()));
            ScannedLiveries.emplace_back(liv.attribute("airl").as_string(), liv.attribute("type").as_string(),
                                         liv.attribute("title").as_string(), liv.attribute("atcid").as_string(), 0,
                                         gf_isTrueText(liv.attribute("cargo").as_string()));
        }
        if (ScannedLiveries.empty()) throw qxv::UserErrorException(533, pathText + " does not contain liveries");
        lf_sortLiveries(ScannedLiveries);
        logLine(vr::format("{} liveries read from {}", ScannedLiveries.size(), pathText));
    } catch (const pugi::xpath_exception& e) {
        const char* description = e.result().description();
        logLine(description && *description ? description : "No error");
    }
}

void lf_readLiveriesScanned()
{
    const std::string pathText = platform::pathText(liveriesScannedPath);
    pugi::xml_document doc;
    if (!doc.load_file(liveriesScannedPath.c_str()))
        throw qxv::UserErrorException(51, vr::format("File {} not found", pathText));
    lf_readLiveriesScannedDocument(doc, pathText);
}

void lf_processScannedLiveries()
{
    if (LiveriesInitialised.load()) {
        logLine("Processing scanned liveries skipped; already done in previous start-up");
        ScannedLiveries.clear();
        return;
    }
    // A processing that failed half-way in an earlier run of this process left
    // part of the tables behind: start from nothing.
    lf_forgetProcessedLiveries();
    lf_readLiveriesScanned();
    statusPanel().liveriesCount = static_cast<std::int32_t>(ScannedLiveries.size());
    repaintStatusPanel();
    lf_indexScannedLiveries();
    lf_buildAirlineModelIndexes();
    lf_checkInlineRegcodes();
    lf_processOfflineRegcodes();
    logLine(vr::format("{} registration codes", RegcodeTable.size()));
    lf_buildModelIndexes();
    logLine(vr::format("{} airlines, {} pax aircraft models and {} cargo aircraft models", LiveryIndex.size(),
                       ModelIndex[paxKind].size(), ModelIndex[cargoKind].size()));
    gf_buildSimilarModels();
    for (const AcCategory c : {AcCategory::Light, AcCategory::Buzjets, AcCategory::Large, AcCategory::Heavy,
                               AcCategory::HighPerf, AcCategory::Rotorcraft})
        lf_summarizeCategory(c);
    LiveriesInitialised.store(true);
    repaintStatusPanel();
    ScannedLiveries.clear();
}

namespace {

// False (the file kept aside as ".bak", the user told) when LiveriesScanned.xml
// is there but cannot be read: cut, empty or garbage. A missing file is error
// 51 as before (the start-up has switched the scan on for it).
bool lf_liveriesScannedReadable()
{
    std::error_code ec;
    if (!std::filesystem::exists(liveriesScannedPath, ec)) return true;  // error 51 says it
    pugi::xml_document doc;
    const pugi::xml_parse_result result = doc.load_file(liveriesScannedPath.c_str());
    std::string problem;
    if (!result)
        problem = result.description();
    else if (!doc.child("liveries").child("liv"))
        problem = "no liveries in it";
    if (problem.empty()) return true;
    // Kept aside for a look, and scanned again as at a first start.
    std::filesystem::path aside = liveriesScannedPath;
    aside += ".bak";
    std::filesystem::rename(liveriesScannedPath, aside, ec);
    const std::string text = vr::format("File {} cannot be read ({}), liveries are scanned again",
                                        platform::pathText(liveriesScannedPath), problem);
    logLineMarked(text);
    showMessage(text, false);
    return false;
}

}  // namespace

void gf_initLiveries()
{
    if (lf_rescanRequested.exchange(false)) {
        LiveriesInitialised.store(false);
        lf_forgetProcessedLiveries();
    }
    if (!SCAN_LIVERIES.get() && (LiveriesInitialised.load() || lf_liveriesScannedReadable()))
        return lf_processScannedLiveries();
    generatedFileSimulator.set("P3D");
    const bool automatic = LIG_AUTOMATIC.get();
    const bool prioritized = LIG_PRIORITIZE.get() && !automatic;
    showMessage(vr::format("Scanning {} for liveries ...", prioritized ? "prioritized " : ""), false);
    logLine(vr::format("\n++++++++++++++++++++++++ liveries scan {} starts ++++++++++++++++++++++++++++++++",
                       automatic ? "automatic" : "manual"));
    std::vector<std::filesystem::path> folders;
    folders.reserve(10);
    if (!automatic) {
        for (const StringParameter* option : lfolder) {
            const std::string text = option->get();
            if (!text.empty()) folders.push_back(platform::toFsPath(text));
        }
        if (folders.empty())
            throw qxv::UserErrorException(
                48, "Set lfolder parameter(-s) to your liveries first, see Manual 5.1 (or check Liveries automatic)");
    } else {
        lf_readP3DAddOnsAircraft(folders);
        lf_readP3DSimObjectsCfg(folders);
    }
    if (!lf_scanLiveryFolders(folders)) {
        if (automatic)
            throw qxv::UserErrorException(43, "Automatic scan has not found any liveries, switch off automatic and "
                                              "set lfolder parameter(-s), Manual 5.1");
        throw qxv::UserErrorException(53, "no liveries found");
    }
    if (anyStopFlag()) return;  // nothing was written; the next start scans again
    SCAN_LIVERIES.set(false);
    saveBoolParameter(&SCAN_LIVERIES);
    showCheckboxState(SCAN_LIVERIES);
    repaintStatusPanel();
    logLine("\n++++++++++++++++++++++++ liveries scan ends ++++++++++++++++++++++++++++++++\n");
    lf_processScannedLiveries();
}
