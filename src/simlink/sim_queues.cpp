#include "simlink/sim_queues.h"

#include <algorithm>
#include <cstring>

#include "core/app_services.h"
#include "core/fmt.h"
#include "core/log.h"
#include "core/time.h"
#include "simlink/sim_api.h"
#include "simlink/sim_client.h"
#include "simlink/user_aircraft.h"

// Never destroyed: a detached thread may still queue while the process exits.
std::mutex& simQueueMutex = *new std::mutex;
PositionBuffers& positionQueue = *new PositionBuffers;
std::vector<QueuedEvent>& eventQueue = *new std::vector<QueuedEvent>;
std::vector<AcCreation>& creationQueue = *new std::vector<AcCreation>;
std::vector<std::uint32_t>& removalQueue = *new std::vector<std::uint32_t>;
std::mutex& keptCreationsMutex = *new std::mutex;
std::vector<KeptCreation>& keptCreations = *new std::vector<KeptCreation>;
std::atomic<int> expectedSimMajor{5};

namespace {

constexpr std::size_t lf_reserved = 256;

// What one flush sends, taken out of the queues under simQueueMutex and sent
// after it is released (under the flush lock). The vectors trade places with
// the queues, so both keep their capacity.
struct FlushBatch {
    std::vector<QueuedPosition> positions;
    std::vector<QueuedEvent> events;
    std::vector<AcCreation> creations;
    std::vector<std::uint32_t> removals;
};
FlushBatch& lf_flushBatch = *new FlushBatch;
std::mutex& lf_flushMutex = *new std::mutex;

// Something waits for the flush; written under simQueueMutex.
std::atomic<bool> lf_holdWork{false};

// The ATC id of a ground-info block: at most its 32-byte field, up to its zero.
std::string lf_atcId(const GroundInfoBlock& block)
{
    return std::string(block.atcId, ::strnlen(block.atcId, sizeof block.atcId));
}

}  // namespace

PositionBuffers::PositionBuffers()
{
    for (auto& b : buffers_) b.reserve(lf_reserved);
}

void PositionBuffers::swapLocked()
{
    write_ = 1 - write_;
    buffers_[write_].clear();
}

void PositionBuffers::resetLocked()
{
    for (auto& b : buffers_) b.clear();
    write_ = 0;
}

void initSimQueues(int major)
{
    expectedSimMajor = major;
    lf_flushBatch.positions.reserve(lf_reserved);
    lf_flushBatch.events.reserve(lf_reserved);
    lf_flushBatch.creations.reserve(lf_reserved);
    lf_flushBatch.removals.reserve(lf_reserved);
    {
        std::lock_guard lock(simQueueMutex);
        eventQueue.reserve(lf_reserved);
        creationQueue.reserve(lf_reserved);
        removalQueue.reserve(lf_reserved);
    }
    {
        std::lock_guard lock(keptCreationsMutex);
        keptCreations.reserve(lf_reserved);
    }
    addedObjectIds.reserve(lf_reserved);
    simErrorFlag = false;
}

void handOverPositions()
{
    std::unique_lock lock(simQueueMutex, std::try_to_lock);
    if (!lock.owns_lock()) {
        if (frameRate.load() <= 50.0f) {
            positionQueue.write().clear();  // the simulator keeps the previous positions
            return;
        }
        lock.lock();
    }
    positionQueue.swapLocked();
    if (!positionQueue.sendLocked().empty()) lf_holdWork = true;
}

bool simQueuesHoldWork() { return lf_holdWork.load(); }

bool queueAcCreationLocked(const AcCreation& creation)
{
    if (!creationFits(creation)) {
        logLineMarked(vr::format("Creation refused, tail or title too long: hexid:{}, liv: '{}', callsign: {}",
                                 creation.aircraftId, creation.liveryTitle, creation.callsign));
        return false;
    }
    creationQueue.push_back(creation);
    lf_holdWork = true;
    return true;
}

bool queueAcCreation(const AcCreation& creation)
{
    std::lock_guard lock(simQueueMutex);
    return queueAcCreationLocked(creation);
}

void queueClientEventLocked(const QueuedEvent& event)
{
    eventQueue.push_back(event);
    lf_holdWork = true;
}

void queueClientEvent(const QueuedEvent& event)
{
    std::lock_guard lock(simQueueMutex);
    queueClientEventLocked(event);
}

void setAcLightsLocked(std::uint32_t objectId, const std::array<std::uint32_t, 7>& values)
{
    static constexpr std::array<std::uint32_t, 7> events{EVENT_NAV_LIGHTS,   EVENT_BEACON_LIGHTS, EVENT_LANDING_LIGHTS,
                                                         EVENT_TAXI_LIGHTS,  EVENT_STROBES,       EVENT_LOGO_LIGHTS,
                                                         EVENT_CABIN_LIGHTS};
    for (std::size_t i = 0; i < events.size(); ++i) eventQueue.push_back({objectId, events[i], values[i]});
    lf_holdWork = true;
}

void setAcLights(std::uint32_t objectId, const std::array<std::uint32_t, 7>& values)
{
    std::lock_guard lock(simQueueMutex);
    setAcLightsLocked(objectId, values);
}

void setCabinLightsLocked(std::uint32_t objectId, std::uint32_t value)
{
    eventQueue.push_back({objectId, EVENT_CABIN_LIGHTS, value});
    lf_holdWork = true;
}

void setCabinLights(std::uint32_t objectId, std::uint32_t value)
{
    std::lock_guard lock(simQueueMutex);
    setCabinLightsLocked(objectId, value);
}

void queueAcRemovalLocked(std::uint32_t objectId)
{
    removalQueue.push_back(objectId);
    lf_holdWork = true;
}

void queueAcRemoval(std::uint32_t objectId)
{
    std::lock_guard lock(simQueueMutex);
    queueAcRemovalLocked(objectId);
}

void createAcInSim(const AcCreation& creation)
{
    DWORD packetId = 0;
    const HRESULT hr = simApi().aiCreateNonAtcAircraft(creation.liveryTitle.c_str(), creation.callsign.c_str(),
                                                       creation.initPosition, REQUEST_CREATE, &packetId);
    if (hr != scOk) {
        logLineMarked(vr::format("! Simcon call to create ac in sim failed, hexid:{}, liv: '{}', callsign: {})",
                                 creation.aircraftId, creation.liveryTitle, creation.callsign));
        // A text that does not fit is this aircraft's fault, not the connection's:
        // the same traffic would fail again after every restart.
        if (hr != scTextTooLong) reportSimConnectError();
        return;
    }
    std::lock_guard lock(keptCreationsMutex);
    keptCreations.push_back({packetId, creation.aircraftId, creation.callsign});
}

std::mutex& simFlushMutex()
{
    return lf_flushMutex;
}

void flushSimQueues(FlushLock how)
{
    const std::lock_guard flushing(lf_flushMutex);
    FlushBatch& batch = lf_flushBatch;
    {
        std::unique_lock lock(simQueueMutex, std::defer_lock);
        if (how == FlushLock::waitWhenBusy) {
            lock.lock();
            if (simHandle.load() == nullptr) return;  // closed: nothing goes out, the queues stay
        } else if (!lock.try_lock()) {
            return;  // the engine holds the queues: next frame
        }
        lf_holdWork = false;  // everything is taken below
        if (simErrorFlag) {
            positionQueue.sendLocked().clear();
            eventQueue.clear();
            creationQueue.clear();
            removalQueue.clear();
            return;
        }
        // Taken out under the lock, sent without it: the engine's hand-over
        // never waits for a frame being sent.
        batch.positions.swap(positionQueue.sendLocked());
        batch.events.swap(eventQueue);
        batch.creations.swap(creationQueue);
        batch.removals.swap(removalQueue);
    }
    ISimConnectApi& api = simApi();
    const std::uint32_t user = userObjectId.load();
    const SimBatch oneWrite(api);

    auto& positions = batch.positions;
    for (const QueuedPosition& p : positions) {
        if (p.objectId > user) {
            api.setDataOnSimObject(DEF_AC_POSITION, p.objectId, sizeof(AcPositionBlock), &p.block);
        }
    }
    positions.clear();

    for (const QueuedEvent& e : batch.events) {
        const bool flaps = e.eventId == EVENT_FLAPS_SET;
        // The simulator's AI would move the flaps back: release it around the event.
        if (flaps) api.aiReleaseControl(e.objectId, REQUEST_RELEASE_CONTROL);
        if (api.transmitClientEvent(e.objectId, e.eventId, e.data) != scOk) {
            showMessage(vr::format("SimConnect TransmitClientEvent: {} fails", e.eventId), true);
            continue;
        }
        if (flaps) api.aiReleaseControl(e.objectId, REQUEST_RELEASE_CONTROL);
    }
    batch.events.clear();

    for (const AcCreation& c : batch.creations) createAcInSim(c);
    batch.creations.clear();

    for (const std::uint32_t id : batch.removals) {
        if (id <= user) {
            logLineMarked(vr::format("SimConnect call to remove ac with objectid {}", id));
            continue;
        }
        if (api.aiRemoveObject(id, REQUEST_REMOVE) != scOk) {
            logLineMarked(vr::format("{} !SimConnect call to remove AI ac from sim failed, id {}?", timeOfDay(), id));
            reportSimConnectError();
        }
    }
    batch.removals.clear();
}

void releaseCreatedAc(std::uint32_t objectId)
{
    std::lock_guard lock(simQueueMutex);
    simApi().aiReleaseControl(objectId, REQUEST_RELEASE_CONTROL);
    for (const std::uint32_t e : {EVENT_FREEZE_LAT_LON, EVENT_FREEZE_ALTITUDE, EVENT_FREEZE_ATTITUDE}) {
        queueClientEventLocked({objectId, e, 1});
    }
}

UserAcState requestUserAcPosition()
{
    std::lock_guard lock(simQueueMutex);
    if (!simErrorFlag && simApi().requestDataOnSimObject(REQUEST_USER_STATE, DEF_USER_STATE, SIMCONNECT_OBJECT_ID_USER,
                                                         SIMCONNECT_PERIOD_ONCE) != scOk) {
        logLineMarked("SimConnect request user ac position fails");
        reportSimConnectError();
    }
    handedUserAcStateLocked() = userAcStateLocked();
    return userAcStateLocked();
}

void requestUserAcTitleModel()
{
    std::lock_guard lock(simQueueMutex);
    ISimConnectApi& api = simApi();
    if (api.requestDataOnSimObject(REQUEST_USER_TITLE, DEF_TITLE, SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_ONCE) !=
        scOk) {
        logLineMarked("SimConnect request user ac title fails");
        reportSimConnectError();
    }
    if (api.requestDataOnSimObject(REQUEST_USER_MODEL, DEF_ATC_MODEL, SIMCONNECT_OBJECT_ID_USER,
                                   SIMCONNECT_PERIOD_ONCE) != scOk) {
        logLineMarked("SimConnect reques user ac model fails");
        reportSimConnectError();
    }
}

bool onAddedObjectData(std::uint32_t objectId, const GroundInfoBlock& block)
{
    const auto added = std::find(addedObjectIds.begin(), addedObjectIds.end(), objectId);
    if (added == addedObjectIds.end()) return false;
    *added = addedObjectIds.back();
    addedObjectIds.pop_back();
    const std::string atcId = lf_atcId(block);
    std::uint32_t aircraftId = 0;
    if (!atcId.empty()) {
        std::lock_guard lock(keptCreationsMutex);
        const auto kept = std::find_if(keptCreations.begin(), keptCreations.end(),
                                       [&](const KeptCreation& k) { return k.callsign == atcId; });
        if (kept != keptCreations.end()) {
            aircraftId = kept->aircraftId;
            *kept = std::move(keptCreations.back());
            keptCreations.pop_back();
        }
    }
    if (aircraftId != 0) {
        releaseCreatedAc(objectId);
        if (aircraftId <= 10000) {
            pushSimReply({objectId, aircraftId, 0, replyStaticCreated, 0.0, 0.0});
        } else {
            pushSimReply({objectId, aircraftId, 0, replyLiveCreated, 0.0, block.altAboveGround});
        }
    } else {
        logLine(vr::format(
            "just spawned, but not by {}, oid: {}, callsign '{}', altaboveGnd:{:.0f} ft, onground:{}, gnd_alt:{:.0f} ft",
            simClientName, objectId, atcId, block.altAboveGround, block.onGround, block.groundAltitude));
    }
    return true;
}

void probeAddedObject(std::uint32_t objectId)
{
    std::lock_guard lock(simQueueMutex);
    if (simErrorFlag.load()) return;
    if (simApi().requestDataOnSimObject(REQUEST_NEW_OBJECT, DEF_GROUND_INFO, objectId, SIMCONNECT_PERIOD_ONCE) != scOk)
        logLineMarked(vr::format("SimConnect request for new object {} fails", objectId));
}

void onSimObjectDataByType(const SIMCONNECT_RECV* message, DWORD size)
{
    constexpr DWORD dataOffset = offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwData);
    const auto head = scReadMessage<SIMCONNECT_RECV_SIMOBJECT_DATA>(message, size);
    // An answer without aircraft (out-of 0) carries no block.
    if (head.dwRequestID != REQUEST_GROUND_INFO || size < dataOffset + sizeof(GroundInfoBlock)) return;
    const std::uint32_t objectId = head.dwObjectID;
    if (objectId <= userObjectId.load()) return;
    GroundInfoBlock block;
    std::memcpy(&block, reinterpret_cast<const std::uint8_t*>(message) + dataOffset, sizeof block);
    if (onAddedObjectData(objectId, block)) return;
    const std::string atcId = lf_atcId(block);
    if (block.altAboveGround <= 2500.0 && !atcId.empty() && atcId.back() != '*') {
        pushSimReply({objectId, static_cast<std::uint32_t>(block.onGround), 0, replyGroundInfo, block.groundAltitude,
                      block.altAboveGround});
    }
}

void resetSimQueues()
{
    {
        std::lock_guard lock(simQueueMutex);
        positionQueue.resetLocked();
        eventQueue.clear();
        creationQueue.clear();
        removalQueue.clear();
        lf_holdWork = false;
    }
    {
        std::lock_guard lock(keptCreationsMutex);
        keptCreations.clear();
    }
    addedObjectIds.clear();
}
