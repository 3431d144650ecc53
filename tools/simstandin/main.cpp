// vrmt-simstandin: the simulator stand-in as a program. It listens where it
// says, logs every packet it receives, and flies a scripted user aircraft:
// parked, then taxiing, then a circuit at the airport, then parked again.

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "core/fmt.h"
#include "platform/clock.h"
#include "simstandin/fake_sim_server.h"
#include "simstandin/world_loop.h"

namespace {

std::atomic<bool> lf_stop{false};
std::atomic<bool> lf_restartRecord{false};

void lf_onSignal(int)
{
    lf_stop = true;
}

void lf_onRecordSignal(int)
{
    lf_restartRecord = true;
}

void lf_usage()
{
    std::puts(
        "usage: vrmt-simstandin [--port4 N] [--port6 N] [--pipe-dir DIR] [--no-pipe] [--name TEXT]\n"
        "                       [--airport LAT LON ELEV_FT] [--seconds N] [--summary N] [--record FILE]\n"
        "                       [--user-stand NORTH_NM EAST_NM] [--user-aloft FT KT] [--stale-on-ground]\n"
        "                       [--record-window]\n"
        "Serves the SimConnect protocol on 127.0.0.1, ::1 and the simulator's pipe socket.\n"
        "Prints every packet, or with --summary every N seconds one line: the AI aircraft\n"
        "in the world, how many moved since the line before, and the packets received.\n"
        "--record FILE writes, when it ends, every AI aircraft's creation and position stream\n"
        "with time stamps, and when each frame was sent, for the motion judge:\n"
        "vrmt-motiontrace --judge-file FILE.\n"
        "--record-window keeps no positions until the signal USR1, and on each USR1 starts\n"
        "the record anew (the aircraft already there start where they are then): a record\n"
        "of a window of a long run, up to its end.\n"
        "--user-stand parks the user aircraft NORTH_NM and EAST_NM from the airport (default\n"
        "0 0); its taxi and circuit go with it.\n"
        "--user-aloft flies the user aircraft throughout at FT feet and KT knots, round a\n"
        "circle of 6 nm about the airport (moved by --user-stand).\n"
        "--stale-on-ground keeps each AI aircraft's on-ground flag as it was created (a\n"
        "simulator whose flag is wrong); its height above ground still follows its positions.");
}

// One summary line: the AI aircraft, how many moved since `last` (updated), the packets.
std::string lf_summary(const std::vector<simstandin::AiObject>& objects,
                       std::map<std::uint32_t, std::pair<double, double>>& last, std::size_t packets, double t)
{
    std::map<std::uint32_t, std::pair<double, double>> now;
    int moving = 0;
    for (const auto& o : objects) {
        if (o.foreign) continue;
        now[o.id] = {o.latitude, o.longitude};
        const auto it = last.find(o.id);
        if (it != last.end() &&
            (std::abs(it->second.first - o.latitude) > 1e-7 || std::abs(it->second.second - o.longitude) > 1e-7))
            ++moving;
    }
    last = std::move(now);
    return vr::format("[{:6.0f} s] AI aircraft: {}, moving: {}, packets: {}", t, last.size(), moving, packets);
}

// Every `every` seconds a summary line, until `stop`. The record of packets is
// emptied each time, so a long run does not grow.
void lf_summaries(simstandin::FakeSimServer& server, double every, const std::atomic<bool>& stop)
{
    using namespace std::chrono;
    const auto start = platform::steadyNow();
    const auto period = duration_cast<steady_clock::duration>(duration<double>(every));
    auto due = start + period;
    std::map<std::uint32_t, std::pair<double, double>> last;
    while (!stop) {
        platform::sleepFor(100ms);
        if (platform::steadyNow() < due) continue;
        due += period;
        const std::size_t packets = server.packetCount();
        server.clearPackets();
        const double t = duration<double>(platform::steadyNow() - start).count();
        std::printf("%s\n", lf_summary(server.aiObjects(), last, packets, t).c_str());
        std::fflush(stdout);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    simstandin::StandInOptions options;
    simstandin::WorldScript script;
    double seconds = 0;
    double summaryEvery = 0;
    std::string recordTo;
    bool recordWindow = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> const char* {
            if (i + 1 >= argc) {
                lf_usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (a == "--port4") options.portIPv4 = static_cast<std::uint16_t>(std::atoi(next()));
        else if (a == "--port6") options.portIPv6 = static_cast<std::uint16_t>(std::atoi(next()));
        else if (a == "--pipe-dir") platform::net::setPipeDirectory(next());
        else if (a == "--no-pipe") options.listenPipe = false;
        else if (a == "--name") options.simName = next();
        else if (a == "--seconds") seconds = std::atof(next());
        else if (a == "--summary") summaryEvery = std::atof(next());
        else if (a == "--record") recordTo = next();
        else if (a == "--record-window") recordWindow = true;
        else if (a == "--user-stand") {
            script.userNorthNm = std::atof(next());
            script.userEastNm = std::atof(next());
        } else if (a == "--user-aloft") {
            script.aloftFt = std::atof(next());
            script.aloftKt = std::atof(next());
        } else if (a == "--stale-on-ground") options.holdOnGroundFlags = true;
        else if (a == "--airport") {
            script.lat0 = std::atof(next());
            script.lon0 = std::atof(next());
            script.elevation = std::atof(next());
        } else {
            lf_usage();
            return a == "--help" ? 0 : 2;
        }
    }

    options.recordTracks = !recordTo.empty() && !recordWindow;  // a long run without --record keeps no tracks
    simstandin::FakeSimServer server(options);
    if (summaryEvery <= 0) {
        server.setPacketObserver([](const simstandin::RecordedPacket& p) {
            std::printf("%s\n", p.describe().c_str());
            std::fflush(stdout);
        });
    }
    if (!server.start()) {
        std::fprintf(stderr, "vrmt-simstandin: cannot listen\n");
        return 1;
    }
    std::printf("%s\n", vr::format("listening: IPv4 127.0.0.1:{}  IPv6 [::1]:{}  pipe {}", server.portIPv4(),
                                   server.portIPv6(),
                                   options.listenPipe ? platform::net::pipeSocketPath(options.pipeName).string()
                                                      : std::string("(none)"))
                            .c_str());
    std::printf("%s\n", vr::format("SimConnect.cfg to reach it over TCP: [SimConnect] Protocol=IPv4 "
                                   "Address=127.0.0.1 Port={}",
                                   server.portIPv4())
                            .c_str());
    std::fflush(stdout);
    std::signal(SIGINT, lf_onSignal);
    std::signal(SIGTERM, lf_onSignal);
    if (recordWindow) std::signal(SIGUSR1, lf_onRecordSignal);

    std::atomic<bool> worldEnded{false};
    std::thread summaries;
    if (summaryEvery > 0) summaries = std::thread([&] { lf_summaries(server, summaryEvery, worldEnded); });
    std::thread windows;
    if (recordWindow && !recordTo.empty()) {
        windows = std::thread([&] {
            while (!worldEnded) {
                if (lf_restartRecord.exchange(false)) server.restartTracks();
                platform::sleepFor(std::chrono::milliseconds(20));
            }
        });
    }
    simstandin::runWorldLoop(server, script, lf_stop, seconds);
    worldEnded = true;
    if (summaries.joinable()) summaries.join();
    if (windows.joinable()) windows.join();
    server.stop();
    if (!recordTo.empty()) {
        if (!server.writeTracks(recordTo)) {
            std::fprintf(stderr, "vrmt-simstandin: cannot write %s\n", recordTo.c_str());
            return 1;
        }
        std::printf("%s\n", vr::format("{} AI aircraft recorded in {}", server.tracks().size(), recordTo).c_str());
    }
    return 0;
}
