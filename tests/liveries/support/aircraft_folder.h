#pragma once
// Aircraft folders for the scanner tests: an aircraft.cfg with the model and
// texture folders and the flight-model files its sections name, and the
// aircraft database the scanner tests read.

#include <pugixml.hpp>

#include <filesystem>
#include <string>
#include <vector>

#include "core/support/scratch_folder.h"
#include "liveries/support/dbase_fixture.h"
#include "liveries/dbase.h"
#include "liveries/folder_scan.h"
#include "liveries/livery.h"
#include "liveries/regcodes.h"
#include "liveries/scan_reports.h"

// The minimal aircraft folder: two sections (a pax livery with a registration,
// a cargo livery), the model folder "model" (model= is empty), two texture
// folders and B738.air.
inline const std::string minimalAircraftCfg =
    "[fltsim.0]\n"
    "title=TEST B738 Alpha G-ABCD\n"
    "sim=B738\n"
    "model=\n"
    "texture=AAA\n"
    "atc_id=G-ABCD\n"
    "atc_parking_codes=AAAX\n"
    "atc_parking_types=GATE\n"
    "\n"
    "[fltsim.1]\n"
    "title=TEST B738 Cargo\n"
    "sim=B738\n"
    "texture=CGO\n"
    "atc_parking_codes=CGX\n"
    "atc_parking_types=RAMP,CARGO\n"
    "\n"
    "[General]\n"
    "atc_model=B738\n";

struct AircraftFolder {
    std::string cfg = minimalAircraftCfg;
    std::vector<std::string> folders = {"model", "texture.AAA", "texture.CGO"};
    std::vector<std::string> files = {"B738.air"};
    std::string cfgName = "aircraft.cfg";
};

// Creates `folder` with the aircraft.cfg (bytes as given) and the folders and
// files named; returns the aircraft.cfg path.
inline std::filesystem::path makeAircraftFolder(const std::filesystem::path& folder, const AircraftFolder& layout = {})
{
    std::filesystem::create_directories(folder);
    for (const auto& name : layout.folders) std::filesystem::create_directories(folder / name);
    for (const auto& name : layout.files) writeWholeFile(folder / name, "");
    const auto cfg = folder / layout.cfgName;
    writeWholeFile(cfg, layout.cfg);
    return cfg;
}

// The database of the scanner tests: the minimal one with T154 and GLID known
// too (B744 and B763 Heavy, B738 Large, C172 Light; the airlines AAA, BAW, CGX,
// EZY and ZZZ; the fix B73H -> B738; the registrations G-ABCD (AAA B738) and
// DABCD (DLH A320, operator EWG)).
inline std::string scanDbaseXml()
{
    std::string xml = minimalDbaseXml;
    xml.replace(xml.find("B763\"/></aircrafts>"), 4, "B763,T154,GLID");
    return xml;
}

// Reads the database text into the tables.
inline void loadDbase(const std::string& xml = scanDbaseXml())
{
    pugi::xml_document doc;
    ASSERT_TRUE(doc.load_string(xml.c_str()));
    gf_readDbaseDocument(doc);
}

// Empties what one scan leaves behind: the scanned Liveries, the handed-out and
// don't-use titles and every report list.
inline void resetScanState()
{
    ScannedLiveries.clear();
    lf_resetScanLists();
}

// A Livery as one comparable text: "airline|model|title|atcId|cargo".
inline std::string liveryText(const Livery& l)
{
    return l.airline + "|" + l.model + "|" + l.title + "|" + l.atcId + "|" + (l.cargo ? "cargo" : "pax");
}
