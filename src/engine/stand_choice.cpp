#include "engine/stand_choice.h"

#include <algorithm>

#include "core/airport_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "engine/ac_records.h"
#include "engine/ghosts.h"
#include "engine/motion.h"
#include "engine/slot_records.h"
#include "engine/stand_search.h"
#include "simlink/user_aircraft.h"

namespace {

constexpr double nearParkAirportNm = 5.0;

LatLon lf_sampleAt(const PositionSample& s)
{
    return {s.latitude, s.longitude};
}

// The park airport when one is set.
std::optional<LatLon> lf_parkAirportPosition()
{
    const ParkAirportInfo park = airportServices().parkAirport();
    if (park.code.empty()) return std::nullopt;
    return LatLon{park.lat, park.lon};
}

bool lf_isUsersOrReserved(const std::string& standName)
{
    const std::string reserved = airportServices().reservedStandName();
    if (!reserved.empty() && reserved == standName) return true;
    const UserAcState user = userAcSnapshot();
    const std::string userStand = nearestStandAirport({user.latitude, user.longitude});
    return !userStand.empty() && userStand == standName;
}

}  // namespace

std::optional<Stand> lf_chooseStand(LiveAc& ac)
{
    if (ac.samples.size() < 2 || !airportServices().standsLoaded()) return std::nullopt;
    const auto park = lf_parkAirportPosition();
    PositionSample& s0 = ac.samples.front();
    if (!park || distanceNm(lf_sampleAt(s0), *park) > nearParkAirportNm) return std::nullopt;
    LatLon place = lf_sampleAt(s0);
    if (!s0.stationary) {
        const PositionSample& last = ac.samples.back();
        if (ac.samples[1].groundSpeed > 5.0 || distanceNm(lf_sampleAt(last), lf_sampleAt(s0)) > nm35m)
            return std::nullopt;
        place = lf_sampleAt(last);
    }
    const Stand* found = findFreeStandNear(place, ac, nm55m, s0.stationary);
    if (found == nullptr) return std::nullopt;
    // Refused for the user aircraft: no removal, the aircraft taxis.
    if (lf_isUsersOrReserved(found->name)) {
        if (LOG.get()) logLine(vr::format("{:8}: {:8} kept for the user aircraft, {} taxis", found->name, "", ac.callsign));
        return std::nullopt;
    }
    Stand chosen = *found;
    if (!lf_freeStandForNewcomer(chosen.sid, ac.callsign) ||
        lf_liveIdsNear(chosen.conflictingStands, chosen, ac) != chosen.conflictingStands.size()) {
        // Found but held: this aircraft is not created.
        if (LOG.get()) logLine(vr::format("{:8}: {:8} stand held, not created", chosen.name, ac.callsign));
        ac.removedInBuffer = true;
        return std::nullopt;
    }
    lf_makeWay(ac, chosen);
    if (!s0.stationary) {
        s0.stationary = true;
        s0.groundSpeed = 0.0;
    }
    return chosen;
}

bool lf_recordKnownStandUse(LiveAc& ac, std::uint64_t weekdayAndSlot, bool departing)
{
    const std::uint32_t weekday = weekdayOfPacked(weekdayAndSlot);
    const std::uint32_t slot = slotOfPacked(weekdayAndSlot);
    const auto known = std::find_if(stands.begin(), stands.end(), [&](const Stand& s) {
        const auto it = s.seenSoft.find(ac.aircraftId);
        return it != s.seenSoft.end() && (it->second.weekday != weekday || it->second.halfHour != slot);
    });
    if (known == stands.end() || known->sid < 1) return false;
    if (!addStandOptionPT(known->sid, standUserOf(ac), true, weekdayAndSlot, !departing)) return false;
    lf_markIdInSlot(weekdayAndSlot, ac.aircraftId, true);
    return true;
}

void lf_learnStandUse(LiveAc& ac, bool departing)
{
    if (!LEARN_SOFT.get() || !airportServices().softLearningAllowed()) return;
    const auto park = lf_parkAirportPosition();
    if (!park || distanceNm({ac.posBlock.latitude, ac.posBlock.longitude}, *park) > nearParkAirportNm) return;
    if (!departing && ac.heightAboveGround >= 2500.0) return;
    if (ac.standId != 0) return;
    const std::uint64_t now = currentSlotAndWeekday.load();
    if (lf_recordKnownStandUse(ac, now, departing)) return;
    if (!lf_markIdInSlot(now, ac.aircraftId, false)) return;  // handled within the last 3 half hours
    const std::uint32_t weekday = weekdayOfPacked(now);
    const std::uint32_t slot = slotOfPacked(now);
    for (const Stand& s : stands) {
        for (const SlotRecord& r : s.options) {
            if (slotMatches(weekday, slot, ac.registration, r)) return;
        }
    }
    const Stand* stand = lf_findStandForSlot(now, ac, true);
    if (stand == nullptr) return;
    if (addStandOptionPT(stand->sid, standUserOf(ac), false, now, !departing)) return;
    // Not recorded: the mark set above goes again.
    std::erase_if(slotMarks, [&](const SlotMark& m) { return m.aircraftId == ac.aircraftId; });
}
