#include "engine/ghosts.h"

#include <algorithm>
#include <cmath>

#include "core/airport_services.h"
#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/options.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/spawn.h"
#include "engine/stand.h"
#include "engine/stand_search.h"
#include "engine/timed_queues.h"

namespace {

bool lf_endsWithGhostMark(const std::string& callsign)
{
    return !callsign.empty() && callsign.back() == '_';
}

const char* lf_whereText(bool onGround)
{
    return onGround ? "on ground" : "airborne";
}

bool lf_parkedOrPushing(const LiveAc& ac, bool pushedBackToo)
{
    return ac.phase == AcPhase::parked || ac.phase == AcPhase::pushing_back ||
           (pushedBackToo && ac.phase == AcPhase::pushed_back);
}

LiveAc* lf_liveAtStand(std::uint32_t standId)
{
    const auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                 [standId](const LiveAc& a) { return a.standId == standId; });
    return it == liveAircraft.end() ? nullptr : &*it;
}

}  // namespace

bool isGhostOf(const std::string& ghost, const std::string& callsign)
{
    return ghost.size() == callsign.size() + 1 && ghost.back() == '_' && ghost.compare(0, callsign.size(), callsign) == 0;
}

void removeGhost(const std::string& callsign)
{
    const auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(), [&](const LiveAc& a) {
        return a.simState != SimState::removingfromsim && isGhostOf(a.callsign, callsign);
    });
    if (it == liveAircraft.end()) return;
    LiveAc& ghost = *it;
    if (LOG.get()) {
        if (ghost.phase == AcPhase::parked)
            logLine(vr::format("{:8}: {:8} is a ghost and will be removed, continue with {}", sidName(ghost.standId),
                               ghost.callsign, callsign));
        else
            logLine(vr::format("          {:8} is a ghost and will be removed, continue with {}", ghost.callsign,
                               callsign));
    }
    GhostCallsigns.push_back(ghost.callsign);
    removeAircraftFromSim(ghost);
}

void resolveSameIdentity(LiveAc& live, bool onGround)
{
    if (live.callsign.empty()) return;
    const auto coupled = [](const SimAc& st, const std::string& cs) {
        return !cs.empty() && (st.coupledCs == cs || st.coupledCs2 == cs);
    };
    for (SimAc& st : staticAircraft) {
        if (st.simState != SimState::active) continue;
        if (st.source == 0 && st.linkedAircraftId == live.aircraftId) {
            if (LOG.get())
                logLine(vr::format("{:8}: {:8} removed, new {} '{}' has same hexid", sidName(st.standId), st.callsign,
                                   lf_whereText(onGround), live.callsign));
            removeAircraftFromSim(st);
            return;
        }
        if (!live.registration.empty() && live.registration == st.registration) {
            if (LOG.get())
                logLine(vr::format("{:8}: {:8} {} removed, new {} '{}' has same regcode {}", sidName(st.standId),
                                   st.callsign, st.registration, lf_whereText(onGround), live.callsign,
                                   live.registration));
            removeAircraftFromSim(st);
            return;
        }
        const bool ghostOfCoupled = lf_endsWithGhostMark(live.callsign) &&
                                    ((!st.coupledCs.empty() && isGhostOf(live.callsign, st.coupledCs)) ||
                                     (!st.coupledCs2.empty() && isGhostOf(live.callsign, st.coupledCs2)));
        if (coupled(st, live.callsign) || coupled(st, live.coupledCs2) || ghostOfCoupled) {
            if (LOG.get())
                logLine(vr::format("{:8}: {:8} '{} {}' removed, new {} {} '{}' '{}' has {} callsign",
                                   sidName(st.standId), st.callsign, st.coupledCs, st.coupledCs2,
                                   lf_whereText(onGround), live.callsign, live.coupledCs, live.coupledCs2,
                                   st.coupledCs == live.callsign ? "same" : "coupled"));
            removeAircraftFromSim(st);
            return;
        }
    }
}

void removeStaticsNearLive(LiveAc& live)
{
    if (live.rollingOut || live.takeOffRoll) return;
    live.collisionTestPosition = {live.posBlock.latitude, live.posBlock.longitude};
    const LatLon at = live.collisionTestPosition;
    for (SimAc& st : staticAircraft) {
        if (st.simState != SimState::active || st.callsign == live.callsign) continue;
        const double reach = (st.halfWingspan + live.halfWingspan) * 1.1;
        // One degree of latitude is 60 nm: farther apart in latitude alone needs no distance.
        if (std::fabs(st.position.lat - at.lat) * 60.0 > reach * (1.0 + 1e-9)) continue;
        if (reach < distanceNm(at, st.position)) continue;
        if (LOG.get())
            logLine(vr::format("{:8}: {:8} removed for collision avoidance with static {}", sidName(st.standId),
                               st.callsign, live.callsign));
        removeAircraftFromSim(st);
        return;
    }
}

bool lf_freeStandForNewcomer(std::uint32_t standId, const std::string& callsign)
{
    LiveAc* o = lf_liveAtStand(standId);
    if (o == nullptr || !lf_parkedOrPushing(*o, true) || o->simState != SimState::active) return true;
    const bool log = LOG.get();
    const std::string name = sidName(standId);
    const auto replaceGhost = [&] {
        if (log) logLine(vr::format("{:8}: {:8} ghost, replace by {}", name, o->callsign, callsign));
        removeAircraftFromSim(*o);
        return true;
    };
    if (o->callsign == callsign) {
        if (log)
            logLine(vr::format("{:8}: {:8} ac with same callsign {} wants it, remove existing ... ", name,
                               o->callsign, callsign));
        removeAircraftFromSim(*o);
        return true;
    }
    if (isGhostOf(callsign, o->callsign)) return false;  // the newcomer is the occupant's ghost
    if (isGhostOf(o->callsign, callsign)) return replaceGhost();
    if (lf_endsWithGhostMark(o->callsign) && !lf_endsWithGhostMark(callsign)) return replaceGhost();
    if (!lf_endsWithGhostMark(o->callsign) && lf_endsWithGhostMark(callsign)) return false;
    if (o->standReported) return false;  // the feed reports it at this stand
    if (log)
        logLine(vr::format("{:8}: {:8} removed because another live {} wants the stand ...", name, o->callsign,
                           callsign));
    removeAircraftFromSim(*o);
    return true;
}

void lf_clearAdjacentStand(std::uint32_t adjacentStandId, LiveAc& newcomer, const Stand& target)
{
    LiveAc* o = lf_liveAtStand(adjacentStandId);
    if (o == nullptr || !lf_parkedOrPushing(*o, false) || o->simState != SimState::active) return;
    const Stand* adjacent = findStandById(adjacentStandId);
    if (adjacent == nullptr || (adjacent->latitude == 0.0 && adjacent->longitude == 0.0)) return;
    const double reach = (gf_halfWingspan(o->type) + gf_halfWingspan(newcomer.type)) * 1.1;
    if (reach < distanceNm({adjacent->latitude, adjacent->longitude}, {target.latitude, target.longitude})) return;
    if (LOG.get())
        logLine(vr::format("{:8}: {:8} removed by parking {} at adjacent and possibly colliding stand {}",
                           adjacent->name, o->callsign, newcomer.callsign, target.name));
    removeAircraftFromSim(*o);
}

void removeAllStatics()
{
    for (SimAc& st : staticAircraft) {
        if (st.simState == SimState::active) {
            removeAircraftFromSim(st);
        } else if (st.simState == SimState::adding2sim && !st.removeAfterCreate && !st.removedWhileQueued) {
            if (isCreationPending(staticCreationQueue, st.callsign, st.aircraftId))
                st.removedWhileQueued = true;
            else
                st.removeAfterCreate = true;
        }
    }
    std::erase_if(staticAircraft, [](const SimAc& st) { return st.removedWhileQueued; });
}

void removeAtStand(const std::string& name)
{
    const Stand* stand = findStandByName(name);
    if (stand == nullptr) return;  // no stand of that name: never stand id 0
    const std::uint32_t sid = stand->sid;
    for (SimAc& st : staticAircraft) {
        if (st.simState == SimState::active && st.standId == sid) {
            removeAircraftFromSim(st);
            return;
        }
    }
    for (LiveAc& ac : liveAircraft) {
        if (ac.simState == SimState::active && ac.phase == AcPhase::parked && ac.standId == sid) {
            removeAircraftFromSim(ac);
            return;
        }
    }
}
