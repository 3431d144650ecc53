// vrmt-standplot: the parking layout of an airport, as the program loads it.
// Run it in a program folder (the one holding airports/): it reads the
// airport's stand file and learned file exactly as a park airport is loaded
// (Log.txt in the current folder says what happened) and draws the stands.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "airports/airport_load.h"
#include "airports/stand_file.h"
#include "core/fmt.h"
#include "core/log.h"
#include "engine/stand.h"
#include "png_image.h"

namespace {

void lf_usage()
{
    std::puts(
        "usage: vrmt-standplot [--airport ICAO] [--reference REF] [--out FILE] [--size PIXELS] [--demo]\n"
        "Loads the airport's stands as the program does (REF, else what my_thirdparty, my_ORBX or\n"
        "the download site has) from the current folder and draws them into FILE (stands.png):\n"
        "a circle of the stand's radius and its heading; red lines join overlapping stands;\n"
        "green: stand-use records, blue: helipad, orange: cargo, grey: ramp.\n"
        "--demo first writes a small airport DEMO (airports/DEMO.xml and its learned file).");
}

void lf_writeDemo()
{
    std::filesystem::create_directories("airports/learned");
    std::string stands;
    int n = 0;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 8; ++col) {
            const double lat = 52.3 + row * 0.0006;
            const double lon = 4.76 + col * 0.0005 * (row == 1 ? 1.1 : 1.0);
            const double radius = row == 2 ? 36.0 : 18.0 + col;
            stands += vr::format(R"(<parkpos id="G{}" latitude="{:.6f}" longitude="{:.6f}" heading="{:.1f}" )"
                                 R"(radius="{:.1f}" cargo="{}" ramp="{}"/>)"
                                 "\n",
                                 ++n, lat, lon, row == 2 ? 180.0 : 0.0, radius, row == 2 ? "true" : "false",
                                 row == 0 && col > 5 ? "true" : "false");
        }
    stands += R"(<parkpos id="H1" latitude="52.299200" longitude="4.761000" heading="90.0" radius="12.0" heli="true" ramp="false"/>)";
    const std::string meta =
        R"(<meta><info name="author" value="VRMT_P3D"/><info name="version" value="11.0.3"/><info name="date" value="demo"/></meta>)";
    std::ofstream("airports/DEMO.xml")
        << meta << "\n<parameters><parameter name=\"airport_name\" value=\"Demo\"/>"
        << "<parameter name=\"publisher\" value=\"unknown\"/><parameter name=\"altitude\" value=\"10\"/></parameters>\n"
        << "<parkpositions>\n" << stands << "\n</parkpositions>\n";
    std::ofstream("airports/learned/DEMO.xml")
        << meta << "\n<parameters><parameter name=\"airport_name\" value=\"Demo\"/></parameters>\n<parkpositions>\n"
        << R"(<parkpos id="G3"><opt reg="PH-BXA" airl="KLM" type="B738" day="3" hh="14,15"/></parkpos>)" << "\n"
        << R"(<parkpos id="G12" radius_change="true" radius="30.0"/>)" << "\n"
        << R"(<parkpos id="M1" latitude="52.301500" longitude="4.766000" heading="45.0" radius="25.0" cargo="false" ramp="false" manual="true"/>)"
        << "\n</parkpositions>\n";
}

}  // namespace

int main(int argc, char** argv)
{
    std::string icao = "EHAM";
    std::string reference;
    std::string out = "stands.png";
    int size = 1000;
    bool demo = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool more = i + 1 < argc;
        if (a == "--airport" && more) {
            icao = argv[++i];
        } else if (a == "--reference" && more) {
            reference = argv[++i];
        } else if (a == "--out" && more) {
            out = argv[++i];
        } else if (a == "--size" && more) {
            size = std::clamp(std::atoi(argv[++i]), 100, 8000);
        } else if (a == "--demo") {
            demo = true;
            icao = "DEMO";
        } else {
            lf_usage();
            return a == "--help" ? 0 : 2;
        }
    }
    gf_openLog();
    if (demo) {
        lf_writeDemo();
        reference = "airports/DEMO.xml";
    }
    if (reference.empty()) reference = locateArchivedAirport(icao);
    if (reference.empty()) {
        std::printf("no stand file for %s\n", icao.c_str());
        return 1;
    }
    setCurrentParkAirport({.code = icao, .iata = "", .lat = 0.0, .lon = 0.0, .elevationFt = 0.0});
    AirportHeader header;
    if (const std::string error = gf_readApf(reference, header); !error.empty()) {
        std::printf("%s\n", error.c_str());
        return 1;
    }
    if (stands.empty()) {
        std::printf("%s has no stands\n", icao.c_str());
        return 1;
    }

    double minLat = 90, maxLat = -90, minLon = 180, maxLon = -180;
    for (const Stand& s : stands) {
        minLat = std::min(minLat, s.latitude);
        maxLat = std::max(maxLat, s.latitude);
        minLon = std::min(minLon, s.longitude);
        maxLon = std::max(maxLon, s.longitude);
    }
    // Metres east and north of the south-west corner, scaled into the picture.
    const double metresPerDegLat = 60.0 * 1852.0;
    const double metresPerDegLon = metresPerDegLat * std::cos((minLat + maxLat) / 2.0 * kDegToRad);
    const double extent = std::max({(maxLat - minLat) * metresPerDegLat, (maxLon - minLon) * metresPerDegLon, 50.0});
    const double margin = 60.0;
    const double scale = (size - 2 * margin) / extent;  // pixels per metre
    auto px = [&](double lon) { return static_cast<int>(std::lround(margin + (lon - minLon) * metresPerDegLon * scale)); };
    auto py = [&](double lat) {
        return static_cast<int>(std::lround(size - margin - (lat - minLat) * metresPerDegLat * scale));
    };

    PngImage image(size, size, {255, 255, 255});
    for (const Stand& s : stands)
        for (std::uint32_t other : s.conflictingStands)
            if (const Stand* o = findStandById(other); o && other > s.sid)
                image.line(px(s.longitude), py(s.latitude), px(o->longitude), py(o->latitude), {220, 30, 30});
    for (const Stand& s : stands) {
        const int x = px(s.longitude);
        const int y = py(s.latitude);
        const int r = std::max(2, static_cast<int>(std::lround(s.radius * kNmToMetres * scale)));
        if (!s.options.empty()) image.disc(x, y, r, {190, 235, 190});
        const Rgb ring = s.heli ? Rgb{40, 80, 220} : s.cargo ? Rgb{230, 140, 20} : s.ramp ? Rgb{130, 130, 130} : Rgb{0, 0, 0};
        image.circle(x, y, r, ring);
        if (s.manual) image.circle(x, y, r + 2, ring);
        image.line(x, y, x + static_cast<int>(std::lround(r * std::sin(s.heading))),
                   y - static_cast<int>(std::lround(r * std::cos(s.heading))), ring);
    }
    if (!image.save(out)) {
        std::printf("could not write %s\n", out.c_str());
        return 1;
    }
    std::printf("%s: %zu stands of %s drawn into %s (%.0f m across)\n", icao.c_str(), stands.size(),
                header.airportName.c_str(), out.c_str(), extent);
    closeLog();
    return 0;
}
