#pragma once
// The airport scan's test bed: a fake Prepar3D v5 installation in a scratch
// folder, the process pointed at it (ProgramData, drive root, AppData for
// parameters.xml, the working folder), the options and data tables the scan
// reads, the recording shell with its fake download site, and the log.
// Everything is put back afterwards.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "airports/airport_scan.h"
#include "airports/scan_log.h"
#include "bglbuilder/fake_installation.h"
#include "core/app_services.h"
#include "core/app_services_fake.h"
#include "core/options.h"
#include "core/paths.h"
#include "core/run_state.h"
#include "core/startup_globals.h"
#include "core/support/scratch_folder.h"
#include "core/task_slots.h"
#include "liveries/dbase.h"
#include "platform/fs_path.h"

class ScanFixture : public testing::Test {
protected:
    void SetUp() override
    {
        oldCwd_ = std::filesystem::current_path();
        install = bglb::writeFakeInstallation(root.path());
        setenv("VRMT_PROGRAMDATA", install.programData.c_str(), 1);
        setenv("VRMT_APPDATA", (root / "appdata").c_str(), 1);
        std::filesystem::create_directories(root / "appdata");
        resetDataFolderPath();
        platform::setDriveRoot(install.driveRoot);
        std::filesystem::current_path(install.programFolder);
        gf_openLog(install.programFolder);

        resetRunState();
        resetTaskSlots(4);
        SIM_INSTALL_PATH.set(install.installPath);
        P3D_VERSION.set(5);
        AFG_AUTOMATIC.set(true);
        SCAN_AIRPORTS.set(true);
        for (StringParameter* folder : afolder) folder->set("");
        statusPanel().reset();
        takeScanLogLines();
        setBglTaskBody({});

        resetDbaseTables();
        PublisherAliases = install.publisherAliases;
        for (const auto& [publisher, airports] : install.thirdPartyAirports)
            ThirdPartyAirports.push_back({publisher, airports});
        for (const auto& code : install.simAddonAirports) SimAddonAirports.insert(code);
    }

    void TearDown() override
    {
        EXPECT_EQ(liveBglTaskCount(), 0);
        setBglTaskBody({});
        closeLog();
        std::filesystem::current_path(oldCwd_);
        platform::setDriveRoot({});
        unsetenv("VRMT_PROGRAMDATA");
        unsetenv("VRMT_APPDATA");
        resetDataFolderPath();
        resetDbaseTables();
        resetRunState();
        resetTaskSlots(std::thread::hardware_concurrency());
        SIM_INSTALL_PATH.set("");
        AFG_AUTOMATIC.reset();
        SCAN_AIRPORTS.reset();
        for (StringParameter* folder : afolder) folder->set("");
        generatedFileSimulator.set("MSFS");
    }

    // An archived stand file of the download site: suitable for offline
    // learning when it has a quality factor and 27 weeks or more.
    static std::string archivedFile(bool suitable)
    {
        return std::string("<meta><info name=\"author\" value=\"VRMT_P3D\"/></meta><parameters>") +
               "<parameter name=\"Qf_real\" value=\"" + (suitable ? "12" : "-1") + "\"/>" +
               "<parameter name=\"RT_traffic_week\" value=\"30\"/></parameters><parkpositions/>";
    }
    void serveArchived(const std::string& icao, bool suitable)
    {
        shell.serve(shell.downloadFolderUrl() + "archive/stock/" + icao + ".xml", archivedFile(suitable));
    }

    // The files below a folder of the working folder, by relative path, with
    // their content (the date of generated files left out).
    std::map<std::string, std::string> filesBelow(const std::filesystem::path& relative) const
    {
        const std::filesystem::path folder = install.programFolder / relative;
        std::map<std::string, std::string> out;
        if (!std::filesystem::exists(folder)) return out;
        for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
            if (!e.is_regular_file()) continue;
            std::string text = readWholeFile(e.path());
            if (const auto at = text.find("name=\"date\""); at != std::string::npos) {
                const auto end = text.find("/>", at);
                text.erase(at, end - at);
            }
            out[e.path().lexically_relative(install.programFolder).generic_string()] = text;
        }
        return out;
    }
    std::vector<std::string> scanLogFile() const { return fileLines(install.programFolder / airportsScanLogPath); }
    std::vector<std::string> logFile() const
    {
        auto lines = fileLines(install.programFolder / "Log.txt");
        return lines;
    }
    static bool has(const std::vector<std::string>& lines, const std::string& part)
    {
        for (const auto& l : lines)
            if (l.find(part) != std::string::npos) return true;
        return false;
    }

    ScratchFolder root;
    bglb::FakeInstallation install;
    AppServicesFake shell;

private:
    std::filesystem::path oldCwd_;
};
