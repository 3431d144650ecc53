#pragma once
// Small types and the spherical geodesy the live-traffic client works with.
// (The core library's geodesy does the same sums; these stay private to the
// client so that it stands on its own.)

#include <cmath>

namespace svc {

struct LatLon {
    double lat = 0.0;
    double lon = 0.0;
};

inline constexpr double degToRad = 0.017453292519943295;
inline constexpr double radToDeg = 57.29577951308232;
inline constexpr double twoPi = 6.283185307179586;
inline constexpr double feetPerNm = 6076.11549;

// Great-circle distance in nautical miles (one nautical mile per arc minute).
inline double distanceNm(const LatLon& a, const LatLon& b)
{
    const double phiA = a.lat * degToRad;
    const double phiB = b.lat * degToRad;
    const double dPhi = (b.lat - a.lat) * degToRad;
    const double dLambda = (b.lon - a.lon) * degToRad;
    const double sl = std::sin(dLambda / 2);
    const double sp = std::sin(dPhi / 2);
    double h = std::cos(phiB) * std::cos(phiA) * sl * sl + sp * sp;
    if (h > 1.0) h = 1.0;
    return std::atan2(std::sqrt(h), std::sqrt(1 - h)) * 6875.493541569878;
}

// The point reached from `start` along `bearing` (radians) after `distanceFeet`.
inline LatLon destinationPoint(const LatLon& start, double bearing, double distanceFeet)
{
    const double phi1 = start.lat * degToRad;
    const double delta = distanceFeet * 4.787404208238998e-08;
    const double phi2 = std::asin(std::cos(bearing) * std::sin(delta) * std::cos(phi1) +
                                  std::cos(delta) * std::sin(phi1));
    const double dLambda = std::atan2(std::sin(bearing) * std::sin(delta) * std::cos(phi1),
                                      std::cos(delta) - std::sin(phi2) * std::sin(phi1));
    const double lambda2 = std::remainder(dLambda + start.lon * degToRad, twoPi);
    return {phi2 * radToDeg, lambda2 * radToDeg};
}

}  // namespace svc

// The software id sent with the login, and the program's version text.
inline constexpr const char* kSoftwareId = "VRMT_P3D";
inline constexpr const char* kProgramVersionText = "11.0.3";
