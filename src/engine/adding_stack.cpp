#include "engine/adding_stack.h"

#include <algorithm>
#include <utility>

#include "core/airport_services.h"
#include "core/app_services.h"
#include "core/fmt.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/start_moments.h"
#include "core/options.h"
#include "core/random.h"
#include "core/run_state.h"
#include "core/startup_globals.h"
#include "engine/ac_records.h"
#include "engine/live_parking.h"
#include "engine/live_update.h"
#include "engine/scheduling.h"
#include "engine/sim_replies.h"
#include "engine/spawn.h"
#include "engine/static_placement.h"
#include "engine/stand.h"
#include "engine/timed_queues.h"
#include "platform/clock.h"
#include "simlink/sim_api.h"
#include "simlink/sim_client.h"
#include "simlink/sim_queues.h"
#include "traffic_service/traffic_reader.h"

std::atomic<std::int32_t> tickCounter{0};
bool fastRangeRequest = false;
UserAcState& engineUserAcState = *new UserAcState{};
std::int32_t liveInSimCount = 0;
std::vector<CreationInFlight>& creationsInFlight = *new std::vector<CreationInFlight>;
std::vector<RemovalInFlight>& removalsInFlight = *new std::vector<RemovalInFlight>;

namespace {

bool lf_isLive(const SimAc& ac) { return ac.aircraftId > 10000; }

bool lf_countsInSim(const LiveAc& a)
{
    return (a.simState == SimState::adding2sim || a.simState == SimState::active) && !a.removedWhileQueued &&
           !a.removedInBuffer;
}

// A creation the simulator layer refused or never tied to an object: its
// record goes (live: erased by the next update pass; static: at once).
void lf_dropCreation(std::uint32_t aircraftId, const char* why)
{
    if (aircraftId > 10000) {
        for (LiveAc& ac : liveAircraft) {
            if (ac.aircraftId != aircraftId || ac.simState != SimState::adding2sim || ac.objectId != 0) continue;
            logLineMarked(vr::format("{} {} {}: record erased", "lf_timedQueues", acDescription(ac), why));
            if (!ac.removedWhileQueued && !ac.removedInBuffer) --liveInSimCount;
            ac.removedWhileQueued = true;
            return;
        }
        return;
    }
    for (std::size_t i = 0; i < staticAircraft.size(); ++i) {
        SimAc& st = staticAircraft[i];
        if (st.aircraftId != aircraftId || st.simState != SimState::adding2sim || st.objectId != 0) continue;
        logLineMarked(vr::format("{} {} {}: record erased", "lf_timedQueues", acDescription(st), why));
        if (i + 1 != staticAircraft.size()) st = std::move(staticAircraft.back());
        staticAircraft.pop_back();
        return;
    }
}

void lf_handOverCreation(std::deque<AcCreation>& queue)
{
    const AcCreation creation = std::move(queue.front());
    queue.pop_front();
    if (queueAcCreation(creation)) {
        creationsInFlight.push_back({creation.aircraftId, tickCounter.load()});
        if (&queue == &liveCreationQueue) markStartMoment(StartMoment::firstCreationQueued);
    } else
        lf_dropCreation(creation.aircraftId, "creation refused");
}

void lf_rangeRequest()
{
    std::lock_guard lock(simQueueMutex);
    if (simErrorFlag.load()) return;
    const auto radius = static_cast<DWORD>(std::max<std::int32_t>(rangeMetres.load(), 0));
    if (simApi().requestDataOnSimObjectType(REQUEST_GROUND_INFO, DEF_GROUND_INFO, radius,
                                            SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT) < 0) {
        logLineMarked("SimConnect request ac within range fails");
        reportSimConnectError();
    }
}

// The creation pacing: a creation goes when 50 ticks and half a second of the
// program clock have passed since the one before (the main cycle runs late
// ticks back to back, so 50 ticks alone can be less than half a second), and
// at once when none went yet. The placing of the next static aircraft keeps
// its slot every 50 ticks.
struct CreationPace {
    bool slotOpen = false;
    bool sentBefore = false;
    std::int32_t lastTick = 0;
    platform::Clock::TimePoint lastAt{};
    // The run's first live creation is followed by one range request of its
    // own, so its object is tied without waiting for the next regular one.
    bool liveSentBefore = false;
    std::int32_t earlyRangeTick = -1;
};
CreationPace lf_creationPace;

constexpr std::int32_t lf_creationTicks = 50;
constexpr auto lf_creationSpacing = std::chrono::milliseconds(500);
// Ticks from the run's first live creation to its own range request.
constexpr std::int32_t lf_earlyRangeTicks = 20;

bool lf_creationDue(std::int32_t tick)
{
    if (tick % lf_creationTicks == 0) lf_creationPace.slotOpen = true;
    if (!lf_creationPace.sentBefore) return true;
    return tick - lf_creationPace.lastTick >= lf_creationTicks &&
           platform::steadyNow() - lf_creationPace.lastAt >= lf_creationSpacing;
}

void lf_creationSent(std::int32_t tick)
{
    lf_creationPace.slotOpen = false;
    lf_creationPace.sentBefore = true;
    lf_creationPace.lastTick = tick;
    lf_creationPace.lastAt = platform::steadyNow();
}

// The update pass walks hundreds of records of 22 cache lines each, 1408 bytes
// apart, with the caches cold after the 10 ms between two ticks: too far apart
// for the hardware's own prefetch, so each record's lines were fetched one miss
// after the other. The pass asks for them ahead: the line of the state (all a
// buffered aircraft reads) some records ahead, and once that has come, the
// lines an active aircraft reads (from its turn steps to the roll's copy of
// its aimed sample) a few records ahead. Only hints: nothing else changes.
constexpr std::size_t lf_stateAhead = 16;
constexpr std::size_t lf_linesAhead = 6;

void lf_prefetchRange(const void* from, const void* to)
{
    const auto* p = static_cast<const char*>(from);
    const auto* end = static_cast<const char*>(to);
    for (; p <= end; p += 64) __builtin_prefetch(p);
}

void lf_prefetchState(const LiveAc& ac) { lf_prefetchRange(&ac.simState, &ac.phase); }

void lf_prefetchActive(const LiveAc& ac)
{
    if (ac.simState == SimState::active) lf_prefetchRange(&ac.groundTurnStep, &ac.rollAim);
}

void lf_zeroPanelCount(std::atomic<std::int32_t>& value, bool& changed)
{
    if (value.exchange(0) != 0) changed = true;
}

}  // namespace

void lf_handleAddingStack()
{
    lf_mergeBufferedRecords();
    processSimReplies();
    lf_updateAllLiveAc();
    lf_timedQueues();
    {
        std::lock_guard lock(addingMutex);
        for (int i = 0; i < 2 && !addingStack.empty(); ++i) {
            lf_mergeTrafficRecord(addingStack.back());
            addingStack.pop_back();
        }
    }
    lf_prepareCreation();
    lf_dropUntiedCreations();
    const std::int32_t tick = tickCounter.load();
    if (tick % (fastRangeRequest ? 20 : 100) == 0 || tick == lf_creationPace.earlyRangeTick) lf_rangeRequest();
    if (tick % 100 == 0) engineUserAcState = requestUserAcPosition();
    tickCounter.fetch_add(1);
}

void lf_updateAllLiveAc()
{
    const std::size_t n = liveAircraft.size();
    std::int32_t inSim = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (i + lf_stateAhead < n) lf_prefetchState(liveAircraft[i + lf_stateAhead]);
        inSim += lf_countsInSim(liveAircraft[i]) ? 1 : 0;
    }
    liveInSimCount = inSim;
    bool erase = false;
    // By index: nothing below appends to or erases from the vector.
    for (std::size_t i = 0; i < n; ++i) {
        if (i + lf_linesAhead < n) lf_prefetchActive(liveAircraft[i + lf_linesAhead]);
        erase |= updateLiveAc(liveAircraft[i]);
    }
    if (erase) std::erase_if(liveAircraft, [](const LiveAc& a) { return a.removedInBuffer || a.removedWhileQueued; });
    handOverPositions();
}

void lf_timedQueues()
{
    const std::int32_t tick = tickCounter.load();
    if (tick % 10 == 0 && !removalDeque.empty()) {
        queueAcRemoval(removalDeque.front());
        removalsInFlight.push_back({removalDeque.front(), tick});
        removalDeque.pop_front();
    }
    if (!lf_creationDue(tick)) return;
    if (!liveCreationQueue.empty()) {
        lf_handOverCreation(liveCreationQueue);
        lf_creationSent(tick);
        if (!std::exchange(lf_creationPace.liveSentBefore, true))
            lf_creationPace.earlyRangeTick = tick + lf_earlyRangeTicks;
        return;
    }
    if (!staticCreationQueue.empty()) {
        lf_handOverCreation(staticCreationQueue);
        lf_creationSent(tick);
    } else if (lf_creationPace.slotOpen) {
        lf_creationPace.slotOpen = false;
    } else {
        return;
    }
    if (!parkingSelections.empty()) placeStaticAircraft();
}

void lf_prepareCreation()
{
    if (pendingCreationIds.empty()) return;
    const std::uint32_t id = pendingCreationIds.back();
    pendingCreationIds.pop_back();
    const auto it = std::find_if(liveAircraft.begin(), liveAircraft.end(), [id](const LiveAc& a) {
        return a.aircraftId == id && a.simState == SimState::adding2sim && a.objectId == 0;
    });
    if (it == liveAircraft.end()) return;
    if (it->callsign.empty()) {
        logLineMarked(vr::format("{} {} objectid = 0?", "lf_handleAddingStack", acDescription(*it)));
        // Never created: it must not wait in adding2sim for ever.
        --liveInSimCount;
        it->removedWhileQueued = true;
        return;
    }
    lf_pushCreation(liveCreationQueue, liveAcCreation(*it));
}

void lf_dropUntiedCreations()
{
    const std::int32_t tick = tickCounter.load();
    std::erase_if(creationsInFlight, [tick](const CreationInFlight& c) {
        if (static_cast<std::int64_t>(tick) - c.handedTick <= creationTieLimitTicks) return false;
        lf_dropCreation(c.aircraftId, "no object created");
        return true;
    });
    std::erase_if(removalsInFlight, [tick](const RemovalInFlight& r) {
        if (static_cast<std::int64_t>(tick) - r.handedTick <= removalConfirmTicks) return false;
        logLineMarked(vr::format("lf_handleAddingStack: removal of object {} not confirmed after {} s", r.objectId,
                                 removalConfirmTicks / 100));
        return true;
    });
}

std::int32_t lf_earlyRangeTick() { return lf_creationPace.earlyRangeTick; }

void removeAircraftFromSim(SimAc& ac)
{
    switch (ac.simState) {
    case SimState::buffer:
        ac.removedInBuffer = true;
        return;
    case SimState::adding2sim:
        if (ac.removeAfterCreate || ac.removedWhileQueued) return;
        if (isCreationPending(liveCreationQueue, ac.callsign, ac.aircraftId) ||
            isCreationPending(staticCreationQueue, ac.callsign, ac.aircraftId)) {
            ac.removedWhileQueued = true;
            if (lf_isLive(ac)) --liveInSimCount;
        } else {
            ac.removeAfterCreate = true;
        }
        return;
    case SimState::removingfromsim:
        // Its removal is on its way already: a second one could hit an object
        // the simulator made since under the same id.
        return;
    case SimState::active:
    case SimState::liveryrespawn:
        break;
    }
    if (lf_isLive(ac) && ac.simState == SimState::active) --liveInSimCount;
    if (lf_isLive(ac)) {
        clearStandTaken(ac.standId, ac.aircraftId);
    }
    // A livery re-creation has queued the removal of its object already: the
    // record now goes with that removal instead of coming back to the buffer.
    const bool removalQueued = ac.simState == SimState::liveryrespawn;
    ac.simState = SimState::removingfromsim;
    if (removalQueued) return;
    if (ac.objectId != 0) {
        removalDeque.push_back(ac.objectId);
    } else {
        logLineMarked(vr::format("{} removing act {}, with objectid=0 ?", "removeAircraftFromSim", acDescription(ac)));
    }
}

void queueAcEvent(const SimAc& ac, std::uint32_t eventId, std::uint32_t data)
{
    queueClientEvent({ac.objectId, eventId, data});
}

void shutDownAc(SimAc& ac)
{
    if (ac.throttleStep != 0) {
        queueAcEvent(ac, EVENT_THROTTLE_SET, throttleValues[0]);
        ac.throttleStep = 0;
    }
    gf_setFlaps(ac, 0);
    queueAcEvent(ac, EVENT_ENGINE_AUTO_SHUTDOWN, 0);
    const std::uint32_t cabin = ac.cargoLook ? 0 : (tlRandomEngine()() % 10 <= 8 ? 1 : 0);
    setAcLights(ac.objectId, {NAV_LIGHTS_WHILE_PARKED.get() ? 1u : 0u, 0, 0, 0, 0, 1, cabin});
}

void setThrottle(SimAc& ac, std::uint32_t step)
{
    if (step == ac.throttleStep) return;
    if (step < throttleValues.size()) queueAcEvent(ac, EVENT_THROTTLE_SET, throttleValues[step]);
    ac.throttleStep = step;
}

void gf_setFlaps(SimAc& ac, std::uint32_t index)
{
    if (index == ac.flapsIndex || ac.category == AcCategory::Rotorcraft) return;
    if (index < flapsValues.size())
        queueAcEvent(ac, EVENT_FLAPS_SET, flapsValues[index]);
    else
        logLineMarked("gf_setFlaps: invalid flaps index");
    ac.flapsIndex = index;
}

void lf_reserveEngineContainers()
{
    liveAircraft.reserve(512);
    staticAircraft.reserve(256);
    {
        std::lock_guard lock(simReplyMutex);
        simReplies.reserve(256);
    }
    createdObjects.reserve(128);
    pendingCreationIds.reserve(64);
    GhostCallsigns.reserve(64);
    parkingSelections.reserve(512);
    slotMarks.reserve(512);
    liveParkedList.reserve(128);
    creationsInFlight.reserve(64);
    removalsInFlight.reserve(64);
}

void removeAllAiObjects()
{
    lf_creationPace = {};
    airportServices().resetForNewRun();
    trafficReader().setReferenceElevation(std::nullopt);
    bool changed = false;
    StatusPanel& panel = statusPanel();
    lf_zeroPanelCount(panel.liveCount, changed);
    lf_zeroPanelCount(panel.liveParkedCount, changed);
    lf_zeroPanelCount(panel.staticsInSlot, changed);
    lf_zeroPanelCount(panel.standUpdates, changed);
    if (changed) repaintStatusPanel();
    (void)takeSimReplies();
    createdObjects.clear();
    GhostCallsigns.clear();
    liveryServices().clearRememberedTitles();
    clearTimedQueues();
    creationsInFlight.clear();
    removalsInFlight.clear();
    staticAircraft.clear();
    {
        std::lock_guard lock(addingMutex);
        addingStack.clear();
        bufferedRecords.clear();
    }
    fastRangeRequest = false;
    liveAircraft.clear();
    liveInSimCount = 0;
    engineQnh = 1013;
    currentSlotAndWeekday = 0;
    UnmatchedLiveKeys.clear();
    IdentityCheckQueue.clear();
    engineUserAcState = UserAcState{};
    clearStandState();
}
