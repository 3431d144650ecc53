#pragma once
// A fake Prepar3D v5 installation on disk for the airport scan: the machine's
// ProgramData with scenery.cfg and scenery_add-ons.xml, a .reg file naming the
// install folder, the install folder on drive C with stock scenery (to be
// ignored) and an add-on folder given relative, add-on folders on drive D
// (active, inactive, missing, ORBX, "statics", "_heliports", ".Bgl", one ICAO in
// two files), and an empty program folder to run from.
//
// Layout below the root:
//   ProgramData/Lockheed Martin/Prepar3D v5/{scenery.cfg, scenery_add-ons.xml}
//   drives/C/Program Files/Lockheed Martin/Prepar3D v5/...   (the install folder)
//   drives/D/...                                              (add-on folders)
//   registry.reg, program/
// Point VRMT_PROGRAMDATA, VRMT_DRIVE_ROOT and VRMT_REGISTRY_FILE at them.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace bglb {

struct FakeInstallationOptions {
    bool utf16SceneryCfg = false;  // scenery.cfg in UTF-16LE with a byte-order mark
};

struct FakeInstallation {
    std::filesystem::path root;
    std::filesystem::path programData;   // for VRMT_PROGRAMDATA
    std::filesystem::path driveRoot;     // for VRMT_DRIVE_ROOT
    std::filesystem::path registryFile;  // for VRMT_REGISTRY_FILE
    std::filesystem::path programFolder; // the working folder
    std::filesystem::path sceneryCfg;
    std::filesystem::path sceneryAddOns;
    std::string installPath;  // "C:\Program Files\Lockheed Martin\Prepar3D v5" (SIM_INSTALL_PATH)

    // The data tables the scan reads, as the fixture expects them: publisher
    // alias groups (publisher first), third-party airport lists ("EHAM120"),
    // and the airports of the simulator's own add-on publisher.
    std::vector<std::vector<std::string>> publisherAliases;
    std::map<std::string, std::vector<std::string>> thirdPartyAirports;
    std::vector<std::string> simAddonAirports;
};

// Where the installation below `root` lies and the tables it expects; writes nothing.
FakeInstallation describeFakeInstallation(const std::filesystem::path& root);
// Writes the installation below `root` (created when missing).
FakeInstallation writeFakeInstallation(const std::filesystem::path& root, const FakeInstallationOptions& options = {});

}  // namespace bglb
