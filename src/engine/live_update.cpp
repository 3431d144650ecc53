// The per-step update of live aircraft: once per tick from the update pass
// (spawn buffered aircraft, move active ones, queue their position blocks),
// and on every new sample of a known aircraft from the merge (check the sample
// against the aircraft's situation and append it or drop it).

#include "engine/live_update.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "core/airport_services.h"
#include "core/fmt.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "engine/motion.h"
#include "engine/live_parking.h"
#include "engine/sim_replies.h"
#include "engine/stand.h"
#include "platform/clock.h"
#include "simlink/sim_queues.h"

using namespace geo;

namespace {

constexpr double lf_85m = 0.0458963282937365;
constexpr double lf_3m = 0.0016198704103671706;
constexpr double lf_200m = 0.10799136069114472;
constexpr double lf_22m = 0.011879049676025918;
constexpr double lf_nearPlace = 0.00015;  // degrees: close enough to stand for the sample before

std::int32_t lf_tickNow()
{
    return tickCounter.load(std::memory_order_relaxed);
}

std::int32_t lf_tickPlusOne()
{
    return toTicks(static_cast<double>(lf_tickNow()) + 1.0);
}

bool lf_erase(const LiveAc& ac)
{
    return ac.removedInBuffer || ac.removedWhileQueued;
}

LatLon lf_at(const PositionSample& s)
{
    return {s.latitude, s.longitude};
}

LatLon lf_blockAt(const LiveAc& ac)
{
    return {ac.posBlock.latitude, ac.posBlock.longitude};
}

void lf_resumeWindow(LiveAc& ac)
{
    ac.dueLead = 3000;
    ac.dueLag = ac.takeOffRoll ? 5000 : 3000;
}

LatLon lf_standPosition(const LiveAc& ac, double* radius)
{
    if (const Stand* stand = findStandById(ac.standId)) {
        if (radius != nullptr) *radius = stand->radius;
        return {stand->latitude, stand->longitude};
    }
    if (radius != nullptr) *radius = ac.halfWingspan;
    return ac.position;
}

std::int64_t lf_wallTime100ns()
{
    return static_cast<std::int64_t>(platform::wallSeconds() * 1e7);
}

// An aircraft that has rolled to a stop at the end of its leg (taxi, its front
// sample standing) rolls on every tick towards that stop: with nothing changed,
// each such tick works out the same standstill again. A tick of the roll that
// changed nothing of what it works from is noted; while all of that stays the
// same to the bit (and the aimed sample's copy, the phase and the straight leg),
// the next tick is the same tick, and only its one write, the speed shown, is
// made. Speed 0 before and after with a positive cap means the leg's end had
// been reached (short of it the roll speeds up), where no clock or turn step
// enters the tick.
RollInputs lf_rollInputs(const LiveAc& ac)
{
    RollInputs r;
    r.latitude = ac.posBlock.latitude;
    r.longitude = ac.posBlock.longitude;
    r.heading = ac.posBlock.heading;
    r.endLat = ac.rollEnd.lat;
    r.endLon = ac.rollEnd.lon;
    r.cosLat = ac.rollCosLat;
    r.cap = ac.rollCap;
    r.speed = ac.rollSpeed;
    r.travelled = ac.rollTravelled;
    r.travel = ac.rollTravel;
    r.index = ac.rollIndex;
    r.straight = ac.rollStraight;
    r.stops = ac.rollStops;
    return r;
}

bool lf_sameInputs(const RollInputs& a, const RollInputs& b)
{
    const auto same = [](double x, double y) { return std::bit_cast<std::uint64_t>(x) == std::bit_cast<std::uint64_t>(y); };
    return same(a.latitude, b.latitude) && same(a.longitude, b.longitude) && same(a.heading, b.heading) &&
           same(a.endLat, b.endLat) && same(a.endLon, b.endLon) && same(a.cosLat, b.cosLat) && same(a.cap, b.cap) &&
           same(a.speed, b.speed) && same(a.travelled, b.travelled) && same(a.travel, b.travel) &&
           a.index == b.index && a.straight == b.straight && a.stops == b.stops;
}

// At rest the way the roll leaves it: taxiing on a straight leg, standing, its aimed sample's copy current.
bool lf_restCase(const LiveAc& ac)
{
    return ac.phase == AcPhase::taxi && !(ac.curve.active() && !ac.rollStraight) &&
           std::bit_cast<std::uint64_t>(ac.rollSpeed) == 0 && ac.rollCap > 0.0 &&
           ac.samples.aimHolds(ac.rollIndex, ac.rollAim) && ac.rollAim.present;
}

void lf_rollAtStop(LiveAc& ac)
{
    if (ac.rollRestHolds && lf_restCase(ac) && lf_sameInputs(lf_rollInputs(ac), ac.rollRest)) {
        ac.posBlock.trueAirspeed = 0.0;  // what the roll shows standing
        return;
    }
    const RollInputs before = lf_rollInputs(ac);
    lf_groundRoll(ac);
    ac.rollRest = lf_rollInputs(ac);
    ac.rollRestHolds = lf_restCase(ac) && lf_sameInputs(before, ac.rollRest);
}

double lf_headingOffDegrees(const LatLon& from, const LatLon& to, double heading)
{
    return std::abs(foldPi(initialBearing(from, to) - heading)) * radToDeg;
}

}  // namespace

bool updateLiveAc(LiveAc& ac)
{
    if (ac.simState == SimState::buffer) {
        lf_spawnPath(ac);
        return lf_erase(ac);
    }
    if (ac.simState != SimState::active) return lf_erase(ac);
    try {
        // The front copy: an aircraft with nothing due leaves its queue untouched.
        if (const SampleFront front = ac.samples.frontCopy(); front.present && lf_tickNow() >= front.dueTick) {
            nextPosMain(ac);
            reviewGroundAtSample(ac);
            ac.posBlock.verticalSpeed = ac.verticalSpeed / 60.0;
            const SampleFront next = ac.samples.frontCopy();
            ac.posBlock.trueAirspeed = next.present && next.stationary ? 0.0 : ac.signedSpeed;
            if (ac.simState != SimState::active) return lf_erase(ac);
        }
        // It goes when an aircraft rolling on the ground would run into it
        // (twice a second, spread over the aircraft).
        if (ac.groundReplySeen && (lf_tickNow() + ac.objectId) % 50 == 0) {
            if (const LiveAc* mover = lf_standsInTheWay(ac); mover != nullptr) {
                if (LOG.get())
                    logLine(vr::format("          {:8} removed out of the way of {} ({}, {})", ac.callsign,
                                       mover->callsign, acPhaseText(ac.phase), ac.parkProgress >= 1 ? "without fixes" : "with fixes"));
                removeAircraftFromSim(ac);
                return lf_erase(ac);
            }
        }
        const SampleFront front = ac.samples.frontCopy();
        if (!front.present) {
            logLineMarked(vr::format("{} stream empty ? {}, hexid:{}, objectid:{}, alt:{:.0f} ft, lalo:{}, TAS:{:.0f}",
                                     "updateLiveAc", acDescription(ac), ac.aircraftId, ac.objectId,
                                     ac.posBlock.altitude,
                                     vr::format("{:.6f},{:.6f}", ac.posBlock.latitude, ac.posBlock.longitude),
                                     ac.posBlock.trueAirspeed));
            removeAircraftFromSim(ac);
            return lf_erase(ac);
        }
        const double altitudeBefore = ac.posBlock.altitude;
        if (!front.stationary) {
            lf_applyStep(ac);
        } else if (lf_rollsOnGround(ac)) {
            lf_rollAtStop(ac);  // towards a stop that is already due
        }
        keepAboveGround(ac);
        // The vertical speed shown is the one flown (the flare's, a descent to a
        // field elevation); nothing on the ground.
        ac.posBlock.verticalSpeed =
            ac.groundReplySeen ? 0.0 : (ac.posBlock.altitude - altitudeBefore) * ticksPerSecond;
        if (ac.objectId != 0) {
            positionQueue.write().push_back({ac.posBlock, ac.objectId});
        } else {
            logLineMarked(vr::format("{} objectid=0? hexid: {},cs:{}, reg:{}, aimo:{} sz:{}", "updateLiveAc",
                                     ac.aircraftId, ac.callsign, ac.registration, acTypeText(ac), ac.samples.size()));
            removeAircraftFromSim(ac);
        }
    } catch (const std::exception& e) {
        // Logged once: the aircraft leaves, so the next tick does not come here again.
        logLineMarked(vr::format("{}: {} {}, sz:{}, fs:{}, st:{}", "updateLiveAc", e.what(), acDescription(ac),
                                 ac.samples.size(), acPhaseText(ac.phase), simStateText(ac.simState)));
        if (ac.simState != SimState::removingfromsim) removeAircraftFromSim(ac);
    }
    return lf_erase(ac);
}

void decodeExisting(LiveAc& ac, PositionSample s)
{
    try {
        if (ac.dueShift != 0) s.dueTick = toTicks(static_cast<double>(s.dueTick) + ac.dueShift);
        if (ac.samples.size() > 200) {
            removeAircraftFromSim(ac);
            return;
        }
        if (ac.holding && !ac.samples.empty() &&
            distanceNm(lf_at(s), lf_at(ac.samples.front())) * metresPerNm > HOLDING_THRESHOLD_METERS.get()) {
            ac.holding = false;
            ac.holdStartTick = 0;
            removeAircraftFromSim(ac);
            return;
        }
        if (ac.phase == AcPhase::birth) {
            if (!ac.samples.empty() && lf_checkStationary(ac, s)) {
                if (ac.samples.back().dueTick >= s.dueTick) s.dueTick = toTicks(ac.samples.back().dueTick + 1.0);
                ac.samples.push_back(s);
            }
            return;
        }
        if (!checkExtendingSituations(ac, s)) return;
        if (!s.airborne && !ac.samples.empty() && ac.samples.back().stationary) {
            if (s.stationary) {
                const bool allStanding = std::all_of(ac.samples.begin(), ac.samples.end(),
                                                     [](const PositionSample& p) { return p.stationary; });
                if (allStanding && ac.samples.size() > 1) ac.samples.resize(1);
            } else if (ac.samples.size() >= 3) {
                const std::size_t size = ac.samples.size();
                const std::size_t span = std::min<std::size_t>(size, 7) - 2;
                for (std::size_t i = 0; i < span; ++i) {
                    const std::size_t at = size - 2 - i;
                    const PositionSample& m = ac.samples[at];
                    if (m.stationary) continue;
                    if (static_cast<std::int64_t>(ac.samples.back().dueTick) - m.dueTick < 1500 ||
                        distanceNm(lf_at(m), lf_at(s)) <= lf_22m) {
                        ac.samples.resize(at + 1);
                    }
                    break;
                }
            }
        }
        if (!ac.samples.empty() && ac.samples.back().dueTick >= s.dueTick) {
            s.dueTick = toTicks(ac.samples.back().dueTick + 1.0);
        }
        if (!ac.takeOffRoll && ac.groundReplySeen && ac.simState == SimState::active && !ac.samples.empty()) {
            const PositionSample& newest = ac.samples.back();
            if (ac.rollingOut && newest.airborne && s.airborne) {
                // A touch-and-go: power up and roll for the take-off.
                ac.phase = AcPhase::taxi;
                ac.takeOffRoll = true;
                if (ac.throttleStep != 3) {
                    sendEvent(ac, EVENT_THROTTLE_SET, 11468);
                    ac.throttleStep = 3;
                }
                sendSpoilers(ac, 0);
                gf_setFlaps(ac, 1);
                ac.landing = false;
                ac.justLanded = false;
                ac.goAround = false;
                setLights(ac, {1, 1, 1, 1, 1, 1, 0});
                ac.dueLead = 3000;
                ac.dueLag = 5000;
            } else if (!ac.rollingOut && !s.airborne && s.groundSpeed >= 43 && newest.groundSpeed >= 43 &&
                       s.groundSpeed >= newest.groundSpeed && ac.phase == AcPhase::taxi) {
                // Fast on the ground and not slowing: a take-off roll. One that
                // slows is a landing first seen on its roll-out; it brakes as a taxi.
                lf_startTakeOffRoll(ac);
            } else if (!ac.rollingOut && s.airborne && ac.phase == AcPhase::taxi) {
                lf_startTakeOffRoll(ac);
            }
        }
        ac.samples.push_back(s);
        if (ac.samples.size() == 2 && ac.samples[0].stationary && ac.samples[1].stationary) {
            ac.samples[0].dueTick = lf_tickPlusOne();
            ac.samples[0].groundSpeed = ac.samples[1].groundSpeed;
        }
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{} exception {}", "decodeExisting", e.what()));
        throw;
    }
}

bool checkExtendingSituations(LiveAc& ac, PositionSample& s)
{
    switch (ac.phase) {
    case AcPhase::parking:
    case AcPhase::parked:
        if (ac.simState == SimState::buffer || ac.simState == SimState::adding2sim) return false;
        return lf_arrivalCheck(ac, s);
    case AcPhase::pushing_back:
        if (!STRAIGHT_PBS_ONLY.get() && ac.pushBackCountdown == 2) {
            double a = 0.0;
            bool known = true;
            if (s.trueHeading) {
                a = *s.trueHeading;
            } else if (s.track == 0.0) {
                known = false;
            } else {
                a = s.track * degToRad;
            }
            if (known) {
                ac.pushBackTurnRight = foldPi(a - ac.posBlock.heading) > 0;
                ac.pushBackTurnKnown = true;
            }
        }
        return false;
    case AcPhase::pushed_back: {
        const double d = distanceNm(lf_blockAt(ac), lf_at(s));
        const double r = ac.halfWingspan;
        if (!(d > 2.75 * r && d > ac.nearestSampleNm) && !(d > 6 * r)) {
            if (!ac.holding) {
                ac.holding = true;
                ac.holdStartTick = static_cast<std::uint32_t>(lf_tickNow());
                ac.holdLostMoving = false;
            }
            ac.nearestSampleNm = d;
            return false;
        }
        s.stationary = false;
        if (ac.parkProgress > 0) {
            if (!ac.samples.empty()) ac.samples.front().dueTick = lf_tickPlusOne();
            ac.parkProgress = 0;
            lf_resumeWindow(ac);
        }
        ac.pushBackTurnKnown = false;
        ac.pushBackCountdown = 0;
        ac.prevPhase = ac.phase;
        ac.phase = AcPhase::taxi;
        ac.position = {};
        ac.heading = 0.0;
        ac.standId = 0;
        ac.cargoLook = false;
        ac.holding = false;
        ac.holdStartTick = 0;
        return true;
    }
    default:
        break;
    }
    if (ac.landing || ac.rollingOut) return checkNewPosDuringLanding(ac, s);
    const bool accepted = lf_checkStationary(ac, s);
    if (!accepted || ac.parkProgress < 1) return accepted;
    if (ac.samples.empty()) {
        logLineMarked(vr::format("{} empty sz?", "checkExtendingSituations"));
        return false;
    }
    if (!ac.groundReplySeen &&
        lf_headingOffDegrees(lf_at(ac.samples.back()), lf_at(s), ac.posBlock.heading) >= 100) {
        return false;
    }
    ac.parkProgress = 0;
    lf_resumeWindow(ac);
    ac.samples.front().dueTick = lf_tickPlusOne();
    ac.holding = false;
    ac.holdStartTick = 0;
    return true;
}

bool checkNewPosDuringLanding(LiveAc& ac, PositionSample& s)
{
    if (ac.samples.empty()) {
        logLineMarked(vr::format("{} empty sz?", "checkNewPosDuringLanding"));
        return false;
    }
    if (samePlace(s, ac.samples.back())) return false;
    const double heading = ac.posBlock.heading;
    if (ac.samples.size() == 1) {
        const double a = lf_headingOffDegrees(lf_at(ac.samples.front()), lf_at(s), heading);
        if (ac.landing) {
            if (a >= 90) return false;
        } else if (a >= 150) {
            if (ac.parkProgress > 0) return false;
            PositionSample here = ac.samples.front();
            here.latitude = ac.posBlock.latitude;
            here.longitude = ac.posBlock.longitude;
            here.dueTick = lf_tickPlusOne();
            ac.samples.clear();
            ac.samples.push_back(here);
        }
    } else {
        const std::size_t queued = ac.samples.size();
        if (lf_headingOffDegrees(lf_at(ac.samples.back()), lf_at(s), heading) >= 90) {
            ac.samples.pop_back();
            if (lf_headingOffDegrees(lf_at(ac.samples.back()), lf_at(s), heading) >= 90 && queued >= 3) {
                ac.samples.pop_back();
            }
        }
    }
    if (ac.parkProgress > 0) {
        ac.parkProgress = 0;
        lf_resumeWindow(ac);
    }
    const PositionSample& newest = ac.samples.back();
    if (samePlace(s, newest)) {
        s.stationary = true;
        return true;
    }
    s.stationary = false;
    if (s.groundSpeed > newest.groundSpeed && s.groundSpeed > 40) s.groundSpeed = newest.groundSpeed;
    return true;
}

bool lf_checkStationary(LiveAc& ac, PositionSample& s)
{
    if (ac.samples.empty()) return true;
    const PositionSample& p = ac.samples.back();
    s.stationary = samePlace(s, p);
    if (ac.category == AcCategory::Rotorcraft) return true;
    const bool activeAloft = ac.simState == SimState::active && !ac.groundReplySeen;
    if (s.stationary) {
        if (s.airborne || activeAloft) return false;
        if (ac.takeOffRoll && s.groundSpeed > 0 && p.groundSpeed >= 30) return false;
        s.groundSpeed = 0.0;
        return true;
    }
    if (samePlace(s.latitude, s.longitude, p.latitude, p.longitude, lf_nearPlace)) {
        if (s.airborne || activeAloft) return false;
        if (ac.takeOffRoll && s.groundSpeed > 0 && p.groundSpeed >= 50) return false;
        // Stands where the sample before stands (the sample keeps its own time).
        const std::int32_t due = s.dueTick;
        s = p;
        s.dueTick = due;
        s.groundSpeed = 0.0;
        s.stationary = true;
        return true;
    }
    if (s.groundSpeed != 0.0) return true;
    if (!ac.takeOffRoll && !s.airborne) return true;
    return p.groundSpeed < 50;
}

bool lf_arrivalCheck(LiveAc& ac, PositionSample& s)
{
    ac.standReported = true;
    double radius = 0.0;
    const double d = distanceNm(lf_standPosition(ac, &radius), lf_at(s));
    const double limit = ac.prevPhase == AcPhase::parking ? 2 * lf_85m : lf_85m;
    if (d <= limit) {
        ac.parkedSince = lf_wallTime100ns();
        if (ac.standDistanceFirst == 0.0 && ac.standDistanceLast == 0.0) {
            ac.standDistanceFirst = ac.standDistanceLast = d;
            ac.standDistanceCount = 0;
            ac.departurePending = false;
            return false;
        }
        if (d >= ac.standDistanceLast + lf_3m) {
            ac.standDistanceCount += 1;
            ac.standDistanceLast = d;
            const double moved = d - ac.standDistanceFirst;
            if ((ac.standDistanceCount < 3 || moved < radius / 2) && !(moved > radius)) {
                ac.departurePending = false;
                return false;
            }
        } else {
            if (d <= ac.standDistanceLast - lf_3m) ac.standDistanceCount = 0;
            ac.departurePending = false;
            return false;
        }
    } else if (ac.phase == AcPhase::parking) {
        ac.prevPhase = AcPhase::parking;
        ac.phase = AcPhase::taxi;
        s.stationary = false;
        return true;
    } else if (d > lf_200m) {
        removeAircraftFromSim(ac);
        return false;
    }
    s.stationary = false;
    ac.departurePending = true;
    if (ac.prevPhase != AcPhase::parked) {
        lf_settleAtStand(ac);
        if (ac.phase != AcPhase::parked) {
            ac.prevPhase = ac.phase;
            ac.phase = AcPhase::parked;
            markParkedNow(ac);
        }
    }
    return true;
}

void lf_settleAtStand(LiveAc& ac)
{
    if (ac.parkProgress >= 1) {
        if (ac.phase == AcPhase::parked) {
            if (ac.justLanded && !ac.samples.empty()) {
                // Ticks since the front sample fell due, in 32-bit unsigned arithmetic as stored.
                const std::uint32_t e =
                    static_cast<std::uint32_t>(lf_tickNow()) - static_cast<std::uint32_t>(ac.samples.front().dueTick);
                const std::uint32_t x = e + static_cast<std::uint32_t>(ticksPerWeek);
                switch (ac.category) {
                case AcCategory::Heavy:
                    ac.towed = x < 360000u;
                    break;
                case AcCategory::Large:
                    ac.towed = x < 150000u;
                    break;
                case AcCategory::Buzjets:
                    ac.towed = x < 90000u;
                    break;
                default:
                    ac.towed = false;
                    break;
                }
                ac.justLanded = false;
            }
            if (!ac.samples.empty()) ac.samples.front().dueTick = lf_tickPlusOne();
        }
        ac.parkProgress = 0;
        lf_resumeWindow(ac);
    }
    if (!ac.airline.empty() && ac.cargoLook == ac.cargo) {
        const std::uint64_t slot = currentSlotAndWeekday.load();
        const StandUser user{ac.aircraftId, ac.airline, ac.type, ac.registration, ac.callsign};
        if (lt_addStandOption(ac.standId, user, false, slot, true)) lf_markIdInSlot(slot, ac.aircraftId, true);
    }
    clearStandTaken(ac.standId, ac.aircraftId);
}
