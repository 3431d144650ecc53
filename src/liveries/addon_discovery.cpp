#include "liveries/addon_discovery.h"

#include <exception>
#include <initializer_list>
#include <string_view>

#include "core/files.h"
#include "core/fmt.h"
#include "core/install_lookup.h"
#include "core/log.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/text_input.h"
#include "core/utils.h"
#include "platform/fs_path.h"
#include "platform/known_folders.h"

namespace fs = std::filesystem;

namespace {

bool lf_containsAny(std::string_view line, std::initializer_list<std::string_view> parts)
{
    for (const auto part : parts) {
        if (line.find(part) != std::string_view::npos) return true;
    }
    return false;
}

bool lf_isPathLine(std::string_view line)
{
    return lf_containsAny(line, {"Path", "PATH", "path"}) && line.find('=') != std::string_view::npos;
}

std::string lf_valueAfterEquals(const std::string& line) { return gf_trim(std::string_view(line).substr(line.find('=') + 1)); }

// Splits the lines into sections, each started by a line holding one of
// `starts`; lines holding one of `dropped` are left out, lines before the first
// section ignored. `handle` gets each section's gathered lines.
template <typename Handle>
void lf_forEachSection(const std::vector<std::string>& lines, std::initializer_list<std::string_view> starts,
                       std::initializer_list<std::string_view> dropped, Handle handle)
{
    std::vector<std::string> section;
    bool open = false;
    for (const auto& line : lines) {
        if (lf_containsAny(line, starts)) {
            if (open) handle(section);
            section.clear();
            open = true;
        } else if (open && !lf_containsAny(line, dropped)) {
            section.push_back(line);
        }
    }
    if (open) handle(section);
}

fs::path lf_configFolder(const fs::path& base, const std::string& version)
{
    return base / "Lockheed Martin" / ("Prepar3D v" + version);
}

std::vector<std::string> lf_readLines(const fs::path& path, bool& ok)
{
    std::vector<std::string> lines;
    lines.reserve(4048);
    ok = gf_readTextFileLines(path, lines);
    if (!ok) logLine(platform::pathText(path) + " not found!");
    return lines;
}

// Logs what is read, then reads it.
std::vector<std::string> lf_readConfigLines(const fs::path& path, bool& ok)
{
    logLine(vr::format("\nReading {} for AI add-on packages...", platform::pathText(path)));
    return lf_readLines(path, ok);
}

}  // namespace

void lf_readAddOnXmlPath(const std::vector<std::string>& lines, std::vector<std::string>& packagePaths)
{
    for (const auto& line : lines) {
        if (!lf_isPathLine(line)) continue;
        std::string value = lf_valueAfterEquals(line);
        logLine(vr::format("path found:{}", value));
        packagePaths.push_back(std::move(value));
    }
}

std::vector<std::string> lf_addOnPackagePaths(const std::vector<std::string>& lines)
{
    std::vector<std::string> packagePaths;
    lf_forEachSection(lines, {"Package", "PACKAGE"}, {"Required", "REQUIRED"},
                      [&](const std::vector<std::string>& section) { lf_readAddOnXmlPath(section, packagePaths); });
    return packagePaths;
}

void lf_readAddOnXmlSimObjects(const std::vector<std::string>& lines, const fs::path& packageFolder,
                               std::vector<fs::path>& folders)
{
    bool armed = false;
    for (const auto& line : lines) {
        if (armed) {
            armed = false;
            const std::string value = gf_extractPath(line);
            if (value.empty() || lf_containsAny(value, {"Lights Reborn", "Aerosoft Geneva Professional"})) continue;
            logLine(vr::format("      Simobjects found:{}", value));
            const fs::path folder = platform::toFsPath(value);
            // The add-on format allows a path relative to the package.
            folders.push_back(folder.is_absolute() ? folder : packageFolder / folder);
        } else if (lf_containsAny(line, {"SimObjects", "SIMOBJECTS", "Simobjects", "simobjects"})) {
            armed = true;
        }
    }
}

void lf_readAddOnSimObjects(const std::vector<std::string>& lines, const fs::path& installFolder,
                            std::vector<fs::path>& folders)
{
    for (const auto& line : lines) {
        if (!lf_isPathLine(line)) continue;
        const std::string value = lf_valueAfterEquals(line);
        if (value.empty()) continue;
        if (line.find("SimObjects") == std::string::npos) {
            folders.push_back(platform::toFsPath(value));
        } else if (!lf_containsAny(line, {"Airplanes", "Avatars", "Rotorcraft", "GroundVehicles", "Boats", "Animals",
                                          "Misc", "Submersible", "Weapons", "Countermeasures"})) {
            folders.push_back(installFolder / platform::toFsPath(value));
        }
    }
}

void lf_readSimObjectsLines(const std::vector<std::string>& lines, const fs::path& installFolder,
                            std::vector<fs::path>& folders)
{
    lf_forEachSection(lines, {"Entry", "ENTRY"}, {"Title", "Required"},
                      [&](const std::vector<std::string>& section) { lf_readAddOnSimObjects(section, installFolder, folders); });
}

void lf_readP3DAddOnsAircraft(std::vector<fs::path>& folders)
{
    const std::size_t before = folders.size();
    try {
        const fs::path path = lf_configFolder(appDataPath(), p3dVersionFromPath()) / "add-ons.cfg";
        bool ok = false;
        const auto lines = lf_readConfigLines(path, ok);
        if (ok) {
            for (const auto& package : lf_addOnPackagePaths(lines)) {
                const fs::path packageFolder = platform::toFsPath(package);
                const fs::path xml = packageFolder / "add-on.xml";
                if (!fs::exists(xml)) continue;
                logLine(vr::format("   exploring {}", platform::pathText(xml)));
                const auto xmlLines = lf_readLines(xml, ok);
                if (ok) lf_readAddOnXmlSimObjects(xmlLines, packageFolder, folders);
            }
        }
        const auto added = static_cast<std::int64_t>(folders.size() - before);
        logLine(vr::format("{} AI add-on package{} found", added, gf_pluralS(added)));
    } catch (const std::exception& e) {
        logLineMarked(vr::format("sys error exception {} in {}, no AI add-on packages found", e.what(),
                                 "lf_readP3DAddOnsAircraft"));
    }
}

void lf_readP3DSimObjectsCfg(std::vector<fs::path>& folders)
{
    const std::string version = p3dVersionFromPath();
    const fs::path programData =
        platform::knownFolder(platform::KnownFolder::ProgramData).value_or(platform::toFsPath("C:\\ProgramData"));
    const fs::path path = lf_configFolder(programData, version) / "simobjects.cfg";
    if (!fs::exists(path)) return;
    bool ok = false;
    const auto lines = lf_readConfigLines(path, ok);
    if (!ok) return;
    const std::size_t before = folders.size();
    lf_readSimObjectsLines(lines, platform::toFsPath(SIM_INSTALL_PATH.get()), folders);
    logLine(vr::format("{} AI add-on packages found", folders.size() - before));
}
