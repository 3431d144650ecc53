#include "scene.h"

#include <cmath>
#include <string>

namespace standin {
namespace {

constexpr double kDeg = 0.017453292519943295;
constexpr double kCycle = 900.0;  // seconds of one round of every role

struct Point {
    double lat, lon;
};

// A point `nm` nautical miles from `from` along `bearingDeg` (flat earth; fine for a few dozen nm).
Point offset(Point from, double bearingDeg, double nm)
{
    const double dLat = nm / 60.0 * std::cos(bearingDeg * kDeg);
    const double dLon = nm / 60.0 * std::sin(bearingDeg * kDeg) / std::cos(from.lat * kDeg);
    return {from.lat + dLat, from.lon + dLon};
}

double wrap360(double d)
{
    d = std::fmod(d, 360.0);
    return d < 0 ? d + 360.0 : d;
}

const char* const kTypes[] = {"A320", "B738", "E190", "A332", "B77W", "A21N"};
const char* const kAirlines[] = {"KLM", "DLH", "BAW", "AFR", "EZY", "TRA"};
const char* const kOthers[] = {"EGLL", "EDDF", "LFPG", "LEMD", "LIRF", "EKCH"};

}  // namespace

Scene::Scene(SceneAirport airport, int aircraftPerRole, std::function<double()> wallSeconds)
    : airport_(std::move(airport)), wall_(std::move(wallSeconds))
{
    int index = 0;
    for (int role = 0; role < 6; ++role)
        for (int k = 0; k < aircraftPerRole; ++k)
            planes_.push_back({role, index++, kCycle * k / std::max(1, aircraftPerRole)});
}

double Scene::timeOf(const Request& r) const
{
    double offsetMin = 0;
    try {
        offsetMin = std::stod(r.formValue("toffset"));
    } catch (...) {
    }
    return wall_() - offsetMin * 60.0;
}

nlohmann::json Scene::entryAt(const Plane& p, double t) const
{
    const Point ap{airport_.lat, airport_.lon};
    const double rwy = airport_.runwayHeadingDeg;
    const double s = std::fmod(t + p.phase, kCycle);  // seconds into the cycle
    const double elev = airport_.elevationFt;
    Point pos = ap;
    double alt = 0, gs = 0, track = rwy, vrate = 0, roll = 0;
    switch (p.role) {
    case 0: {  // approach: 20 nm out to 3 nm out at 160 kt on a 3 degree path
        const double dist = 20.0 - std::fmod(s * 160.0 / 3600.0, 17.0);
        pos = offset(ap, rwy + 180.0, dist);
        alt = elev + dist * 318.0;
        gs = 160;
        vrate = -850;
        break;
    }
    case 1: {  // landing: 3 nm out to touchdown, then the roll-out on the runway
        const double u = std::fmod(s, 150.0);
        if (u < 80) {
            const double dist = 3.0 - u * 135.0 / 3600.0;
            pos = offset(ap, rwy + 180.0, dist);
            alt = elev + dist * 318.0;
            gs = 135;
            vrate = -700;
        } else {
            const double v = u - 80;  // decelerating from 130 to 20 kt
            gs = std::max(20.0, 130.0 - v * 2.0);
            pos = offset(ap, rwy, (130.0 + gs) / 2.0 * v / 3600.0);
            alt = 0;
        }
        break;
    }
    case 2: {  // taxiing round a loop of 2 nm at 15 kt
        const double around = std::fmod(s * 15.0 / 3600.0, 2.0) / 2.0 * 360.0;
        pos = offset(ap, around + 90.0 * p.index, 0.6);
        track = wrap360(around + 90.0 * p.index + 90.0);
        gs = 15;
        break;
    }
    case 3: {  // parked at its stand
        pos = offset(ap, 40.0 * p.index, 0.4 + 0.05 * (p.index % 5));
        track = wrap360(40.0 * p.index + 180.0);
        gs = 0;
        break;
    }
    case 4: {  // pushing back from its stand at 3 kt for two minutes, then waiting
        const double u = std::min(std::fmod(s, 300.0), 120.0);
        const Point stand = offset(ap, 40.0 * p.index + 20.0, 0.45);
        track = wrap360(40.0 * p.index + 20.0);
        pos = offset(stand, track + 180.0, u * 3.0 / 3600.0);
        gs = u < 120.0 ? 3 : 0;
        break;
    }
    default: {  // departure: take-off roll, then climbing out at 2000 ft/min
        const double u = std::fmod(s, 420.0);
        if (u < 40) {
            gs = 20 + u * 3.5;
            pos = offset(ap, rwy, gs / 2.0 * u / 3600.0);
        } else {
            const double v = u - 40;
            gs = 160 + std::min(v, 120.0);
            pos = offset(ap, rwy, 0.5 + v * gs / 3600.0);
            alt = elev + 50 + v * 2000.0 / 60.0;
            vrate = 2000;
            roll = (v > 120 && v < 160) ? 15.0 : 0.0;
            if (v >= 120) track = wrap360(rwy + std::min(v - 120.0, 40.0) * 2.0);
            if (v >= 120) pos = offset(pos, track, (v - 120.0) * gs / 7200.0);
        }
        break;
    }
    }
    const int i = p.index;
    char hex[16];
    std::snprintf(hex, sizeof hex, "%06x", 0x484000 + i);
    const std::string callsign = std::string(kAirlines[i % 6]) + std::to_string(100 + i);
    const std::string reg = "PH-" + std::string(1, static_cast<char>('A' + i % 26)) +
                            std::string(1, static_cast<char>('A' + (i / 26) % 26)) + "V";
    const bool inbound = p.role <= 1;
    nlohmann::json e = nlohmann::json::array();
    for (int k = 0; k < 48; ++k) e.push_back(nullptr);
    e[0] = hex;
    e[1] = pos.lat;
    e[2] = pos.lon;
    e[3] = track;
    e[4] = alt > 0 ? alt : 0;
    e[5] = gs;
    e[8] = kTypes[i % 6];
    e[9] = reg;
    e[10] = std::floor(t * 10.0) / 10.0;
    e[11] = inbound ? kOthers[i % 6] : airport_.icao;
    e[12] = inbound ? airport_.icao : kOthers[i % 6];
    e[13] = callsign;
    e[15] = vrate;
    e[17] = "adsb_icao";
    e[18] = alt > 0 ? alt + 60 : 0;
    e[20] = alt > 0 ? gs + 10 : -1;
    e[23] = roll;
    e[25] = track == 0 ? 360.0 : track;
    e[28] = "A3";
    return e;
}

nlohmann::json Scene::liveData(double t, double top, double bottom, double left, double right) const
{
    nlohmann::json data = nlohmann::json::object();
    for (const auto& p : planes_) {
        nlohmann::json e = entryAt(p, t);
        const double lat = e[1].get<double>();
        const double lon = e[2].get<double>();
        if (lat > top || lat < bottom || lon < left || lon > right) continue;
        const std::string key = e[0].get<std::string>();
        data[key] = std::move(e);
    }
    return data;
}

nlohmann::json Scene::parkedData(double t) const
{
    nlohmann::json data = nlohmann::json::object();
    for (const auto& p : planes_) {
        if (p.role != 3 && p.role != 4) continue;
        nlohmann::json e = entryAt(p, t);
        const int i = p.index;
        data[e[0].get<std::string>()] = makeParkedEntry(e[1].get<double>(), e[2].get<double>(),
                                                        "S" + std::to_string(10 + i), kTypes[i % 6],
                                                        e[9].get<std::string>(), std::floor(t) - 600.0 * (i % 4),
                                                        e[13].get<std::string>());
    }
    return data;
}

int Scene::qnhAt(double t) const { return 1013 + static_cast<int>(std::lround(6.0 * std::sin(t / 21600.0))); }

Reply Scene::answer(const Request& r, int rrl, int wrrl) const
{
    const double t = timeOf(r);
    auto box = [&r](const char* key, double def) {
        try {
            return std::stod(r.formValue(key));
        } catch (...) {
            return def;
        }
    };
    const double top = box("top", 90), bottom = box("bottom", -90), left = box("left", -180), right = box("right", 180);
    if (r.route == "traffic.live")
        return Reply::json({{"status", 200}, {"rrl", rrl}, {"data", liveData(t, top, bottom, left, right)}});
    if (r.route == "traffic.buffer") {
        double step = box("buffertime", 6);
        nlohmann::json data = nlohmann::json::object();
        for (int k = 4; k >= 0; --k)
            data["buffer_" + std::to_string(k)] = liveData(t - step * k, top, bottom, left, right);
        return Reply::json({{"status", 200}, {"rrl", rrl}, {"data", std::move(data)}});
    }
    if (r.route == "traffic.parked") return Reply::json({{"status", 200}, {"rrl", rrl}, {"data", parkedData(t)}});
    if (r.route == "nearestmetar")
        return Reply::json({{"status", 200}, {"data", nlohmann::json::array({{{"ICAO", airport_.icao}, {"dist", 1.0}}})}});
    if (r.route == "weather") return Reply::json({{"status", 200}, {"wrrl", wrrl}, {"data", {{"QNH", qnhAt(t)}}}});
    return Reply::json({{"status", 404}, {"message", "no such path"}}, 404);
}

}  // namespace standin
