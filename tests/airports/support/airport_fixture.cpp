#include "support/airport_fixture.h"

#include <fstream>
#include <random>
#include <sstream>

#include "airports/airport_list.h"
#include "airports/airport_load.h"
#include "airports/stand_file.h"
#include "core/log.h"
#include "core/parameters.h"
#include "core/random.h"
#include "core/run_state.h"
#include "core/startup_globals.h"
#include "traffic_service/traffic_reader.h"

namespace {

void lf_resetAirportState()
{
    clearStands();
    clearCurrentParkAirport();
    airportFileLoaded = false;
    rtTrafficWeek = 0;
    handmadeMark = false;
    statusPanel().reset();
    resetAirportList();
    resetOptionsToDefaults();
    resetStartupGlobals();
    trafficReader().setReferenceElevation(std::nullopt);
}

}  // namespace

void AirportFixture::SetUp()
{
    std::random_device rd;
    root_ = std::filesystem::temp_directory_path() / ("vrmt_airports_" + std::to_string(rd()));
    for (const char* folder : {"airports/learned/stock", "airports/learned/thirdparty", "airports/learned/simaddon",
                               "airports/my_thirdparty", "airports/my_ORBX", "input"})
        std::filesystem::create_directories(root_ / folder);
    previousDir_ = std::filesystem::current_path();
    std::filesystem::current_path(root_);
    clock_ = std::make_unique<platform::ScopedClock>(std::make_shared<platform::VirtualClock>());
    seedRandomEngine(7);
    resetRunState();
    lf_resetAirportState();
    setParametersFile(root_ / "parameters.xml");
    gf_openLog(root_);
    setOptionView(&view);
    for (ParameterControl* c : std::initializer_list<ParameterControl*>{
             &parking_percentage, &MAX_LIVE_SEL, &RANGE, &MAX_FIT, &MAX_FIT_FL, &FLUSH_STATIC, &LEARN_SOFT,
             &AUTO_RANGE, &PARK_FAKE, &WEEK, &PARK_SOFT, &INITIAL_LOAD_ONLY, &RT_PARKTRAFFIC_ONLY})
        c->setWindow(&view);
    setCurrentParkAirport({.code = "EHAM", .iata = "AMS", .lat = 52.3, .lon = 4.76, .elevationFt = 0.0});
}

void AirportFixture::TearDown()
{
    setOptionView(nullptr);
    closeLog();
    lf_resetAirportState();
    setParametersFile({});
    resetRunState();
    clock_.reset();
    std::filesystem::current_path(previousDir_);
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
}

void AirportFixture::write(const std::filesystem::path& relative, const std::string& text) const
{
    const std::filesystem::path p = root_ / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string AirportFixture::read(const std::filesystem::path& relative) const
{
    std::ifstream in(root_ / relative, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool AirportFixture::exists(const std::filesystem::path& relative) const
{
    return std::filesystem::exists(root_ / relative);
}

std::size_t AirportFixture::topLevelFileCount() const
{
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(root_)) files += e.is_regular_file();
    return files;
}

std::vector<std::string> AirportFixture::logLines() const
{
    std::vector<std::string> lines;
    std::istringstream in(read("Log.txt"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    if (!lines.empty()) lines.erase(lines.begin());
    return lines;
}

std::vector<std::string> AirportFixture::logLinesWith(const std::string& text) const
{
    std::vector<std::string> out;
    for (const std::string& l : logLines())
        if (l.find(text) != std::string::npos) out.push_back(l);
    return out;
}

std::string metaBlock(bool author, bool date, bool version)
{
    std::string s = "<meta>\n";
    if (author) s += "  <info name=\"author\" value=\"VRMT_P3D\"/>\n";
    if (version) s += "  <info name=\"version\" value=\"11.0.3\"/>\n";
    if (date) s += "  <info name=\"date\" value=\"Nov 14, 2023\"/>\n";
    s += "  <info name=\"copyright\" value=\"c\"/>\n</meta>\n";
    return s;
}

std::string parametersBlock(const std::vector<std::pair<std::string, std::string>>& entries)
{
    std::string s = "<parameters>\n";
    for (const auto& [name, value] : entries)
        s += "  <parameter name=\"" + name + "\" value=\"" + value + "\"/>\n";
    return s + "</parameters>\n";
}

std::string standFileText(const std::vector<std::pair<std::string, std::string>>& parameters,
                          const std::vector<std::string>& parkpos, bool withMeta)
{
    std::string s = "<?xml version=\"1.0\"?>\n";
    if (withMeta) s += metaBlock();
    s += parametersBlock(parameters);
    s += "<parkpositions>\n";
    for (const std::string& p : parkpos) s += "  " + p + "\n";
    return s + "</parkpositions>\n";
}

std::string parkposText(const std::string& id, double lat, double lon, double radiusMetres, const std::string& extra,
                        const std::string& children)
{
    std::string s = vr::format("<parkpos id=\"{}\" latitude=\"{:.6f}\" longitude=\"{:.6f}\" heading=\"90.0\" "
                               "radius=\"{:.1f}\" cargo=\"false\" ramp=\"false\"{}{}",
                               id, lat, lon, radiusMetres, extra.empty() ? "" : " ", extra);
    if (children.empty()) return s + "/>";
    return s + ">" + children + "</parkpos>";
}
