// vrmt-airportscandemo: runs the airport scan over a fake Prepar3D installation
// written by vrmt-bglbuild, from its program folder, and tells what it left:
// link and stand files in airports/my_thirdparty and airports/my_ORBX, and
// output/info/AirportsScanLog.txt.

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <thread>

#include "airports/airport_scan.h"
#include "bglbuilder/fake_installation.h"
#include "core/app_services.h"
#include "core/install_lookup.h"
#include "core/log.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/task_slots.h"
#include "liveries/dbase.h"
#include "platform/fs_path.h"

namespace fs = std::filesystem;

namespace {

void lf_list(const fs::path& folder)
{
    std::printf("%s:\n", folder.c_str());
    if (!fs::exists(folder)) return;
    for (const auto& e : fs::directory_iterator(folder)) std::printf("  %s\n", e.path().filename().c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2 || std::strcmp(argv[1], "--help") == 0) {
        std::puts(
            "usage: vrmt-airportscandemo <folder>\n"
            "Scans the fake installation that vrmt-bglbuild wrote into <folder>, from its program folder.");
        return argc == 2 ? 0 : 2;
    }
    try {
        const auto f = bglb::describeFakeInstallation(fs::absolute(argv[1]));
        if (!fs::exists(f.sceneryCfg)) {
            std::fprintf(stderr, "no fake installation in %s (run vrmt-bglbuild first)\n", argv[1]);
            return 1;
        }
        setenv("VRMT_PROGRAMDATA", f.programData.c_str(), 1);
        setenv("VRMT_REGISTRY_FILE", f.registryFile.c_str(), 1);
        setenv("VRMT_APPDATA", (f.root / "appdata").c_str(), 1);  // parameters.xml stays in the folder
        resetDataFolderPath();
        fs::create_directories(dataFolderPath());
        platform::setDriveRoot(f.driveRoot);
        fs::current_path(f.programFolder);
        gf_openLog();
        initParameters();  // parameters.xml below the folder, made with defaults

        // The install path as the worker finds it: the registry's SetupPath.
        std::string install = platform::pathText(getP3DSetupPath(5));
        while (!install.empty() && (install.back() == '\\' || install.back() == '/')) install.pop_back();
        SIM_INSTALL_PATH.set(install);
        AFG_AUTOMATIC.set(true);
        resetTaskSlots(std::thread::hardware_concurrency());
        PublisherAliases = f.publisherAliases;
        for (const auto& [publisher, airports] : f.thirdPartyAirports) ThirdPartyAirports.push_back({publisher, airports});
        for (const auto& code : f.simAddonAirports) SimAddonAirports.insert(code);

        gf_scanAirports();
        std::printf("Scan of %s done (%s)\n", install.c_str(), airportFilesChanged ? "add-on airports found" : "none found");
        lf_list(myThirdpartyFolder);
        lf_list(myOrbxFolder);
        std::printf("%s, Log.txt in %s\n", airportsScanLogPath.c_str(), f.programFolder.c_str());
        closeLog();
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vrmt-airportscandemo: %s\n", e.what());
        return 1;
    }
}
