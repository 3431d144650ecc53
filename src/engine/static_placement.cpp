#include "engine/static_placement.h"

#include <algorithm>

#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "engine/ac_records.h"
#include "engine/slot_records.h"
#include "engine/timed_queues.h"
#include "traffic_service/parked_record.h"

std::uint32_t staticIdCounter = 0;

namespace {

bool lf_onOrNextTo(const Stand& stand, std::uint32_t standId)
{
    return standId != 0 && (standId == stand.sid || std::find(stand.conflictingStands.begin(),
                                                              stand.conflictingStands.end(),
                                                              standId) != stand.conflictingStands.end());
}

bool lf_onOrNextTo(const ParkingSelection& p, const Stand* stand, std::uint32_t standId)
{
    if (standId == 0) return false;
    if (standId == p.standId) return true;
    return stand != nullptr && lf_onOrNextTo(*stand, standId);
}

// A live aircraft parked or parking on the stand or a neighbour blocks it.
bool lf_blockedByLive(const ParkingSelection& p, const Stand* stand, const std::string& standName)
{
    for (const LiveAc& live : liveAircraft) {
        if (live.phase != AcPhase::parked && live.phase != AcPhase::parking) continue;
        if (!lf_onOrNextTo(p, stand, live.standId)) continue;
        if (LOG.get()) {
            if (live.standId == p.standId)
                logLine(vr::format("{:8}: no static parking for {}, live aircraft {} standing here", standName,
                                   p.flightA, live.callsign));
            else
                logLine(vr::format("{:8}: no static parking for {}, live aircraft {} is adjacent at {}, possibly "
                                   "colliding",
                                   standName, p.flightA, live.callsign, sidName(live.standId)));
        }
        return true;
    }
    return false;
}

// A static aircraft in any state on the stand or a neighbour blocks it.
bool lf_blockedByStatic(const ParkingSelection& p, const Stand* stand, const std::string& standName)
{
    for (const SimAc& st : staticAircraft) {
        if (!lf_onOrNextTo(p, stand, st.standId)) continue;
        if (LOG.get())
            logLine(vr::format("{:8}: no static parking for {}, static aircraft {} is adjacent at {}, possibly "
                               "colliding",
                               standName, p.flightA, st.callsign, sidName(st.standId)));
        return true;
    }
    return false;
}

}  // namespace

std::string lf_staticCallsign(std::string callsign)
{
    while (!callsign.empty() && callsign.back() == '_') callsign.pop_back();
    if (!callsign.empty() && callsign.back() == '*') return callsign;
    return callsign + "*";
}

std::string lf_detcs(const ParkingSelection& p)
{
    std::string c = p.preferA ? p.flightA : p.flightB;
    if (c.empty()) c = p.preferA ? p.flightB : p.flightA;
    if (c.empty()) {
        logLineMarked(vr::format("{} callsign is empty..", "lf_detcs"));
        return {};
    }
    return lf_staticCallsign(std::move(c));
}

void placeStaticAircraft()
{
    if (parkingSelections.empty() || stands.empty()) return;
    const ParkingSelection p = std::move(parkingSelections.back());
    parkingSelections.pop_back();

    const Stand* stand = findStandById(p.standId);
    const std::string standName = sidName(p.standId);
    if (lf_blockedByLive(p, stand, standName) || lf_blockedByStatic(p, stand, standName)) return;
    if (stand == nullptr) {
        logLineMarked(vr::format("stand with id {} not found", standName));
        return;
    }

    const std::uint32_t id = (staticIdCounter + 1) % 10000;
    staticIdCounter = id;

    // A flight of nothing but "_" leaves the bare "*", which several statics would
    // share (the simulator's objects are tied to their records by it): it counts
    // as no flight, as an empty one does.
    std::string callsign = p.flightA.empty() ? std::string() : lf_detcs(p);
    if (callsign.empty() || callsign == "*") callsign = vr::format("{}{}{}", p.airline, "*", id);

    ParkedTrafficRecord record;
    record.airline = p.airline;
    record.type = p.type;
    record.callsign = callsign;
    record.coupledCs = p.flightA;
    record.coupledCs2 = p.flightB;
    record.registration = p.registration;
    AcIdentity identity = acIdentityFromTraffic(record);
    identity.aircraftId = id;

    const LatLon at{stand->latitude, stand->longitude};
    const double heading = stand->heading;
    const bool standCargo = stand->cargo;
    SimAc st;
    initStaticAc(st, identity, stand->sid, at, heading, standCargo);

    const std::optional<LiveryMatch> match = gf_matchStaticAcLivery(liveryRequest(st), standCargo, stand->name);
    if (!match || match->title.empty()) return;  // the match logs its own "no livery" line
    st.liveryTitle = match->title;
    st.fsltlModel = match->fsltlModel;  // as a live aircraft's
    st.source = p.kind;
    st.linkedAircraftId = p.aircraftId;

    const std::uint64_t now = currentSlotAndWeekday.load();
    std::int64_t day = weekdayOfPacked(now);
    std::int64_t slot = static_cast<std::int64_t>(slotOfPacked(now)) - p.window;
    while (slot < 0) {  // the age is at most 48: one day back is enough, a loop is safe for any
        slot += 48;
        day = day - 1 < 1 ? 7 : day - 1;
    }
    st.birthDay = static_cast<std::uint32_t>(day);
    st.birthSlot = static_cast<std::uint32_t>(slot);
    st.simState = SimState::adding2sim;

    AcCreation creation;
    creation.initPosition.Latitude = at.lat;
    creation.initPosition.Longitude = at.lon;
    creation.initPosition.Altitude = 0.0;
    creation.initPosition.Pitch = 0.0;
    creation.initPosition.Bank = 0.0;
    creation.initPosition.Heading = heading * kRadToDeg;
    creation.initPosition.OnGround = 1;
    creation.initPosition.Airspeed = 0;
    creation.callsign = st.callsign;
    creation.liveryTitle = std::string(st.liveryTitle);
    creation.aircraftId = id;
    if (!creationFits(creation)) {
        logLineMarked(vr::format("{:8}: static {} not created: its callsign or livery title is too long", standName,
                                 creation.callsign));
        return;
    }
    staticAircraft.push_back(std::move(st));
    lf_pushCreation(staticCreationQueue, creation);
}
