// The engine's test world answers through the simulator layer's own handlers:
// what the world says comes out as the replies the engine drains.

#include <gtest/gtest.h>

#include "core/app_services_fake.h"
#include "core/run_state.h"
#include "simlink/sim_client.h"
#include "simlink/sim_handover.h"
#include "simlink/sim_queues.h"
#include "simlink/user_aircraft.h"
#include "support/sim_world.h"

namespace {

constexpr double userLat = 52.3086, userLon = 4.7639;

class SimWorldTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetRunState();
        resetSimLink();
        resetUserAircraftForTest();
        takeSimReplies();
        initSimQueues(5);
        UserAcState user{};
        user.latitude = userLat;
        user.longitude = userLon;
        user.zuluYear = 2024;
        user.zuluDayOfYear = 100;
        world.setUser(user, true);
        (void)requestUserAcPosition();  // 109: the layer learns the user position and object id
        world.answer();
    }
    void TearDown() override
    {
        resetSimLink();
        resetUserAircraftForTest();
        takeSimReplies();
    }

    static AcCreation creation(const std::string& tail, std::uint32_t aircraftId, double lat, double alt,
                               bool onGround, const std::string& title = "Stand-in A320")
    {
        AcCreation c;
        c.initPosition = {lat, userLon, alt, -2.0, 0.0, 90.0, onGround ? 1u : 0u, 0u};
        c.callsign = tail;
        c.liveryTitle = title;
        c.aircraftId = aircraftId;
        return c;
    }
    // One frame of the simulator layer, then the world's answers.
    void frame()
    {
        flushSimQueues();
        world.answer();
    }
    void rangeRequest()
    {
        std::lock_guard lock(simQueueMutex);
        ASSERT_EQ(simApi().requestDataOnSimObjectType(REQUEST_GROUND_INFO, DEF_GROUND_INFO, 50000,
                                                      SIMCONNECT_SIMOBJECT_TYPE_AIRCRAFT),
                  0);
    }

    AppServicesFake app;
    SimWorld world;
};

TEST_F(SimWorldTest, UserStateReachesTheLayer)
{
    const UserAcState s = userAcSnapshot();
    EXPECT_DOUBLE_EQ(s.latitude, userLat);
    EXPECT_EQ(userObjectId.load(), 1u);
    EXPECT_FALSE(userOnGroundKnown.load());  // no on-ground reply before the position was known
    world.setUser(world.user(), false);
    EXPECT_TRUE(userOnGroundKnown.load());
    EXPECT_FALSE(userOnGround.load());
}

// Announced, each new object is asked for at once: its answer ties it by its tail.
TEST_F(SimWorldTest, CreationIsTiedByItsTailWithTheAnswerToItsAnnouncement)
{
    ASSERT_TRUE(queueAcCreation(creation("KLM101", 0x484001, userLat + 0.01, 2000, false)));
    ASSERT_TRUE(queueAcCreation(creation("DLH202", 0x484002, userLat + 0.02, 0, true)));
    frame();
    EXPECT_EQ(world.objectCount(), 2u);
    EXPECT_TRUE(takeSimReplies().empty());  // only announced so far

    world.answer();  // the answers to the layer's requests for the two new objects
    const auto replies = takeSimReplies();
    ASSERT_EQ(replies.size(), 2u);
    const auto klm = world.objectByTail("KLM101");
    const auto dlh = world.objectByTail("DLH202");
    ASSERT_TRUE(klm && dlh);
    EXPECT_EQ(replies[0], (SimReply{klm->objectId, 0x484001, 0, replyLiveCreated, 0.0, 2000.0}));
    EXPECT_EQ(replies[1], (SimReply{dlh->objectId, 0x484002, 0, replyLiveCreated, 0.0, 0.0}));
    EXPECT_EQ(klm->releases, 1u);  // the layer released the new object and froze it
    frame();
    EXPECT_EQ(world.object(klm->objectId)->events.at(EVENT_FREEZE_ATTITUDE), 1u);

    // From then on each range request gives the ground information of both
    // (not above 2500 ft over the ground: the layer drops those).
    rangeRequest();
    world.answer();
    const auto info = takeSimReplies();
    ASSERT_EQ(info.size(), 2u);
    EXPECT_EQ(info[0].kind, replyGroundInfo);
    EXPECT_EQ(info[0].aircraftId, 0u);  // airborne
    EXPECT_DOUBLE_EQ(info[0].valueB, 2000.0);
    EXPECT_EQ(info[1].aircraftId, 1u);  // on the ground
}

TEST_F(SimWorldTest, PositionsMoveObjectsAndFarObjectsAreNotReported)
{
    ASSERT_TRUE(queueAcCreation(creation("FAR1", 0x484003, userLat + 1.0, 5000, false)));
    frame();
    world.answer();  // tied by the answer for the new object, far as it is
    const std::uint32_t id = world.objectByTail("FAR1")->objectId;
    auto replies = takeSimReplies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].kind, replyLiveCreated);
    rangeRequest();  // 50 km: the object 60 nm away is not reported
    world.answer();
    EXPECT_TRUE(takeSimReplies().empty());

    AcPositionBlock b{userLat + 0.001, userLon, 0.0, 0.0, 1.0, 20.0, 0.0, 140.0};
    positionQueue.write().push_back({b, id});
    positionQueue.write().push_back({b, 999});  // no such object
    handOverPositions();
    frame();
    const auto o = world.object(id);
    EXPECT_EQ(o->positionWrites, 1u);
    EXPECT_DOUBLE_EQ(o->position.latitude, userLat + 0.001);
    EXPECT_DOUBLE_EQ(o->previous.latitude, userLat + 1.0);
    EXPECT_TRUE(o->onGround(world.options()));  // 20 ft above the ground
    EXPECT_EQ(world.strayPositionWrites(), 1u);
    rangeRequest();
    world.answer();
    replies = takeSimReplies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].kind, replyGroundInfo);  // near now, 20 ft above the ground
    EXPECT_EQ(replies[0].objectId, id);
}

TEST_F(SimWorldTest, AttitudeRemovalAndRefusalBecomeReplies)
{
    world.refuseTitle("Broken livery");
    ASSERT_TRUE(queueAcCreation(creation("KLM101", 0x484001, userLat, 0, true)));
    ASSERT_TRUE(queueAcCreation(creation("BAD1", 0x484009, userLat, 0, true, "Broken livery")));
    frame();
    world.answer();
    auto replies = takeSimReplies();
    ASSERT_EQ(replies.size(), 2u);
    EXPECT_EQ(replies[0].kind, replyCreationFailed);
    EXPECT_EQ(replies[0].aircraftId, 0x484009u);
    const std::uint32_t id = world.objectByTail("KLM101")->objectId;

    {
        std::lock_guard lock(simQueueMutex);
        ASSERT_EQ(simApi().requestDataOnSimObject(REQUEST_STATIC_ATTITUDE, DEF_STATIC_ATTITUDE, id,
                                                  SIMCONNECT_PERIOD_ONCE),
                  0);
    }
    world.answer();
    replies = takeSimReplies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0], (SimReply{id, 0, 0, replyStaticAttitude, 8.0, 0.01}));

    world.setConfirmRemovals(false);
    queueAcRemoval(id);
    frame();
    EXPECT_EQ(world.objectCount(), 0u);
    EXPECT_TRUE(takeSimReplies().empty());
    world.releaseRemovals();
    world.answer();
    replies = takeSimReplies();
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0], (SimReply{id, 0, 0, replyRemoved, 0.0, 0.0}));

    const auto events = world.events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, WorldEvent::created);
    EXPECT_EQ(events[1].kind, WorldEvent::refused);
    EXPECT_EQ(events[2].kind, WorldEvent::removed);
    EXPECT_EQ(events[2].tail, "KLM101");
}

}  // namespace
