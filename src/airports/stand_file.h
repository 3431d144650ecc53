#pragma once
// Airport stand files: "<ICAO>.xml" with three top-level elements (meta,
// parameters, parkpositions; not single-root XML, so only pugixml reads them),
// their learned companions under airports/learned, "<ICAO>.txt" link files,
// and where each of them is found.
//
// Every path made from a reference or a file's text goes through
// platform::toFsPath before a file is touched. Files are written to a
// temporary name in their folder and renamed over the target.
//
// Worker thread (the airport scan's tasks write their own files).

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <pugixml.hpp>

#include "engine/stand.h"

// What the writer takes of an airport.
struct AirportFile {
    std::string airportName;
    std::string bglPath;                // the scenery file the stands came from
    std::string publisher = "unknown";  // "unknown" when no publisher was found
    std::int32_t qfReal = -1;           // quality factors
    std::int32_t qfSoft = -1;
    std::int32_t altitude = 0;  // feet
    std::vector<Stand> stands;
};

// Set while the loaded airport's learned file is handmade; cleared when an
// airport is loaded anew and after saving.
extern std::atomic<bool>& handmadeMark;

enum class StandFileMode : int {
    learned = 0,  // the learned companion: changes, handmade stands, options, option copies
    full = 1,     // a generated airport file: every stand in full, no options
};

// ICAO + ".xml".
std::string airportXmlName(const std::string& icao);
// ICAO + ".xml" / ICAO + ".txt" as paths; callers join them to a folder.
std::filesystem::path airportFileName(const std::string& icao);
std::filesystem::path airportLinkFileName(const std::string& icao);

// The learned file that belongs to an airport file reference, the one path the
// saver writes and the loader reads: "archive/..." goes to the learned folder
// ("archive/stock/EGLL.xml": airports/learned/stock/EGLL.xml),
// "airports/my_thirdparty..." to learned/thirdparty/<publisher folder>/...,
// "airports/my_ORBX/..." to learned/simaddon/..., any other file to the
// publisher's learned folder (learnedFolderOf); "%20" becomes a blank. An empty
// reference gives an empty path.
std::filesystem::path learnedFilePath(const std::string& reference, const std::string& publisher);
// A publisher as a folder name: '/', '\\' and ':' become '_'; "", "." and ".."
// get a leading '_'.
std::string publisherFolderName(std::string publisher);
// The learned folder of a publisher: "stock", "simaddon", else
// thirdparty/<publisherFolderName>.
std::filesystem::path learnedFolderOf(const std::string& publisher);

// The reference in a link file: its first line without trailing white space, cut
// just after the last ".xml". False when the link file does not exist; a first
// line without ".xml" leaves `reference` untouched.
bool readAirportLink(const std::filesystem::path& linkPath, std::string& reference);
// The reference in a link file's first line; empty when it holds no ".xml".
std::string airportLinkReference(std::string line);

// A code that can name a file: letters, digits, '_' and '-' only. Other codes
// (a path in disguise) are never looked for, so they cannot reach outside the
// airport folders.
bool isPlainAirportCode(std::string_view icao);

// The reference of an archived airport file on the download site.
std::string archivedReference(const std::string& icao);

// True when my_thirdparty or my_ORBX holds the airport's file or link file,
// else whether the download site has it (downloadArchivedAirport).
bool haveAirportFile(const std::string& icao);
// Whether the download site has the archived file: it is fetched into a
// temporary file in the working folder, which is removed again (a failing
// removal throws std::filesystem::filesystem_error).
bool downloadArchivedAirport(const std::string& icao);
// The first of: the link in my_thirdparty, the file in my_thirdparty, the link
// in my_ORBX, the file in my_ORBX, the archived file when the download site has
// it; empty when none.
std::string locateArchivedAirport(const std::string& icao);

// Appends <parameters> with the header entries of the mode; false when it cannot.
bool writeAirportHeader(pugi::xml_document& doc, const AirportFile& airport, StandFileMode mode);
// Builds the whole document (meta, parameters, parkpositions) for the mode.
// False when a block cannot be made.
bool buildStandDocument(pugi::xml_document& doc, const AirportFile& airport, StandFileMode mode);
// The file text of the mode, byte for byte what buildStandDocument's document
// saves to; the stands in `order` (indexes into airport.stands) when given,
// else in vector order. False when the head cannot be made.
bool standFileText(const AirportFile& airport, StandFileMode mode, std::string& out,
                   std::span<const std::uint32_t> order = {});
// standFileText, then saved through a temporary file: true = saved. A
// failure leaves the old file.
bool writeParkpositions(const AirportFile& airport, const std::filesystem::path& path, StandFileMode mode);

// What readOptAttributes gives of one <opt>.
struct OptAttributes {
    std::string cs;    // callsign
    std::string cs2;   // the text after the first ':' of "cs"
    std::string airl;  // operator: the database's when the registration is known
    std::string type;
};
OptAttributes readOptAttributes(const pugi::xml_node& opt);
// One <opt> as a stand-use record with that option index and source.
SlotRecord readOptRecord(const pugi::xml_node& opt, std::uint32_t optionIndex, std::uint32_t source);

// Reads one <parkpos> (its id given) and appends the stand to `stands`; its
// options get the source number. A parkpos at 0/0 is dropped silently, one with
// a value that is no finite number is dropped and logged. True when added.
bool readParkpos(const pugi::xml_node& parkpos, const std::string& id, std::uint32_t source,
                 std::vector<Stand>& stands);

// Reads the meta entries author, date and version into their records; false
// when one of them is missing (the file is refused).
bool readStandFileMeta(const pugi::xml_document& doc);

// Every <parkpos> of a <parkpositions> list appended with readParkpos in
// document order; an id met twice throws std::runtime_error "Parking position
// {} appears more than once?" (the stands before it stay appended).
void readAllParkpos(const pugi::xml_node& list, std::uint32_t source, std::vector<Stand>& stands);

// The value of "/parameters/parameter[@name='<name>']"; empty when absent.
std::optional<bool> lf_getApfParameterBool(const pugi::xml_document& doc, std::string_view name);
std::optional<std::int32_t> lf_getApfParameterInt(const pugi::xml_document& doc, std::string_view name);
std::optional<std::string> lf_getApfParameterString(const pugi::xml_document& doc, std::string_view name);
