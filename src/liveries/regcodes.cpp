#include "liveries/regcodes.h"

#include <exception>
#include <list>

#include <pugixml.hpp>

#include "core/files.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/text_input.h"
#include "core/utils.h"
#include "liveries/data_crypto.h"
#include "liveries/dbase.h"
#include "platform/directory.h"
#include "platform/fs_path.h"

std::vector<std::string> DontUseTitles;
std::vector<std::string> RegcodeReportLines;

namespace {

constexpr std::size_t minRegcodeLength = 3;
constexpr std::size_t maxRegcodeLength = 12;

const char* lf_liveries(std::size_t n) { return n == 1 ? "livery" : "liveries"; }

bool lf_goodLength(const std::string& regcode)
{
    return regcode.size() >= minRegcodeLength && regcode.size() <= maxRegcodeLength;
}

// Appends the titles of the entries without regcodes; how many.
std::size_t lf_addDontUseTitles(const std::vector<RegcodeEntry>& entries)
{
    std::size_t added = 0;
    for (const RegcodeEntry& entry : entries)
        if (entry.regcodes.empty()) {
            DontUseTitles.push_back(entry.title);
            ++added;
        }
    return added;
}

bool lf_isTxtFile(const std::filesystem::directory_entry& entry)
{
    std::error_code ec;
    return entry.is_regular_file(ec) && gf_toUpper(".TXT", entry.path().extension().string());
}

}  // namespace

bool lf_readAigRegcodesDocument(const pugi::xml_document& doc, const std::filesystem::path& path,
                                std::vector<RegcodeEntry>& entries)
{
    bool result = true;
    std::size_t count = 0;
    std::string previous;
    for (const pugi::xml_node livery : doc.child("AIG-regcodes").children("livery")) {
        std::string title = getAttribute(livery, "title");
        if (title.empty()) continue;
        if (title == previous) {
            logLineMarked(vr::format("SAME AS PREVIOUS title '{}'", title));
            result = false;
            continue;
        }
        previous = title;
        const std::list<std::string> regcodes = gf_splitString(getAttribute(livery, "reg"));
        entries.push_back({std::move(title), {regcodes.begin(), regcodes.end()},
                           gf_isTrueText(getAttribute(livery, "special"))});
        ++count;
    }
    logLine(vr::format("{} {} read from {}", count, lf_liveries(count), platform::pathText(path)));
    return result;
}

std::string aigRegcodesFileProblem(const std::filesystem::path& enc)
{
    pugi::xml_document doc;
    std::string problem = gf_loadDataDocument(enc, doc);
    if (!problem.empty()) return problem;
    if (!doc.child("AIG-regcodes").child("livery")) return "no <livery> in an <AIG-regcodes> section";
    return {};
}

bool lf_readAigRegcodesXml(std::vector<RegcodeEntry>& entries, const std::filesystem::path& path)
{
    pugi::xml_document doc;
    if (!doc.load_file(path.c_str())) {
        logLineMarked(vr::format("Failed to load {}", platform::pathText(path)));
        return false;
    }
    return lf_readAigRegcodesDocument(doc, path, entries);
}

bool lf_readAigRegcodesXml(std::vector<RegcodeEntry>& entries) { return lf_readAigRegcodesXml(entries, aigRegcodesXmlPath); }

bool lf_readRegcodeLine(const std::string& line, const std::filesystem::path& file, std::vector<RegcodeEntry>& entries)
{
    if (line.empty()) return true;
    std::vector<std::string> fields = gf_tokenize(line, ';');
    if (fields.size() == 1) {
        if (!fields[0].empty()) entries.push_back({std::move(fields[0]), {}, false});
        return true;
    }
    if (fields.size() > 3) {
        logLineMarked(vr::format("{}: wrong format '{}'", platform::pathText(file), line));
        return false;
    }
    const std::list<std::string> words = gf_splitString(fields[1]);
    if (words.empty()) return true;
    if (words.size() == 1) {
        if (!lf_goodLength(words.front())) {
            logLineMarked(vr::format("wrong regcode length '{}' in {}", words.front(), platform::pathText(file)));
            return false;
        }
        entries.push_back({std::move(fields[0]), {words.front()}, true});
        return true;
    }
    bool result = true;
    std::vector<std::string> kept;
    for (const std::string& word : words) {
        if (lf_goodLength(word)) {
            kept.push_back(word);
            continue;
        }
        logLineMarked(vr::format("wrong regcode length '{}' in {}", word, platform::pathText(file)));
        result = false;
    }
    if (kept.empty()) {
        logLineMarked(vr::format("{} ; regs empty?", platform::pathText(file)));
        return result;
    }
    const bool special = fields.size() == 3 && fields[2] == "#";
    entries.push_back({std::move(fields[0]), std::move(kept), special});
    return result;
}

bool lf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeEntry>& entries)
{
    bool result = true;
    const std::size_t before = entries.size();
    try {
        for (const std::filesystem::directory_entry& entry : platform::listDirectorySorted(folder)) {
            if (!lf_isTxtFile(entry)) continue;
            logLine(vr::format("Processing regcodes file '{}'", platform::pathText(entry.path())));
            std::vector<std::string> lines;
            if (!gf_readTextFileLines(entry.path(), lines)) {
                logLineMarked(vr::format("Error reading regcode files in {}, what: {} cannot be read",
                                         platform::pathText(folder), platform::pathText(entry.path())));
                result = false;
                continue;
            }
            for (const std::string& line : lines)
                if (!lf_readRegcodeLine(line, entry.path(), entries)) result = false;
        }
    } catch (const std::exception& e) {
        logLineMarked(vr::format("Error reading regcode files in {}, what: {}", platform::pathText(folder), e.what()));
        result = false;
    }
    const std::size_t count = entries.size() - before;
    logLine(vr::format("{} {}", count, lf_liveries(count)));
    return result;
}

void lf_readDontUseTitleFile()
{
    std::vector<RegcodeEntry> entries;
    if (!lf_readAigRegcodesXml(entries))
        RegcodeReportLines.push_back(vr::format("There were errors in processing the file '{}', see the Log.txt",
                                                platform::pathText(aigRegcodesXmlPath)));
    const std::size_t added = lf_addDontUseTitles(entries);
    logLine(vr::format("{} don't use title{} read", added, gf_pluralS(static_cast<std::int64_t>(added))));
}

void lf_readDontUseTitleFolder()
{
    std::vector<RegcodeEntry> entries;
    if (!lf_readRegcodeFiles(myRegcodesFolder, entries))
        RegcodeReportLines.push_back(
            vr::format("There were errors in processing the regcode files in folder '{}', see the Log.txt",
                       platform::pathText(myRegcodesFolder)));
    const std::size_t added = lf_addDontUseTitles(entries);
    logLine(vr::format("{} don't use title{} read from files in {}", added,
                       gf_pluralS(static_cast<std::int64_t>(added)), platform::pathText(myRegcodesFolder)));
}

void lf_readDontUseTitles()
{
    DontUseTitles.clear();
    try {
        {
            const RemoveFileOnExit removePlain(aigRegcodesXmlPath);
            if (gf_streamDecrypt(aigRegcodesEncPath, aigRegcodesXmlPath)) lf_readDontUseTitleFile();
        }
        if (gf_listFolder(myRegcodesFolder) > 0) lf_readDontUseTitleFolder();
    } catch (const std::exception& e) {
        logLineMarked(vr::format("exception: {}", e.what()));
    }
}
