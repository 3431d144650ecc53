// vrmt-enginedemo: the traffic engine beside a simulator and a live-traffic
// service (by hand: vrmt-simstandin and vrmt-servicestandin). It connects the
// simulator layer, logs in at the service, runs the traffic reader and ticks
// the engine every 10 ms, printing the live aircraft by state every few seconds.
// Exit code 1 when the simulator or the service does not answer.

#include <atomic>
#include <csignal>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "engine_demo.h"
#include "platform/net.h"

namespace {

std::atomic<bool> lf_stop{false};

void lf_onSignal(int)
{
    lf_stop = true;
}

constexpr const char* lf_usage =
    "usage: vrmt-enginedemo [--service URL] [--pipe-dir DIR] [--airport ICAO,lat,lon[,elevationFt]]\n"
    "                       [--seconds N] [--max-live N] [--status-every N]\n"
    "Runs the traffic engine against a simulator (SimConnect.cfg, by default the simulator's pipe in\n"
    "DIR) and a live-traffic service (default http://127.0.0.1:8080) for N seconds (default 60).\n"
    "The airport is the park airport and must be the service stand-in's (default EHAM).\n"
    "Writes Log.txt in the current folder.\n";

std::vector<std::string> lf_split(const std::string& s, char c)
{
    std::vector<std::string> out;
    std::stringstream ss(s);
    std::string part;
    while (std::getline(ss, part, c)) out.push_back(part);
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    EngineDemoOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            std::fputs(lf_usage, stdout);
            return 0;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "%s needs a value\n%s", a.c_str(), lf_usage);
            return 2;
        }
        const std::string v = argv[++i];
        try {
            if (a == "--service") {
                options.serviceUrl = v;
            } else if (a == "--pipe-dir") {
                platform::net::setPipeDirectory(v);
            } else if (a == "--seconds") {
                options.seconds = std::stod(v);
            } else if (a == "--max-live") {
                options.maxLiveSel = std::stoi(v);
            } else if (a == "--status-every") {
                options.statusEverySeconds = std::stod(v);
            } else if (a == "--airport") {
                const auto parts = lf_split(v, ',');
                if (parts.size() < 3) throw std::invalid_argument("ICAO,lat,lon expected");
                options.airport.code = parts[0];
                options.airport.iata.clear();
                options.airport.lat = std::stod(parts[1]);
                options.airport.lon = std::stod(parts[2]);
                options.airport.elevationFt = parts.size() > 3 ? std::stod(parts[3]) : 0.0;
            } else {
                std::fprintf(stderr, "unknown option %s\n%s", a.c_str(), lf_usage);
                return 2;
            }
        } catch (const std::exception& e) {
            std::fprintf(stderr, "bad value for %s: %s\n", a.c_str(), e.what());
            return 2;
        }
    }
    std::signal(SIGINT, lf_onSignal);
    std::signal(SIGTERM, lf_onSignal);
    options.stop = &lf_stop;
    return runEngineDemo(options).exitCode;
}
