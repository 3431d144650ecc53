#pragma once
// The simulator stand-in: the server end of the SimConnect protocol over TCP
// (127.0.0.1 and ::1) and the pipe's Unix socket, one client at a time and
// again after a disconnect, with a small world (the user aircraft and AI
// objects), automatic answers, a record of every packet, and triggers for tests.
// Every AI object the client creates leaves a track: its creation and every
// position block it was sent, stamped with the program clock, kept after the
// object is gone, for the motion judge (tracks(), writeTracks()).

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "motion_judge.h"
#include "platform/net.h"
#include "simlink/sim_definitions.h"
#include "simstandin/sim_messages.h"

namespace simstandin {

inline const char* const defaultPipeName = "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect";
inline const char* const defaultSimName = "Lockheed Martin\xAE Prepar3D\xAE v5";

struct StandInOptions {
    bool listenIPv4 = true;
    bool listenIPv6 = true;
    bool listenPipe = true;
    std::uint16_t portIPv4 = 0;  // 0: ephemeral
    std::uint16_t portIPv6 = 0;
    std::string pipeName = defaultPipeName;

    bool answerOpen = true;
    std::string simName = defaultSimName;
    std::array<std::uint32_t, 4> simVersion{5, 3, 12, 28070};
    std::chrono::milliseconds openDelay{0};

    bool answerRequests = true;         // data requests, by-type requests
    bool answerCreations = true;        // creations: ADDED (or exception 22)
    bool sendAssignedObjectId = false;  // id 12 before ADDED
    bool validateSetData = false;       // wrong unit size -> exception 19
    bool holdRemovals = false;          // REMOVED only on releaseRemovals()
    bool dropRemovals = false;          // never REMOVED
    bool failFlightPlans = false;       // exception 23 for every flight plan
    bool emptyByTypeAnswers = false;    // answer by-type requests with no object
    bool removeObjectsOnDisconnect = true;  // a client's AI objects go with it, as in the simulator
    // Each AI object's on-ground flag keeps the value it has (from its creation,
    // when set from the start) while its height above ground follows its
    // positions: a simulator whose flag is wrong, on purpose.
    bool holdOnGroundFlags = false;
    std::set<std::string> failingTitles;  // creations refused with exception 22
    int failNextCreations = 0;            // the next n creations are refused too
    double radiusSlackMetres = 0.0;
    bool recordTracks = true;  // keep every AI object's track (tracks())
    bool readClient = true;    // false: the client's bytes stay unread, its writes back up
};

struct UserAircraft {
    std::uint32_t objectId = 1;
    std::string title = "Stand-in Boeing 737-800";
    std::string atcModel = "B738";
    std::string atcId = "N737SI";
    bool onGround = true;
    double groundAltitude = 0.0;
    UserAcState state{};
};

// An object stands on its wheels with its reference point staticAttitude's CG
// height above the ground; as in the simulator its height above ground is that
// of the reference point, and it is on the ground while that height is at most
// its CG height and this much for the gear's give.
inline constexpr double onGroundSlackFt = 0.5;

struct AiObject {
    std::uint32_t id = 0;
    std::string title;
    std::string atcId;  // the tail it was created with
    double latitude = 0, longitude = 0, altitude = 0;
    // Both follow its latest position (one created on the ground stands on its wheels).
    double altAboveGround = 0, groundAltitude = 0;
    bool onGround = false;
    bool foreign = false;  // not created by the client
    bool released = false;
    std::set<std::uint32_t> frozen;  // freeze events received with data 1
    std::optional<AcPositionBlock> lastPosition;
    std::optional<EngineBlock> lastEngine;
    std::string flightPlan;
    std::uint32_t createPacketId = 0;
    StaticAttitudeBlock staticAttitude{6.5, -0.02};
};

// What the simulator was told of one AI object it created: where it was made
// and every position block after, each with the time it arrived (seconds of
// the program clock, platform::steadyNow(), from its epoch).
struct ObjectTrack {
    std::uint32_t objectId = 0;
    std::string title;
    std::string atcId;
    double createdAt = 0.0;
    SIMCONNECT_DATA_INITPOSITION created{};
    double groundAltitude = 0.0;  // the ground under it (the stand-in's world is flat)
    std::optional<double> removedAt;
    struct Position {
        double t = 0.0;
        AcPositionBlock block{};
    };
    std::vector<Position> positions;
};

// The seconds of the program clock that tracks are stamped with.
double trackClockSeconds();

class FakeSimServer {
public:
    explicit FakeSimServer(StandInOptions options = {});
    ~FakeSimServer();
    FakeSimServer(const FakeSimServer&) = delete;
    FakeSimServer& operator=(const FakeSimServer&) = delete;

    // Listens and starts serving; false when a listener could not be made.
    bool start();
    void stop();

    std::uint16_t portIPv4() const { return portIPv4_; }
    std::uint16_t portIPv6() const { return portIPv6_; }
    const std::string& pipeName() const { return options_.pipeName; }

    // Changes options while running (the server looks at them again at once).
    void configure(const std::function<void(StandInOptions&)>& change);

    // --- records ---
    std::vector<RecordedPacket> packets() const;
    std::size_t packetCount() const;
    void clearPackets();
    std::size_t acceptedCount() const;  // clients accepted so far
    bool clientConnected() const;
    std::uint32_t lastClientVersion() const;  // protocol version of the last packet
    // Waits (real time, at most timeout) until pred holds for the record. pred
    // runs under the stand-in's lock: it must not call the stand-in.
    bool waitFor(const std::function<bool(const std::vector<RecordedPacket>&)>& pred,
                 std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool waitForPackets(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool waitForAccepted(std::size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    bool waitForDisconnect(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Called on the server thread for every packet (the program logs them).
    void setPacketObserver(std::function<void(const RecordedPacket&)> observer);

    // Every AI object created since the start (or the last clearTracks), in
    // the order of creation; with removed ones.
    std::vector<ObjectTrack> tracks() const;
    void clearTracks();
    // Starts the tracks anew from now and keeps them from then on: each AI
    // object already in the world begins its track where it is now, as though
    // it were created there (a record of a window of a long run).
    void restartTracks();
    // The tracks as the motion judge reads them (CSV); false when the file
    // could not be written. `servedTopKt`: the highest ground speed served
    // to the program (0: unknown).
    bool writeTracks(const std::string& path, double servedTopKt = 0.0) const;
    // When each frame was sent (the tracks' clock), while tracks are kept.
    std::vector<double> frameTimes() const;

    // --- world ---
    UserAircraft user() const;
    void setUser(const UserAircraft& user);
    std::vector<AiObject> aiObjects() const;
    std::optional<AiObject> aiObject(std::uint32_t id) const;
    void addForeignAircraft(std::uint32_t objectId, const std::string& atcId, double altAboveGround,
                            double groundAltitude, bool onGround);
    std::optional<std::uint32_t> subscription(const std::string& systemEvent) const;

    // --- triggers (false when no client is connected or the send failed) ---
    bool sendFrame(float frameRate = 60.0f, float simSpeed = 1.0f);
    bool sendSim(bool running);
    bool sendPositionChanged();
    bool sendFlightLoaded(bool asFilenameMessage);
    bool sendQuit();
    bool sendException(std::uint32_t exception, std::uint32_t sendId, std::uint32_t index);
    bool sendAdded(std::uint32_t objectId, std::uint32_t objectType = 2);
    bool sendRemoved(std::uint32_t objectId, std::uint32_t objectType = 2);
    bool sendEmptyByType(std::uint32_t requestId = REQUEST_GROUND_INFO);
    // Answers every request of period SECOND once.
    bool tickSecond();
    // REMOVED for every held removal.
    bool releaseRemovals();
    // Raw bytes; chunk > 0 writes them in pieces of that size, one send each.
    bool sendRaw(const Bytes& bytes, std::size_t chunk = 0);
    bool sendMessage(const Bytes& bytes) { return sendRaw(bytes); }
    // Ends the client's connection: graceful (FIN) or reset (RST).
    void closeClient(bool graceful);

private:
    struct Request {
        std::uint32_t requestId, defineId, objectId, period;
    };
    void serve();
    // Updates the world and the record; what to answer goes to out.
    void handlePacket(const RecordedPacket& p, std::vector<Bytes>& out, std::chrono::milliseconds& delay);
    void answerRequest(const Request& r, std::vector<Bytes>& out);
    std::optional<Bytes> blockFor(std::uint32_t defineId, std::uint32_t objectId) const;
    std::uint32_t datumCount(std::uint32_t defineId) const;
    std::optional<std::uint32_t> eventIdLocked(const std::string& name) const;
    void dropClientLocked(bool graceful);
    bool sendAll(const std::vector<Bytes>& messages);
    bool sendEvent(const std::string& name, const std::function<Bytes(std::uint32_t)>& make);

    StandInOptions options_;
    std::uint16_t portIPv4_ = 0, portIPv6_ = 0;
    std::vector<platform::net::Socket> listeners_;
    platform::net::WakeEvent wake_;
    std::atomic<bool> stopping_{false};
    std::thread thread_;

    // The client socket: written under clientMutex_, closed only by the server thread.
    mutable std::mutex clientMutex_;
    platform::net::Socket client_ = platform::net::invalidSocket;
    int closeRequest_ = 0;  // 1 graceful, 2 reset
    std::condition_variable clientCv_;

    // Records and world.
    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::vector<RecordedPacket> packets_;
    std::size_t accepted_ = 0;
    std::uint32_t lastVersion_ = 0;
    std::function<void(const RecordedPacket&)> observer_;
    UserAircraft user_;
    std::map<std::uint32_t, AiObject> objects_;
    std::uint32_t nextObjectId_ = 100;
    std::map<std::string, std::uint32_t> subscriptions_;     // lower-case name -> client event id
    std::map<std::uint32_t, std::string> mappedEvents_;      // client event id -> sim event name
    std::map<std::uint32_t, std::vector<std::uint32_t>> definitions_;  // def -> datum types
    std::vector<Request> periodic_;                          // period SECOND
    std::vector<std::uint32_t> heldRemovals_;
    std::vector<ObjectTrack> tracks_;
    std::map<std::uint32_t, std::size_t> trackOf_;  // object id -> its (latest) track
    std::vector<double> frameTimes_;
};

// The tracks as the motion judge's streams: the creation's place first, then
// every position; the creation times beside. With the times the frames were
// sent (frameTimes()), the judge counts a late update in frames.
std::vector<motionjudge::Stream> judgeStreams(const std::vector<ObjectTrack>& tracks, double servedTopKt = 0.0,
                                              std::vector<double> frameTimes = {});
std::vector<double> creationTimes(const std::vector<ObjectTrack>& tracks);

}  // namespace simstandin
