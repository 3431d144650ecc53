#pragma once
// Registration codes ("regcodes": the registration a livery belongs to) and the
// "don't use" titles, as read from their two sources:
// - input/AIG-regcodes.enc, decrypted to input/AIG-regcodes.xml for the time it
//   is read (removed again on every way out);
// - the user's files in input/my_regcodes: every regular file whose extension is
//   ".txt" in any case, in sorted name order, read in its own character set.
//
// A my_regcodes line, fields split at ';' and trimmed:
//   title               a don't-use title
//   title;A,B           regcodes A and B (not special)
//   title;A,B;#         the same, special
//   title;A             one regcode: always special
//   title;              nothing
// Regcodes have 3 to 12 characters; more than 3 fields is a wrong format.
//
// Who writes, who reads: everything here runs on the worker thread during the
// livery initialisation, before the scan tasks start (they read DontUseTitles
// without a lock) and before matching starts. DontUseTitles is emptied at the
// start of lf_readDontUseTitles and again after the scan.

#include <filesystem>
#include <string>
#include <vector>

namespace pugi {
class xml_document;
}

struct RegcodeEntry {
    std::string title;
    std::vector<std::string> regcodes;  // sorted, without repeats
    bool special = false;

    bool operator==(const RegcodeEntry&) const = default;
};

// Titles the scanner skips (exact, case-sensitive comparison).
extern std::vector<std::string> DontUseTitles;
// Lines for OfflineRegcodes.txt, collected while the regcode sources are read.
extern std::vector<std::string> RegcodeReportLines;

// Whether `enc` (a downloaded AIG-regcodes.enc before it replaces the old one)
// is a file the start-up can read: decrypted whole, XML, with liveries in its
// <AIG-regcodes> section. Empty when it is, else what is wrong.
std::string aigRegcodesFileProblem(const std::filesystem::path& enc);
// Reads input/AIG-regcodes.xml (or `path`) and appends its entries. False when
// it cannot be loaded ("Failed to load {}", marked) or a title repeats the one
// before it ("SAME AS PREVIOUS title '{}'", marked; that element is skipped).
bool lf_readAigRegcodesXml(std::vector<RegcodeEntry>& entries);
bool lf_readAigRegcodesXml(std::vector<RegcodeEntry>& entries, const std::filesystem::path& path);
// The same on a loaded document; `path` only names it in the log.
bool lf_readAigRegcodesDocument(const pugi::xml_document& doc, const std::filesystem::path& path,
                                std::vector<RegcodeEntry>& entries);

// Reads every ".txt" file of the folder (any case, sorted by name) and appends
// its entries. False after a rejected line or regcode, an unreadable file or a
// folder that cannot be listed; what was read stays appended.
bool lf_readRegcodeFiles(const std::filesystem::path& folder, std::vector<RegcodeEntry>& entries);
// One line of a my_regcodes file (`file` names it in the log). False when the
// line or one of its regcodes is rejected.
bool lf_readRegcodeLine(const std::string& line, const std::filesystem::path& file, std::vector<RegcodeEntry>& entries);

// Before a scan: empties DontUseTitles and fills it from both sources. Catches
// every standard exception ("exception: {}", marked); titles read before it stay.
void lf_readDontUseTitles();
// The don't-use titles of the decrypted AIG file; of the my_regcodes files.
void lf_readDontUseTitleFile();
void lf_readDontUseTitleFolder();
