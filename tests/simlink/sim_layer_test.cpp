// The simulator layer's handlers, one message at a time on the test's thread:
// name and version checks, message sizes, exceptions, system events, frame-rate
// sampling, the by-type matching and the user aircraft.

#include <gtest/gtest.h>

#include <cmath>

#include "core/errors.h"
#include "core/fmt.h"
#include "core/geodesy.h"
#include "sim_layer_support.h"
#include "simlink/ac_category.h"

using namespace simlayer;
using simstandin::Bytes;

namespace {

UserAcState userAt(double lat, double lon)
{
    UserAcState s{};
    s.latitude = lat;
    s.longitude = lon;
    return s;
}

AcPositionBlock blockAt(double lat)
{
    AcPositionBlock b{};
    b.latitude = lat;
    return b;
}

class SimLayer : public ::testing::Test {
protected:
    std::vector<SimReply> replies() { return takeSimReplies(); }
    std::vector<QueuedEvent> events()
    {
        std::lock_guard lock(simQueueMutex);
        return eventQueue;
    }
    LayerEnv env;
};

TEST(SimName, KeepsLettersDigitsAndSpaceOnly)
{
    EXPECT_EQ(cleanSimName("Lockheed Martin\xAE Prepar3D\xAE v5"), "Lockheed Martin Prepar3D v5");
    EXPECT_EQ(cleanSimName("Kitty-Hawk!"), "KittyHawk");
    EXPECT_EQ(cleanSimName("\xC2\xAE\xFF\x80"), "");
    EXPECT_EQ(cleanSimName("a\tb"), "a\tb");
}

TEST(SimName, VersionAcceptance)
{
    struct Case {
        const char* label;
        const char* installPath;
        int expected;
        bool accepted;
    } cases[] = {
        {"Lockheed Martin Prepar3D v5 (5.3.12.28070)", "C:\\Prepar3D v5", 5, true},
        {"Lockheed Martin Prepar3D v5 (5.3.12.28070)", "C:\\P3D", 5, true},
        {"Lockheed Martin Prepar3D v5 (5.3.12.28070)", "C:\\P3D V5", 6, true},
        {"Lockheed Martin Prepar3D v5 (5.3.12.28070)", "C:\\Prepar3D v6", 6, false},
        {"Lockheed Martin Prepar3D v6 (6.0.1.1)", "C:\\Prepar3D v6", 5, true},
        {"Lockheed Martin Prepar3D v6 (6.0.1.1)", "C:\\P3D", 6, true},
        {"Lockheed Martin Prepar3D v6 (6.0.1.1)", "C:\\Prepar3D v5", 5, false},
        {"Lockheed Martin Prepar3D v4 (4.5.0.0)", "C:\\Prepar3D v4", 5, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(simVersionAccepted(c.label, c.installPath, c.expected), c.accepted) << c.label << " " << c.installPath;
    }
}

TEST_F(SimLayer, OpenReplyRefusalsAndAcceptance)
{
    struct Case {
        std::string name;
        std::uint32_t major;
        int expected;
        std::string error;  // empty: accepted
    } cases[] = {
        {"Lockheed Martin\xAE Prepar3D\xAE v5", 5, 5, ""},
        {"KittyHawk", 5, 5, "78: KittyHawk, (MSFS) not being P3D connects ... ?"},
        {"Sun\xAERise", 6, 5, "78: SunRise, (MSFS) not being P3D connects ... ?"},
        {"Lockheed Martin\xAE Prepar3D\xAE v4", 4, 5,
         "78: wrong P3D version 'Lockheed Martin Prepar3D v4 (4.5.1.2)' connects ... ?)"},
        {"Lockheed Martin\xAE Prepar3D\xAE v6", 6, 5,
         "78: wrong P3D version 'Lockheed Martin Prepar3D v6 (6.5.1.2)' connects ... ?)"},
    };
    for (const Case& c : cases) {
        expectedSimMajor = c.expected;
        const int clearsBefore = env.app.clears();
        try {
            dispatch(simstandin::makeOpen(c.name, c.major, 5, 1, 2));
            EXPECT_EQ(c.error, "") << c.name;
        } catch (const qxv::UserErrorException& e) {
            EXPECT_EQ(e.what(), c.error);
        }
        EXPECT_EQ(env.app.clears() - clearsBefore, c.error.empty() ? 1 : 0) << c.name;  // acceptance clears the line
    }
    EXPECT_TRUE(env.logHas("Lockheed Martin Prepar3D v5 (5.5.1.2) connected"));
    EXPECT_TRUE(statusPanel().simConnected);
}

TEST_F(SimLayer, EmptySimulatorNameIsOnlyLogged)
{
    dispatch(simstandin::makeOpen("", 5, 3, 0, 0));
    EXPECT_FALSE(statusPanel().simConnected);
    EXPECT_TRUE(env.logHas("! Simulator name empty?"));
}

TEST_F(SimLayer, ShortMessagesAreDroppedBeforeAnyFieldIsRead)
{
    struct Case {
        Bytes message;
        std::size_t keep;  // bytes kept of it
    } cases[] = {
        {simstandin::makeException(22, 7, 0), 20},
        {simstandin::makeOpen("KittyHawk", 5, 3, 0, 0), 200},
        {simstandin::makeEvent(205, 0), 20},
        {simstandin::makeObjectAddRemove(203, 150, 2), 24},
        {simstandin::makeFrame(204, 60.0f, 1.0f), 28},
        {dataMessage(REQUEST_USER_STATE, 1, DEF_USER_STATE, Bytes(96, 1)), 36},
    };
    for (auto& c : cases) {
        c.message.resize(c.keep);
        std::uint32_t size = static_cast<std::uint32_t>(c.keep);
        std::memcpy(c.message.data(), &size, 4);
        EXPECT_NO_THROW(dispatch(c.message));
    }
    EXPECT_FALSE(closingFlag);
    EXPECT_TRUE(replies().empty());
    EXPECT_EQ(frameCounter.load(), 0);
    EXPECT_TRUE(env.logHas("SimConnect message dwID 7 too short (28 bytes), dropped"));
    // A data reply too short for its block is logged and dropped by its handler.
    struct ShortData {
        std::uint32_t requestId, defineId;
        std::size_t bytes;
    } shortData[] = {
        {REQUEST_USER_STATE, DEF_USER_STATE, 95},
        {REQUEST_STATIC_ATTITUDE, DEF_STATIC_ATTITUDE, 15},
        {REQUEST_USER_ON_GROUND, DEF_ON_GROUND, 7},
        {REQUEST_USER_MODEL, DEF_ATC_MODEL, 0},  // not an empty model: no code 71
    };
    for (const ShortData& d : shortData) {
        EXPECT_NO_THROW(dispatch(dataMessage(d.requestId, 150, d.defineId, Bytes(d.bytes, 0x41))));
        EXPECT_TRUE(env.logHas(vr::format("===> SimConnect data reply {} too short ({} bytes), dropped", d.requestId,
                                          40 + d.bytes)))
            << d.requestId;
    }
    EXPECT_EQ(userObjectId.load(), 2u);
    EXPECT_FALSE(newSecondFlag);
    EXPECT_TRUE(replies().empty());
}

TEST_F(SimLayer, UnknownIdsAreLoggedAndIgnoredIdsIgnored)
{
    dispatch(simstandin::makeMessage(10, 12));
    dispatch(simstandin::makeAssignedObjectId(104, 150));
    dispatch(simstandin::makeClientData(64));
    EXPECT_TRUE(env.logHas("! Unknown Dispatch dwID 10"));
    EXPECT_FALSE(env.logHas("dwID 12"));
}

TEST_F(SimLayer, ExceptionTable)
{
    keptCreations = {{41, 0xABC123, "AAL1"}, {42, 0, "STA*"}, {43, 0xDEF456, "DLH2"}};
    dispatch(simstandin::makeException(22, 99, 0));  // matches nothing
    EXPECT_EQ(keptCreations.size(), 3u);
    dispatch(simstandin::makeException(22, 42, 0));  // aircraft id 0: erased, no reply
    EXPECT_EQ(keptCreations.size(), 2u);
    EXPECT_TRUE(replies().empty());
    dispatch(simstandin::makeException(22, 41, 0));
    ASSERT_EQ(keptCreations.size(), 1u);
    EXPECT_EQ(keptCreations[0].packetId, 43u);
    EXPECT_EQ(replies(), (std::vector<SimReply>{{0, 0xABC123, 0, replyCreationFailed, 0.0, 0.0}}));

    dispatch(simstandin::makeException(3, 1, 0));  // position unknown: nothing
    dispatch(simstandin::makeException(11, 1, 0));
    dispatch(simstandin::makeException(19, 1, 0));
    dispatch(simstandin::makeException(23, 1, 0));
    dispatch(simstandin::makeException(24, 1, 0));
    dispatch(simstandin::makeException(31, 1, 0));
    const std::string log = env.log();
    EXPECT_EQ(log.find("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"), std::string::npos);
    EXPECT_NE(log.find("SIMCONNECT_EXCEPTION_INVALID_DATA_SIZE"), std::string::npos);
    EXPECT_NE(log.find("===> SimConnect exception: load flight plan failed"), std::string::npos);
    EXPECT_NE(log.find("SIMCONNECT_EXCEPTION_OPERATION_INVALID_FOR_OBJECT_TYPE"), std::string::npos);
    EXPECT_NE(log.find("===> SIMCONNECT_EXCEPTION #31"), std::string::npos);
    EXPECT_EQ(env.app.messages().back(), (AppServicesFake::Message{"SimConnect: too many objects (max 1000)", true}));

    // Unrecognised ids are logged only with a known user position and no stop flag set.
    onUserAcState(userAt(50.0, 8.0), 1);
    for (std::atomic<bool>* flag : {&windowClosedFlag, &closingFlag}) {
        flag->store(true);
        dispatch(simstandin::makeException(3, 1, 0));
        flag->store(false);
    }
    EXPECT_FALSE(env.logHas("SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"));
    dispatch(simstandin::makeException(3, 1, 0));
    EXPECT_TRUE(env.logHas("===> SIMCONNECT_EXCEPTION_UNRECOGNIZED_ID"));

    try {
        dispatch(simstandin::makeException(5, 1, 7));
        ADD_FAILURE() << "no exception";
    } catch (const qxv::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "95: SimConnect Version Mismatch, dwIndex: 7");
    }
}

TEST_F(SimLayer, SystemEventsFirstClosingReasonWins)
{
    dispatch(simstandin::makeEvent(EVENT_SIM, 1));
    EXPECT_TRUE(simRunning);
    EXPECT_TRUE(statusPanel().simRunning);
    dispatch(simstandin::makeEvent(EVENT_SIM, 0));
    EXPECT_FALSE(simRunning);
    dispatch(simstandin::makeEvent(EVENT_SIM, 1));
    dispatch(simstandin::makeQuit());
    EXPECT_FALSE(simRunning);

    dispatch(simstandin::makeEvent(EVENT_FLIGHT_LOADED, 0));
    EXPECT_TRUE(closingFlag);
    EXPECT_EQ(closingReason(), ClosingReason::NewFlight);
    EXPECT_EQ(restartDelaySeconds(), 30);
    reportSimConnectError();
    dispatch(simstandin::makeEvent(EVENT_POSITION_CHANGED, 0));
    dispatch(simstandin::makeFilename(EVENT_FLIGHT_LOADED, "x.fxml"));
    EXPECT_EQ(closingReason(), ClosingReason::NewFlight);
    EXPECT_EQ(restartDelaySeconds(), 30);
    EXPECT_TRUE(simErrorFlag);
    const std::string log = env.log();
    EXPECT_NE(log.find("SimConnect: flight loaded event"), std::string::npos);
    EXPECT_NE(log.find("===> User ac position changed"), std::string::npos);
    EXPECT_NE(log.find("===> SimConnect: New file event"), std::string::npos);
}

TEST_F(SimLayer, SimulatorErrorIsReasonFiveWithDelayNine)
{
    reportSimConnectError();
    EXPECT_TRUE(simErrorFlag);
    EXPECT_EQ(closingReason(), ClosingReason::SimConnectError);
    EXPECT_EQ(restartDelaySeconds(), 9);
    EXPECT_EQ(env.app.messages().back(), (AppServicesFake::Message{"SimConnect request error", true}));
}

TEST_F(SimLayer, FrameRateIsSampledEveryThirtiethFrame)
{
    for (int i = 1; i <= 29; ++i) dispatch(simstandin::makeFrame(EVENT_FRAME, 20.0f + i, 1.0f));
    EXPECT_EQ(frameRate.load(), 0.0f);
    dispatch(simstandin::makeFrame(EVENT_FRAME, 61.5f, 1.0f));
    EXPECT_EQ(frameRate.load(), 61.5f);
    EXPECT_EQ(frameCounter.load(), 0);
    for (int i = 1; i <= 30; ++i) dispatch(simstandin::makeFrame(EVENT_FRAME, i == 30 ? 44.0f : 99.0f, 1.0f));
    EXPECT_EQ(frameRate.load(), 44.0f);
}

TEST_F(SimLayer, ObjectEvents)
{
    dispatch(simstandin::makeObjectAddRemove(EVENT_OBJECT_ADDED, 2, 2));    // at the user's id
    dispatch(simstandin::makeObjectAddRemove(EVENT_OBJECT_ADDED, 150, 4));  // a boat
    dispatch(simstandin::makeObjectAddRemove(EVENT_OBJECT_ADDED, 151, 2));
    EXPECT_EQ(addedObjectIds, std::vector<std::uint32_t>{151});
    dispatch(simstandin::makeObjectAddRemove(EVENT_OBJECT_REMOVED, 151, 2));
    dispatch(simstandin::makeObjectAddRemove(EVENT_OBJECT_REMOVED, 152, 3));
    EXPECT_EQ(replies(), (std::vector<SimReply>{{151, 0, 0, replyRemoved, 0.0, 0.0}}));
}

TEST_F(SimLayer, ByTypeMatchingTable)
{
    keptCreations = {{10, 0xA1B2C3, "AAL123"}, {11, 42, "DLH7*"}, {12, 0xA1B2C4, "UAL9"}};
    addedObjectIds = {200, 201, 202, 203};
    // 200: a live creation; 201: a static one; 202: another program's; 203: no ATC id.
    dispatch(byTypeMessage(200, groundInfo(12.0, 364.0, true, "AAL123")));
    dispatch(byTypeMessage(201, groundInfo(0.0, 364.0, true, "DLH7*")));
    dispatch(byTypeMessage(202, groundInfo(900.0, 364.0, false, "N12345")));
    dispatch(byTypeMessage(203, groundInfo(900.0, 364.0, false, "")));
    EXPECT_TRUE(addedObjectIds.empty());
    ASSERT_EQ(keptCreations.size(), 1u);
    EXPECT_EQ(keptCreations[0].callsign, "UAL9");
    EXPECT_EQ(replies(), (std::vector<SimReply>{{200, 0xA1B2C3, 0, replyLiveCreated, 0.0, 12.0},
                                                {201, 42, 0, replyStaticCreated, 0.0, 0.0}}));
    EXPECT_EQ(events(), (std::vector<QueuedEvent>{{200, EVENT_FREEZE_LAT_LON, 1},
                                                  {200, EVENT_FREEZE_ALTITUDE, 1},
                                                  {200, EVENT_FREEZE_ATTITUDE, 1},
                                                  {201, EVENT_FREEZE_LAT_LON, 1},
                                                  {201, EVENT_FREEZE_ALTITUDE, 1},
                                                  {201, EVENT_FREEZE_ATTITUDE, 1}}));
    const std::string log = env.log();
    EXPECT_NE(log.find("just spawned, but not by VRMT_P3D, oid: 202, callsign 'N12345', altaboveGnd:900 ft, "
                       "onground:0, gnd_alt:364 ft"),
              std::string::npos);
    EXPECT_NE(log.find("oid: 203, callsign ''"), std::string::npos);

    // Known objects: ground info at 2500 ft or below, with an ATC id not ending in "*".
    dispatch(byTypeMessage(200, groundInfo(2500.0, 364.0, true, "AAL123")));
    dispatch(byTypeMessage(200, groundInfo(2500.5, 364.0, false, "AAL123")));
    dispatch(byTypeMessage(201, groundInfo(0.0, 364.0, true, "DLH7*")));
    dispatch(byTypeMessage(204, groundInfo(10.0, 364.0, true, "")));
    dispatch(byTypeMessage(1, groundInfo(10.0, 364.0, true, "USER")));  // the user aircraft
    auto bytes = byTypeMessage(205, groundInfo(10.0, 364.0, true, "X"));
    bytes.resize(40 + 55);  // block incomplete
    std::uint32_t size = 95;
    std::memcpy(bytes.data(), &size, 4);
    dispatch(bytes);
    EXPECT_EQ(replies(), (std::vector<SimReply>{{200, 1, 0, replyGroundInfo, 364.0, 2500.0}}));
}

TEST_F(SimLayer, AtcIdIsBoundedByItsField)
{
    keptCreations = {{10, 0xA1B2C3, std::string(32, 'A')}};
    addedObjectIds = {200};
    GroundInfoBlock g = groundInfo(5.0, 0.0, true, std::string(32, 'A'));  // no zero in the field
    dispatch(byTypeMessage(200, g));
    EXPECT_EQ(replies().size(), 1u);
}

TEST_F(SimLayer, StaticAttitudeReply)
{
    dispatch(dataMessage(REQUEST_STATIC_ATTITUDE, 150, DEF_STATIC_ATTITUDE, blockBytes(StaticAttitudeBlock{6.5, -0.02})));
    EXPECT_EQ(replies(), (std::vector<SimReply>{{150, 0, 0, replyStaticAttitude, 6.5, -0.02}}));
}

TEST_F(SimLayer, CreationsThatDoNotFitAreRefusedNotFatal)
{
    AcCreation c{{}, "AAL1234567X", "Title", 0xABCDEF};
    EXPECT_TRUE(queueAcCreation(c));
    c.callsign = "AAL12345678X";  // 12 characters
    EXPECT_FALSE(queueAcCreation(c));
    c.callsign = "AAL1";
    c.liveryTitle = std::string(256, 't');
    EXPECT_FALSE(queueAcCreation(c));
    c.liveryTitle = std::string(255, 't');
    EXPECT_TRUE(queueAcCreation(c));
    {
        std::lock_guard lock(simQueueMutex);
        EXPECT_EQ(creationQueue.size(), 2u);
    }
    EXPECT_FALSE(closingFlag);
    EXPECT_FALSE(simErrorFlag);
    EXPECT_TRUE(env.logHas("===> Creation refused, tail or title too long: hexid:11259375"));
}

TEST_F(SimLayer, LightsAndEventsKeepTheirOrder)
{
    setAcLights(150, {1, 2, 3, 4, 5, 6, 7});
    setCabinLights(150, 0);
    {
        std::lock_guard lock(simQueueMutex);
        queueClientEventLocked({150, EVENT_THROTTLE_SET, 4914});
    }
    EXPECT_EQ(events(), (std::vector<QueuedEvent>{{150, EVENT_NAV_LIGHTS, 1},
                                                  {150, EVENT_BEACON_LIGHTS, 2},
                                                  {150, EVENT_LANDING_LIGHTS, 3},
                                                  {150, EVENT_TAXI_LIGHTS, 4},
                                                  {150, EVENT_STROBES, 5},
                                                  {150, EVENT_LOGO_LIGHTS, 6},
                                                  {150, EVENT_CABIN_LIGHTS, 7},
                                                  {150, EVENT_CABIN_LIGHTS, 0},
                                                  {150, EVENT_THROTTLE_SET, 4914}}));
}

TEST_F(SimLayer, SimulatorErrorEmptiesTheQueuesOnTheNextFrame)
{
    positionQueue.write().push_back({AcPositionBlock{}, 150});
    handOverPositions();
    queueClientEvent({150, EVENT_THROTTLE_SET, 0});
    ASSERT_TRUE(queueAcCreation({{}, "AAL1", "T", 0xABCDEF}));
    queueAcRemoval(150);
    simErrorFlag = true;
    flushSimQueues();
    std::lock_guard lock(simQueueMutex);
    EXPECT_TRUE(positionQueue.sendLocked().empty());
    EXPECT_TRUE(eventQueue.empty());
    EXPECT_TRUE(creationQueue.empty());
    EXPECT_TRUE(removalQueue.empty());
    EXPECT_TRUE(keptCreations.empty());
}

TEST_F(SimLayer, PositionHandOverSwapsBuffers)
{
    positionQueue.write().push_back({blockAt(1.0), 150});
    handOverPositions();
    EXPECT_TRUE(positionQueue.write().empty());
    positionQueue.write().push_back({blockAt(2.0), 151});
    std::lock_guard lock(simQueueMutex);
    ASSERT_EQ(positionQueue.sendLocked().size(), 1u);
    EXPECT_EQ(positionQueue.sendLocked()[0].objectId, 150u);
}

// --- user aircraft ---

TEST(UserAircraftMath, TeleportBoundaries)
{
    const LatLon a{50.0, 8.0};
    const LatLon at10 = destinationPoint(a, 1.0, 10.0 * geo::feetPerNm);
    const LatLon at1001 = destinationPoint(a, 1.0, 10.01 * geo::feetPerNm);
    EXPECT_FALSE(isTeleport(a, at10));
    EXPECT_TRUE(isTeleport(a, at1001));
    EXPECT_FALSE(isTeleport({0.0, 0.0}, a));
    EXPECT_FALSE(isTeleport(a, {0.0, 0.00005}));
    EXPECT_TRUE(isTeleport({0.0, 0.0002}, {0.0, 1.0}));
}

TEST(UserAircraftMath, EpochOfTheSimulatorDay)
{
    struct Case {
        std::int64_t year, day, seconds, epoch;
    } cases[] = {
        {1970, 1, 0, 0},
        {1970, 1, 86399, 86399},
        {2000, 61, 0, 951868800},         // 2000-03-01 (leap year)
        {2024, 366, 3600, 1735606800},   // 2024-12-31 01:00
        {2100, 60, 0, 4107542400},        // 2100-03-01 (no leap year)
    };
    for (const Case& c : cases) EXPECT_EQ(simEpochSeconds(c.year, c.day, c.seconds), c.epoch) << c.year;
}

TEST_F(SimLayer, UserStateReply)
{
    UserAcState s{};
    s.latitude = 50.03;
    s.longitude = 8.57;
    s.altitude = -12.0;
    s.zuluYear = 2024;
    s.zuluDayOfYear = 366;
    s.zuluTime = 3600;
    dispatch(dataMessage(REQUEST_USER_STATE, 1, DEF_USER_STATE, blockBytes(s)));
    const UserAcState got = userAcSnapshot();
    EXPECT_EQ(got.latitude, 50.03);
    EXPECT_EQ(got.altitude, 0.0);
    EXPECT_EQ(userObjectId.load(), 1u);
    EXPECT_EQ(simUtcEpoch.load(), 1735606800);
    EXPECT_FALSE(closingFlag);

    s.latitude += 0.2;  // 12 nm north
    dispatch(dataMessage(REQUEST_USER_STATE, 1, DEF_USER_STATE, blockBytes(s)));
    EXPECT_EQ(closingReason(), ClosingReason::NewFlight);
    EXPECT_EQ(restartDelaySeconds(), 30);
    EXPECT_TRUE(env.logHas("Teleport"));

    // The previous position survives the reset before a restart.
    resetUserAircraft();
    EXPECT_EQ(lastUserPosition(), (LatLon{s.latitude, s.longitude}));
}

TEST_F(SimLayer, OnGroundBeforeAndAfterAKnownPosition)
{
    dispatch(dataMessage(REQUEST_USER_ON_GROUND, 1, DEF_ON_GROUND, blockBytes(std::int64_t{1})));
    EXPECT_TRUE(newSecondFlag);
    EXPECT_FALSE(userOnGroundKnown);
    EXPECT_FALSE(userOnGround);
    onUserAcState(userAt(50.0, 8.0), 1);
    dispatch(dataMessage(REQUEST_USER_ON_GROUND, 1, DEF_ON_GROUND, blockBytes(std::int64_t{0x100000001})));
    EXPECT_TRUE(userOnGroundKnown);
    EXPECT_TRUE(userOnGround);
    dispatch(dataMessage(REQUEST_USER_ON_GROUND, 1, DEF_ON_GROUND, blockBytes(std::int64_t{0x100000000})));
    EXPECT_FALSE(userOnGround);  // only the low 32 bits count
}

TEST_F(SimLayer, TitleIsCutAt48)
{
    const std::string title60 = "Lockheed Martin Boeing 737-800 Stand-in Livery With Long Name";
    ASSERT_GE(title60.size(), 60u);
    onUserAcTitle(title60);
    EXPECT_EQ(userAcTitle(), title60.substr(0, 48));
    EXPECT_EQ(statusPanel().userAcTitle.get(), title60.substr(0, 48));
    onUserAcTitle("");
    EXPECT_EQ(userAcTitle(), title60.substr(0, 48));
    EXPECT_TRUE(env.logHas("! Title of your aircraft is empty?"));
    EXPECT_TRUE(env.logHas("          SimConnect: User aircraft title: " + title60.substr(0, 48)));
}

TEST_F(SimLayer, ModelTable)
{
    env.liveries.halfSpans = {{"B738", 0.0097}, {"E190", 0.0077}, {"A320", 0.0097}};
    env.liveries.categories = {{"B738", AcCategory::Large}, {"A320", AcCategory::Large}};
    env.liveries.largestHalfSpan = 0.0215;
    const std::string unknownSpan = "User aircraft wing span unknown, max is taken instead, please report in my Forum!";
    struct Case {
        std::string title;
        std::string model;
        double span;
        bool known;
        std::string report;
        bool unknownMessage;
    } cases[] = {
        {"Boeing", "B738", 0.0097, true,
         "SimConnect: User aircraft model: B738, half wing span: 18.0 meter, category: Large", false},
        {"Boeing", "Boeing737", 0.0215, false, "SimConnect: User aircraft model: Boeing737, category: Light", true},
        {"Aerosoft A320 Lufthansa", "AIRBUS320", 0.0097, true,
         "SimConnect: User aircraft model deduced from title: A320, half wing span: 18.0 meter, category: Large",
         false},
        {"Aerosoft A321", "AIRBUS321", 0.0215, false,
         "SimConnect: User aircraft model deduced from title: A321, category: Light", true},
        {"Aerosoft", "AIRBUS319", 0.0215, false, "SimConnect: User aircraft model: AIRBUS319, category: Light", true},
        {"Camera", "camerapod01", 0.0077, true, "SimConnect: User aircraft model: camerapod01", false},
    };
    for (const Case& c : cases) {
        resetUserAircraftForTest();
        const std::size_t messagesBefore = env.app.messages().size();
        onUserAcTitle(c.title);
        onUserAcModel(c.model);
        EXPECT_EQ(userHalfWingspan(), c.span) << c.model;
        EXPECT_EQ(statusPanel().userAircraftKnown.load(), c.known) << c.model;
        EXPECT_TRUE(env.logHas("          " + c.report + "\n")) << c.report;
        const auto messages = env.app.messages();
        const bool shown = messages.size() > messagesBefore && messages.back().text == unknownSpan;
        EXPECT_EQ(shown, c.unknownMessage) << c.model;
    }
    try {
        onUserAcModel("");
        ADD_FAILURE();
    } catch (const qxv::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "71: atc_model= in [General] section of your aircraft.cfg is empty or missing");
    }
}

// A liveries subsystem whose lookups fail.
class ThrowingLiveries : public LiveryServicesFake {
public:
    double halfWingspan(const std::string&) override { throw std::runtime_error("no database"); }
};

TEST_F(SimLayer, ModelFailureIsCode73)
{
    ThrowingLiveries liveries;
    try {
        onUserAcModel("B738");
        ADD_FAILURE();
    } catch (const qxv::UserErrorException& e) {
        EXPECT_STREQ(e.what(), "73: It looks like you have not selected an aircraft as user vehicle");
    }
}

TEST_F(SimLayer, FlightLoadedReservesTheStandOnlyWhenStill)
{
    env.airports.park.code = "EDDF";
    setUserAcNeighbours({[](const LatLon&) { return std::string("EDDF V155"); },
                         [] { return std::optional<ParkListHead>(ParkListHead{"EDDF", "EDDF A12"}); }});
    onUserAcState(userAt(50.03, 8.57), 1);
    onUserOnGround(1);
    struct Case {
        double handedSpeed;
        bool changes;
    } cases[] = {{3.0, false}, {2.0, true}};
    for (const Case& c : cases) {
        env.airports.calls.clear();
        {
            std::lock_guard lock(simQueueMutex);
            userAcStateLocked().groundVelocity = c.handedSpeed;
        }
        requestUserAcPosition();  // hands the state over (the request itself fails: no connection)
        onFlightLoaded();
        EXPECT_EQ(env.airports.calls.count("reservedStand EDDF V155"), c.changes ? 1u : 0u) << c.handedSpeed;
        EXPECT_EQ(env.airports.calls.count("addMyParkAirport"), c.changes ? 1u : 0u);
    }
    EXPECT_EQ(userStandAirport(), "EDDF V155");
    EXPECT_EQ(statusPanel().standText.get(), "EDDF V155");
}

TEST_F(SimLayer, FlightLoadedChangesNothingAtAnotherAirportOrTheSameStand)
{
    env.airports.park.code = "EDDM";
    std::string reserved = "EDDF A12";
    setUserAcNeighbours({[](const LatLon&) { return std::string("EDDF A12"); },
                         [&] { return std::optional<ParkListHead>(ParkListHead{"EDDF", reserved}); }});
    onUserAcState(userAt(50.03, 8.57), 1);
    onUserOnGround(1);
    onFlightLoaded();  // another park airport
    env.airports.park.code = "EDDF";
    onFlightLoaded();  // the stand is reserved already
    EXPECT_TRUE(env.airports.calls.get().empty());
}

}  // namespace

// --- the flush and the requests, against the recording SimConnect calls ---

#include "simlink/sim_api_fake.h"

namespace {

class SimFlush : public SimLayer {
protected:
    SimApiFake api;
};

TEST_F(SimFlush, FlapsAreWrappedInReleasesUnlessTheirTransmissionFails)
{
    queueClientEvent({150, EVENT_FLAPS_SET, 3072});
    queueClientEvent({150, EVENT_FLAPS_SET, 10240});
    queueClientEvent({150, EVENT_THROTTLE_SET, 0});
    api.failNext("event 150 218 10240", scFail);
    flushSimQueues();
    EXPECT_EQ(api.calls.get(), (std::vector<std::string>{"release 150 103", "event 150 218 3072", "release 150 103",
                                                         "release 150 103", "event 150 218 10240",
                                                         "event 150 223 0"}));
    EXPECT_EQ(env.app.messages().back(), (AppServicesFake::Message{"SimConnect TransmitClientEvent: 218 fails", true}));
    EXPECT_FALSE(closingFlag);
    EXPECT_TRUE(events().empty());
}

TEST_F(SimFlush, OrderOfOneFrameAndIdsAtOrBelowTheUser)
{
    positionQueue.write().push_back({blockAt(1.0), 0});
    positionQueue.write().push_back({blockAt(1.0), 150});
    positionQueue.write().push_back({blockAt(1.0), 2});
    handOverPositions();
    queueAcRemoval(151);
    ASSERT_TRUE(queueAcCreation({{}, "AAL1", "Title", 0xABCDEF}));
    queueClientEvent({150, EVENT_NAV_LIGHTS, 1});
    queueAcRemoval(1);
    flushSimQueues();
    EXPECT_EQ(api.calls.get(), (std::vector<std::string>{"set 402 150 64", "event 150 208 1", "create Title AAL1 104",
                                                         "remove 151 105"}));
    EXPECT_TRUE(env.logHas("===> SimConnect call to remove ac with objectid 1"));
    flushSimQueues();  // everything was sent once
    EXPECT_EQ(api.calls.get().size(), 4u);
}

TEST_F(SimFlush, KeptCreationCarriesItsPacketId)
{
    ASSERT_TRUE(queueAcCreation({{}, "AAL1", "Title", 0xABCDEF}));
    ASSERT_TRUE(queueAcCreation({{}, "DLH2", "Title", 0x3C6444}));
    flushSimQueues();
    ASSERT_EQ(keptCreations.size(), 2u);
    EXPECT_EQ(keptCreations[1].packetId, api.lastPacketId());
    EXPECT_EQ(keptCreations[1].callsign, "DLH2");
    dispatch(simstandin::makeException(22, api.lastPacketId(), 1));
    EXPECT_EQ(replies(), (std::vector<SimReply>{{0, 0x3C6444, 0, replyCreationFailed, 0.0, 0.0}}));
}

TEST_F(SimFlush, AFailingCreationOrRemoval)
{
    struct Case {
        std::string failing;
        HRESULT result;
        bool endsTheRun;
    } cases[] = {
        {"create Title AAL1 104", scTextTooLong, false},  // this aircraft's fault only
        {"create Title AAL1 104", scFail, true},
        {"remove 151 105", scFail, true},
    };
    for (const Case& c : cases) {
        resetRunState();
        simErrorFlag = false;
        api.calls.clear();
        api.failNext(c.failing, c.result);
        ASSERT_TRUE(queueAcCreation({{}, "AAL1", "Title", 0xABCDEF}));
        queueAcRemoval(151);
        queueAcRemoval(152);
        flushSimQueues();
        EXPECT_EQ(closingFlag.load(), c.endsTheRun) << c.failing;
        EXPECT_EQ(simErrorFlag.load(), c.endsTheRun);
        if (c.endsTheRun) {
            EXPECT_EQ(closingReason(), ClosingReason::SimConnectError);
            EXPECT_EQ(restartDelaySeconds(), 9);
        }
        EXPECT_EQ(api.calls.count("remove 152 105"), 1u);  // the rest of the frame still goes out
    }
    EXPECT_EQ(keptCreations.size(), 1u);  // only the creation that went out
    const std::string log = env.log();
    EXPECT_NE(log.find("===> ! Simcon call to create ac in sim failed, hexid:11259375, liv: 'Title', callsign: AAL1)"),
              std::string::npos);
    EXPECT_NE(log.find("!SimConnect call to remove AI ac from sim failed, id 151?"), std::string::npos);
}

TEST_F(SimFlush, UserAircraftRequests)
{
    onUserAcState(userAt(47.46, 8.55), 1);
    EXPECT_EQ(requestUserAcPosition().latitude, 47.46);
    requestUserAcTitleModel();
    EXPECT_EQ(api.calls.get(), (std::vector<std::string>{"request 109 403 0 1", "request 106 407 0 1",
                                                         "request 107 408 0 1"}));
    api.calls.clear();
    api.failNext("request 107 408 0 1", scFail);
    requestUserAcTitleModel();
    EXPECT_TRUE(env.logHas("===> SimConnect reques user ac model fails"));
    EXPECT_TRUE(simErrorFlag);
    EXPECT_EQ(closingReason(), ClosingReason::SimConnectError);
    api.calls.clear();
    EXPECT_EQ(requestUserAcPosition().longitude, 8.55);  // no request after an error, still the state
    EXPECT_TRUE(api.calls.get().empty());
}

}  // namespace
