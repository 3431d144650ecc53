#include "liveries/regcode_merge.h"

#include <filesystem>
#include <gsl/util>

#include "core/app_services.h"
#include "core/fmt.h"
#include "core/files.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/utils.h"
#include "liveries/data_crypto.h"
#include "liveries/livery.h"
#include "liveries/livery_index.h"

void lf_checkInlineRegcodes()
{
    std::vector<std::string> clashes;
    for (const Livery& livery : ScannedLiveries) {
        if (livery.atcId.empty()) continue;
        const std::string_view title = lf_indexedTitle(livery.title);
        if (title.empty()) {
            clashes.push_back(vr::format("==> [{:3} {:4}] {} '{}' not available, system error, should not happen?",
                                         livery.airline, livery.model, livery.atcId, livery.title));
            continue;
        }
        const auto [it, added] = RegcodeTable.try_emplace(livery.atcId, title);
        if (!added && it->second != title)
            clashes.push_back(vr::format("{} '{}' => already in use by '{}'", livery.atcId, title, it->second));
    }
    if (clashes.empty()) return;
    std::filesystem::create_directories(outputErrorsFolder);
    gf_writeLines(clashes, inlineRegcodesPath);
    logLine(vr::format("{} in-line regcode clashes, see '{}'", clashes.size(), inlineRegcodesPath.string()));
}

void lf_mergeRegcodes(std::vector<RegcodeEntry> entries)
{
    std::uint64_t added = 0;
    std::uint64_t replaced = 0;
    std::uint64_t special = 0;
    for (const RegcodeEntry& entry : entries) {
        const std::string_view title = lf_indexedTitle(entry.title);
        if (title.empty()) continue;
        for (const std::string& regcode : entry.regcodes) {
            const auto [it, inserted] = RegcodeTable.try_emplace(regcode, title);
            if (inserted) {
                ++added;
            } else if (it->second != title) {
                RegcodeReportLines.push_back(
                    vr::format("   regcode {} for '{}', instead of the same for '{}'", regcode, title, it->second));
                it->second = title;
                ++replaced;
            }
        }
        if (entry.special) {
            SpecialTitles.push_back(title);
            SpecialTitleSet.insert(title);
            ++special;
        }
    }
    std::string line = vr::format("{} new regcode{} added", added, gf_pluralSuffix(added));
    if (replaced > 0) line += vr::format(", {} regcode{} replaced", replaced, gf_pluralSuffix(replaced));
    if (special > 0) line += vr::format(", {} regcode{} defined as special", special, gf_pluralSuffix(special));
    RegcodeReportLines.push_back(std::move(line));
}

void lf_processAigRegcodeFile()
{
    RegcodeReportLines.push_back(vr::format("Processing file {}", aigRegcodesXmlPath.string()));
    std::vector<RegcodeEntry> entries;
    if (!lf_readAigRegcodesXml(entries))
        RegcodeReportLines.push_back(vr::format("There were errors processing the AIG-regcode file '{}', see Log.txt",
                                                aigRegcodesXmlPath.string()));
    lf_mergeRegcodes(std::move(entries));
}

void lf_processMyRegcodeFiles()
{
    if (gf_listFolder(myRegcodesFolder) < 1) return;
    RegcodeReportLines.push_back(vr::format("Processing files in {}", myRegcodesFolder.string()));
    std::vector<RegcodeEntry> entries;
    if (!lf_readRegcodeFiles(myRegcodesFolder, entries))
        showMessage(vr::format("There were errors processing the regcode files in folder '{}', see Log.txt",
                               myRegcodesFolder.string()),
                    true);
    lf_mergeRegcodes(std::move(entries));
}

void lf_processOfflineRegcodes()
{
    RegcodeReportLines.clear();
    try {
        // Without a readable AIG file the user's own files still count.
        if (gf_streamDecrypt(aigRegcodesEncPath, aigRegcodesXmlPath)) {
            const auto removePlain = gsl::finally([] { gf_removeFile(aigRegcodesXmlPath); });
            lf_processAigRegcodeFile();
        }
        lf_processMyRegcodeFiles();
        std::filesystem::remove(offlineRegcodesPath);
        if (RegcodeReportLines.empty()) return;
        std::filesystem::create_directories(outputInfoFolder);
        gf_writeLines(RegcodeReportLines, offlineRegcodesPath);
        logLine(vr::format("Offline regcode files processed, results can be found in '{}'",
                           offlineRegcodesPath.string()));
        if (!SpecialTitles.empty()) logLine(vr::format("{} special liveries", SpecialTitles.size()));
    } catch (const std::exception& e) {
        logLineMarked(vr::format("exception: {}", e.what()));
    }
}
