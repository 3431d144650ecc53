#pragma once
// The start-up check of the two encrypted data files against the download site:
// versions.json names the newest version of each, and a data file is downloaded
// when the site has a newer one than the stored version says, or the local copy
// is missing. Runs on the worker during start-up (not on an automatic restart:
// the caller skips it). A site that cannot be reached, a versions.json that
// cannot be read and a failed download are logged; the run goes on with the
// files it has. The stored version (AIG_VERSION, DBASE_VERSION) changes only
// once the new file is in place.

#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/time.h"

class StringParameter;

// What versions.json says of one data file.
struct RemoteVersion {
    enum class State {
        Found,    // version holds the site's version
        Missing,  // the document has no such key
        Invalid,  // the entry is no version number; problem says why
    };
    State state = State::Missing;
    VersionNumber version;
    std::string problem;
};

// versions.json's text as a document: an object, or an empty document with the problem.
struct VersionsDocument {
    nlohmann::json document;
    std::string problem;  // empty: document is an object
};
VersionsDocument parseVersionsText(const std::string& text);
// The entry `key` of the document: an object with integer "major", "minor" and
// "patch", each 0..2147483647.
RemoteVersion remoteVersionOf(const nlohmann::json& document, const std::string& key);

// One data file the check keeps current.
struct DataFileEntry {
    std::string key;           // in versions.json: "aig", "dbase"
    StringParameter* stored;   // AIG_VERSION, DBASE_VERSION
    std::filesystem::path localPath;  // input/AIG-regcodes.enc, input/dbase.enc
    std::string downloadName;  // below the download base: "AIG-regcodes.enc", "dbase.enc"
    // What is wrong with a downloaded copy (empty: nothing): the start-up's own
    // reading of the file, so a bad download never replaces a good file.
    std::string (*problem)(const std::filesystem::path& file) = nullptr;
};
// "aig" and "dbase", in that order.
const std::vector<DataFileEntry>& dataFileEntries();

// The check: versions.json from the download base into "versions.json" of the
// program folder, then every data file. Without a download base: one log line.
void checkForUpdates();

// "{} updated to {}", "{} version up-to-date", "{} version not found".
void logUpdated(const std::string& key, const std::string& version);
void logUpToDate(const std::string& key);
void logVersionNotFound(const std::string& key);
