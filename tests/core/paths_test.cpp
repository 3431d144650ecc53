#include "core/paths.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "support/scratch_folder.h"

namespace fs = std::filesystem;

namespace {

TEST(Paths, NamesAndJoins)
{
    struct Case {
        const fs::path& path;
        fs::path expected;
    };
    const Case cases[] = {
        {inputFolder, "input"},
        {airportsFolder, "airports"},
        {learnedFolder, fs::path("airports") / "learned"},
        {learnedStockFolder, fs::path("airports") / "learned" / "stock"},
        {learnedSimaddonFolder, fs::path("airports") / "learned" / "simaddon"},
        {learnedThirdpartyFolder, fs::path("airports") / "learned" / "thirdparty"},
        {myOrbxFolder, fs::path("airports") / "my_ORBX"},
        {myThirdpartyFolder, fs::path("airports") / "my_thirdparty"},
        {outputFolder, "output"},
        {outputInfoFolder, fs::path("output") / "info"},
        {outputErrorsFolder, fs::path("output") / "errors"},
        {myRegcodesFolder, fs::path("input") / "my_regcodes"},
        {docsFolder, "docs"},
        {tbloFolder, "TBLO"},
        {dbaseEncFileName, "dbase.enc"},
        {dbaseEncPath, fs::path("input") / "dbase.enc"},
        {dbaseXmlPath, fs::path("input") / "dbase.xml"},
        {aigRegcodesEncFileName, "AIG-regcodes.enc"},
        {aigRegcodesEncPath, fs::path("input") / "AIG-regcodes.enc"},
        {aigRegcodesXmlPath, fs::path("input") / "AIG-regcodes.xml"},
        {installerFileName, "install_new_version.exe"},
        {airportListFileName, "airports_p3d.xml"},
        {myParkAirportsPath, fs::path("airports") / "my_park_airports.txt"},
        {liveriesScannedPath, fs::path("output") / "LiveriesScanned.xml"},
        {airportsScanLogPath, fs::path("output") / "info" / "AirportsScanLog.txt"},
        {aircraftCfgWithNoFltsimSectionPath, fs::path("output") / "info" / "AircraftCfgWithNoFltsimSection.txt"},
        {airlineModelConversionsPath, fs::path("output") / "info" / "AirlineModelConversions.txt"},
        {offlineRegcodesPath, fs::path("output") / "info" / "OfflineRegcodes.txt"},
        {inlineRegcodesPath, fs::path("output") / "errors" / "InlineRegcodes.txt"},
        {invalidAirlineCodesPath, fs::path("output") / "errors" / "InvalidAirlineCodes.txt"},
        {invalidAircraftCodesPath, fs::path("output") / "errors" / "InvalidAircraftCodes.txt"},
        {fixesPath, fs::path("output") / "errors" / "Fixes.txt"},
        {invalidAircraftCfgFilesPath, fs::path("output") / "errors" / "InvalidAircraftCfgFiles.txt"},
        {incompleteFltsimSectionsPath, fs::path("output") / "errors" / "IncompleFltsimSections.txt"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.path, c.expected) << c.expected;
}

// Restores an environment variable at the end of a test.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name)
    {
        if (const char* v = std::getenv(name)) old_ = v;
    }
    ~EnvGuard()
    {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(Paths, DataFolderIsResolvedLazilyFromAppData)
{
    EnvGuard guard("VRMT_APPDATA");
    ScratchFolder appData;
    setenv("VRMT_APPDATA", appData.path().c_str(), 1);
    resetDataFolderPath();
    EXPECT_EQ(dataFolderPath(), appData / "VRMT_P3D");
    EXPECT_EQ(parametersFilePath(), appData / "VRMT_P3D" / "parameters.xml");

    setenv("VRMT_APPDATA", "/elsewhere", 1);
    EXPECT_EQ(dataFolderPath(), appData / "VRMT_P3D");  // kept once resolved
    resetDataFolderPath();
}

// No AppData folder is an error: no folder of that name is made up.
TEST(Paths, MissingAppDataIsAnError)
{
    EnvGuard appData("VRMT_APPDATA");
    EnvGuard config("XDG_CONFIG_HOME");
    EnvGuard home("HOME");
    unsetenv("VRMT_APPDATA");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("HOME");
    ScratchLog log;
    resetDataFolderPath();
    try {
        dataFolderPath();
        ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Could not find the AppData path");
    }
    EXPECT_EQ(log.lines(), std::vector<std::string>{"===> Could not find the AppData path"});
    resetDataFolderPath();
}

}  // namespace
