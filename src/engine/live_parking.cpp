#include "engine/live_parking.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "core/airport_services.h"
#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/ghosts.h"
#include "engine/motion.h"
#include "engine/slot_records.h"
#include "engine/stand.h"
#include "engine/stand_search.h"
#include "platform/clock.h"
#include "simlink/user_aircraft.h"

namespace {

bool lf_activeParked(const LiveAc& ac)
{
    return ac.simState == SimState::active && ac.phase == AcPhase::parked;
}

constexpr std::int64_t ticksPerMinute = 600000000;  // 100 ns units

}  // namespace

std::int64_t wallTime100ns()
{
    return static_cast<std::int64_t>(platform::wallSeconds() * 1e7);
}

void markParkedNow(LiveAc& ac)
{
    ac.parkedSince = wallTime100ns();
    const std::uint64_t now = currentSlotAndWeekday.load();
    ac.birthDay = weekdayOfPacked(now);
    ac.birthSlot = slotOfPacked(now);
}

std::uint64_t minutesParked(const LiveAc& ac)
{
    const std::int64_t elapsed = wallTime100ns() - ac.parkedSince;
    return elapsed <= 0 ? 0 : static_cast<std::uint64_t>(elapsed / ticksPerMinute);
}

void takeStandForArrival(Stand& stand, std::uint32_t aircraftId)
{
    stand.occupied = true;
    stand.occupiedBy = aircraftId;
}

namespace {

// The mark is held by another live aircraft that still has the stand (the
// mark always names its aircraft: takeStandForArrival is its only setter).
bool lf_heldByOther(const Stand& stand, std::uint32_t aircraftId)
{
    if (!stand.occupied || stand.occupiedBy == aircraftId) return false;
    return std::any_of(liveAircraft.begin(), liveAircraft.end(), [&stand](const LiveAc& a) {
        return a.aircraftId == stand.occupiedBy && a.standId == stand.sid && a.simState != SimState::removingfromsim;
    });
}

}  // namespace

bool standTakenByOther(const Stand& stand, std::uint32_t aircraftId)
{
    return lf_heldByOther(stand, aircraftId);
}

void clearStandTaken(std::uint32_t standId, std::uint32_t aircraftId)
{
    Stand* stand = findStandById(standId);
    if (stand == nullptr || lf_heldByOther(*stand, aircraftId)) return;
    stand->occupied = false;
    stand->occupiedBy = 0;
}

void try2Park(LiveAc& ac, bool wide)
{
    if (ac.samples.empty()) {
        logLineMarked(vr::format("{} empty sz?", "try2Park"));
        return;
    }
    const LatLon p{ac.samples.back().latitude, ac.samples.back().longitude};
    if (std::fabs(p.lat - ac.lastStandSearchPosition.lat) <= 1e-8 &&
        std::fabs(p.lon - ac.lastStandSearchPosition.lon) <= 1e-8)
        return;
    ac.lastStandSearchPosition = p;
    const Stand* found = findFreeStandNear(p, ac, wide ? nm55m : nm20m, false);
    if (found == nullptr) return;
    const Stand stand = *found;  // a copy: the calls below may move records, never stands, but stay safe
    const std::string reserved = airportServices().reservedStandName();
    if (!reserved.empty() && stand.name == reserved) return;
    const UserAcState user = userAcSnapshot();
    const std::string userStand = nearestStandAirport({user.latitude, user.longitude});
    if (!userStand.empty() && stand.name == userStand) return;
    for (LiveAc& other : liveAircraft) {
        if (&other == &ac || other.standId != stand.sid || !lf_activeParked(other)) continue;
        if (LOG.get())
            logLine(vr::format("{:8}: {:8} removed, {} wants to park there", stand.name, other.callsign, ac.callsign));
        removeAircraftFromSim(other);
    }
    for (std::uint32_t adjacent : stand.conflictingStands) lf_clearAdjacentStand(adjacent, ac, stand);
    lf_makeWay(ac, stand);
    ac.position = {stand.latitude, stand.longitude};
    ac.heading = stand.heading;
    ac.standId = stand.sid;
    if (Stand* taken = findStandById(stand.sid)) takeStandForArrival(*taken, ac.aircraftId);
    ac.cargoLook = stand.cargo;
    if (ac.samples.size() > 1) ac.samples.resize(1);
    if (ac.phase != AcPhase::parking) {
        ac.prevPhase = ac.phase;
        ac.phase = AcPhase::parking;
    }
    if (LOG.get()) logLine(vr::format("{:8}: {:8} drives in", stand.name, ac.callsign));
    drive2Stand(ac, {stand.latitude, stand.longitude, stand.heading});
}

void enforceMaxPark(std::uint32_t extra)
{
    if (RT_PARKTRAFFIC_ONLY.get()) return;
    const auto parked = static_cast<std::int64_t>(std::count_if(liveAircraft.begin(), liveAircraft.end(), lf_activeParked));
    const std::int64_t n = parked + extra;
    const auto wanted = static_cast<std::int64_t>(lf_updateStandCount());
    if (wanted < 1) return;
    if (!INITIAL_LOAD_ONLY.get() && n > wanted) {
        std::vector<ParkedMinutes> list;
        lf_parkedMinutes(list);
        if (!list.empty()) {
            const std::uint32_t id = list.front().aircraftId;
            const auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                         [id](const LiveAc& a) { return a.aircraftId == id; });
            if (it != liveAircraft.end() && it->simState == SimState::active) {
                logLine(vr::format("{:8}: {} live max park exceeded, removed", sidName(it->standId),
                                   acDescription(*it)));
                removeAircraftFromSim(*it);
            }
        }
    }
    const auto counted = [](const SimAc& st) {
        return st.simState == SimState::active || st.simState == SimState::removingfromsim;
    };
    const auto s = static_cast<std::int64_t>(std::count_if(staticAircraft.begin(), staticAircraft.end(), counted));
    if (s + n <= wanted || staticAircraft.empty()) return;
    // The oldest by age on the week (a Sunday-born one is older than a Monday-born one on Monday).
    const std::uint64_t now = currentSlotAndWeekday.load();
    SimAc* oldest = nullptr;
    for (SimAc& st : staticAircraft) {
        if (!counted(st)) continue;
        if (oldest == nullptr ||
            weekAge(st.birthDay, st.birthSlot, now) > weekAge(oldest->birthDay, oldest->birthSlot, now))
            oldest = &st;
    }
    if (oldest == nullptr || oldest->simState != SimState::active) return;
    logLine(vr::format("{:8}: {} static max park exceeded, removed", sidName(oldest->standId), acDescription(*oldest)));
    removeAircraftFromSim(*oldest);
}

void lf_parkedMinutes(std::vector<ParkedMinutes>& list)
{
    list.clear();
    for (const LiveAc& ac : liveAircraft) {
        if (lf_activeParked(ac)) list.push_back({ac.aircraftId, minutesParked(ac)});
    }
    std::stable_sort(list.begin(), list.end(),
                     [](const ParkedMinutes& a, const ParkedMinutes& b) { return a.minutes > b.minutes; });
}

void removeLiveParked(std::uint64_t n)
{
    std::vector<ParkedMinutes> list;
    lf_parkedMinutes(list);
    std::unordered_set<std::uint32_t> ids;
    for (std::size_t i = 0; i < list.size() && i < n; ++i) ids.insert(list[i].aircraftId);
    for (LiveAc& ac : liveAircraft) {
        if (ids.count(ac.aircraftId) == 0) continue;
        logLine(vr::format("live parked {} at {} removed", acDescription(ac), sidName(ac.standId)));
        removeAircraftFromSim(ac);
    }
}

void lf_reviewLiveParked()
{
    liveParkedList.clear();
    for (LiveAc& ac : liveAircraft) {
        if (!lf_activeParked(ac)) continue;
        if (ac.standReported) {
            liveParkedList.push_back({ac.callsign, 0, ac.standId, 0});
            continue;
        }
        const std::uint64_t minutes = minutesParked(ac);
        const std::uint64_t limit = ac.category == AcCategory::Heavy ? 180 : 90;
        if (!INITIAL_LOAD_ONLY.get() && minutes > limit) {
            removeAircraftFromSim(ac);
            continue;
        }
        liveParkedList.push_back({ac.callsign, 0, ac.standId, static_cast<std::uint32_t>(std::min<std::uint64_t>(minutes, 0xffffffffu))});
    }
    std::stable_sort(liveParkedList.begin(), liveParkedList.end(),
                     [](const LiveParkedEntry& a, const LiveParkedEntry& b) { return a.minutes < b.minutes; });
}

std::uint64_t lf_averageLiveParked(bool withMean)
{
    std::uint64_t count = 0;
    std::int64_t sum = 0;
    const std::uint64_t now = currentSlotAndWeekday.load();
    for (const LiveAc& ac : liveAircraft) {
        if (!lf_activeParked(ac)) continue;
        ++count;
        if (withMean) sum += weekAge(ac.birthDay, ac.birthSlot, now);  // across Monday 00:00 too
    }
    if (withMean) {
        const float mean = count == 0 ? 0.0f : static_cast<float>(sum) / static_cast<float>(count);
        StatusPanel& panel = statusPanel();
        if (panel.meanLiveParkedSlots.load() != mean) {
            panel.meanLiveParkedSlots = mean;
            repaintStatusPanel();
        }
    }
    return count;
}
