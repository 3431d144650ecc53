#include "engine/live_update.h"

#include <algorithm>
#include <cmath>

#include "core/fmt.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/spawn.h"
#include "simlink/sim_queues.h"

// The straight-line motion: when the front sample falls due and the aircraft
// stands on it, the sample is consumed and a leg to the next one begins. The leg
// takes the ticks to the next due tick, or more when the distance cannot be
// covered at 1.25 x the larger ground speed of the two samples (1 kt at least):
// the aircraft never moves faster than its samples say. During a leg the
// aircraft adds fixed steps (updateValue counts the ticks left) and stands
// exactly on the sample at its end.

namespace {

constexpr double lf_speedAllowance = 1.25;
constexpr double lf_minimumSpeedKt = 1.0;
constexpr double lf_ticksPerHour = 360000.0;

double lf_lonDelta(double from, double to)
{
    double d = to - from;
    if (d > 180) d -= 360;
    if (d < -180) d += 360;
    return d;
}

double lf_foldLon(double lon)
{
    if (lon >= 180) lon -= 360;
    if (lon < -180) lon += 360;
    return lon;
}

bool lf_erase(const LiveAc& ac) { return ac.removedInBuffer || ac.removedWhileQueued; }

void lf_startLeg(LiveAc& ac, const PositionSample& from)
{
    const PositionSample& to = ac.samples.front();
    const LatLon here{ac.posBlock.latitude, ac.posBlock.longitude};
    const LatLon there{to.latitude, to.longitude};
    const double d = distanceNm(here, there);
    const double v = std::max({from.groundSpeed, to.groundSpeed, lf_minimumSpeedKt}) * lf_speedAllowance;
    const auto minTicks = static_cast<std::int64_t>(std::ceil(d * lf_ticksPerHour / v));
    const std::int64_t dueIn = static_cast<std::int64_t>(to.dueTick) - tickCounter.load();
    const auto n = static_cast<std::uint32_t>(std::clamp<std::int64_t>(std::max(dueIn, minTicks), 1, 1'000'000));
    ac.updateValue = n;
    ac.latStep = (to.latitude - ac.posBlock.latitude) / n;
    ac.lonStep = lf_lonDelta(ac.posBlock.longitude, to.longitude) / n;
    ac.altStep = (to.altitude - ac.posBlock.altitude) / n;
    ac.verticalSpeed = ac.altStep * 6000.0;  // ft/min
    ac.signedSpeed = to.groundSpeed;
    if (d > 1e-7) ac.posBlock.heading = initialBearing(here, there);
}

// Reached the front sample and it is due: consume it, start the next leg.
void lf_nextSample(LiveAc& ac)
{
    const PositionSample from = ac.samples.front();
    ac.samples.pop_front();
    if (ac.samples.empty()) return;
    lf_startLeg(ac, from);
}

void lf_step(LiveAc& ac)
{
    if (ac.updateValue > 0) {
        --ac.updateValue;
        if (ac.updateValue == 0) {
            const PositionSample& to = ac.samples.front();
            ac.posBlock.latitude = to.latitude;
            ac.posBlock.longitude = to.longitude;
            ac.posBlock.altitude = to.altitude;
        } else {
            ac.posBlock.latitude += ac.latStep;
            ac.posBlock.longitude = lf_foldLon(ac.posBlock.longitude + ac.lonStep);
            ac.posBlock.altitude += ac.altStep;
        }
        return;
    }
    ac.verticalSpeed = 0;
    if (tickCounter.load() >= ac.samples.front().dueTick) lf_nextSample(ac);
}

}  // namespace

bool updateLiveAc(LiveAc& ac)
{
    try {
        if (ac.simState == SimState::buffer) {
            lf_spawnPath(ac);
            return lf_erase(ac);
        }
        if (ac.simState != SimState::active) return lf_erase(ac);
        if (!ac.samples.empty()) {
            lf_step(ac);
            ac.posBlock.verticalSpeed = ac.verticalSpeed / 60.0;
            ac.posBlock.trueAirspeed = ac.samples.empty() || ac.samples.front().stationary ? 0.0 : ac.signedSpeed;
        }
        if (ac.samples.empty()) {
            logLineMarked(vr::format("{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
                                     "updateLiveAc", acDescription(ac), ac.aircraftId, ac.objectId,
                                     ac.posBlock.altitude,
                                     vr::format("{:.6f},{:.6f}", ac.posBlock.latitude, ac.posBlock.longitude),
                                     ac.posBlock.trueAirspeed));
            removeAircraftFromSim(ac);
            return lf_erase(ac);
        }
        if (ac.objectId != 0) {
            positionQueue.write().push_back({ac.posBlock, ac.objectId});
        } else {
            logLineMarked(vr::format("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc",
                                     ac.aircraftId, ac.callsign, ac.registration, acTypeText(ac), ac.samples.size()));
            removeAircraftFromSim(ac);
        }
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", e.what(), acDescription(ac),
                                 ac.samples.size(), acPhaseText(ac.phase), simStateText(ac.simState)));
    }
    return lf_erase(ac);
}

void decodeExisting(LiveAc& ac, PositionSample sample)
{
    try {
        if (ac.samples.size() >= maxQueuedSamples) {
            removeAircraftFromSim(ac);
            return;
        }
        if (!ac.samples.empty()) {
            const PositionSample& newest = ac.samples.back();
            sample.stationary = std::fabs(sample.latitude - newest.latitude) <= 1e-8 &&
                                std::fabs(sample.longitude - newest.longitude) <= 1e-8;
            if (newest.dueTick >= sample.dueTick) sample.dueTick = newest.dueTick + 1;
        }
        ac.samples.push_back(sample);
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{} exception {}", "decodeExisting", e.what()));
        throw;
    }
}
