#include "airports/stand_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <iterator>
#include <stdexcept>
#include <system_error>
#include <unordered_set>

#include "airports/c_numbers.h"
#include "core/app_services.h"
#include "core/files.h"
#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/paths.h"
#include "core/startup_globals.h"
#include "core/utils.h"
#include "core/xml_text.h"
#include "platform/fs_path.h"

std::atomic<bool>& handmadeMark = *new std::atomic<bool>(false);

namespace {

const char* lf_boolText(bool value) { return value ? "true" : "false"; }

void lf_replaceAll(std::string& text, std::string_view from, std::string_view to)
{
    for (std::size_t pos = text.find(from); pos != std::string::npos; pos = text.find(from, pos + to.size()))
        text.replace(pos, from.size(), to);
}

std::filesystem::path lf_fsPath(const std::filesystem::path& path) { return platform::toFsPath(path.generic_string()); }

// Appends name="value" to an element; false when it cannot.
bool lf_attr(pugi::xml_node node, const char* name, const std::string& value)
{
    pugi::xml_attribute a = node.append_attribute(name);
    return a && a.set_value(value.c_str());
}

bool lf_boolAttr(pugi::xml_node node, const char* name, bool value)
{
    return node.append_attribute(name) && setBoolAttribute(node, name, value);
}

double lf_doubleAttr(const pugi::xml_node& node, const char* name)
{
    return leadingDoubleOrZero(node.attribute(name).as_string());
}

bool lf_writeFullSet(pugi::xml_node pos, const Stand& s)
{
    bool ok = lf_attr(pos, "latitude", vr::format("{:.6f}", s.latitude)) &&
              lf_attr(pos, "longitude", vr::format("{:.6f}", s.longitude)) &&
              lf_attr(pos, "heading", vr::format("{:.1f}", s.heading * kRadToDeg)) &&
              lf_attr(pos, "radius", vr::format("{:.1f}", s.radius * kNmToMetres));
    ok = ok && (s.heli ? lf_boolAttr(pos, "heli", true) : lf_boolAttr(pos, "cargo", s.cargo));
    ok = ok && lf_boolAttr(pos, "ramp", s.ramp);
    if (s.manual) ok = ok && lf_boolAttr(pos, "manual", true);
    return ok;
}

bool lf_writeChanges(pugi::xml_node pos, const Stand& s)
{
    bool ok = true;
    if (s.radiusChange)
        ok = lf_boolAttr(pos, "radius_change", true) &&
             lf_attr(pos, "radius", vr::format("{:.1f}", s.radius * kNmToMetres));
    if (s.cargoChange) ok = ok && lf_boolAttr(pos, "cargo_change", true) && lf_boolAttr(pos, "cargo", s.cargo);
    return ok;
}

bool lf_writeOpt(pugi::xml_node pos, const SlotRecord& r)
{
    pugi::xml_node opt = pos.append_child("opt");
    if (!opt || !lf_attr(opt, "reg", r.reg)) return false;
    if (!gf_findDbaseRecord(r.reg))
        if (!lf_attr(opt, "airl", r.airl) || !lf_attr(opt, "type", r.type)) return false;
    if (r.real == 0 && !lf_boolAttr(opt, "soft", true)) return false;
    if (!lf_attr(opt, "day", vr::format("{}", r.weekday)) || !lf_attr(opt, "hh", gf_bitsetToList(r.slots)))
        return false;
    if (!r.cs.empty() && !lf_attr(opt, "cs", r.cs2.empty() ? r.cs : r.cs + ":" + r.cs2)) return false;
    return true;
}

bool lf_writeStand(pugi::xml_node list, const Stand& s, StandFileMode mode, bool handmade)
{
    pugi::xml_node pos = list.append_child("parkpos");
    if (!pos || !lf_attr(pos, "id", s.name)) return false;
    bool ok = true;
    if (mode == StandFileMode::full || s.manual)
        ok = lf_writeFullSet(pos, s);
    else if (s.radiusChange || s.cargoChange)
        ok = lf_writeChanges(pos, s);
    else if (handmade)
        ok = lf_writeFullSet(pos, s);
    if (!ok || mode == StandFileMode::full) return ok;
    for (const SlotRecord& r : s.options)
        if (r.optionIndex != 0 && !r.fake && !lf_writeOpt(pos, r)) return false;
    return true;
}

bool lf_appendInt(pugi::xml_node params, std::string_view name, std::int64_t value)
{
    return appendParameterNode(params, std::string(name), vr::format("{}", value));
}

bool lf_appendBool(pugi::xml_node params, std::string_view name, bool value)
{
    return appendParameterNode(params, std::string(name), lf_boolText(value));
}

// ---- the text form -------------------------------------------------------
// The scan writes hundreds of files: the stands are written as text straight
// away, byte for byte what the document form (buildStandDocument) saves with
// the XML library's default format (a tab a level, " />" for an empty element,
// attribute values escaped as below).

void lf_textAttr(std::string& out, std::string_view name, std::string_view value)
{
    gf_appendXmlAttribute(out, name, value);
}

void lf_boolTextAttr(std::string& out, std::string_view name, bool value) { lf_textAttr(out, name, lf_boolText(value)); }

// A number attribute with a fixed count of decimals (the texts need no escaping).
void lf_fixedAttr(std::string& out, std::string_view name, double value, int decimals)
{
    char digits[kFixedTextRoom];
    const char* end = writeFixed(digits, value, decimals);
    out += ' ';
    out += name;
    out += "=\"";
    out.append(digits, static_cast<std::size_t>(end - digits));
    out += '"';
}

void lf_fullSetText(std::string& out, const Stand& s)
{
    lf_fixedAttr(out, "latitude", s.latitude, 6);
    lf_fixedAttr(out, "longitude", s.longitude, 6);
    lf_fixedAttr(out, "heading", s.heading * kRadToDeg, 1);
    lf_fixedAttr(out, "radius", s.radius * kNmToMetres, 1);
    if (s.heli) lf_boolTextAttr(out, "heli", true);
    else lf_boolTextAttr(out, "cargo", s.cargo);
    lf_boolTextAttr(out, "ramp", s.ramp);
    if (s.manual) lf_boolTextAttr(out, "manual", true);
}

void lf_changesText(std::string& out, const Stand& s)
{
    if (s.radiusChange) {
        lf_boolTextAttr(out, "radius_change", true);
        lf_fixedAttr(out, "radius", s.radius * kNmToMetres, 1);
    }
    if (s.cargoChange) {
        lf_boolTextAttr(out, "cargo_change", true);
        lf_boolTextAttr(out, "cargo", s.cargo);
    }
}

void lf_optText(std::string& out, const SlotRecord& r)
{
    out += "\t\t<opt";
    lf_textAttr(out, "reg", r.reg);
    if (!gf_findDbaseRecord(r.reg)) {
        lf_textAttr(out, "airl", r.airl);
        lf_textAttr(out, "type", r.type);
    }
    if (r.real == 0) lf_boolTextAttr(out, "soft", true);
    out += " day=\"";
    vr::format_to(std::back_inserter(out), "{}", r.weekday);
    out += '"';
    lf_textAttr(out, "hh", gf_bitsetToList(r.slots));
    if (!r.cs.empty()) lf_textAttr(out, "cs", r.cs2.empty() ? r.cs : r.cs + ":" + r.cs2);
    out += " />\n";
}

void lf_standText(std::string& out, const Stand& s, StandFileMode mode, bool handmade)
{
    out += "\t<parkpos";
    lf_textAttr(out, "id", s.name);
    if (mode == StandFileMode::full || s.manual)
        lf_fullSetText(out, s);
    else if (s.radiusChange || s.cargoChange)
        lf_changesText(out, s);
    else if (handmade)
        lf_fullSetText(out, s);
    const auto written = [](const SlotRecord& r) { return r.optionIndex != 0 && !r.fake; };
    if (mode == StandFileMode::full || std::none_of(s.options.begin(), s.options.end(), written)) {
        out += " />\n";
        return;
    }
    out += ">\n";
    for (const SlotRecord& r : s.options)
        if (written(r)) lf_optText(out, r);
    out += "\t</parkpos>\n";
}

pugi::xml_node lf_parameterNode(const pugi::xml_document& doc, std::string_view name)
{
    if (name.find('\'') != std::string_view::npos) return {};
    try {
        return doc.select_node(vr::format("/parameters/parameter[@name='{}']", name).c_str()).node();
    } catch (const pugi::xpath_exception& e) {
        logLine(e.what());
        return {};
    }
}

}  // namespace

std::string airportXmlName(const std::string& icao) { return icao + ".xml"; }

std::filesystem::path airportFileName(const std::string& icao) { return std::filesystem::path(icao + ".xml"); }

std::filesystem::path airportLinkFileName(const std::string& icao) { return std::filesystem::path(icao + ".txt"); }

std::string publisherFolderName(std::string publisher)
{
    for (char& c : publisher)
        if (c == '/' || c == '\\' || c == ':') c = '_';
    if (publisher.empty() || publisher == "." || publisher == "..") publisher = "_" + publisher;
    return publisher;
}

std::filesystem::path learnedFolderOf(const std::string& publisher)
{
    if (publisher == "stock") return learnedStockFolder;
    if (publisher == "simaddon") return learnedSimaddonFolder;
    return learnedThirdpartyFolder / publisherFolderName(publisher);
}

std::filesystem::path learnedFilePath(const std::string& reference, const std::string& publisher)
{
    if (reference.empty()) return {};
    const std::string learned = learnedFolder.generic_string();
    std::string text = reference;
    if (const std::size_t archive = text.find("archive"); archive != std::string::npos) {
        text.replace(archive, 7, learned);
        lf_replaceAll(text, "/", "\\");
    } else if (text.rfind("airports", 0) == 0) {
        // Add-on sceneries of that publisher keep their learning with the
        // simulator's add-ons.
        const std::string orbx = myOrbxFolder.generic_string();
        if (text.rfind(orbx, 0) == 0 || text.rfind("airports\\my_ORBX", 0) == 0) {
            text.replace(0, orbx.size(), learnedSimaddonFolder.generic_string());
        } else {
            text.replace(0, 8, learned);
            // The publisher as a folder name of its own (never empty, no separators).
            const std::string folder = "thirdparty\\" + publisherFolderName(publisher);
            if (const std::size_t p = text.find("my_thirdparty2024"); p != std::string::npos)
                text.replace(p, 17, folder);
            else if (const std::size_t q = text.find("my_thirdparty"); q != std::string::npos)
                text.replace(q, 13, folder);
        }
    } else {
        // A file elsewhere (a link to a scenery folder): the publisher's learned folder.
        return learnedFolderOf(publisher) / platform::toFsPath(reference).filename();
    }
    lf_replaceAll(text, "%20", " ");
    return platform::toFsPath(text);
}

bool readAirportLink(const std::filesystem::path& linkPath, std::string& reference)
{
    std::error_code ec;
    const std::filesystem::path path = lf_fsPath(linkPath);
    if (!std::filesystem::exists(path, ec)) return false;
    const std::vector<std::string> lines = gf_readTextFile(path);
    if (lines.empty()) return true;
    if (std::string found = airportLinkReference(lines.front()); !found.empty()) reference = std::move(found);
    return true;
}

std::string airportLinkReference(std::string line)
{
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    const std::size_t xml = line.rfind(".xml");
    if (xml == std::string::npos) return {};
    line.resize(xml + 4);
    return line;
}

bool isPlainAirportCode(std::string_view icao)
{
    return !icao.empty() && std::all_of(icao.begin(), icao.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
    });
}

std::string archivedReference(const std::string& icao) { return "archive/stock/" + airportXmlName(icao); }

bool downloadArchivedAirport(const std::string& icao)
{
    if (!isPlainAirportCode(icao)) return false;
    // Probed into a name of our own, so a user's file named like the airport stays.
    const std::filesystem::path probe = std::filesystem::path(".vrmt_probe_" + icao + ".xml");
    if (!downloadToFile(downloadFolderUrl() + archivedReference(icao), probe, true)) return false;
    std::filesystem::remove(probe);  // throws filesystem_error "remove" on failure
    return true;
}

bool haveAirportFile(const std::string& icao)
{
    if (!isPlainAirportCode(icao)) return false;
    std::error_code ec;
    for (const std::filesystem::path& folder : {myThirdpartyFolder, myOrbxFolder})
        for (const std::filesystem::path& name : {airportFileName(icao), airportLinkFileName(icao)})
            if (std::filesystem::exists(lf_fsPath(folder / name), ec)) return true;
    return downloadArchivedAirport(icao);
}

std::string locateArchivedAirport(const std::string& icao)
{
    if (!isPlainAirportCode(icao)) return {};
    std::error_code ec;
    for (const std::filesystem::path& folder : {myThirdpartyFolder, myOrbxFolder}) {
        std::string reference;
        if (readAirportLink(folder / airportLinkFileName(icao), reference) && !reference.empty()) return reference;
        const std::filesystem::path file = folder / airportFileName(icao);
        if (std::filesystem::exists(lf_fsPath(file), ec)) return file.generic_string();
    }
    if (downloadArchivedAirport(icao)) return archivedReference(icao);
    return {};
}

bool writeAirportHeader(pugi::xml_document& doc, const AirportFile& airport, StandFileMode mode)
{
    pugi::xml_node params = doc.append_child("parameters");
    if (!params) return false;
    const bool handmade = handmadeMark.load();
    bool ok = appendParameterNode(params, "airport_name", airport.airportName) &&
              appendParameterNode(params, "publisher", airport.publisher);
    if (handmade) ok = ok && appendParameterNode(params, "handmade", "true");
    if (handmade || mode == StandFileMode::full) ok = ok && lf_appendInt(params, "altitude", airport.altitude);
    ok = ok && lf_appendInt(params, "num_parkpos", static_cast<std::int64_t>(airport.stands.size()));
    if (handmade) ok = ok && lf_appendInt(params, "Qf_real", airport.qfReal) && lf_appendInt(params, "Qf_soft", airport.qfSoft);
    if (airport.publisher == "unknown") ok = ok && appendParameterNode(params, "BGLpath", airport.bglPath);
    if (mode == StandFileMode::learned) {
        ok = ok && lf_appendInt(params, standKeyLateralRange, RANGE.get()) &&
             lf_appendBool(params, standKeyAutoRange, AUTO_RANGE.get()) &&
             lf_appendInt(params, standKeyWeek, 27) &&  // a fixed mark, as every stored file holds it
             lf_appendBool(params, standKeyParkFake, PARK_FAKE.get()) &&
             lf_appendBool(params, standKeyParkSoft, PARK_SOFT.get()) &&
             lf_appendInt(params, standKeyParkingPercentage, parking_percentage.get()) &&
             lf_appendBool(params, standKeyInitialLoadOnly, INITIAL_LOAD_ONLY.get()) &&
             lf_appendInt(params, standKeyMaxFit, MAX_FIT.get()) &&
             lf_appendBool(params, standKeyRtParktrafficOnly, RT_PARKTRAFFIC_ONLY.get()) &&
             lf_appendInt(params, standKeyMaxLive, MAX_LIVE_SEL.get()) &&
             lf_appendBool(params, standKeyLearnSoft, LEARN_SOFT.get());
    }
    return ok;
}

bool buildStandDocument(pugi::xml_document& doc, const AirportFile& airport, StandFileMode mode)
{
    generatedFileSimulator.set("P3D");
    if (!writeMetaInfo(doc) || !writeAirportHeader(doc, airport, mode)) return false;
    pugi::xml_node list = doc.append_child("parkpositions");
    if (!list) return false;
    const bool handmade = handmadeMark.load();
    for (const Stand& s : airport.stands)
        if (!lf_writeStand(list, s, mode, handmade)) return false;
    return true;
}

bool standFileText(const AirportFile& airport, StandFileMode mode, std::string& out,
                   std::span<const std::uint32_t> order)
{
    out.clear();
    {
        // The small head goes through the document form; the stands, nearly all
        // of the file, are written as text.
        pugi::xml_document head;
        generatedFileSimulator.set("P3D");
        if (!writeMetaInfo(head) || !writeAirportHeader(head, airport, mode)) return false;
        gf_appendXmlDocument(out, head);
    }
    const std::size_t count = order.empty() ? airport.stands.size() : order.size();
    if (count == 0) {
        out += "<parkpositions />\n";
        return true;
    }
    out.reserve(out.size() + count * 128);
    out += "<parkpositions>\n";
    const bool handmade = handmadeMark.load();
    for (std::size_t i = 0; i < count; ++i)
        lf_standText(out, airport.stands[order.empty() ? i : order[i]], mode, handmade);
    out += "</parkpositions>\n";
    return true;
}

bool writeParkpositions(const AirportFile& airport, const std::filesystem::path& path, StandFileMode mode)
{
    std::string text;
    if (!standFileText(airport, mode, text)) return false;
    return gf_writeTextAtomically(text, lf_fsPath(path));
}

OptAttributes readOptAttributes(const pugi::xml_node& opt)
{
    OptAttributes a;
    const std::string cs = opt.attribute("cs").as_string();
    if (const std::size_t colon = cs.find(':'); colon != std::string::npos) {
        a.cs = cs.substr(0, colon);
        a.cs2 = cs.substr(colon + 1);
    } else {
        a.cs = cs;
    }
    const std::string reg = opt.attribute("reg").as_string();
    if (!reg.empty()) {
        if (std::optional<DbaseRecord> record = gf_findDbaseRecord(reg)) {
            a.airl = record->op.empty() ? record->airline : record->op;
            a.type = record->type;
            return a;
        }
    }
    a.airl = opt.attribute("airl").as_string();
    a.type = opt.attribute("type").as_string();
    return a;
}

SlotRecord readOptRecord(const pugi::xml_node& opt, std::uint32_t optionIndex, std::uint32_t source)
{
    OptAttributes a = readOptAttributes(opt);
    SlotRecord r;
    r.airl = std::move(a.airl);
    r.type = std::move(a.type);
    r.reg = opt.attribute("reg").as_string();
    r.cs = std::move(a.cs);
    r.cs2 = std::move(a.cs2);
    r.slots = gf_hours2bitset(opt.attribute("hh").as_string());
    r.optionIndex = optionIndex;
    r.weekday = static_cast<std::uint32_t>(opt.attribute("day").as_int());
    r.source = source;
    r.real = opt.attribute("soft").as_bool() ? 0 : 1;
    return r;
}

bool readParkpos(const pugi::xml_node& parkpos, const std::string& id, std::uint32_t source,
                 std::vector<Stand>& stands)
{
    const double latitude = lf_doubleAttr(parkpos, "latitude");
    const double longitude = lf_doubleAttr(parkpos, "longitude");
    if (latitude == 0.0 && longitude == 0.0) return false;
    const double radius = lf_doubleAttr(parkpos, "radius");
    const double heading = lf_doubleAttr(parkpos, "heading");
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || !std::isfinite(radius) || !std::isfinite(heading)) {
        logLineMarked(vr::format("parkpos {} skipped: latitude, longitude, heading or radius is not a number", id));
        return false;
    }
    std::vector<SlotRecord> options;
    std::uint32_t index = 1;
    for (pugi::xml_node opt = parkpos.child("opt"); opt; opt = opt.next_sibling("opt"))
        options.push_back(readOptRecord(opt, index++, source));
    options.shrink_to_fit();
    const StandKind kind{.cargo = parkpos.attribute("cargo").as_bool(),
                           .ramp = parkpos.attribute("ramp").as_bool(),
                           .heli = parkpos.attribute("heli").as_bool()};
    stands.push_back(Stand(id, std::move(options), latitude, longitude, heading * kDegToRad, radius, kind));
    // Kept through a handmade file, which is read whole, so a later plain
    // learned file still knows the stand was made by hand.
    stands.back().manual = parkpos.attribute("manual").as_bool();
    return true;
}

void readAllParkpos(const pugi::xml_node& list, std::uint32_t source, std::vector<Stand>& stands)
{
    std::unordered_set<std::string> ids;
    for (pugi::xml_node pos = list.child("parkpos"); pos; pos = pos.next_sibling("parkpos")) {
        std::string id = pos.attribute("id").as_string();
        if (!ids.insert(id).second)
            throw std::runtime_error(vr::format("Parking position {} appears more than once?", id));
        readParkpos(pos, id, source, stands);
    }
}

bool readStandFileMeta(const pugi::xml_document& doc)
{
    return readMetaInfo(doc, &metaAuthor) && readMetaInfo(doc, &metaDate) && readMetaInfo(doc, &metaVersion);
}

std::optional<bool> lf_getApfParameterBool(const pugi::xml_document& doc, std::string_view name)
{
    const pugi::xml_node node = lf_parameterNode(doc, name);
    if (!node) return std::nullopt;
    return node.attribute("value").as_bool();
}

std::optional<std::int32_t> lf_getApfParameterInt(const pugi::xml_document& doc, std::string_view name)
{
    const pugi::xml_node node = lf_parameterNode(doc, name);
    if (!node) return std::nullopt;
    return node.attribute("value").as_int();
}

std::optional<std::string> lf_getApfParameterString(const pugi::xml_document& doc, std::string_view name)
{
    const pugi::xml_node node = lf_parameterNode(doc, name);
    if (!node) return std::nullopt;
    return std::string(node.attribute("value").as_string());
}
