#include "simstandin/fake_sim_server.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <fstream>

#include "core/fmt.h"
#include "platform/clock.h"

namespace simstandin {
namespace {

using sc::Op;

std::string lf_lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

double lf_distanceMetres(double lat1, double lon1, double lat2, double lon2)
{
    constexpr double toRad = 3.14159265358979323846 / 180.0;
    const double dLat = (lat2 - lat1) * toRad, dLon = (lon2 - lon1) * toRad;
    const double a = std::sin(dLat / 2) * std::sin(dLat / 2) +
                     std::cos(lat1 * toRad) * std::cos(lat2 * toRad) * std::sin(dLon / 2) * std::sin(dLon / 2);
    return 2.0 * 6371008.8 * std::asin(std::min(1.0, std::sqrt(a)));
}

template <class T>
Bytes lf_bytesOf(const T& value)
{
    Bytes b(sizeof(T));
    std::memcpy(b.data(), &value, sizeof(T));
    return b;
}

// The object at an altitude: its height above the ground and, unless held,
// its on-ground flag follow.
void lf_placeAt(AiObject& o, double altitude, bool holdFlag)
{
    o.altitude = altitude;
    o.altAboveGround = std::max(0.0, altitude - o.groundAltitude);
    if (!holdFlag) o.onGround = o.altAboveGround <= o.staticAttitude.staticCgHeight + onGroundSlackFt;
}

Bytes lf_groundInfo(double agl, double groundAlt, bool onGround, const std::string& atcId)
{
    GroundInfoBlock g{};
    g.altAboveGround = agl;
    g.groundAltitude = groundAlt;
    g.onGround = onGround ? 1 : 0;
    std::memcpy(g.atcId, atcId.data(), std::min<std::size_t>(atcId.size(), 31));
    return lf_bytesOf(g);
}

Bytes lf_text(const std::string& text, std::size_t field)
{
    Bytes b(field, 0);
    std::memcpy(b.data(), text.data(), std::min(text.size(), field - 1));
    return b;
}

std::uint32_t lf_datumSize(std::uint32_t type)
{
    switch (type) {
    case SIMCONNECT_DATATYPE_INT32:
    case SIMCONNECT_DATATYPE_FLOAT32: return 4;
    case SIMCONNECT_DATATYPE_INT64:
    case SIMCONNECT_DATATYPE_FLOAT64:
    case SIMCONNECT_DATATYPE_STRING8: return 8;
    case SIMCONNECT_DATATYPE_STRING32: return 32;
    case SIMCONNECT_DATATYPE_STRING64: return 64;
    case SIMCONNECT_DATATYPE_STRING128: return 128;
    case SIMCONNECT_DATATYPE_STRING256: return 256;
    case SIMCONNECT_DATATYPE_STRING260: return 260;
    default: return 0;  // variable
    }
}

}  // namespace

double trackClockSeconds()
{
    return std::chrono::duration<double>(platform::steadyNow().time_since_epoch()).count();
}

FakeSimServer::FakeSimServer(StandInOptions options) : options_(std::move(options))
{
    user_.state.latitude = 47.4647;
    user_.state.longitude = 8.5492;
    user_.state.altitude = 1416.0;
    user_.groundAltitude = 1416.0;
    user_.state.zuluTime = 12 * 3600;
    user_.state.zuluDayOfYear = 150;
    user_.state.zuluYear = 2026;
}

FakeSimServer::~FakeSimServer()
{
    stop();
}

bool FakeSimServer::start()
{
    int err = 0;
    if (options_.listenIPv4) {
        auto l = platform::net::listenTcp(platform::net::Family::IPv4, options_.portIPv4, &err);
        if (l.fd == platform::net::invalidSocket) return false;
        listeners_.push_back(l.fd);
        portIPv4_ = l.port;
    }
    if (options_.listenIPv6) {
        auto l = platform::net::listenTcp(platform::net::Family::IPv6, options_.portIPv6, &err);
        if (l.fd == platform::net::invalidSocket) return false;
        listeners_.push_back(l.fd);
        portIPv6_ = l.port;
    }
    if (options_.listenPipe) {
        auto l = platform::net::listenPipe(options_.pipeName, &err);
        if (l.fd == platform::net::invalidSocket) return false;
        listeners_.push_back(l.fd);
    }
    thread_ = std::thread([this] { serve(); });
    return true;
}

void FakeSimServer::stop()
{
    if (thread_.joinable()) {
        stopping_ = true;
        wake_.signal();
        thread_.join();
    }
    for (auto fd : listeners_) platform::net::closeSocket(fd);
    listeners_.clear();
    std::lock_guard lock(clientMutex_);
    platform::net::closeSocket(client_);
    client_ = platform::net::invalidSocket;
}

void FakeSimServer::configure(const std::function<void(StandInOptions&)>& change)
{
    {
        std::lock_guard lock(mutex_);
        change(options_);
    }
    wake_.signal();
}

void FakeSimServer::dropClientLocked(bool graceful)
{
    if (client_ == platform::net::invalidSocket) return;
    if (graceful) {
        platform::net::shutdownBoth(client_);
        platform::net::closeSocket(client_);
    } else {
        platform::net::resetAndClose(client_);
    }
    client_ = platform::net::invalidSocket;
    closeRequest_ = 0;
    clientCv_.notify_all();
}

void FakeSimServer::serve()
{
    Bytes pending;
    std::vector<std::uint8_t> chunk(64 * 1024);
    while (!stopping_) {
        platform::net::Socket client;
        {
            std::lock_guard lock(clientMutex_);
            if (closeRequest_ != 0) dropClientLocked(closeRequest_ == 1);
            client = client_;
        }
        bool reading = true;
        {
            std::lock_guard lock(mutex_);
            reading = options_.readClient;
        }
        std::vector<platform::net::Socket> fds{wake_.fd()};
        if (client == platform::net::invalidSocket) {
            fds.insert(fds.end(), listeners_.begin(), listeners_.end());
        } else if (reading) {
            fds.push_back(client);
        }
        const int i = platform::net::waitReadable(fds, 200);
        if (i < 0) continue;
        if (i == 0) {
            wake_.drain();
            continue;
        }
        if (client == platform::net::invalidSocket) {
            int err = 0;
            const auto s = platform::net::acceptClient(fds[static_cast<std::size_t>(i)], &err);
            if (s == platform::net::invalidSocket) continue;
            platform::net::setNonBlocking(s, true);
            platform::net::setNoDelay(s, true);
            pending.clear();
            {
                std::lock_guard lock(clientMutex_);
                client_ = s;
            }
            std::lock_guard lock(mutex_);
            ++accepted_;
            subscriptions_.clear();
            mappedEvents_.clear();
            definitions_.clear();
            periodic_.clear();
            cv_.notify_all();
            continue;
        }
        int err = 0;
        const long n = platform::net::recvSome(client, chunk, &err);
        if (n < 0 && (err == EAGAIN || err == EINTR)) continue;
        if (n <= 0) {
            {
                std::lock_guard lock(mutex_);
                if (options_.removeObjectsOnDisconnect) {
                    for (const auto& [id, o] : objects_) {
                        const auto t = trackOf_.find(id);
                        if (!o.foreign && t != trackOf_.end()) tracks_[t->second].removedAt = trackClockSeconds();
                    }
                    std::erase_if(objects_, [](const auto& entry) { return !entry.second.foreign; });
                }
            }
            std::lock_guard lock(clientMutex_);
            dropClientLocked(true);
            continue;
        }
        pending.insert(pending.end(), chunk.begin(), chunk.begin() + n);
        std::size_t at = 0;
        bool malformed = false;
        std::vector<Bytes> out;
        std::chrono::milliseconds delay{0};
        while (pending.size() - at >= 4) {
            const std::uint32_t size = sc::getU32(pending.data() + at);
            if (size < sc::clientHeaderSize || size > sc::sendBufferSize) {
                malformed = true;
                break;
            }
            if (pending.size() - at < size) break;
            handlePacket(decodePacket(pending.data() + at, size), out, delay);
            at += size;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(at));
        if (delay.count() > 0) platform::clock().sleepFor(delay);  // a slow simulator answering Open
        sendAll(out);
        if (malformed) {
            std::lock_guard lock(clientMutex_);
            dropClientLocked(false);
        }
    }
}

std::optional<std::uint32_t> FakeSimServer::eventIdLocked(const std::string& name) const
{
    const auto it = subscriptions_.find(lf_lower(name));
    if (it == subscriptions_.end()) return std::nullopt;
    return it->second;
}

std::uint32_t FakeSimServer::datumCount(std::uint32_t defineId) const
{
    const auto it = definitions_.find(defineId);
    return it == definitions_.end() ? 0 : static_cast<std::uint32_t>(it->second.size());
}

std::optional<Bytes> FakeSimServer::blockFor(std::uint32_t defineId, std::uint32_t objectId) const
{
    const bool isUser = objectId == SIMCONNECT_OBJECT_ID_USER || objectId == user_.objectId;
    if (isUser) {
        switch (defineId) {
        case DEF_USER_STATE: return lf_bytesOf(user_.state);
        case DEF_TITLE: {
            // Zero-terminated and padded to 4 bytes.
            Bytes b(((user_.title.size() + 1) + 3) / 4 * 4, 0);
            std::memcpy(b.data(), user_.title.data(), user_.title.size());
            return b;
        }
        case DEF_ATC_MODEL: return lf_text(user_.atcModel, 32);
        case DEF_ON_GROUND: return lf_bytesOf<std::int64_t>(user_.onGround ? 1 : 0);
        case DEF_GROUND_INFO:
            return lf_groundInfo(user_.state.altAboveGround, user_.groundAltitude, user_.onGround, user_.atcId);
        case DEF_LIGHT_STATES: return lf_bytesOf<std::int64_t>(user_.state.lightStates);
        case DEF_STATIC_ATTITUDE: return lf_bytesOf(StaticAttitudeBlock{5.0, 0.0});
        default: return std::nullopt;
        }
    }
    const auto it = objects_.find(objectId);
    if (it == objects_.end()) return std::nullopt;
    const AiObject& o = it->second;
    switch (defineId) {
    case DEF_STATIC_ATTITUDE: return lf_bytesOf(o.staticAttitude);
    case DEF_GROUND_INFO: return lf_groundInfo(o.altAboveGround, o.groundAltitude, o.onGround, o.atcId);
    case DEF_AC_POSITION:
        if (o.lastPosition) return lf_bytesOf(*o.lastPosition);
        return std::nullopt;
    case DEF_TITLE: return lf_text(o.title, ((o.title.size() + 1) + 3) / 4 * 4);
    case DEF_ON_GROUND: return lf_bytesOf<std::int64_t>(o.onGround ? 1 : 0);
    default: return std::nullopt;
    }
}

void FakeSimServer::answerRequest(const Request& r, std::vector<Bytes>& out)
{
    if (auto block = blockFor(r.defineId, r.objectId)) {
        const std::uint32_t object = r.objectId == SIMCONNECT_OBJECT_ID_USER ? user_.objectId : r.objectId;
        out.push_back(makeObjectData(8, r.requestId, object, r.defineId, 1, 1, datumCount(r.defineId), *block));
    }
}

void FakeSimServer::handlePacket(const RecordedPacket& p, std::vector<Bytes>& out, std::chrono::milliseconds& delay)
{
    std::function<void(const RecordedPacket&)> observer;
    {
        std::lock_guard lock(mutex_);
        packets_.push_back(p);
        lastVersion_ = p.version;
        observer = observer_;
        switch (static_cast<Op>(p.op)) {
        case Op::Open:
            if (options_.answerOpen) {
                delay = std::max(delay, options_.openDelay);
                out.push_back(makeOpen(options_.simName, options_.simVersion[0], options_.simVersion[1],
                                       options_.simVersion[2], options_.simVersion[3]));
            }
            break;
        case Op::SubscribeToSystemEvent: subscriptions_[lf_lower(p.text(20, 256))] = p.u32(16); break;
        case Op::MapClientEventToSimEvent: mappedEvents_[p.u32(16)] = p.text(20, 256); break;
        case Op::AddToDataDefinition: definitions_[p.u32(16)].push_back(p.u32(532)); break;
        case Op::RequestDataOnSimObject: {
            const Request r{p.u32(16), p.u32(20), p.u32(24), p.u32(28)};
            std::erase_if(periodic_, [&](const Request& q) { return q.requestId == r.requestId; });
            if (r.period == SIMCONNECT_PERIOD_ONCE && options_.answerRequests) answerRequest(r, out);
            if (r.period >= SIMCONNECT_PERIOD_VISUAL_FRAME) periodic_.push_back(r);
            break;
        }
        case Op::RequestDataOnSimObjectType: {
            if (!options_.answerRequests) break;
            const std::uint32_t request = p.u32(16), def = p.u32(20);
            const double radius = p.u32(24) + options_.radiusSlackMetres;
            std::vector<std::pair<std::uint32_t, Bytes>> found;
            const double uLat = user_.state.latitude, uLon = user_.state.longitude;
            if (!options_.emptyByTypeAnswers) {
                if (auto b = blockFor(def, user_.objectId)) found.emplace_back(user_.objectId, *b);
                for (const auto& [id, o] : objects_) {
                    if (lf_distanceMetres(uLat, uLon, o.latitude, o.longitude) > radius) continue;
                    if (auto b = blockFor(def, id)) found.emplace_back(id, *b);
                }
            }
            if (found.empty()) out.push_back(makeObjectData(9, request, 0, def, 0, 0, 0, {}));
            for (std::size_t i = 0; i < found.size(); ++i) {
                out.push_back(makeObjectData(9, request, found[i].first, def, static_cast<std::uint32_t>(i + 1),
                                             static_cast<std::uint32_t>(found.size()), datumCount(def),
                                             found[i].second));
            }
            break;
        }
        case Op::SetDataOnSimObject: {
            const std::uint32_t def = p.u32(16), object = p.u32(20), count = p.u32(28), unit = p.u32(32);
            if (options_.validateSetData && definitions_.count(def)) {
                std::uint32_t expected = 0;
                for (auto t : definitions_[def]) expected += lf_datumSize(t);
                if (unit != expected || p.raw.size() != 36 + std::size_t(count) * unit) {
                    out.push_back(makeException(SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE, p.packetId, 5));
                    break;
                }
            }
            const auto it = objects_.find(object);
            if (it == objects_.end()) break;
            if (def == DEF_AC_POSITION && p.raw.size() >= 36 + sizeof(AcPositionBlock)) {
                AcPositionBlock b;
                std::memcpy(&b, p.raw.data() + 36, sizeof b);
                it->second.lastPosition = b;
                it->second.latitude = b.latitude;
                it->second.longitude = b.longitude;
                lf_placeAt(it->second, b.altitude, options_.holdOnGroundFlags);
                if (const auto t = trackOf_.find(object); options_.recordTracks && t != trackOf_.end())
                    tracks_[t->second].positions.push_back({trackClockSeconds(), b});
            } else if (def == DEF_ENGINE && p.raw.size() >= 36 + sizeof(EngineBlock)) {
                EngineBlock e;
                std::memcpy(&e, p.raw.data() + 36, sizeof e);
                it->second.lastEngine = e;
            }
            break;
        }
        case Op::TransmitClientEvent: {
            const auto it = objects_.find(p.u32(16));
            const auto name = mappedEvents_.find(p.u32(20));
            if (it != objects_.end() && name != mappedEvents_.end() && name->second.rfind("FREEZE_", 0) == 0) {
                if (p.u32(24) != 0) it->second.frozen.insert(p.u32(20));
                else it->second.frozen.erase(p.u32(20));
            }
            break;
        }
        case Op::AICreateNonATCAircraft: {
            if (!options_.answerCreations) break;
            const std::string title = p.text(16, 256);
            if (options_.failingTitles.count(title) || options_.failNextCreations > 0) {
                if (options_.failNextCreations > 0) --options_.failNextCreations;
                out.push_back(makeException(SIMCONNECT_EXCEPTION_CREATE_OBJECT_FAILED, p.packetId, 1));
                break;
            }
            AiObject o;
            o.id = nextObjectId_++;
            o.title = title;
            o.atcId = p.text(272, 12);
            o.latitude = p.f64(284);
            o.longitude = p.f64(292);
            o.altitude = p.f64(300);
            o.groundAltitude = user_.groundAltitude;
            if (p.u32(332) != 0) {
                // Created on the ground: the simulator sets it down on its wheels.
                o.onGround = true;
                lf_placeAt(o, o.groundAltitude + o.staticAttitude.staticCgHeight, true);
            } else {
                lf_placeAt(o, o.altitude, false);
            }
            o.createPacketId = p.packetId;
            objects_[o.id] = o;
            {
                ObjectTrack track;
                track.objectId = o.id;
                track.title = o.title;
                track.atcId = o.atcId;
                track.createdAt = trackClockSeconds();
                if (p.raw.size() >= 284 + sizeof(SIMCONNECT_DATA_INITPOSITION))
                    std::memcpy(&track.created, p.raw.data() + 284, sizeof track.created);
                track.groundAltitude = o.groundAltitude;
                trackOf_[o.id] = tracks_.size();
                tracks_.push_back(std::move(track));
            }
            if (options_.sendAssignedObjectId) out.push_back(makeAssignedObjectId(p.u32(340), o.id));
            if (auto ev = eventIdLocked("ObjectAdded")) out.push_back(makeObjectAddRemove(*ev, o.id, 2));
            break;
        }
        case Op::AIReleaseControl:
            if (auto it = objects_.find(p.u32(16)); it != objects_.end()) it->second.released = true;
            break;
        case Op::AIRemoveObject: {
            const std::uint32_t id = p.u32(16);
            if (objects_.erase(id) == 0) break;
            if (const auto t = trackOf_.find(id); t != trackOf_.end()) tracks_[t->second].removedAt = trackClockSeconds();
            if (options_.dropRemovals) break;
            if (options_.holdRemovals) {
                heldRemovals_.push_back(id);
                break;
            }
            if (auto ev = eventIdLocked("ObjectRemoved")) out.push_back(makeObjectAddRemove(*ev, id, 2));
            break;
        }
        case Op::AISetAircraftFlightPlan:
            if (auto it = objects_.find(p.u32(16)); it != objects_.end()) it->second.flightPlan = p.text(20, 260);
            if (options_.failFlightPlans)
                out.push_back(makeException(SIMCONNECT_EXCEPTION_LOAD_FLIGHTPLAN_FAILED, p.packetId, 2));
            break;
        case Op::AddClientEventToNotificationGroup:
        case Op::SetNotificationGroupPriority: break;
        }
        cv_.notify_all();
    }
    if (observer) observer(p);
}

// --- records ---

std::vector<RecordedPacket> FakeSimServer::packets() const
{
    std::lock_guard lock(mutex_);
    return packets_;
}

std::size_t FakeSimServer::packetCount() const
{
    std::lock_guard lock(mutex_);
    return packets_.size();
}

void FakeSimServer::clearPackets()
{
    std::lock_guard lock(mutex_);
    packets_.clear();
}

std::size_t FakeSimServer::acceptedCount() const
{
    std::lock_guard lock(mutex_);
    return accepted_;
}

bool FakeSimServer::clientConnected() const
{
    std::lock_guard lock(clientMutex_);
    return client_ != platform::net::invalidSocket;
}

std::uint32_t FakeSimServer::lastClientVersion() const
{
    std::lock_guard lock(mutex_);
    return lastVersion_;
}

// A helper tool's wait: real time, since it waits for other threads; the
// timeout only bounds a failing test.
bool FakeSimServer::waitFor(const std::function<bool(const std::vector<RecordedPacket>&)>& pred,
                            std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return pred(packets_); });
}

bool FakeSimServer::waitForPackets(std::size_t count, std::chrono::milliseconds timeout)
{
    return waitFor([count](const auto& p) { return p.size() >= count; }, timeout);
}

bool FakeSimServer::waitForAccepted(std::size_t count, std::chrono::milliseconds timeout)
{
    std::unique_lock lock(mutex_);
    return cv_.wait_for(lock, timeout, [&] { return accepted_ >= count; });
}

bool FakeSimServer::waitForDisconnect(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(clientMutex_);
    return clientCv_.wait_for(lock, timeout, [&] { return client_ == platform::net::invalidSocket; });
}

void FakeSimServer::setPacketObserver(std::function<void(const RecordedPacket&)> observer)
{
    std::lock_guard lock(mutex_);
    observer_ = std::move(observer);
}

std::vector<ObjectTrack> FakeSimServer::tracks() const
{
    std::lock_guard lock(mutex_);
    return tracks_;
}

void FakeSimServer::clearTracks()
{
    std::lock_guard lock(mutex_);
    tracks_.clear();
    trackOf_.clear();
    frameTimes_.clear();
}

void FakeSimServer::restartTracks()
{
    std::lock_guard lock(mutex_);
    tracks_.clear();
    trackOf_.clear();
    frameTimes_.clear();
    options_.recordTracks = true;
    const double now = trackClockSeconds();
    constexpr double toDeg = 180.0 / 3.14159265358979323846;
    for (const auto& [id, o] : objects_) {
        if (o.foreign) continue;
        ObjectTrack track;
        track.objectId = id;
        track.title = o.title;
        track.atcId = o.atcId;
        track.createdAt = now;
        track.created.Latitude = o.latitude;
        track.created.Longitude = o.longitude;
        track.created.Altitude = o.altitude;
        track.created.OnGround = o.onGround ? 1 : 0;
        if (o.lastPosition) {
            track.created.Heading = o.lastPosition->heading * toDeg;
            track.created.Airspeed = static_cast<DWORD>(std::max(0.0, o.lastPosition->trueAirspeed));
        }
        track.groundAltitude = o.groundAltitude;
        trackOf_[id] = tracks_.size();
        tracks_.push_back(std::move(track));
    }
}

std::vector<double> FakeSimServer::frameTimes() const
{
    std::lock_guard lock(mutex_);
    return frameTimes_;
}

bool FakeSimServer::writeTracks(const std::string& path, double servedTopKt) const
{
    const std::vector<ObjectTrack> all = tracks();
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    // The wall time at 0 of the track clock: the feed's times (the service
    // stand-in's record, on the wall clock) are placed on the tracks' by it.
    out << vr::format("#clock,{:.4f}\n", platform::wallSeconds() - trackClockSeconds());
    out << motionjudge::streamsCsv(judgeStreams(all, servedTopKt, frameTimes()), creationTimes(all));
    return static_cast<bool>(out);
}

std::vector<motionjudge::Stream> judgeStreams(const std::vector<ObjectTrack>& tracks, double servedTopKt,
                                              std::vector<double> frameTimes)
{
    std::vector<motionjudge::Stream> out;
    std::shared_ptr<const std::vector<double>> frames;
    if (!frameTimes.empty()) frames = std::make_shared<const std::vector<double>>(std::move(frameTimes));
    for (const ObjectTrack& t : tracks) {
        motionjudge::Stream s;
        s.name = std::to_string(t.objectId) + " " + t.atcId;
        s.title = t.title;
        s.removedAt = t.removedAt.value_or(-1.0);
        s.groundFt = t.groundAltitude;
        s.servedTopKt = servedTopKt;
        s.frameTimes = frames;
        const SIMCONNECT_DATA_INITPOSITION& c = t.created;
        s.seen.push_back({t.createdAt, c.Latitude, c.Longitude, c.Altitude, c.Heading, static_cast<double>(c.Airspeed),
                          0.0});
        constexpr double toDeg = 180.0 / 3.14159265358979323846;
        for (const ObjectTrack::Position& p : t.positions) {
            const AcPositionBlock& b = p.block;
            s.seen.push_back(
                {p.t, b.latitude, b.longitude, b.altitude, b.heading * toDeg, b.trueAirspeed, b.verticalSpeed});
        }
        out.push_back(std::move(s));
    }
    return out;
}

std::vector<double> creationTimes(const std::vector<ObjectTrack>& tracks)
{
    std::vector<double> out;
    for (const ObjectTrack& t : tracks) out.push_back(t.createdAt);
    return out;
}

// --- world ---

UserAircraft FakeSimServer::user() const
{
    std::lock_guard lock(mutex_);
    return user_;
}

void FakeSimServer::setUser(const UserAircraft& user)
{
    std::lock_guard lock(mutex_);
    user_ = user;
}

std::vector<AiObject> FakeSimServer::aiObjects() const
{
    std::lock_guard lock(mutex_);
    std::vector<AiObject> out;
    for (const auto& [id, o] : objects_) out.push_back(o);
    return out;
}

std::optional<AiObject> FakeSimServer::aiObject(std::uint32_t id) const
{
    std::lock_guard lock(mutex_);
    const auto it = objects_.find(id);
    if (it == objects_.end()) return std::nullopt;
    return it->second;
}

void FakeSimServer::addForeignAircraft(std::uint32_t objectId, const std::string& atcId, double altAboveGround,
                                       double groundAltitude, bool onGround)
{
    std::lock_guard lock(mutex_);
    AiObject o;
    o.id = objectId;
    o.title = "Foreign traffic";
    o.atcId = atcId;
    o.latitude = user_.state.latitude + 0.01;
    o.longitude = user_.state.longitude;
    o.altAboveGround = altAboveGround;
    o.groundAltitude = groundAltitude;
    o.altitude = groundAltitude + altAboveGround;
    o.onGround = onGround;
    o.foreign = true;
    objects_[objectId] = o;
}

std::optional<std::uint32_t> FakeSimServer::subscription(const std::string& systemEvent) const
{
    std::lock_guard lock(mutex_);
    return eventIdLocked(systemEvent);
}

// --- triggers ---

bool FakeSimServer::sendAll(const std::vector<Bytes>& messages)
{
    std::lock_guard lock(clientMutex_);
    if (client_ == platform::net::invalidSocket) return messages.empty();
    for (const auto& m : messages) {
        if (!platform::net::sendAll(client_, m)) return false;
    }
    return true;
}

bool FakeSimServer::sendRaw(const Bytes& bytes, std::size_t chunk)
{
    std::lock_guard lock(clientMutex_);
    if (client_ == platform::net::invalidSocket) return false;
    if (chunk == 0) chunk = bytes.size();
    for (std::size_t at = 0; at < bytes.size(); at += chunk) {
        const std::size_t n = std::min(chunk, bytes.size() - at);
        if (!platform::net::sendAll(client_, std::span<const std::uint8_t>(bytes.data() + at, n))) return false;
    }
    return true;
}

bool FakeSimServer::sendEvent(const std::string& name, const std::function<Bytes(std::uint32_t)>& make)
{
    std::optional<std::uint32_t> id;
    {
        std::lock_guard lock(mutex_);
        id = eventIdLocked(name);
    }
    if (!id) return false;  // the simulator sends only what was subscribed
    return sendRaw(make(*id));
}

bool FakeSimServer::sendFrame(float frameRate, float simSpeed)
{
    std::vector<Bytes> out;
    {
        std::lock_guard lock(mutex_);
        const auto id = eventIdLocked("Frame");
        if (id) {
            out.push_back(makeFrame(*id, frameRate, simSpeed));
            if (options_.recordTracks) frameTimes_.push_back(trackClockSeconds());
        }
        for (const auto& r : periodic_) {
            if (r.period == SIMCONNECT_PERIOD_VISUAL_FRAME || r.period == SIMCONNECT_PERIOD_SIM_FRAME)
                answerRequest(r, out);
        }
    }
    return !out.empty() && sendAll(out);
}

bool FakeSimServer::sendSim(bool running)
{
    return sendEvent("Sim", [&](std::uint32_t id) { return makeEvent(id, running ? 1 : 0); });
}

bool FakeSimServer::sendPositionChanged()
{
    return sendEvent("PositionChanged", [](std::uint32_t id) { return makeEvent(id, 0); });
}

bool FakeSimServer::sendFlightLoaded(bool asFilenameMessage)
{
    return sendEvent("FlightLoaded", [&](std::uint32_t id) {
        return asFilenameMessage ? makeFilename(id, "C:\\Users\\pilot\\Documents\\Prepar3D v5 Files\\flight.fxml")
                                 : makeEvent(id, 0);
    });
}

bool FakeSimServer::sendQuit()
{
    return sendRaw(makeQuit());
}

bool FakeSimServer::sendException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index)
{
    return sendRaw(makeException(exception, sendId, index));
}

bool FakeSimServer::sendAdded(std::uint32_t objectId, std::uint32_t objectType)
{
    return sendEvent("ObjectAdded", [&](std::uint32_t id) { return makeObjectAddRemove(id, objectId, objectType); });
}

bool FakeSimServer::sendRemoved(std::uint32_t objectId, std::uint32_t objectType)
{
    return sendEvent("ObjectRemoved", [&](std::uint32_t id) { return makeObjectAddRemove(id, objectId, objectType); });
}

bool FakeSimServer::sendEmptyByType(std::uint32_t requestId)
{
    return sendRaw(makeObjectData(9, requestId, 0, DEF_GROUND_INFO, 0, 0, 0, {}));
}

bool FakeSimServer::tickSecond()
{
    std::vector<Bytes> out;
    {
        std::lock_guard lock(mutex_);
        for (const auto& r : periodic_) {
            if (r.period == SIMCONNECT_PERIOD_SECOND) answerRequest(r, out);
        }
    }
    return sendAll(out);
}

bool FakeSimServer::releaseRemovals()
{
    std::vector<Bytes> out;
    {
        std::lock_guard lock(mutex_);
        const auto ev = eventIdLocked("ObjectRemoved");
        for (auto id : heldRemovals_) {
            if (ev) out.push_back(makeObjectAddRemove(*ev, id, 2));
        }
        heldRemovals_.clear();
    }
    return sendAll(out);
}

void FakeSimServer::closeClient(bool graceful)
{
    std::unique_lock lock(clientMutex_);
    if (client_ == platform::net::invalidSocket) return;
    closeRequest_ = graceful ? 1 : 2;
    wake_.signal();
    clientCv_.wait_for(lock, std::chrono::seconds(5), [&] { return client_ == platform::net::invalidSocket; });
}

}  // namespace simstandin
