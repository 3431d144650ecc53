// Every packet the library builds, byte for byte, as the stand-in receives it
// over a real socket; the text limits; the packet id; the setup sequence.

#include <thread>

#include "support/sim_fixture.h"
#include "simlink/sim_definitions.h"

namespace {

using simtest::Golden;

class ScPackets : public simtest::SimFixture {
protected:
    void SetUp() override
    {
        SimFixture::SetUp();
        startServer();
        h_ = openClient();
        ASSERT_NE(h_, nullptr);
    }
    void TearDown() override
    {
        if (h_) SimConnect_Close(h_);
        SimFixture::TearDown();
    }
    // The raw bytes of the packets received after Open.
    std::vector<simtest::Bytes> rawAfterOpen(std::size_t count)
    {
        EXPECT_TRUE(server_->waitForPackets(count + 1));
        std::vector<simtest::Bytes> out;
        for (const auto& p : packetsAfterOpen()) out.push_back(p.raw);
        return out;
    }
    HANDLE h_ = nullptr;
};

SIMCONNECT_DATA_INITPOSITION position()
{
    return {50.0333, 8.5706, 364.0, -2.5, 0.5, 271.0, 1, 0};
}

TEST_F(ScPackets, OpenPacket)
{
    const auto open = server_->packets().at(0);
    EXPECT_EQ(open.raw, Golden(296, 0x01, 1)
                            .text(16, "VRMT_P3D")
                            .u32(276, 0x50334400)
                            .u32(280, 5)
                            .u32(284, 3)
                            .bytes);
    EXPECT_EQ(server_->lastClientVersion(), 35u);
}

TEST_F(ScPackets, GoldenBytesOfEveryOperation)
{
    const double block402[8] = {50.1, 8.6, -0.05, 0.01, 3.1, 2500.0, -12.5, 140.0};
    const double block401[3] = {0.0, 55.0, 56.0};
    struct Case {
        const char* name;
        std::function<HRESULT()> call;
        std::function<Golden(std::uint32_t)> expected;
    } cases[] = {
        {"SubscribeToSystemEvent", [&] { return SimConnect_SubscribeToSystemEvent(h_, 201, "Sim"); },
         [](std::uint32_t id) { return Golden(276, 0x17, id).u32(16, 201).text(20, "Sim"); }},
        {"AddToDataDefinition", [&] {
             return SimConnect_AddToDataDefinition(h_, 402, "Plane Latitude", "degree", SIMCONNECT_DATATYPE_FLOAT64,
                                                   0.0f, SIMCONNECT_UNUSED);
         },
         [](std::uint32_t id) {
             return Golden(544, 0x0C, id).u32(16, 402).text(20, "Plane Latitude").text(276, "degree").u32(532, 4)
                 .f32(536, 0.0f).u32(540, 0xFFFFFFFF);
         }},
        {"AddToDataDefinition without units", [&] {
             return SimConnect_AddToDataDefinition(h_, 407, "TITLE", nullptr, SIMCONNECT_DATATYPE_STRINGV, 0.0f,
                                                   SIMCONNECT_UNUSED);
         },
         [](std::uint32_t id) {
             return Golden(544, 0x0C, id).u32(16, 407).text(20, "TITLE").u32(532, 11).u32(540, 0xFFFFFFFF);
         }},
        {"MapClientEventToSimEvent", [&] { return SimConnect_MapClientEventToSimEvent(h_, 220, "GEAR_SET"); },
         [](std::uint32_t id) { return Golden(276, 0x04, id).u32(16, 220).text(20, "GEAR_SET"); }},
        {"AddClientEventToNotificationGroup",
         [&] { return SimConnect_AddClientEventToNotificationGroup(h_, 301, 208, 1); },
         [](std::uint32_t id) { return Golden(28, 0x07, id).u32(16, 301).u32(20, 208).u32(24, 1); }},
        {"SetNotificationGroupPriority", [&] { return SimConnect_SetNotificationGroupPriority(h_, 301, 1); },
         [](std::uint32_t id) { return Golden(24, 0x09, id).u32(16, 301).u32(20, 1); }},
        {"RequestDataOnSimObject SECOND",
         [&] { return SimConnect_RequestDataOnSimObject(h_, 108, 409, 0, SIMCONNECT_PERIOD_SECOND); },
         [](std::uint32_t id) { return Golden(48, 0x0E, id).u32(16, 108).u32(20, 409).u32(28, 4); }},
        {"RequestDataOnSimObject ONCE",
         [&] { return SimConnect_RequestDataOnSimObject(h_, 102, 405, 150, SIMCONNECT_PERIOD_ONCE); },
         [](std::uint32_t id) { return Golden(48, 0x0E, id).u32(16, 102).u32(20, 405).u32(24, 150).u32(28, 1); }},
        {"RequestDataOnSimObjectType",
         [&] { return SimConnect_RequestDataOnSimObjectType(h_, 101, 404, 46300, SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT); },
         [](std::uint32_t id) { return Golden(32, 0x0F, id).u32(16, 101).u32(20, 404).u32(24, 46300).u32(28, 2); }},
        {"SetDataOnSimObject 402 with count 0",
         [&] { return SimConnect_SetDataOnSimObject(h_, 402, 150, 0, 0, 64, block402); },
         [&](std::uint32_t id) {
             Golden g(100, 0x10, id);
             g.u32(16, 402).u32(20, 150).u32(28, 1).u32(32, 64);
             for (int i = 0; i < 8; ++i) g.f64(36 + 8 * i, block402[i]);
             return g;
         }},
        {"SetDataOnSimObject 401", [&] { return SimConnect_SetDataOnSimObject(h_, 401, 150, 0, 0, 24, block401); },
         [&](std::uint32_t id) {
             Golden g(60, 0x10, id);
             g.u32(16, 401).u32(20, 150).u32(28, 1).u32(32, 24);
             for (int i = 0; i < 3; ++i) g.f64(36 + 8 * i, block401[i]);
             return g;
         }},
        {"TransmitClientEvent", [&] { return SimConnect_TransmitClientEvent(h_, 150, 214, 0, 301, 0); },
         [](std::uint32_t id) { return Golden(36, 0x05, id).u32(16, 150).u32(20, 214).u32(28, 301); }},
        {"AICreateNonATCAircraft",
         [&] { return SimConnect_AICreateNonATCAircraft(h_, "Airbus A320 Lufthansa", "DLH4AB", position(), 104); },
         [](std::uint32_t id) {
             return Golden(344, 0x29, id).text(16, "Airbus A320 Lufthansa").text(272, "DLH4AB").f64(284, 50.0333)
                 .f64(292, 8.5706).f64(300, 364.0).f64(308, -2.5).f64(316, 0.5).f64(324, 271.0).u32(332, 1)
                 .u32(340, 104);
         }},
        {"AIReleaseControl", [&] { return SimConnect_AIReleaseControl(h_, 150, 103); },
         [](std::uint32_t id) { return Golden(24, 0x2B, id).u32(16, 150).u32(20, 103); }},
        {"AIRemoveObject", [&] { return SimConnect_AIRemoveObject(h_, 150, 105); },
         [](std::uint32_t id) { return Golden(24, 0x2C, id).u32(16, 150).u32(20, 105); }},
        {"AISetAircraftFlightPlan",
         [&] { return SimConnect_AISetAircraftFlightPlan(h_, 150, "C:\\VRMT\\orig_dest\\150.pln", 110); },
         [](std::uint32_t id) {
             return Golden(284, 0x2D, id).u32(16, 150).text(20, "C:\\VRMT\\orig_dest\\150.pln").u32(280, 110);
         }},
    };
    for (const auto& tc : cases) ASSERT_EQ(tc.call(), scOk) << tc.name;
    const auto raw = rawAfterOpen(std::size(cases));
    ASSERT_EQ(raw.size(), std::size(cases));
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        EXPECT_EQ(raw[i], cases[i].expected(static_cast<std::uint32_t>(i + 2)).bytes) << cases[i].name;
    }
}

TEST_F(ScPackets, TextsThatDoNotFitSendNothing)
{
    const std::string t255(255, 'T'), t256(256, 'T'), p259(259, 'p'), p260(260, 'p');
    struct Case {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT expected;
    } cases[] = {
        {"title 256", [&] { return SimConnect_AICreateNonATCAircraft(h_, t256.c_str(), "T", position(), 104); },
         scTextTooLong},
        {"tail 12", [&] { return SimConnect_AICreateNonATCAircraft(h_, "A", "ABCDEFGHIJKL", position(), 104); },
         scTextTooLong},
        {"path 260", [&] { return SimConnect_AISetAircraftFlightPlan(h_, 150, p260.c_str(), 110); }, scTextTooLong},
        {"event name 256", [&] { return SimConnect_MapClientEventToSimEvent(h_, 220, t256.c_str()); }, scTextTooLong},
        {"units 256", [&] { return SimConnect_AddToDataDefinition(h_, 1, "X", t256.c_str()); }, scTextTooLong},
        {"title 255", [&] { return SimConnect_AICreateNonATCAircraft(h_, t255.c_str(), "T", position(), 104); }, scOk},
        {"tail 11", [&] { return SimConnect_AICreateNonATCAircraft(h_, "A", "ABCDEFGHIJK", position(), 104); }, scOk},
        {"path 259", [&] { return SimConnect_AISetAircraftFlightPlan(h_, 150, p259.c_str(), 110); }, scOk},
    };
    for (const auto& tc : cases) {
        EXPECT_EQ(tc.call(), tc.expected) << tc.name;
        // The next packet starts where the failed one began, whole and clean.
        ASSERT_EQ(SimConnect_AIReleaseControl(h_, 7, 103), scOk);
    }
    ASSERT_TRUE(server_->waitFor([](const auto& p) { return p.size() >= 1 + 8 + 3; }));
    const auto got = packetsAfterOpen();
    ASSERT_EQ(got.size(), 8u + 3u);
    std::size_t releases = 0;
    for (const auto& p : got) {
        if (p.is(sc::Op::AIReleaseControl)) {
            ++releases;
            EXPECT_EQ(p.size, 24u);
            EXPECT_EQ(p.u32(16), 7u);
        }
    }
    EXPECT_EQ(releases, 8u);
    EXPECT_EQ(got[5].text(16, 256), t255);
    EXPECT_EQ(got[7].text(272, 12), "ABCDEFGHIJK");
    EXPECT_EQ(got[9].text(20, 260), p259);
}

TEST_F(ScPackets, PacketIdsCountAndWrapPastZero)
{
    DWORD id = 0;
    ASSERT_EQ(SimConnect_GetLastSentPacketID(h_, &id), scOk);
    EXPECT_EQ(id, 1u);  // Open
    DWORD created = 0;
    ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h_, "A", "B", position(), 104, &created), scOk);
    ASSERT_EQ(SimConnect_GetLastSentPacketID(h_, &id), scOk);
    EXPECT_EQ(created, 2u);
    EXPECT_EQ(id, 2u);

    ASSERT_TRUE(scSetLastPacketIdForTest(h_, 0xFFFFFFFEu));
    ASSERT_EQ(SimConnect_AIRemoveObject(h_, 1, 105), scOk);
    ASSERT_EQ(SimConnect_AIRemoveObject(h_, 1, 105), scOk);
    ASSERT_EQ(SimConnect_GetLastSentPacketID(h_, &id), scOk);
    EXPECT_EQ(id, 1u);
    ASSERT_TRUE(server_->waitForPackets(4));
    const auto got = server_->packets();
    EXPECT_EQ(got[2].packetId, 0xFFFFFFFFu);
    EXPECT_EQ(got[3].packetId, 1u);
    EXPECT_EQ(SimConnect_GetLastSentPacketID(h_, nullptr), scFail);
}

TEST_F(ScPackets, SetDataThatCanNeverFitFails)
{
    std::vector<std::uint8_t> data(41088);
    EXPECT_EQ(SimConnect_SetDataOnSimObject(h_, 402, 1, 0, 1, 41088, data.data()), scFail);
    EXPECT_EQ(SimConnect_SetDataOnSimObject(h_, 402, 1, 0, 0xFFFFFFFFu, 0xFFFFFFFFu, nullptr), scFail);
    EXPECT_EQ(SimConnect_SetDataOnSimObject(h_, 402, 1, 0, 1, 41088 - 36, data.data()), scOk);
}

// The expected registration after Open, written out from the identifier tables.
std::vector<simtest::Bytes> expectedSetup(std::uint32_t firstId)
{
    std::vector<simtest::Bytes> out;
    std::uint32_t id = firstId;
    const std::pair<std::uint32_t, const char*> subs[] = {{201, "Sim"},          {202, "ObjectAdded"},
                                                           {203, "ObjectRemoved"}, {205, "PositionChanged"},
                                                           {206, "FlightLoaded"},  {204, "Frame"}};
    for (auto [e, name] : subs) out.push_back(Golden(276, 0x17, id++).u32(16, e).text(20, name).bytes);
    struct D {
        std::uint32_t def;
        const char* name;
        const char* units;
        std::uint32_t type;
    };
    const D datums[] = {
        {407, "TITLE", "", 11},
        {408, "ATC MODEL", "", 6},
        {409, "SIM ON GROUND", "Bool", 2},
        {402, "Plane Latitude", "degree", 4},
        {402, "Plane Longitude", "degree", 4},
        {402, "Plane Pitch degrees", "radians", 4},
        {402, "Plane Bank degrees", "radians", 4},
        {402, "Plane Heading degrees true", "radians", 4},
        {402, "Plane Altitude", "feet", 4},
        {402, "Vertical Speed", "feet per second", 4},
        {402, "Airspeed True", "knots", 4},
        {403, "Plane Latitude", "degree", 4},
        {403, "Plane Longitude", "degree", 4},
        {403, "Plane Pitch degrees", "radians", 4},
        {403, "Plane Bank degrees", "radians", 4},
        {403, "Plane Heading degrees true", "radians", 4},
        {403, "Plane Altitude", "feet", 4},
        {403, "Plane Alt Above Ground", "feet", 4},
        {403, "Ground Velocity", "knots", 4},
        {403, "ZULU TIME", "Seconds", 2},
        {403, "ZULU DAY OF YEAR", "Number", 2},
        {403, "ZULU YEAR", "Number", 2},
        {403, "LIGHT STATES", "Mask", 2},
        {405, "Static CG to Ground", "feet", 4},
        {405, "Static Pitch", "radians", 4},
        {406, "Light On States", "Mask", 2},
        {404, "Plane Alt Above Ground", "feet", 4},
        {404, "Ground Altitude", "feet", 4},
        {404, "SIM ON GROUND", "Bool", 2},
        {404, "ATC ID", "", 6},
        {401, "SPOILERS HANDLE POSITION", "percent", 4},
        {401, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", 4},
        {401, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", 4},
    };
    for (const auto& d : datums) {
        out.push_back(Golden(544, 0x0C, id++)
                          .u32(16, d.def)
                          .text(20, d.name)
                          .text(276, d.units)
                          .u32(532, d.type)
                          .f32(536, 0.0f)
                          .u32(540, 0xFFFFFFFF)
                          .bytes);
    }
    const std::pair<std::uint32_t, const char*> maps[] = {
        {220, "GEAR_SET"},          {221, "ENGINE_AUTO_START"},  {222, "ENGINE_AUTO_SHUTDOWN"},
        {223, "THROTTLE_SET"},      {218, "FLAPS_SET"},          {219, "SPOILERS_SET"},
        {208, "NAV_LIGHTS_SET"},    {207, "BEACON_LIGHTS_SET"},  {211, "LANDING_LIGHTS_SET"},
        {209, "TAXI_LIGHTS_SET"},   {210, "STROBES_SET"},        {213, "LOGO_LIGHTS_SET"},
        {212, "CABIN_LIGHTS_SET"},  {214, "ALL_LIGHTS_TOGGLE"},  {215, "FREEZE_LATITUDE_LONGITUDE_SET"},
        {216, "FREEZE_ALTITUDE_SET"}, {217, "FREEZE_ATTITUDE_SET"}};
    for (auto [e, name] : maps) out.push_back(Golden(276, 0x04, id++).u32(16, e).text(20, name).bytes);
    for (std::uint32_t e : {208, 207, 211, 209, 210, 213, 212, 214, 218, 219, 220, 222, 223, 215, 216, 217})
        out.push_back(Golden(28, 0x07, id++).u32(16, 301).u32(20, e).u32(24, 1).bytes);
    out.push_back(Golden(24, 0x09, id++).u32(16, 301).u32(20, 1).bytes);
    return out;
}

TEST_F(ScPackets, SetupSequenceByteForByteAndAgainAfterReconnecting)
{
    const auto expected = expectedSetup(2);
    ASSERT_EQ(expected.size(), 73u);
    simHandle = h_;
    setupSimDefinitions();
    EXPECT_EQ(rawAfterOpen(73), expected);

    // A new connection registers everything again, with the same ids.
    ASSERT_EQ(SimConnect_Close(h_), scOk);
    h_ = nullptr;
    ASSERT_TRUE(server_->waitForDisconnect());
    server_->clearPackets();
    h_ = openClient();
    ASSERT_NE(h_, nullptr);
    EXPECT_EQ(server_->acceptedCount(), 2u);
    setupSimDefinitions(h_);
    EXPECT_EQ(rawAfterOpen(73), expected);
    simHandle = nullptr;
}

TEST_F(ScPackets, CloseRightAfterSendingLosesNothing)
{
    for (int i = 0; i < 300; ++i) ASSERT_EQ(SimConnect_AIRemoveObject(h_, 100 + i, 105), scOk);
    ASSERT_EQ(SimConnect_Close(h_), scOk);
    h_ = nullptr;
    ASSERT_TRUE(server_->waitForPackets(301));
    EXPECT_EQ(server_->packets().back().u32(16), 399u);
}

TEST_F(ScPackets, SendsFromTwoThreadsInterleaveOnlyWholePackets)
{
    constexpr int perThread = 400;
    const double block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::thread a([&] {
        for (int i = 0; i < perThread; ++i) SimConnect_SetDataOnSimObject(h_, 402, 100 + i, 0, 0, 64, block);
    });
    std::thread b([&] {
        for (int i = 0; i < perThread; ++i) SimConnect_MapClientEventToSimEvent(h_, 5000 + i, "FLAPS_SET");
    });
    a.join();
    b.join();
    ASSERT_TRUE(server_->waitForPackets(1 + 2 * perThread));
    const auto got = packetsAfterOpen();
    ASSERT_EQ(got.size(), 2u * perThread);
    std::uint32_t nextId = 2;
    int sets = 0, maps = 0;
    for (const auto& p : got) {
        EXPECT_EQ(p.packetId, nextId++);
        if (p.is(sc::Op::SetDataOnSimObject)) {
            EXPECT_EQ(p.size, 100u);
            EXPECT_EQ(p.u32(20), 100u + sets++);
            EXPECT_EQ(p.f64(36 + 56), 8.0);
        } else {
            ASSERT_TRUE(p.is(sc::Op::MapClientEventToSimEvent));
            EXPECT_EQ(p.u32(16), 5000u + maps++);
            EXPECT_EQ(p.text(20, 256), "FLAPS_SET");
        }
    }
}

}  // namespace

namespace {

// One frame's worth of packets of every kind the flush sends: position blocks
// (more than the 41,088-byte send buffer holds), events, creations, removals.
void sendFrame(HANDLE h, int positions)
{
    const double block[8] = {50.1, 8.6, -0.05, 0.01, 3.1, 2500.0, -12.5, 140.0};
    for (int i = 0; i < positions; ++i) ASSERT_EQ(SimConnect_SetDataOnSimObject(h, 402, 100 + i, 0, 0, 64, block), scOk);
    for (int i = 0; i < 20; ++i) ASSERT_EQ(SimConnect_TransmitClientEvent(h, 100 + i, 1011, i, 301, 0), scOk);
    for (int i = 0; i < 5; ++i) {
        ASSERT_EQ(SimConnect_AICreateNonATCAircraft(h, "VRMT Demo A320", "KLM1", position(), 103), scOk);
    }
    for (int i = 0; i < 7; ++i) ASSERT_EQ(SimConnect_AIRemoveObject(h, 200 + i, 105), scOk);
}

}  // namespace

TEST_F(ScPackets, ABatchSendsTheBytesOfThePacketsSentOneByOne)
{
    struct Case {
        const char* name;
        int positions;
    } cases[] = {
        {"a small frame", 3},
        {"500 aircraft (more than the send buffer)", 500},
        // About 1.6 MB: more than the socket takes at once, so writes are partial.
        {"beyond the socket buffer", 16000},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        server_->clearPackets();
        ASSERT_TRUE(scSetLastPacketIdForTest(h_, 1));
        sendFrame(h_, tc.positions);
        const std::size_t count = static_cast<std::size_t>(tc.positions) + 32;
        ASSERT_TRUE(server_->waitForPackets(count));
        std::vector<simtest::Bytes> oneByOne;
        for (const auto& p : server_->packets()) oneByOne.push_back(p.raw);

        server_->clearPackets();
        ASSERT_TRUE(scSetLastPacketIdForTest(h_, 1));
        ASSERT_EQ(scBeginBatch(h_), scOk);
        sendFrame(h_, tc.positions);
        // Nested batches (a flush inside a caller's batch) end with the outer one.
        ASSERT_EQ(scBeginBatch(h_), scOk);
        ASSERT_EQ(scEndBatch(h_), scOk);
        ASSERT_EQ(scEndBatch(h_), scOk);
        ASSERT_TRUE(server_->waitForPackets(count));
        std::vector<simtest::Bytes> batched;
        for (const auto& p : server_->packets()) batched.push_back(p.raw);
        EXPECT_EQ(batched.size(), count);
        EXPECT_TRUE(batched == oneByOne);
        DWORD last = 0;
        ASSERT_EQ(SimConnect_GetLastSentPacketID(h_, &last), scOk);
        EXPECT_EQ(last, 1u + count);
    }
}

TEST_F(ScPackets, PacketsOfABatchWaitForItsEndAndThenLeaveInOrder)
{
    ASSERT_EQ(scBeginBatch(h_), scOk);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(SimConnect_AIRemoveObject(h_, 100 + i, 105), scOk);
    // Another thread's packet built inside the batch joins it, in build order.
    std::thread other([&] { EXPECT_EQ(SimConnect_AIReleaseControl(h_, 77, 104), scOk); });
    other.join();
    EXPECT_EQ(server_->packets().size(), 1u);  // only Open: nothing left yet
    ASSERT_EQ(scEndBatch(h_), scOk);
    ASSERT_TRUE(server_->waitForPackets(12));
    const auto got = packetsAfterOpen();
    ASSERT_EQ(got.size(), 11u);
    for (std::size_t i = 0; i < 10; ++i) EXPECT_EQ(got[i].u32(16), 100u + i);
    EXPECT_TRUE(got[10].is(sc::Op::AIReleaseControl));
    // A closed handle has no batch.
    EXPECT_EQ(scBeginBatch(nullptr), scFail);
    EXPECT_EQ(scEndBatch(nullptr), scFail);
}

// The batch's bytes moved on to make room for a packet whose text then did not
// fit: they leave at the batch's end all the same, not with some later send.
TEST_F(ScPackets, ABatchWhoseLastPacketIsGivenBackStillSendsTheRest)
{
    const double block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    constexpr int positions = static_cast<int>(sc::sendBufferSize / 100);  // room left: less than one mapping
    ASSERT_EQ(scBeginBatch(h_), scOk);
    for (int i = 0; i < positions; ++i) ASSERT_EQ(SimConnect_SetDataOnSimObject(h_, 402, 100 + i, 0, 0, 64, block), scOk);
    EXPECT_EQ(SimConnect_MapClientEventToSimEvent(h_, 5000, std::string(300, 'X').c_str()), scTextTooLong);
    ASSERT_EQ(scEndBatch(h_), scOk);
    ASSERT_TRUE(server_->waitForPackets(1 + positions));
    const auto got = packetsAfterOpen();
    ASSERT_EQ(got.size(), static_cast<std::size_t>(positions));
    EXPECT_EQ(got.back().u32(20), 100u + positions - 1);
}
