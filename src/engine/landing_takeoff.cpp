// Flight of live aircraft that the simulator does not report on the ground:
// the air step at each due sample (vertical, pitch, heading and bank steps;
// gear, flaps, throttle and lights by height), the landing commitment and the
// go-around, the four-stage flare, and the take-off from the roll to the climb.

#include <algorithm>
#include <cmath>

#include "core/airport_services.h"
#include "core/fmt.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "engine/motion.h"
#include "simlink/sim_queues.h"

using namespace geo;

namespace {

void lf_shrink(std::int32_t& v)
{
    if (v > 1000) v = std::max(v - 100, 1000);
}

// Throttle steps 1 to 3 of the flight; a Rotorcraft always gets 4.
void lf_flightThrottle(LiveAc& ac, std::uint32_t step)
{
    setThrottle(ac, ac.category == AcCategory::Rotorcraft ? 4 : step);
}

// THROTTLE_SET 16383 sent whatever was sent before (step 4).
void lf_fullThrottle(LiveAc& ac)
{
    sendEvent(ac, EVENT_THROTTLE_SET, 16383);
    ac.throttleStep = 4;
}

double lf_pitchTarget(double verticalRate)
{
    const double v = verticalRate >= 0 ? std::min(verticalRate, 2400.0) : std::max(verticalRate, -3000.0) * 0.5;
    return (-3.0 - v / 600.0 * 2.2) * degToRad;
}

std::int32_t lf_dueLagFor(const LiveAc& ac)
{
    return ac.takeOffRoll ? 5000 : 3000;
}

// A sample served ahead is on the ground: the feed has the aircraft touch down.
bool lf_touchdownAhead(const LiveAc& ac)
{
    return std::any_of(ac.samples.begin() + 1, ac.samples.end(), [](const PositionSample& s) { return !s.airborne; });
}

}  // namespace

void setCategoryConstants(AcIdentity& id, AcCategory category)
{
    const CategoryConstants& c = categoryConstants(category);
    id.category = category;
    id.flareTicks = c.flareTicks;
    id.touchdownTicks = c.touchdownTicks;
    id.rotationTicks = c.rotationTicks;
    id.climbTransitionTicks = c.climbTransitionTicks;
    id.takeOffPitch = c.takeOffPitch;
    id.climbPitch = c.climbPitch;
    id.groundTurnStep = c.groundTurnStep;
    id.turnStep = c.groundTurnStep;
    id.maxVerticalStep = c.maxVerticalStep;
    id.manoeuvreSpeed = c.manoeuvreSpeed;
}

void lf_flightStep(LiveAc& ac)
{
    const FlightConstants& fc = flightConstants(ac.category);
    const std::int32_t n = ticksToNext(ac);
    if (ac.phase != AcPhase::take_off && ac.phase != AcPhase::flying) {
        ac.prevPhase = ac.phase;
        ac.phase = AcPhase::flying;
    }
    {
        const PositionSample& s1 = ac.samples[1];
        ac.signedSpeed = s1.speed;
        ac.verticalSpeed = s1.verticalRate;
    }
    const double altitude = ac.posBlock.altitude;
    if (ac.flareStage == 0) {
        const bool air0 = ac.samples[0].airborne;
        const bool air1 = ac.samples[1].airborne;
        if (!air0 && !air1) {
            lf_descendToGround(ac);
        } else if (!air0 && air1) {
            lf_liftOffClimb(ac);
        } else if (air0 && !air1) {
            const int qnh = engineQnh.load(std::memory_order_relaxed);
            const ParkAirportInfo park = airportServices().parkAirport();
            if (qnh > 1013 || park.code.empty()) {
                const double r = qnh > 1013 ? lf_landingVerticalRate(ac) : -601.0;
                ac.samples[1].verticalRate = r;
                ac.verticalSpeed = r;
                ac.altStep = r / 6000.0;
            } else {
                ac.altStep = (park.elevationFt - altitude) / n;
            }
            sendGear(ac, 1);
        } else if (!ac.landing) {
            // Towards the next sample's altitude, low as high: a level aircraft stays level.
            const double r = (ac.samples[1].altitude - altitude) / n;
            ac.altStep = std::min(r, ac.maxVerticalStep);
        } else {
            const PositionSample& s0 = ac.samples[0];
            const PositionSample& s1 = ac.samples[1];
            if (s0.altitude != s1.altitude || ac.heightAboveGround > 1000 || s0.verticalRate + s1.verticalRate > 100) {
                ac.altStep = (s1.altitude - altitude) / n;
            } else {
                const double r = lf_landingVerticalRate(ac);
                ac.samples[1].verticalRate = r;
                ac.verticalSpeed = r;
                ac.altStep = r / 6000.0;
            }
        }
        if (ac.phase != AcPhase::take_off) {
            const double target = lf_pitchTarget(ac.samples[1].verticalRate);
            ac.pitchStep = std::clamp((target - ac.posBlock.pitch) / ticksToNext(ac), -fc.maxPitchStep, fc.maxPitchStep);
        }
    }
    // The queue may have lost samples above (a lift-off further on): the step count of now.
    const std::int32_t m = ticksToNext(ac);
    const PositionSample& s1 = ac.samples[1];
    double d = 0.0;
    if (s1.trueHeadingSet && s1.bank && s1.trueHeading &&
        ac.heightAboveGround < (ac.landing ? 2000.0 : 1000.0)) {
        d = foldPi(*s1.trueHeading - ac.posBlock.heading);
    } else {
        d = lf_turnAhead(ac);
    }
    ac.headingStep = d / m;
    if (s1.bank) {
        ac.bankStep = (*s1.bank - ac.posBlock.bank) / m;
    } else {
        lf_bankStep(ac, d, m);
    }
    if (ac.samples[0].altitude < 10000) {
        if (!ac.lowAltLights) {
            ac.lowAltLights = true;
            ac.highAltLights = false;
            setLights(ac, {1, 1, 1, 1, 1, 1, 1});
        }
        if (ac.heightAboveGround > fc.approachHeight) {
            lf_enRouteConfig(ac);
        } else {
            lf_approachConfig(ac);
        }
    } else if (!ac.highAltLights) {
        ac.highAltLights = true;
        ac.lowAltLights = false;
        setLights(ac, {1, 1, 0, 0, 0, 0, 1});
        lf_flightThrottle(ac, 3);
        sendGear(ac, 0);
        gf_setFlaps(ac, 0);
    }
}

void lf_enRouteConfig(LiveAc& ac)
{
    lf_shrink(ac.dueLead);
    lf_shrink(ac.dueLag);
    if (ac.objectId != 0) setCabinLights(ac.objectId, 1);
    ac.takeOffRoll = false;
    ac.landing = false;
    const double v = ac.samples[0].verticalRate;
    if (v <= -250 && ac.throttleStep == 3) {
        lf_flightThrottle(ac, 2);
    } else if (v > 400 && ac.throttleStep == 4) {
        lf_flightThrottle(ac, 3);
    }
    if (ac.heightAboveGround >= 2400) {
        sendGear(ac, 0);
        gf_setFlaps(ac, 0);
    } else if (v <= 100) {
        if (ac.flapsIndex == 0) {
            gf_setFlaps(ac, 1);
        } else if (ac.heightAboveGround < 2000 && ac.flapsIndex == 1) {
            gf_setFlaps(ac, 2);
        }
    }
}

void lf_approachConfig(LiveAc& ac)
{
    if (ac.objectId != 0) setCabinLights(ac.objectId, 0);
    const ParkAirportInfo park = airportServices().parkAirport();
    // Near a runway: within 10 nm of the park airport, or (at any airport, with
    // an airport file or without) the samples served ahead are on the ground.
    const bool near = (!park.code.empty() &&
                       distanceNm({ac.posBlock.latitude, ac.posBlock.longitude}, {park.lat, park.lon}) <= 10.0) ||
                      lf_touchdownAhead(ac);
    const double v = ac.samples[0].verticalRate;
    if (v > -250) {
        if ((v > 600 || (ac.landing && !near)) && !ac.goAround) {
            lf_shrink(ac.dueLead);
            lf_shrink(ac.dueLag);
            lf_fullThrottle(ac);
            sendGear(ac, 0);
            gf_setFlaps(ac, 0);
            ac.goAround = true;
            ac.flareStage = 0;
            ac.landing = false;
        }
    } else if (!ac.landing && near) {
        lf_flightThrottle(ac, 1);
        gf_setFlaps(ac, 3);
        sendGear(ac, 1);
        IdentityCheckQueue.push_back(ac.aircraftId);
        ac.landing = true;
        ac.goAround = false;
        ac.position = {};
        ac.heading = 0.0;
        ac.standId = 0;
        ac.cargoLook = false;
        ac.dueLag = lf_dueLagFor(ac);
        ac.dueLead = 3000;
        ac.countdown = 1;
    }
}

double lf_landingVerticalRate(const LiveAc& ac)
{
    if (ac.heightAboveGround <= 100) return -600.0;
    const double mean = (ac.samples[0].verticalRate + ac.samples[1].verticalRate) / 2.0;
    const int qnh = engineQnh.load(std::memory_order_relaxed);
    return std::min(mean - (qnh - 1013) * 6.0, -601.0);
}

void lf_liftOffClimb(LiveAc& ac)
{
    const double up = ac.samples[1].altitude - ac.posBlock.altitude;
    ac.altStep = up > 0 ? std::min(up / ticksToNext(ac), ac.maxVerticalStep) : 0.0;
}

void lf_descendToGround(LiveAc& ac)
{
    double sum = 0.0;
    for (const PositionSample& s : ac.samples) sum += s.verticalRate;
    if (!ac.landing && sum > 100) {
        const std::size_t last = std::min<std::size_t>(ac.samples.size() - 1, 10);
        for (std::size_t k = 3; k <= last; ++k) {
            if (lf_tryLiftOffAt(ac, k)) {
                sendGear(ac, 1);
                return;
            }
        }
        const double r = std::max(ac.samples[1].verticalRate, 601.0);
        ac.samples[1].verticalRate = r;
        ac.verticalSpeed = r;
        ac.altStep = r / 6000.0;
        sendGear(ac, 1);
        return;
    }
    const double r = lf_landingVerticalRate(ac);
    ac.samples[1].verticalRate = r;
    ac.verticalSpeed = r;
    ac.altStep = r / 6000.0;
    sendGear(ac, 1);
}

bool lf_tryLiftOffAt(LiveAc& ac, std::size_t k)
{
    if (k < 2 || ac.samples.size() < k || !ac.samples[k - 1].airborne) return false;
    for (std::size_t i = 0; i + 2 < k && ac.samples.size() >= 3; ++i) ac.samples.erase(ac.samples.begin() + 1);
    const PositionSample& s0 = ac.samples[0];
    const PositionSample& s1 = ac.samples[1];
    const double d = distanceNm({s0.latitude, s0.longitude}, {s1.latitude, s1.longitude});
    lf_setNextDue(ac, std::max(toTicks(d * knotTicksPerNm / lf_legSpeed(ac)), 25));
    lf_liftOffClimb(ac);
    return true;
}

void lf_bankStep(LiveAc& ac, double headingChange, std::int32_t ticks)
{
    const FlightConstants& fc = flightConstants(ac.category);
    const double target = -std::clamp(headingChange, -fc.maxBank, fc.maxBank);
    ac.bankStep = std::clamp((target - ac.posBlock.bank) / ticks, -fc.maxBankStep, fc.maxBankStep);
}

void lf_flareStep(LiveAc& ac)
{
    const double hag = ac.heightAboveGround;
    switch (ac.flareStage) {
    case 0: {
        if (!ac.flareGroundAlt) {
            const ParkAirportInfo park = airportServices().parkAirport();
            if (!park.code.empty()) ac.flareGroundAlt = park.elevationFt;
        }
        ac.flareHeight = ac.flareGroundAlt ? ac.posBlock.altitude - *ac.flareGroundAlt : hag;
        if (ac.cgHeight + 30 >= std::min(hag, ac.flareHeight)) {
            ac.pitchStep = (-4.0 * degToRad - ac.posBlock.pitch) / std::max<std::uint32_t>(ac.flareTicks, 1);
            ac.altStep = -0.1;
            fastRangeRequest = true;
            ac.samples.front().verticalRate = -601;
            ac.flareStage = 1;
        }
        break;
    }
    case 1:
        if (ac.cgHeight + 20 >= hag) {
            ac.flareGroundAlt.reset();
            ac.altStep = -0.075;
            ac.samples.front().verticalRate = -450;
            ac.flareStage = 2;
        }
        break;
    case 2:
        if (ac.cgHeight + 10 >= hag) {
            ac.flareGroundAlt.reset();
            setThrottle(ac, 0);
            ac.altStep = -0.05;
            ac.samples.front().verticalRate = -300;
            ac.flareStage = 3;
        }
        break;
    case 3:
        if (ac.cgHeight + 3 >= hag) {
            ac.flareGroundAlt.reset();
            ac.altStep = -0.025;
            ac.samples.front().verticalRate = -150;
            ac.flareStage = 4;
        }
        break;
    default:
        break;
    }
}

// Every sample ahead at the take-off speed, or at least as fast as the roll is
// now: one the feed flies on slower than its category's take-off speed (a light
// aircraft climbing away at 75 kt) is off the ground all the same.
bool lf_allAtTakeOffSpeed(const LiveAc& ac)
{
    const double v = std::min(flightConstants(ac.category).takeOffSpeed, ac.samples.front().groundSpeed);
    return std::all_of(ac.samples.begin() + 1, ac.samples.end(),
                       [v](const PositionSample& s) { return s.groundSpeed >= v; });
}

void lf_liftOffCheck(LiveAc& ac)
{
    const auto after = ac.samples.begin() + 1;
    const bool slowClimb =
        std::any_of(after, ac.samples.end(), [](const PositionSample& s) { return s.verticalRate <= 256; });
    const bool allAirborne = std::all_of(after, ac.samples.end(), [](const PositionSample& s) { return s.airborne; });
    if (slowClimb) {
        if (!(lf_allAtTakeOffSpeed(ac) && allAirborne)) return;
        ac.altStep = ac.maxVerticalStep;
    } else if (!allAirborne) {
        ac.altStep = ac.maxVerticalStep;
    } else {
        ac.altStep = std::max(ac.samples[1].altitude - ac.posBlock.altitude, 0.1) / ticksToNext(ac);
    }
    lf_startTakeOff(ac);
}

void lf_startTakeOff(LiveAc& ac)
{
    const std::uint32_t m = std::max<std::uint32_t>(ac.rotationTicks, 1);
    ac.countdown = static_cast<std::int32_t>(m);
    ac.posBlock.bank = 0.0;
    ac.bankStep = 0.0;
    ac.pitchStep = (ac.takeOffPitch - ac.posBlock.pitch) / m;
    if (!ac.takeOffRoll) lf_startTakeOffRoll(ac);
    ac.prevPhase = ac.phase;
    ac.phase = AcPhase::take_off;
    ac.headingStep = 0.0;
    ac.curve.tStart = ac.curve.tEnd = ac.curve.ctrlNorth = ac.curve.ctrlEast = notANumber;
    if (ac.rollingOut) {
        // A touch-and-go: power up, spoilers in, take-off flaps; the flare and
        // the settling after the touchdown are over.
        ac.rollingOut = false;
        ac.landing = false;
        ac.touchdownPitch = false;
        ac.flareStage = 0;
        lf_fullThrottle(ac);
        sendSpoilers(ac, 0);
        gf_setFlaps(ac, 1);
    }
}

void lf_startTakeOffRoll(LiveAc& ac)
{
    if (ac.towed) logLine(vr::format("towed aircraft takes-off? {}", acDescription(ac)));
    ac.takeOffRoll = true;
    setThrottle(ac, 0);
    sendSpoilers(ac, 0);
    gf_setFlaps(ac, 1);
    ac.landing = false;
    ac.goAround = false;
    setLights(ac, {1, 1, 1, 1, 1, 1, 0});
    ac.dueLag = 5000;
    ac.dueLead = 3000;
    if (!ac.airline.empty()) lf_learnStandUse(ac, true);
}

void lf_climbPhase(LiveAc& ac)
{
    AcPositionBlock& b = ac.posBlock;
    const std::int32_t c = ac.countdown - 1;
    ac.countdown = std::max(c, -1000);
    if (c >= 1) {
        ac.groundReplySeen = false;
        if (b.pitch > ac.takeOffPitch) b.pitch += ac.pitchStep;
        return;
    }
    b.bank = std::clamp(b.bank + ac.bankStep, -pi, pi);
    if (b.pitch > ac.climbPitch) {
        b.pitch += (ac.climbPitch - ac.takeOffPitch) / std::max<std::uint32_t>(ac.climbTransitionTicks, 1);
    }
    if (c == 0) return;
    if (c >= -99) {
        b.altitude += ac.altStep / 10.0;
    } else if (c >= -199) {
        b.altitude += ac.altStep / 5.0;
    } else if (c >= -299) {
        b.altitude += ac.altStep * 0.5;
    } else if (c == -300) {
        sendGear(ac, 0);
        b.altitude += ac.altStep;
    } else {
        b.altitude += ac.altStep;
        if (b.pitch <= ac.climbPitch) {
            ac.pitchStep = 0.0;
            if (ac.heightAboveGround >= 800) {
                lf_flightThrottle(ac, 3);
                ac.prevPhase = ac.phase;
                ac.phase = AcPhase::flying;
                ac.countdown = 1;
            }
        }
    }
}
