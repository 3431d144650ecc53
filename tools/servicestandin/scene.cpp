#include "scene.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <string>

namespace standin {
namespace {

constexpr double kDeg = 0.017453292519943295;
constexpr double kPi = 3.14159265358979323846;

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

// Each role's path, and how long one round of it lasts. Every position is the
// integral of the speed reported with it, so that consecutive answers agree
// with their own ground speeds.
constexpr double kApproachKt = 160, kApproachFromNm = 20, kApproachToNm = 3;
constexpr double kApproachSeconds = (kApproachFromNm - kApproachToNm) / kApproachKt * 3600.0;
constexpr double kFinalKt = 135, kFinalSeconds = 80;  // 3 nm at 135 kt
constexpr double kRollDecel = 2.5, kRollEndKt = 20, kLandingSeconds = 240;
// After the roll-out a landing rolls on at kRollEndKt (the k-th of a role 12 s
// longer than the one before, so that each stops at a place of its own), turns
// off to the right at 6 degrees a second, brakes to a stop clear of the runway
// and stands there for the rest of its round.
constexpr double kRollSecondsToEnd = (kFinalKt - kRollEndKt) / kRollDecel;
constexpr double kRollOnSeconds = 12, kExitTurnRateDeg = 6, kExitTurnSeconds = 90 / kExitTurnRateDeg;
constexpr double kExitDecel = 0.5, kExitSeconds = kRollEndKt / kExitDecel;
constexpr double kTaxiKt = 15, kTaxiRadiusNm = 0.6;
constexpr double kTaxiSeconds = 2 * kPi * kTaxiRadiusNm / kTaxiKt * 3600.0;
constexpr double kParkedSeconds = 900;
// Spread over several fields, each field's taxi circle lies beside it, and its
// departures roll from short of it, clear of its landings and stands.
constexpr double kSpreadTaxiOffNm = 1.0, kSpreadTaxiRadiusNm = 0.4, kSpreadDepartureBackNm = 1.7;
constexpr double kPushKt = 3, kPushSeconds = 120, kPushbackSeconds = 300;
constexpr double kRollStartKt = 20, kRollAccel = 3.5, kRollSeconds = 40;
constexpr double kClimbAccelSeconds = 120, kTurnSeconds = 40, kTurnRateDeg = 2, kDepartureSeconds = 420;
constexpr double kFeetPerNmOnFinal = 318;  // a 3 degree path
constexpr double kHoldingKt = 250;
constexpr int kHoldingRole = 6;
// Light planes: a multilateration fix every 4 s (the k-th plane's fixes
// 1.3 s x k later than the first's), each circling a point of its own.
constexpr int kLightRole = 7;
constexpr double kLightFixSeconds = 4, kLightFixSpreadSeconds = 1.3;
constexpr double kLightCentreNm[] = {1, 6, 12, 20};
constexpr double kLightKt[] = {75, 60, 90, 75, 68, 82};
constexpr double kLightClimbFt = 400, kLightClimbSeconds = 180;  // every other one: up and down by 400 ft
const char* const kLightTypes[] = {"C172", "C208", "PC12"};
// Departing light planes, a new flight every 10 minutes (the n-th 10 s after
// the one before it): from a strip beside the runway (the n-th a little further
// along it), the roll at 3 kt a second from 5 kt, the lift-off 10 kt below its
// speed, a knot a second up to it, and a slow straight climb.
constexpr double kLightStripNm = 0.5, kLightRollAccel = 3, kLightRollStartKt = 5, kLightClimbFpm = 200;
constexpr double kLightDepartureSeconds = 600;
constexpr double kLightDepartureKt[] = {75, 65, 80};
// The first waits on the strip for 20 s after the scene's start, then rolls: a
// program that starts with the scene sees it standing, then departing.
constexpr double kLightDepartureLeadSeconds = -20;

double holdingRadiusNm(int k) { return 4.0 + k % 6; }  // inside the 10 nm asked for on the ground

double roleSeconds(int role)
{
    switch (role) {
    case 0: return kApproachSeconds;
    case 1: return kLandingSeconds;
    case 2: return kTaxiSeconds;
    case 3: return kParkedSeconds;
    case 4: return kPushbackSeconds;
    case 5: return kDepartureSeconds;
    default: return 0;  // never a new round
    }
}

// Distance rolled along the runway after touchdown (nm), decelerating to kRollEndKt.
double rollOutNm(double v)
{
    const double a = std::min(v, kRollSecondsToEnd);
    return (kFinalKt * a - kRollDecel / 2 * a * a) / 3600.0;
}

// Distance from the end of the turn-off (nm), braking from kRollEndKt to a stop.
double exitNm(double w)
{
    const double a = std::min(w, kExitSeconds);
    return (kRollEndKt * a - kExitDecel / 2 * a * a) / 3600.0;
}

// Rounds are numbered from the scene's start; ids repeat after this many.
constexpr long kRoundsKept = 4096;

}  // namespace

double standBearingClearOfRunway(double bearingDeg, double nm, double runwayHeadingDeg)
{
    const double off = std::remainder(bearingDeg - runwayHeadingDeg, 360.0);
    if (std::fabs(off) >= 90.0 || nm * std::sin(std::fabs(off) * kDeg) * 1852.0 >= 150.0) return bearingDeg;
    return bearingDeg + (off < 0 ? -15.0 : 15.0);
}

Scene::Scene(SceneAirport airport, int aircraftPerRole, std::function<double()> wallSeconds, int holding, int light,
             int lightDepartures, int sites)
    : airport_(std::move(airport)), wall_(std::move(wallSeconds)), start_(wall_())
{
    int index = 0;
    const int fields = std::max(1, sites);
    // Each field holds a scene of its own with its share of the role's planes.
    const int perField = (std::max(0, aircraftPerRole) + fields - 1) / fields;
    for (int role = 0; role < 6; ++role) {
        for (int k = 0; k < aircraftPerRole; ++k) {
            if (role == 0 || fields == 1) {
                planes_.push_back({role, index++, roleSeconds(role) * k / std::max(1, aircraftPerRole)});
                continue;
            }
            const int field = k % fields, j = k / fields;
            const int onField = (aircraftPerRole - field + fields - 1) / fields;
            Plane p{role, index++, roleSeconds(role) * j / onField};
            p.site = field;
            p.place = role * perField + j;
            planes_.push_back(p);
        }
    }
    // Spread round their circles: the k-th plane starts 360 / holding x k degrees on.
    for (int k = 0; k < holding; ++k) {
        const double circleSeconds = 2 * kPi * holdingRadiusNm(k) / kHoldingKt * 3600.0;
        planes_.push_back({kHoldingRole, index++, circleSeconds * k / holding});
    }
    for (int k = 0; k < light; ++k) planes_.push_back({kLightRole, index++, 0.0, k});
    for (int j = 0; j < lightDepartures; ++j) {
        planes_.push_back({kLightRole, index++, kLightDepartureLeadSeconds - 10.0 * j, light + j, j});
    }
}

Scene::SitePoint Scene::siteOrigin(int site) const
{
    // Rings 2.6 nm apart from 3.5 nm out, the fields on each about 2.8 nm apart:
    // farther apart than a field's runway, roll-outs and taxi circle reach.
    constexpr double kFirstRingNm = 3.5, kRingStepNm = 2.6, kFieldSpacingNm = 2.8;
    int n = site - 1;
    for (double ringNm = kFirstRingNm; site > 0; ringNm += kRingStepNm) {
        const int onRing = static_cast<int>(2 * kPi * ringNm / kFieldSpacingNm);
        if (n < onRing) {
            const Point p = offset({airport_.lat, airport_.lon}, 360.0 * n / onRing + 15.0, ringNm);
            return {p.lat, p.lon};
        }
        n -= onRing;
    }
    return {airport_.lat, airport_.lon};
}

double Scene::lightGroundSpeedKt(int k) { return kLightKt[k % 6]; }

double Scene::topGroundSpeedKt()
{
    // The departures, at the end of their climb's acceleration.
    return std::max(kApproachKt, kRollStartKt + kRollAccel * kRollSeconds + kClimbAccelSeconds);
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

nlohmann::json Scene::entryAt(const Plane& p, double time) const
{
    // Positions are those of the time the entry reports (0.1 s steps; a light
    // plane's, its last fix).
    double t = std::floor(time * 10.0) / 10.0;
    if (p.role == kLightRole) {
        const double spread = kLightFixSpreadSeconds * p.nth;
        t = std::floor((time + spread) / kLightFixSeconds) * kLightFixSeconds - spread;
    }
    const SitePoint origin = siteOrigin(p.site);
    const Point ap{origin.lat, origin.lon};
    const bool spread = p.place >= 0;  // one of several fields
    const int place = spread ? p.place : p.index;  // its number on its field's paths
    const double rwy = airport_.runwayHeadingDeg;
    const double cycle = roleSeconds(p.role);
    const double since = t - start_ + p.phase;
    // A parked, holding or light aircraft stays one flight; every other role starts a new flight each round.
    const bool lightDeparture = p.role == kLightRole && p.departure >= 0;
    const bool oneFlight =
        p.role == 3 || p.role == kHoldingRole || (p.role == kLightRole && !lightDeparture);
    const double roundSeconds = lightDeparture ? kLightDepartureSeconds : cycle;
    long round = oneFlight ? 0 : static_cast<long>(std::floor(since / roundSeconds));
    if (lightDeparture) round = std::max(round, 0L);  // before its first round it waits on the strip
    const double s = since - static_cast<double>(round) * roundSeconds;  // seconds into the round
    const double elev = airport_.elevationFt;
    Point pos = ap;
    double alt = 0, gs = 0, track = rwy, vrate = 0, roll = 0;
    std::optional<double> heading;  // the nose's true heading; none: along the track
    switch (p.role) {
    case 0: {  // approach: 20 nm out to 3 nm out at 160 kt on a 3 degree path
        const double dist = kApproachFromNm - s * kApproachKt / 3600.0;
        pos = offset(ap, rwy + 180.0, dist);
        alt = elev + dist * kFeetPerNmOnFinal;
        gs = kApproachKt;
        vrate = -kFeetPerNmOnFinal * kApproachKt / 60.0;
        break;
    }
    case 1: {  // landing: 3 nm out to touchdown at the airport, the roll-out along the runway, off it to a stop
        if (s < kFinalSeconds) {
            const double dist = kApproachToNm - s * kFinalKt / 3600.0;
            pos = offset(ap, rwy + 180.0, dist);
            alt = elev + dist * kFeetPerNmOnFinal;
            gs = kFinalKt;
            vrate = -kFeetPerNmOnFinal * kFinalKt / 60.0;
        } else {
            const double v = s - kFinalSeconds;
            pos = offset(ap, rwy, rollOutNm(v));
            gs = kFinalKt - kRollDecel * std::min(v, kRollSecondsToEnd);
            const double rollOn = kRollOnSeconds * (place % 3);
            pos = offset(pos, rwy, kRollEndKt * std::clamp(v - kRollSecondsToEnd, 0.0, rollOn) / 3600.0);
            const double w = v - kRollSecondsToEnd - rollOn;  // seconds into the turn-off
            if (w > 0) {
                // A quarter circle to the right at kRollEndKt, then straight on, braking.
                const double radiusNm = kRollEndKt / 3600.0 / (kExitTurnRateDeg * kDeg);
                const double turned = std::min(w, kExitTurnSeconds) * kExitTurnRateDeg;
                const Point centre = offset(pos, rwy + 90.0, radiusNm);
                pos = offset(centre, rwy - 90.0 + turned, radiusNm);
                track = wrap360(rwy + turned);
                if (w > kExitTurnSeconds) {
                    const double u = w - kExitTurnSeconds;
                    pos = offset(pos, track, exitNm(u));
                    gs = std::max(0.0, kRollEndKt - kExitDecel * u);
                }
            }
        }
        break;
    }
    case 2: {  // taxiing round a circle of 0.6 nm radius at 15 kt, clockwise
        // Spread over fields, a smaller circle beside the field, clear of its runway.
        const Point centre = spread ? offset(ap, rwy - 90.0, kSpreadTaxiOffNm) : ap;
        const double radiusNm = spread ? kSpreadTaxiRadiusNm : kTaxiRadiusNm;
        const double around = s * kTaxiKt / 3600.0 / radiusNm / kDeg + 90.0 * place;
        pos = offset(centre, around, radiusNm);
        track = wrap360(around + 90.0);
        gs = kTaxiKt;
        break;
    }
    case 3: {  // parked at its stand
        pos = offset(ap, 40.0 * place, 0.4 + (spread ? 0.035 : 0.05) * (place % 5));
        track = wrap360(40.0 * place + 180.0);
        gs = 0;
        break;
    }
    case 4: {  // pushed back from its stand at 3 kt for two minutes, then waiting
        // Its stand faces the airport's middle, as every stand of the demo's
        // does: the push goes outwards, tail first, the nose still inwards.
        const double u = std::min(s, kPushSeconds);
        const double out = standBearingClearOfRunway(40.0 * place + 20.0, 0.45, rwy);
        const Point stand = offset(ap, out, 0.45);
        track = wrap360(out);
        heading = wrap360(out + 180.0);
        pos = offset(stand, track, u * kPushKt / 3600.0);
        gs = s < kPushSeconds ? kPushKt : 0;
        break;
    }
    case kHoldingRole: {  // circling the airport clockwise, each plane on its own circle and level
        const int k = p.index;
        const double radiusNm = holdingRadiusNm(k);
        const double around = s * kHoldingKt / 3600.0 / radiusNm / kDeg;
        pos = offset(ap, around, radiusNm);
        track = wrap360(around + 90.0);
        gs = kHoldingKt;
        alt = 5000.0 + 1000.0 * (k % 10);
        break;
    }
    case kLightRole: {  // circling its own point clockwise, low; every other one climbing and descending
        const int k = p.nth;
        if (p.departure >= 0) {
            const double topKt = kLightDepartureKt[p.departure % 3];
            const double liftOffKt = topKt - 10.0;
            const double rollS = (liftOffKt - kLightRollStartKt) / kLightRollAccel;
            const Point strip = offset(offset(ap, rwy + 90.0, kLightStripNm), rwy, 0.3 * (p.departure % 3));
            if (s < 0) {
                pos = strip;
                gs = 0;
                break;
            }
            const double r = std::min(s, rollS);
            double nm = (kLightRollStartKt * r + kLightRollAccel / 2 * r * r) / 3600.0;
            gs = kLightRollStartKt + kLightRollAccel * r;
            if (s > rollS) {
                const double u = s - rollS;
                const double a = std::min(u, topKt - liftOffKt);
                nm += (liftOffKt * a + a * a / 2) / 3600.0 + topKt * (u - a) / 3600.0;
                gs = liftOffKt + a;
                alt = elev + 25.0 + kLightClimbFpm * u / 60.0;
                vrate = kLightClimbFpm;
            }
            pos = offset(strip, rwy, nm);
            break;
        }
        const double radiusNm = 1.2 + 0.3 * (k % 3);
        gs = lightGroundSpeedKt(k);
        const Point centre = offset(ap, 30.0 + 70.0 * k, kLightCentreNm[k % 4]);
        const double around = s * gs / 3600.0 / radiusNm / kDeg + 45.0 * k;
        pos = offset(centre, around, radiusNm);
        track = wrap360(around + 90.0);
        alt = elev + 800.0 + 300.0 * (k % 3);
        if (k % 2 == 1) {
            const double w = 2 * kPi / kLightClimbSeconds;
            alt += kLightClimbFt * std::sin(w * s);
            vrate = kLightClimbFt * w * std::cos(w * s) * 60.0;
        }
        break;
    }
    default: {  // departure: the take-off roll, a straight climb, a right turn of 80 degrees, straight on
        // Spread over fields, the roll starts short of the field and lifts off
        // before its stands: it never rolls where the field's landings roll.
        const Point start = spread ? offset(ap, rwy + 180.0, kSpreadDepartureBackNm) : ap;
        if (s < kRollSeconds) {
            gs = kRollStartKt + s * kRollAccel;
            pos = offset(start, rwy, (kRollStartKt * s + kRollAccel / 2 * s * s) / 3600.0);
            break;
        }
        const double rollNm = (kRollStartKt * kRollSeconds + kRollAccel / 2 * kRollSeconds * kRollSeconds) / 3600.0;
        const double v = s - kRollSeconds;
        const double liftOffKt = kRollStartKt + kRollAccel * kRollSeconds;
        const double a = std::min(v, kClimbAccelSeconds);
        const double topKt = liftOffKt + kClimbAccelSeconds;  // +1 kt a second
        gs = liftOffKt + a;
        const Point turnStart = offset(start, rwy, rollNm + (liftOffKt * a + a * a / 2) / 3600.0);
        pos = turnStart;
        if (v > kClimbAccelSeconds) {
            const double w = std::min(v - kClimbAccelSeconds, kTurnSeconds);
            const double theta = w * kTurnRateDeg * kDeg;
            const double radiusNm = topKt / 3600.0 / (kTurnRateDeg * kDeg);
            pos = offset(offset(turnStart, rwy, radiusNm * std::sin(theta)), rwy + 90.0,
                         radiusNm * (1.0 - std::cos(theta)));
            track = wrap360(rwy + w * kTurnRateDeg);
            if (v < kClimbAccelSeconds + kTurnSeconds) roll = 15.0;
            const double straight = v - kClimbAccelSeconds - kTurnSeconds;
            if (straight > 0) pos = offset(pos, track, topKt * straight / 3600.0);
        }
        alt = elev + 50 + v * 2000.0 / 60.0;
        vrate = 2000;
        break;
    }
    }
    const int i = p.index;
    // Round 0 (the one under way when the scene starts) keeps the plane's own
    // number; each later (or earlier) round is a flight of its own.
    const long n = static_cast<long>(planes_.size());
    const long flight = i + n * (((round % kRoundsKept) + kRoundsKept) % kRoundsKept);
    char hex[16];
    std::snprintf(hex, sizeof hex, "%06lx", 0x484000L + flight);
    // A departing light plane's every round is another plane (another registration, its callsign).
    const long r = lightDeparture ? flight : i;
    const std::string reg = "PH-" + std::string(1, static_cast<char>('A' + r % 26)) +
                            std::string(1, static_cast<char>('A' + (r / 26) % 26)) + "V";
    const bool inbound = p.role <= 1 || p.role == kHoldingRole;
    const bool light = p.role == kLightRole;
    // A private flight goes by its registration.
    const std::string callsign =
        light ? "PH" + reg.substr(3) : std::string(kAirlines[i % 6]) + std::to_string(100 + flight % 9900);
    nlohmann::json e = nlohmann::json::array();
    for (int k = 0; k < 48; ++k) e.push_back(nullptr);
    e[0] = hex;
    e[1] = pos.lat;
    e[2] = pos.lon;
    e[3] = track;
    e[4] = alt > 0 ? alt : 0;
    e[5] = gs;
    e[8] = light ? kLightTypes[p.nth % 3] : kTypes[i % 6];
    e[9] = reg;
    e[10] = std::floor(t * 10.0) / 10.0;
    e[11] = inbound ? kOthers[i % 6] : airport_.icao;
    e[12] = inbound ? airport_.icao : kOthers[i % 6];
    e[13] = callsign;
    e[15] = vrate;
    e[17] = light ? "X_mlat" : "X_adsb_icao";  // the service prefixes the source with its feed
    e[18] = alt > 0 ? alt + 60 : 0;
    e[20] = alt > 0 && !light ? gs + 10 : -1;  // multilateration measures no airspeed
    e[23] = roll;
    const double nose = heading.value_or(track);
    e[25] = nose == 0 ? 360.0 : nose;
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

std::string Scene::feedCsv(double from, double to, double stepS) const
{
    std::string out;
    char row[256];
    for (double t = from; t <= to; t += stepS) {
        const double pressureFt = (qnhAt(t) - 1013) * 30.0;
        for (const Plane& p : planes_) {
            const nlohmann::json e = entryAt(p, t);
            const double alt = e[4].get<double>();
            std::snprintf(row, sizeof row, "#feed,%s,%.1f,%.7f,%.7f,%.1f,%.1f,%d\n", e[13].get<std::string>().c_str(),
                          e[10].get<double>(), e[1].get<double>(), e[2].get<double>(), alt > 0 ? alt + pressureFt : 0.0,
                          e[5].get<double>(), alt > 0 ? 1 : 0);
            out += row;
        }
    }
    return out;
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
