#include "shell/update_check.h"

#include <cstdint>
#include <fstream>
#include <limits>
#include <sstream>
#include <system_error>
#include <vector>

#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "liveries/dbase.h"
#include "liveries/regcodes.h"
#include "traffic_service/downloader.h"

namespace {

const std::filesystem::path& lf_versionsPath()
{
    static const auto* p = new std::filesystem::path("versions.json");
    return *p;
}

// One part of a version entry; empty problem when it is a usable number.
std::string lf_readPart(const nlohmann::json& entry, const char* name, std::int32_t& out)
{
    if (!entry.contains(name)) return vr::format("\"{}\" is missing", name);
    const nlohmann::json& value = entry.at(name);
    if (!value.is_number_integer()) return vr::format("\"{}\" is not an integer", name);
    if (value.is_number_unsigned()) {
        const auto v = value.get<std::uint64_t>();
        if (v > static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max()))
            return vr::format("\"{}\" is too large", name);
        out = static_cast<std::int32_t>(v);
        return {};
    }
    const auto v = value.get<std::int64_t>();
    if (v < 0 || v > std::numeric_limits<std::int32_t>::max()) return vr::format("\"{}\" is out of range", name);
    out = static_cast<std::int32_t>(v);
    return {};
}

bool lf_readWhole(const std::filesystem::path& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    text = s.str();
    return !in.bad();
}

void lf_checkEntry(const nlohmann::json& document, const DataFileEntry& entry)
{
    const RemoteVersion remote = remoteVersionOf(document, entry.key);
    if (remote.state == RemoteVersion::State::Missing) {
        logVersionNotFound(entry.key);
        return;
    }
    if (remote.state == RemoteVersion::State::Invalid) {
        logLineMarked(vr::format("versions.json: the '{}' entry is no version number ({}), ignored", entry.key,
                                 remote.problem));
        return;
    }
    const VersionNumber stored = parseVersion(entry.stored->get());
    std::error_code ec;
    const bool present = std::filesystem::exists(entry.localPath, ec);
    if (stored < remote.version || !present) {
        DownloadCheck check;
        if (entry.problem) check = entry.problem;
        if (downloadDataFile(entry.downloadName, entry.localPath, check)) {
            const std::string text = versionToString(remote.version);
            setStringParameter(entry.stored, text);
            logUpdated(entry.key, text);
        }
        return;
    }
    logUpToDate(entry.key);
}

}  // namespace

VersionsDocument parseVersionsText(const std::string& text)
{
    VersionsDocument result;
    nlohmann::json j = nlohmann::json::parse(text, nullptr, false);
    if (j.is_discarded()) {
        result.problem = "not valid JSON";
    } else if (!j.is_object()) {
        result.problem = "not a JSON object";
    } else {
        result.document = std::move(j);
    }
    return result;
}

RemoteVersion remoteVersionOf(const nlohmann::json& document, const std::string& key)
{
    RemoteVersion r;
    if (!document.is_object() || !document.contains(key)) return r;
    const nlohmann::json& entry = document.at(key);
    r.state = RemoteVersion::State::Invalid;
    if (!entry.is_object()) {
        r.problem = "not an object";
        return r;
    }
    for (auto [name, part] : {std::pair{"major", &r.version.major}, std::pair{"minor", &r.version.minor},
                              std::pair{"patch", &r.version.patch}}) {
        r.problem = lf_readPart(entry, name, *part);
        if (!r.problem.empty()) return r;
    }
    r.state = RemoteVersion::State::Found;
    return r;
}

const std::vector<DataFileEntry>& dataFileEntries()
{
    static const auto* entries = new std::vector<DataFileEntry>{
        {"aig", &AIG_VERSION, aigRegcodesEncPath, aigRegcodesEncFileName.string(), &aigRegcodesFileProblem},
        {"dbase", &DBASE_VERSION, dbaseEncPath, dbaseEncFileName.string(), &dbaseFileProblem},
    };
    return *entries;
}

void checkForUpdates()
{
    const std::string base = downloadBaseUrl();
    if (base.empty()) {
        logLine("No download site is set (VRMT_DOWNLOAD_URL): the data files are not checked for updates");
        return;
    }
    Downloader downloader;
    if (!downloadToFile(downloader, base + "versions.json", lf_versionsPath(), false)) {
        logLineMarked("Downloading version info from my web site failed!");
        return;
    }
    std::string text;
    if (!lf_readWhole(lf_versionsPath(), text)) {
        logLineMarked("Cannot open versions.json");
        return;
    }
    const VersionsDocument versions = parseVersionsText(text);
    if (!versions.problem.empty()) {
        logLineMarked(vr::format("versions.json is {}: the data files are not updated", versions.problem));
        return;
    }
    for (const DataFileEntry& entry : dataFileEntries()) {
        if (anyStopFlag()) return;
        lf_checkEntry(versions.document, entry);
    }
}

void logUpdated(const std::string& key, const std::string& version) { logLine(vr::format("{} updated to {}", key, version)); }

void logUpToDate(const std::string& key) { logLine(vr::format("{} version up-to-date", key)); }

void logVersionNotFound(const std::string& key) { logLine(vr::format("{} version not found", key)); }
