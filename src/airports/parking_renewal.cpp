#include "airports/parking_renewal.h"

#include <algorithm>

#include "airports/airport_load.h"
#include "airports/park_airports.h"
#include "airports/stand_file.h"
#include "airports/stand_learning.h"
#include "airports/static_parking.h"
#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "core/utils.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/ghosts.h"
#include "engine/live_parking.h"
#include "engine/slot_records.h"
#include "engine/stand.h"
#include "engine/stand_search.h"
#include "simlink/user_aircraft.h"
#include "traffic_service/traffic_reader.h"

std::atomic<std::int32_t> maxLiveForParking{-1};

namespace {

std::string lf_nameOf(const std::string& text)
{
    std::string name = text.substr(0, text.find('*'));
    while (!name.empty() && name.back() == '_') name.pop_back();
    return name;
}

bool lf_queued(const SimAc& st)
{
    return std::any_of(staticRemovals.begin(), staticRemovals.end(),
                       [&](const StaticRemoval& r) { return r.name == st.callsign && r.standId == st.standId; });
}

bool lf_kept(const SimAc& st)
{
    return std::any_of(keptStatics.begin(), keptStatics.end(),
                       [&](const KeptStatic& k) { return k.callsign == st.callsign && k.standId == st.standId; });
}

void lf_queue(const SimAc& st)
{
    if (!lf_queued(st)) staticRemovals.push_back({st.callsign, st.standId});
}

void lf_keep(const SimAc& st, std::int32_t window)
{
    keptStatics.push_back({st.callsign, st.coupledCs, st.coupledCs2, st.registration, st.airline, st.type,
                           st.birthDay, st.birthSlot, st.standId, window, false});
}

std::int32_t lf_age(const SimAc& st, std::uint64_t now) { return weekAge(st.birthDay, st.birthSlot, now); }

// The selection's names and identity are the static's.
bool lf_sameAircraft(const SimAc& st, const ParkingSelection& p)
{
    const std::string name = lf_nameOf(st.callsign);
    return (lf_nameOf(p.flightA) == name || (!p.flightB.empty() && lf_nameOf(p.flightB) == name)) &&
           st.airline == p.airline && st.type == p.type;
}

void lf_markStand(std::uint32_t standId)
{
    if (Stand* s = findStandById(standId)) markStandAssigned(*s);
}

// Static options end now: the option of the kept aircraft's identity on this
// weekday holds this half hour and not the next (the next weekday's first
// half hour after slot 47, in an option of the same identity).
bool lf_endingNow(const KeptStatic& k, std::uint64_t now)
{
    const Stand* stand = findStandById(k.standId);
    if (stand == nullptr) return false;
    const std::uint32_t day = weekdayOfPacked(now);
    const std::uint32_t slot = slotOfPacked(now);
    const std::string name = lf_nameOf(k.callsign);
    auto sameIdentity = [&](const SlotRecord& r) {
        // (An option the search took out of play because this very static holds it counts.)
        return r.airl == k.airline && r.type == k.type &&
               (r.cs == name || (!r.cs2.empty() && r.cs2 == name));
    };
    for (const SlotRecord& r : stand->options) {
        if (!sameIdentity(r) || r.weekday != day) continue;
        if (slot < 47) return !r.slots.test(slot + 1);
        const std::uint32_t nextDay = day >= 7 ? 1 : day + 1;
        return !std::any_of(stand->options.begin(), stand->options.end(), [&](const SlotRecord& o) {
            return sameIdentity(o) && o.weekday == nextDay && o.slots.test(0);
        });
    }
    return false;
}

}  // namespace

void beginParkingRenewal()
{
    disableMainControls();
    trafficReader().collectMaps.store(true);
}

void completeParkingRenewal(bool flush)
{
    clearMessage();
    if (!currentParkAirport().code.empty() && !stands.empty()) adjustParking(flush);
}

bool selectionMatchesStatic(const SimAc& ac, const ParkingSelection& selection)
{
    const std::string name = lf_nameOf(ac.callsign);
    if (!name.empty() &&
        (lf_nameOf(selection.flightA) == name || (!selection.flightB.empty() && lf_nameOf(selection.flightB) == name)))
        return true;
    return !ac.registration.empty() && !selection.registration.empty() && ac.registration == selection.registration;
}

void addNewParkedFromPT()
{
    placeParkedTraffic();
    for (SimAc& st : staticAircraft) {
        if (st.simState != SimState::active || st.source != 0) continue;
        const auto it = std::find_if(parkingSelections.begin(), parkingSelections.end(),
                                     [&](const ParkingSelection& p) { return selectionMatchesStatic(st, p); });
        if (usedIds.count(st.linkedAircraftId) != 0 || it == parkingSelections.end() || it->standId != st.standId) {
            lf_queue(st);
            continue;
        }
        lf_keep(st, it->window);
        parkingSelections.erase(it);
    }
    logLine(vr::format("{} new parking position{} from PT", parkingSelections.size(),
                       gf_pluralSuffix(parkingSelections.size())));
}

void reviewPtStatics(bool flush)
{
    if (flush) return;
    const std::uint64_t now = currentSlotAndWeekday.load();
    for (SimAc& st : staticAircraft) {
        if (st.simState != SimState::active || st.source != 1 || lf_queued(st)) continue;
        const auto it = std::find_if(parkingSelections.begin(), parkingSelections.end(), [&](const ParkingSelection& p) {
            return p.standId == st.standId || (!p.flightA.empty() && p.flightA + "*" == st.callsign);
        });
        if (it == parkingSelections.end()) continue;
        if (lf_age(st, now) <= it->window || lf_sameAircraft(st, *it)) {
            lf_keep(st, it->window);
            parkingSelections.erase(it);
        } else {
            lf_queue(st);
        }
    }
}

void keepOrReplaceStatic(SimAc& ac, std::size_t selectionIndex)
{
    const std::uint64_t now = currentSlotAndWeekday.load();
    const ParkingSelection& p = parkingSelections[selectionIndex];
    if (lf_age(ac, now) <= p.window) {
        lf_keep(ac, p.window);
        parkingSelections.erase(parkingSelections.begin() + static_cast<std::ptrdiff_t>(selectionIndex));
    } else {
        lf_queue(ac);
    }
}

void reviewStaticAircraft(std::uint64_t weekdayAndSlot)
{
    const std::int32_t window = std::min(std::max(realPassWindow, softPassWindow), 47);
    for (SimAc& st : staticAircraft) {
        if (st.simState != SimState::active || st.source != 1 || lf_queued(st) || lf_kept(st)) continue;
        const std::string name = lf_nameOf(st.callsign);
        if (usedNames.count(name) != 0 || usedNames.count(st.callsign) != 0) {
            lf_queue(st);
            continue;
        }
        const auto here = std::find_if(parkingSelections.begin(), parkingSelections.end(),
                                       [&](const ParkingSelection& p) { return p.standId == st.standId; });
        if (here != parkingSelections.end()) {
            if (lf_sameAircraft(st, *here)) {
                lf_keep(st, here->window);
                parkingSelections.erase(here);
            } else {
                keepOrReplaceStatic(st, static_cast<std::size_t>(here - parkingSelections.begin()));
            }
            continue;
        }
        const Stand* stand = findStandById(st.standId);
        std::ptrdiff_t near = -1;
        if (stand != nullptr) {
            for (std::size_t i = 0; i < parkingSelections.size() && near < 0; ++i) {
                const ParkingSelection& p = parkingSelections[i];
                if (std::find(stand->conflictingStands.begin(), stand->conflictingStands.end(), p.standId) ==
                    stand->conflictingStands.end())
                    continue;
                const Stand* other = findStandById(p.standId);
                if (other == nullptr) continue;
                const double d = distanceNm({stand->latitude, stand->longitude}, {other->latitude, other->longitude});
                if (d < st.halfWingspan + gf_halfWingspan(p.type)) near = static_cast<std::ptrdiff_t>(i);
            }
        }
        if (near >= 0) {
            keepOrReplaceStatic(st, static_cast<std::size_t>(near));
            continue;
        }
        bool holds = false;
        if (stand != nullptr) {
            const SlotKey key{weekdayOfPacked(weekdayAndSlot), slotOfPacked(weekdayAndSlot), st.registration,
                              st.airline, st.type};
            const std::uint32_t day = weekdayOfPacked(weekdayAndSlot);
            const SlotKey previous{day <= 1 ? 7u : day - 1, 47, st.registration, st.airline, st.type};
            holds = std::any_of(stand->options.begin(), stand->options.end(), [&](const SlotRecord& r) {
                return lf_slotPredicateA(key, window, r) || lf_slotPredicateB(previous, window, r);
            });
        }
        if (holds)
            lf_keep(st, lf_age(st, weekdayAndSlot));
        else
            lf_queue(st);
    }
}

void trimParkingSurplus(std::int64_t wanted)
{
    std::int64_t surplus = static_cast<std::int64_t>(liveParkedList.size() + keptStatics.size() +
                                                     parkingSelections.size()) -
                           wanted;
    while (surplus > 0 && !parkingSelections.empty()) {
        parkingSelections.pop_back();
        --surplus;
    }
    while (surplus > 0 && !keptStatics.empty()) {
        staticRemovals.push_back({keptStatics.back().callsign, keptStatics.back().standId});
        keptStatics.pop_back();
        --surplus;
    }
    // No wanted number (no static parking wanted) sets no limit to the live
    // parked aircraft, as the review before said.
    while (surplus > 0 && wanted > 0 && !liveParkedList.empty()) {
        const LiveParkedEntry entry = liveParkedList.back();
        liveParkedList.pop_back();
        for (LiveAc& live : liveAircraft) {
            if (live.callsign != entry.callsign || live.standId != entry.standId) continue;
            removeAircraftFromSim(live);
            break;
        }
        --surplus;
    }
}

void removeMarkedStatics()
{
    for (const StaticRemoval& r : staticRemovals) {
        for (SimAc& st : staticAircraft) {
            if (st.callsign != r.name || st.standId != r.standId) continue;
            if (st.simState == SimState::active) removeAircraftFromSim(st);
            break;
        }
    }
    staticRemovals.clear();
    if (!parkingSelections.empty()) disableMainControls();
}

void adjustParking(bool flush)
{
    const std::uint64_t now = logDayAndHour();
    refreshUsedNames();
    disableMainControls();
    StatusPanel& panel = statusPanel();
    panel.softPositionsUsed = false;

    staticRemovals.clear();
    keptStatics.clear();
    liveParkedList.clear();
    parkingSelections.clear();
    clearStandMarks(true);
    markReservedStands();

    if (flush)
        for (SimAc& st : staticAircraft)
            if (st.simState == SimState::active && st.source == 1) lf_queue(st);

    const std::int64_t wanted = lf_updateStandCount();
    lf_reviewLiveParked();
    const bool ptOnly = RT_PARKTRAFFIC_ONLY.get();
    if (!ptOnly) {
        const auto parked = static_cast<std::int64_t>(liveParkedList.size());
        if (wanted > 0 && wanted < parked) {
            showMessage(vr::format("Parking adjustments: {} more live ac than wanted", parked - wanted), true);
            removeLiveParked(static_cast<std::uint64_t>(parked - wanted));
            lf_reviewLiveParked();
        }
    }
    for (const LiveParkedEntry& e : liveParkedList) lf_markStand(e.standId);

    const bool read = lf_readParkedTrafficRecords(parkedTrafficRecords);
    if (read) addNewParkedFromPT();

    if (!read || !ptOnly) {
        reviewPtStatics(flush);
        const auto extra = static_cast<std::int64_t>(liveParkedList.size() + keptStatics.size());
        for (const KeptStatic& k : keptStatics) lf_markStand(k.standId);
        if (wanted - static_cast<std::int64_t>(parkingSelections.size()) != extra)
            gatherParkedPositionsTwice(now, wanted, extra);
        reviewStaticAircraft(now);

        // Oldest first.
        std::stable_sort(keptStatics.begin(), keptStatics.end(), [now](const KeptStatic& a, const KeptStatic& b) {
            return weekAge(a.birthDay, a.birthSlot, now) > weekAge(b.birthDay, b.birthSlot, now);
        });
        for (KeptStatic& k : keptStatics) k.ending = lf_endingNow(k, now);
        for (const KeptStatic& k : keptStatics) {
            if (!k.ending) continue;
            staticRemovals.push_back({k.callsign, k.standId});
            parkingSelections.push_back(ParkingSelection{0, 1, k.standId, k.window, k.airline, k.type, k.coupledCs,
                                                         k.coupledCs2, k.registration, false});
        }
        std::erase_if(keptStatics, [](const KeptStatic& k) { return k.ending; });
        trimParkingSurplus(wanted);
        std::stable_sort(parkingSelections.begin(), parkingSelections.end(),
                         [](const ParkingSelection& a, const ParkingSelection& b) { return a.window > b.window; });
        showMessage(vr::format("Parking adjustments: {} to be removed, {} to be added", staticRemovals.size(),
                               parkingSelections.size()),
                    true);
    }
    if (ptOnly && read)
        showMessage(vr::format("ParkTraffic changes: {} to be removed, {} to be added", staticRemovals.size(),
                               parkingSelections.size()),
                    true);
    removeMarkedStatics();
}

void finishStaticParking()
{
    if (airportFileLoaded.load() && (parkParametersChanged || standUpdateCount >= 1)) {
        saveAirportFile();
        standUpdateCount = 0;
    }
    handmadeMark = false;
    airportFileLoaded = false;
    FLUSH_STATIC.enable(false);
    parking_percentage.enable(false);
    clearCurrentParkAirport();
    trafficReader().setReferenceElevation(std::nullopt);
    setReservedStand({});
    standUpdateCount = 0;
    staticRemovals.clear();
    parkingSelections.clear();
    clearStands();
    StatusPanel& panel = statusPanel();
    panel.standCount = 0;
    panel.standUpdates = 0;
    panel.airportNameLine.set("");
    panel.airportPublisher.set("");
    panel.airportQuality.set("");
    panel.airportHandmade = false;
    panel.airportLoaded = false;
    panel.reservedStandSet = false;
    panel.softPositionsUsed = false;
    repaintStatusPanel();
}

void removeStaticParked()
{
    parkingSelections.clear();
    removeAllStatics();
    for (LiveAc& live : liveAircraft) {
        const bool onGround = live.phase == AcPhase::parked || live.phase == AcPhase::pushing_back ||
                              live.phase == AcPhase::pushed_back || live.phase == AcPhase::taxi ||
                              live.phase == AcPhase::take_off;
        if (!onGround) continue;
        if (live.simState == SimState::active || live.simState == SimState::adding2sim) removeAircraftFromSim(live);
        live.standId = 0;
        live.parkProgress = 0;
        live.parkingValue = 0.0;
        live.parkingCounter = 0;
    }
    finishStaticParking();
    if (maxLiveForParking >= 0 && MAX_LIVE_SEL.get() != maxLiveForParking) {
        MAX_LIVE_SEL.set(maxLiveForParking);
        showIntParameterText(MAX_LIVE_SEL);
        trimLiveAircraft();
    }
}

bool removeFarthestLiveAc(double distanceNm_)
{
    const UserAcState user = userAcSnapshot();
    const LatLon at{user.latitude, user.longitude};
    double best = distanceNm_;
    std::uint32_t candidate = 0;
    bool found = false;
    for (const LiveAc& live : liveAircraft) {
        if (live.simState != SimState::active) continue;
        const double d = distanceNm(at, {live.posBlock.latitude, live.posBlock.longitude});
        if (d > best + 0.1) {
            best = d;
            candidate = live.aircraftId;
            found = true;
        }
    }
    if (!found) return true;
    for (LiveAc& live : liveAircraft) {
        if (live.aircraftId != candidate) continue;
        removeAircraftFromSim(live);
        break;
    }
    return false;
}

void trimLiveAircraft()
{
    const auto active = std::count_if(liveAircraft.begin(), liveAircraft.end(),
                                      [](const LiveAc& a) { return a.simState == SimState::active; });
    for (std::int64_t surplus = active - MAX_LIVE_SEL.get(); surplus > 0; --surplus)
        if (removeFarthestLiveAc(0.0)) break;
}
