#include "engine/spawn.h"

#include <algorithm>
#include <cmath>

#include "core/airport_services.h"
#include "core/fmt.h"
#include "core/geodesy.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/start_moments.h"
#include "core/run_state.h"
#include "core/options.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/ghosts.h"
#include "engine/live_parking.h"
#include "engine/motion.h"
#include "engine/slot_records.h"
#include "engine/stand_choice.h"
#include "engine/timed_queues.h"
#include "simlink/user_aircraft.h"

std::vector<std::string>& GhostCallsigns = *new std::vector<std::string>;
UnmatchedKeySet& UnmatchedLiveKeys = *new UnmatchedKeySet;
std::deque<std::uint32_t>& IdentityCheckQueue = *new std::deque<std::uint32_t>;

namespace {

constexpr double lf_pi = 3.141592653589793;

bool lf_endsWithUnderscore(std::string_view callsign) { return !callsign.empty() && callsign.back() == '_'; }

void lf_drop(LiveAc& ac) { ac.removedInBuffer = true; }

// Into [-pi, pi].
double lf_wrapPi(double a)
{
    a = std::fmod(a + lf_pi, geo::twoPi);
    if (a < 0) a += geo::twoPi;
    return a - lf_pi;
}

double lf_wrapTwoPi(double a)
{
    a = std::fmod(a, geo::twoPi);
    if (a < 0) a += geo::twoPi;
    return a >= geo::twoPi ? 0.0 : a;
}

LatLon lf_at(const PositionSample& s) { return {s.latitude, s.longitude}; }

}  // namespace

std::size_t FnvHash::operator()(std::string_view text) const noexcept
{
    std::uint64_t h = 0xcbf29ce484222325ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 0x100000001b3ull;
    }
    return static_cast<std::size_t>(h);
}

void setAcPhase(LiveAc& ac, AcPhase phase)
{
    if (ac.phase == phase) return;
    ac.prevPhase = ac.phase;
    ac.phase = phase;
}

double initialAirPitch(double verticalRate)
{
    double v = std::clamp(verticalRate, -3000.0, 2400.0);
    if (v < 0) v /= 2;
    return (-3.0 - (v / 600.0) * 2.2) * geo::degToRad;
}

void lf_bornAtStand(LiveAc& ac, const Stand& stand)
{
    ac.position = {stand.latitude, stand.longitude};
    ac.heading = stand.heading;
    ac.standId = stand.sid;
    ac.cargoLook = stand.cargo;
    setAcPhase(ac, AcPhase::parked);
    markParkedNow(ac);
    ac.standDistanceFirst = 0.0;
    ac.standDistanceLast = 0.0;
    ac.standDistanceCount = 0;
    lf_setCargoAttribute(ac);
    ac.samples.resize(1);
    PositionSample& s0 = ac.samples.front();
    s0.latitude = stand.latitude;
    s0.longitude = stand.longitude;
    s0.track = stand.heading * geo::radToDeg;
    if (LOG.get()) logLine(vr::format("{:8}: {:8} born at stand", stand.name, ac.callsign));
    const std::uint64_t now = currentSlotAndWeekday.load();
    if (lt_addStandOption(stand.sid, standUserOf(ac), false, now, false)) lf_markIdInSlot(now, ac.aircraftId, true);
    enforceMaxPark(1);
}

bool lf_ghostBaseExists(std::string_view callsign)
{
    if (callsign.empty()) return false;
    const std::string_view base = callsign.substr(0, callsign.size() - 1);
    return std::any_of(liveAircraft.begin(), liveAircraft.end(), [base](const LiveAc& a) {
        return a.simState != SimState::removingfromsim && a.callsign == base;
    });
}

bool lf_holdForUserAc(LiveAc& ac)
{
    const UserAcState& user = engineUserAcState;
    const LatLon userAt{user.latitude, user.longitude};
    const PositionSample& front = ac.samples.front();
    const auto pop = [&ac] {
        ac.samples.pop_front();
        return true;
    };
    if (userOnGround.load()) {
        if (ac.holdForUser) {
            if (user.groundVelocity > 8) return pop();
            if (!front.airborne && (front.groundSpeed > 8 || distanceNm(userAt, lf_at(front)) * 1852 < 500))
                return pop();
        }
        if (front.airborne || !COLLISION_USER_GND.get()) return false;
        if (distanceNm(userAt, lf_at(front)) < 0.08099352051835854) return pop();
        return false;
    }
    if (!COLLISION_USER_AIR.get()) return false;
    const double d = distanceNm(userAt, lf_at(front));
    bool applies = false;
    double lateral = 0.0;
    double limit = 0.0;
    if (front.airborne && d <= 6.0 && std::fabs(front.altitude - user.altitude) < 3000) {
        // Against the sample's own track: a never-created aircraft has no bearing of its own yet.
        const double a = lf_wrapPi(front.track * geo::degToRad - initialBearing(userAt, lf_at(front)));
        lateral = std::sin(std::fabs(a)) * d * 6076.11549;
        limit = 4000.0;
        applies = true;
    } else if (!front.airborne && d <= 1.5 && user.altAboveGround < 1000) {
        const double a = lf_wrapPi(initialBearing(userAt, lf_at(front)) - user.heading);
        lateral = std::sin(std::fabs(a)) * d * 6076.11549;
        limit = 500.0;
        applies = true;
    }
    if (applies && lateral <= limit) {
        ac.holdForUser = true;
        return pop();
    }
    if (ac.holdForUser) return pop();
    return false;
}

void lf_spawnPath(LiveAc& ac)
{
    {
        // The front copy: an aircraft still waiting leaves its queue untouched.
        const SampleFront front = ac.samples.frontCopy();
        if (!front.present) return lf_drop(ac);
        const std::int32_t lead = front.movingOnGround ? spawnLeadMoving : spawnLead;
        if (static_cast<std::int64_t>(tickCounter.load()) < static_cast<std::int64_t>(front.dueTick) - lead) return;
    }
    if (ac.samples.size() == 1) return lf_drop(ac);
    if (lf_endsWithUnderscore(ac.callsign) &&
        std::find(GhostCallsigns.begin(), GhostCallsigns.end(), ac.callsign) != GhostCallsigns.end())
        return lf_drop(ac);
    const bool anyAirborne = std::any_of(ac.samples.begin(), ac.samples.end(), [](const auto& s) { return s.airborne; });
    const bool anyGround = std::any_of(ac.samples.begin(), ac.samples.end(), [](const auto& s) { return !s.airborne; });
    if (anyAirborne && anyGround) {
        ac.samples.pop_front();
        return;
    }
    if (lf_holdForUserAc(ac)) return;
    if (liveCreationQueue.size() > maxQueuedCreations && ac.phase == AcPhase::birth) {
        ac.samples.pop_front();
        return;
    }
    const std::int32_t maxLive = MAX_LIVE_SEL.get();
    if (maxLive == 0) return lf_drop(ac);
    if (liveInSimCount >= maxLive) {
        const UserAcState& user = engineUserAcState;
        const double d = distanceNm({user.latitude, user.longitude}, lf_at(ac.samples.front()));
        if (removeFarthestLive(d)) return lf_drop(ac);  // true: none removed
    }
    const std::string blocked = BLOCK_CALLSIGN.get();
    if (!blocked.empty() && blocked == ac.callsign) return lf_drop(ac);
    if (!ac.registration.empty()) {
        if (const auto db = gf_findDbaseRecord(ac.registration)) {
            ac.airline = db->airline;
            ac.type = db->type;
            if (!db->op.empty()) ac.airline = db->op;
            ac.cargo = db->cargo;
            if (!callsignUsable(ac.callsign)) ac.callsign = ac.registration;
        }
    }
    if (ac.airline.empty()) ac.airline = airlineFromCallsign(ac.callsign).value_or("PVT");
    if (!callsignUsable(ac.callsign)) return lf_drop(ac);
    if (UnmatchedLiveKeys.count(acTypeRegText(ac)) > 0) return lf_drop(ac);
    if (lf_endsWithUnderscore(ac.callsign) && lf_ghostBaseExists(ac.callsign)) return lf_drop(ac);
    spawnLiveAc(ac);
}

void spawnLiveAc(LiveAc& ac)
{
    auto& s = ac.samples;
    if (s.size() < 2) {
        logLineMarked(vr::format("{} sz:{}", "spawnLiveAc", s.size()));
        return;
    }
    if (s[1].stationary) {
        s[0].stationary = true;
        s[0].groundSpeed = 0;
        s[1].groundSpeed = 0;
        if (s.size() > 2 && s[2].stationary) s[2].groundSpeed = 0;
    } else {
        s[0].stationary = false;
    }
    if (ac.phase == AcPhase::birth) {
        if (ac.liveryTitle.empty()) {
            const std::string_view remembered = gf_lookupTitleById(ac.aircraftId);
            if (!remembered.empty()) {
                ac.liveryTitle = remembered;
                ac.fsltlModel = remembered.find("FSLTL_") != std::string_view::npos;
            } else {
                const auto match = gf_matchLiveAcLivery(
                    LiveryRequest{ac.airline, ac.type, ac.registration, ac.callsign, ac.category, ac.cargo});
                if (!match || match->title.empty()) {
                    if (!ac.registration.empty()) UnmatchedLiveKeys.insert(acTypeRegText(ac));
                    ac.removedInBuffer = true;
                    return;
                }
                ac.liveryTitle = match->title;
                ac.fsltlModel = match->fsltlModel;
                liveryServices().rememberTitle(ac.aircraftId, match->title);
            }
        }
        if (s.front().airborne) {
            setAcPhase(ac, AcPhase::flying);
        } else if (const auto stand = lf_chooseStand(ac)) {
            lf_bornAtStand(ac, *stand);
        } else {
            setAcPhase(ac, AcPhase::taxi);
        }
    }
    if (ac.removedInBuffer) return;

    IdentityCheckQueue.push_back(ac.aircraftId);
    const PositionSample& front = s.front();
    AcPositionBlock& pb = ac.posBlock;
    pb.latitude = front.latitude;
    pb.longitude = front.longitude;
    pb.altitude = front.altitude;
    pb.verticalSpeed = front.verticalRate;
    // On the ground the speed shown is the speed rolled (a record's airspeed may be a default for its height).
    pb.trueAirspeed = front.airborne ? front.speed : front.stationary ? 0.0 : front.groundSpeed;
    pb.bank = front.bank && std::isfinite(*front.bank) ? *front.bank : 0.0;
    pb.pitch = front.airborne ? initialAirPitch(front.verticalRate) : 0.6 * geo::degToRad;
    double heading;
    if (ac.respawnHeading)
        heading = *ac.respawnHeading;
    else if (ac.phase == AcPhase::parked)
        heading = ac.heading;
    else if (s[1].stationary)
        heading = front.track * geo::degToRad;
    else
        heading = initialBearing(lf_at(front), lf_at(s[1]));
    pb.heading = lf_wrapTwoPi(heading);
    ac.headingStep = 0.0;
    // A new object rolls off at the speed served where it appears (a standstill
    // where it stands), not at what an earlier object of the record rolled at.
    ac.rolling = false;
    ac.airLeg = false;
    ac.rollSpeed = 0.0;
    ac.moveKt = front.stationary ? 0.0 : front.groundSpeed;
    ac.holdForUser = false;
    ac.simState = SimState::adding2sim;
    ++liveInSimCount;
    pendingCreationIds.push_back(ac.aircraftId);
    markStartMoment(StartMoment::firstAircraftSpawned);
    if (!lf_endsWithUnderscore(ac.callsign)) removeGhost(ac.callsign);
}
