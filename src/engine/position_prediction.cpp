// Position prediction: from the queue of due samples to per-tick steps or a
// ground curve, the re-timing of the next sample, the per-tick step itself, and
// what happens when the queue runs dry (hold, extrapolate, let go).

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "core/errors.h"
#include "core/fmt.h"
#include "core/geodesy.h"
#include "core/log.h"
#include "core/options.h"
#include "core/startup_globals.h"
#include "engine/live_parking.h"
#include "engine/motion.h"
#include "engine/stand.h"

using namespace geo;

namespace {

constexpr double lf_placeTolerance = 1e-8;  // degrees: the same place
constexpr std::int32_t lf_minLegTicks = 25;
constexpr double lf_deadBand = 0.5 * degToRad;

std::int64_t lf_now()
{
    return tickCounter.load(std::memory_order_relaxed);
}

// The window shrinks by 100 towards 1000.
void lf_shrink(std::int32_t& v)
{
    if (v > 1000) v = std::max(v - 100, 1000);
}

bool lf_groundPhase(AcPhase phase)
{
    return phase == AcPhase::pushing_back || phase == AcPhase::pushed_back || phase == AcPhase::taxi ||
           phase == AcPhase::parking;
}

// A leg of n ticks at the speed served, flown at most a tenth faster: its fewest ticks.
std::int64_t lf_fastestLeg(std::int64_t n)
{
    return std::max<std::int64_t>((n * 10 + 10) / 11, lf_minLegTicks);
}

// Cruising, the aircraft keeps to the feed's schedule by its pace alone.
bool lf_keepsToTheFeed(const LiveAc& ac, const PositionSample& s1)
{
    return !ac.groundReplySeen && ac.phase == AcPhase::flying && !ac.landing && !s1.stationary;
}

constexpr double lf_paceMost = 0.1;          // at most a tenth faster or slower than served ...
constexpr double lf_paceTicks = 2000.0;      // ... a tenth for each 20 s off the schedule ...
constexpr double lf_paceStepKt = 2.0;        // ... and from leg to leg by at most 2 kt

// The pace of a cruising leg (1: the speed served) that at the speed served
// would end `late` ticks after the feed has it: the lag is flown off (or the lead waited
// off) in proportion, the pace changing gently from the leg before.
double lf_cruisePace(LiveAc& ac, std::int64_t late, double servedKt)
{
    const double wanted = 1.0 + std::clamp(static_cast<double>(late) / lf_paceTicks, -lf_paceMost, lf_paceMost);
    const double step = servedKt > 0 ? lf_paceStepKt / servedKt : lf_paceMost;
    ac.feedPace = std::clamp(std::clamp(wanted, ac.feedPace - step, ac.feedPace + step), 1.0 - lf_paceMost,
                             1.0 + lf_paceMost);
    return ac.feedPace;
}

// s1's due tick from `due` (the tick the leg's speed gives), unless synthetic
// samples are under way; never before now. The samples' own due ticks are the
// feed's schedule plus the lag the aircraft carries (dueShift).
// - Cruising, the leg is flown at the speed served, at most a tenth faster or
//   slower to come back to the feed's schedule (lf_cruisePace): never raced to
//   it, however late.
// - Otherwise the due tick is held in the re-timing window around s1's own due
//   tick; on the ground outside the take-off roll and the roll-out a lag is then
//   worked off, a standing leg giving it up at once and a moving one shortened
//   by at most a tenth of its time.
// What is left of the lag at s1 is carried by the samples after it.
void lf_retime(LiveAc& ac, PositionSample& s1, std::int64_t due, double servedKt)
{
    const std::int64_t now = lf_now();
    if (ac.parkProgress >= 1) {
        s1.dueTick = toTicks(static_cast<double>(std::max(due, now)));
        return;
    }
    const std::int64_t own = s1.dueTick;
    const std::int64_t feed = own - ac.dueShift;
    std::int64_t shift = ac.dueShift;
    if (lf_keepsToTheFeed(ac, s1)) {
        const std::int64_t n = std::max<std::int64_t>(due - now, lf_minLegTicks);
        const double pace = lf_cruisePace(ac, now + n - feed, servedKt);
        due = now + std::max<std::int64_t>(std::llround(static_cast<double>(n) / pace), lf_minLegTicks);
        shift = due - feed;
    } else {
        ac.feedPace = 1.0;
        if (due > own + ac.dueLag) {
            due = own + ac.dueLag;
        } else {
            due = std::max(due, own - ac.dueLead);
        }
        // Taxiing or standing in a ground phase (the ground roll smooths the pace);
        // the take-off and the landing keep their lag until it cruises or taxies.
        const bool taxies = ac.groundReplySeen && lf_groundPhase(ac.phase) && !ac.takeOffRoll && !ac.rollingOut;
        if (ac.dueShift > 0 && due > feed && taxies) {
            const std::int64_t fastest = s1.stationary ? now + lf_minLegTicks : now + lf_fastestLeg(due - now);
            due = std::min(due, std::max(feed, fastest));
            shift = std::clamp<std::int64_t>(due - feed, 0, ac.dueShift);
        }
    }
    s1.dueTick = toTicks(static_cast<double>(std::max(due, now)));
    const std::int64_t change = std::clamp<std::int64_t>(shift - ac.dueShift, -(1 << 24), 1 << 24);
    if (change != 0) shiftSamples(ac, 2, static_cast<std::int32_t>(change));
}

void lf_applyWindow(LiveAc& ac, PositionSample& s1, std::int64_t due)
{
    lf_retime(ac, s1, due, 0.0);
}

double lf_foldHeading(double h)
{
    h = std::fmod(h, twoPi);
    if (h < 0) h += twoPi;
    return h < twoPi ? h : 0.0;
}

// Turns the heading towards the target by step, the shorter way round; within
// the step the target is taken, within half a degree nothing changes. d is
// foldPi(target - heading), when the caller has it already.
void lf_steerBy(double& heading, double target, double d, double step)
{
    if (std::abs(d) <= lf_deadBand) return;
    if (std::abs(d) == pi) d = heading <= pi ? -pi : pi;
    if (std::abs(d) <= step) {
        heading = lf_foldHeading(target);
    } else {
        heading = lf_foldHeading(heading + (d > 0 ? step : -step));
    }
}

void lf_steer(double& heading, double target, double step)
{
    lf_steerBy(heading, target, foldPi(target - heading), step);
}

LatLon lf_at(const PositionSample& s)
{
    return {s.latitude, s.longitude};
}

LatLon lf_blockAt(const LiveAc& ac)
{
    return {ac.posBlock.latitude, ac.posBlock.longitude};
}

// Another active, taxiing aircraft on the ground stands close enough to block a hold.
bool lf_taxiingNeighbour(const LiveAc& ac)
{
    for (const LiveAc& other : liveAircraft) {
        if (&other == &ac || other.objectId == ac.objectId) continue;
        if (other.simState != SimState::active || other.phase != AcPhase::taxi || !other.groundReplySeen) continue;
        if (distanceNm(lf_blockAt(ac), lf_blockAt(other)) <= 1.2 * (ac.halfWingspan + other.halfWingspan)) {
            return true;
        }
    }
    return false;
}

constexpr double lf_metresPerKnotTick = metresPerNm / knotTicksPerNm;  // a knot over one tick
constexpr double lf_rollAccel = 5.0 / ticksPerSecond;                  // kt a tick, faster
// Faster in a take-off roll: a feed's roll gains 3 to 4 kt a second; the
// margin above it makes up for a late start without coming near the 6 kt/s
// a pilot would call a jolt (measured over a second of jittery frames).
constexpr double lf_takeOffRollAccel = 4.5 / ticksPerSecond;
constexpr double lf_rollBrake = 5.5 / ticksPerSecond;                  // kt a tick, slower
constexpr double lf_brakeMetresPerSecond2 = 4.0 * metresPerNm / 3600.0;  // the braking planned for a stop
constexpr double lf_arrivedMetres = 0.1;
constexpr double lf_steerMetres = 3.0;  // nearer the end, no more steering for it
constexpr double lf_creepKt = 3.0;       // slower, a place behind is turned to ...
constexpr double lf_turnToMetres = 10.0;  // ... when it lies farther than this
constexpr double lf_rollEvenFromKt = 43.0;  // a take-off roll this fast gains speed evenly ...
constexpr double lf_rollEvenTicks = 100.0;  // ... towards the speed it needs, within a second

// The curve point (north, east in metres from its origin) at u in [0, 1], and its heading.
void lf_curvePoint(const GroundCurve& c, double u, double& north, double& east)
{
    const double w = 1.0 - u;
    north = 2 * w * u * c.ctrlNorth + u * u * c.endNorth;
    east = 2 * w * u * c.ctrlEast + u * u * c.endEast;
}

// The curve point at a distance along it, from the table of lengths.
void lf_curvePointAt(const LiveAc& ac, double metres, double& north, double& east)
{
    const auto& arc = ac.curveArc;
    constexpr std::size_t parts = 16;
    std::size_t i = 0;
    while (i + 1 < parts && arc[i + 1] < metres) ++i;
    const double span = arc[i + 1] - arc[i];
    const double f = span > 0 ? std::clamp((metres - arc[i]) / span, 0.0, 1.0) : 0.0;
    lf_curvePoint(ac.curve, (static_cast<double>(i) + f) / parts, north, east);
}

}  // namespace

bool lf_rollsOnGround(const LiveAc& ac)
{
    return ac.rolling && ac.groundReplySeen && lf_groundPhase(ac.phase);
}

namespace {

// The roll aims at samples[k]: the end of the leg, whether it ends at a
// standstill (the sample after it stands, or none follows), the speed it may take.
void lf_aimRoll(LiveAc& ac, std::size_t k)
{
    const SampleQueue& samples = ac.samples;  // read only: the front copy stays
    const PositionSample& to = samples[k];
    const PositionSample& from = samples[k - 1];
    ac.rollEnd = {to.latitude, to.longitude};
    ac.rollStops = to.stationary || k + 1 >= samples.size() || samples[k + 1].stationary;
    const bool manoeuvre = ac.phase == AcPhase::pushing_back || ac.phase == AcPhase::parking;
    ac.rollCap = manoeuvre ? 1.5 * ac.manoeuvreSpeed
                           : 1.1 * std::max({from.groundSpeed, to.groundSpeed, ac.manoeuvreSpeed}) + 2.0;
}

// Metres north and east from the block to a place (flat, at the leg's latitude).
void lf_offsetTo(const LiveAc& ac, const LatLon& to, double& north, double& east)
{
    north = (to.lat - ac.posBlock.latitude) * curveMetresPerDegree;
    east = wrapLonDelta(to.lon - ac.posBlock.longitude) * ac.rollCosLat * curveMetresPerDegree;
}

// The direction the aircraft rolls in: the nose, or the tail while pushed back.
double lf_travelHeading(const LiveAc& ac)
{
    return ac.phase == AcPhase::pushing_back ? lf_foldHeading(ac.posBlock.heading + pi) : ac.posBlock.heading;
}

// A place as the rolling aircraft sees it from its block: metres north and
// east, the distance, the bearing, and the turn to it from the direction rolled
// in (foldPi of the bearing less that direction).
struct RollSight {
    LatLon place;
    double north = 0.0;
    double east = 0.0;
    double distance = 0.0;
    double toward = 0.0;  // rad
    double turn = 0.0;    // rad, in [-pi, pi]
};

RollSight lf_sight(const LiveAc& ac, const LatLon& place)
{
    RollSight s;
    s.place = place;
    lf_offsetTo(ac, place, s.north, s.east);
    s.distance = std::hypot(s.north, s.east);
    s.toward = std::atan2(s.east, s.north);
    s.turn = foldPi(s.toward - lf_travelHeading(ac));
    return s;
}

// The same value to the last bit (so -0 is not 0): what is worked out of one holds for the other.
bool lf_sameBits(double a, double b)
{
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

bool lf_samePoint(const LatLon& a, const LatLon& b)
{
    return lf_sameBits(a.lat, b.lat) && lf_sameBits(a.lon, b.lon);
}

// The sight of a place; the known one when it is of that place (the leg end
// is most often the sample aimed at, and is seen once a tick).
RollSight lf_sightOf(const LiveAc& ac, const LatLon& place, const RollSight* known)
{
    return known != nullptr && lf_samePoint(place, known->place) ? *known : lf_sight(ac, place);
}

// The place lies behind the aircraft (or on it): it has been passed.
bool lf_passed(const LiveAc& ac, const RollSight& sight)
{
    if (sight.distance < lf_arrivedMetres) return true;
    // Standing or creeping, a place farther off is turned to (nose first), not left behind.
    if (ac.rollSpeed < lf_creepKt && sight.distance > lf_turnToMetres) return false;
    return std::abs(sight.turn) > pi / 2;
}

// A sample that was passed is left behind when a moving one follows it: the
// roll aims at the next (straight), instead of turning round for it. `known`:
// a sight taken this tick (of the leg end), or none.
void lf_skipPassed(LiveAc& ac, std::size_t& k, const RollSight* known)
{
    for (;;) {
        const SampleAim& aim = ac.samples.aimCopy(k, ac.rollAim);
        if (!aim.nextMoves || !lf_passed(ac, lf_sightOf(ac, aim.place, known))) return;
        ++k;
        ac.rollStraight = true;
    }
}

}  // namespace

void lf_setUpRoll(LiveAc& ac)
{
    if (!ac.rolling) {
        // Rolls on at the speed it had: a touchdown keeps the speed of the approach.
        ac.rollSpeed = ac.moveKt;
        ac.rolling = true;
    }
    ac.rollCosLat = std::cos(ac.posBlock.latitude * degToRad);
    ac.rollStraight = !ac.curve.active();
    // Called before s0 is popped: s1 is the leg end.
    std::size_t k = 1;
    lf_skipPassed(ac, k, nullptr);
    lf_aimRoll(ac, k);
    ac.rollIndex = static_cast<std::uint32_t>(k - 1);
    ac.rollTravelled = 0.0;
    if (ac.curve.active()) {
        double north = 0.0;
        double east = 0.0;
        ac.curveArc[0] = 0.0;
        for (std::size_t i = 1; i < ac.curveArc.size(); ++i) {
            double n = 0.0;
            double e = 0.0;
            lf_curvePoint(ac.curve, static_cast<double>(i) / 16.0, n, e);
            ac.curveArc[i] = ac.curveArc[i - 1] + std::hypot(n - north, e - east);
            north = n;
            east = e;
        }
    }
}

void lf_groundRoll(LiveAc& ac)
{
    AcPositionBlock& b = ac.posBlock;
    if (ac.phase == AcPhase::pushed_back) {
        // Stands at the end of the push-back; may turn in place.
        ac.rollSpeed = 0.0;
        if (ac.turning) lf_steer(b.heading, ac.targetBearing, ac.turnStep);
        b.trueAirspeed = 0.0;
        return;
    }
    // The roll reads the sample it aims at through its copy: the queue and its
    // blocks stay untouched while the queue does not change.
    if (!ac.samples.aimCopy(ac.rollIndex, ac.rollAim).present) ac.rollIndex = 0;
    if (!ac.samples.aimCopy(ac.rollIndex, ac.rollAim).present) return;  // no samples
    const bool back = ac.phase == AcPhase::pushing_back;
    const double turn = std::max(ac.turnStep, ac.groundTurnStep);
    // Where to steer: the leg end, or a point ahead on the curve.
    double north = 0.0;
    double east = 0.0;
    double remaining = 0.0;
    double toward = 0.0;
    double turnTo = 0.0;  // foldPi(toward - the direction rolled in)
    bool onCurve = ac.curve.active() && !ac.rollStraight;
    if (onCurve) {
        const GroundCurve& c = ac.curve;
        const double length = ac.curveArc.back();
        // A point 1.5 s ahead (15 m at least; 3 m while pushed back, for a tight tail swing).
        const double look =
            std::max(back ? 3.0 : 15.0, ac.rollSpeed * lf_metresPerKnotTick * ticksPerSecond * 1.5);
        const double at = ac.rollTravelled + look;
        double cn = 0.0;
        double ce = 0.0;
        // Beyond its end the point runs on along the curve's last direction, so
        // that the aircraft leaves the curve lined up with it.
        const double tn = c.endNorth - c.ctrlNorth;
        const double te = c.endEast - c.ctrlEast;
        const double tl = std::hypot(tn, te);
        const double un = tl > 0 ? tn / tl : 0.0;
        const double ue = tl > 0 ? te / tl : 0.0;
        if (at <= length) {
            lf_curvePointAt(ac, at, cn, ce);
        } else {
            cn = c.endNorth + (at - length) * un;
            ce = c.endEast + (at - length) * ue;
        }
        const double hereNorth = (b.latitude - c.originLat) * curveMetresPerDegree;
        const double hereEast =
            c.lonPerMetre != 0.0 ? wrapLonDelta(b.longitude - c.originLon) / c.lonPerMetre : 0.0;
        north = cn - hereNorth;
        east = ce - hereEast;
        // What is left: along the curve, and at its end what lies before the end on its last direction.
        remaining = std::max(length - ac.rollTravelled,
                             (c.endNorth - hereNorth) * un + (c.endEast - hereEast) * ue);
        if (remaining < lf_arrivedMetres && !ac.rollStops && ac.rollAim.nextMoves) {
            // The curve is done before its time: on to the sample after it.
            ac.rollStraight = true;
            onCurve = false;
        }
    }
    if (onCurve) {
        toward = std::atan2(east, north);
        turnTo = foldPi(toward - lf_travelHeading(ac));
    } else {
        // One sight of the leg end a tick, also for the check whether the aimed sample was passed.
        RollSight end = lf_sight(ac, ac.rollEnd);
        std::size_t k = ac.rollIndex;
        if (k == 0 && ac.rollAim.nextMoves && lf_passed(ac, lf_sightOf(ac, ac.rollAim.place, &end))) {
            k = 1;
            ac.rollStraight = true;
        }
        if (k > 0) {
            lf_skipPassed(ac, k, &end);
            if (k != ac.rollIndex) {
                ac.rollIndex = static_cast<std::uint32_t>(k);
                lf_aimRoll(ac, k);
                end = lf_sight(ac, ac.rollEnd);
            }
        }
        remaining = end.distance;
        toward = end.toward;
        turnTo = end.turn;
    }
    double travel = lf_travelHeading(ac);
    const double off = std::abs(turnTo);
    // Past the end (a stop that came late, a leg done early): no turning round for it.
    const bool behind = !onCurve && off > pi / 2 && !(ac.rollSpeed < lf_creepKt && remaining > lf_turnToMetres);
    const bool arrived = remaining < lf_arrivedMetres || behind;
    double want = ac.rollSpeed;
    if (arrived) {
        want = ac.rollStops ? 0.0 : std::min(want, ac.rollCap);
    } else {
        const std::int64_t due = ac.samples.aimCopy(ac.rollIndex, ac.rollAim).dueTick;
        const std::int64_t left = std::max<std::int64_t>(due - lf_now(), 1);
        const double mean = remaining / lf_metresPerKnotTick / static_cast<double>(left);
        // A take-off roll and a roll-out gain or lose speed evenly, as the feed
        // does: the change that covers what is left in time at an even rate,
        // not the speed that does so at once (a burst, then a pause, a leg).
        const bool even = ((ac.takeOffRoll && ac.rollSpeed >= lf_rollEvenFromKt) || ac.rollingOut) && !ac.rollStops;
        want = even ? ac.rollSpeed + (mean - ac.rollSpeed) / std::min(static_cast<double>(left), lf_rollEvenTicks) : mean;
        want = std::min(want, ac.rollCap);
        if (ac.rollStops) {
            want = std::min(want, std::sqrt(2.0 * lf_brakeMetresPerSecond2 * remaining) / lf_metresPerKnotTick /
                                      ticksPerSecond);
        }
        // A sharp turn ahead: slow enough to make it within half the way left.
        if (off > 20.0 * degToRad) {
            want = std::min(want, std::max(1.0, 0.5 * remaining * turn / lf_metresPerKnotTick));
        }
    }
    const double faster = ac.takeOffRoll ? lf_takeOffRollAccel : lf_rollAccel;
    ac.rollSpeed = std::clamp(want, ac.rollSpeed - lf_rollBrake, ac.rollSpeed + faster);
    if (ac.rollSpeed < 0.0) ac.rollSpeed = 0.0;
    if (arrived && ac.phase == AcPhase::parking && ac.rollSpeed < 0.5) {
        // At the stand: the nose turns to the stand heading in place.
        lf_steer(b.heading, ac.targetBearing, ac.turnStep);
        b.trueAirspeed = 0.0;
        return;
    }
    if (!arrived && (remaining > lf_steerMetres || onCurve)) lf_steerBy(travel, toward, turnTo, turn);
    double step = ac.rollSpeed * lf_metresPerKnotTick;
    // Slow at a stop it stops on the spot; faster (a stop that came too soon to brake for) it rolls past.
    if (ac.rollStops && !behind && ac.rollSpeed < 2.0) step = std::min(step, remaining);
    b.heading = back ? lf_foldHeading(travel + pi) : travel;
    if (!lf_sameBits(travel, ac.rollTravel)) {
        // Most ticks roll on in the direction of the tick before.
        ac.rollTravel = travel;
        ac.rollCos = std::cos(travel);
        ac.rollSin = std::sin(travel);
    }
    b.latitude += step * ac.rollCos / curveMetresPerDegree;
    b.longitude += step * ac.rollSin / (ac.rollCosLat * curveMetresPerDegree);
    ac.rollTravelled += step;
    b.trueAirspeed = back ? -ac.rollSpeed : ac.rollSpeed;
}

std::int32_t toTicks(double ticks)
{
    const double r = std::round(ticks);
    if (!std::isfinite(r) || r < static_cast<double>(std::numeric_limits<std::int32_t>::min()) ||
        r > static_cast<double>(std::numeric_limits<std::int32_t>::max())) {
        throw qxv::UserErrorException(99, vr::format("tick count out of range: {}", ticks));
    }
    return static_cast<std::int32_t>(r);
}

bool samePlace(double latA, double lonA, double latB, double lonB, double tolerance)
{
    return std::abs(latA - latB) <= tolerance && std::abs(wrapLonDelta(lonA - lonB)) <= tolerance;
}

bool samePlace(const PositionSample& a, const PositionSample& b)
{
    return samePlace(a.latitude, a.longitude, b.latitude, b.longitude, lf_placeTolerance);
}

std::int32_t ticksToNext(const LiveAc& ac)
{
    const std::int64_t n = static_cast<std::int64_t>(ac.samples[1].dueTick) - lf_now();
    return n < lf_minLegTicks ? lf_minLegTicks : toTicks(static_cast<double>(n));
}

void shiftSamples(LiveAc& ac, std::size_t first, std::int32_t ticks)
{
    if (ticks == 0) return;
    for (std::size_t i = first; i < ac.samples.size(); ++i)
        ac.samples[i].dueTick = toTicks(static_cast<double>(ac.samples[i].dueTick) + ticks);
    ac.dueShift = toTicks(static_cast<double>(ac.dueShift) + ticks);
}

namespace {

// Off the ground roll (a lift-off, a touch-and-go's take-off): the roll's speed
// changes by a bounded step, so it may have fallen behind its samples. The leg
// to s1 goes on at the speed rolled, not faster; s1 and the samples after it
// fall due as much later, and the climb set up for the leg spreads over it.
void lf_leaveRollAtItsSpeed(LiveAc& ac)
{
    const PositionSample& s1 = ac.samples[1];
    const double north = (s1.latitude - ac.posBlock.latitude) * curveMetresPerDegree;
    const double east = wrapLonDelta(s1.longitude - ac.posBlock.longitude) * curveMetresPerDegree *
                        std::cos(ac.posBlock.latitude * degToRad);
    const double speed = std::max(ac.rollSpeed, lf_creepKt);
    const double need = std::hypot(north, east) / (speed * lf_metresPerKnotTick);
    const std::int32_t n = ticksToNext(ac);
    if (need <= n + 1.0) return;
    shiftSamples(ac, 1, toTicks(need - n));
    ac.altStep *= n / static_cast<double>(ticksToNext(ac));
    ac.signedSpeed = ac.rollSpeed;
}

// The speed flown and shown in the air changes by at most this much a second
// (a lift-off from the roll, the legs of an accelerating climb).
constexpr double lf_airAccelKtps = 3.0;
// Share of the speed missed at the leg start that the leg makes up for
// besides: the leg's mean speed brings it to s1 by its due tick, its end speed
// goes half as far again beyond that mean (a whole share would swing from leg
// to leg).
constexpr double lf_airCatchUp = 0.5;

// The speed of the steps flown now (kt).
double lf_stepKt(const LiveAc& ac, double latStep, double lonStep)
{
    const double north = latStep * curveMetresPerDegree;
    const double east = lonStep * curveMetresPerDegree * std::cos(ac.posBlock.latitude * degToRad);
    return std::hypot(north, east) / lf_metresPerKnotTick;
}

// A leg off the ground roll: latStep and lonStep fly the aircraft towards s1.
// Its speed changes evenly along the leg from the speed flown at its start
// (`before`: the roll's at a lift-off, the last step's in the air) towards the
// one that brings it to s1 by the due tick, within lf_airAccelKtps; the speed
// shown moves the same way towards the speed the record tells. Without a speed
// flown before (the first leg of a new object) the leg is flown at its own
// speed, as is the speed shown.
void lf_flyLeg(LiveAc& ac, bool moves, double before)
{
    // The phases whose steps change along the leg (lf_applyStep).
    const bool air = ac.phase == AcPhase::take_off || ac.phase == AcPhase::flying;
    const bool known = air && (ac.airLeg || ac.rolling);
    const double shownBefore = ac.posBlock.trueAirspeed;
    ac.rolling = false;
    ac.latStepChange = ac.lonStepChange = ac.speedStep = 0.0;
    ac.airLeg = air && moves;
    if (!moves) {
        ac.moveKt = 0.0;
        return;
    }
    const double n = ticksToNext(ac);
    const double mean = lf_stepKt(ac, ac.latStep, ac.lonStep);  // the even speed that reaches s1 in time
    double end = mean;
    if (known && mean > 0.0) {
        const double most = lf_airAccelKtps / ticksPerSecond * n;
        end = std::clamp(mean + lf_airCatchUp * (mean - before), before - most, before + most);
        end = std::max(end, 0.0);
        // Per kt a tick along the leg; the first tick flies the speed half a change on.
        const double change = (end - before) / n;
        const double perKt = 1.0 / mean;
        const double first = before + change / 2.0;
        ac.latStepChange = ac.latStep * perKt * change;
        ac.lonStepChange = ac.lonStep * perKt * change;
        ac.latStep *= perKt * first;
        ac.lonStep *= perKt * first;
    }
    ac.moveKt = end;
    // Aloft the speed told is the record's airspeed while it agrees with the
    // speed flown (the wind apart); one that does not, such as the default by
    // height that a record without an airspeed gets, gives way to the speed flown.
    double told = ac.signedSpeed;
    if (!ac.groundReplySeen && end > 0.0 && std::abs(told - end) > 0.1 * end + 5.0) told = end;
    if (known) {
        const double most = lf_airAccelKtps / ticksPerSecond * n;
        told = std::clamp(told, shownBefore - most, shownBefore + most);
        ac.speedStep = (told - shownBefore) / n;
        ac.signedSpeed = shownBefore;
    } else {
        ac.signedSpeed = told;
    }
}

}  // namespace

void nextPosMain(LiveAc& ac)
{
    try {
        for (int pass = 0;; ++pass) {
            if (pass == nextPosMaxPasses) {
                logLineMarked(vr::format("{}: no progress after {} passes {}, sz:{}", "nextPosMain", pass,
                                         acDescription(ac), ac.samples.size()));
                removeAircraftFromSim(ac);
                return;
            }
            if (ac.samples.size() >= 2) {
                if (ac.groundReplySeen || !ac.samples[1].stationary || ac.category == AcCategory::Rotorcraft) {
                    lf_nextPos(ac);
                    return;
                }
                // Aloft nobody stops in mid-air: the standing sample goes.
                ac.samples.erase(ac.samples.begin() + 1);
                continue;
            }
            if (lf_extendStream(ac)) continue;
            if (ac.phase != AcPhase::parked) lf_learnStandUse(ac, ac.phase != AcPhase::flying);
            // A stand taken by another arrival has sent it to removal already.
            if (ac.simState != SimState::removingfromsim) removeAircraftFromSim(ac);
            return;
        }
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{}: {} {}, sz:{}, fs:{}, st:{}", "nextPosMain", e.what(), acDescription(ac),
                                 ac.samples.size(), acPhaseText(ac.phase), simStateText(ac.simState)));
        throw;
    }
}

void lf_nextPos(LiveAc& ac)
{
    // The speed flown up to now, before the steps of the next leg replace it.
    const double flownKt = ac.rolling ? ac.rollSpeed : lf_stepKt(ac, ac.latStep, ac.lonStep);
    ac.curve.tStart = ac.curve.tEnd = ac.curve.ctrlNorth = ac.curve.ctrlEast = notANumber;
    ac.curve.lonPerMetre = 0.0;
    ac.curveT = 0.0;
    {
        const PositionSample& s0 = ac.samples[0];
        PositionSample& s1 = ac.samples[1];
        if (!s1.stationary && samePlace(s0, s1)) s1.stationary = true;
        if (!s1.stationary) ac.targetBearing = initialBearing(lf_at(s0), lf_at(s1));
    }
    if (ac.groundReplySeen) {
        nextPosGround(ac);
    } else {
        lf_nextPosAir(ac);
    }
    if (ac.samples.size() < 2) {
        // Nothing to move towards (a manoeuvre that could not start): stand until the stream goes on.
        ac.latStep = ac.lonStep = 0.0;
        ac.latStepChange = ac.lonStepChange = ac.speedStep = 0.0;
        ac.airLeg = false;
        return;
    }
    const PositionSample& s1 = ac.samples[1];
    if (s1.stationary) {
        ac.latStep = ac.lonStep = 0.0;
        if (!ac.rollingOut && !ac.takeOffRoll) {
            lf_shrink(ac.dueLead);
            lf_shrink(ac.dueLag);
        }
    } else {
        if (ac.groundReplySeen) {
            lf_taxiThrottle(ac);
        } else {
            lf_flightStep(ac);
        }
        if (ac.rolling && !(ac.groundReplySeen && lf_groundPhase(ac.phase))) lf_leaveRollAtItsSpeed(ac);
        // After the flight step, which may drop samples to lift off further on.
        const PositionSample& next = ac.samples[1];
        const double n = ticksToNext(ac);
        ac.latStep = (next.latitude - ac.posBlock.latitude) / n;
        ac.lonStep = wrapLonDelta(next.longitude - ac.posBlock.longitude) / n;
    }
    if (ac.groundReplySeen && lf_groundPhase(ac.phase)) {
        lf_setUpRoll(ac);
        ac.airLeg = false;
    } else {
        lf_flyLeg(ac, !ac.samples[1].stationary, flownKt);
    }
    ac.samples.pop_front();
}

void lf_nextPosAir(LiveAc& ac)
{
    PositionSample& s1 = ac.samples[1];
    if (s1.stationary) {
        if (ac.category == AcCategory::Rotorcraft) lf_retimeNextSample(ac);
        return;
    }
    const PositionSample& s0 = ac.samples[0];
    double v;
    if (ac.landing && !s1.airborne) {
        v = s0.groundSpeed > 0 ? s0.groundSpeed : 100.0;
    } else {
        v = lf_legSpeed(ac);
    }
    const std::int32_t n = std::max(toTicks(distanceNm(lf_at(s0), lf_at(s1)) * knotTicksPerNm / v), lf_minLegTicks);
    lf_retime(ac, s1, lf_now() + n, v);
}

void lf_retimeNextSample(LiveAc& ac)
{
    const PositionSample& s0 = ac.samples[0];
    PositionSample& s1 = ac.samples[1];
    if (s1.stationary) {
        std::int64_t d = static_cast<std::int64_t>(s1.dueTick) - s0.dueTick;
        if (d < lf_minLegTicks) d = lf_minLegTicks;
        const std::int64_t now = lf_now();
        lf_applyWindow(ac, s1, now + std::max<std::int64_t>(s0.dueTick - now + d, lf_minLegTicks));
        return;
    }
    ac.turnStep = ac.groundTurnStep;
    const double d = distanceNm(lf_at(s0), lf_at(s1));
    const std::int32_t n = std::max(toTicks(d * knotTicksPerNm / lf_legSpeed(ac)), lf_minLegTicks);
    if (ac.curve.active() || ac.turning) {
        const double a = ac.turning ? ac.turnAngle : ac.curveAngle;
        // A in degrees over turnStep in radians per tick, on purpose: the
        // thresholds below are tuned to this mix (a Large turning 45 degrees gives 368).
        const double m = std::max(std::round(a / ac.turnStep / 100.0), 1.0);
        const double r = n / m;
        if (a > 0 && d > 0) {
            if (a <= 45) {
                if (r >= 1.2) {
                    const double q = std::min({r, r * 10.0 / a, r * 30.0 * nmPerMetre / d});
                    if (q > 0) ac.turnStep *= 1.0 / q;
                } else if (r > 0) {
                    ac.turnStep *= 1.0 / r;
                }
            } else {
                ac.turnStep *= std::min(r, std::min(a, 90.0) / 30.0);
                if (a >= 90) {
                    ac.dueLead = std::max(ac.dueLead, 2000);
                    ac.dueLag = std::max(ac.dueLag, 2000);
                }
            }
        }
    }
    lf_setNextDue(ac, n);
}

void lf_setNextDue(LiveAc& ac, std::int32_t ticks)
{
    lf_applyWindow(ac, ac.samples[1], lf_now() + ticks);
}

double lf_legSpeed(const LiveAc& ac)
{
    const PositionSample& s0 = ac.samples[0];
    const PositionSample& s1 = ac.samples[1];
    if (s0.groundSpeed == 0.0 && s1.groundSpeed == 0.0) {
        std::int64_t t = static_cast<std::int64_t>(s1.dueTick) - s0.dueTick;
        if (t < 26) t = 25;
        const double v = distanceNm(lf_at(s0), lf_at(s1)) * knotTicksPerNm / static_cast<double>(t);
        return std::max(v, 1.0);
    }
    return (s0.groundSpeed + s1.groundSpeed) / 2.0;
}

double lf_turnAhead(const LiveAc& ac)
{
    if (ac.samples.size() < 3) return 0.0;
    return foldPi(initialBearing(lf_at(ac.samples[1]), lf_at(ac.samples[2])) - ac.posBlock.heading);
}

void lf_applyStep(LiveAc& ac)
{
    AcPositionBlock& b = ac.posBlock;
    if (lf_rollsOnGround(ac)) {
        lf_groundRoll(ac);
    } else if (ac.curve.active()) {
        ac.curveT = std::clamp(ac.curveT + ac.curveTStep, 0.0, 0.999999);
        LatLon p;
        double h = 0.0;
        if (evalCurveSegment(ac.curve, p, h, ac.curveT)) {
            b.latitude = p.lat;
            b.longitude = p.lon;
            if (ac.phase == AcPhase::pushing_back) h = std::fmod(h + pi, twoPi);
            lf_steer(b.heading, h, ac.turnStep);
        } else if (!ac.curveFailLogged) {
            ac.curveFailLogged = true;
            logLine(vr::format("{} error in curve at index: {:.2F}", ac.callsign, ac.curveT));
        }
    } else {
        switch (ac.phase) {
        case AcPhase::take_off:
        case AcPhase::flying:
        case AcPhase::parked:
        case AcPhase::birth:
            b.heading = lf_foldHeading(b.heading + ac.headingStep);
            b.latitude += ac.latStep;
            b.longitude += ac.lonStep;
            ac.latStep += ac.latStepChange;
            ac.lonStep += ac.lonStepChange;
            b.trueAirspeed += ac.speedStep;
            break;
        default:
            if (ac.phase == AcPhase::parking || ac.turning) lf_steer(b.heading, ac.targetBearing, ac.turnStep);
            if (ac.phase != AcPhase::pushed_back) {
                b.latitude += ac.latStep;
                b.longitude += ac.lonStep;
            }
            break;
        }
    }

    if (ac.phase == AcPhase::take_off) {
        lf_climbPhase(ac);
    } else {
        if (ac.heightAboveGround <= 400 && ac.landing && !ac.groundReplySeen) lf_flareStep(ac);
        if (ac.touchdownPitch) {
            b.pitch += ac.pitchStep;
            const bool passed = ac.pitchStep > 0   ? b.pitch >= ac.staticPitch
                                : ac.pitchStep < 0 ? b.pitch <= ac.staticPitch
                                                   : true;
            if (passed) {
                b.pitch = ac.staticPitch;
                ac.pitchStep = 0.0;
                b.bank = 0.0;
                ac.bankStep = 0.0;
                ac.touchdownPitch = false;
                ac.flareStage = 0;
            } else {
                b.bank += ac.bankStep;
            }
        } else if (ac.flareStage > 0) {
            b.bank = std::clamp(b.bank + ac.bankStep, -pi, pi);
            b.pitch = std::max(b.pitch + ac.pitchStep, -4.0 * degToRad);
            b.altitude += ac.altStep;
        } else if (ac.groundReplySeen) {
            b.pitch = ac.staticPitch;
            b.bank = 0.0;
        } else {
            b.bank += ac.bankStep;
            b.pitch += ac.pitchStep;
            b.altitude += ac.altStep;
        }
    }

    if (b.latitude > 90.0 || b.latitude < -90.0) {
        b.latitude = b.latitude > 90.0 ? 180.0 - b.latitude : -180.0 - b.latitude;
        b.longitude += 180.0;
    }
    if (b.longitude >= 180.0 || b.longitude < -180.0) b.longitude = foldLongitude(b.longitude);
}

bool evalCurveSegment(const GroundCurve& c, LatLon& position, double& heading, double t)
{
    if (std::isnan(c.ctrlEast) || std::isnan(c.ctrlNorth)) return false;
    if (!(t >= c.tStart && t <= c.tEnd)) return false;
    const double u = (t - c.tStart) / (c.tEnd - c.tStart);
    const double w = 1.0 - u;
    const double north = 2 * w * u * c.ctrlNorth + u * u * c.endNorth;
    const double east = 2 * w * u * c.ctrlEast + u * u * c.endEast;
    double h = std::atan2(2 * u * (c.endEast - c.ctrlEast) + 2 * w * c.ctrlEast,
                          2 * u * (c.endNorth - c.ctrlNorth) + 2 * w * c.ctrlNorth);
    heading = lf_foldHeading(h);
    const double lonPerMetre =
        c.lonPerMetre != 0.0 ? c.lonPerMetre : 1.0 / (std::cos(c.originLat * degToRad) * curveMetresPerDegree);
    position.lat = c.originLat + north / curveMetresPerDegree;
    position.lon = c.originLon + east * lonPerMetre;
    return true;
}

void lf_makeCurve(LiveAc& ac)
{
    const PositionSample& s0 = ac.samples[0];
    const PositionSample& s1 = ac.samples[1];
    PositionSample& s2 = ac.samples[2];
    if (s2.groundSpeed == 0.0) s2.groundSpeed = (s0.groundSpeed + s1.groundSpeed) / 2.0;
    GroundCurve& c = ac.curve;
    c.originLat = ac.posBlock.latitude;
    c.originLon = ac.posBlock.longitude;
    c.tStart = 0.0;
    c.tEnd = 1.0;
    const double eastPerDegree = std::cos(c.originLat * degToRad) * curveMetresPerDegree;
    c.lonPerMetre = 1.0 / eastPerDegree;
    c.ctrlNorth = (s1.latitude - c.originLat) * curveMetresPerDegree;
    c.ctrlEast = eastPerDegree * wrapLonDelta(s1.longitude - c.originLon);
    c.endNorth = (s2.latitude - c.originLat) * curveMetresPerDegree;
    c.endEast = eastPerDegree * wrapLonDelta(s2.longitude - c.originLon);
    ac.curveFailLogged = false;
    ac.samples.erase(ac.samples.begin() + 1);
}

void lf_insertMidSample(LiveAc& ac)
{
    const PositionSample& s0 = ac.samples[0];
    const PositionSample& s1 = ac.samples[1];
    PositionSample m = s0;
    m.latitude = (s0.latitude + s1.latitude) / 2.0;
    m.longitude = foldLongitude(s0.longitude + wrapLonDelta(s1.longitude - s0.longitude) / 2.0);
    m.altitude = (s0.altitude + s1.altitude) / 2.0;
    m.groundSpeed = (s0.groundSpeed + s1.groundSpeed) / 2.0;
    m.dueTick = toTicks((static_cast<double>(s0.dueTick) + static_cast<double>(s1.dueTick)) / 2.0);
    m.airborne = m.altitude > 0;
    if (!m.airborne) m.altitude = 0.0;
    m.stationary = false;
    ac.samples.insert(ac.samples.begin() + 1, m);
}

void lf_splitOnSpeedJump(LiveAc& ac)
{
    const PositionSample& s0 = ac.samples[0];
    const PositionSample& s1 = ac.samples[1];
    if ((s0.groundSpeed > 0 || s1.groundSpeed > 0) && std::abs(s0.groundSpeed - s1.groundSpeed) > 5.0 &&
        distanceNm(lf_at(s0), lf_at(s1)) >= 100.0 * nmPerMetre) {
        lf_insertMidSample(ac);
    }
}

const LiveAc* lf_standsInTheWay(const LiveAc& ac)
{
    if (!ac.groundReplySeen || ac.simState != SimState::active || !lf_groundPhase(ac.phase)) return nullptr;
    // At its stand the stand rules decide (a neighbour that parks clears the adjacent stands).
    if (ac.phase == AcPhase::parking) return nullptr;
    const bool withoutFixes = ac.parkProgress >= 1;
    const double ownKt = lf_rollsOnGround(ac) ? ac.rollSpeed : 0.0;
    const double ownTravel = lf_travelHeading(ac);
    const double ahead = withoutFixes ? inTheWayLookAheadTicks : inTheWayLookAheadTicks / 2;
    for (const LiveAc& other : liveAircraft) {
        if (&other == &ac || other.simState != SimState::active || !lf_rollsOnGround(other)) continue;
        if (other.rollSpeed < 1.0 || other.parkProgress >= 1) continue;
        const double span = 1.2 * (ac.halfWingspan + other.halfWingspan) * metresPerNm;
        const double north = (ac.posBlock.latitude - other.posBlock.latitude) * curveMetresPerDegree;
        const double east = wrapLonDelta(ac.posBlock.longitude - other.posBlock.longitude) * curveMetresPerDegree *
                            other.rollCosLat;
        // Farther than it could close in: no closer look.
        const double most = (other.rollSpeed + ownKt) * lf_metresPerKnotTick * ahead + span;
        if (std::abs(north) > most || std::abs(east) > most) continue;
        const double travel = lf_travelHeading(other);
        // How fast the other closes in along its own direction.
        const double closingKt = other.rollSpeed - ownKt * std::cos(ownTravel - travel);
        if (closingKt < 1.0) continue;
        const double along = north * std::cos(travel) + east * std::sin(travel);
        const double across = std::abs(east * std::cos(travel) - north * std::sin(travel));
        const double reach = closingKt * lf_metresPerKnotTick * ahead;
        if (across <= span && along >= -span && along <= reach + span) return &other;
    }
    return nullptr;
}

bool lf_extendStream(LiveAc& ac)
{
    if (ac.samples.empty()) return false;
    if (ac.phase == AcPhase::parking) {
        lf_arriveAtStand(ac);
    } else if (ac.phase == AcPhase::pushed_back ||
               (ac.phase == AcPhase::taxi && !ac.takeOffRoll && !ac.rollingOut)) {
        if (lf_taxiingNeighbour(ac)) {
            ac.holding = false;
            ac.holdStartTick = 0;
            return false;
        }
        const auto now = static_cast<std::uint32_t>(lf_now());
        if (ac.holding) {
            const std::uint32_t ticks = now - ac.holdStartTick;
            const std::uint32_t minutes = ticks / static_cast<std::uint32_t>(ticksPerMinute);
            if (static_cast<std::int64_t>(minutes) > MAX_HOLDING_MINUTES.get()) return false;
            // Lost while it moved (a roll-out, a taxi): it was not waiting there, and may stand where others pass.
            if (ac.holdLostMoving && ticks > static_cast<std::uint32_t>(lostHoldTicks)) return false;
        } else {
            ac.holdStartTick = now;
            ac.holding = true;
            const PositionSample& last = ac.samples.front();
            ac.holdLostMoving = !last.stationary && last.groundSpeed > 1.0;
        }
        PositionSample hold = ac.samples.front();
        hold.dueTick = toTicks(static_cast<double>(hold.dueTick) + 300.0);
        hold.groundSpeed = 0.0;
        hold.stationary = true;
        ac.samples.push_back(hold);
        ac.parkProgress = 1;
        return true;
    }
    if (ac.parkProgress < 0) return false;
    if (ac.parkProgress == 1) {
        ac.parkProgress = -1;
        return false;
    }
    if (ac.parkProgress > 1) {
        lf_extrapolateSamples(ac, ac.parkProgress - 1);
        return true;
    }
    if (!lf_isCategoryIncluded(ac.category)) return false;
    std::int32_t k = 0;
    if (ac.groundReplySeen) {
        k = ac.phase == AcPhase::parked ? 1 : 10;
    } else {
        const UserAcState& user = engineUserAcState;
        const bool userUnknown = std::abs(user.latitude) < 0.0001 && std::abs(user.longitude) < 0.0001;
        if (!userUnknown &&
            !(distanceNm(lf_blockAt(ac), {user.latitude, user.longitude}) < rangeNm.load(std::memory_order_relaxed) - 0.5)) {
            return false;
        }
        k = 8;
    }
    lf_extrapolateSamples(ac, k);
    return true;
}

void lf_extrapolateSamples(LiveAc& ac, std::int32_t k)
{
    ac.parkProgress = k;
    const PositionSample s0 = ac.samples.front();
    const bool parked = ac.phase == AcPhase::parked;
    const double stepSeconds = ac.groundReplySeen ? 3.0 : 8.0;
    PositionSample n = s0;
    double v = 0.0;
    if (s0.stationary || parked) {
        v = 0.0;
    } else if (!ac.groundReplySeen) {
        if (!ac.landing) {
            v = std::max(0.95 * s0.groundSpeed, 1.0);
        } else if (k >= 4) {
            v = std::max(0.9 * s0.groundSpeed, 1.0);
        } else {
            v = s0.groundSpeed;
        }
    } else if (ac.takeOffRoll) {
        const double g = s0.groundSpeed;
        if (g <= 30) {
            v = 40;
        } else if (g <= 60) {
            v = 80;
        } else if (g <= 100) {
            v = 110;
        } else if (g <= 140) {
            v = 150;
            n.verticalRate = 600;
        } else if (g <= 160) {
            v = 170;
            n.verticalRate = 1200;
        } else {
            v = 180;
            n.verticalRate = 2400;
        }
        // Never past the category's take-off speed: there the roll lifts off
        // (a light aircraft's roll does not run on up to an airliner's speeds).
        const double liftOff = flightConstants(ac.category).takeOffSpeed;
        if (liftOff > 0 && v > liftOff) {
            v = std::max(liftOff, g);
            n.verticalRate = std::max(n.verticalRate, 600.0);
        }
    } else if (ac.rollingOut) {
        // The roll-out slows on; never faster than served (one that stopped stands).
        const double g = s0.groundSpeed;
        v = std::min(g >= 140 ? 100.0 : g >= 100 ? 80.0 : g >= 80 ? 60.0 : g >= 60 ? 30.0 : 20.0, g);
    }
    n.groundSpeed = v;
    // The speed shown changes with the speed flown.
    n.speed = s0.speed > 0 && s0.groundSpeed > 0 ? s0.speed * v / s0.groundSpeed : v;
    if (v != 0.0) {
        const double feet = stepSeconds * ticksPerSecond * v * feetPerNm / knotTicksPerNm;
        const LatLon p = destinationPoint(lf_at(s0), ac.posBlock.heading, feet);
        n.latitude = p.lat;
        n.longitude = p.lon;
    }
    if (ac.landing && ac.flareStage == 0) {
        n.altitude -= stepSeconds * 10.005;
        n.verticalRate = -667;
    } else if (ac.phase == AcPhase::take_off) {
        n.altitude += stepSeconds * 25.0;
        n.verticalRate = 1500;
    }
    n.airborne = n.altitude > 0;
    if (!n.airborne) n.altitude = 0.0;
    n.stationary = samePlace(n, s0);
    n.dueTick = toTicks(static_cast<double>(s0.dueTick) + (parked ? ticksPerWeek : stepSeconds * ticksPerSecond));
    if (parked) {
        ac.standReported = false;
        clearStandTaken(ac.standId, ac.aircraftId);
    }
    ac.samples.push_back(n);
}
