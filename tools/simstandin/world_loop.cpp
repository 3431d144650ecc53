#include "simstandin/world_loop.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "platform/clock.h"

namespace simstandin {
namespace {
constexpr double lf_pi = 3.14159265358979323846;
constexpr double lf_nmPerDegLat = 60.0;
}  // namespace

// Where the user aircraft is t seconds into the script (repeats every 900 s):
// 0-60 parked, 60-180 taxi north at 15 kt, 180-780 a rectangular circuit at
// 1500 ft above the field at 120 kt, 780-900 taxi back and park; all of it
// from the user's stand (the script's user offset from the reference point).
// Or, with an altitude aloft, the circle flown throughout.
void placeUser(const WorldScript& s, double t, UserAcState& st, bool& onGround)
{
    const double cycle = std::fmod(t, 900.0);
    double northNm = 0, eastNm = 0, agl = 0, speed = 0, heading = 0;
    if (s.aloftFt > 0) {
        const double around = t * s.aloftKt / 3600.0 / s.aloftRadiusNm;  // rad, clockwise from north
        northNm = s.aloftRadiusNm * std::cos(around);
        eastNm = s.aloftRadiusNm * std::sin(around);
        heading = std::fmod(around + lf_pi / 2, 2 * lf_pi);
        speed = s.aloftKt;
        agl = std::max(0.0, s.aloftFt - s.elevation);
        onGround = false;
    } else if (cycle < 60) {
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
    northNm += s.userNorthNm;
    eastNm += s.userEastNm;
    st.latitude = s.lat0 + northNm / lf_nmPerDegLat;
    st.longitude = s.lon0 + eastNm / (lf_nmPerDegLat * std::cos(s.lat0 * lf_pi / 180.0));
    st.altitude = s.elevation + agl;
    st.altAboveGround = agl;
    st.groundVelocity = speed;
    st.heading = heading;
}


void runWorldLoop(FakeSimServer& server, const WorldScript& script, const std::atomic<bool>& stop, double seconds)
{
    using namespace std::chrono;
    const auto start = platform::steadyNow();
    auto nextSecond = start + 1s;
    // A frame every 1/30 s on a fixed schedule, as a simulator held at 30 frames
    // a second: the loop's own work and a late wake do not stretch the frames
    // after them. Behind (the machine was busy), the next frame comes half a
    // frame after this one at the soonest, as a simulator's frame takes its
    // time to draw: the frames missed are not sent in a burst.
    const auto framePeriod = duration_cast<steady_clock::duration>(duration<double>(1.0 / 30.0));
    auto nextFrame = start;
    bool simStarted = false;
    while (!stop) {
        const double t = duration<double>(platform::steadyNow() - start).count();
        if (seconds > 0 && t >= seconds) break;
        auto user = server.user();
        placeUser(script, t, user.state, user.onGround);
        user.groundAltitude = script.elevation;  // the flat world's ground: the AI objects' too
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
        nextFrame = std::max(nextFrame + framePeriod, platform::steadyNow() + framePeriod / 2);
        platform::clock().sleepUntil(nextFrame);
    }
}

}  // namespace simstandin
