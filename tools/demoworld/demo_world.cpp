#include "demo_world.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "bglbuilder/bgl_builder.h"
#include "liveries/data_crypto.h"
#include "scene.h"

namespace demo {
namespace {

namespace fs = std::filesystem;

constexpr double kDeg = 3.14159265358979323846 / 180.0;

std::string readFile(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + p.string());
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const fs::path& p, const std::string& bytes)
{
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + p.string());
}

// A point `nm` nautical miles from the airport along `bearingDeg`, on the flat
// earth the service stand-in's scene uses.
void offset(double bearingDeg, double nm, double& lat, double& lon)
{
    lat = demoAirport.lat + nm / 60.0 * std::cos(bearingDeg * kDeg);
    lon = demoAirport.lon + nm / 60.0 * std::sin(bearingDeg * kDeg) / std::cos(demoAirport.lat * kDeg);
}

double wrap360(double d)
{
    d = std::fmod(d, 360.0);
    return d < 0 ? d + 360.0 : d;
}

std::string standFileText(const std::vector<DemoStand>& stands)
{
    std::string t =
        "<?xml version=\"1.0\"?>\n<meta>\n  <info name=\"author\" value=\"VRMT_P3D\"/><info name=\"version\" "
        "value=\"11.0.3\"/>\n  <info name=\"date\" value=\"Dec 1, 2026\"/><info name=\"P3D\" value=\"v5/v6\"/>\n"
        "</meta>\n<parameters>\n  <parameter name=\"airport_name\" value=\"Amsterdam Schiphol (demo)\"/>"
        "<parameter name=\"publisher\" value=\"unknown\"/>\n  <parameter name=\"altitude\" value=\"-11\"/>"
        "<parameter name=\"num_parkpos\" value=\"" +
        std::to_string(stands.size()) + "\"/>\n</parameters>\n<parkpositions>\n";
    for (const auto& s : stands) {
        char line[256];
        std::snprintf(line, sizeof line,
                      "  <parkpos id=\"%s\" latitude=\"%.6f\" longitude=\"%.6f\" heading=\"%.1f\" radius=\"%.1f\" "
                      "cargo=\"%s\" ramp=\"false\"/>\n",
                      s.name.c_str(), s.lat, s.lon, s.headingDeg, s.radiusMetres, s.cargo ? "true" : "false");
        t += line;
    }
    return t + "</parkpositions>\n";
}

// Copies the source tree as it is.
void copyTree(const fs::path& from, const fs::path& to)
{
    for (const auto& e : fs::recursive_directory_iterator(from)) {
        const fs::path target = to / fs::relative(e.path(), from);
        if (e.is_directory())
            fs::create_directories(target);
        else if (e.is_regular_file())
            writeFile(target, readFile(e.path()));
    }
}

// An aircraft folder as the simulator has it: the model folder, one texture
// folder per section and the flight model its sections name.
void completeAircraftFolder(const fs::path& cfg)
{
    const fs::path folder = cfg.parent_path();
    fs::create_directories(folder / "model");
    std::istringstream lines(readFile(cfg));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.rfind("texture=", 0) == 0) fs::create_directories(folder / ("texture." + line.substr(8)));
        if (line.rfind("sim=", 0) == 0) writeFile(folder / (line.substr(4) + ".air"), "");
    }
}

}  // namespace

std::vector<DemoStand> demoStands()
{
    std::vector<DemoStand> stands;
    const int parkedFirst = 3 * kPerRole;  // roles: approach, landing, taxi, parked, pushback, departure
    for (int k = 0; k < kPerRole; ++k) {
        const int i = parkedFirst + k;
        DemoStand s;
        s.name = "S" + std::to_string(10 + i);
        offset(40.0 * i, 0.4 + 0.05 * (i % 5), s.lat, s.lon);
        s.headingDeg = wrap360(40.0 * i + 180.0);
        s.radiusMetres = 36.0;
        stands.push_back(s);
    }
    for (int k = 0; k < kPerRole; ++k) {
        const int i = parkedFirst + kPerRole + k;
        DemoStand s;
        s.name = "S" + std::to_string(10 + i);
        const double bearing = standin::standBearingClearOfRunway(40.0 * i + 20.0, 0.45, demoAirport.runwayHeadingDeg);
        offset(bearing, 0.45, s.lat, s.lon);
        s.headingDeg = wrap360(bearing + 180.0);
        s.radiusMetres = 36.0;
        stands.push_back(s);
    }
    // More stands on two rings, every 15 degrees, clear of the scene's own and
    // of its runway.
    int number = 10 + parkedFirst + 2 * kPerRole;
    for (int ring = 0; ring < 2; ++ring) {
        const double nm = ring == 0 ? 0.3 : 0.7;
        for (int b = 0; b < 24; b += 2) {
            DemoStand s;
            s.name = "S" + std::to_string(number++);
            const double bearing =
                standin::standBearingClearOfRunway(7.5 + 15.0 * b + ring * 15.0, nm, demoAirport.runwayHeadingDeg);
            offset(bearing, nm, s.lat, s.lon);
            s.headingDeg = wrap360(bearing + 180.0);
            s.radiusMetres = ring == 0 ? 30.0 : 40.0;
            s.cargo = ring == 1 && b % 6 == 0;
            stands.push_back(s);
        }
    }
    return stands;
}

void buildDemoWorld(const fs::path& sources, const fs::path& dataSources, const fs::path& out)
{
    if (!fs::is_directory(sources)) throw std::runtime_error("no demo sources at " + sources.string());
    fs::remove_all(out);
    copyTree(sources, out);

    for (const char* name : {"dbase", "AIG-regcodes"}) {
        const std::string enc = gf_encryptText(DataDecryptionKey, readFile(dataSources / (std::string(name) + ".xml")));
        writeFile(out / "program" / "input" / (std::string(name) + ".enc"), enc);
        writeFile(out / "downloads" / (std::string(name) + ".enc"), enc);
    }

    writeFile(out / "downloads" / "P3D" / "archive" / "stock" / (demoAirport.icao + ".xml"), standFileText(demoStands()));

    for (const auto& e : fs::recursive_directory_iterator(out / "Prepar3D v5" / "SimObjects"))
        if (e.is_regular_file() && e.path().filename() == "aircraft.cfg") completeAircraftFolder(e.path());

    auto airport = bglb::sampleAirport(kAddonAirport, kAddonStands, true, 52.4603, 5.5272);
    const fs::path bgl = out / "Prepar3D v5" / "Addon Scenery" / "VRMT Demo EHLE" / "scenery" / "EHLE_AD.bgl";
    fs::create_directories(bgl.parent_path());
    if (!bglb::sampleFile({airport}).write(bgl)) throw std::runtime_error("cannot write " + bgl.string());
}

void writeRegistryFile(const fs::path& regFile, const fs::path& installFolder)
{
    std::string path = fs::absolute(installFolder).string();
    std::string escaped;
    for (char c : path) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c;
    }
    writeFile(regFile, "Windows Registry Editor Version 5.00\r\n\r\n"
                       "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\r\n"
                       "\"SetupPath\"=\"" + escaped + "/\"\r\n");
}

}  // namespace demo
