#pragma once
// The names of the program's files and folders. All but the data folder are
// relative to the working folder, which is the program's own folder.
//
// The constants are built in one translation unit, from literals and from each
// other in order, and never destroyed (scan tasks may still use them at exit).
// Code that runs during static initialisation must not use them. The data folder
// asks the platform and may log, so it is a function, resolved on first use
// after the log is open.

#include <filesystem>

// Folders.
extern const std::filesystem::path& inputFolder;              // "input"
extern const std::filesystem::path& airportsFolder;           // "airports"
extern const std::filesystem::path& learnedFolder;            // airports/learned
extern const std::filesystem::path& learnedStockFolder;       // airports/learned/stock
extern const std::filesystem::path& learnedSimaddonFolder;    // airports/learned/simaddon
extern const std::filesystem::path& learnedThirdpartyFolder;  // airports/learned/thirdparty
extern const std::filesystem::path& myOrbxFolder;             // airports/my_ORBX
extern const std::filesystem::path& myThirdpartyFolder;       // airports/my_thirdparty
extern const std::filesystem::path& outputFolder;             // "output"
extern const std::filesystem::path& outputInfoFolder;         // output/info
extern const std::filesystem::path& outputErrorsFolder;       // output/errors
extern const std::filesystem::path& myRegcodesFolder;         // input/my_regcodes
extern const std::filesystem::path& docsFolder;               // "docs"
extern const std::filesystem::path& tbloFolder;               // "TBLO"

// Files.
extern const std::filesystem::path& dbaseEncFileName;        // "dbase.enc"
extern const std::filesystem::path& dbaseEncPath;            // input/dbase.enc
extern const std::filesystem::path& dbaseXmlPath;            // input/dbase.xml
extern const std::filesystem::path& aigRegcodesEncFileName;  // "AIG-regcodes.enc"
extern const std::filesystem::path& aigRegcodesEncPath;      // input/AIG-regcodes.enc
extern const std::filesystem::path& aigRegcodesXmlPath;      // input/AIG-regcodes.xml
extern const std::filesystem::path& installerFileName;       // "install_new_version.exe"
extern const std::filesystem::path& airportListFileName;     // "airports_p3d.xml" (looked for in inputFolder)
extern const std::filesystem::path& myParkAirportsPath;      // airports/my_park_airports.txt
extern const std::filesystem::path& liveriesScannedPath;     // output/LiveriesScanned.xml

// Scan reports.
extern const std::filesystem::path& airportsScanLogPath;                 // output/info/AirportsScanLog.txt
extern const std::filesystem::path& aircraftCfgWithNoFltsimSectionPath;  // output/info/...
extern const std::filesystem::path& airlineModelConversionsPath;         // output/info/...
extern const std::filesystem::path& offlineRegcodesPath;                 // output/info/OfflineRegcodes.txt
extern const std::filesystem::path& inlineRegcodesPath;                  // output/errors/...
extern const std::filesystem::path& invalidAirlineCodesPath;             // output/errors/...
extern const std::filesystem::path& invalidAircraftCodesPath;            // output/errors/...
extern const std::filesystem::path& fixesPath;                           // output/errors/Fixes.txt
extern const std::filesystem::path& invalidAircraftCfgFilesPath;         // output/errors/...
extern const std::filesystem::path& incompleteFltsimSectionsPath;        // output/errors/IncompleFltsimSections.txt

// The user's AppData folder; when the platform cannot name it, logs "Could not
// find the AppData path" (marked) and throws std::runtime_error with that text:
// there is no folder to keep the options in.
std::filesystem::path appDataPath();
// appDataPath()/"VRMT_P3D", resolved on the first call and kept.
std::filesystem::path dataFolderPath();
// dataFolderPath()/"parameters.xml".
std::filesystem::path parametersFilePath();
// Forgets the resolved data folder, so the next call asks the platform again (tests).
void resetDataFolderPath();
