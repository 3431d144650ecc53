#include "engine/ac_records.h"

#include <cctype>
#include <stdexcept>

#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/options.h"
#include "core/random.h"
#include "traffic_service/parked_record.h"
#include "traffic_service/traffic_record.h"

std::vector<LiveAc>& liveAircraft = *new std::vector<LiveAc>([] {
    std::vector<LiveAc> v;
    v.reserve(512);
    return v;
}());
std::vector<SimAc>& staticAircraft = *new std::vector<SimAc>([] {
    std::vector<SimAc> v;
    v.reserve(256);
    return v;
}());

namespace {

constexpr double lf_degToRad = 0.017453292519943295;

// Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft; angles in degrees here.
constexpr std::array<CategoryConstants, acCategoryCount> lf_categoryDegrees{{
    {250, 250, 100, 200, -9.0, -15.0, 0.15, 0.5, 5.0},
    {300, 300, 200, 250, -8.0, -18.0, 0.1, 0.75, 4.5},
    {400, 350, 200, 300, -6.0, -16.5, 0.07, 0.6, 4.0},
    {450, 450, 250, 400, -5.0, -12.5, 0.05, 0.5, 3.0},
    {150, 150, 100, 200, -6.0, -20.0, 0.1, 1.0, 4.5},
    {100, 100, 100, 100, -20.0, -30.0, 0.2, 0.75, 5.0},
}};

const std::array<CategoryConstants, acCategoryCount>& lf_categoryTable()
{
    static const std::array<CategoryConstants, acCategoryCount> table = [] {
        auto t = lf_categoryDegrees;
        for (auto& row : t) {
            row.takeOffPitch *= lf_degToRad;
            row.climbPitch *= lf_degToRad;
            row.groundTurnStep *= lf_degToRad;
        }
        return t;
    }();
    return table;
}

// Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft; angles in degrees here.
constexpr std::array<FlightConstants, acCategoryCount> lf_flightDegrees{{
    {90, 0.01, 40, 0.035, 625},
    {110, 0.0085, 35, 0.0275, 2050},
    {140, 0.0075, 30, 0.02, 2050},
    {150, 0.005, 20, 0.015, 2050},
    {220, 0.03, 90, 0.1, 625},
    {0, 0.03, 75, 0.06, 625},
}};

const std::array<FlightConstants, acCategoryCount>& lf_flightTable()
{
    static const std::array<FlightConstants, acCategoryCount> table = [] {
        auto t = lf_flightDegrees;
        for (auto& row : t) {
            row.maxPitchStep *= lf_degToRad;
            row.maxBank *= lf_degToRad;
            row.maxBankStep *= lf_degToRad;
        }
        return t;
    }();
    return table;
}

template <class E, std::size_t N>
std::string_view lf_name(const std::array<EnumName<E>, N>& names, E value)
{
    const auto i = static_cast<std::size_t>(value);
    return i < N ? names[i].name : std::string_view("?");
}

template <class Record>
AcIdentity lf_identity(const Record& r)
{
    AcIdentity id;
    id.airline = r.airline;
    id.type = r.type;
    id.origin = r.origin;
    id.destination = r.destination;
    id.callsign = r.callsign;
    id.coupledCs = r.coupledCs;
    id.coupledCs2 = r.coupledCs2;
    id.registration = r.registration;
    id.coupledCsSearched = r.coupledCsSearched;
    id.halfWingspan = gf_halfWingspan(id.type);
    id.category = gf_typeCategory(id.type);
    const CategoryConstants& c = categoryConstants(id.category);
    id.flareTicks = c.flareTicks;
    id.touchdownTicks = c.touchdownTicks;
    id.rotationTicks = c.rotationTicks;
    id.climbTransitionTicks = c.climbTransitionTicks;
    id.takeOffPitch = gf_randomVariation(c.takeOffPitch, takeOffPitchVariationPct);
    id.climbPitch = gf_randomVariation(c.climbPitch, climbPitchVariationPct);
    id.groundTurnStep = c.groundTurnStep;
    id.maxVerticalStep = c.maxVerticalStep;
    return id;
}

}  // namespace

std::string_view simStateText(SimState s)
{
    return lf_name(simStateNames, s);
}

std::string_view acPhaseText(AcPhase p)
{
    return lf_name(acPhaseNames, p);
}

const CategoryConstants& categoryConstants(AcCategory category)
{
    const auto i = static_cast<std::int32_t>(category);
    if (i < 0 || i >= static_cast<std::int32_t>(acCategoryCount)) {
        throw std::out_of_range("invalid unordered_map<K, T> key");
    }
    return lf_categoryTable()[static_cast<std::size_t>(i)];
}

const FlightConstants& flightConstants(AcCategory category)
{
    const auto i = static_cast<std::int32_t>(category);
    if (i < 0 || i >= static_cast<std::int32_t>(acCategoryCount)) {
        throw std::out_of_range("invalid unordered_map<K, T> key");
    }
    return lf_flightTable()[static_cast<std::size_t>(i)];
}

PositionSample positionSampleAt(const LatLon& at, double groundSpeed, std::int32_t dueTick, double altitude,
                                bool airborne)
{
    PositionSample s;
    s.latitude = at.lat;
    s.longitude = at.lon;
    s.altitude = altitude;
    s.groundSpeed = groundSpeed;
    s.speed = groundSpeed;
    s.dueTick = dueTick;
    s.airborne = airborne;
    return s;
}

PositionSample positionSampleFromTraffic(const TrafficRecord& r)
{
    return {r.lat,      r.lon,        r.altitude,         r.groundSpeed, r.track,       r.verticalRate, r.speed,
            r.dueTick,  r.airborne,   r.stationary,       r.trueHeadingGiven, r.bankAngle, r.trueHeading};
}

AcIdentity acIdentityFromTraffic(const TrafficRecord& record)
{
    return lf_identity(record);
}

AcIdentity acIdentityFromTraffic(const ParkedTrafficRecord& record)
{
    return lf_identity(record);
}

void copyAcIdentity(AcIdentity& target, const AcIdentity& source)
{
    target = source;
}

void initStaticAc(SimAc& ac, const AcIdentity& identity, std::uint32_t standId, const LatLon& standPosition,
                  double standHeading, bool cargo)
{
    ac = SimAc{};
    copyAcIdentity(ac, identity);
    ac.position = standPosition;
    ac.heading = standHeading;
    ac.standId = standId;
    ac.cargoLook = cargo;
}

LiveAc newLiveAc(const PositionSample& first, const AcIdentity& identity, double time)
{
    LiveAc ac;
    copyAcIdentity(ac, identity);
    ac.samples.push_back(first);
    ac.lastSampleTime = time;
    return ac;
}

LiveryRequest liveryRequest(const AcIdentity& ac)
{
    LiveryRequest request{ac.airline, ac.type, ac.registration, ac.callsign, ac.category, ac.cargo};
    request.origin = ac.origin;
    request.destination = ac.destination;
    request.title = ac.liveryTitle;
    return request;
}

std::string acTypeText(const AcIdentity& ac)
{
    return vr::format("{:3} {:4}", ac.airline, ac.type);
}

std::string acRouteText(const AcIdentity& ac)
{
    if (ac.origin.empty() && ac.destination.empty()) return std::string(8, ' ');
    return vr::format("{:3}->{:3}", ac.origin, ac.destination);
}

std::string acDescription(const AcIdentity& ac)
{
    return vr::format("{} {}", vr::format("{} {:8} {}", acRouteText(ac), ac.callsign, ac.registration),
                      acTypeText(ac));
}

std::string acDescription3(const AcIdentity& ac)
{
    return vr::format("{} {} {}", vr::format("{:8}", ac.callsign), ac.registration, acTypeText(ac));
}

std::string acTypeRegText(const AcIdentity& ac)
{
    return acTypeText(ac) + " " + ac.registration;
}

bool callsignUsable(std::string_view callsign)
{
    return !callsign.empty() && callsign != "@@@@@@@@" && callsign.size() < 9;
}

std::optional<std::string> airlineFromCallsign(std::string_view callsign)
{
    if (callsign.size() < 4) return std::nullopt;
    const auto isLetter = [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z');
    };
    if (!isLetter(callsign[0]) || !isLetter(callsign[1]) || !isLetter(callsign[2])) return std::nullopt;
    if (callsign[3] < '0' || callsign[3] > '9') return std::nullopt;
    std::string code(callsign.substr(0, 3));
    for (char& c : code) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return code;
}

bool setAirlineFromCallsign(AcIdentity& ac)
{
    auto code = airlineFromCallsign(ac.callsign);
    if (!code) return false;
    ac.airline = std::move(*code);
    return true;
}

bool lf_isCategoryIncluded(AcCategory category)
{
    switch (category) {
    case AcCategory::Light: return LIGHT_AIRCRAFT.get();
    case AcCategory::HighPerf: return HIGH_PERF_AIRCRAFT.get();
    case AcCategory::Rotorcraft: return HELICOPTERS.get();
    case AcCategory::Buzjets:
    case AcCategory::Large:
    case AcCategory::Heavy: return true;
    }
    return false;
}

void eraseLiveAc(LiveAc& ac)
{
    LiveAc* const last = &liveAircraft.back();
    if (&ac != last) ac = std::move(*last);
    liveAircraft.pop_back();
}

AcCreation liveAcCreation(const LiveAc& ac)
{
    constexpr double radToDeg = 57.29577951308232;
    AcCreation c;
    c.initPosition.Latitude = ac.posBlock.latitude;
    c.initPosition.Longitude = ac.posBlock.longitude;
    c.initPosition.Altitude = ac.posBlock.altitude;
    c.initPosition.Pitch = ac.posBlock.pitch * radToDeg;
    c.initPosition.Bank = ac.posBlock.bank * radToDeg;
    c.initPosition.Heading = ac.posBlock.heading * radToDeg;
    c.initPosition.OnGround = ac.samples.empty() || !ac.samples.front().airborne ? 1 : 0;
    c.initPosition.Airspeed = 0;
    c.callsign = ac.callsign;
    c.liveryTitle = std::string(ac.liveryTitle);
    c.aircraftId = ac.aircraftId;
    return c;
}
