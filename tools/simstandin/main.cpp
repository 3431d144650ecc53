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
#include <utility>

#include "core/fmt.h"
#include "platform/clock.h"
#include "simstandin/fake_sim_server.h"

namespace {

std::atomic<bool> lf_stop{false};

void lf_onSignal(int)
{
    lf_stop = true;
}

void lf_usage()
{
    std::puts(
        "usage: vrmt-simstandin [--port4 N] [--port6 N] [--pipe-dir DIR] [--no-pipe] [--name TEXT]\n"
        "                       [--airport LAT LON ELEV_FT] [--seconds N] [--summary N]\n"
        "Serves the SimConnect protocol on 127.0.0.1, ::1 and the simulator's pipe socket.\n"
        "Prints every packet, or with --summary every N seconds one line: the AI aircraft\n"
        "in the world, how many moved since the line before, and the packets received.");
}

constexpr double lf_pi = 3.14159265358979323846;
constexpr double lf_nmPerDegLat = 60.0;

struct Script {
    double lat0, lon0, elevation;
};

// Where the user aircraft is t seconds into the script (repeats every 900 s):
// 0-60 parked, 60-180 taxi north at 15 kt, 180-780 a rectangular circuit at
// 1500 ft above the field at 120 kt, 780-900 taxi back and park.
void lf_place(const Script& s, double t, UserAcState& st, bool& onGround)
{
    const double cycle = std::fmod(t, 900.0);
    double northNm = 0, eastNm = 0, agl = 0, speed = 0, heading = 0;
    if (cycle < 60) {
        onGround = true;
    } else if (cycle < 180) {
        speed = 15;
        northNm = 15.0 * (cycle - 60) / 3600.0;
        onGround = true;
    } else if (cycle < 780) {
        const double u = (cycle - 180) / 600.0;  // 0..1 around a 3 x 2 nm rectangle (10 nm)
        const double d = u * 10.0;
        const double base = 0.5;
        speed = 120;
        onGround = false;
        agl = std::min(1500.0, 1500.0 * std::min(u, 1.0 - u) * 10.0);
        if (d < 3) {
            northNm = base + d, heading = 0;
        } else if (d < 5) {
            northNm = base + 3, eastNm = d - 3, heading = lf_pi / 2;
        } else if (d < 8) {
            northNm = base + 3 - (d - 5), eastNm = 2, heading = lf_pi;
        } else {
            northNm = base, eastNm = 2 - (d - 8), heading = 1.5 * lf_pi;
        }
    } else {
        speed = 15;
        heading = lf_pi;
        northNm = std::max(0.0, 0.5 - 15.0 * (cycle - 780) / 3600.0);
        onGround = true;
    }
    st.latitude = s.lat0 + northNm / lf_nmPerDegLat;
    st.longitude = s.lon0 + eastNm / (lf_nmPerDegLat * std::cos(s.lat0 * lf_pi / 180.0));
    st.altitude = s.elevation + agl;
    st.altAboveGround = agl;
    st.groundVelocity = speed;
    st.heading = heading;
}

// One summary line: the AI aircraft, how many moved since `last` (updated), the packets.
std::string lf_summary(const std::vector<simstandin::AiObject>& objects, std::map<std::uint32_t, std::pair<double, double>>& last,
                       std::size_t packets, double t)
{
    std::map<std::uint32_t, std::pair<double, double>> now;
    int moving = 0;
    for (const auto& o : objects) {
        if (o.foreign) continue;
        now[o.id] = {o.latitude, o.longitude};
        const auto it = last.find(o.id);
        if (it != last.end() && (std::abs(it->second.first - o.latitude) > 1e-7 ||
                                 std::abs(it->second.second - o.longitude) > 1e-7))
            ++moving;
    }
    last = std::move(now);
    return vr::format("[{:6.0f} s] AI aircraft: {}, moving: {}, packets: {}", t, last.size(), moving, packets);
}

}  // namespace

int main(int argc, char** argv)
{
    simstandin::StandInOptions options;
    Script script{47.4647, 8.5492, 1416.0};
    double seconds = 0;
    double summaryEvery = 0;
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
        else if (a == "--airport") {
            script.lat0 = std::atof(next());
            script.lon0 = std::atof(next());
            script.elevation = std::atof(next());
        } else {
            lf_usage();
            return a == "--help" ? 0 : 2;
        }
    }

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

    using namespace std::chrono;
    const auto start = platform::steadyNow();
    auto nextSecond = start + 1s;
    bool simStarted = false;
    auto nextSummary = start + duration_cast<steady_clock::duration>(duration<double>(summaryEvery));
    std::map<std::uint32_t, std::pair<double, double>> lastPositions;
    while (!lf_stop) {
        const double t = duration<double>(platform::steadyNow() - start).count();
        if (seconds > 0 && t >= seconds) break;
        auto user = server.user();
        lf_place(script, t, user.state, user.onGround);
        user.state.zuluTime = static_cast<std::int64_t>(43200 + t) % 86400;
        server.setUser(user);
        if (server.clientConnected()) {
            if (!simStarted) simStarted = server.sendSim(true);
            server.sendFrame(30.0f, 1.0f);
        } else {
            simStarted = false;
        }
        if (platform::steadyNow() >= nextSecond) {
            server.tickSecond();
            nextSecond += 1s;
        }
        if (summaryEvery > 0 && platform::steadyNow() >= nextSummary) {
            // The record of packets is emptied each time, so a long run does not grow.
            const std::size_t packets = server.packetCount();
            server.clearPackets();
            std::printf("%s\n", lf_summary(server.aiObjects(), lastPositions, packets, t).c_str());
            std::fflush(stdout);
            nextSummary += duration_cast<steady_clock::duration>(duration<double>(summaryEvery));
        }
        platform::sleepFor(33ms);
    }
    server.stop();
    return 0;
}
