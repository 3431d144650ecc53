// Airport stand files, learned files, link files and airports_p3d.xml come from
// users, add-on publishers and the download site: any bytes must load, merge and
// be written back without a crash, and every stand kept must be usable.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "airports/airport_list.h"
#include "airports/airport_load.h"
#include "airports/learned_merge.h"
#include "airports/stand_file.h"
#include "core/errors.h"

namespace {

void lf_checkStands(const std::vector<Stand>& stands)
{
    for (const Stand& s : stands) {
        if (!std::isfinite(s.latitude) || !std::isfinite(s.longitude) || !std::isfinite(s.radius) ||
            !std::isfinite(s.heading))
            std::abort();
        for (std::uint32_t sid : s.conflictingStands)
            if (sid == 0 || sid > stands.size() || sid == s.sid) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    pugi::xml_document doc;
    const bool loaded = bool(doc.load_buffer(data, size));

    // As an airport file, then the same bytes as its learned file.
    std::vector<Stand> stands;
    AirportHeader header;
    if (loaded) {
        try {
            if (lf_readApfDocument(doc, "airports/FUZZ.xml", header, stands).empty()) {
                handmadeMark = false;
                lf_mergeLearnedDocument(doc, "airports/learned/FUZZ.xml", header, stands);
                lf_numberAndFindConflicts(stands);
                lf_checkStands(stands);
                header.qf = computeQualityFactors(stands);
                AirportFile file{.airportName = header.airportName, .publisher = header.publisher,
                                 .qfReal = header.qf.first, .qfSoft = header.qf.second, .altitude = header.altitude,
                                 .stands = std::move(stands)};
                pugi::xml_document out;
                if (!buildStandDocument(out, file, StandFileMode::learned)) std::abort();
            }
        } catch (const std::runtime_error&) {
            // A duplicate id or a missing altitude: the load's error text.
        }
    }

    // As airports_p3d.xml.
    resetAirportList();
    if (loaded) {
        try {
            readAirportsDocument(doc, "input/airports_p3d.xml");
            for (const Airport& a : airportList)
                if (findAirport(a.code) == nullptr) std::abort();
        } catch (const qxv::UserErrorException&) {
        }
    }
    resetAirportList();

    // As a link file.
    const std::string reference = airportLinkReference(std::string(bytes.substr(0, bytes.find('\n'))));
    if (!reference.empty() && reference.size() < 4) std::abort();
    return 0;
}
