#include "core/paths.h"

#include <mutex>
#include <optional>
#include <stdexcept>

#include "core/log.h"
#include "platform/known_folders.h"

namespace fs = std::filesystem;

namespace {
const fs::path& lf_make(fs::path p) { return *new fs::path(std::move(p)); }
}  // namespace

// In this order: each is built after the ones it is made from.
const fs::path& inputFolder = lf_make("input");
const fs::path& airportsFolder = lf_make("airports");
const fs::path& learnedFolder = lf_make(airportsFolder / "learned");
const fs::path& learnedStockFolder = lf_make(learnedFolder / "stock");
const fs::path& learnedSimaddonFolder = lf_make(learnedFolder / "simaddon");
const fs::path& learnedThirdpartyFolder = lf_make(learnedFolder / "thirdparty");
const fs::path& myOrbxFolder = lf_make(airportsFolder / "my_ORBX");
const fs::path& myThirdpartyFolder = lf_make(airportsFolder / "my_thirdparty");
const fs::path& outputFolder = lf_make("output");
const fs::path& outputInfoFolder = lf_make(outputFolder / "info");
const fs::path& outputErrorsFolder = lf_make(outputFolder / "errors");
const fs::path& myRegcodesFolder = lf_make(inputFolder / "my_regcodes");
const fs::path& docsFolder = lf_make("docs");
const fs::path& tbloFolder = lf_make("TBLO");

const fs::path& dbaseEncFileName = lf_make("dbase.enc");
const fs::path& dbaseEncPath = lf_make(inputFolder / "dbase.enc");
const fs::path& dbaseXmlPath = lf_make(inputFolder / "dbase.xml");
const fs::path& aigRegcodesEncFileName = lf_make("AIG-regcodes.enc");
const fs::path& aigRegcodesEncPath = lf_make(inputFolder / "AIG-regcodes.enc");
const fs::path& aigRegcodesXmlPath = lf_make(inputFolder / "AIG-regcodes.xml");
const fs::path& installerFileName = lf_make("install_new_version.exe");
const fs::path& airportListFileName = lf_make("airports_p3d.xml");
const fs::path& myParkAirportsPath = lf_make(airportsFolder / "my_park_airports.txt");
const fs::path& liveriesScannedPath = lf_make(outputFolder / "LiveriesScanned.xml");

const fs::path& airportsScanLogPath = lf_make(outputInfoFolder / "AirportsScanLog.txt");
const fs::path& aircraftCfgWithNoFltsimSectionPath = lf_make(outputInfoFolder / "AircraftCfgWithNoFltsimSection.txt");
const fs::path& airlineModelConversionsPath = lf_make(outputInfoFolder / "AirlineModelConversions.txt");
const fs::path& offlineRegcodesPath = lf_make(outputInfoFolder / "OfflineRegcodes.txt");
const fs::path& inlineRegcodesPath = lf_make(outputErrorsFolder / "InlineRegcodes.txt");
const fs::path& invalidAirlineCodesPath = lf_make(outputErrorsFolder / "InvalidAirlineCodes.txt");
const fs::path& invalidAircraftCodesPath = lf_make(outputErrorsFolder / "InvalidAircraftCodes.txt");
const fs::path& fixesPath = lf_make(outputErrorsFolder / "Fixes.txt");
const fs::path& invalidAircraftCfgFilesPath = lf_make(outputErrorsFolder / "InvalidAircraftCfgFiles.txt");
// Spelled so, without the "te": the users' tools know the file by this name.
const fs::path& incompleteFltsimSectionsPath = lf_make(outputErrorsFolder / "IncompleFltsimSections.txt");

namespace {

struct DataFolder {
    std::mutex mutex;
    std::optional<fs::path> path;
};

DataFolder& lf_dataFolder()
{
    static DataFolder& d = *new DataFolder;
    return d;
}

}  // namespace

fs::path appDataPath()
{
    if (auto folder = platform::knownFolder(platform::KnownFolder::RoamingAppData)) return *folder;
    logLineMarked("Could not find the AppData path");
    throw std::runtime_error("Could not find the AppData path");
}

fs::path dataFolderPath()
{
    auto& d = lf_dataFolder();
    std::lock_guard lock(d.mutex);
    if (!d.path) d.path = appDataPath() / "VRMT_P3D";
    return *d.path;
}

fs::path parametersFilePath() { return dataFolderPath() / "parameters.xml"; }

void resetDataFolderPath()
{
    auto& d = lf_dataFolder();
    std::lock_guard lock(d.mutex);
    d.path.reset();
}
