#pragma once
// A synthetic but coherent traffic scene around one airport: aircraft on
// approach, landing, taxiing, parked, pushing back and departing, each moving
// with time along a repeating path, and as many holding in circles above it. Time is the wall clock shifted back by the
// request's time offset. Every position agrees with the speed reported with it,
// and each round of a plane's path is a new flight (hex id and callsign; the
// round under way when the scene is made keeps the plane's own). A parked or a
// holding plane stays one flight.

#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "service_standin.h"

namespace standin {

struct SceneAirport {
    std::string icao = "EHAM";
    double lat = 52.3086;
    double lon = 4.7639;
    double elevationFt = -11;
    double runwayHeadingDeg = 183;
};

// The bearing from the airport of a stand `nm` out: `bearingDeg`, or, where
// that would put it beside the runway the scene's aircraft land and take off
// on (within 150 m of its centreline), 15 degrees further round, away from it.
double standBearingClearOfRunway(double bearingDeg, double nm, double runwayHeadingDeg);

class Scene {
public:
    // `wallSeconds` gives the current wall-clock time (seconds since 1970); it
    // is read once here for the start of the rounds.
    // `holding` planes circle the airport (4 to 9 nm out, 5,000 to 14,000 ft,
    // 250 kt) for as long as the scene runs: traffic that stays.
    // `light` planes are general aviation seen by multilateration: a fix every
    // 4 s and no airspeed, low over the ground at 60 to 90 kt, each circling a
    // point of its own 1 to 20 nm from the airport, every other one climbing and
    // descending as it goes (lightGroundSpeedKt says at what speed).
    // `lightDepartures` more light planes, seen likewise, depart from a strip
    // beside the runway, a new flight every 600 s: the roll, the lift-off 10 kt
    // below their speed (65 to 80 kt) and a slow climb (200 ft/min) straight on.
    // `sites` above 1 spreads the flights of every role but the approach over
    // that many fields: the airport and fields on rings 3.5, 6.1, ... nm round
    // it, each with its share of every role, its taxi circle beside it and its
    // departures rolling from short of it. A scene of many flights a role then
    // neither stacks them on one runway (a landing every 2 s at 120 a role) nor
    // rolls them through each other.
    Scene(SceneAirport airport, int aircraftPerRole, std::function<double()> wallSeconds, int holding = 0,
          int light = 0,
          int lightDepartures = 0, int sites = 1);

    Reply answer(const Request& r, int rrl, int wrrl) const;

    // The live entries (hex id -> 48 values) at time t inside the box.
    nlohmann::json liveData(double t, double top, double bottom, double left, double right) const;
    nlohmann::json parkedData(double t) const;
    int qnhAt(double t) const;
    const SceneAirport& airport() const { return airport_; }
    // The highest ground speed any plane of the scene is served with (kt).
    static double topGroundSpeedKt();
    // The ground speed the k-th light plane is served with throughout (kt).
    static double lightGroundSpeedKt(int k);
    // Where every plane was served, every `stepS` from `from` to `to` (wall
    // seconds), as the motion judge reads the feed: "#feed,callsign,wall_s,lat,
    // lon,alt_ft,gs_kt,airborne" rows, the altitude at the scene's pressure
    // (30 ft a hectopascal above 1013), as a receiver reads it.
    std::string feedCsv(double from, double to, double stepS = 1.0) const;

private:
    struct Plane {
        int role;  // 0 approach, 1 landing, 2 taxi, 3 parked, 4 pushback, 5 departure, 6 holding, 7 light
        int index;
        double phase;  // seconds into its round at the scene's start
        int nth = 0;   // a light plane's number among them
        int departure = -1;  // a departing light plane's number among those (-1: it circles)
        int site = 0;        // the field it flies from or to (0: the airport)
        int place = -1;      // its number on its field's paths (-1: its index)
    };
    // The middle of field `site`: the airport, or a point on a ring round it.
    struct SitePoint {
        double lat, lon;
    };
    SitePoint siteOrigin(int site) const;
    nlohmann::json entryAt(const Plane& p, double t) const;
    double timeOf(const Request& r) const;

    SceneAirport airport_;
    std::vector<Plane> planes_;
    std::function<double()> wall_;
    double start_;  // the wall time the scene was made at: round 0 of every plane
};

}  // namespace standin
