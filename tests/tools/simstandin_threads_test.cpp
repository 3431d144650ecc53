// The simulator stand-in itself, driven through the client library: what it
// answers, what it keeps in its world, and its triggers.

#include <optional>

#include "simlink/sim_definitions.h"
#include "simlink/support/sim_fixture.h"

namespace {

using simtest::Bytes;

SIMCONNECT_DATA_INITPOSITION at(double lat, double lon, double alt, bool onGround)
{
    return {lat, lon, alt, 0.0, 0.0, 90.0, onGround ? 1u : 0u, 0};
}

class StandIn : public simtest::SimFixture {
protected:
    void start(simstandin::StandInOptions o = {})
    {
        startServer(std::move(o));
        h_ = openClient();
        ASSERT_NE(h_, nullptr);
        setupSimDefinitions(h_);
        ASSERT_TRUE(server_->waitForPackets(74));
        received_.clear();
    }
    void TearDown() override
    {
        if (h_) SimConnect_Close(h_);
        SimFixture::TearDown();
    }
    // Waits for n more messages and returns them.
    std::vector<Bytes> next(std::size_t n)
    {
        const std::size_t from = received_.size();
        EXPECT_TRUE(dispatchUntil(h_, from + n));
        return std::vector<Bytes>(received_.begin() + static_cast<std::ptrdiff_t>(from), received_.end());
    }
    static std::uint32_t u32(const Bytes& b, std::size_t at) { return sc::getU32(b.data() + at); }
    HANDLE h_ = nullptr;
};

TEST_F(StandIn, OpenAnswerCarriesTheConfiguredSimulator)
{
    startServer();
    ASSERT_NE(h_ = openClient(), nullptr);
    const auto open = scReadMessage<SIMCONNECT_RECV_OPEN>(reinterpret_cast<SIMCONNECT_RECV*>(received_.at(0).data()),
                                                          static_cast<DWORD>(received_[0].size()));
    EXPECT_EQ(open.dwSize, 308u);
    EXPECT_STREQ(open.szApplicationName, "Lockheed Martin\xAE Prepar3D\xAE v5");
    EXPECT_EQ(open.dwApplicationVersionMajor, 5u);
    EXPECT_EQ(open.dwApplicationVersionMinor, 3u);
    SimConnect_Close(h_);
    h_ = nullptr;
    ASSERT_TRUE(server_->waitForDisconnect());
    server_->configure([](auto& o) {
        o.simName = "Lockheed Martin Prepar3D v6";
        o.simVersion = {6, 0, 34, 0};
    });
    received_.clear();
    ASSERT_NE(h_ = openClient(), nullptr);
    EXPECT_EQ(sc::getText(received_.at(0).data() + 12, 256), "Lockheed Martin Prepar3D v6");
    EXPECT_EQ(u32(received_[0], 268), 6u);
}

TEST_F(StandIn, UserAircraftRequestsAreAnsweredByDefinition)
{
    start();
    auto user = server_->user();
    user.title = "Stand-in Airbus A320 Lufthansa";  // 30 characters: 31 with the zero, padded to 32
    user.atcModel = "A320";
    user.state.latitude = 50.0;
    server_->setUser(user);
    SimConnect_RequestDataOnSimObject(h_, 106, 407, 0, SIMCONNECT_PERIOD_ONCE);
    SimConnect_RequestDataOnSimObject(h_, 107, 408, 0, SIMCONNECT_PERIOD_ONCE);
    SimConnect_RequestDataOnSimObject(h_, 109, 403, 0, SIMCONNECT_PERIOD_ONCE);
    SimConnect_RequestDataOnSimObject(h_, 108, 409, 0, SIMCONNECT_PERIOD_SECOND);
    const auto got = next(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].size(), 40u + 32u);
    EXPECT_EQ(u32(got[0], 12), 106u);
    EXPECT_EQ(u32(got[0], 16), 1u);  // the user's object id
    EXPECT_EQ(sc::getText(got[0].data() + 40, 32), user.title);
    EXPECT_EQ(got[1].size(), 72u);
    EXPECT_EQ(sc::getText(got[1].data() + 40, 32), "A320");
    EXPECT_EQ(got[2].size(), 136u);
    EXPECT_EQ(u32(got[2], 36), 12u);  // datums of definition 403
    EXPECT_EQ(sc::getF64(got[2].data() + 40), 50.0);

    // Period SECOND: one answer per stand-in second, until NEVER. The three
    // answers may come before the stand-in read the fourth request: wait for it.
    ASSERT_TRUE(server_->waitForPackets(74 + 4));
    ASSERT_TRUE(server_->tickSecond());
    ASSERT_TRUE(server_->tickSecond());
    const auto seconds = next(2);
    ASSERT_EQ(seconds.size(), 2u);
    EXPECT_EQ(u32(seconds[1], 12), 108u);
    EXPECT_EQ(sc::getU64(seconds[1].data() + 40), 1u);  // on the ground
    SimConnect_RequestDataOnSimObject(h_, 108, 409, 0, SIMCONNECT_PERIOD_NEVER);
    ASSERT_TRUE(server_->waitForPackets(74 + 5));
    EXPECT_TRUE(server_->tickSecond());
    ASSERT_TRUE(server_->sendQuit());
    EXPECT_EQ(u32(next(1).at(0), 8), 3u);  // no further 108 came before the quit
}

TEST_F(StandIn, ConversationOfOneAiAircraft)
{
    simstandin::StandInOptions o;
    o.sendAssignedObjectId = true;
    start(o);
    const auto user = server_->user();
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h_, "Airbus A320 Lufthansa", "DLH4AB",
                                                at(user.state.latitude + 0.05, user.state.longitude, 1416, true), 104),
              scOk);
    auto got = next(2);
    EXPECT_EQ(u32(got[0], 8), 12u);  // assigned object id
    EXPECT_EQ(u32(got[0], 16), 100u);
    EXPECT_EQ(u32(got[1], 8), 5u);  // object added, with the client's event id
    EXPECT_EQ(u32(got[1], 16), 202u);
    EXPECT_EQ(u32(got[1], 20), 100u);
    EXPECT_EQ(u32(got[1], 24), 2u);

    // By type within 10 km: the user and the new aircraft with its tail as ATC id.
    server_->addForeignAircraft(300, "FAR1", 0, 0, true);  // 0.01 deg north: inside too
    ASSERT_EQ(SimConnect_RequestDataOnSimObjectType(h_, 101, 404, 10000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT), scOk);
    got = next(3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(u32(got[0], 8), 9u);
    EXPECT_EQ(u32(got[1], 16), 100u);
    EXPECT_EQ(u32(got[1], 32), 3u);  // out of
    EXPECT_EQ(sc::getText(got[1].data() + 40 + 24, 32), "DLH4AB");
    EXPECT_EQ(sc::getText(got[2].data() + 40 + 24, 32), "FAR1");
    // A radius of 2 km leaves the new aircraft (5.6 km away) out, not the foreign one (1.1 km).
    SimConnect_RequestDataOnSimObjectType(h_, 101, 404, 2000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
    got = next(2);
    EXPECT_EQ(u32(got[0], 16), 1u);
    EXPECT_EQ(u32(got[1], 16), 300u);

    SimConnect_AIReleaseControl(h_, 100, 103);
    SimConnect_MapClientEventToSimEvent(h_, 9215, "FREEZE_LATITUDE_LONGITUDE_SET");
    SimConnect_TransmitClientEvent(h_, 100, 215, 1, 301, 0);
    SimConnect_RequestDataOnSimObject(h_, 102, 405, 100, SIMCONNECT_PERIOD_ONCE);
    got = next(1);
    EXPECT_EQ(got[0].size(), 56u);
    EXPECT_EQ(sc::getF64(got[0].data() + 40), 6.5);
    const AcPositionBlock pos{50.1, 8.6, 0.0, 0.0, 1.5, 3000.0, 10.0, 150.0};
    SimConnect_SetDataOnSimObject(h_, 402, 100, 0, 0, sizeof pos, &pos);
    SimConnect_AISetAircraftFlightPlan(h_, 100, "C:\\VRMT\\orig_dest\\100.pln", 110);
    ASSERT_TRUE(server_->waitFor([](const auto& p) { return p.back().is(sc::Op::AISetAircraftFlightPlan); }));
    const auto ai = server_->aiObject(100);
    ASSERT_TRUE(ai);
    EXPECT_EQ(ai->title, "Airbus A320 Lufthansa");
    EXPECT_TRUE(ai->released);
    EXPECT_TRUE(ai->frozen.count(215));
    ASSERT_TRUE(ai->lastPosition);
    EXPECT_EQ(ai->lastPosition->altitude, 3000.0);
    EXPECT_EQ(ai->flightPlan, "C:\\VRMT\\orig_dest\\100.pln");

    SimConnect_AIRemoveObject(h_, 100, 105);
    got = next(1);
    EXPECT_EQ(u32(got[0], 16), 203u);
    EXPECT_EQ(u32(got[0], 20), 100u);
    EXPECT_FALSE(server_->aiObject(100));
}

// As the simulator computes them: each object's on-ground flag and height
// above ground follow its latest position (on its wheels: its CG height, 6.5 ft,
// above the ground), unless the flag is held stale on purpose.
TEST_F(StandIn, OnGroundFlagAndHeightFollowThePosition)
{
    start();
    const auto user = server_->user();
    const double ground = user.groundAltitude;
    const auto groundInfo = [&](std::uint32_t object) -> std::pair<double, std::uint64_t> {
        SimConnect_RequestDataOnSimObjectType(h_, 101, 404, 10000, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT);
        for (const Bytes& m : next(3)) {  // the user, the two objects
            if (u32(m, 16) == object) return {sc::getF64(m.data() + 40), sc::getU64(m.data() + 56)};
        }
        ADD_FAILURE() << "object " << object << " not in the answer";
        return {-1.0, 9};
    };
    const auto place = [&](std::uint32_t object, double height) {
        const AcPositionBlock pos{user.state.latitude, user.state.longitude, 0.0, 0.0, 1.5, ground + height, 0.0, 150.0};
        SimConnect_SetDataOnSimObject(h_, 402, object, 0, 0, sizeof pos, &pos);
    };
    SimConnect_AICreateNonATCAircraft(h_, "T", "AIR1", at(user.state.latitude, user.state.longitude, ground + 3000, false),
                                      104);
    SimConnect_AICreateNonATCAircraft(h_, "T", "GND1", at(user.state.latitude, user.state.longitude, 0, true), 104);
    next(2);
    struct Row {
        const char* name;
        std::uint32_t object;
        bool hold;
        std::optional<double> placedAt;  // height above ground sent; none: as created
        double height;
        std::uint64_t onGround;
    };
    const std::vector<Row> rows = {
        {"created aloft", 100, false, std::nullopt, 3000, 0},
        {"created on the ground: on its wheels", 101, false, std::nullopt, 6.5, 1},
        {"landed: on its wheels", 100, false, 6.5, 6.5, 1},
        {"the gear's give", 100, false, 7.0, 7.0, 1},
        {"a foot above the wheels: in the air", 100, false, 7.5, 7.5, 0},
        {"below the ground: on it, no height", 100, false, -20, 0, 1},
        {"took off", 101, false, 800, 800, 0},
        {"held: climbing on, the flag stays", 101, true, 1500, 1500, 0},
        {"held: landed, the flag stays", 101, true, 6.5, 6.5, 0},
        {"held: the other stays on the ground 800 ft up", 100, true, 800, 800, 1},
        {"released: right again", 100, false, 800, 800, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        server_->configure([&](auto& o) { o.holdOnGroundFlags = row.hold; });
        if (row.placedAt) place(row.object, *row.placedAt);
        const auto [height, onGround] = groundInfo(row.object);
        EXPECT_NEAR(height, row.height, 1e-9);
        EXPECT_EQ(onGround, row.onGround);
        const auto ai = server_->aiObject(row.object);
        ASSERT_TRUE(ai);
        EXPECT_EQ(ai->onGround, row.onGround != 0);
    }
}

TEST_F(StandIn, RefusalsAndExceptionsCarryThePacketId)
{
    simstandin::StandInOptions o;
    o.failingTitles = {"Refused Title"};
    o.failFlightPlans = true;
    o.validateSetData = true;
    start(o);
    DWORD refused = 0, plan = 0, set = 0;
    SimConnect_AICreateNonATCAircraft(h_, "Refused Title", "X1", at(0, 0, 0, true), 104, &refused);
    auto got = next(1);
    EXPECT_EQ(u32(got[0], 8), 1u);
    EXPECT_EQ(u32(got[0], 12), 22u);
    EXPECT_EQ(u32(got[0], 16), refused);
    server_->configure([](auto& opt) { opt.failNextCreations = 1; });
    SimConnect_AICreateNonATCAircraft(h_, "Fine Title", "X2", at(0, 0, 0, true), 104);
    EXPECT_EQ(u32(next(1).at(0), 12), 22u);
    SimConnect_AICreateNonATCAircraft(h_, "Fine Title", "X3", at(0, 0, 0, true), 104);
    EXPECT_EQ(u32(next(1).at(0), 8), 5u);  // added
    SimConnect_AISetAircraftFlightPlan(h_, 100, "p.pln", 110);
    SimConnect_GetLastSentPacketID(h_, &plan);
    got = next(1);
    EXPECT_EQ(u32(got[0], 12), 23u);
    EXPECT_EQ(u32(got[0], 16), plan);
    const double wrong[2] = {1, 2};
    SimConnect_SetDataOnSimObject(h_, 402, 100, 0, 0, sizeof wrong, wrong);
    SimConnect_GetLastSentPacketID(h_, &set);
    got = next(1);
    EXPECT_EQ(u32(got[0], 12), 19u);
    EXPECT_EQ(u32(got[0], 16), set);
}

TEST_F(StandIn, RemovalsCanBeHeld)
{
    simstandin::StandInOptions o;
    o.holdRemovals = true;
    start(o);
    SimConnect_AICreateNonATCAircraft(h_, "T", "A1", at(0, 0, 0, true), 104);
    next(1);
    SimConnect_AIRemoveObject(h_, 100, 105);
    ASSERT_TRUE(server_->waitFor([](const auto& p) { return p.back().is(sc::Op::AIRemoveObject); }));
    ASSERT_TRUE(server_->releaseRemovals());
    const auto got = next(1);
    EXPECT_EQ(u32(got[0], 16), 203u);
}

TEST_F(StandIn, ClientsObjectsGoWithItsConnection)
{
    start();
    server_->addForeignAircraft(300, "FAR1", 0, 0, true);
    SimConnect_AICreateNonATCAircraft(h_, "T", "A1", at(0, 0, 0, true), 104);
    next(1);
    ASSERT_TRUE(server_->aiObject(100));
    SimConnect_Close(h_);
    h_ = nullptr;
    ASSERT_TRUE(server_->waitForDisconnect());
    EXPECT_FALSE(server_->aiObject(100));
    EXPECT_TRUE(server_->aiObject(300));
}

TEST_F(StandIn, SystemEventsGoOutOnlyWhenSubscribedWithTheClientsIds)
{
    startServer();
    ASSERT_NE(h_ = openClient(), nullptr);
    EXPECT_FALSE(server_->sendFrame());  // nothing subscribed yet
    setupSimDefinitions(h_);
    ASSERT_TRUE(server_->waitForPackets(74));
    EXPECT_EQ(server_->subscription("frame"), 204u);
    received_.clear();
    ASSERT_TRUE(server_->sendFrame(45.0f, 2.0f));
    ASSERT_TRUE(server_->sendSim(true));
    ASSERT_TRUE(server_->sendPositionChanged());
    ASSERT_TRUE(server_->sendFlightLoaded(false));
    ASSERT_TRUE(server_->sendFlightLoaded(true));
    ASSERT_TRUE(server_->sendAdded(7, 4));
    ASSERT_TRUE(server_->sendEmptyByType());
    ASSERT_TRUE(server_->sendException(5, 9, 3));
    ASSERT_TRUE(server_->sendQuit());
    const auto got = next(9);
    ASSERT_EQ(got.size(), 9u);
    const std::uint32_t ids[] = {7, 4, 4, 4, 6, 5, 9, 1, 3};
    const std::size_t sizes[] = {32, 24, 24, 24, 288, 28, 40, 24, 12};
    for (std::size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(u32(got[i], 8), ids[i]) << i;
        EXPECT_EQ(got[i].size(), sizes[i]) << i;
    }
    EXPECT_EQ(u32(got[0], 16), 204u);
    EXPECT_EQ(sc::getF32(got[0].data() + 24), 45.0f);
    EXPECT_EQ(u32(got[1], 16), 201u);
    EXPECT_EQ(u32(got[1], 20), 1u);
    EXPECT_EQ(u32(got[2], 16), 205u);
    EXPECT_EQ(u32(got[3], 16), 206u);
    EXPECT_EQ(u32(got[4], 16), 206u);
    EXPECT_EQ(u32(got[5], 24), 4u);   // object type as asked
    EXPECT_EQ(u32(got[6], 32), 0u);   // no object: out of 0
    EXPECT_EQ(u32(got[7], 20), 3u);
}

}  // namespace
