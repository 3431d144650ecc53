// The SimClient thread against the simulator stand-in over real sockets: the
// connection and its setup, refusals, the retry loop, exceptions, system
// events, the flush of one frame, a busy queue lock, the conversation of one AI
// aircraft, a refused creation and the user aircraft. Time runs a hundred times
// faster (the dispatch loop's 1 ms, the retry's 100 ms, the library's teardown).

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "core/tick_wake.h"
#include "sim_layer_support.h"
#include "simlink/sc_api.h"
#include "simlink/sc_transport.h"
#include "support/sim_fixture.h"

using namespace simlayer;
using simstandin::RecordedPacket;

namespace {

class SimClientThread : public simtest::SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        scopedClock_.reset();
        scopedClock_ = std::make_unique<platform::ScopedClock>(std::make_shared<platform::ScaledClock>(0.01));
        env_ = std::make_unique<LayerEnv>();
    }
    void TearDown() override
    {
        joinSimClientThread();
        env_.reset();
        SimFixture::TearDown();
    }

    // Starts the stand-in and the thread; waits for the 73 setup packets.
    void connect(simstandin::StandInOptions options = {})
    {
        startServer(std::move(options));
        startSimClientThread();
        ASSERT_TRUE(server_->waitForPackets(74));
        ASSERT_TRUE(simtest::eventually([] { return !statusPanel().simLabel.empty(); }));
    }
    // The program's connection.
    static ScConnectionPtr connection()
    {
        std::lock_guard lock(scSendLock());
        return scFindConnection(simHandle.load());
    }
    std::vector<SimReply> waitReplies(std::size_t count)
    {
        simtest::eventually([&] {
            auto more = takeSimReplies();
            replies_.insert(replies_.end(), more.begin(), more.end());
            return replies_.size() >= count;
        });
        auto out = std::move(replies_);
        replies_.clear();
        return out;
    }
    bool waitForOp(sc::Op op, std::size_t count = 1)
    {
        return server_->waitFor([&](const std::vector<RecordedPacket>& ps) {
            std::size_t n = 0;
            for (const auto& p : ps) n += p.is(op);
            return n >= count;
        });
    }
    std::vector<RecordedPacket> packetsOf(sc::Op op) const
    {
        std::vector<RecordedPacket> out;
        for (const auto& p : server_->packets()) {
            if (p.is(op)) out.push_back(p);
        }
        return out;
    }
    // Sends the by-type request the engine sends every 100 ticks.
    void requestGroundInfo()
    {
        std::lock_guard lock(simQueueMutex);
        ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(simHandle.load(), REQUEST_GROUND_INFO, DEF_GROUND_INFO, 100000,
                                                        SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT),
                  scOk);
    }
    std::unique_ptr<LayerEnv> env_;
    std::vector<SimReply> replies_;
};

AcCreation creationAt(double lat, double lon, const std::string& callsign, const std::string& title,
                      std::uint32_t aircraftId)
{
    AcCreation c;
    c.initPosition = {lat, lon, 364.0, 0.0, 0.0, 250.0, 1, 0};
    c.callsign = callsign;
    c.liveryTitle = title;
    c.aircraftId = aircraftId;
    return c;
}

TEST_F(SimClientThread, ConnectsRegistersAndClosesOnJoin)
{
    connect();
    const auto after = packetsAfterOpen();
    std::map<std::uint32_t, int> ops;
    for (std::size_t i = 0; i < 73; ++i) ++ops[after.at(i).op];
    EXPECT_EQ(ops[static_cast<std::uint32_t>(sc::Op::SubscribeToSystemEvent)], 6);
    EXPECT_EQ(ops[static_cast<std::uint32_t>(sc::Op::AddToDataDefinition)], 33);
    EXPECT_EQ(ops[static_cast<std::uint32_t>(sc::Op::MapClientEventToSimEvent)], 17);
    EXPECT_EQ(ops[static_cast<std::uint32_t>(sc::Op::AddClientEventToNotificationGroup)], 16);
    EXPECT_EQ(ops[static_cast<std::uint32_t>(sc::Op::SetNotificationGroupPriority)], 1);
    EXPECT_EQ(server_->packets().at(0).text(16, 256), "VRMT_P3D");
    EXPECT_EQ(statusPanel().simLabel.get(), "Lockheed Martin Prepar3D v5 (5.3.12.28070)");
    EXPECT_TRUE(statusPanel().simConnected);
    EXPECT_FALSE(notYetConnected);
    EXPECT_TRUE(simtest::eventually([&] { return env_->app.clears() >= 1; }));

    joinSimClientThread();
    joinSimClientThread();  // a second join returns at once
    EXPECT_EQ(simHandle.load(), nullptr);
    EXPECT_FALSE(statusPanel().simConnected);
    EXPECT_TRUE(env_->logHas("Lockheed Martin Prepar3D v5 (5.3.12.28070) connected"));
    EXPECT_TRUE(env_->logHas("SimConnect closed ok"));
    EXPECT_TRUE(server_->waitForDisconnect());
    EXPECT_FALSE(closingFlag);
}

TEST_F(SimClientThread, ALostConnectionEndsTheRunForARestart)
{
    connect();
    server_->stop();  // the simulator crashed
    ASSERT_TRUE(simtest::eventually([] { return closingFlag.load(); }));
    EXPECT_EQ(closingReason(), ClosingReason::SimConnectError);
    EXPECT_EQ(restartDelaySeconds(), 9);
    EXPECT_FALSE(simRunning);
    joinSimClientThread();
    EXPECT_TRUE(env_->logHas("===> SimConnect connection lost"));
}

TEST_F(SimClientThread, JoinsFromTwoThreadsNeverDeadlock)
{
    connect();
    std::thread other([] { joinSimClientThread(); });
    joinSimClientThread();
    other.join();
    EXPECT_FALSE(simClientThreadStarted());
}

TEST_F(SimClientThread, RefusesAWrongSimulatorOrVersion)
{
    struct Case {
        std::string name;
        std::array<std::uint32_t, 4> version;
        std::string error;
    } cases[] = {
        {"KittyHawk", {1, 0, 0, 0}, "78: KittyHawk, (MSFS) not being P3D connects ... ?"},
        {"Lockheed Martin\xAE Prepar3D\xAE v4", {4, 5, 14, 0},
         "78: wrong P3D version 'Lockheed Martin Prepar3D v4 (4.5.14.0)' connects ... ?)"},
    };
    for (const Case& c : cases) {
        simstandin::StandInOptions options;
        options.simName = c.name;
        options.simVersion = c.version;
        startServer(options);
        startSimClientThread();
        // The thread ends by itself and closes the connection.
        EXPECT_TRUE(server_->waitForAccepted(1));
        EXPECT_TRUE(server_->waitForDisconnect());
        EXPECT_TRUE(simtest::eventually([&] { return !env_->app.errors().empty(); }));
        joinSimClientThread();
        EXPECT_EQ(env_->app.errors().back(), c.error);
        EXPECT_TRUE(env_->logHas("SimConnect closed ok"));
        EXPECT_FALSE(closingFlag);  // the program's own exception sets no closing reason
        server_->stop();
        server_.reset();
    }
}

TEST_F(SimClientThread, RetriesUntilTheSimulatorAppearsWithOneWaitingMessage)
{
    startSimClientThread();
    // Many attempts (100 ms each on the scaled clock) fail while nothing listens.
    platform::sleepFor(std::chrono::seconds(2));
    EXPECT_TRUE(notYetConnected);
    startServer();
    ASSERT_TRUE(server_->waitForPackets(74));
    EXPECT_TRUE(simtest::eventually([] { return !notYetConnected; }));
    std::size_t waiting = 0;
    for (const auto& m : env_->app.messages()) waiting += m.text == "Waiting for Prepar3Dv5 ..." && m.log;
    EXPECT_EQ(waiting, 1u);
}

TEST_F(SimClientThread, StopFlagsEndTheRetryLoop)
{
    requestClosing(ClosingReason::UserClosedSim, 0);
    startSimClientThread();
    joinSimClientThread();
    EXPECT_TRUE(env_->app.messages().empty());  // not even the waiting message
    EXPECT_FALSE(env_->logHas("SimConnect closed ok"));  // nothing was opened
}

TEST_F(SimClientThread, VersionMismatchEndsTheThread)
{
    connect();
    server_->sendException(5, 3, 7);
    EXPECT_TRUE(server_->waitForDisconnect());
    joinSimClientThread();
    EXPECT_EQ(env_->app.errors(), std::vector<std::string>{"95: SimConnect Version Mismatch, dwIndex: 7"});
    EXPECT_TRUE(env_->logHas("SimConnect closed ok"));
}

TEST_F(SimClientThread, SystemEventsAndTheFirstClosingReason)
{
    connect();
    server_->sendSim(true);
    EXPECT_TRUE(simtest::eventually([] { return simRunning.load(); }));
    server_->sendFlightLoaded(true);  // the file-name form
    EXPECT_TRUE(simtest::eventually([] { return closingFlag.load(); }));
    server_->sendPositionChanged();
    server_->sendFlightLoaded(false);
    server_->sendQuit();
    EXPECT_TRUE(simtest::eventually([] { return !simRunning.load(); }));
    EXPECT_EQ(closingReason(), ClosingReason::NewFlight);
    EXPECT_EQ(restartDelaySeconds(), 30);
    // The closing flags do not end a connected thread; only the stop request does.
    EXPECT_TRUE(simClientThreadStarted());
    EXPECT_TRUE(server_->clientConnected());
    joinSimClientThread();
    EXPECT_TRUE(env_->logHas("===> SimConnect: New file event"));
    EXPECT_TRUE(env_->logHas("===> User ac position changed"));
}

TEST_F(SimClientThread, OneFrameFlushesInOrder)
{
    connect();
    AcPositionBlock block{};
    block.latitude = 50.1;
    positionQueue.write().push_back({block, 150});
    positionQueue.write().push_back({block, 2});  // at the user's id: dropped
    handOverPositions();
    queueClientEvent({150, EVENT_FLAPS_SET, 3072});
    queueClientEvent({150, EVENT_THROTTLE_SET, 4914});
    ASSERT_TRUE(queueAcCreation(creationAt(47.47, 8.55, "AAL123", "Stand-in A321", 0xABCDEF)));
    queueAcRemoval(150);
    queueAcRemoval(2);  // logged, not sent
    server_->clearPackets();
    server_->sendFrame();
    ASSERT_TRUE(waitForOp(sc::Op::AIRemoveObject));
    // The frame's packets end with its last removal; what the new object's
    // announcement brings (its probe, its release) may already follow.
    std::vector<std::string> seen;
    for (const auto& p : server_->packets()) {
        if (!seen.empty() && seen.back() == "remove 150 105") break;
        switch (static_cast<sc::Op>(p.op)) {
        case sc::Op::SetDataOnSimObject: seen.push_back(vr::format("set {} {}", p.u32(16), p.u32(20))); break;
        case sc::Op::AIReleaseControl: seen.push_back(vr::format("release {} {}", p.u32(16), p.u32(20))); break;
        case sc::Op::TransmitClientEvent:
            seen.push_back(vr::format("event {} {} {} {}", p.u32(16), p.u32(20), p.u32(24), p.u32(28)));
            break;
        case sc::Op::AICreateNonATCAircraft:
            seen.push_back(vr::format("create {} {} {}", p.text(16, 256), p.text(272, 12), p.u32(340)));
            break;
        case sc::Op::AIRemoveObject: seen.push_back(vr::format("remove {} {}", p.u32(16), p.u32(20))); break;
        default: seen.push_back(simstandin::opName(p.op)); break;
        }
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"set 402 150", "release 150 103", "event 150 218 3072 301",
                                              "release 150 103", "event 150 223 4914 301",
                                              "create Stand-in A321 AAL123 104", "remove 150 105"}));
    EXPECT_TRUE(simtest::eventually([&] { return env_->logHas("===> SimConnect call to remove ac with objectid 2"); }));
    EXPECT_FALSE(closingFlag);
}

TEST_F(SimClientThread, ABusyQueueLockSkipsTheFrame)
{
    connect();
    queueClientEvent({150, EVENT_THROTTLE_SET, 0});
    {
        std::lock_guard lock(simQueueMutex);  // the engine holds the queues
        server_->sendFrame();
        ASSERT_TRUE(simtest::eventually([] { return frameCounter.load() == 1; }));
        EXPECT_EQ(eventQueue.size(), 1u);  // kept for the next frame
    }
    server_->sendFrame();
    ASSERT_TRUE(waitForOp(sc::Op::TransmitClientEvent));
    EXPECT_TRUE(simtest::eventually([] { return frameCounter.load() == 2; }));
    EXPECT_EQ(packetsOf(sc::Op::TransmitClientEvent).size(), 1u);
}

// A frame that finds nothing queued waits in the received queue without
// waking the SimClient thread; it is dispatched, in order, with the next
// message that wakes it: a frame with something to send, any other message,
// or the last of too many waiting.
TEST_F(SimClientThread, AFrameWithNothingToSendWaitsForTheNextWake)
{
    connect();
    const ScConnectionPtr c = connection();
    ASSERT_TRUE(c);
    ASSERT_TRUE(simtest::eventually([&] { return c->receivedCount() == 0; }));
    ASSERT_FALSE(simQueuesHoldWork());
    const std::int32_t counted = frameCounter.load();
    struct Row {
        const char* name;
        int frames;  // with nothing queued
        std::function<void()> wake;
        int dispatched;  // frames counted once it woke
    };
    const Row rows[] = {
        {"a frame with an event queued", 3,
         [&] {
             queueClientEvent({150, EVENT_THROTTLE_SET, 0});
             server_->sendFrame();
         },
         4},
        {"another message", 2, [&] { requestGroundInfo(); }, 2},
        {"too many waiting", static_cast<int>(ScConnection::maxWaitingMessages) - 1, [&] { server_->sendFrame(); },
         static_cast<int>(ScConnection::maxWaitingMessages)},
    };
    std::int32_t expected = counted;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        for (int i = 0; i < row.frames; ++i) server_->sendFrame();
        ASSERT_TRUE(simtest::eventually([&] { return c->receivedCount() == static_cast<std::size_t>(row.frames); }));
        EXPECT_EQ(frameCounter.load(), expected) << "nothing sent: the SimClient thread was not woken";
        row.wake();
        expected = (expected + row.dispatched) % 30;  // the count starts again every 30 frames
        EXPECT_TRUE(simtest::eventually([&] { return c->receivedCount() == 0 && frameCounter.load() == expected; }));
    }
    EXPECT_EQ(packetsOf(sc::Op::TransmitClientEvent).size(), 1u);
    EXPECT_FALSE(simQueuesHoldWork());
}

// A frame that finds the tick loop waiting for it with a tick due goes to the
// loop once it is queued: it wakes the loop, not this thread, and it is
// flushed, with what the loop's ticks queued, when the loop hands it on (by
// the loop's own thread: this thread stays asleep, and the frame's message
// waits for its next wake, as a frame with nothing to send does).
TEST_F(SimClientThread, AFrameTheTickLoopTakesIsFlushedWhenTheLoopHandsItOn)
{
    connect();
    const ScConnectionPtr c = connection();
    ASSERT_TRUE(c);
    ASSERT_TRUE(simtest::eventually([&] { return c->receivedCount() == 0; }));
    const std::int32_t counted = frameCounter.load();
    std::atomic<bool> taken{false};
    std::thread loop([&taken] {
        const auto now = platform::steadyNow();
        taken = sleepUntilFrame(now, now + std::chrono::seconds(60));  // 0.6 s of real time
    });
    ASSERT_TRUE(simtest::eventually([] { return frameTicksWanted(platform::steadyNow()); }));
    server_->sendFrame();
    loop.join();
    EXPECT_TRUE(taken) << "the frame did not wake the loop";
    EXPECT_EQ(c->receivedCount(), 1u);  // it waits for the loop's ticks
    EXPECT_EQ(frameCounter.load(), counted);
    queueClientEvent({150, EVENT_THROTTLE_SET, 0});  // what the ticks queued
    serveTakenFrame();
    EXPECT_FALSE(simQueuesHoldWork()) << "not flushed by the hand-over itself";
    EXPECT_TRUE(waitForOp(sc::Op::TransmitClientEvent));
    EXPECT_EQ(c->receivedCount(), 1u) << "the hand-over woke the SimClient thread";
    EXPECT_EQ(frameCounter.load(), counted);
    requestGroundInfo();  // the next wake dispatches the frame, with nothing more to send
    EXPECT_TRUE(simtest::eventually(
        [&] { return c->receivedCount() == 0 && frameCounter.load() == (counted + 1) % 30; }));
    EXPECT_EQ(packetsOf(sc::Op::TransmitClientEvent).size(), 1u);
}

// A frame the loop takes whose read also brings a message that wakes this
// thread at once (before it or after it): the frame goes to the loop all the
// same, and its flush follows the loop's ticks, not the dispatch of the read,
// so the positions of the frame's ticks leave with it.
TEST_F(SimClientThread, AFrameThatSharesItsReadIsFlushedAfterTheLoopsTicks)
{
    connect();
    const ScConnectionPtr c = connection();
    ASSERT_TRUE(c);
    const auto frameEvent = server_->subscription("Frame");
    ASSERT_TRUE(frameEvent);
    GroundInfoBlock known{};
    known.altAboveGround = 0.0;
    known.groundAltitude = 1416.0;
    known.onGround = 1;
    std::memcpy(known.atcId, "KLM1", 4);
    simstandin::Bytes knownBytes(sizeof known);
    std::memcpy(knownBytes.data(), &known, sizeof known);
    const std::int64_t onGround = 1;
    simstandin::Bytes onGroundBytes(sizeof onGround);
    std::memcpy(onGroundBytes.data(), &onGround, sizeof onGround);
    struct Row {
        const char* name;
        simstandin::Bytes other;
        bool frameFirst;
    };
    const Row rows[] = {
        {"a range-answer entry with more to come, then the frame",
         simstandin::makeObjectData(9, REQUEST_GROUND_INFO, 300, DEF_GROUND_INFO, 1, 2, 4, knownBytes), false},
        {"the frame, then the last entry of a range answer",
         simstandin::makeObjectData(9, REQUEST_GROUND_INFO, 300, DEF_GROUND_INFO, 2, 2, 4, knownBytes), true},
        {"the per-second user state, then the frame",
         simstandin::makeObjectData(8, REQUEST_USER_ON_GROUND, 1, DEF_ON_GROUND, 1, 1, 1, onGroundBytes), false},
        {"the frame, then a creation's object id", simstandin::makeObjectAddRemove(EVENT_OBJECT_ADDED, 400, 2), true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(simtest::eventually([&] { return c->receivedCount() == 0; }));
        ASSERT_FALSE(simQueuesHoldWork());
        const std::int32_t counted = frameCounter.load();
        const std::size_t sent = packetsOf(sc::Op::TransmitClientEvent).size();
        std::atomic<bool> taken{false};
        std::thread loop([&taken] {
            const auto now = platform::steadyNow();
            taken = sleepUntilFrame(now, now + std::chrono::seconds(60));  // 0.6 s of real time
        });
        ASSERT_TRUE(simtest::eventually([] { return frameTicksWanted(platform::steadyNow()); }));
        const simstandin::Bytes frame = simstandin::makeFrame(*frameEvent, 30.0f, 1.0f);
        simstandin::Bytes read = row.frameFirst ? frame : row.other;
        const simstandin::Bytes& second = row.frameFirst ? row.other : frame;
        read.insert(read.end(), second.begin(), second.end());
        ASSERT_TRUE(server_->sendRaw(read));  // one write: one read of the I/O thread
        loop.join();
        EXPECT_TRUE(taken) << "the frame did not wake the loop";
        // The other message woke this thread: the frame was dispatched with it, unflushed.
        EXPECT_TRUE(simtest::eventually(
            [&] { return c->receivedCount() == 0 && frameCounter.load() == (counted + 1) % 30; }));
        queueClientEvent({150, EVENT_THROTTLE_SET, 0});  // what the loop's ticks queued
        serveTakenFrame();
        EXPECT_TRUE(waitForOp(sc::Op::TransmitClientEvent, sent + 1)) << "the ticks' work waited for the next frame";
        EXPECT_TRUE(simtest::eventually([] { return !simQueuesHoldWork(); }));
        EXPECT_EQ(frameCounter.load(), (counted + 1) % 30);
        EXPECT_FALSE(takenFrameAwaitsTicks());
        (void)takeSimReplies();
    }
}

TEST_F(SimClientThread, ConversationOfOneAiAircraft)
{
    connect();
    ASSERT_TRUE(queueAcCreation(creationAt(47.47, 8.55, "AAL123", "Stand-in A321", 0xABCDEF)));
    server_->sendFrame();
    ASSERT_TRUE(simtest::eventually([&] { return server_->aiObjects().size() == 1; }));
    const std::uint32_t oid = server_->aiObjects().front().id;
    EXPECT_EQ(server_->aiObjects().front().atcId, "AAL123");

    // Announced, the new object is asked for its ground information at once:
    // it answers with its tail, on its wheels (its CG height, 6.5 ft), and no
    // range answer is waited for.
    ASSERT_EQ(waitReplies(1), (std::vector<SimReply>{{oid, 0xABCDEF, 0, replyLiveCreated, 0.0, 6.5}}));
    const auto probes = packetsOf(sc::Op::RequestDataOnSimObject);
    ASSERT_FALSE(probes.empty());
    EXPECT_EQ(probes.back().u32(16), static_cast<std::uint32_t>(REQUEST_NEW_OBJECT));
    EXPECT_EQ(probes.back().u32(20), static_cast<std::uint32_t>(DEF_GROUND_INFO));
    EXPECT_EQ(probes.back().u32(24), oid);
    EXPECT_EQ(packetsOf(sc::Op::RequestDataOnSimObjectType).size(), 0u);
    EXPECT_TRUE(waitForOp(sc::Op::AIReleaseControl));
    server_->sendFrame();  // the three freezes
    EXPECT_TRUE(simtest::eventually([&] { return server_->aiObject(oid)->frozen.size() == 3; }));
    EXPECT_TRUE(server_->aiObject(oid)->released);

    requestGroundInfo();  // now a known object on the ground: ground info
    EXPECT_EQ(waitReplies(1), (std::vector<SimReply>{{oid, 1, 0, replyGroundInfo, 1416.0, 6.5}}));

    {
        std::lock_guard lock(simQueueMutex);  // the engine's StaticCG request
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(simHandle.load(), REQUEST_STATIC_ATTITUDE, DEF_STATIC_ATTITUDE,
                                                    oid, SIMCONNECT_PERIOD_ONCE),
                  scOk);
    }
    EXPECT_EQ(waitReplies(1), (std::vector<SimReply>{{oid, 0, 0, replyStaticAttitude, 6.5, -0.02}}));

    queueAcRemoval(oid);
    server_->sendFrame();
    EXPECT_EQ(waitReplies(1), (std::vector<SimReply>{{oid, 0, 0, replyRemoved, 0.0, 0.0}}));
    EXPECT_TRUE(server_->aiObjects().empty());
}

TEST_F(SimClientThread, AnotherProgramsAircraftIsOnlyLogged)
{
    connect();
    server_->addForeignAircraft(300, "N12345", 800.0, 364.0, false);
    server_->sendAdded(300);
    requestGroundInfo();
    EXPECT_TRUE(simtest::eventually(
        [&] { return env_->logHas("just spawned, but not by VRMT_P3D, oid: 300, callsign 'N12345'"); }));
    // The object is looked at twice (its own probe and the range answer, in
    // either order): the second look may hand on its ground information,
    // which the engine finds no aircraft for; nothing says it is ours.
    for (const SimReply& r : takeSimReplies()) EXPECT_EQ(r.kind, replyGroundInfo);
}

TEST_F(SimClientThread, ARefusedCreationReachesTheEngine)
{
    simstandin::StandInOptions options;
    options.failingTitles = {"Broken Title"};
    connect(options);
    ASSERT_TRUE(queueAcCreation(creationAt(47.47, 8.55, "DLH4", "Broken Title", 0x3C6444)));
    EXPECT_FALSE(queueAcCreation(creationAt(47.47, 8.55, "DLH4ABCDEFGH", "Title", 0x3C6445)));  // tail of 12
    server_->sendFrame();
    EXPECT_EQ(waitReplies(1), (std::vector<SimReply>{{0, 0x3C6444, 0, replyCreationFailed, 0.0, 0.0}}));
    EXPECT_EQ(packetsOf(sc::Op::AICreateNonATCAircraft).size(), 1u);
    EXPECT_FALSE(closingFlag);
    EXPECT_FALSE(simErrorFlag);
}

TEST_F(SimClientThread, UserAircraft)
{
    simstandin::UserAircraft user;
    user.title = std::string("Stand-in Boeing 737-800 in a livery with a very long name");
    user.atcModel = "B738";
    user.state.latitude = 50.03;
    user.state.longitude = 8.57;
    user.state.altitude = -5.0;
    user.state.zuluYear = 2000;
    user.state.zuluDayOfYear = 61;
    user.state.zuluTime = 60;
    env_->liveries.halfSpans = {{"B738", 0.0097}};
    env_->liveries.largestHalfSpan = 0.0215;
    connect();
    server_->setUser(user);

    requestUserAcPosition();
    ASSERT_TRUE(simtest::eventually([] { return userAcSnapshot().latitude == 50.03; }));
    EXPECT_EQ(userAcSnapshot().altitude, 0.0);
    EXPECT_EQ(userObjectId.load(), 1u);
    EXPECT_EQ(simUtcEpoch.load(), 951868860);

    {
        std::lock_guard lock(simQueueMutex);  // the main cycle's once-a-second request
        ASSERT_EQ(SimConnect_RequestDataOnSimObject(simHandle.load(), REQUEST_USER_ON_GROUND, DEF_ON_GROUND,
                                                    SIMCONNECT_OBJECT_ID_USER, SIMCONNECT_PERIOD_SECOND),
                  scOk);
    }
    ASSERT_TRUE(waitForOp(sc::Op::RequestDataOnSimObject, 2));
    server_->tickSecond();
    EXPECT_TRUE(simtest::eventually([] { return newSecondFlag.load() && userOnGroundKnown.load(); }));
    EXPECT_TRUE(userOnGround);

    requestUserAcTitleModel();
    EXPECT_TRUE(simtest::eventually([] { return userHalfWingspan().has_value(); }));
    EXPECT_EQ(userAcTitle(), user.title.substr(0, 48));
    EXPECT_EQ(*userHalfWingspan(), 0.0097);
    EXPECT_TRUE(statusPanel().userAircraftKnown);

    user.state.latitude += 0.2;  // 12 nm: a teleport
    server_->setUser(user);
    requestUserAcPosition();
    EXPECT_TRUE(simtest::eventually([] { return closingFlag.load(); }));
    EXPECT_EQ(closingReason(), ClosingReason::NewFlight);
    EXPECT_EQ(restartDelaySeconds(), 30);
}

TEST_F(SimClientThread, AnEmptyModelEndsTheConnection)
{
    simstandin::UserAircraft user;
    user.atcModel = "";
    connect();
    server_->setUser(user);
    requestUserAcTitleModel();
    EXPECT_TRUE(server_->waitForDisconnect());
    joinSimClientThread();
    EXPECT_EQ(env_->app.errors(),
              std::vector<std::string>{"71: atc_model= in [General] section of your aircraft.cfg is empty or missing"});
}

// --- the engine's position hand-over against a busy lock ---

TEST(PositionHandOver, DropsAtLowFrameRatesAndWaitsAtHighOnes)
{
    LayerEnv env;
    for (const float rate : {45.0f, 51.0f}) {
        resetSimQueues();
        frameRate = rate;
        positionQueue.write().push_back({AcPositionBlock{}, 150});
        const bool drops = rate <= 50.0f;
        std::mutex m;
        std::condition_variable cv;
        bool held = false, handedOver = false;
        std::atomic<bool> released{false};
        std::thread holder([&] {
            std::unique_lock lock(simQueueMutex);
            {
                std::lock_guard l(m);
                held = true;
            }
            cv.notify_all();
            if (drops) {
                // Held until the hand-over returned: it must have found the lock busy.
                std::unique_lock l(m);
                cv.wait(l, [&] { return handedOver; });
            } else {
                platform::sleepFor(std::chrono::milliseconds(20));  // the hand-over waits meanwhile
            }
            released = true;
            lock.unlock();
        });
        {
            std::unique_lock l(m);
            cv.wait(l, [&] { return held; });
        }
        handOverPositions();
        // Waiting, it cannot return before the lock was let go.
        if (!drops) {
            EXPECT_TRUE(released.load()) << rate;
        }
        {
            std::lock_guard l(m);
            handedOver = true;
        }
        cv.notify_all();
        holder.join();
        std::lock_guard lock(simQueueMutex);
        EXPECT_EQ(positionQueue.sendLocked().size(), drops ? 0u : 1u) << rate;
        EXPECT_TRUE(positionQueue.write().empty());
    }
}

}  // namespace
