#include "engine/scheduling.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iterator>
#include <limits>

#include "core/airport_services.h"
#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/run_state.h"
#include "core/start_moments.h"
#include "core/tick_wake.h"
#include "engine/ac_records.h"
#include "engine/adding_stack.h"
#include "engine/live_update.h"
#include "engine/quiet_ticks.h"
#include "engine/respawn.h"
#include "engine/stand_search.h"
#include "simlink/sim_handover.h"
#include "simlink/user_aircraft.h"
#include "traffic_service/handover.h"
#include "traffic_service/traffic_reader.h"

std::mutex& addingMutex = *new std::mutex;
bool flightRunning = false;
std::vector<TrafficRecord>& addingStack = *new std::vector<TrafficRecord>;
std::vector<TrafficRecord>& bufferedRecords = *new std::vector<TrafficRecord>;
std::atomic<int> engineQnh{1013};

namespace {

constexpr double lf_secondsPerDay = 86400.0;

bool lf_nearReferenceAltitude(double altitude)
{
    return altitude > 0 && altitude < 10000 && std::fabs(altitude - referenceAltitudeFt()) <= 120;
}

}  // namespace

std::size_t lf_setDueTicks(std::vector<TrafficRecord>& batch, int delaySeconds, std::int32_t tick)
{
    const std::size_t before = batch.size();
    std::erase_if(batch, [](const TrafficRecord& r) { return !(std::isfinite(r.time) && r.time > 0); });
    if (batch.empty()) return before;

    std::vector<double> times;
    times.reserve(batch.size());
    for (const TrafficRecord& r : batch) times.push_back(r.time);
    std::sort(times.begin(), times.end());
    const double m = times[times.size() / 2];
    std::erase_if(batch, [m](const TrafficRecord& r) { return std::fabs(r.time - m) > lf_secondsPerDay; });

    const std::int64_t base = static_cast<std::int64_t>(delaySeconds) * 100 + tick;
    for (TrafficRecord& r : batch) {
        const auto k = static_cast<std::int64_t>(std::trunc((r.time - m) * -10.0));
        const std::int64_t due = base - 10 * k;
        r.dueTick = static_cast<std::int32_t>(std::clamp<std::int64_t>(due, std::numeric_limits<std::int32_t>::min(),
                                                                       std::numeric_limits<std::int32_t>::max()));
    }
    return before - batch.size();
}

void lf_scheduleTrafficRecords(std::vector<TrafficRecord>& batch, int delaySeconds)
{
    if (batch.empty()) {
        trafficReader().lastRecordTime = 0.0;
        trafficLastRecordTime = 0.0;
        return;
    }
    if (closingFlag.load()) {
        batch.clear();
        return;
    }
    // While the worker sleeps through quiet ticks the count stands still: the
    // records are due by the tick the clock has reached.
    const std::size_t dropped = lf_setDueTicks(batch, delaySeconds, lf_schedulingTick());
    if (dropped > 0)
        logLine(vr::format("lf_scheduleTrafficRecords: {} record(s) without a usable time dropped", dropped));
    if (!batch.empty()) markStartMoment(StartMoment::firstRecordScheduled);
    {
        std::lock_guard lock(addingMutex);
        if (delaySeconds == 30) {
            if (flightRunning && addingStack.empty()) addingStack.swap(batch);  // the old storage goes with the batch
        } else {
            bufferedRecords.insert(bufferedRecords.end(), std::make_move_iterator(batch.begin()),
                                   std::make_move_iterator(batch.end()));
        }
    }
    batch.clear();
    wakeTickLoop();
}

void setRunningFlag(bool running)
{
    std::lock_guard lock(addingMutex);
    flightRunning = running;
}

bool isFlightRunning()
{
    std::lock_guard lock(addingMutex);
    return flightRunning;
}

void lf_mergeBufferedRecords()
{
    std::vector<TrafficRecord> taken;
    {
        std::lock_guard lock(addingMutex);
        if (bufferedRecords.empty()) return;
        taken.swap(bufferedRecords);
    }
    for (TrafficRecord& r : taken) lf_mergeTrafficRecord(r);
}

double referenceAltitudeFt()
{
    const ParkAirportInfo park = airportServices().parkAirport();
    return park.code.empty() ? -1000.0 : park.elevationFt;
}

bool lf_recordRefused(const LiveAc& ac, const TrafficRecord& record)
{
    const PositionSample& back = ac.samples.back();
    const double dt = record.time - ac.lastSampleTime;
    const double gs = record.groundSpeed;
    const double backGs = back.groundSpeed;
    if (record.time == ac.lastSampleTime || dt <= 1.0) return true;
    if (backGs > 5 && gs >= 10 * backGs) return true;
    if (gs > 5 && backGs >= 10 * gs) return true;
    if (backGs <= 5 && gs >= 80) return true;
    if (gs <= 5 && backGs >= 80) return true;
    if (ac.parkProgress > 0) return false;
    const double trackDiff = std::fabs(record.track - back.track);  // not wrapped at 360
    if (record.airborne && gs > 120 && trackDiff <= 1.0 && dt <= 0.2429805615550756 / (gs / 3600)) return true;
    if (!record.airborne && gs <= 30 && trackDiff <= 2.0) {
        const double interval = gs == 0 ? 15.0 : std::min(0.010799136069114472 / (gs / 3600), 15.0);
        if (dt <= interval) return true;
    }
    return false;
}

void lf_mergeTrafficRecord(TrafficRecord& record)
{
    try {
        const auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(),
                                     [&](const LiveAc& a) { return a.aircraftId == record.aircraftId; });
        // On the ground away from the park airport: only the landing of an aircraft in the simulator goes on.
        if (record.awayFromPark && (it == liveAircraft.end() || it->simState == SimState::buffer)) return;
        if (it == liveAircraft.end()) {
            if (!record.callsign.empty() &&
                std::any_of(liveAircraft.begin(), liveAircraft.end(), [&](const LiveAc& a) {
                    return a.callsign == record.callsign && a.type == record.type;
                }))
                return;
            lf_newTrafficAc(record);
            return;
        }
        const auto i = static_cast<std::size_t>(it - liveAircraft.begin());
        if (liveAircraft[i].simState == SimState::liveryrespawn || liveAircraft[i].simState == SimState::removingfromsim)
            return;
        if (!liveAircraft[i].samples.empty() && lf_recordRefused(liveAircraft[i], record)) return;
        if (liveAircraft[i].simState == SimState::buffer && lf_nearReferenceAltitude(record.altitude)) return;
        if (!respawnAc(liveAircraft[i], record)) return;
        LiveAc& ac = liveAircraft[i];
        ac.lastSampleTime = record.time;
        decodeExisting(ac, positionSampleFromTraffic(record));
    } catch (const std::exception& e) {
        logLineMarked(vr::format("{}: {}", "lf_mergeTrafficRecord", e.what()));
    }
}

void lf_newTrafficAc(TrafficRecord& record)
{
    if (record.type.empty() && !record.registration.empty()) {
        if (auto db = gf_findDbaseRecord(record.registration)) record.type = db->type;
    }
    if (gf_isKnownType(record.type)) {
        addLiveAc(record);
        return;
    }
    if (record.registration.empty()) return;
    const auto db = gf_findDbaseRecord(record.registration);
    if (!db || db->type.empty()) return;
    record.type = db->type;
    addLiveAc(record);
}

void addLiveAc(TrafficRecord& record)
{
    if (!lf_isCategoryIncluded(gf_typeCategory(record.type))) return;
    if (lf_nearReferenceAltitude(record.altitude)) return;
    record.coupledCs = record.callsign;
    record.coupledCs2.clear();
    record.coupledCsSearched = false;
    AcIdentity identity = acIdentityFromTraffic(record);
    identity.aircraftId = record.aircraftId;
    identity.turnStep = identity.groundTurnStep;
    const CategoryConstants& c = categoryConstants(identity.category);
    identity.maxVerticalStep = c.maxVerticalStep;
    identity.manoeuvreSpeed = c.manoeuvreSpeed;
    liveAircraft.push_back(newLiveAc(positionSampleFromTraffic(record), identity, record.time));
}

void wireEngineHandover(ServiceHandover& handover)
{
    handover.scheduleTrafficRecords = [](std::vector<TrafficRecord>& batch, int delaySeconds) {
        lf_scheduleTrafficRecords(batch, delaySeconds);
    };
    handover.pushBlockedReply = [](std::uint32_t aircraftId) {
        pushSimReply({0, aircraftId, 0, replyCallsignBlocked, 0.0, 0.0});
    };
    handover.setEngineQnh = [](int hPa) { engineQnh = hPa; };
    // The stand at the user position (any thread: the stands' published snapshot).
    handover.userStandAirport = [] {
        const UserAcState user = userAcSnapshot();
        return nearestStandAirport({user.latitude, user.longitude});
    };
}
