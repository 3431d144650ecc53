#include "engine/stand.h"

#include <cmath>
#include <utility>

#include <gsl/narrow>

namespace {

std::vector<Stand>& lf_stands()
{
    static std::vector<Stand>& v = *new std::vector<Stand>([] {
        std::vector<Stand> s;
        s.reserve(512);
        return s;
    }());
    return v;
}

}  // namespace

const std::vector<Stand>& stands = lf_stands();
std::uint32_t standUpdateCount = 0;

void replaceStands(std::vector<Stand> newStands)
{
    auto& v = lf_stands();
    v.clear();
    for (auto& s : newStands) v.push_back(std::move(s));
}

void clearStands()
{
    lf_stands().clear();
}

Stand* findStandById(std::uint32_t sid)
{
    if (sid == 0) return nullptr;
    for (auto& s : lf_stands()) {
        if (s.sid == sid) return &s;
    }
    return nullptr;
}

namespace {

std::mutex& parkAirportMutex = *new std::mutex;
ParkAirportInfo& lf_parkAirport = *new ParkAirportInfo;

}  // namespace

Stand::Stand(std::string name_, std::vector<SlotRecord> options_, double latitude_, double longitude_,
             double heading_, double radiusMetres, Kind kind)
    : options(std::move(options_)),
      name(std::move(name_)),
      latitude(latitude_),
      longitude(longitude_),
      heading(heading_),
      radius(radiusMetres * kMetresToNm),
      cargo(kind.cargo),
      ramp(kind.ramp),
      heli(kind.heli)
{
    conflictingStands.reserve(8);
}

bool lf_radiusFitsStand(const Stand& stand, double radius)
{
    constexpr double tooLargeNm = 0.0009719222462203025;  // 1.8 m
    constexpr double smallLimitNm = 0.009611230689557531;  // 17.8 m
    constexpr double smallStepNm = 0.00755939524838013;    // 14 m
    constexpr double largeStepNm = 0.011339092872570195;   // 21 m
    if (radius - stand.radius > tooLargeNm) return false;
    const double step = radius <= smallLimitNm ? smallStepNm : largeStepNm;
    const double k = std::round((stand.radius - radius) / step);  // half away from zero
    // The count must fit 32 bits (checked before any cast: a NaN fails too).
    if (!(k >= -2147483648.0 && k <= 2147483647.0)) throw gsl::narrowing_error{};
    return k == 0.0;
}

ParkAirportInfo currentParkAirport()
{
    std::lock_guard lock(parkAirportMutex);
    return lf_parkAirport;
}

void setCurrentParkAirport(const ParkAirportInfo& airport)
{
    std::lock_guard lock(parkAirportMutex);
    lf_parkAirport = airport;
}

void setCurrentParkAirportElevation(double elevationFt)
{
    std::lock_guard lock(parkAirportMutex);
    lf_parkAirport.elevationFt = elevationFt;
}

void clearCurrentParkAirport()
{
    std::lock_guard lock(parkAirportMutex);
    lf_parkAirport = ParkAirportInfo{};
}
