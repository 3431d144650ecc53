#include "liveries/cfg_scanner.h"

#include <algorithm>
#include <charconv>
#include <exception>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/task_slots.h"
#include "core/text_input.h"
#include "core/utils.h"
#include "liveries/cfg_matchers.h"
#include "liveries/dbase.h"
#include "liveries/regcodes.h"
#include "platform/fs_path.h"

namespace fs = std::filesystem;

namespace {

// ---- what the scan asks of the aircraft database and the don't-use titles ----

bool lf_knownAirline(const std::string& code) { return gf_isIcaoAirline(code); }
bool lf_knownType(const std::string& type) { return dbaseIsKnownType(type); }
std::optional<std::string> lf_typeFix(const std::string& wrong)
{
    const auto it = TypeFixes.find(wrong);
    if (it == TypeFixes.end()) return std::nullopt;
    return it->second;
}
bool lf_isHeavy(const std::string& type) { return dbaseTypeCategory(type) == AcCategory::Heavy; }
std::optional<DbaseRecord> lf_record(const std::string& registration) { return dbaseFindRecord(registration); }
std::string lf_shortCode(const std::string& title) { return findShortCode(title).value_or(std::string()); }
bool lf_dontUse(const std::string& title)
{
    return std::find(DontUseTitles.begin(), DontUseTitles.end(), title) != DontUseTitles.end();
}

// ---- small helpers ----

// A name from the file as a path piece, its UTF-8 bytes kept.
fs::path lf_u8path(std::string_view text)
{
    return fs::path(std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

// The line without a trailing CR (UTF-16 lines keep theirs).
std::string lf_withoutCr(std::string_view line)
{
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return std::string(line);
}

bool lf_isBlankOrComment(const std::string& line)
{
    return line.empty() || line == "\r" || line.starts_with("//");
}

bool lf_contains(std::string_view text, std::string_view part) { return text.find(part) != std::string_view::npos; }

std::string lf_upper(std::string text)
{
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// The registration items of an atc_id value: all must be non-empty, at most 12
// characters and free of '*'. Nothing when one fails.
std::optional<std::vector<std::string>> lf_checkAtcIdList(const std::string& value)
{
    auto items = gf_tokenize(value, ',');
    for (const auto& item : items) {
        if (item.empty() || item.size() > 12 || lf_contains(item, "*")) return std::nullopt;
    }
    return items;
}

// The model of a code found in a file: known, fixed (a Fixes line) or refused
// (an invalid-model line, empty result).
std::string lf_checkModelCode(const std::string& code, const std::string& pathText, ScanReportLines& reports)
{
    if (lf_knownType(code)) return code;
    if (auto fixed = lf_typeFix(code)) {
        reports.add(ScanReport::Fixes, vr::format("Model fix: {} found in {} changed into {}", code, pathText, *fixed));
        return *fixed;
    }
    reports.add(ScanReport::InvalidAircraftCodes, vr::format("{:16} in {}", code, pathText));
    return {};
}

void lf_addReport12(ScanReportLines& reports, const std::string& code, const std::string& pathText,
                    const std::string& header)
{
    reports.add(ScanReport::InvalidAirlineCodes, vr::format("{:12} in {} ", code, pathText) + header);
}

std::string lf_trimIvaoCode(std::string code)
{
    if (!code.empty() && code.back() == 'w') {
        code.pop_back();
    } else if (code == "B744F" || code == "T154M") {
        code.pop_back();
    } else if (code == "T154B2") {
        code.resize(code.size() - 2);
    } else if (code == "GLID_SH") {
        code.resize(code.size() - 3);
    } else if (code == "GLID_A13" || code == "GLID_A25" || code == "GLID_KA6" || code == "GLID_KA8" ||
               code == "GLID_L13") {
        code.resize(code.size() - 4);
    }
    return code;
}

// Where the walk over a section's lines ended.
enum class SectionWalk { Done, Aborted, Dropped };

// What the key lines of a section gave.
struct SectionKeys {
    std::string title;
    std::string airline;
    std::string types;
    std::string registration;
    std::string model;
    std::string sim;
    std::string texture;
    bool modelSet = false;
    bool simSet = false;
    bool textureSet = false;
};

// The model, sim and texture lines: the first of each counts.
void lf_readFolderKeys(const std::string& line, SectionKeys& keys, std::string& value)
{
    if (!keys.modelSet && lf_readModelKey(line, value)) {
        keys.model = value;
        keys.modelSet = true;
    } else if (!keys.simSet && lf_readSimKey(line, value)) {
        keys.sim = value;
        keys.simSet = true;
    } else if (!keys.textureSet && lf_readTextureKey(line, value)) {
        keys.texture = value;
        keys.textureSet = true;
    }
}

fs::path lf_suffixFolder(const fs::path& folder, const char* name, const std::string& suffix)
{
    // "model." names the folder "model" on the simulator's platform.
    return suffix.empty() ? folder / name : folder / lf_u8path(std::string(name) + "." + suffix);
}

bool lf_isDirectory(const fs::path& p)
{
    std::error_code ec;
    return fs::is_directory(p, ec);
}

bool lf_isRegularFile(const fs::path& p)
{
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// The lines of a section without its trailing empty and comment lines.
std::span<const std::string> lf_trimSection(std::span<const std::string> section)
{
    std::size_t n = section.size();
    while (n > 0 && lf_isBlankOrComment(section[n - 1])) --n;
    return section.first(n);
}

// The walk over a section's lines: the first test that applies decides for each
// line. The IVAO variant reads no airline code, keeps ';' in atc_id values and
// words two of its lines differently.
SectionWalk lf_walkSection(const CfgFileContext& file, std::span<const std::string> section,
                           const std::string& header, bool ivao, SectionKeys& keys)
{
    ScanReportLines& reports = *file.reports;
    const auto abortWith = [&](std::string line) {
        reports.add(ScanReport::IncompleteSections, std::move(line));
        return SectionWalk::Aborted;
    };
    std::string value;
    for (const auto& line : section) {
        if (keys.title.empty()) {
            if (lf_readTitleKey(line, value)) {
                keys.title = gf_trim(value);
                continue;
            }
        } else if (lf_readTitleKey(line, value)) {
            return abortWith(ivao ? file.folderText + " " + header + " has more than one title key"
                                  : vr::format("{} {} has more than one title key", file.folderText, header));
        }
        if (!ivao) {
            if (keys.airline.empty()) {
                if (lf_readAtcParkingCodesKey(line, value)) {
                    const auto items = gf_tokenize(value, ',');
                    std::string code = items.empty() ? std::string() : items.front();
                    gf_trimSplit(code);
                    if (code.size() == 4 && (code[3] == 'X' || code[3] == 'C')) code.resize(3);
                    if (lf_knownAirline(code)) {
                        keys.airline = code;
                    } else if (code == "RFO") {
                        return SectionWalk::Dropped;
                    } else {
                        lf_addReport12(reports, code, file.pathText, header);
                    }
                    continue;
                }
            } else if (lf_contains(line, "atc_parking_codes")) {
                return abortWith(vr::format("{} {} has more than one atc_parking_codes key", file.folderText, header));
            }
        }
        if (keys.types.empty()) {
            if (lf_readAtcParkingTypesKey(line, value)) {
                gf_trimSplit(value);
                keys.types = lf_upper(value);
                continue;
            }
        } else if (lf_contains(line, "atc_parking_types")) {
            return abortWith(ivao ? file.folderText + " " + header + " has more than one atc_parking_types key"
                                  : vr::format("{} {} has more than one atc_parking_types key", file.folderText, header));
        }
        if (keys.registration.empty()) {
            if (lf_readAtcIdKey(line, value)) {
                const auto items = lf_checkAtcIdList(ivao ? value : value.substr(0, value.find(';')));
                if (!items) {
                        reports.add(ScanReport::IncompleteSections,
                                ivao ? vr::format("invalid atc_id={} in {}", value, keys.title)
                                     : vr::format("invalid atc_id={} in: {}", value, keys.title));
                } else if (items->size() == 1) {
                    keys.registration = items->front();
                }
                continue;
            }
        } else if (lf_contains(line, "atc_id=")) {
            return abortWith(vr::format("{}, {}, has more than one atc_id key", file.folderText, header));
        }
        lf_readFolderKeys(line, keys, value);
    }
    return SectionWalk::Done;
}

std::vector<LiveryCandidate> lf_processNormal(const CfgFileContext& file, std::span<const std::string> lines)
{
    ScanReportLines& reports = *file.reports;
    const std::string header = lf_withoutCr(lines.empty() ? std::string_view() : std::string_view(lines[0]));
    const auto incomplete = [&](std::string line) { reports.add(ScanReport::IncompleteSections, std::move(line)); };
    SectionKeys keys;
    const SectionWalk walk = lf_walkSection(file, lf_trimSection(lines), header, false, keys);

    if (keys.airline.empty() && walk != SectionWalk::Dropped) {
        incomplete(vr::format("{} {} icao_airline is missing, or it has invalid info ", file.pathText, header));
    }
    if (walk != SectionWalk::Done) return {};

    const fs::path modelFolder = lf_suffixFolder(file.folder, "model", keys.model);
    if (!lf_isDirectory(modelFolder) || !lf_isDirectory(lf_suffixFolder(file.folder, "texture", keys.texture)) ||
        !lf_isRegularFile(file.folder / lf_u8path(keys.sim + ".air"))) {
        incomplete(platform::pathText(modelFolder) + " or related path does not exist: " + header);
        return {};
    }
    if (keys.title.empty()) {
        incomplete(vr::format("{} {} misses title", file.folderText, header));
        return {};
    }
    if (lf_dontUse(keys.title)) return {};
    if (keys.airline == "ZZZ") keys.registration.clear();
    if (keys.airline.empty()) {
        if (keys.registration.empty()) {
            if (lf_isHeavy(file.model)) {
                incomplete(vr::format("'{}' '{}' has no airline and no regcode info", file.folderText, header));
                return {};
            }
            keys.airline = "PVT";
            keys.registration = lf_shortCode(keys.title);
        } else if (auto record = lf_record(keys.registration)) {
            keys.airline = record->airline;
        } else {
            if (lf_isHeavy(file.model)) {
                incomplete(vr::format("'{}' '{}' has no airline and regcode not in dbase", file.folderText, header));
                return {};
            }
            keys.airline = "PVT";
        }
    }
    const bool cargo = lf_contains(keys.types, "CARGO");
    std::vector<LiveryCandidate> out;
    out.push_back(LiveryCandidate{file.folderNumber, keys.airline, file.model, keys.title, keys.registration, !cargo,
                                  file.folderText, header, false});
    return out;
}

std::vector<LiveryCandidate> lf_processIvao(const CfgFileContext& file, std::span<const std::string> lines)
{
    ScanReportLines& reports = *file.reports;
    const std::string header = lf_withoutCr(lines.empty() ? std::string_view() : std::string_view(lines[0]));
    const auto incomplete = [&](std::string line) { reports.add(ScanReport::IncompleteSections, std::move(line)); };
    const std::string prefix = file.folderText + " " + header;

    SectionKeys keys;
    if (lf_walkSection(file, lf_trimSection(lines), header, true, keys) != SectionWalk::Done) return {};

    bool missing = false;
    const auto check = [&](const fs::path& p, bool exists) {
        if (exists) return;
        incomplete(platform::pathText(p) + " " + header + " does not exist");
        missing = true;
    };
    const fs::path modelFolder = lf_suffixFolder(file.folder, "model", keys.model);
    check(modelFolder, lf_isDirectory(modelFolder));
    const fs::path airFile = file.folder / lf_u8path(keys.sim + ".air");
    check(airFile, lf_isRegularFile(airFile));
    const fs::path textureFolder = lf_suffixFolder(file.folder, "texture", keys.texture);
    check(textureFolder, lf_isDirectory(textureFolder));
    if (missing) return {};
    if (keys.title.empty()) {
        incomplete(prefix + " misses title");
        return {};
    }
    if (lf_dontUse(keys.title)) return {};

    std::string airline;
    if (const auto code = lf_titleAirlineCode(keys.title)) {
        airline = std::string(*code);
        if (!lf_knownAirline(airline)) {
            lf_addReport12(reports, airline, file.pathText, header);
            return {};
        }
        if (airline == "ZZZ") keys.registration.clear();
    } else if (keys.registration.empty()) {
        incomplete(prefix + " misses airlinecode in title: " + keys.title + ", and no regcode");
        return {};
    } else if (auto record = lf_record(keys.registration)) {
        airline = record->airline;
    } else {
        incomplete(prefix + " misses airlinecode in title: " + keys.title + ", and regcode unknown " +
                   keys.registration);
        return {};
    }
    std::vector<LiveryCandidate> out;
    out.push_back(LiveryCandidate{file.folderNumber, airline, file.model, keys.title, keys.registration, true,
                                  file.folderText, header, true});
    return out;
}

template <typename Process>
std::vector<LiveryCandidate> lf_guardSection(const CfgFileContext& file, std::span<const std::string> section,
                                             Process process)
{
    try {
        return process(file, section);
    } catch (const std::exception& e) {
        const std::string text = e.what();
        logLine(vr::format("Exception in lf_procesFltSimSection: {}, file: {}", text, file.pathText));
        throw std::runtime_error(text);
    }
}

// Whether the line ends the section before it without starting one.
bool lf_endsSection(const std::string& line, bool ivao)
{
    if (ivao) return lf_contains(line, "[");
    return lf_contains(std::string_view(line).substr(0, 6), "[");
}

void lf_cutSections(const CfgFileContext& file, const std::vector<std::string>& lines,
                    std::vector<LiveryCandidate>& out, std::stop_token stop, bool ivao)
{
    const auto process = [&](std::size_t from, std::size_t to) {
        auto found = ivao ? lf_procesIvaoFltSimSection(file, std::span(lines).subspan(from, to - from))
                          : lf_procesFltSimSection(file, std::span(lines).subspan(from, to - from));
        for (auto& c : found) out.push_back(std::move(c));
    };
    bool inSection = false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!lf_readFltsimHeader(lines[i]).empty()) {
            if (inSection) process(start, i);
            if (stop.stop_requested()) return;
            start = i;
            inSection = true;
        } else if (inSection && lf_endsSection(lines[i], ivao)) {
            process(start, i);
            if (stop.stop_requested()) return;
            inSection = false;
        }
    }
    if (inSection) process(start, lines.size());
}

std::vector<std::string> lf_readLines(int charset, const fs::path& path, bool& ok)
{
    std::vector<std::string> lines;
    lines.reserve(4048);
    ok = gf_readExtTextFileToStringVector(charset, path, lines);
    return lines;
}

CfgScanResult lf_scanNormal(std::uint32_t folderNumber, const fs::path& path, std::stop_token stop)
{
    CfgScanResult result;
    std::error_code ec;
    if (!fs::exists(path, ec)) return result;
    CfgFileContext file{folderNumber, {}, platform::pathText(path), path.parent_path(), {}, &result.reports};
    file.folderText = platform::pathText(file.folder);
    const int charset = gf_detectCharset(path);
    if (charset == charsetNoneFound) return result;
    bool ok = false;
    const auto lines = lf_readLines(charset, path, ok);
    if (!ok) return result;
    if (!lf_checkFltsimNumbers(lines, file.pathText, result.reports)) return result;
    file.model = lf_readGeneralAtcModel(file.pathText, lines, result.reports);
    if (file.model.empty()) return result;
    lf_searchFltsimSections(file, lines, result.liveries, stop);
    return result;
}

CfgScanResult lf_scanIvao(std::uint32_t folderNumber, const fs::path& path, std::stop_token stop)
{
    CfgScanResult result;
    CfgFileContext file{folderNumber, {}, platform::pathText(path), path.parent_path(), {}, &result.reports};
    file.model = lf_fixIvaoModel(path, result.reports);
    if (file.model.empty()) return result;
    file.folderText = platform::pathText(file.folder);
    const int charset = gf_detectCharset(path);
    if (charset == charsetNoneFound) {
        logLineMarked(vr::format("No character set found for {}", file.pathText));
        return result;
    }
    bool ok = false;
    const auto lines = lf_readLines(charset, path, ok);
    if (!ok) return result;
    if (!lf_checkFltsimNumbers(lines, file.pathText, result.reports)) return result;
    lf_searchIvaoSections(file, lines, result.liveries, stop);
    return result;
}

}  // namespace

CfgScanResult lf_scanCfgFile(std::uint32_t folderNumber, const fs::path& path, bool ivao, std::stop_token stop)
{
    try {
        return ivao ? lf_scanIvao(folderNumber, path, stop) : lf_scanNormal(folderNumber, path, stop);
    } catch (const std::exception& e) {
        logLine(vr::format("Exception in {} {}: {}", ivao ? "lf_searchIvaoLiveriesinFile" : "lf_searchLiveriesinFile",
                           platform::pathText(path), e.what()));
        throw;
    }
}

CfgScanResult lf_searchLiveriesinFile(std::uint32_t folderNumber, const fs::path& path, std::stop_token stop)
{
    const TaskSlotRelease slot;
    return lf_scanCfgFile(folderNumber, path, false, stop);
}

CfgScanResult lf_searchIvaoLiveriesinFile(std::uint32_t folderNumber, const fs::path& path, std::stop_token stop)
{
    const TaskSlotRelease slot;
    return lf_scanCfgFile(folderNumber, path, true, stop);
}

bool lf_checkFltsimNumbers(const std::vector<std::string>& lines, const std::string& pathText,
                           ScanReportLines& reports)
{
    bool anyHeader = false;
    std::uint32_t largest = 0;
    for (const auto& line : lines) {
        const std::string n = lf_readFltsimHeader(line);
        if (n.empty()) continue;
        anyHeader = true;
        std::uint32_t number = 0;
        const auto [end, error] = std::from_chars(n.data(), n.data() + n.size(), number);
        if (error != std::errc() || end != n.data() + n.size()) {
            logLineMarked(vr::format("fltsim num {} incorrect", line));
            return false;
        }
        largest = std::max(largest, number);
    }
    if (!anyHeader) {
        reports.add(ScanReport::NoFltsimSection, pathText);
        return true;
    }
    if (largest > 10000) {
        reports.add(ScanReport::InvalidAircraftCfgFiles,
                    pathText + " contains a [fltsim.x] section with a number < 0 or > " + "10000");
        return false;
    }
    return true;
}

std::string lf_readGeneralAtcModel(const std::string& pathText, const std::vector<std::string>& lines,
                                   ScanReportLines& reports)
{
    std::string value;
    for (const auto& line : lines) {
        if (lf_readAtcModelKey(line, value)) return lf_checkModelCode(value, pathText, reports);
    }
    reports.add(ScanReport::InvalidAircraftCfgFiles, "Line atc_model= is missing in [General] section of " + pathText);
    return {};
}

std::string lf_fixIvaoModel(const fs::path& path, ScanReportLines& reports)
{
    const std::string pathText = platform::pathText(path);
    const auto code = lf_matchIvaoPath(pathText);
    if (!code) {
        reports.add(ScanReport::InvalidAircraftCodes, vr::format("{:16} in {}", "  ", pathText));
        return {};
    }
    return lf_checkModelCode(lf_trimIvaoCode(*code), pathText, reports);
}

void lf_searchFltsimSections(const CfgFileContext& file, const std::vector<std::string>& lines,
                             std::vector<LiveryCandidate>& out, std::stop_token stop)
{
    lf_cutSections(file, lines, out, stop, false);
}

void lf_searchIvaoSections(const CfgFileContext& file, const std::vector<std::string>& lines,
                           std::vector<LiveryCandidate>& out, std::stop_token stop)
{
    lf_cutSections(file, lines, out, stop, true);
}

std::vector<LiveryCandidate> lf_procesFltSimSection(const CfgFileContext& file, std::span<const std::string> section)
{
    return lf_guardSection(file, section, lf_processNormal);
}

std::vector<LiveryCandidate> lf_procesIvaoFltSimSection(const CfgFileContext& file,
                                                        std::span<const std::string> section)
{
    return lf_guardSection(file, section, lf_processIvao);
}

std::list<Livery> lf_acceptCandidates(std::vector<LiveryCandidate>& candidates, ScanReportLines& reports)
{
    std::list<Livery> accepted;
    for (auto& c : candidates) {
        Livery livery = lf_makeLivery(c.folderNumber, c.airline, c.model, c.notCargo, c.title, c.atcId);
        // A candidate always has a title, so an empty one means "handed out before".
        if (!livery.title.empty()) {
            accepted.push_back(std::move(livery));
        } else if (c.ivao) {
            reports.add(ScanReport::IncompleteSections, c.folder + " " + c.header + " title already exists: " + c.title);
        } else {
            reports.add(ScanReport::IncompleteSections,
                        vr::format("{} {} title '{}' already exists", c.folder, c.header, c.title));
        }
    }
    candidates.clear();
    return accepted;
}
