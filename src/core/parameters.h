#pragma once
// parameters.xml, the store of the options, and the meta header of the XML
// files the program generates.
//
// parameters.xml: <parameters> holding one <parameter name=".." value=".."/> per
// stored option; entries are found by "/parameters/parameter[@name='{}']".
// Every load-modify-save of the file, from any thread, runs under one
// process-wide lock, and every save writes "parameters.xml.tmp" in the same folder
// and renames it over the file, so the file is never seen half-written.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "core/options.h"

namespace pugi {
class xml_document;
class xml_node;
}  // namespace pugi

// The file in use: parametersFilePath unless a test set another.
std::filesystem::path parametersFile();
// Points the store at another file (tests); an empty path restores parametersFilePath.
void setParametersFile(std::filesystem::path path);

// Loads parameters.xml into the records of the six lists (null entries are
// skipped), appends the entries that are missing, drops empty folder entries and
// saves the file. A file that cannot be loaded (or has no <parameters>) is kept
// as parameters.xml.bak and replaced by one with every stored option at its default
// (left as it is, with the defaults in force, when no copy can be kept).
// The controls (check boxes, edit fields, lists) are updated after the file is
// released, so the window code may wait for the UI thread.
void loadParameters(const std::vector<BoolParameter*>& plainBools, const std::vector<CheckboxParameter*>& checkboxes,
                    const std::vector<IntParameter*>& ints, const std::vector<IntParameter*>& controlInts,
                    const std::vector<StringParameter*>& strings,
                    const std::vector<StringParameter*>& controlStrings);

// Loads parameters.xml under the store's lock (the window reads its position
// from it). False when it cannot be loaded.
bool loadParametersDocument(pugi::xml_document& doc);

// Reading one entry into the record's current value; false (and the default
// taken) when the entry is missing. Each logs "{}={}" or '{}="{}"'.
bool readBoolParameter(BoolParameter* record, const pugi::xml_document& doc);
bool readIntParameter(IntParameter* record, const pugi::xml_document& doc, bool log);
bool readStringParameter(StringParameter* record, const pugi::xml_document& doc);
// As readStringParameter, logging only a non-empty text.
bool readFolderParameter(StringParameter* record, const pugi::xml_document& doc);
// The name contains "lfolder" or "afolder".
bool isFolderParameter(std::string_view name);

// Read the record; when the entry is missing, append it with the default. No save.
void loadBoolParameter(pugi::xml_document& doc, BoolParameter* record);
void loadIntParameter(pugi::xml_document& doc, IntParameter* record);

// Append <parameter name value> under the document's <parameters> (or under
// `node`); false when an element or attribute cannot be made.
bool appendBoolParameterNode(pugi::xml_document& doc, const std::string& name, bool value);
bool appendIntParameterNode(pugi::xml_document& doc, const std::string& name, std::int32_t value);
bool appendParameterNode(pugi::xml_node node, const std::string& name, const std::string& text);

// For a new file: append the entry with the record's default under `node`, set
// current = default and log it.
void addBoolParameterNode(BoolParameter* record, pugi::xml_node node);
void addIntParameterNode(IntParameter* record, pugi::xml_node node);
void addStringParameterNode(StringParameter* record, pugi::xml_node node);

// Sets the entry's value attribute, appending it when the entry has none.
void setParameterValueAttr(pugi::xml_node node, const std::string& text);
// Sets the named existing attribute of any node to "true"/"false"; false when it does not exist.
bool setBoolAttribute(pugi::xml_node node, const char* attributeName, bool value);

// Save one record's current value in parameters.xml (entry set or appended; a
// file that cannot be loaded is kept as .bak and becomes a file of this entry;
// without a copy it is not replaced and the save fails).
// Logs the record; a failed save logs "Saving '{}' failed".
void saveBoolParameter(const BoolParameter* record);
void saveIntParameter(const IntParameter* record);
void saveStringParameter(const StringParameter* record);
void setStringParameter(StringParameter* record, std::string text);
// Removes the record's entry from parameters.xml and logs "Parameter '{}' removed".
void removeParameter(const Parameter* record);

void logBoolParameter(const BoolParameter* record);
void logIntParameter(const IntParameter* record);
void logStringParameter(const StringParameter* record);

// Appends <meta> with the info entries author, version, date, copyright and the
// simulator (by generatedFileSimulator) under `node`. Call it first on a new
// document, so the header comes first. False when it cannot be appended.
bool writeMetaInfo(pugi::xml_node node);
// The value of "/meta/info[@name='{record's name}']" into the record's current
// text (empty when the attribute is missing). No such entry, or an XPath error
// (logged): the text becomes empty and the result is false.
bool readMetaInfo(const pugi::xml_document& doc, StringParameter* record);
