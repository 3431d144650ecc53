#pragma once
// Motion of live aircraft: position prediction from the due samples, the
// per-tick step, ground movement (taxi, roll-out, push-back, pull-out, driving
// into a stand), landing and take-off, and the per-step update that ties them
// to the update pass and to the merge of new samples.
//
// Everything here runs on the worker thread inside the engine's tick (the
// update pass and the merge); nothing takes a lock of its own. Client events
// go through the simulator command queues (simlink/sim_queues.h), which lock
// for themselves. The per-tick path (updateLiveAc between due samples,
// lf_applyStep, the flare and the climb) allocates nothing, formats no text and
// writes no log line; every division, bearing and distance belongs to the due
// sample.
//
// Records move: any call that may remove an aircraft (removeAircraftFromSim
// erases nothing, but the parking calls may add or remove statics) is followed
// only by work on the aircraft passed in; callers hold ids, never references,
// across passes over the vectors.
//
// Units: positions in degrees, distances in nm, angles of the position block in
// radians (pitch and bank negative for nose up and right wing down), altitudes
// in feet, vertical rates in ft/min, speeds in knots, times in ticks of 10 ms.

#include <array>
#include <atomic>
#include <cstdint>

#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/live_update.h"
#include "engine/scheduling.h"
#include "engine/spawn.h"

struct Stand;

// ---------------------------------------------------------------------------
// Shared small helpers

// A computed tick count, rounded to the nearest whole tick and narrowed to i32.
// NaN, an infinity or a count outside i32 throws qxv::UserErrorException.
std::int32_t toTicks(double ticks);

// s1 lies on s0 within 1e-8 degrees in both coordinates (longitude wrapped).
bool samePlace(const PositionSample& a, const PositionSample& b);
bool samePlace(double latA, double lonA, double latB, double lonB, double tolerance = 1e-8);

// Ticks from now to s1's due tick, at least 25 (25 when overdue).
std::int32_t ticksToNext(const LiveAc& ac);

// The aircraft runs `ticks` later than the feed's schedule (earlier when
// negative) from samples[first] on: those samples, and every sample merged
// later (dueShift), fall due that much later. For an aircraft behind its
// samples (created after they fell due, off a ground roll that could not keep
// up), instead of racing to catch up; and for one created in motion before its
// first sample fell due, instead of standing until then.
void shiftSamples(LiveAc& ac, std::size_t first, std::int32_t ticks);

// The category and its handling constants exactly as tabled (no random
// variation of the pitches), turnStep at groundTurnStep: for made-up aircraft.
void setCategoryConstants(AcIdentity& id, AcCategory category);

// ---------------------------------------------------------------------------
// Position prediction

// Consumes the due front sample and sets up the motion to the next one; may
// remove the aircraft. Exceptions are logged and passed on.
void nextPosMain(LiveAc& ac);
// The step proper for a queue of at least two samples.
void lf_nextPos(LiveAc& ac);
// Re-times s1 of an aircraft that the simulator does not report on the ground.
void lf_nextPosAir(LiveAc& ac);
// Re-times s1 on the ground (and a Rotorcraft aloft) and scales turnStep.
void lf_retimeNextSample(LiveAc& ac);
// s1's due tick := now + ticks, held in the re-timing window unless parkProgress >= 1.
void lf_setNextDue(LiveAc& ac, std::int32_t ticks);
// Mean ground speed of s0 and s1; both 0: the speed the samples imply (at least 1 kt).
double lf_legSpeed(const LiveAc& ac);
// Bearing s1 -> s2 less the block heading, in [-pi, pi]; 0 with fewer than 3 samples.
double lf_turnAhead(const LiveAc& ac);
// One tick of motion.
void lf_applyStep(LiveAc& ac);
// The ground roll drives the aircraft: on the ground in the simulator, in phase
// pushing_back, pushed_back, taxi or parking, once a ground leg was set up.
bool lf_rollsOnGround(const LiveAc& ac);
// The ground leg towards s1 (or along the active curve), set up at the due sample.
void lf_setUpRoll(LiveAc& ac);
// One tick of the ground roll: speed, heading and position, and the speed shown.
void lf_groundRoll(LiveAc& ac);
// The quadratic curve at t: position and heading (rad, [0, 2 pi)); false when
// no curve is set or t lies outside it.
bool evalCurveSegment(const GroundCurve& curve, LatLon& position, double& heading, double t);
// A curve from the current position through s1 to s2; s1 is erased.
void lf_makeCurve(LiveAc& ac);
// A sample halfway between s0 and s1.
void lf_insertMidSample(LiveAc& ac);
// The halfway sample when the speed jumps by more than 5 kt over 100 m or more.
void lf_splitOnSpeedJump(LiveAc& ac);
// The queue ran dry: hold, extrapolate (true) or let the aircraft go (false).
// A hold lasts MAX_HOLDING_MINUTES, but one that began because the fixes
// stopped while the aircraft moved lasts lostHoldTicks.
bool lf_extendStream(LiveAc& ac);
inline constexpr std::int32_t lostHoldTicks = 3000;  // 30 s
// An aircraft on the ground (not driving into its stand) in the way of another
// live aircraft rolling on the ground that closes in on it: that one would pass
// within the sum of their half wingspans (and a fifth) in the next
// inTheWayLookAheadTicks when this one has no fixes (held or extrapolated),
// in half that time when it has (the feed's own aircraft do not meet: such a
// meeting comes of their different lags). The one it is in the way of, or null.
const LiveAc* lf_standsInTheWay(const LiveAc& ac);
inline constexpr std::int32_t inTheWayLookAheadTicks = 1000;  // 10 s
// Appends one synthetic sample and sets parkProgress = k.
void lf_extrapolateSamples(LiveAc& ac, std::int32_t k);

// ---------------------------------------------------------------------------
// Ground movement

// The ground step at a due sample.
void nextPosGround(LiveAc& ac);
// Phase, throttle, attitude and speeds after the ground step.
void lf_taxiThrottle(LiveAc& ac);
// The roll-out after a landing.
void lf_rollOut(LiveAc& ac);
// Push-back from the aircraft's stand.
void lf_startPushBack(LiveAc& ac);
void lf_pushBackStep(LiveAc& ac);
// Leaving the stand forwards.
void lf_pullOut(LiveAc& ac);
// The point of a stand to drive into: degrees and radians.
struct StandPoint {
    double latitude = 0.0;
    double longitude = 0.0;
    double heading = 0.0;  // rad
};
// Appends the path into the stand.
void drive2Stand(LiveAc& ac, const StandPoint& point);
// The end of the drive into the stand (phase parking, queue empty).
void lf_arriveAtStand(LiveAc& ac);
// A freighter in a passenger look parked at a cargo stand: the stand loses its cargo flag.
void lf_setCargoAttribute(LiveAc& ac);
// The statics on the chosen stand and on its excluded neighbours make way.
void lf_makeWay(LiveAc& ac, const Stand& stand);
void lf_makeWayExcluded(LiveAc& ac, std::uint32_t excludedStandId, const Stand& stand);
// The engine values of definition 401 (spoilers handle and both throttle
// levers) written straight to the object under simQueueMutex, unless the
// simulator link reported an error. A failure is logged and reported.
void setEngineValues(const LiveAc& ac, double spoilers, double throttles);

// ---------------------------------------------------------------------------
// Landing and take-off

void lf_flightStep(LiveAc& ac);
void lf_enRouteConfig(LiveAc& ac);
void lf_approachConfig(LiveAc& ac);
double lf_landingVerticalRate(const LiveAc& ac);
void lf_liftOffClimb(LiveAc& ac);
void lf_descendToGround(LiveAc& ac);
bool lf_tryLiftOffAt(LiveAc& ac, std::size_t k);
void lf_bankStep(LiveAc& ac, double headingChange, std::int32_t ticks);
void lf_flareStep(LiveAc& ac);
bool lf_allAtTakeOffSpeed(const LiveAc& ac);
// The lift-off check of a take-off roll (s0 at 43 kt or more; any speed for a Rotorcraft).
void lf_liftOffCheck(LiveAc& ac);
void lf_startTakeOff(LiveAc& ac);
void lf_startTakeOffRoll(LiveAc& ac);
void lf_climbPhase(LiveAc& ac);

// Light sets in the order NAV, BEACON, LANDING, TAXI, STROBES, LOGO, CABIN.
void setLights(const LiveAc& ac, const std::array<std::uint32_t, 7>& values);
// A client event to the aircraft's object (nothing without an object).
void sendEvent(const LiveAc& ac, std::uint32_t eventId, std::uint32_t data);
// GEAR_SET and SPOILERS_SET, never to a Rotorcraft.
void sendGear(const LiveAc& ac, std::uint32_t down);
void sendSpoilers(const LiveAc& ac, std::uint32_t value);

// ---------------------------------------------------------------------------
// Per-step update

// One tick of a live aircraft; true when the record is to be erased.
bool updateLiveAc(LiveAc& ac);
// A new sample of a known aircraft: appended or dropped. Exceptions are logged
// and thrown on.
void decodeExisting(LiveAc& ac, PositionSample s);
bool checkExtendingSituations(LiveAc& ac, PositionSample& s);
bool checkNewPosDuringLanding(LiveAc& ac, PositionSample& s);
bool lf_checkStationary(LiveAc& ac, PositionSample& s);
bool lf_arrivalCheck(LiveAc& ac, PositionSample& s);
void lf_settleAtStand(LiveAc& ac);

// The most passes nextPosMain makes over one due sample before it gives up.
inline constexpr int nextPosMaxPasses = 64;

// ---------------------------------------------------------------------------
// Parking and stand use (live_parking.cpp)

// Sends a taxiing aircraft into a free stand near its newest sample.
void try2Park(LiveAc& ac, bool wide);
// Keeps the parked count within the wanted number (extra: aircraft about to park).
void enforceMaxPark(std::uint32_t extra);
// Learns the stand use of an aircraft that leaves the feed or starts its take-off roll.
void lf_learnStandUse(LiveAc& ac, bool departing);
// Sets or updates the {aircraft id, slot} mark; false when marked within 3 half hours.
bool lf_markIdInSlot(std::uint64_t weekdayAndSlot, std::uint32_t aircraftId, bool force);
