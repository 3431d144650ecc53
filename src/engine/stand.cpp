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

namespace {

template <class T>
T& lf_reserved(std::size_t n)
{
    T& v = *new T;
    v.reserve(n);
    return v;
}

std::mutex& snapshotMutex = *new std::mutex;
std::shared_ptr<const StandSnapshot>& lf_snapshot = *new std::shared_ptr<const StandSnapshot>(
    std::make_shared<const StandSnapshot>());

void lf_publishSnapshot()
{
    auto next = std::make_shared<StandSnapshot>();
    next->entries.reserve(lf_stands().size());
    for (const Stand& s : lf_stands()) next->entries.push_back({s.name, s.latitude, s.longitude});
    std::shared_ptr<const StandSnapshot> published = std::move(next);
    std::lock_guard lock(snapshotMutex);
    lf_snapshot.swap(published);
    // The old snapshot goes when its last reader lets it go (outside the lock here).
}

}  // namespace

std::vector<ParkingSelection>& parkingSelections = lf_reserved<std::vector<ParkingSelection>>(512);
std::set<std::string>& usedNames = *new std::set<std::string>;
std::set<std::uint32_t>& usedIds = *new std::set<std::uint32_t>;
std::vector<LiveParkedEntry>& liveParkedList = lf_reserved<std::vector<LiveParkedEntry>>(128);
std::vector<SlotMark>& slotMarks = lf_reserved<std::vector<SlotMark>>(512);

void replaceStands(std::vector<Stand> newStands)
{
    auto& v = lf_stands();
    v.clear();
    for (auto& s : newStands) v.push_back(std::move(s));
    lf_publishSnapshot();
}

void clearStands()
{
    lf_stands().clear();
    lf_publishSnapshot();
}

std::shared_ptr<const StandSnapshot> standSnapshot()
{
    std::lock_guard lock(snapshotMutex);
    return lf_snapshot;
}

void clearStandState()
{
    clearStands();
    clearCurrentParkAirport();
    parkingSelections.clear();
    usedNames.clear();
    usedIds.clear();
    liveParkedList.clear();
    slotMarks.clear();
    standUpdateCount = 0;
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
