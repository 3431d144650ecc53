#include "airports/static_parking.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <utility>

#include "airports/park_airports.h"
#include "core/app_services.h"
#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/options.h"
#include "core/random.h"
#include "core/run_state.h"
#include "core/time.h"
#include "core/utils.h"
#include "engine/ac_records.h"
#include "engine/ghosts.h"
#include "engine/slot_records.h"
#include "engine/stand_search.h"
#include "platform/clock.h"
#include "simlink/user_aircraft.h"
#include "traffic_service/traffic_reader.h"

std::vector<StaticRemoval>& staticRemovals = *new std::vector<StaticRemoval>;
std::vector<KeptStatic>& keptStatics = *new std::vector<KeptStatic>;
std::vector<ParkedTrafficRecord>& parkedTrafficRecords = *new std::vector<ParkedTrafficRecord>;
std::int32_t realPassWindow = 0;
std::int32_t softPassWindow = -1;

namespace {

ParkedTrafficSource& lf_source = *new ParkedTrafficSource;
std::optional<ParkedRequest>& lf_askedAhead = *new std::optional<ParkedRequest>;

bool lf_readFromService(std::vector<ParkedTrafficRecord>& records)
{
    const std::optional<ParkedRequest> ahead = std::exchange(lf_askedAhead, std::nullopt);
    if (!(ahead ? readParkedTraffic(trafficReader(), *ahead) : readParkedTraffic())) return false;
    records = trafficReader().parkedRecords;
    return true;
}

std::string lf_cutAt(const std::string& text, char c)
{
    const std::size_t p = text.find(c);
    return p == std::string::npos ? text : text.substr(0, p);
}

std::size_t lf_assignedCount()
{
    return static_cast<std::size_t>(std::count_if(stands.begin(), stands.end(), [](const Stand& s) { return s.assigned; }));
}

// A selection stands on a neighbour of the stand closer than the two half wingspans.
bool lf_selectionTooClose(const Stand& stand, const std::string& type)
{
    const double span = gf_halfWingspan(type);
    for (const ParkingSelection& p : parkingSelections) {
        if (std::find(stand.conflictingStands.begin(), stand.conflictingStands.end(), p.standId) ==
            stand.conflictingStands.end())
            continue;
        const Stand* other = findStandById(p.standId);
        if (other == nullptr) continue;
        const double d = distanceNm({stand.latitude, stand.longitude}, {other->latitude, other->longitude});
        if (d < span + gf_halfWingspan(p.type)) return true;
    }
    return false;
}

}  // namespace

void setParkedTrafficSource(ParkedTrafficSource source) { lf_source = std::move(source); }

bool askParkedTrafficAhead()
{
    if (lf_source) return false;
    lf_askedAhead = requestParkedTraffic(trafficReader());
    return true;
}

bool parkedTrafficAheadReady()
{
    if (!lf_askedAhead) return false;
    return trafficReader().parkedAnswerIn(lf_askedAhead->id) ||
           platform::steadyNow() - lf_askedAhead->start > std::chrono::seconds(10);
}

void forgetParkedTrafficAhead() { lf_askedAhead.reset(); }

bool lf_readParkedTrafficRecords(std::vector<ParkedTrafficRecord>& records)
{
    try {
        records.clear();
        return lf_source ? lf_source(records) : lf_readFromService(records);
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{}: {}", "readParkedTraffic", e.what()));
        records.clear();
        return false;
    }
}

std::string weekdayName(std::int64_t weekday)
{
    static constexpr const char* names[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    if (weekday < 1 || weekday > 7) return "???";
    return names[weekday - 1];
}

std::string slotHoursText(std::int64_t n) { return gf_numberToText(static_cast<float>(n) * 0.5f + 0.5f); }

std::uint64_t logDayAndHour()
{
    const std::uint64_t now = currentSlotAndWeekday.load();
    const std::uint32_t day = weekdayOfPacked(now);
    const std::uint32_t slot = slotOfPacked(now);
    logLine(vr::format("\n{} (utc) It is day {} ({}), {} hours", logTimePrefix(), day, weekdayName(day),
                       slotHoursText(slot)));
    return now;
}

void refreshUsedNames()
{
    CollectedTraffic collected = trafficReader().takeCollectedTraffic();
    usedNames.clear();
    usedIds.clear();
    for (const auto& [name, id] : collected.byCallsign) {
        if (!name.empty()) usedNames.insert(name);
        usedIds.insert(id);
    }
    for (const auto& [id, name] : collected.byAircraftId) {
        usedIds.insert(id);
        if (!name.empty()) usedNames.insert(name);
    }
}

void markStandAssigned(Stand& stand)
{
    stand.assigned = true;
    for (std::uint32_t n : stand.conflictingStands)
        if (Stand* neighbour = findStandById(n)) neighbour->neighbourTaken = true;
}

void clearStandMarks(bool renumber)
{
    for (const Stand& cs : stands) {
        Stand* s = findStandById(cs.sid);
        if (s == nullptr) continue;
        s->assigned = false;
        s->reserved = false;
        s->neighbourTaken = false;
        if (!renumber) continue;
        std::uint32_t index = 1;
        for (SlotRecord& r : s->options) r.optionIndex = index++;
    }
}

void markReservedStands()
{
    const std::string reserved = reservedStand();
    if (!reserved.empty())
        if (Stand* s = findStandByName(reserved)) s->reserved = true;
    const UserAcState user = userAcSnapshot();
    const std::string userStand = nearestStandAirport({user.latitude, user.longitude});
    if (!userStand.empty() && userStand != reserved)
        if (Stand* s = findStandByName(userStand)) s->reserved = true;
}

bool ptMatchesLive(const ParkedTrafficRecord& record, const LiveAc& live)
{
    if (live.aircraftId == record.aircraftId) return true;
    if (!record.callsign.empty() &&
        (live.callsign == record.callsign || live.callsign == lf_cutAt(record.callsign, '_')))
        return true;
    return !record.registration.empty() && !live.registration.empty() && record.registration == live.registration;
}

void placeParkedTraffic()
{
    const std::int64_t wanted = lf_updateStandCount();
    const bool ptOnly = RT_PARKTRAFFIC_ONLY.get();
    if (wanted == 0 && !ptOnly) return;
    const std::uint64_t now = currentSlotAndWeekday.load();
    for (const ParkedTrafficRecord& source : parkedTrafficRecords) {
        if (!ptOnly && static_cast<std::int64_t>(parkingSelections.size()) >= wanted) break;
        ParkedTrafficRecord record = source;
        if (record.callsign.empty() || usedIds.count(record.aircraftId) != 0 || usedNames.count(record.callsign) != 0 ||
            usedNames.count(lf_cutAt(record.callsign, '_')) != 0)
            continue;
        if (std::any_of(liveAircraft.begin(), liveAircraft.end(),
                        [&](const LiveAc& live) { return ptMatchesLive(record, live); }))
            continue;
        bool cargo = false;
        if (!record.registration.empty())
            if (const auto db = gf_findDbaseRecord(record.registration)) cargo = db->cargo;
        if (record.airline.empty()) record.airline = "PVT";
        AcIdentity identity = acIdentityFromTraffic(record);
        identity.cargo = cargo;
        identity.aircraftId = record.aircraftId;
        Stand* stand = findFreeStandNear({record.lat, record.lon}, identity, nm55m, true);
        if (stand == nullptr) {
            logLineIndented(vr::format("[{:10}: {:8x} {:8} {:12}, hh:{} ===> no stand for PT {}", record.stand,
                                       record.aircraftId, identity.callsign, identity.registration, record.slot,
                                       vr::format("{:.6f},{:.6f}", record.lat, record.lon)));
            continue;
        }
        if (stand->reserved || stand->assigned) continue;
        if (stand->neighbourTaken && lf_selectionTooClose(*stand, record.type)) continue;
        bool kept = false;
        for (SimAc& st : staticAircraft) {
            if (st.standId != stand->sid || st.simState != SimState::active || st.source != 0) continue;
            if (lf_cutAt(st.callsign, '*') == lf_cutAt(record.callsign, '*')) continue;
            if (const std::int32_t age = weekAge(st.birthDay, st.birthSlot, now); age < record.slot) {
                parkingSelections.push_back(ParkingSelection{st.linkedAircraftId, 0, stand->sid, age, st.airline,
                                                             st.type, st.coupledCs, st.coupledCs2, st.registration,
                                                             true});
                kept = true;
            } else {
                staticRemovals.push_back({st.callsign, st.standId});
            }
            break;
        }
        if (kept) {
            markStandAssigned(*stand);
            continue;
        }
        parkingSelections.push_back(ParkingSelection{record.aircraftId, 0, stand->sid, record.slot, record.airline,
                                                     record.type, record.callsign, {}, record.registration, true});
        markStandAssigned(*stand);
    }
}

bool fitParkedPositions(std::uint64_t weekdayAndSlot, bool real, std::int64_t wanted,
                        std::vector<ParkingSelection>& candidates)
{
    if (wanted == 0) return true;
    const std::size_t c0 = lf_assignedCount();
    const std::int32_t maxFit = std::clamp(MAX_FIT.get(), 0, 47);
    bool result = false;
    std::int32_t w = 0;
    for (;; ++w) {
        lf_searchStands(weekdayAndSlot, real ? 1 : 0, w, candidates);
        if (static_cast<std::int64_t>(lf_assignedCount()) >= wanted) {
            result = true;
            break;
        }
        for (ParkingSelection& c : candidates) parkingSelections.push_back(std::move(c));
        candidates.clear();
        if (w >= maxFit) break;
    }
    if (real) {
        realPassWindow = w;
        softPassWindow = -1;
    } else {
        softPassWindow = w;
    }
    StatusPanel& panel = statusPanel();
    panel.realFitWindow = realPassWindow;
    panel.softFitWindow = softPassWindow;
    const std::size_t found = lf_assignedCount() - std::min(c0, lf_assignedCount());
    if (found > 0) {
        const std::uint32_t day = weekdayOfPacked(weekdayAndSlot);
        const std::uint32_t slot = slotOfPacked(weekdayAndSlot);
        logLine(vr::format("{} {} position{} found, Max fit={} hours{}{}", real ? "real" : "soft", found,
                           gf_pluralSuffix(found), slotHoursText(maxFit),
                           WEEK.get() ? std::string(", week") : vr::format(", day {}", day),
                           vr::format(", hh:{} or {} hrs, fit: {} hour", slot, slotHoursText(slot), slotHoursText(w))));
    }
    panel.softPositionsUsed = !real && found > 0;
    repaintStatusPanel();
    return result;
}

void gatherParkedPositions(std::uint64_t weekdayAndSlot, std::int64_t wanted, std::int64_t extra, bool real)
{
    std::vector<ParkingSelection> candidates;
    candidates.reserve(512);
    if (fitParkedPositions(weekdayAndSlot, real, wanted, candidates)) {
        std::shuffle(candidates.begin(), candidates.end(), tlRandomEngine());
        const std::int64_t surplus = static_cast<std::int64_t>(parkingSelections.size()) - wanted + extra;
        if (surplus > 0 && surplus <= static_cast<std::int64_t>(candidates.size()))
            candidates.resize(candidates.size() - static_cast<std::size_t>(surplus));
        for (ParkingSelection& c : candidates) parkingSelections.push_back(std::move(c));
    }
    const std::int64_t surplus = static_cast<std::int64_t>(parkingSelections.size()) - wanted + extra;
    if (surplus > 0 && surplus <= static_cast<std::int64_t>(parkingSelections.size()))
        parkingSelections.resize(parkingSelections.size() - static_cast<std::size_t>(surplus));
}

void gatherParkedPositionsTwice(std::uint64_t weekdayAndSlot, std::int64_t wanted, std::int64_t extra)
{
    realPassWindow = 0;
    softPassWindow = -1;
    gatherParkedPositions(weekdayAndSlot, wanted, extra, true);
    if (static_cast<std::int64_t>(parkingSelections.size()) + extra < wanted && (PARK_SOFT.get() || PARK_FAKE.get()))
        gatherParkedPositions(weekdayAndSlot, wanted, extra, false);
}

namespace {

void lf_sortLargestWindowFirst()
{
    std::stable_sort(parkingSelections.begin(), parkingSelections.end(),
                     [](const ParkingSelection& a, const ParkingSelection& b) { return a.window > b.window; });
}

}  // namespace

void calculateStaticParking()
{
    const std::uint64_t now = logDayAndHour();
    showMessage("Making changes to airport parking parameters is disabled while static parking takes place ...",
                false);
    parkingSelections.clear();
    keptStatics.clear();
    liveParkedList.clear();
    StatusPanel& panel = statusPanel();
    panel.averageStaticAgeHours = -1.0f;
    panel.meanLiveParkedSlots = -1.0f;
    panel.softPositionsUsed = false;
    repaintStatusPanel();

    refreshUsedNames();
    clearStandMarks(false);
    markReservedStands();
    appServices().refreshParkingControls();

    const bool ptOnly = RT_PARKTRAFFIC_ONLY.get();
    if (MAX_PARK_SEL.get() >= 1 && lf_readParkedTrafficRecords(parkedTrafficRecords)) placeParkedTraffic();
    if (!ptOnly)
        logLine(vr::format("{} parking position{} from PT", parkingSelections.size(),
                           gf_pluralSuffix(parkingSelections.size())));

    if (!ptOnly) {
        const std::int64_t wanted = lf_updateStandCount();
        if (wanted > static_cast<std::int64_t>(parkingSelections.size()))
            gatherParkedPositionsTwice(now, wanted, 0);
        std::stable_sort(parkingSelections.begin(), parkingSelections.end(),
                         [](const ParkingSelection& a, const ParkingSelection& b) { return a.window < b.window; });
        if (static_cast<std::int64_t>(parkingSelections.size()) > wanted)
            parkingSelections.resize(static_cast<std::size_t>(std::max<std::int64_t>(wanted, 0)));
    }

    const std::size_t count = parkingSelections.size();
    if (count == 0) {
        logLine("no parking positions found");
        enableMainControls();
        return;
    }
    if (ptOnly) {
        logLine(vr::format("{} positions from RT parktraffic only\n", count));
    } else {
        const int percentage = gf_round(static_cast<std::int64_t>(count), static_cast<std::int64_t>(stands.size()));
        logLine(vr::format("{} positions ({}% vs wanted {}%, with Max fit={} hours)\n", count, percentage,
                           parking_percentage.get(), slotHoursText(std::clamp(MAX_FIT.get(), 0, 47))));
    }
    lf_sortLargestWindowFirst();
    disableMainControls();
}

bool isStaticNamedAc(const StandUser& ac)
{
    return std::any_of(staticAircraft.begin(), staticAircraft.end(), [&](const SimAc& st) {
        return (!ac.callsign.empty() && (st.coupledCs == ac.callsign || st.coupledCs2 == ac.callsign)) ||
               (!ac.registration.empty() && st.registration == ac.registration);
    });
}

bool isParkedTrafficNamedAc(const StandUser& ac)
{
    return std::any_of(parkingSelections.begin(), parkingSelections.end(), [&](const ParkingSelection& p) {
        return (!ac.callsign.empty() && (p.flightA == ac.callsign || p.flightB == ac.callsign)) ||
               (!ac.registration.empty() && p.registration == ac.registration);
    });
}

void removeStaticsNearLiveStep()
{
    if (!COLLISION_LIVE_PARKED_GND.get() || staticAircraft.empty()) return;
    for (LiveAc& live : liveAircraft) {
        if (!live.groundReplySeen || live.simState != SimState::active) continue;
        if (live.phase != AcPhase::taxi && live.phase != AcPhase::parking) continue;
        if (std::fabs(live.posBlock.latitude - live.collisionTestPosition.lat) < 1e-8 &&
            std::fabs(live.posBlock.longitude - live.collisionTestPosition.lon) < 1e-8)
            continue;
        removeStaticsNearLive(live);
    }
}
