// vrmt-servicestandin: serves a synthetic traffic scene on loopback, and the
// program's download site from a folder.
//   vrmt-servicestandin [--port N] [--airport ICAO,lat,lon[,elevationFt,runwayHeading]]
//                       [--per-role N] [--sites N] [--holding N] [--light N] [--light-departures N] [--rrl ms]
//                       [--wrrl ms] [--downloads DIR] [--fault ROUTE=KIND]... [--record FILE]
// Try: curl -d 'GUID=x&top=53&bottom=52&left=4&right=5.5&querytype=locationtraffic&toffset=0'
//      http://127.0.0.1:PORT/v4/traffic

#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "scene.h"
#include "service_standin.h"

namespace {

volatile std::sig_atomic_t gStop = 0;
void onSignal(int) { gStop = 1; }

std::vector<std::string> split(const std::string& s, char c)
{
    std::vector<std::string> out;
    std::stringstream ss(s);
    std::string part;
    while (std::getline(ss, part, c)) out.push_back(part);
    return out;
}

constexpr const char* usage =
    "usage: vrmt-servicestandin [--port N] [--airport ICAO,lat,lon[,elevationFt,runwayHeading]]\n"
    "                           [--per-role N] [--sites N] [--holding N] [--light N] [--light-departures N] [--rrl ms]\n"
    "                           [--wrrl ms] [--downloads DIR] [--fault ROUTE=KIND]... [--record FILE]\n"
    "Serves a synthetic live-traffic scene on 127.0.0.1 (default port 8080; 0: any\n"
    "free port, printed). --per-role: planes approaching, landing, taxiing, parked,\n"
    "pushing back and departing, each (default 3); --holding: planes circling above\n"
    "the airport for as long as it runs (default 0); --light: light planes seen by\n"
    "multilateration (a fix every 4 s, no airspeed), circling low 1 to 20 nm out at\n"
    "60 to 90 kt (default 0); --light-departures: light planes seen so that depart\n"
    "from a strip beside the runway every 600 s and climb away slowly at 65 to 80 kt\n"
    "(default 0); --sites: the landing, taxiing, parked, pushing back and departing\n"
    "planes spread over that many fields (the airport and fields on rings 3.5, 6.1, ...\n"
    "nm round it), each with its share of every role, clear of each other (default 1).\n"
    "With --downloads,\n"
    "GET /downloads/<path> answers with the file DIR/<path> (the download site:\n"
    "versions.json, the data files, P3D/...).\n"
    "--fault answers every request of ROUTE (auth, deauth, traffic.live, weather, ...,\n"
    "or a path such as /downloads/dbase.enc) with KIND: 5xx (HTTP 503), garbage\n"
    "(status 200, bytes that are no answer), cut (the body cut in the middle) or hang.\n"
    "--record FILE writes, when it ends, where every plane was served, a line a second\n"
    "(the feed for vrmt-motiontrace --judge-file ... --feed FILE).\n";

// The answer of a scripted fault; false for an unknown kind.
bool faultReply(const std::string& kind, standin::Reply& reply)
{
    using standin::Reply;
    if (kind == "5xx") reply = Reply::text("<html>503 Service Unavailable</html>", 503);
    else if (kind == "garbage") reply = Reply::bytes("<html>Please log in to the network</html>");
    else if (kind == "cut") reply = Reply::cutBytes(std::string(200000, 'x'));
    else if (kind == "hang") reply = Reply::hang();
    else return false;
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int port = 8080, perRole = 3, sites = 1, holding = 0, light = 0, lightDepartures = 0, rrl = 2000, wrrl = 2000;
    standin::SceneAirport airport;
    std::string downloads, recordTo;
    std::vector<std::pair<std::string, standin::Reply>> faults;
    for (int i = 1; i < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--help" || opt == "-h") {
            std::fputs(usage, stdout);
            return 0;
        }
        if (i + 1 == argc) {
            std::fprintf(stderr, "%s needs a value\n%s", opt.c_str(), usage);
            return 2;
        }
        const std::string val = argv[i + 1];
        try {
            if (opt == "--port") {
                port = std::stoi(val);
            } else if (opt == "--per-role") {
                perRole = std::stoi(val);
            } else if (opt == "--sites") {
                sites = std::stoi(val);
                if (sites < 1) throw std::invalid_argument("at least 1");
            } else if (opt == "--holding") {
                holding = std::stoi(val);
            } else if (opt == "--light") {
                light = std::stoi(val);
            } else if (opt == "--light-departures") {
                lightDepartures = std::stoi(val);
            } else if (opt == "--rrl") {
                rrl = std::stoi(val);
            } else if (opt == "--wrrl") {
                wrrl = std::stoi(val);
            } else if (opt == "--downloads") {
                downloads = val;
            } else if (opt == "--record") {
                recordTo = val;
            } else if (opt == "--fault") {
                const auto eq = val.find('=');
                standin::Reply reply;
                if (eq == std::string::npos || !faultReply(val.substr(eq + 1), reply))
                    throw std::invalid_argument("ROUTE=KIND expected, KIND one of 5xx, garbage, cut, hang");
                faults.emplace_back(val.substr(0, eq), reply);
            } else if (opt == "--airport") {
                const auto parts = split(val, ',');
                if (parts.size() < 3) throw std::invalid_argument("ICAO,lat,lon expected");
                airport.icao = parts[0];
                airport.lat = std::stod(parts[1]);
                airport.lon = std::stod(parts[2]);
                if (parts.size() > 3) airport.elevationFt = std::stod(parts[3]);
                if (parts.size() > 4) airport.runwayHeadingDeg = std::stod(parts[4]);
            } else {
                std::fprintf(stderr, "unknown option %s\n%s", opt.c_str(), usage);
                return 2;
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bad value for %s: %s\n", opt.c_str(), e.what());
            return 2;
        }
    }
    standin::FakeTrafficService service;
    service.setIntervals(rrl, wrrl);
    service.setRequestLimit(1000);  // a record of every request would grow for as long as it runs
    const auto scene =
        std::make_shared<standin::Scene>(airport, perRole, [] { return platform::wallSeconds(); }, holding, light,
                                         lightDepartures, sites);
    service.setScene(scene);
    const double startedAt = platform::wallSeconds();
    if (!downloads.empty()) service.setDownloadFolder(downloads);
    for (const auto& [route, reply] : faults)
        service.setHandler(route, [reply = reply](const standin::Request&) { return reply; });
    try {
        service.start(port);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::printf("service stand-in at %s, scene around %s (%.4f, %.4f)\n", service.baseUrl().c_str(),
                airport.icao.c_str(), airport.lat, airport.lon);
    if (!downloads.empty()) std::printf("downloads at %s/downloads/ from %s\n", service.baseUrl().c_str(), downloads.c_str());
    std::fflush(stdout);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    while (!gStop) platform::sleepFor(std::chrono::milliseconds(100));
    service.stop();
    if (!recordTo.empty()) {
        // The buffered start reaches 24 s back, a time offset further: two minutes cover it.
        std::ofstream out(recordTo, std::ios::binary | std::ios::trunc);
        out << scene->feedCsv(std::floor(startedAt) - 120.0, platform::wallSeconds());
        if (!out) {
            std::fprintf(stderr, "vrmt-servicestandin: cannot write %s\n", recordTo.c_str());
            return 1;
        }
        std::printf("the feed served recorded in %s\n", recordTo.c_str());
    }
    return 0;
}
