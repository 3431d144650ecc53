#include "engine/respawn.h"

#include "core/airport_services.h"
#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/options.h"
#include "engine/ac_records.h"
#include "engine/ghosts.h"
#include "engine/livery_respawn.h"
#include "engine/spawn.h"
#include "traffic_service/traffic_record.h"

namespace {

// Set by lf_resetLivery while respawnAc runs (worker only): the aircraft is to
// wear another livery when it is created again.
bool lf_reliveried = false;

void lf_take(std::string& field, const std::string& value)
{
    if (!value.empty() && value != field) field = value;
}

bool lf_pairDiffers(const DbaseRecord& db, const LiveAc& ac) { return db.airline != ac.airline || db.type != ac.type; }

void lf_takeDbaseIdentity(LiveAc& ac, const DbaseRecord& db)
{
    ac.airline = db.op.empty() ? db.airline : db.op;
    ac.type = db.type;
}

}  // namespace

void lf_mergeRoute(LiveAc& ac, const TrafficRecord& record)
{
    lf_take(ac.destination, record.destination);
    lf_take(ac.origin, record.origin);
}

void lf_mergeBufferedIdentity(LiveAc& ac, const TrafficRecord& record)
{
    lf_mergeRoute(ac, record);
    lf_take(ac.callsign, record.callsign);
    lf_take(ac.registration, record.registration);
}

bool lf_mergeActiveRoute(LiveAc& ac, const TrafficRecord& record)
{
    bool filled = false;
    if (ac.destination.empty() && !record.destination.empty()) {
        ac.destination = record.destination;
        filled = true;
    }
    if (ac.origin.empty() && !record.origin.empty()) {
        ac.origin = record.origin;
        filled = true;
    }
    const bool allSet =
        !ac.origin.empty() && !ac.destination.empty() && !record.origin.empty() && !record.destination.empty();
    if (!allSet || record.origin == ac.origin || record.destination == ac.destination) return !filled;
    // Flying back to the park airport it came from: keep the route (and the livery).
    if (ac.origin == airportServices().parkAirport().iata && record.destination == ac.origin) return !filled;
    ac.origin = record.origin;
    ac.destination = record.destination;
    if (ac.groundReplySeen && ac.phase != AcPhase::parked && ac.phase != AcPhase::parking) {
        setAcPhase(ac, AcPhase::taxi);
        ac.targetBearing = ac.posBlock.heading;
    }
    return false;
}

bool lf_mergeRegistration(LiveAc& ac, const TrafficRecord& record)
{
    if (record.registration.empty()) return true;
    bool unchanged = true;
    if (!ac.registration.empty() && !(ac.callsign == ac.registration && record.registration != ac.registration)) {
        if (ac.registration != record.registration && lf_reliveryByDbase(ac, record)) unchanged = false;
    } else {
        unchanged = !lf_reliveryByRegcode(ac, record);
    }
    ac.registration = record.registration;
    return unchanged;
}

bool lf_reliveryByRegcode(LiveAc& ac, const TrafficRecord& record)
{
    if (const auto title = liveryServices().regcodeTitle(record.registration)) {
        if (*title == ac.liveryTitle) return false;
        if (const auto db = gf_findDbaseRecord(record.registration)) {
            ac.airline = db->airline;
            ac.type = db->type;
        }
        lf_resetLivery(ac);
        return true;
    }
    if (record.registration == ac.registration) return false;
    const auto db = gf_findDbaseRecord(record.registration);
    if (!db || !lf_pairDiffers(*db, ac)) return false;
    if (!db->op.empty() && db->op == ac.airline) return false;
    lf_takeDbaseIdentity(ac, *db);
    lf_resetLivery(ac);
    return true;
}

bool lf_reliveryByDbase(LiveAc& ac, const TrafficRecord& record)
{
    const auto db = gf_findDbaseRecord(record.registration);
    if (!db || !lf_pairDiffers(*db, ac)) return false;
    if (!db->op.empty() && db->op == ac.airline) return false;
    const auto code = airlineFromCallsign(record.callsign);
    if (!code) return false;
    if (*code != db->airline && (db->op.empty() || *code != db->op)) return false;
    lf_takeDbaseIdentity(ac, *db);
    lf_resetLivery(ac);
    return true;
}

void lf_resetLivery(LiveAc& ac)
{
    liveryServices().forgetTitle(ac.aircraftId);
    lf_reliveried = true;
}

bool respawnAc(LiveAc& ac, const TrafficRecord& record)
{
    if (ac.landing || ac.takeOffRoll) return true;
    if (ac.simState == SimState::buffer) {
        lf_mergeBufferedIdentity(ac, record);
        return true;
    }
    if (ac.simState != SimState::active || ac.phase == AcPhase::pushing_back || ac.parkProgress >= 1) return true;
    lf_reliveried = false;
    const bool unchanged = lf_mergeActiveRoute(ac, record) && lf_mergeRegistration(ac, record);
    const std::string& callsign = record.callsign;
    if (callsign.empty() || callsign == ac.callsign || callsign == ac.registration) {
        if (unchanged) return true;
    } else {
        if (callsign.back() == '_') {
            if (lf_ghostBaseExists(callsign)) return false;
        } else {
            removeGhost(callsign);
        }
        ac.callsign = callsign;
        ac.coupledCs = callsign;
        ac.coupledCs2.clear();
    }
    if (!GUID_CHANGES.get()) return true;
    if (LOG.get())
        logLine(vr::format("          {} respawns", vr::format("{} {:8} {}", acRouteText(ac), ac.callsign,
                                                                 ac.registration)));
    liveryRespawn(ac);
    if (lf_reliveried && ac.simState == SimState::liveryrespawn) {
        // The object goes and comes back: matched again from scratch then. An
        // aircraft that stays keeps its phase and title.
        ac.liveryTitle = {};
        setAcPhase(ac, AcPhase::birth);
    }
    return false;
}
