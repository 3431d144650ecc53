#include "core/geodesy.h"

#include <algorithm>
#include <cmath>

using namespace geo;

double distanceNm(const LatLon& a, const LatLon& b)
{
    const double phiA = a.lat * degToRad;
    const double phiB = b.lat * degToRad;
    const double dPhi = (b.lat - a.lat) * degToRad;
    const double dLambda = (b.lon - a.lon) * degToRad;
    const double sinHalfLambda = std::sin(dLambda / 2);
    const double sinHalfPhi = std::sin(dPhi / 2);
    // Rounding takes h just above 1 for some antipodal pairs; sqrt(1 - h) would
    // then be NaN.
    const double h = std::clamp(
        std::cos(phiB) * std::cos(phiA) * sinHalfLambda * sinHalfLambda + sinHalfPhi * sinHalfPhi, 0.0, 1.0);
    return std::atan2(std::sqrt(h), std::sqrt(1 - h)) * (2 * earthRadiusNm);
}

double initialBearing(const LatLon& from, const LatLon& to)
{
    const double phi1 = from.lat * degToRad;
    const double phi2 = to.lat * degToRad;
    const double dLambda = (to.lon - from.lon) * degToRad;
    double theta = std::atan2(std::sin(dLambda) * std::cos(phi2),
                              std::sin(phi2) * std::cos(phi1) - std::sin(phi1) * std::cos(phi2) * std::cos(dLambda));
    if (theta < 0) {
        theta += twoPi;
    }
    // A tiny negative angle plus 2 pi rounds to 2 pi itself.
    return theta < twoPi ? theta : 0.0;
}

LatLon destinationPoint(const LatLon& start, double bearing, double distanceFeet)
{
    const double phi1 = start.lat * degToRad;
    const double delta = distanceFeet * radiansPerFoot;
    const double sinPhi1 = std::sin(phi1);
    const double cosPhi1 = std::cos(phi1);
    const double sinDelta = std::sin(delta);
    const double cosDelta = std::cos(delta);
    // Rounding may take the sine a hair past +-1 near the poles.
    const double sinPhi2 = std::clamp(std::cos(bearing) * sinDelta * cosPhi1 + cosDelta * sinPhi1, -1.0, 1.0);
    const double phi2 = std::asin(sinPhi2);
    const double dLambda = std::atan2(std::sin(bearing) * sinDelta * cosPhi1, cosDelta - sinPhi2 * sinPhi1);
    const double lambda2 = std::remainder(dLambda + start.lon * degToRad, twoPi);
    return {phi2 * radToDeg, lambda2 * radToDeg};
}
