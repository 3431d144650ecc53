#include "support/motion_streams.h"

#include <GeographicLib/Geodesic.hpp>

#include <cmath>
#include <mutex>
#include <numbers>

#include "core/fmt.h"
#include "engine/motion.h"
#include "simlink/sim_queues.h"

namespace motiontest {

namespace {

const GeographicLib::Geodesic& sphere()
{
    static const GeographicLib::Geodesic g(10800.0 / std::numbers::pi * 1852.0, 0.0);
    return g;
}

}  // namespace

Inverse inverse(const LatLon& a, const LatLon& b)
{
    double s12 = 0.0, azi1 = 0.0, azi2 = 0.0;
    sphere().Inverse(a.lat, a.lon, b.lat, b.lon, s12, azi1, azi2);
    if (azi1 < 0) azi1 += 360.0;
    return {s12 / 1852.0, azi1};
}

LatLon direct(const LatLon& from, double azimuthDeg, double nm)
{
    double lat2 = 0.0, lon2 = 0.0;
    sphere().Direct(from.lat, from.lon, azimuthDeg, nm * 1852.0, lat2, lon2);
    return {lat2, lon2};
}

PositionSample sample(const LatLon& at, double groundSpeed, std::int32_t dueTick, double altitude)
{
    return positionSampleAt(at, groundSpeed, dueTick, altitude, altitude > 0);
}

void applyCategory(AcIdentity& id, AcCategory category)
{
    setCategoryConstants(id, category);
    id.halfWingspan = 0.01;
    id.cgHeight = 10.0;
    id.staticPitch = 0.7 * geo::degToRad;
}

LiveAc aircraft(AcCategory category, const std::vector<PositionSample>& samples, double headingDeg,
                std::uint32_t objectId)
{
    AcIdentity id;
    id.airline = "TST";
    id.type = "B738";
    id.callsign = "TST123";
    id.registration = "D-ABCD";
    id.aircraftId = 0x400000;
    applyCategory(id, category);
    LiveAc ac = newLiveAc(samples.front(), id, 0.0);
    ac.turnStep = ac.groundTurnStep;
    ac.manoeuvreSpeed = id.manoeuvreSpeed;
    for (std::size_t i = 1; i < samples.size(); ++i) ac.samples.push_back(samples[i]);
    ac.objectId = objectId;
    ac.simState = SimState::active;
    ac.posBlock.latitude = samples.front().latitude;
    ac.posBlock.longitude = samples.front().longitude;
    ac.posBlock.altitude = samples.front().altitude;
    ac.posBlock.heading = headingDeg * geo::degToRad;
    const bool onGround = !samples.front().airborne;
    ac.groundReplySeen = onGround;
    ac.phase = onGround ? AcPhase::taxi : AcPhase::flying;
    ac.prevPhase = ac.phase;
    if (onGround) ac.heightAboveGround = 0.0;
    ac.throttleStep = 0;
    ac.flapsIndex = 0;
    return ac;
}

bool tickOnce(LiveAc& ac)
{
    const bool erase = updateLiveAc(ac);
    positionQueue.write().clear();
    tickCounter.fetch_add(1);
    return !erase && ac.simState == SimState::active;
}

LatLon at(const LiveAc& ac)
{
    return {ac.posBlock.latitude, ac.posBlock.longitude};
}

std::vector<std::string> takeEvents()
{
    std::vector<std::string> out;
    std::lock_guard lock(simQueueMutex);
    for (const QueuedEvent& e : eventQueue) out.push_back(vr::format("{} {} {}", e.objectId, e.eventId, e.data));
    eventQueue.clear();
    return out;
}

}  // namespace motiontest
