#pragma once
// The aircraft database: types and their categories, airlines, wingspans, type
// fixes, scenery publishers and add-on airports, and the registrations.
//
// It ships encrypted as input/dbase.enc. gf_readDbase decrypts it to
// input/dbase.xml, reads every section into the tables below and removes the
// plain file again on every way out. The document reader also takes a document
// already in memory (tests, fuzzing).
//
// Who writes, who reads: the tables are filled only by the readers, on the
// worker thread during start-up, before any thread queries them; afterwards they
// are read-only and read without a lock from any thread. A new read replaces
// every table (resetDbaseTables empties them, for tests).
//
// Core's gf_typeCategory, gf_isKnownType, gf_halfWingspan and gf_findDbaseRecord
// reach these tables through the installed livery services
// (liveries/livery_services_impl.h). The document reader installs them once the
// tables are filled; dbaseTypeCategory ... dbaseFindRecord below are the same
// answers without the seam.

#include <array>
#include <filesystem>
#include <cstddef>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/livery_services.h"
#include "simlink/ac_category.h"

namespace pugi {
class xml_document;
}

// Ordered set of texts that can be searched with a view.
using StringSet = std::set<std::string, std::less<>>;

struct ThirdPartyEntry {
    std::string publisher;
    std::vector<std::string> airports;
};

// Tables (see the file comment for who writes them).
extern StringSet KnownTypes;
// Indexed by AcCategory; the Light set stays empty (Light is "in no set").
extern std::array<StringSet, acCategoryCount> CategoryTypeSets;
extern StringSet CargoTypes;  // read for the completeness check only
extern std::vector<std::vector<std::string>> SimilarTypeGroups;  // each group sorted
extern StringSet IcaoAirlines;
extern StringSet CargoOperators;  // read for the completeness check only
extern std::vector<std::vector<std::string>> PublisherAliases;
extern std::map<std::string, double, std::less<>> Wingspans;  // type -> half span, nm
extern double maxHalfWingspan;                                // nm
extern std::array<double, acCategoryCount> CategoryHalfWingspans;  // nm, by AcCategory
extern std::unordered_map<std::string, std::string> TypeFixes;     // wrong type -> correct type
extern StringSet SimAddonAirports;
extern std::vector<ThirdPartyEntry> ThirdPartyAirports;
extern std::unordered_map<std::string, DbaseRecord> DbaseRecords;  // registration -> record

// Metres of full span to nautical miles of half span.
inline constexpr double halfSpanNmPerMetre = 0.5 * 0.0005399568034557236;

// Every table as one reading of the document fills it: the program's tables
// above, or a check's own (dbaseFileProblem), which never touches them.
struct DbaseTables {
    StringSet knownTypes;
    std::array<StringSet, acCategoryCount> categoryTypeSets;
    StringSet cargoTypes;
    std::vector<std::vector<std::string>> similarTypeGroups;
    StringSet icaoAirlines;
    StringSet cargoOperators;
    std::vector<std::vector<std::string>> publisherAliases;
    std::map<std::string, double, std::less<>> wingspans;
    double maxHalfWingspan = 0.0;
    std::array<double, acCategoryCount> categoryHalfWingspans{};
    std::unordered_map<std::string, std::string> typeFixes;
    StringSet simAddonAirports;
    std::vector<ThirdPartyEntry> thirdPartyAirports;
    std::unordered_map<std::string, DbaseRecord> records;
    std::vector<std::string> shortKeys;  // findShortCode's keys, in its order
};

// Decrypts input/dbase.enc, reads it and removes the plain file; true.
// Throws std::runtime_error "{enc} not available" (no dbase.enc) or
// "{enc} stream decrypt failed", qxv::UserErrorException 60
// "'{xml}' not read because of {reason}" (not XML) or 61 (an empty required
// section, see lf_readXmlList). The plain dbase.xml is removed in every case.
bool gf_readDbase();

// Whether `enc` (a downloaded dbase.enc before it replaces the old one) is a
// file gf_readDbase can read: decrypted whole and read as the start-up reads
// it, into tables of its own. Empty when it is, else what is wrong. The
// program's tables and the installed livery services stay as they are, and
// nothing is logged (the start-up's reading logs the file's lines).
std::string dbaseFileProblem(const std::filesystem::path& enc);

// Fills every table from a loaded document (replacing what they held, once the
// whole document is read) and installs the livery services. Throws
// qxv::UserErrorException 61 for an empty required section; the tables are
// then left empty.
void gf_readDbaseDocument(const pugi::xml_document& doc);

// Empties every table (tests; a failed read).
void resetDbaseTables();

// The union of the comma lists of `attribute` of every `element` child of the
// first top-level `section`, into `target`. Throws qxv::UserErrorException 61
// "In XML file section [{}], element [{}], attribute [{}] is empty." when the
// set is empty afterwards (also when the section is missing).
void lf_readXmlList(const pugi::xml_document& doc, const char* section, StringSet& target, const char* element,
                    const char* attribute);
// lf_readXmlList with "types" into a fresh set that then replaces `target`.
void lf_readTypeSet(const pugi::xml_document& doc, const char* section, StringSet& target, const char* element);
// lf_readXmlList with element "ICAO" and attribute "codes", replacing `target`.
void lf_readCodeSet(const pugi::xml_document& doc, const char* section, StringSet& target);
// Appends {pub, arpts split at ','} of every "thirdpartieP3D" of "thirdpartiesP3D" to `target`.
void lf_readThirdParties(const pugi::xml_document& doc, std::vector<ThirdPartyEntry>& target);

// Queries; any thread once the tables are filled.
// Tested in the order Large, Heavy, Buzjets, Rotorcraft, HighPerf; Light in none.
AcCategory dbaseTypeCategory(std::string_view type);
bool dbaseIsKnownType(std::string_view type);  // "" -> false
// The type's half span, else the average half span of its category (nm).
double dbaseHalfWingspan(std::string_view type);
// The record of the first spelling of gf_registrationVariants found; none for "".
std::optional<DbaseRecord> dbaseFindRecord(const std::string& registration);

bool gf_isIcaoAirline(std::string_view code);  // "" -> false
// The record's airline, respectively operator; "" for "" or no record.
std::string gf_dbaseAirline(const std::string& registration);
std::string gf_dbaseOperator(const std::string& registration);
// A registration key of 1 to 5 characters that occurs in the text; the keys are
// tried longest first, then in byte order (fixed once the tables are read).
std::optional<std::string> findShortCode(std::string_view text);

// "cargo"/"special" attribute values: true when they begin with 1, t, T, y or Y.
bool gf_isTrueText(std::string_view text);
