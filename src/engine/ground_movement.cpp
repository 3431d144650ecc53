// Ground movement of live aircraft that the simulator reports on the ground:
// taxi legs and curves, the taxi throttle, the roll-out after landing, the
// push-back and pull-out from a stand, the drive into a stand and the arrival
// there, and the statics that make way for a live aircraft's stand.

#include <algorithm>
#include <cmath>
#include <mutex>

#include "core/airport_services.h"
#include "core/fmt.h"
#include "core/geodesy.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "core/time.h"
#include "engine/motion.h"
#include "engine/live_parking.h"
#include "engine/stand.h"
#include "engine/timed_queues.h"
#include "platform/clock.h"
#include "simlink/sim_api.h"
#include "simlink/sim_client.h"
#include "simlink/sim_queues.h"

using namespace geo;

namespace {

constexpr double lf_50m = 0.02699784017278618;
constexpr double lf_35m = 0.018898488120950324;
constexpr double lf_2m = 0.0010799136069114472;

LatLon lf_at(const PositionSample& s)
{
    return {s.latitude, s.longitude};
}

LatLon lf_blockAt(const LiveAc& ac)
{
    return {ac.posBlock.latitude, ac.posBlock.longitude};
}

void lf_shrink(std::int32_t& v)
{
    if (v > 1000) v = std::max(v - 100, 1000);
}

std::uint32_t lf_throttleStepFor(const LiveAc& ac, const PositionSample& s0, const PositionSample& s1)
{
    if (ac.category == AcCategory::Rotorcraft || s0.groundSpeed >= 25 || s1.groundSpeed >= 30) return 4;
    if (s0.groundSpeed >= 20 || s1.groundSpeed >= 25) return 2;
    if (s0.groundSpeed >= 15 || s1.groundSpeed >= 20) return 1;
    return 0;
}

std::int32_t lf_ticksAt(double distance, double speed)
{
    return toTicks(distance / speed * knotTicksPerNm);
}

// The departure lights: NAV, BEACON, TAXI, LOGO on; LANDING, STROBES, CABIN off.
constexpr std::array<std::uint32_t, 7> lf_taxiOutLights{1, 1, 0, 1, 0, 1, 0};


}  // namespace

void sendEvent(const LiveAc& ac, std::uint32_t eventId, std::uint32_t data)
{
    if (ac.objectId == 0) return;
    queueClientEvent({ac.objectId, eventId, data});
}

void sendGear(const LiveAc& ac, std::uint32_t down)
{
    if (ac.category != AcCategory::Rotorcraft) sendEvent(ac, EVENT_GEAR_SET, down);
}

void sendSpoilers(const LiveAc& ac, std::uint32_t value)
{
    if (ac.category != AcCategory::Rotorcraft) sendEvent(ac, EVENT_SPOILERS_SET, value);
}

void setLights(const LiveAc& ac, const std::array<std::uint32_t, 7>& values)
{
    if (ac.objectId == 0) return;
    setAcLights(ac.objectId, values);
}

void setEngineValues(const LiveAc& ac, double spoilers, double throttles)
{
    if (ac.objectId == 0) return;
    EngineBlock block{spoilers, throttles, throttles};
    HRESULT hr = 0;
    {
        std::lock_guard lock(simQueueMutex);
        if (simErrorFlag.load()) return;
        hr = simApi().setDataOnSimObject(DEF_ENGINE, ac.objectId, sizeof(block), &block);
    }
    if (hr != 0) {
        logLineMarked("SimConnect set engine data fails");
        reportSimConnectError();
    }
}

void nextPosGround(LiveAc& ac)
{
    switch (ac.phase) {
    case AcPhase::pushing_back:
        lf_pushBackStep(ac);
        break;
    case AcPhase::parked:
        ac.dueLag = ac.takeOffRoll ? 5000 : 3000;
        ac.dueLead = 3000;
        if (ac.departurePending) {
            const double b = std::round(
                foldPi(initialBearing(ac.position, lf_at(ac.samples.back())) - ac.heading) * radToDeg);
            if (std::abs(b) < 90) {
                lf_pullOut(ac);
            } else {
                lf_startPushBack(ac);
            }
        }
        break;
    default:
        if (ac.samples[1].stationary) break;
        if (ac.samples.size() >= 3 && !ac.samples[2].stationary) {
            const double a = std::abs(lf_turnAhead(ac)) * radToDeg;
            const PositionSample& s0 = ac.samples[0];
            const PositionSample& s1 = ac.samples[1];
            const std::int64_t gap = std::max<std::int64_t>(static_cast<std::int64_t>(s1.dueTick) - s0.dueTick, 25);
            if (a <= 3) {
                lf_splitOnSpeedJump(ac);
            } else if (a > 45 && distanceNm(lf_at(s0), lf_at(s1)) > lf_50m && s0.groundSpeed <= 43 && gap >= 600) {
                lf_insertMidSample(ac);
            } else if (a <= 160) {
                if (!samePlace(ac.samples[2], s0)) {
                    lf_makeCurve(ac);
                    ac.curveAngle = a;
                } else {
                    lf_splitOnSpeedJump(ac);
                }
            } else {
                lf_splitOnSpeedJump(ac);
            }
        } else if (ac.samples.size() >= 3 || ac.parkProgress < 1) {
            lf_splitOnSpeedJump(ac);
        }
        if (!ac.curve.active()) {
            ac.turnAngle = std::abs(foldPi(ac.targetBearing - ac.posBlock.heading)) * radToDeg;
            ac.turning = ac.turnAngle > 3;
        } else {
            ac.turning = false;
        }
        if (ac.samples.back().stationary && ac.phase == AcPhase::taxi && airportServices().standsLoaded() &&
            (ac.towed || (ac.prevPhase != AcPhase::parked && ac.prevPhase != AcPhase::pushing_back &&
                          ac.prevPhase != AcPhase::pushed_back))) {
            if (ac.parkProgress >= 1) {
                try2Park(ac, false);
            } else if (ac.samples[1].groundSpeed <= 5 &&
                       distanceNm(lf_blockAt(ac), lf_at(ac.samples.back())) <= lf_35m) {
                try2Park(ac, false);
            }
        }
        break;
    }
    if (ac.samples.size() >= 2) lf_retimeNextSample(ac);
}

void lf_taxiThrottle(LiveAc& ac)
{
    const PositionSample& s0 = ac.samples[0];
    const PositionSample& s1 = ac.samples[1];
    if (ac.phase == AcPhase::parked || ac.phase == AcPhase::flying) {
        ac.prevPhase = ac.phase;
        ac.phase = AcPhase::taxi;
    } else if (ac.takeOffRoll) {
        setThrottle(ac, lf_throttleStepFor(ac, s0, s1));
    } else if (!ac.rollingOut) {
        setThrottle(ac, ac.category == AcCategory::Rotorcraft ? 4 : 0);
    } else {
        lf_rollOut(ac);
    }
    if (!ac.rollingOut && !ac.takeOffRoll) {
        lf_shrink(ac.dueLead);
        lf_shrink(ac.dueLag);
    }
    if (ac.flareStage == 0 && ac.phase != AcPhase::take_off) {
        ac.posBlock.pitch = ac.staticPitch;
        ac.pitchStep = 0.0;
        ac.posBlock.bank = 0.0;
        ac.bankStep = 0.0;
    }
    const std::int32_t n = ticksToNext(ac);
    if (ac.curve.active()) ac.curveTStep = 1.0 / n;
    ac.signedSpeed = ac.phase == AcPhase::pushing_back ? -s1.groundSpeed : s1.groundSpeed;
    if (ac.takeOffRoll && ac.phase != AcPhase::take_off &&
        (s0.groundSpeed >= 43 || ac.category == AcCategory::Rotorcraft)) {
        lf_liftOffCheck(ac);
    }
}

void lf_rollOut(LiveAc& ac)
{
    const double d = foldPi(ac.posBlock.heading - ac.touchdownHeading) * radToDeg;
    const bool light = ac.category == AcCategory::Light;
    if (std::abs(d) >= 15) {
        gf_setFlaps(ac, 0);
        ac.rollingOut = false;
        ac.touchdownHeading = 0.0;
        setThrottle(ac, ac.category == AcCategory::Rotorcraft ? 4 : 0);
        sendSpoilers(ac, 0);
        if (!light) setEngineValues(ac, 0.0, 0.0);
        setLights(ac, {1, 1, 0, 1, 0, 1, 1});
    } else if (ac.samples[0].groundSpeed <= 90) {
        sendSpoilers(ac, 0);
        if (!light) setEngineValues(ac, 0.0, 0.0);
        gf_setFlaps(ac, 1);
    }
}

void lf_startPushBack(LiveAc& ac)
{
    ac.parkProgress = 0;
    const double back = std::fmod(ac.heading + pi, twoPi);
    const Stand* stand = findStandById(ac.standId);
    if (stand == nullptr) return;
    // A stand without a radius would push sideways only: at least the aircraft's own size.
    const double radius = std::max(stand->radius, ac.halfWingspan);
    const LatLon here = lf_blockAt(ac);
    const LatLon a = destinationPoint(here, back, 2.5 * radius * feetPerNm);
    const double speed = ac.manoeuvreSpeed;
    const std::int64_t now = tickCounter.load(std::memory_order_relaxed);
    ac.samples.front().groundSpeed = speed;
    ac.samples.resize(1);
    PositionSample pa = ac.samples.front();
    pa.latitude = a.lat;
    pa.longitude = a.lon;
    pa.groundSpeed = speed;
    pa.altitude = 0.0;
    pa.airborne = false;
    pa.stationary = false;
    const std::int32_t tA = lf_ticksAt(distanceNm(here, a), speed);
    pa.dueTick = toTicks(static_cast<double>(now + tA));
    ac.samples.push_back(pa);
    ac.targetBearing = ac.heading;
    ac.turning = false;
    lf_insertMidSample(ac);
    const LatLon mid = lf_at(ac.samples[1]);
    const double side = ac.halfWingspan * feetPerNm;
    const LatLon b = destinationPoint(a, std::fmod(back + pi / 2, twoPi), side);
    const LatLon c = destinationPoint(a, std::fmod(back - pi / 2 + twoPi, twoPi), side);
    // Both ends are due when the middle point plus the way from it to B says.
    const std::int32_t endDue = toTicks(static_cast<double>(now + tA / 2 + lf_ticksAt(distanceNm(mid, b), speed)));
    const auto end = [&](const LatLon& p) {
        PositionSample e = pa;
        e.latitude = p.lat;
        e.longitude = p.lon;
        e.dueTick = endDue;
        return e;
    };
    ac.pushBackAltEnd = end(b);
    ac.samples.push_back(end(c));
    setLights(ac, lf_taxiOutLights);
    ac.prevPhase = ac.phase;
    ac.phase = AcPhase::pushing_back;
    ac.pushBackCountdown = 2;
}

void lf_pushBackStep(LiveAc& ac)
{
    ac.pushBackCountdown -= 1;
    if (ac.pushBackCountdown == 1) {
        if (ac.samples.size() < 3) return;
        if (ac.pushBackTurnKnown) {
            if (ac.pushBackTurnRight && ac.pushBackAltEnd) ac.samples.back() = *ac.pushBackAltEnd;
            lf_makeCurve(ac);
            ac.curveTStep = 1.0 / std::round(90.0 / ac.turnStep / 100.0);
            ac.curveAngle = 90.0;
        } else {
            ac.samples.pop_back();
        }
        return;
    }
    if (ac.pushBackCountdown < 1) {
        ac.targetBearing = ac.posBlock.heading;
        sendEvent(ac, EVENT_ENGINE_AUTO_START, 0);
        setThrottle(ac, 0);
        gf_setFlaps(ac, 1);
        ac.prevPhase = ac.phase;
        ac.phase = AcPhase::pushed_back;
        ac.pushBackCountdown = 1;
        ac.nearestSampleNm = 900.0;
        ac.parkProgress = 0;
        ac.departurePending = false;
    }
}

void lf_pullOut(LiveAc& ac)
{
    ac.departurePending = false;
    ac.parkProgress = 0;
    const LatLon p = destinationPoint(ac.position, ac.heading, 2.0 * ac.halfWingspan * feetPerNm);
    const double speed = ac.manoeuvreSpeed;
    ac.samples.front().groundSpeed = speed;
    ac.samples.resize(1);
    PositionSample s = ac.samples.front();
    s.latitude = p.lat;
    s.longitude = p.lon;
    s.groundSpeed = speed;
    s.stationary = false;
    const std::int64_t now = tickCounter.load(std::memory_order_relaxed);
    s.dueTick = toTicks(static_cast<double>(now + lf_ticksAt(distanceNm(lf_blockAt(ac), p), speed)));
    ac.samples.push_back(s);
    ac.prevPhase = ac.phase;
    ac.phase = AcPhase::taxi;
    ac.targetBearing = ac.heading;
    setLights(ac, lf_taxiOutLights);
    sendEvent(ac, EVENT_ENGINE_AUTO_START, 0);
    setThrottle(ac, 0);
    gf_setFlaps(ac, 1);
    if (LOG.get()) logLine(vr::format("{:8}: {:8} pulling out", sidName(ac.standId), ac.callsign));
}

void drive2Stand(LiveAc& ac, const StandPoint& point)
{
    if (ac.samples.empty()) {
        logLineMarked(vr::format("{} empty sz?", "drive2Stand"));
        return;
    }
    PositionSample& last = ac.samples.back();
    const LatLon target{point.latitude, point.longitude};
    const std::int32_t n =
        std::max(toTicks(distanceNm(lf_at(last), target) * knotTicksPerNm / ac.manoeuvreSpeed), 100);
    last.groundSpeed = ac.manoeuvreSpeed;
    PositionSample s;
    s.latitude = point.latitude;
    s.longitude = point.longitude;
    s.altitude = ac.posBlock.altitude;
    s.groundSpeed = ac.manoeuvreSpeed;
    s.track = point.heading * radToDeg;
    s.verticalRate = 0.0;
    s.speed = last.speed;
    s.stationary = samePlace(last.latitude, last.longitude, point.latitude, point.longitude);
    s.trueHeadingSet = last.trueHeadingSet;
    s.bank = ac.posBlock.bank;
    const std::int64_t front = ac.samples.front().dueTick;
    s.dueTick = toTicks(static_cast<double>(front + n));
    PositionSample standing = s;
    standing.groundSpeed = 0.0;
    standing.stationary = true;
    standing.dueTick = toTicks(static_cast<double>(front + n + 50));
    ac.samples.push_back(s);
    ac.samples.push_back(standing);
    ac.targetBearing = point.heading;
    if (ac.parkProgress > 0) {
        ac.parkProgress = 0;
        ac.dueLag = ac.takeOffRoll ? 5000 : 3000;
        ac.dueLead = 3000;
    }
}

void lf_arriveAtStand(LiveAc& ac)
{
    Stand* stand = findStandById(ac.standId);
    if (stand != nullptr && standTakenByOther(*stand, ac.aircraftId)) {
        // Another arrival took the stand; the mark stays for it.
        ac.parkProgress = 1;
        ac.standId = 0;
        removeAircraftFromSim(ac);
        return;
    }
    const LatLon standAt = stand != nullptr ? LatLon{stand->latitude, stand->longitude} : ac.position;
    if (distanceNm(lf_blockAt(ac), standAt) > lf_2m) {
        ac.prevPhase = ac.phase;
        ac.phase = AcPhase::taxi;
        return;
    }
    ac.prevPhase = ac.phase;
    ac.phase = AcPhase::parked;
    markParkedNow(ac);
    if (ac.towed && LOG.get()) logLine(vr::format("          towed aircraft {} parks", acDescription(ac)));
    ac.samples.front().stationary = true;
    ac.lastStandSearchPosition = {};
    lf_setCargoAttribute(ac);
    shutDownAc(ac);
    if (LOG.get()) logLine(vr::format("{:8}: {:8} arrived at stand", sidName(ac.standId), ac.callsign));
    IdentityCheckQueue.push_back(ac.aircraftId);
    if (!ac.airline.empty() && ac.cargoLook == ac.cargo) {
        const StandUser user{ac.aircraftId, ac.airline, ac.type, ac.registration, ac.callsign};
        const std::uint64_t weekdayAndSlot = packSlotAndWeekday(static_cast<int>(ac.birthSlot),
                                                                static_cast<int>(ac.birthDay));
        if (lt_addStandOption(ac.standId, user, false, weekdayAndSlot, false)) {
            lf_markIdInSlot(weekdayAndSlot, ac.aircraftId, true);
        }
    }
    // Parked and counted already: nothing extra is about to park.
    enforceMaxPark(0);
}

void lf_setCargoAttribute(LiveAc& ac)
{
    if (!ac.cargo || ac.cargoLook) return;
    Stand* stand = findStandById(ac.standId);
    if (stand == nullptr || !stand->cargo) return;
    stand->cargo = false;
    stand->cargoChange = true;
    ++standUpdateCount;
    logLine(vr::format("{} stand: {}, cargo attribute set to false, {} parked here", acDescription(ac), stand->name,
                       ac.type));
}

namespace {

bool lf_sameText(const std::string& a, const std::string& b)
{
    return a == b;
}

}  // namespace

void lf_makeWay(LiveAc& ac, const Stand& stand)
{
    const std::uint32_t standId = stand.sid;
    for (SimAc& st : staticAircraft) {
        if (st.standId != standId) continue;
        const char* same = lf_sameText(st.coupledCs, ac.callsign) || lf_sameText(st.registration, ac.registration)
                               ? " the same live version"
                               : "";
        if (st.simState == SimState::adding2sim) {
            if (isCreationPending(staticCreationQueue, st.callsign, st.aircraftId)) {
                st.removedWhileQueued = true;
                if (LOG.get()) {
                    logLine(vr::format("queued {:8}: {:8} {} makes way for{} {} {}", stand.name, st.callsign,
                                       st.registration, same, ac.callsign, ac.registration));
                }
            } else {
                st.removeAfterCreate = true;
            }
        } else if (st.simState == SimState::active) {
            if (LOG.get()) {
                logLine(vr::format("{:8}: {:8} {} makes way for{} {} {}", stand.name, st.callsign, st.registration,
                                   same, ac.callsign, ac.registration));
            }
            removeAircraftFromSim(st);
        }
        break;
    }
    std::erase_if(staticAircraft, [](const SimAc& s) { return s.removedWhileQueued; });
    const std::vector<std::uint32_t> excluded = stand.conflictingStands;
    for (std::uint32_t id : excluded) lf_makeWayExcluded(ac, id, stand);
}

void lf_makeWayExcluded(LiveAc& ac, std::uint32_t excludedStandId, const Stand& stand)
{
    const LatLon chosen{stand.latitude, stand.longitude};
    const double liveSpan = gf_halfWingspan(ac.type);
    for (SimAc& st : staticAircraft) {
        if (st.simState != SimState::active || st.standId != excludedStandId) continue;
        if (distanceNm(st.position, chosen) > 1.1 * (liveSpan + gf_halfWingspan(st.type))) continue;
        if (LOG.get()) {
            logLine(vr::format("{:8}: {:8} makes way for {} parking at excluded stand {}", sidName(st.standId),
                               st.callsign, ac.callsign, stand.name));
        }
        removeAircraftFromSim(st);
        return;
    }
}
