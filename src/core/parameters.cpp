#include "core/parameters.h"

#include <functional>
#include <mutex>
#include <stdexcept>
#include <optional>
#include <pugixml.hpp>
#include <system_error>

#include "core/files.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/paths.h"
#include "core/startup_globals.h"
#include "core/time.h"
#include "platform/fs_path.h"

namespace {

// Serialises every load-modify-save of parameters.xml in the process.
std::mutex& lf_storeMutex()
{
    static std::mutex& m = *new std::mutex;  // never destroyed
    return m;
}

std::mutex& lf_pathMutex()
{
    static std::mutex& m = *new std::mutex;
    return m;
}

std::filesystem::path& lf_pathOverride()
{
    static auto& p = *new std::filesystem::path;
    return p;
}

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

// The first node the XPath text selects; an empty node when none (or when the
// text is no valid XPath, which a name with a quote would make).
pugi::xml_node lf_select(const pugi::xml_node& root, const std::string& xpath)
{
    try {
        return root.select_node(xpath.c_str()).node();
    } catch (const pugi::xpath_exception&) {
        return {};
    }
}

pugi::xml_node lf_findEntry(const pugi::xml_node& doc, const std::string& name)
{
    return lf_select(doc, vr::format("/parameters/parameter[@name='{}']", name));
}

// Far more than any parameters.xml the program writes (a few kB). A bigger file
// is no options file: it is kept aside like an unreadable one rather than being
// loaded and rewritten at every option change.
constexpr std::uintmax_t kMaxParametersBytes = 1u << 20;

// Loads the file; the reason it cannot be used when it cannot (empty when loaded).
std::string lf_loadFile(pugi::xml_document& doc, const std::filesystem::path& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && !ec) return "not found";
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (!ec && size > kMaxParametersBytes)
        return vr::format("is too big ({} bytes, more than {})", size, kMaxParametersBytes);
    if (const pugi::xml_parse_result read = doc.load_file(path.c_str()); !read) {
        doc.reset();
        return vr::format("could not be read ({} at byte {})", read.description(), read.offset);
    }
    return {};
}

// lf_loadFile; a loaded file without <parameters> counts as unusable too.
std::string lf_load(pugi::xml_document& doc, const std::filesystem::path& path)
{
    std::string problem = lf_loadFile(doc, path);
    if (problem.empty() && !doc.child("parameters")) {
        doc.reset();
        problem = "holds no <parameters> element";
    }
    return problem;
}

// pugixml reads every text as a bool; only texts that say yes or no are meant as one.
std::optional<bool> lf_boolValue(const pugi::xml_attribute& value)
{
    const char first = value.as_string()[0];
    if (first == '\0') return false;  // an empty or missing value is false
    if (std::string_view("1tTyY").find(first) != std::string_view::npos) return true;
    if (std::string_view("0fFnN").find(first) != std::string_view::npos) return false;
    return std::nullopt;
}

// A file that exists but cannot be used is kept as "<name>.bak" before it is
// replaced, so a user's hand edit is not lost. False when it exists and no copy
// could be made: the file must then not be replaced.
bool lf_keepBroken(const std::filesystem::path& path)
{
    std::error_code ec;
    if (!std::filesystem::exists(path, ec) && !ec) return true;
    std::filesystem::path bak = path;
    bak += ".bak";
    std::filesystem::copy_file(path, bak, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) {
        logLineMarked(vr::format("Could not keep '{}' as '{}': {}", platform::pathText(path), platform::pathText(bak), ec.message()));
        return false;
    }
    logLineMarked(vr::format("'{}' could not be read, kept as '{}'", platform::pathText(path), platform::pathText(bak)));
    return true;
}

// The save at the end of loadParameters, logged as gf_saveXml does.
void lf_saveLogged(const pugi::xml_document& doc, const std::filesystem::path& path)
{
    if (gf_saveXmlAtomically(doc, path))
        logLine(vr::format("'{}' saved", platform::pathText(path)));
    else
        logLine(vr::format("could not save to '{}'", platform::pathText(path)));
}

// The file for a single save or removal (any thread, the UI's too): nothing
// when there is no data folder (the start-up has stopped on that already).
std::optional<std::filesystem::path> lf_fileForSave()
{
    try {
        return parametersFile();
    } catch (const std::runtime_error&) {
        return std::nullopt;
    }
}

// Load-modify-save of one entry (the lock is held by the caller).
void lf_saveEntry(const std::string& name, const std::string& value, const std::string& logText)
{
    const std::optional<std::filesystem::path> file = lf_fileForSave();
    if (!file) return;
    const std::filesystem::path& path = *file;
    pugi::xml_document doc;
    pugi::xml_node parameters;
    if (lf_loadFile(doc, path).empty()) {
        parameters = doc.child("parameters");
        if (!parameters) parameters = doc.append_child("parameters");
        if (pugi::xml_node entry = lf_findEntry(doc, name))
            setParameterValueAttr(entry, value);
        else
            appendParameterNode(parameters, name, value);
    } else {
        if (!lf_keepBroken(path)) {
            logLineIfRunning(logText);
            logLineIfRunning(vr::format("Saving '{}' failed", platform::pathText(path)));
            return;
        }
        doc.reset();
        parameters = doc.append_child("parameters");
        appendParameterNode(parameters, name, value);
    }
    logLineIfRunning(logText);
    if (!gf_saveXmlAtomically(doc, path)) logLineIfRunning(vr::format("Saving '{}' failed", platform::pathText(path)));
}

std::string lf_boolLog(const BoolParameter* r) { return vr::format("{}={}", r->name(), lf_boolText(r->get())); }
std::string lf_intLog(const IntParameter* r) { return vr::format("{}={}", r->name(), r->get()); }
std::string lf_stringLog(const StringParameter* r)
{
    if (r->secret()) return vr::format("{} is {}", r->name(), r->empty() ? "not set" : "set");
    return vr::format("{}=\"{}\"", r->name(), r->get());
}

void lf_logAddFailed(const std::string& name, const std::string& value)
{
    logLineIfRunning(vr::format("{}Adding Init XML parameter '{}' with value '{}' failed!", "===> ", name, value));
}

// The text entry of a record: read, or appended with the default when missing.
void lf_loadStringParameter(pugi::xml_document& doc, StringParameter* record)
{
    if (readStringParameter(record, doc)) return;
    if (pugi::xml_node parameters = doc.child("parameters"))
        appendParameterNode(parameters, record->name(), record->get());
}

// What loadParameters does with each kind of record: read it from the loaded
// file, or add it to a new one.
struct ListSteps {
    std::function<void(BoolParameter*)> onBool;
    std::function<void(IntParameter*)> onInt;
    std::function<void(StringParameter*)> onString;
    std::function<void(StringParameter*)> onControlString;
};

}  // namespace

std::filesystem::path parametersFile()
{
    {
        std::lock_guard lock(lf_pathMutex());
        if (!lf_pathOverride().empty()) return lf_pathOverride();
    }
    return parametersFilePath();
}

void setParametersFile(std::filesystem::path path)
{
    std::lock_guard lock(lf_pathMutex());
    lf_pathOverride() = std::move(path);
}

bool isFolderParameter(std::string_view name)
{
    return name.find("lfolder") != std::string_view::npos || name.find("afolder") != std::string_view::npos;
}

bool readBoolParameter(BoolParameter* record, const pugi::xml_document& doc)
{
    const pugi::xml_node entry = lf_findEntry(doc, record->name());
    const std::optional<bool> value = entry ? lf_boolValue(entry.attribute("value")) : record->defaultValue();
    if (!value)
        logLineIfRunning(vr::format("===> {} has the value '{}', which is neither true nor false: {} taken",
                                    record->name(), entry.attribute("value").as_string(),
                                    lf_boolText(record->defaultValue())));
    record->set(value.value_or(record->defaultValue()));
    logBoolParameter(record);
    return bool(entry);
}

bool readIntParameter(IntParameter* record, const pugi::xml_document& doc, bool log)
{
    const pugi::xml_node entry = lf_findEntry(doc, record->name());
    record->set(entry ? record->clamped(entry.attribute("value").as_int()) : record->defaultValue());
    if (log) logIntParameter(record);
    return bool(entry);
}

bool readStringParameter(StringParameter* record, const pugi::xml_document& doc)
{
    const pugi::xml_node entry = lf_findEntry(doc, record->name());
    record->set(entry ? entry.attribute("value").as_string() : record->defaultValue());
    logStringParameter(record);
    return bool(entry);
}

bool readFolderParameter(StringParameter* record, const pugi::xml_document& doc)
{
    const pugi::xml_node entry = lf_findEntry(doc, record->name());
    record->set(entry ? entry.attribute("value").as_string() : record->defaultValue());
    if (!record->empty()) logStringParameter(record);
    return bool(entry);
}

void loadBoolParameter(pugi::xml_document& doc, BoolParameter* record)
{
    if (!readBoolParameter(record, doc)) appendBoolParameterNode(doc, record->name(), record->get());
}

void loadIntParameter(pugi::xml_document& doc, IntParameter* record)
{
    if (!readIntParameter(record, doc, true)) appendIntParameterNode(doc, record->name(), record->get());
}

bool appendBoolParameterNode(pugi::xml_document& doc, const std::string& name, bool value)
{
    return appendParameterNode(doc.child("parameters"), name, lf_boolText(value));
}

bool appendIntParameterNode(pugi::xml_document& doc, const std::string& name, std::int32_t value)
{
    return appendParameterNode(doc.child("parameters"), name, vr::format("{}", value));
}

bool appendParameterNode(pugi::xml_node node, const std::string& name, const std::string& text)
{
    pugi::xml_node entry = node.append_child("parameter");
    if (!entry) return false;
    pugi::xml_attribute n = entry.append_attribute("name");
    pugi::xml_attribute v = entry.append_attribute("value");
    if (!n || !v) return false;
    n.set_value(name.c_str());
    v.set_value(text.c_str());
    return true;
}

void addBoolParameterNode(BoolParameter* record, pugi::xml_node node)
{
    record->reset();
    if (!appendParameterNode(node, record->name(), lf_boolText(record->defaultValue())))
        lf_logAddFailed(record->name(), lf_boolText(record->defaultValue()));
    logBoolParameter(record);
}

void addIntParameterNode(IntParameter* record, pugi::xml_node node)
{
    record->reset();
    const std::string value = vr::format("{}", record->defaultValue());
    if (!appendParameterNode(node, record->name(), value)) lf_logAddFailed(record->name(), value);
    logIntParameter(record);
}

void addStringParameterNode(StringParameter* record, pugi::xml_node node)
{
    record->reset();
    if (!appendParameterNode(node, record->name(), record->defaultValue()))
        lf_logAddFailed(record->name(), record->defaultValue());
    logStringParameter(record);
}

void setParameterValueAttr(pugi::xml_node node, const std::string& text)
{
    pugi::xml_attribute value = node.attribute("value");
    if (!value) value = node.append_attribute("value");  // a hand-edited entry without one
    value.set_value(text.c_str());
}

bool setBoolAttribute(pugi::xml_node node, const char* attributeName, bool value)
{
    pugi::xml_attribute a = node.attribute(attributeName);
    return a && a.set_value(lf_boolText(value));
}

void logBoolParameter(const BoolParameter* record) { logLineIfRunning(lf_boolLog(record)); }
void logIntParameter(const IntParameter* record) { logLineIfRunning(lf_intLog(record)); }
void logStringParameter(const StringParameter* record) { logLineIfRunning(lf_stringLog(record)); }

bool loadParametersDocument(pugi::xml_document& doc)
{
    std::lock_guard lock(lf_storeMutex());
    try {
        return lf_loadFile(doc, parametersFile()).empty();
    } catch (const std::runtime_error&) {
        return false;  // no data folder: logged, and the start-up stops on it
    }
}

void loadParameters(const std::vector<BoolParameter*>& plainBools, const std::vector<CheckboxParameter*>& checkboxes,
                    const std::vector<IntParameter*>& ints, const std::vector<IntParameter*>& controlInts,
                    const std::vector<StringParameter*>& strings, const std::vector<StringParameter*>& controlStrings)
{
    // The controls are updated only after the file is released: the window code
    // may wait for the UI thread, which may itself be waiting to save an option.
    std::vector<std::function<void()>> showControls;
    std::unique_lock lock(lf_storeMutex());
    const std::filesystem::path path = parametersFile();
    logLine(vr::format("\n{0} parameters {0}", std::string(34, '*')));
    pugi::xml_document doc;
    ListSteps steps;
    bool replaceable = true;
    if (const std::string problem = lf_load(doc, path); problem.empty()) {
        logLine(vr::format("from '{}'", platform::pathText(path)));
        steps.onBool = [&doc](BoolParameter* r) { loadBoolParameter(doc, r); };
        steps.onInt = [&doc](IntParameter* r) { loadIntParameter(doc, r); };
        steps.onControlString = [&doc](StringParameter* r) { lf_loadStringParameter(doc, r); };
        steps.onString = [&doc](StringParameter* r) {
            if (!isFolderParameter(r->name())) {
                lf_loadStringParameter(doc, r);
                return;
            }
            readFolderParameter(r, doc);
            if (!r->empty()) return;
            // An empty folder entry is dropped from the document that is saved below.
            if (pugi::xml_node entry = lf_findEntry(doc, r->name())) {
                entry.parent().remove_child(entry);
                logLineIfRunning(vr::format("Parameter '{}' removed", r->name()));
            }
        };
    } else {
        logLine(vr::format("{} {}, default values taken:", platform::pathText(path), problem));
        replaceable = lf_keepBroken(path);
        doc.reset();
        const pugi::xml_node parameters = doc.append_child("parameters");
        steps.onBool = [parameters](BoolParameter* r) { addBoolParameterNode(r, parameters); };
        steps.onInt = [parameters](IntParameter* r) { addIntParameterNode(r, parameters); };
        steps.onControlString = [parameters](StringParameter* r) { addStringParameterNode(r, parameters); };
        steps.onString = [parameters](StringParameter* r) {
            if (isFolderParameter(r->name()))
                r->reset();  // folder options get no entry
            else
                addStringParameterNode(r, parameters);
        };
    }
    for (BoolParameter* r : plainBools)
        if (r) steps.onBool(r);
    for (CheckboxParameter* r : checkboxes)
        if (r) {
            steps.onBool(r);
            showControls.push_back([r] { showCheckboxState(*r); });
        }
    for (IntParameter* r : ints)
        if (r) steps.onInt(r);
    for (IntParameter* r : controlInts)
        if (r) {
            steps.onInt(r);
            showControls.push_back([r] { showIntParameterText(*r); });
        }
    for (StringParameter* r : strings)
        if (r) steps.onString(r);
    for (StringParameter* r : controlStrings)
        if (r) {
            steps.onControlString(r);
            showControls.push_back([r] { showStringParameterText(*r); });
        }
    if (replaceable)
        lf_saveLogged(doc, path);
    else
        logLine(vr::format("could not save to '{}'", platform::pathText(path)));  // the unreadable file stays as it is
    logLine(std::string(80, '*') + "\n");
    lock.unlock();
    for (const auto& show : showControls) show();
}

void saveBoolParameter(const BoolParameter* record)
{
    std::lock_guard lock(lf_storeMutex());
    lf_saveEntry(record->name(), lf_boolText(record->get()), lf_boolLog(record));
}

void saveIntParameter(const IntParameter* record)
{
    std::lock_guard lock(lf_storeMutex());
    lf_saveEntry(record->name(), vr::format("{}", record->get()), lf_intLog(record));
}

void saveStringParameter(const StringParameter* record)
{
    std::lock_guard lock(lf_storeMutex());
    lf_saveEntry(record->name(), record->get(), lf_stringLog(record));
}

void setStringParameter(StringParameter* record, std::string text)
{
    record->set(std::move(text));
    saveStringParameter(record);
}

void removeParameter(const Parameter* record)
{
    std::lock_guard lock(lf_storeMutex());
    const std::optional<std::filesystem::path> file = lf_fileForSave();
    if (!file) return;
    const std::filesystem::path& path = *file;
    pugi::xml_document doc;
    if (!lf_loadFile(doc, path).empty()) return;
    const pugi::xml_node parameters = doc.child("parameters");
    if (!parameters) return;
    pugi::xml_node entry = lf_findEntry(doc, record->name());
    if (!entry) return;
    if (entry.parent() == parameters) doc.child("parameters").remove_child(entry);
    logLineIfRunning(vr::format("Parameter '{}' removed", record->name()));
    if (!gf_saveXmlAtomically(doc, path)) logLineIfRunning(vr::format("Saving '{}' failed", platform::pathText(path)));
}

bool writeMetaInfo(pugi::xml_node node)
{
    pugi::xml_node meta = node.append_child("meta");
    if (!meta) return false;
    const bool p3d = generatedFileSimulator == "P3D";
    const std::string simulator = generatedFileSimulator == "MSFS" ? "2020" : "2024";
    const std::pair<const char*, std::string> entries[] = {
        {"author", "VRMT_P3D"},
        {"version", versionToString(programVersion)},
        {"date", dateTimeString()},
        {"copyright", "Copyright (c) VRMT_P3D. All rights reserved."},
        p3d ? std::pair<const char*, std::string>{"P3D", "v5/v6"}
            : std::pair<const char*, std::string>{"MSFS", simulator},
    };
    for (const auto& [name, value] : entries) {
        pugi::xml_node info = meta.append_child("info");
        pugi::xml_attribute n = info.append_attribute("name");
        pugi::xml_attribute v = info.append_attribute("value");
        if (!info || !n || !v) return false;
        n.set_value(name);
        v.set_value(value.c_str());
    }
    return true;
}

bool readMetaInfo(const pugi::xml_document& doc, StringParameter* record)
{
    try {
        const pugi::xml_node info =
            doc.select_node(vr::format("/meta/info[@name='{}']", record->name()).c_str()).node();
        record->set(info ? info.attribute("value").as_string() : "");
        return bool(info);
    } catch (const pugi::xpath_exception& e) {
        logLine(e.what());
        record->set("");
        return false;
    }
}
