#pragma once
// Great-circle geodesy on a sphere on which one nautical mile is one minute of
// arc. Pure functions; they run for every aircraft on every tick.

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
}  // namespace geo

// Great-circle distance in nautical miles (>= 0, symmetric).
double distanceNm(const LatLon& a, const LatLon& b);

// Initial bearing from `from` to `to`, radians clockwise from true north, in [0, 2 pi).
double initialBearing(const LatLon& from, const LatLon& to);

// The point reached from `start` along `bearing` (radians) after `distanceFeet`.
// Latitude in [-90, 90], longitude normalised to [-180, 180].
LatLon destinationPoint(const LatLon& start, double bearing, double distanceFeet);
