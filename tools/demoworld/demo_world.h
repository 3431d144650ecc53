#pragma once
// The demo world: everything the program needs to run on this machine beside
// the two stand-ins, made from the text sources under demo/ and the demo's data
// files (tools/datafile/demo/*.xml) by the project's own code:
//
//   program/                 the program folder (docs/, input/, airports/)
//     input/dbase.enc, input/AIG-regcodes.enc   encrypted from the XML sources
//   downloads/               what the service stand-in serves as the download site
//     versions.json, dbase.enc, AIG-regcodes.enc
//     P3D/archive/stock/EHAM.xml                the demo airport's stands (made
//                                               here from the stand-in's scene)
//   Prepar3D v5/             the simulator installation: AI aircraft under
//                            SimObjects/VRMT Demo AI (model and texture folders
//                            completed here), an add-on airport BGL under
//                            Addon Scenery/VRMT Demo EHLE/scenery
//   ProgramData/Lockheed Martin/Prepar3D v5/   scenery.cfg, simobjects.cfg
//
// The registry file that names the installation holds an absolute path, so it
// is written where the world is put to use (writeRegistryFile).

#include <filesystem>
#include <string>
#include <vector>

namespace demo {

// The demo airport: the stand-ins' default scene airport.
struct DemoAirport {
    std::string icao = "EHAM";
    double lat = 52.3086;
    double lon = 4.7639;
    double elevationFt = -11;
    double runwayHeadingDeg = 183;
};
inline const DemoAirport demoAirport{};
// The aircraft a role the service stand-in's scene shows (its default).
inline constexpr int kPerRole = 3;

// A stand of the demo airport.
struct DemoStand {
    std::string name;
    double lat = 0;
    double lon = 0;
    double headingDeg = 0;
    double radiusMetres = 0;
    bool cargo = false;
};
// The stands S10..S45: those of the scene's parked and pushing-back aircraft
// (S19..S24 with three a role) where the scene puts them, and more round them.
std::vector<DemoStand> demoStands();

// The add-on airport of the demo scenery (EHLE) and its parking count.
inline constexpr const char* kAddonAirport = "EHLE";
inline constexpr int kAddonStands = 8;

// Builds the world from `sources` (demo/) and `dataSources` (the folder of
// dbase.xml and AIG-regcodes.xml) into `out`, which is emptied first.
// Throws std::runtime_error with what went wrong.
void buildDemoWorld(const std::filesystem::path& sources, const std::filesystem::path& dataSources,
                    const std::filesystem::path& out);

// Writes the .reg file that names `installFolder` (absolute) as the Prepar3D v5
// installation.
void writeRegistryFile(const std::filesystem::path& regFile, const std::filesystem::path& installFolder);

}  // namespace demo
