#include "support/parameters_fixture.h"

#include <fstream>
#include <pugixml.hpp>
#include <random>
#include <sstream>

#include "core/app_services.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "core/startup_globals.h"

void ParametersFixture::SetUp()
{
    std::random_device rd;
    dir_ = std::filesystem::temp_directory_path() / ("vrmt_params_" + std::to_string(rd()));
    std::filesystem::create_directories(dir_);
    resetRunState();
    resetOptionsToDefaults();
    resetStartupGlobals();
    setParametersFile(file());
    gf_openLog(dir_);
}

void ParametersFixture::TearDown()
{
    closeLog();
    resetAppServices();
    setParametersFile({});
    resetOptionsToDefaults();
    resetStartupGlobals();
    resetRunState();
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
}

void ParametersFixture::writeFile(const std::string& text) const
{
    std::ofstream out(file(), std::ios::binary | std::ios::trunc);
    out << text;
}

std::string ParametersFixture::readFile(const std::filesystem::path& path) const
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::pair<std::string, std::optional<std::string>>> ParametersFixture::entries() const
{
    std::vector<std::pair<std::string, std::optional<std::string>>> result;
    pugi::xml_document doc;
    if (!doc.load_file(file().c_str())) return result;
    for (pugi::xml_node p : doc.child("parameters").children("parameter")) {
        pugi::xml_attribute v = p.attribute("value");
        result.emplace_back(p.attribute("name").as_string(),
                            v ? std::optional<std::string>(v.as_string()) : std::nullopt);
    }
    return result;
}

std::optional<std::string> ParametersFixture::valueOf(const std::string& name) const
{
    for (const auto& [n, v] : entries())
        if (n == name) return v ? v : std::optional<std::string>("<no value>");
    return std::nullopt;
}

std::vector<std::string> ParametersFixture::logLines() const
{
    std::vector<std::string> lines;
    std::istringstream in(readFile(dir_ / "Log.txt"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

void ParametersFixture::loadStored() const
{
    const ParameterLists& l = storedParameterLists();
    loadParameters(l.plainBools, l.checkboxes, l.ints, l.controlInts, l.strings, l.controlStrings);
}
