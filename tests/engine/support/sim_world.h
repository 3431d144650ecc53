#pragma once
// A small simulator for driving the engine tick by tick on one thread. It is
// the recording SimConnect fake (every call is still recorded as a line) with
// a world behind it: a creation makes an object, a position write moves it, a
// removal takes it away, and a data request is answered. The answers are
// protocol messages (built as the simulator stand-in builds them) handed to the
// simulator layer's own dispatch procedure, so the real handlers tie a new
// object to its creation by its tail and push the replies the engine drains:
//
//   creation            -> "ObjectAdded"; the next range request (101) answers the
//                          object with its tail -> kind 0 (or exception 22 for a
//                          refused title -> kind 6)
//   removal             -> "ObjectRemoved" -> kind 2
//   range request (101) -> ground information of every other object -> kind 3
//   StaticCG (102)      -> the object's CG height and pitch -> kind 4
//   user state (109)    -> the user aircraft's state; on-ground (108) -> its flag
//
// Calls only record what to answer; answer() dispatches it, outside every lock
// the calls were made under (the flush holds simQueueMutex). Constructing the
// world installs it as the program's SimConnect calls (see SimApiFake). One
// thread at a time; the calls themselves are safe from any thread.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "simlink/sim_api_fake.h"
#include "simlink/sim_definitions.h"

struct SimWorldOptions {
    double groundAltitudeFt = 0.0;  // the world is flat
    // An object whose reference point is at most this high above the ground
    // counts as on the ground (covers every centre-of-gravity height).
    double onGroundMarginFt = 40.0;
    StaticAttitudeBlock staticAttitude{8.0, 0.01};  // the answer to 102
    std::uint32_t userObjectId = 1;
    std::uint32_t firstObjectId = 100;
    double radiusSlackMetres = 0.0;  // added to the range request's radius
    bool confirmRemovals = true;     // false: removals wait for releaseRemovals()
    bool recordPositionWrites = false;  // also keep "set 402 ..." lines in `calls`
    std::set<std::string> failingTitles;  // creations refused (exception 22)
};

// One AI object of the world.
struct WorldObject {
    std::uint32_t objectId = 0;
    std::string title;
    std::string tail;                 // the ATC id it was created with
    AcPositionBlock position{};       // the last block written (first: the creation's)
    AcPositionBlock previous{};       // the block before it
    std::uint32_t positionWrites = 0;
    bool createdOnGround = false;
    std::optional<EngineBlock> engine;  // the last definition-401 write
    std::string flightPlan;             // the path of the last flight plan set
    std::map<std::uint32_t, std::uint32_t> events;  // client event id -> last data
    std::uint32_t releases = 0;
    std::uint32_t tiedAtAnswer = 0;     // the answer() that reported it with its tail (0: not yet)
    std::uint32_t createdAtAnswer = 0;  // the answer() after which it existed

    double altAboveGround(const SimWorldOptions& o) const;
    bool onGround(const SimWorldOptions& o) const;
};

// What happened to objects, in order.
struct WorldEvent {
    enum Kind { created, refused, removed } kind = created;
    std::uint32_t objectId = 0;  // 0 for a refused creation
    std::string tail;
    std::string title;
    std::uint32_t answer = 0;  // the answer() count when it happened
    friend bool operator==(const WorldEvent&, const WorldEvent&) = default;
};

class SimWorld : public SimApiFake {
public:
    explicit SimWorld(SimWorldOptions options = {});

    // --- the SimConnect calls ---
    HRESULT transmitClientEvent(DWORD objectId, DWORD eventId, DWORD data) override;
    HRESULT setDataOnSimObject(DWORD defineId, DWORD objectId, DWORD unitSize, const void* data) override;
    HRESULT requestDataOnSimObject(DWORD requestId, DWORD defineId, DWORD objectId,
                                   SIMCONNECT_PERIOD period) override;
    HRESULT requestDataOnSimObjectType(DWORD requestId, DWORD defineId, DWORD radiusMetres,
                                       SIMCONNECT_SIMOBJECT_TYPE type) override;
    HRESULT aiCreateNonAtcAircraft(const char* title, const char* tail, const SIMCONNECT_DATA_INITPOSITION& position,
                                   DWORD requestId, DWORD* packetId) override;
    HRESULT aiReleaseControl(DWORD objectId, DWORD requestId) override;
    HRESULT aiRemoveObject(DWORD objectId, DWORD requestId) override;
    HRESULT aiSetAircraftFlightPlan(DWORD objectId, const char* path, DWORD requestId) override;

    // Hands every message waiting since the last call to the simulator layer's
    // dispatch procedure, in the order the calls were made. Returns how many.
    std::size_t answer();
    // The number of answer() calls so far.
    std::uint32_t answers() const;

    // The user aircraft: the state the next 109 request is answered with, and
    // its on-ground flag (handed to the layer at once, as the per-second reply
    // would). Object id: the options' user object id.
    void setUser(const UserAcState& state, bool onGround);
    UserAcState user() const;

    // --- the world ---
    std::vector<WorldObject> objects() const;  // by object id
    std::optional<WorldObject> object(std::uint32_t objectId) const;
    std::optional<WorldObject> objectByTail(const std::string& tail) const;
    std::size_t objectCount() const;
    std::vector<WorldEvent> events() const;
    // Position writes to objects the world does not have (removed or never made).
    std::uint32_t strayPositionWrites() const;
    // Removals held while confirmRemovals is off: sends them now (at the next answer()).
    void releaseRemovals();
    void setConfirmRemovals(bool on);
    // Creations with this title are refused from now on.
    void refuseTitle(const std::string& title);
    const SimWorldOptions& options() const { return options_; }

private:
    void lf_queue(std::vector<std::uint8_t> message);  // under mutex_
    // The ground-info block of one object: a range answer's entry, or (another
    // request id) the answer to a request for that object.
    std::vector<std::uint8_t> lf_groundInfoMessage(const WorldObject& o, std::uint32_t entry, std::uint32_t outOf,
                                                   std::uint32_t requestId = REQUEST_GROUND_INFO) const;

    SimWorldOptions options_;
    mutable std::mutex mutex_;
    std::map<std::uint32_t, WorldObject> objects_;
    std::vector<std::vector<std::uint8_t>> pending_;
    std::vector<std::uint32_t> heldRemovals_;
    std::vector<WorldEvent> events_;
    UserAcState user_{};
    bool userOnGround_ = true;
    std::uint32_t nextObjectId_;
    std::uint32_t nextPacketId_ = 0;
    std::uint32_t answers_ = 0;
    std::uint32_t strayWrites_ = 0;
};
