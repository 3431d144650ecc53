#include "engine/stand_search.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <random>

#include <gsl/narrow>

#include "core/airport_services.h"
#include "core/app_services.h"
#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/options.h"
#include "core/random.h"
#include "core/run_state.h"
#include "engine/ac_records.h"
#include "engine/live_parking.h"
#include "engine/slot_records.h"
#include "simlink/user_aircraft.h"

namespace {

Stand& lf_mutableStand(const Stand& s)
{
    return const_cast<Stand&>(s);  // the vector is the worker's; `stands` only hands it out read-only
}

LatLon lf_standAt(const Stand& s)
{
    return {s.latitude, s.longitude};
}

// A degree of latitude is 60 nm on our sphere and no two points are nearer than
// their latitudes are apart: farther than `reach` in latitude alone needs no
// distance (the margin covers rounding).
bool lf_beyondInLatitude(double latA, double latB, double reach)
{
    return std::fabs(latA - latB) * 60.0 > reach * (1.0 + 1e-9);
}

// A rounded count checked to fit 32 bits before it is narrowed (a NaN fails too).
std::int32_t lf_roundedCount(double value)
{
    const double k = std::round(value);
    if (!(k >= -2147483648.0 && k <= 2147483647.0)) throw gsl::narrowing_error{};
    return static_cast<std::int32_t>(k);
}

bool lf_slotUsed(const Stand& s, std::uint32_t weekday, std::uint32_t slot)
{
    return std::any_of(s.options.begin(), s.options.end(), [&](const SlotRecord& r) {
        return r.optionIndex != 0 && r.weekday == weekday && r.slots.test(slot);
    });
}

struct Candidate {
    std::size_t stand = 0;  // index in `stands`; the result is found again by the stand's name
    std::int32_t k = 0;
    std::int32_t nameMatch = 0;
};

}  // namespace

Stand* findStandByName(const std::string& name)
{
    for (const Stand& s : stands) {
        if (s.name == name) return &lf_mutableStand(s);
    }
    return nullptr;
}

std::string nearestStandAirport(const LatLon& position)
{
    const auto snapshot = standSnapshot();
    if (snapshot->entries.empty() || !userOnGround.load()) return {};
    std::lock_guard lock(snapshot->memoryMutex);
    if (snapshot->remembered && std::fabs(snapshot->rememberedLat - position.lat) <= 1e-8 &&
        std::fabs(snapshot->rememberedLon - position.lon) <= 1e-8)
        return snapshot->rememberedName;
    double best = nm55m;
    const StandSnapshot::Entry* nearest = nullptr;
    for (const auto& e : snapshot->entries) {
        if (lf_beyondInLatitude(e.latitude, position.lat, best)) continue;
        const double d = distanceNm(position, {e.latitude, e.longitude});
        if (d <= best) {
            best = d;
            nearest = &e;
        }
    }
    snapshot->remembered = true;
    snapshot->rememberedLat = position.lat;
    snapshot->rememberedLon = position.lon;
    snapshot->rememberedName = nearest ? nearest->name : std::string();
    return snapshot->rememberedName;
}

bool slotRecordMatchesName(const std::string& callsign, const AcIdentity& identity, const SlotRecord& record)
{
    if (record.optionIndex == 0 || record.real != 1) return false;
    if (record.cs == callsign || record.cs2 == callsign) return true;
    return record.airl == identity.airline && record.type == identity.type;
}

Stand* findFreeStandNear(const LatLon& position, const AcIdentity& aircraft, double maxDistance, bool useRecords)
{
    double best = 900.0;
    double recordBest = 900.0;
    const Stand* taken = nullptr;
    const Stand* tooSmall = nullptr;
    const Stand* recordMatched = nullptr;
    const double reach = std::max(maxDistance, useRecords ? nm85m : 0.0);
    for (const Stand& s : stands) {
        if (standTakenByOther(s, aircraft.aircraftId) || lf_beyondInLatitude(s.latitude, position.lat, reach)) continue;
        const double d = distanceNm(position, lf_standAt(s));
        const bool tooLarge = aircraft.halfWingspan - s.radius > nm1m8;
        if (d <= maxDistance && d < best) {
            if (tooLarge && d > nm20m) continue;
            taken = &s;
            tooSmall = tooLarge ? &s : nullptr;
            best = d;
            useRecords = false;
        } else if (useRecords && d <= nm85m && d < recordBest && !tooLarge && !aircraft.callsign.empty() &&
                   std::any_of(s.options.begin(), s.options.end(), [&](const SlotRecord& r) {
                       return slotRecordMatchesName(aircraft.callsign, aircraft, r);
                   })) {
            recordMatched = &s;
            recordBest = d;
        }
    }
    const Stand* result = taken ? taken : recordMatched;
    if (result == nullptr) return nullptr;
    // Helipads only for Rotorcraft and Rotorcraft only on helipads (the nearest stand decides).
    if (result->heli != (aircraft.category == AcCategory::Rotorcraft)) return nullptr;
    Stand& chosen = lf_mutableStand(*result);
    if (result == tooSmall) {
        chosen.radius = aircraft.halfWingspan - nm1m;
        chosen.radiusChange = true;
        ++standUpdateCount;
        StatusPanel& panel = statusPanel();
        if (panel.standUpdates.load() != static_cast<std::int32_t>(standUpdateCount)) {
            panel.standUpdates = static_cast<std::int32_t>(standUpdateCount);
            repaintStatusPanel();
        }
    }
    return &chosen;
}

namespace {

// The two collectors of the free-stand search over the stands of one kind.
template <class Pred>
void lf_collect(std::vector<Candidate>& candidates, Pred inSet, std::uint32_t weekday, std::uint32_t slot,
                const AcIdentity& id, bool anySize)
{
    std::int32_t bestK = 100;
    const double hw = id.halfWingspan;
    const double step = hw <= 0.009611230689557531 ? 0.00755939524838013 : 0.011339092872570195;
    for (std::size_t i = 0; i < stands.size(); ++i) {
        const Stand& s = stands[i];
        if (!inSet(s) || lf_slotUsed(s, weekday, slot)) continue;
        std::int32_t k = 0;
        if (anySize) {
            k = lf_roundedCount(std::fabs(hw - s.radius));
        } else {
            if (hw - s.radius > nm1m8) continue;
            k = lf_roundedCount((s.radius - hw) / step);
        }
        if (k > bestK) continue;
        bestK = k;
        const bool match = !id.callsign.empty() && std::any_of(s.options.begin(), s.options.end(), [&](const auto& r) {
            return slotRecordMatchesName(id.callsign, id, r);
        });
        candidates.push_back({i, k, match ? 1 : 0});
    }
}

template <class Pred>
void lf_pass(std::vector<Candidate>& candidates, Pred inSet, std::uint32_t weekday, std::uint32_t slot,
             const AcIdentity& id)
{
    if (!candidates.empty()) return;
    lf_collect(candidates, inSet, weekday, slot, id, false);
    if (candidates.empty()) lf_collect(candidates, inSet, weekday, slot, id, true);
}

}  // namespace

Stand* lf_findStandForSlot(std::uint64_t weekdayAndSlot, const AcIdentity& identity, bool retry)
{
    const std::uint32_t weekday = weekdayOfPacked(weekdayAndSlot);
    const std::uint32_t slot = slotOfPacked(weekdayAndSlot);
    std::vector<Candidate> c;
    const auto helipad = [](const Stand& s) { return s.heli; };
    const auto ramp = [](const Stand& s) { return s.ramp; };
    const auto gate = [](const Stand& s) { return !s.cargo && !s.heli && !s.ramp; };
    const auto plainRamp = [](const Stand& s) { return !s.cargo && !s.heli && s.ramp; };
    if (identity.category == AcCategory::Rotorcraft) {
        lf_pass(c, helipad, weekday, slot, identity);
        lf_pass(c, ramp, weekday, slot, identity);
    } else if (identity.cargo) {
        lf_pass(c, [](const Stand& s) { return s.cargo && !s.heli; }, weekday, slot, identity);
        lf_pass(c, [](const Stand& s) { return !s.heli; }, weekday, slot, identity);
    } else if (identity.category == AcCategory::Light || identity.category == AcCategory::Buzjets ||
               identity.airline == "PVT") {
        lf_pass(c, plainRamp, weekday, slot, identity);
    } else {
        const bool gatesFirst =
            airportServices().parkAirport().code.starts_with("K") || tlRandomEngine()() % 100 >= 10;
        if (gatesFirst) {
            lf_pass(c, gate, weekday, slot, identity);
            lf_pass(c, plainRamp, weekday, slot, identity);
        } else {
            lf_pass(c, plainRamp, weekday, slot, identity);
            lf_pass(c, gate, weekday, slot, identity);
        }
    }
    if (c.empty()) {
        if (retry && stands.size() <= 10) return lf_findStandForSlot(nextHalfHour(weekdayAndSlot), identity, false);
        return nullptr;
    }
    std::shuffle(c.begin(), c.end(), tlRandomEngine());
    std::sort(c.begin(), c.end(), [](const Candidate& a, const Candidate& b) {
        if (a.nameMatch != b.nameMatch) return a.nameMatch > b.nameMatch;
        return a.k < b.k;
    });
    return findStandByName(stands[c.front().stand].name);
}

std::size_t lf_liveIdsNear(const std::vector<std::uint32_t>& neighbourIds, const Stand& candidate,
                           const AcIdentity& aircraft)
{
    for (std::size_t i = 0; i < neighbourIds.size(); ++i) {
        const std::uint32_t id = neighbourIds[i];
        const auto parked = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                         [id](const LiveAc& a) { return a.standId == id; });
        if (parked == liveAircraft.end()) continue;
        if (parked->phase != AcPhase::parked && parked->phase != AcPhase::pushing_back) continue;
        if (parked->simState != SimState::active || parked->callsign == aircraft.callsign) continue;
        const Stand* neighbour = findStandById(id);
        if (neighbour == nullptr || (neighbour->latitude == 0.0 && neighbour->longitude == 0.0)) continue;
        const double reach = (gf_halfWingspan(parked->type) + gf_halfWingspan(aircraft.type)) * 1.1;
        if (reach >= distanceNm(lf_standAt(*neighbour), lf_standAt(candidate))) return i;
    }
    return neighbourIds.size();
}

bool lf_markIdInSlot(std::uint64_t weekdayAndSlot, std::uint32_t aircraftId, bool force)
{
    const std::uint32_t slot = slotOfPacked(weekdayAndSlot);
    for (SlotMark& m : slotMarks) {
        if (m.aircraftId != aircraftId) continue;
        if (!force && (slot + 48 - m.slot) % 48 < 3) return false;
        m.slot = slot;
        return true;
    }
    slotMarks.push_back({aircraftId, slot});
    return true;
}

void lf_searchForCoupledCsAroundThisTime(std::uint64_t weekdayAndSlot, AcIdentity& identity)
{
    try {
        const std::int32_t window = identity.category == AcCategory::Heavy ? 14 : 10;
        const std::uint32_t weekday = weekdayOfPacked(weekdayAndSlot);
        const std::int32_t slot = static_cast<std::int32_t>(slotOfPacked(weekdayAndSlot));
        const std::int32_t from = std::max(slot - window, 0);
        const std::int32_t to = std::min(slot + window, 47);
        const std::string cs = withoutGhostMark(identity.callsign);
        for (const Stand& s : stands) {
            for (const SlotRecord& r : s.options) {
                if (r.optionIndex == 0 || r.weekday != weekday) continue;
                bool inWindow = false;
                for (std::int32_t i = from; i <= to && !inWindow; ++i) inWindow = r.slots.test(static_cast<std::size_t>(i));
                if (!inWindow || r.airl != identity.airline || (r.cs != cs && r.cs2 != cs)) continue;
                identity.coupledCs = r.cs;
                identity.coupledCs2 = r.cs2;
                return;
            }
        }
    } catch (const std::exception& e) {
        logLine(vr::format("{}: {}", "lf_searchForCoupledCsAroundThisTime", e.what()));
    }
}

std::uint32_t lf_countStaticsInSlot(bool updateAge)
{
    const std::uint64_t now = currentSlotAndWeekday.load();
    const std::int64_t nowWeekSlot =
        static_cast<std::int64_t>(weekdayOfPacked(now)) * 48 + static_cast<std::int64_t>(slotOfPacked(now));
    std::uint32_t count = 0;
    std::int64_t sum = 0;
    for (const SimAc& st : staticAircraft) {
        if (st.simState != SimState::active && st.simState != SimState::removingfromsim) continue;
        ++count;
        if (!updateAge) continue;
        // Signed: an aircraft born later in the week than now is left out of the sum.
        const std::int64_t born = static_cast<std::int64_t>(st.birthDay) * 48 + st.birthSlot;
        if (nowWeekSlot > born) {
            std::int64_t age = nowWeekSlot - born;
            if (age < 0) age += 336;
            sum += age;
        }
    }
    if (updateAge && !WEEK.get()) {
        const float hours = count == 0 ? 0.0f : static_cast<float>(static_cast<double>(sum) / (2.0 * count) + 0.5);
        StatusPanel& panel = statusPanel();
        if (panel.averageStaticAgeHours.load() != hours) {
            panel.averageStaticAgeHours = hours;
            repaintStatusPanel();
        }
    }
    return count;
}

namespace {

bool lf_nameIn(const std::string& name, const std::set<std::string>& names)
{
    return !name.empty() && (names.count(name) > 0 || names.count(name + "_") > 0);
}

bool lf_same(const std::string& a, const std::string& b)
{
    return !a.empty() && a == b;
}

// The record's aircraft is placed, planned, parked live or already used.
bool lf_inPlay(const SlotRecord& r)
{
    if (!r.reg.empty() && std::any_of(parkingSelections.begin(), parkingSelections.end(),
                                      [&](const ParkingSelection& p) { return p.registration == r.reg; }))
        return true;
    if (lf_nameIn(r.cs, usedNames) || lf_nameIn(r.cs2, usedNames)) return true;
    for (const SimAc& st : staticAircraft) {
        if (lf_same(st.coupledCs, r.cs) || lf_same(st.coupledCs, r.cs2) || lf_same(st.registration, r.reg)) return true;
    }
    for (const ParkingSelection& p : parkingSelections) {
        if (lf_same(p.flightA, r.cs) || lf_same(p.flightA, r.cs2) || lf_same(p.flightB, r.cs) ||
            lf_same(p.flightB, r.cs2))
            return true;
    }
    for (const LiveParkedEntry& e : liveParkedList) {
        if (lf_same(e.callsign, r.cs) || lf_same(e.callsign, r.cs2)) return true;
    }
    for (const SimAc& st : staticAircraft) {
        if (st.simState != SimState::active || st.source != 0) continue;
        if (lf_same(st.callsign, r.cs + "*") || lf_same(st.callsign, r.cs2 + "*") ||
            lf_same(st.coupledCs2, r.cs) || lf_same(st.coupledCs2, r.cs2))
            return true;
    }
    return false;
}

bool lf_staticTooCloseOnNeighbour(const Stand& s, const SlotRecord& r)
{
    for (const SimAc& st : staticAircraft) {
        if (st.simState != SimState::active || st.standId == 0) continue;
        if (std::find(s.conflictingStands.begin(), s.conflictingStands.end(), st.standId) ==
            s.conflictingStands.end())
            continue;
        if (gf_halfWingspan(r.type) + gf_halfWingspan(st.type) > distanceNm(st.position, lf_standAt(s))) return true;
    }
    return false;
}

bool lf_preferA(const Stand& s, const SlotRecord& r, std::uint32_t slot)
{
    if (r.cs2.empty()) return true;
    if (slot < 47) return r.slots.test(slot + 1);
    const std::uint32_t nextDay = r.weekday >= 7 ? 1 : r.weekday + 1;
    return std::any_of(s.options.begin(), s.options.end(), [&](const SlotRecord& o) {
        return o.optionIndex != 0 && o.weekday == nextDay && o.airl == r.airl && o.type == r.type && o.slots.test(0);
    });
}

}  // namespace

void lf_searchStands(std::uint64_t weekdayAndSlot, std::uint32_t mode, std::int32_t offset,
                     std::vector<ParkingSelection>& plan)
{
    try {
        std::int64_t slot = static_cast<std::int64_t>(slotOfPacked(weekdayAndSlot)) - offset;
        std::int64_t weekday = weekdayOfPacked(weekdayAndSlot);
        while (slot < 0) {
            slot += 48;
            weekday = weekday <= 1 ? 7 : weekday - 1;
        }
        const auto searchSlot = static_cast<std::size_t>(slot);
        const auto searchDay = static_cast<std::uint32_t>(weekday);
        std::vector<std::uint32_t> indexes;
        for (const Stand& cs : stands) {
            if (cs.reserved || cs.assigned) continue;
            Stand& s = lf_mutableStand(cs);
            indexes.clear();
            for (const SlotRecord& r : s.options) {
                if (r.optionIndex == 0) continue;
                if ((mode == 1 && r.real != 1) || (mode == 0 && r.real != 0)) continue;
                if (!WEEK.get() && r.weekday != searchDay) continue;
                if (!r.slots.test(searchSlot)) continue;
                if (s.heli && !HELICOPTERS.get()) continue;
                if (s.neighbourTaken) continue;
                if (lf_staticTooCloseOnNeighbour(s, r)) continue;
                indexes.push_back(r.optionIndex);
            }
            if (indexes.empty()) continue;
            std::uint32_t chosen = 0;
            if (indexes.size() > 1) {
                for (const SimAc& st : staticAircraft) {
                    if (st.standId != s.sid || chosen != 0) continue;
                    for (const SlotRecord& r : s.options) {
                        if (std::find(indexes.begin(), indexes.end(), r.optionIndex) == indexes.end()) continue;
                        if ((st.callsign == r.cs + "*" || (!r.cs2.empty() && st.callsign == r.cs2 + "*")) &&
                            st.airline == r.airl && st.type == r.type) {
                            chosen = r.optionIndex;
                            break;
                        }
                    }
                }
                if (chosen == 0) std::shuffle(indexes.begin(), indexes.end(), tlRandomEngine());
            }
            if (chosen == 0) chosen = indexes.front();
            const auto rec = std::find_if(s.options.begin(), s.options.end(),
                                          [chosen](const SlotRecord& r) { return r.optionIndex == chosen; });
            if (lf_inPlay(*rec)) {
                rec->optionIndex = 0;
                continue;
            }
            plan.push_back(ParkingSelection{0, 1, s.sid, offset, rec->airl, rec->type, rec->cs, rec->cs2, rec->reg,
                                            lf_preferA(s, *rec, static_cast<std::uint32_t>(searchSlot))});
            s.assigned = true;
            for (std::uint32_t n : s.conflictingStands) {
                if (Stand* neighbour = findStandById(n)) neighbour->neighbourTaken = true;
            }
        }
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{}: day: {}, offset {}: {}", "lf_searchStands",
                                 vr::format("[{},{}]", weekdayOfPacked(weekdayAndSlot), slotOfPacked(weekdayAndSlot)),
                                 offset, e.what()));
    }
}

std::uint32_t lf_updateStandCount()
{
    StatusPanel& panel = statusPanel();
    const std::int32_t maxPark = MAX_PARK_SEL.get();
    if (maxPark <= 0) {
        panel.wantedStands = 0;
        panel.wantedPercentage = parking_percentage.get();
        repaintStatusPanel();
        return 0;
    }
    const std::int32_t custom = CUSTOM_PARKING_PERCENTAGE.get();
    const double p = custom >= 0 ? custom : parking_percentage.get();
    const std::size_t n = stands.size();
    std::int32_t wanted = 1;
    if (n > 1 && (n > 3 || p >= 50)) wanted = lf_roundedCount(p * static_cast<double>(n) / 100.0);
    const std::int32_t result = std::min(maxPark, wanted);
    panel.wantedStands = result;
    panel.wantedPercentage = n < 1 ? 0 : lf_roundedCount(result * 100.0 / static_cast<double>(n));
    repaintStatusPanel();
    return static_cast<std::uint32_t>(std::max(result, 0));
}

namespace {

bool lf_keyMatches(const SlotKey& key, const SlotRecord& r)
{
    return r.weekday == key.weekday && r.reg == key.reg && r.airl == key.airl && r.type == key.type;
}

bool lf_anyBit(const SlotRecord& r, std::int32_t from, std::int32_t down)
{
    for (std::int32_t i = from; i >= down; --i) {
        if (r.slots.test(static_cast<std::size_t>(i))) return true;
    }
    return false;
}

}  // namespace

bool lf_slotPredicateA(const SlotKey& key, std::int32_t window, const SlotRecord& record)
{
    if (!lf_keyMatches(key, record)) return false;
    const auto slot = static_cast<std::int32_t>(key.slot);
    return lf_anyBit(record, slot, std::max(slot - window, 0));
}

bool lf_slotPredicateB(const SlotKey& key, std::int32_t window, const SlotRecord& record)
{
    if (!lf_keyMatches(key, record)) return false;
    return lf_anyBit(record, 47, std::max(47 - window, 0));
}
