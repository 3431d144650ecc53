#include "support/sim_world.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "core/geodesy.h"
#include "simlink/sim_client.h"
#include "simlink/user_aircraft.h"
#include "simstandin/sim_messages.h"

namespace {

constexpr double lf_degToRad = 0.017453292519943295;
constexpr std::uint32_t lf_aircraftType = 2;
constexpr std::uint32_t lf_dataReply = SIMCONNECT_RECV_ID_SIMOBJECT_DATA;
constexpr std::uint32_t lf_dataByTypeReply = SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE;

template <class Block>
simstandin::Bytes lf_bytes(const Block& block)
{
    simstandin::Bytes b(sizeof block);
    std::memcpy(b.data(), &block, sizeof block);
    return b;
}

void lf_dispatch(std::vector<std::uint8_t>& message)
{
    simDispatchProc(reinterpret_cast<SIMCONNECT_RECV*>(message.data()), static_cast<DWORD>(message.size()), nullptr);
}

}  // namespace

double WorldObject::altAboveGround(const SimWorldOptions& o) const
{
    return std::max(0.0, position.altitude - o.groundAltitudeFt);
}

bool WorldObject::onGround(const SimWorldOptions& o) const
{
    if (positionWrites == 0) return createdOnGround;
    return altAboveGround(o) <= o.onGroundMarginFt;
}

SimWorld::SimWorld(SimWorldOptions options) : options_(std::move(options)), nextObjectId_(options_.firstObjectId) {}

void SimWorld::lf_queue(std::vector<std::uint8_t> message)
{
    pending_.push_back(std::move(message));
}

std::vector<std::uint8_t> SimWorld::lf_groundInfoMessage(const WorldObject& o, std::uint32_t entry,
                                                         std::uint32_t outOf, std::uint32_t requestId) const
{
    GroundInfoBlock g{};
    g.altAboveGround = o.altAboveGround(options_);
    g.groundAltitude = options_.groundAltitudeFt;
    g.onGround = o.onGround(options_) ? 1 : 0;
    std::memcpy(g.atcId, o.tail.data(), std::min(o.tail.size(), sizeof g.atcId - 1));
    const std::uint32_t kind = requestId == REQUEST_GROUND_INFO ? lf_dataByTypeReply : lf_dataReply;
    return simstandin::makeObjectData(kind, requestId, o.objectId, DEF_GROUND_INFO, entry, outOf, 4, lf_bytes(g));
}

HRESULT SimWorld::transmitClientEvent(DWORD objectId, DWORD eventId, DWORD data)
{
    const HRESULT hr = SimApiFake::transmitClientEvent(objectId, eventId, data);
    if (hr != 0) return hr;
    std::lock_guard lock(mutex_);
    if (auto it = objects_.find(objectId); it != objects_.end()) it->second.events[eventId] = data;
    return hr;
}

HRESULT SimWorld::setDataOnSimObject(DWORD defineId, DWORD objectId, DWORD unitSize, const void* data)
{
    // Position writes come for every object on every frame: recorded only when asked.
    if (defineId != DEF_AC_POSITION || options_.recordPositionWrites) {
        const HRESULT hr = SimApiFake::setDataOnSimObject(defineId, objectId, unitSize, data);
        if (hr != 0) return hr;
    }
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(objectId);
    if (it == objects_.end()) {
        if (defineId == DEF_AC_POSITION) ++strayWrites_;
        return 0;
    }
    WorldObject& o = it->second;
    if (defineId == DEF_AC_POSITION && unitSize >= sizeof(AcPositionBlock) && data) {
        o.previous = o.position;
        std::memcpy(&o.position, data, sizeof o.position);
        ++o.positionWrites;
    } else if (defineId == DEF_ENGINE && unitSize >= sizeof(EngineBlock) && data) {
        EngineBlock e;
        std::memcpy(&e, data, sizeof e);
        o.engine = e;
    }
    return 0;
}

HRESULT SimWorld::requestDataOnSimObject(DWORD requestId, DWORD defineId, DWORD objectId, SIMCONNECT_PERIOD period)
{
    const HRESULT hr = SimApiFake::requestDataOnSimObject(requestId, defineId, objectId, period);
    if (hr != 0) return hr;
    std::lock_guard lock(mutex_);
    if (requestId == REQUEST_STATIC_ATTITUDE && defineId == DEF_STATIC_ATTITUDE && objects_.count(objectId)) {
        lf_queue(simstandin::makeObjectData(lf_dataReply, requestId, objectId, defineId, 0, 1, 2,
                                            lf_bytes(options_.staticAttitude)));
    } else if (defineId == DEF_GROUND_INFO && objects_.count(objectId)) {
        WorldObject& o = objects_.at(objectId);
        if (o.tiedAtAnswer == 0) o.tiedAtAnswer = answers_ + 1;
        lf_queue(lf_groundInfoMessage(o, 0, 1, requestId));  // one object's answer
    } else if (requestId == REQUEST_USER_STATE && defineId == DEF_USER_STATE) {
        lf_queue(simstandin::makeObjectData(lf_dataReply, requestId, options_.userObjectId, defineId, 0, 1, 12,
                                            lf_bytes(user_)));
    } else if (requestId == REQUEST_USER_ON_GROUND && defineId == DEF_ON_GROUND) {
        const std::int64_t flag = userOnGround_ ? 1 : 0;
        lf_queue(simstandin::makeObjectData(lf_dataReply, requestId, options_.userObjectId, defineId, 0, 1, 1,
                                            lf_bytes(flag)));
    }
    return hr;
}

HRESULT SimWorld::requestDataOnSimObjectType(DWORD requestId, DWORD defineId, DWORD radiusMetres,
                                             SIMCONNECT_SIMOBJECT_TYPE type)
{
    const HRESULT hr = SimApiFake::requestDataOnSimObjectType(requestId, defineId, radiusMetres, type);
    if (hr != 0) return hr;
    if (requestId != REQUEST_GROUND_INFO || defineId != DEF_GROUND_INFO) return hr;
    std::lock_guard lock(mutex_);
    const LatLon user{user_.latitude, user_.longitude};
    const double radius = radiusMetres + options_.radiusSlackMetres;
    std::vector<const WorldObject*> found;
    for (const auto& [id, o] : objects_) {
        if (distanceNm(user, {o.position.latitude, o.position.longitude}) * 1852.0 <= radius) found.push_back(&o);
    }
    if (found.empty()) {
        lf_queue(simstandin::makeObjectData(lf_dataByTypeReply, requestId, 0, defineId, 0, 0, 0, {}));
        return hr;
    }
    const auto outOf = static_cast<std::uint32_t>(found.size());
    for (std::uint32_t i = 0; i < outOf; ++i) {
        WorldObject& o = objects_.at(found[i]->objectId);
        if (o.tiedAtAnswer == 0) o.tiedAtAnswer = answers_ + 1;
        lf_queue(lf_groundInfoMessage(o, i + 1, outOf));
    }
    return hr;
}

HRESULT SimWorld::aiCreateNonAtcAircraft(const char* title, const char* tail,
                                         const SIMCONNECT_DATA_INITPOSITION& position, DWORD requestId,
                                         DWORD* packetId)
{
    DWORD packet = 0;
    const HRESULT hr = SimApiFake::aiCreateNonAtcAircraft(title, tail, position, requestId, &packet);
    if (packetId) *packetId = packet;
    if (hr != 0) return hr;
    std::lock_guard lock(mutex_);
    if (options_.failingTitles.count(title)) {
        events_.push_back({WorldEvent::refused, 0, tail, title, answers_ + 1});
        lf_queue(simstandin::makeException(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, packet, 1));
        return hr;
    }
    WorldObject o;
    o.objectId = nextObjectId_++;
    o.title = title;
    o.tail = tail;
    o.position.latitude = position.Latitude;
    o.position.longitude = position.Longitude;
    o.position.altitude = position.Altitude;
    o.position.pitch = position.Pitch * lf_degToRad;
    o.position.bank = position.Bank * lf_degToRad;
    o.position.heading = position.Heading * lf_degToRad;
    o.position.trueAirspeed = position.Airspeed;
    o.previous = o.position;
    o.createdOnGround = position.OnGround != 0;
    o.createdAtAnswer = answers_ + 1;
    events_.push_back({WorldEvent::created, o.objectId, o.tail, o.title, answers_ + 1});
    lf_queue(simstandin::makeObjectAddRemove(EVENT_OBJECT_ADDED, o.objectId, lf_aircraftType));
    objects_.emplace(o.objectId, std::move(o));
    return hr;
}

HRESULT SimWorld::aiReleaseControl(DWORD objectId, DWORD requestId)
{
    const HRESULT hr = SimApiFake::aiReleaseControl(objectId, requestId);
    if (hr != 0) return hr;
    std::lock_guard lock(mutex_);
    if (auto it = objects_.find(objectId); it != objects_.end()) ++it->second.releases;
    return hr;
}

HRESULT SimWorld::aiRemoveObject(DWORD objectId, DWORD requestId)
{
    const HRESULT hr = SimApiFake::aiRemoveObject(objectId, requestId);
    if (hr != 0) return hr;
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(objectId);
    if (it == objects_.end()) return hr;  // the simulator ignores an unknown object
    events_.push_back({WorldEvent::removed, objectId, it->second.tail, it->second.title, answers_ + 1});
    objects_.erase(it);
    if (options_.confirmRemovals) {
        lf_queue(simstandin::makeObjectAddRemove(EVENT_OBJECT_REMOVED, objectId, lf_aircraftType));
    } else {
        heldRemovals_.push_back(objectId);
    }
    return hr;
}

HRESULT SimWorld::aiSetAircraftFlightPlan(DWORD objectId, const char* path, DWORD requestId)
{
    const HRESULT hr = SimApiFake::aiSetAircraftFlightPlan(objectId, path, requestId);
    if (hr != 0) return hr;
    std::lock_guard lock(mutex_);
    if (auto it = objects_.find(objectId); it != objects_.end()) it->second.flightPlan = path;
    return hr;
}

std::size_t SimWorld::answer()
{
    std::vector<std::vector<std::uint8_t>> messages;
    {
        std::lock_guard lock(mutex_);
        messages.swap(pending_);
        ++answers_;
    }
    // The handlers take simQueueMutex and the reply mutex: no lock of ours is held.
    for (auto& m : messages) lf_dispatch(m);
    return messages.size();
}

std::uint32_t SimWorld::answers() const
{
    std::lock_guard lock(mutex_);
    return answers_;
}

void SimWorld::setUser(const UserAcState& state, bool onGround)
{
    {
        std::lock_guard lock(mutex_);
        user_ = state;
        userOnGround_ = onGround;
    }
    // The per-second on-ground reply (the layer keeps it once a user position was reported).
    onUserOnGround(onGround ? 1 : 0);
}

UserAcState SimWorld::user() const
{
    std::lock_guard lock(mutex_);
    return user_;
}

std::vector<WorldObject> SimWorld::objects() const
{
    std::lock_guard lock(mutex_);
    std::vector<WorldObject> out;
    out.reserve(objects_.size());
    for (const auto& [id, o] : objects_) out.push_back(o);
    return out;
}

std::optional<WorldObject> SimWorld::object(std::uint32_t objectId) const
{
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(objectId);
    if (it == objects_.end()) return std::nullopt;
    return it->second;
}

std::optional<WorldObject> SimWorld::objectByTail(const std::string& tail) const
{
    std::lock_guard lock(mutex_);
    for (const auto& [id, o] : objects_) {
        if (o.tail == tail) return o;
    }
    return std::nullopt;
}

std::size_t SimWorld::objectCount() const
{
    std::lock_guard lock(mutex_);
    return objects_.size();
}

std::vector<WorldEvent> SimWorld::events() const
{
    std::lock_guard lock(mutex_);
    return events_;
}

std::uint32_t SimWorld::strayPositionWrites() const
{
    std::lock_guard lock(mutex_);
    return strayWrites_;
}

void SimWorld::releaseRemovals()
{
    std::lock_guard lock(mutex_);
    for (const std::uint32_t id : heldRemovals_) {
        lf_queue(simstandin::makeObjectAddRemove(EVENT_OBJECT_REMOVED, id, lf_aircraftType));
    }
    heldRemovals_.clear();
}

void SimWorld::setConfirmRemovals(bool on)
{
    std::lock_guard lock(mutex_);
    options_.confirmRemovals = on;
}

void SimWorld::refuseTitle(const std::string& title)
{
    std::lock_guard lock(mutex_);
    options_.failingTitles.insert(title);
}
