#include "engine/sim_replies.h"

#include <algorithm>
#include <filesystem>
#include <limits>
#include <utility>
#include <vector>

#include "core/airport_services.h"
#include "core/fmt.h"
#include "core/geodesy.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/start_moments.h"
#include "core/options.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/flight_plans.h"
#include "engine/motion.h"
#include "engine/spawn.h"
#include "engine/stand.h"
#include "engine/timed_queues.h"
#include "simlink/sim_api.h"
#include "simlink/sim_client.h"
#include "simlink/sim_queues.h"

std::vector<SimReply>& createdObjects = *new std::vector<SimReply>;

namespace {

// The replies taken this tick (worker only; kept for its capacity).
std::vector<SimReply>& lf_taken = *new std::vector<SimReply>;
// The flight plans written since the last look (worker only; kept for its capacity).
std::vector<WrittenFlightPlan>& lf_written = *new std::vector<WrittenFlightPlan>;

LiveAc* lf_liveById(std::uint32_t aircraftId)
{
    for (LiveAc& a : liveAircraft)
        if (a.aircraftId == aircraftId) return &a;
    return nullptr;
}

LiveAc* lf_liveByObject(std::uint32_t objectId)
{
    if (objectId == 0) return nullptr;
    for (LiveAc& a : liveAircraft)
        if (a.objectId == objectId) return &a;
    return nullptr;
}

// The live records by object id while processSimReplies works through a run of
// ground-information and static-attitude replies, which change no object id
// and erase no record: a range answer brings one for every aircraft around the
// user, statics included, and a plain search for each went over every record.
// Built from one pass over the records at the first such reply (the first
// record of an id, as the plain search finds it), dropped at any other reply
// and after the batch.
struct LiveObjectIndex {
    bool inBatch = false;
    bool built = false;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;  // (object id, index), sorted
};
LiveObjectIndex& lf_objectIndex = *new LiveObjectIndex;

LiveAc* lf_liveByObjectInBatch(std::uint32_t objectId)
{
    LiveObjectIndex& x = lf_objectIndex;
    if (!x.inBatch) return lf_liveByObject(objectId);
    if (objectId == 0) return nullptr;
    if (!x.built) {
        x.entries.clear();
        if (x.entries.capacity() < liveAircraft.capacity()) x.entries.reserve(liveAircraft.capacity());
        for (std::size_t i = 0; i < liveAircraft.size(); ++i) {
            if (liveAircraft[i].objectId != 0)
                x.entries.emplace_back(liveAircraft[i].objectId, static_cast<std::uint32_t>(i));
        }
        std::sort(x.entries.begin(), x.entries.end());
        x.built = true;
    }
    const auto it = std::lower_bound(x.entries.begin(), x.entries.end(), std::pair{objectId, std::uint32_t{0}});
    if (it == x.entries.end() || it->first != objectId) return nullptr;
    return &liveAircraft[it->second];
}

// The live aircraft of a created-objects entry while it still holds that
// object and is not on its way out.
LiveAc* lf_liveOfEntry(const SimReply& e)
{
    LiveAc* ac = lf_liveById(e.aircraftId);
    if (!ac || ac->objectId != e.objectId) return nullptr;
    if (ac->simState != SimState::adding2sim && ac->simState != SimState::active) return nullptr;
    return ac;
}

SimAc* lf_staticById(std::uint32_t aircraftId)
{
    for (SimAc& a : staticAircraft)
        if (a.aircraftId == aircraftId) return &a;
    return nullptr;
}

void lf_eraseStatic(SimAc& ac)
{
    SimAc* const last = &staticAircraft.back();
    if (&ac != last) ac = std::move(*last);
    staticAircraft.pop_back();
}

// A live record leaves the simulator's count when it is erased in adding2sim or active.
void lf_eraseLive(LiveAc& ac)
{
    if ((ac.simState == SimState::adding2sim || ac.simState == SimState::active) && !ac.removedWhileQueued &&
        !ac.removedInBuffer)
        --liveInSimCount;
    eraseLiveAc(ac);
}

void lf_forgetCreationInFlight(std::uint32_t aircraftId)
{
    const auto it = std::find_if(creationsInFlight.begin(), creationsInFlight.end(),
                                 [aircraftId](const CreationInFlight& c) { return c.aircraftId == aircraftId; });
    if (it != creationsInFlight.end()) creationsInFlight.erase(it);
}

void lf_directCallFailed(HRESULT hr, const char* text)
{
    if (hr == scOk) return;
    logLineMarked(text);
    reportSimConnectError();
}

void lf_liveCreated(const SimReply& r)
{
    if (r.objectId < 3) return;
    lf_forgetCreationInFlight(r.aircraftId);
    LiveAc* ac = lf_liveById(r.aircraftId);
    if (!ac || ac->simState != SimState::adding2sim || ac->objectId != 0 || ac->removedWhileQueued ||
        ac->removedInBuffer) {
        // An object for a creation whose record is gone (dropped, or a later record of the aircraft).
        logLineMarked(vr::format("processSimReplies: object {} of hexid {} has no creation waiting, removed",
                                 r.objectId, r.aircraftId));
        removalDeque.push_back(r.objectId);
        return;
    }
    ac->objectId = r.objectId;
    ac->heightAboveGround = r.valueB;
    markStartMoment(StartMoment::firstObjectCreated);
    if (ac->samples.empty()) {
        ac->simState = SimState::active;
        removeAircraftFromSim(*ac);
        return;
    }
    if (!ac->samples.front().airborne) lf_parks(*ac);
    setAcFlightPlan(*ac);
    {
        std::lock_guard lock(simQueueMutex);
        lf_directCallFailed(
            simApi().requestDataOnSimObject(REQUEST_STATIC_ATTITUDE, DEF_STATIC_ATTITUDE, r.objectId,
                                            SIMCONNECT_PERIOD_ONCE),
            "SimConnect request StaticCG fails");
    }
    // It moves from this tick on; its activation (lights, engines, throttle,
    // flaps) follows 200 ticks later. One already asked to leave waits for
    // the activation, which removes it.
    if (!ac->removeAfterCreate) startCreatedAc(*ac);
    SimReply entry = r;
    entry.ticks = 0;
    createdObjects.push_back(entry);
}

void lf_objectRemoved(const SimReply& r)
{
    const auto confirmed = std::find_if(removalsInFlight.begin(), removalsInFlight.end(),
                                        [&](const RemovalInFlight& e) { return e.objectId == r.objectId; });
    if (confirmed != removalsInFlight.end()) removalsInFlight.erase(confirmed);
    const auto it = std::find_if(createdObjects.begin(), createdObjects.end(), [&](const SimReply& e) {
        return e.objectId == r.objectId && e.ticks >= 0;
    });
    if (it != createdObjects.end()) {
        const SimReply entry = *it;
        createdObjects.erase(it);
        if (entry.kind != replyLiveCreated) {
            if (SimAc* st = lf_staticById(entry.aircraftId); st && st->objectId == 0) lf_eraseStatic(*st);
        }
    }
    resetRemovedAc(r.objectId);
}

// The simulator's word on the ground, taken with its own height beside it: the
// on-ground flag counts only while the reported height is within a few feet of
// the aircraft's height on its wheels (cgHeight), and at that height or below
// the aircraft is on the ground whatever the flag says. A flag that lags or
// sticks (an object created on the ground and long since climbing away, one
// created in the air and rolling out) neither drops an aircraft from the sky nor
// lets a landing sink on below the runway.
constexpr double flaggedGroundSlackFt = 10.0;
constexpr double wheelsDownSlackFt = 1.0;

bool lf_replyShowsGround(const LiveAc& ac, const SimReply& r)
{
    const double above = r.valueB - ac.cgHeight;
    return above <= wheelsDownSlackFt || (r.aircraftId == 1 && above <= flaggedGroundSlackFt);
}

// Aloft by its own phase: in the take-off (rotation and climb), or flying with
// no landing committed towards samples the feed has in the air.
bool lf_aloftByPhase(const LiveAc& ac)
{
    if (ac.phase == AcPhase::take_off) return true;
    if (ac.phase != AcPhase::flying || ac.landing || ac.flareStage > 0 || ac.samples.empty()) return false;
    return ac.samples[0].airborne && (ac.samples.size() < 2 || ac.samples[1].airborne);
}

void lf_groundInfo(const SimReply& r)
{
    LiveAc* ac = lf_liveByObjectInBatch(r.objectId);
    if (!ac) return;
    const bool showsGround = lf_replyShowsGround(*ac, r);
    if (showsGround && !ac->groundReplySeen && ac->countdown < 2 && ac->simState != SimState::removingfromsim &&
        !lf_aloftByPhase(*ac)) {
        if (ac->onGroundSlots != 0 || ac->landing) lf_onGroundSlots(*ac);
        ac->groundReplySeen = true;
        ac->altStep = 0;
        ac->countdown = 1;
    }
    ac->heightAboveGround = r.valueB;
    ac->groundAltitudeFt = static_cast<float>(r.valueA);
    ac->groundReported = true;
    ac->groundReportTick = tickCounter.load(std::memory_order_relaxed);
    // On the ground the aircraft follows the ground the simulator has under it;
    // in the rotation (countdown above 1) only while the reply has it there.
    if (ac->groundReplySeen || (ac->countdown > 1 && showsGround)) ac->posBlock.altitude = r.valueA + ac->cgHeight;
}

void lf_staticAttitude(const SimReply& r)
{
    LiveAc* ac = lf_liveByObjectInBatch(r.objectId);
    if (!ac) return;
    if (r.valueA >= 1.0 && r.valueA <= 35.0) ac->cgHeight = r.valueA;
    ac->staticPitch = clampedStaticPitch(r.valueB);
}

void lf_creationFailed(const SimReply& r)
{
    lf_forgetCreationInFlight(r.aircraftId);
    std::string callsign, type, airline;
    std::string_view title;
    const auto keep = [&](const AcIdentity& id) {
        callsign = id.callsign;
        type = id.type;
        airline = id.airline;
        title = id.liveryTitle;
    };
    if (r.aircraftId > 10000) {
        LiveAc* ac = lf_liveById(r.aircraftId);
        if (!ac) return;
        keep(*ac);
        lf_eraseLive(*ac);
    } else {
        SimAc* st = lf_staticById(r.aircraftId);
        if (!st) return;
        keep(*st);
        lf_eraseStatic(*st);
    }
    // May throw when too many titles are blocked: that ends the run.
    gf_liveryNotCreated(callsign, title, type, airline);
}

}  // namespace

double clampedStaticPitch(double b)
{
    if (b <= -1.0 * geo::degToRad || b > 2.5 * geo::degToRad) return 0.012217304763960306;
    return b;
}

void keepAboveGround(LiveAc& ac)
{
    const double lowest = static_cast<double>(ac.groundAltitudeFt) + ac.cgHeight;
    if (ac.posBlock.altitude < lowest) ac.posBlock.altitude = lowest;
}

void reviewGroundAtSample(LiveAc& ac)
{
    if (ac.groundReported) {
        const std::int64_t age = static_cast<std::int64_t>(tickCounter.load(std::memory_order_relaxed)) -
                                 ac.groundReportTick;
        if (age <= groundReportStaleTicks) return;
        ac.groundReported = false;
    }
    ac.groundAltitudeFt = -std::numeric_limits<float>::infinity();
    if (ac.samples.empty() || ac.samples.front().airborne) return;
    // The feed has a sample on the ground only near the park airport, at its elevation.
    const ParkAirportInfo park = airportServices().parkAirport();
    if (!park.code.empty()) ac.groundAltitudeFt = static_cast<float>(park.elevationFt);
}

void lf_processSimReply(const SimReply& r)
{
    // Only these two leave the object ids and the records as they are.
    if (r.kind != replyGroundInfo && r.kind != replyStaticAttitude) lf_objectIndex.built = false;
    switch (r.kind) {
    case replyLiveCreated: lf_liveCreated(r); break;
    case replyStaticCreated:
        lf_forgetCreationInFlight(r.aircraftId);
        createdObjects.push_back({r.objectId, r.aircraftId, 0, r.kind, r.valueA, r.valueB});
        break;
    case replyRemoved:
        lf_objectRemoved(r);
        break;
    case replyGroundInfo: lf_groundInfo(r); break;
    case replyStaticAttitude: lf_staticAttitude(r); break;
    case replyCallsignBlocked: lf_removeWhileBlocked(r.aircraftId); break;
    case replyCreationFailed: lf_creationFailed(r); break;
    default: break;
    }
}

void processSimReplies()
{
    // Taken out under the reply mutex and worked on outside it: no file or
    // simulator call here holds up the SimClient thread. An exception (too many
    // refused titles) goes to the worker and ends the run; the rest of the taken
    // replies is then dropped with the next take.
    takeSimReplies(lf_taken);
    lf_objectIndex.inBatch = true;
    lf_objectIndex.built = false;
    try {
        for (const SimReply& r : lf_taken) lf_processSimReply(r);
    } catch (...) {
        lf_objectIndex.inBatch = false;
        throw;
    }
    lf_objectIndex.inBatch = false;
    lf_taken.clear();
    sendWrittenFlightPlans();
    if (!createdObjects.empty()) activateCreatedAc();
}

void activateCreatedAc()
{
    bool anyDone = false;
    const auto done = [&anyDone](SimReply& e) {
        e.ticks = -1;
        anyDone = true;
    };
    for (SimReply& e : createdObjects) {
        if (e.ticks < 0) continue;
        if (e.ticks < activationTicks) {
            ++e.ticks;
            if (e.kind == replyLiveCreated && (e.ticks == lightsToggleFirst || e.ticks == lightsToggleSecond) &&
                lf_liveOfEntry(e) != nullptr) {
                std::lock_guard lock(simQueueMutex);
                lf_directCallFailed(simApi().transmitClientEvent(e.objectId, EVENT_ALL_LIGHTS_TOGGLE, 0),
                                    "SimConnect gf_allLightsToggle fails");
            }
            continue;
        }
        if (e.kind != replyLiveCreated) {
            SimAc* st = lf_staticById(e.aircraftId);
            if (!st) continue;
            if (st->simState != SimState::adding2sim) {
                logLineMarked(vr::format("activateCreatedAc: static {} is not waiting for object {}", st->callsign,
                                         e.objectId));
                done(e);
                continue;
            }
            st->simState = SimState::active;
            st->objectId = e.objectId;
            shutDownAc(*st);
            done(e);
            if (LOG.get()) logLine(vr::format("{:8}: {:8} parked", sidName(st->standId), st->callsign));
            if (st->removeAfterCreate) removeAircraftFromSim(*st);
            continue;
        }
        LiveAc* ac = lf_liveById(e.aircraftId);
        if (!ac) continue;
        if (ac->objectId != e.objectId) {
            logLineMarked(vr::format("activateCreatedAc: hexid {} is not waiting for object {}", e.aircraftId,
                                     e.objectId));
            done(e);
            continue;
        }
        if (lf_liveOfEntry(e) == nullptr) {  // on its way out since it came
            done(e);
            continue;
        }
        activateAc(*ac);
        done(e);
        if (ac->removeAfterCreate) removeAircraftFromSim(*ac);
    }
    if (anyDone) std::erase_if(createdObjects, [](const SimReply& e) { return e.ticks < 0; });
}

void startCreatedAc(LiveAc& ac)
{
    ac.simState = SimState::active;
    if (ac.samples.empty()) {
        removeAircraftFromSim(ac);
        return;
    }
    // The aircraft goes on from where it was created, at once, along its
    // samples at their own pace: the samples that fell due while the simulator
    // created the object are not raced through, and one created in motion
    // before its first sample is due does not stand until then.
    const std::int64_t overdue = static_cast<std::int64_t>(tickCounter.load()) - ac.samples.front().dueTick;
    if (overdue > 0 || !ac.samples.front().stationary)
        shiftSamples(ac, 0, static_cast<std::int32_t>(std::clamp<std::int64_t>(overdue, -(1 << 24), 1 << 24)));
}

void activateAc(LiveAc& ac)
{
    if (ac.simState == SimState::adding2sim) startCreatedAc(ac);
    if (ac.simState != SimState::active) return;
    const bool rotor = ac.category == AcCategory::Rotorcraft;
    if (ac.samples.front().airborne) {
        queueAcEvent(ac, EVENT_ENGINE_AUTO_START, 0);
        if (!rotor) queueAcEvent(ac, EVENT_SPOILERS_SET, 0);
        // Lights the flight set since the object came (below or above 10000 ft) stay.
        const std::uint32_t low = ac.posBlock.altitude <= 10000 ? 1 : 0;
        if (!ac.lowAltLights && !ac.highAltLights)
            setAcLights(ac.objectId, {1, 1, low, 0, 1, low, ac.heightAboveGround >= 2000 ? 1u : 0u});
    } else {
        // A take-off roll or a touchdown since the object came (it moves from
        // then on) has set its own spoilers, lights, throttle and flaps.
        const bool rolling = ac.takeOffRoll || ac.rollingOut;
        if (!rotor && !rolling) queueAcEvent(ac, EVENT_SPOILERS_SET, 0);
        const bool parked = ac.phase == AcPhase::parked;
        queueAcEvent(ac, parked ? EVENT_ENGINE_AUTO_SHUTDOWN : EVENT_ENGINE_AUTO_START, 0);
        if (rolling) return;
        const std::uint32_t nav = parked ? (NAV_LIGHTS_WHILE_PARKED.get() ? 1 : 0) : 1;
        setAcLights(ac.objectId, {nav, parked ? 0u : 1u, 0, ac.phase == AcPhase::taxi ? 1u : 0u, 0, 1, 1});
        setThrottle(ac, rotor ? 4 : 0);
        gf_setFlaps(ac, ac.phase == AcPhase::taxi ? 1 : 0);
    }
}

void resetRemovedAc(std::uint32_t objectId)
{
    if (LiveAc* ac = lf_liveByObject(objectId)) {
        // The plan goes with its object, also when the record stays for a new object.
        if (ac->flightPlanSent) {
            requestFlightPlanRemoval(objectId, ac->aircraftId);
            ac->flightPlanSent = false;
        }
        if (ac->simState == SimState::liveryrespawn) {
            ac->simState = SimState::buffer;
            ac->throttleStep = 5;
            ac->flapsIndex = 4;
            ac->objectId = 0;
            return;
        }
        lf_eraseLive(*ac);
        return;
    }
    if (objectId == 0) return;
    for (SimAc& st : staticAircraft) {
        if (st.objectId == objectId) {
            lf_eraseStatic(st);
            return;
        }
    }
}

void lf_removeWhileBlocked(std::uint32_t aircraftId)
{
    LiveAc* ac = lf_liveById(aircraftId);
    if (!ac) return;
    switch (ac->simState) {
    case SimState::buffer:
        logLine(vr::format("{} will be removed from buffer while blocked", acDescription(*ac)));
        ac->removedInBuffer = true;
        break;
    case SimState::adding2sim:
    case SimState::active:
        logLine(vr::format("{} removed from simulator immediately while blocked", acDescription(*ac)));
        removeAircraftFromSim(*ac);
        break;
    default: break;
    }
}

void setAcFlightPlan(LiveAc& ac)
{
    if (ac.origin.empty() || ac.destination.empty()) return;
    requestFlightPlanFile(ac.objectId, ac.aircraftId, ac);
    sendWrittenFlightPlans();  // without a writer thread the plan is written already
}

void sendWrittenFlightPlans()
{
    takeWrittenFlightPlans(lf_written);
    for (const WrittenFlightPlan& w : lf_written) {
        LiveAc* ac = lf_liveByObject(w.objectId);
        // The object may have gone (or be on its way out) while its file was written.
        if (!ac || ac->aircraftId != w.aircraftId || ac->simState == SimState::removingfromsim) {
            if (w.written) requestFlightPlanRemoval(w.objectId, w.aircraftId);
            continue;
        }
        bool ok = w.written;
        if (ok) {
            const std::string path = (flightPlanFolder() / gf_flightPlanFileName(w.objectId)).string();
            std::lock_guard lock(simQueueMutex);
            ok = simApi().aiSetAircraftFlightPlan(w.objectId, path.c_str(), REQUEST_FLIGHT_PLAN) == scOk;
        }
        if (!ok) {
            logLineMarked(vr::format("{} creating a flight plan failed", acDescription3(*ac)));
            // Only a plan that was sent is deleted with its object: one not sent goes now.
            if (w.written) requestFlightPlanRemoval(w.objectId, w.aircraftId);
        }
        ac->flightPlanSent = ok;
    }
    lf_written.clear();
}

void lf_parks(LiveAc& ac)
{
    ac.groundReplySeen = true;
    ac.altStep = 0;
    if (ac.phase != AcPhase::parked) return;
    if (LOG.get()) logLine(vr::format("{:8}: {:8} parks", sidName(ac.standId), ac.callsign));
    if (ac.standId != 0) {
        // The static parking's planned positions at this stand go: a live aircraft holds it.
        std::erase_if(parkingSelections, [&ac](const ParkingSelection& p) { return p.standId == ac.standId; });
        for (SimAc& st : staticAircraft) {
            if (st.standId != ac.standId || st.simState != SimState::active) continue;
            logLine(vr::format("{:8}: {:8} parks over static {} — static will be removed", sidName(ac.standId),
                               ac.callsign, st.callsign));
            removeAircraftFromSim(st);
        }
    }
    ac.countdown = 1;
}

void lf_onGroundSlots(LiveAc& ac)
{
    ac.rollingOut = true;
    ac.touchdownPitch = true;
    fastRangeRequest = false;
    ac.touchdownHeading = ac.posBlock.heading;
    ac.landing = false;
    ac.justLanded = true;
    if (ac.category != AcCategory::Rotorcraft) queueAcEvent(ac, EVENT_SPOILERS_SET, 16383);
    if (ac.category != AcCategory::Light) {
        const double lever = ac.fsltlModel ? -100.0 : 100.0;
        setEngineValues(ac, 100.0, lever);
    }
    const std::uint32_t n = ac.touchdownTicks;
    if (n == 0) {
        logLine(vr::format("{} ! onGround slots {:.1f}", ac.callsign, static_cast<double>(n)));
        ac.pitchStep = ac.staticPitch;
        ac.bankStep = 0;
    } else {
        ac.pitchStep = (ac.staticPitch - ac.posBlock.pitch) / n;
        ac.bankStep = -ac.posBlock.bank / n;
    }
    IdentityCheckQueue.push_back(ac.aircraftId);
}
