#pragma once
// Great-circle geodesy on a sphere on which one nautical mile is one minute of
// arc. Pure functions; they run for every aircraft on every tick.

#include <cmath>
#include <cstdint>

// A position: latitude then longitude, degrees, north and east positive.
struct LatLon {
    double lat = 0.0;
    double lon = 0.0;
    friend bool operator==(const LatLon&, const LatLon&) = default;
};

namespace geo {
inline constexpr double degToRad = 0.017453292519943295;
inline constexpr double radToDeg = 57.29577951308232;
inline constexpr double twoPi = 6.283185307179586;
// 10800 / pi: the earth's radius in nautical miles.
inline constexpr double earthRadiusNm = 3437.746770784939;
inline constexpr double feetPerNm = 6076.11549;
// 1 / (earthRadiusNm * feetPerNm).
inline constexpr double radiansPerFoot = 4.787404208238998e-08;
inline constexpr double pi = 3.141592653589793;
inline constexpr double metresPerNm = 1852.0;
// 1 / 1852: one metre in nautical miles.
inline constexpr double nmPerMetre = 0.0005399568034557236;
// Metres per degree of latitude of the local plane that ground curves use.
inline constexpr double curveMetresPerDegree = 111132.95;
// One knot over one tick (10 ms) covers 1 / 360000 nm.
inline constexpr double knotTicksPerNm = 360000.0;
inline constexpr int ticksPerSecond = 100;
inline constexpr int ticksPerMinute = 6000;
// A week of ticks (604800 s).
inline constexpr std::int32_t ticksPerWeek = 60480000;

// An angle folded into [-pi, pi] (radians). Within half a turn the remainder is
// the angle itself, exactly: most angles are, and the call is skipped for them.
inline double foldPi(double a)
{
    if (a > -twoPi / 2 && a < twoPi / 2) return a;
    a = std::remainder(a, twoPi);
    return a;
}
// A longitude difference b - a (degrees) folded into [-180, 180), so that a leg
// across the antimeridian goes the short way (within half a turn: d itself).
inline double wrapLonDelta(double d)
{
    if (d > -180.0 && d < 180.0) return d;
    d = std::remainder(d, 360.0);
    return d >= 180.0 ? d - 360.0 : d;
}
// A longitude folded into [-180, 180).
inline double foldLongitude(double lon)
{
    return wrapLonDelta(lon);
}
}  // namespace geo

// Great-circle distance in nautical miles (>= 0, symmetric).
double distanceNm(const LatLon& a, const LatLon& b);

// Initial bearing from `from` to `to`, radians clockwise from true north, in [0, 2 pi).
double initialBearing(const LatLon& from, const LatLon& to);

// The point reached from `start` along `bearing` (radians) after `distanceFeet`.
// Latitude in [-90, 90], longitude normalised to [-180, 180].
LatLon destinationPoint(const LatLon& start, double bearing, double distanceFeet);
