#pragma once
// Where the simulator's AI aircraft add-ons are: the Prepar3D add-on packages of
// the user's add-ons.cfg (each package's add-on.xml names its SimObjects folders)
// and the entries of the machine's simobjects.cfg. The files are read as text
// lines with plain substring tests, as the simulator's own tools write them; every
// path found passes through platform::toFsPath.
//
// Runs on the worker thread during livery initialisation; nothing is kept
// between calls. Both readers only append to the list they are given.

#include <filesystem>
#include <string>
#include <vector>

// Appends the SimObjects folders of the add-on packages of
// <AppData>/Lockheed Martin/Prepar3D vN/add-ons.cfg (N by p3dVersionFromPath).
// Never throws: an error (the version among them) is logged as a warning and
// ends the reading, keeping what was appended.
void lf_readP3DAddOnsAircraft(std::vector<std::filesystem::path>& folders);

// Appends the folders of the entries of <ProgramData>/Lockheed Martin/Prepar3D
// vN/simobjects.cfg, the simulator's ten default categories left out; a value
// holding "SimObjects" is taken under SIM_INSTALL_PATH. A missing file adds
// nothing. Throws qxv::UserErrorException 77 when the install path names no
// version, and the file system's errors.
void lf_readP3DSimObjectsCfg(std::vector<std::filesystem::path>& folders);

// The steps, on lines already read (also for fuzzing).
// The "Path" values of one add-ons.cfg package section.
void lf_readAddOnXmlPath(const std::vector<std::string>& lines, std::vector<std::string>& packagePaths);
// The package paths of a whole add-ons.cfg.
std::vector<std::string> lf_addOnPackagePaths(const std::vector<std::string>& lines);
// The SimObjects folders of one add-on.xml of the package in `packageFolder`
// (a relative <Path> is taken under it).
void lf_readAddOnXmlSimObjects(const std::vector<std::string>& lines, const std::filesystem::path& packageFolder,
                               std::vector<std::filesystem::path>& folders);
// The accepted "Path" values of one simobjects.cfg entry section.
void lf_readAddOnSimObjects(const std::vector<std::string>& lines, const std::filesystem::path& installFolder,
                            std::vector<std::filesystem::path>& folders);
// The folders of a whole simobjects.cfg.
void lf_readSimObjectsLines(const std::vector<std::string>& lines, const std::filesystem::path& installFolder,
                            std::vector<std::filesystem::path>& folders);
