// The simulator's word on the ground against what an aircraft does, judged from
// the positions handed to the simulator on every tick of the engine: a
// departure never falls back to the runway and a landing never sinks under it,
// whether the simulator's on-ground flag is right, stuck on the ground (an
// object created there) or stuck in the air (one created aloft).

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "engine/ac_records.h"
#include "motion_scenes.h"

namespace {

// What a pilot beside the runway would call under the ground, or a fall.
constexpr double underGroundFt = 3.0;     // no position more than this below the ground
constexpr double aloftFt = 50.0;          // a position this high above the ground is in the air ...
constexpr double onTheRunwayFt = 15.0;    // ... and the next one this low is a fall to the runway

std::int32_t sceneTicks(const std::string& name)
{
    for (const MotionScene& s : motionScenes())
        if (s.name == name) return s.ticks;
    return 0;
}

TEST(GroundTruth, AloftStaysAloftAndNothingSinksUnderTheGround)
{
    struct Row {
        const char* name;
        const char* scene;
        std::optional<bool> flag;  // the simulator's flag, held whatever the height; none: right
    };
    const std::vector<Row> rows = {
        {"landing, the flag right", "landing", std::nullopt},
        {"landing, the flag stuck in the air", "landing", false},
        {"landing, the flag stuck on the ground", "landing", true},
        {"departure, the flag right", "takeoff", std::nullopt},
        {"departure, the flag stuck on the ground", "takeoff", true},
        {"departure, the flag stuck in the air", "takeoff", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const bool landing = std::string(row.scene) == "landing";
        bool touchdown = false, tookOff = false, climbedAway = false, fellBack = false;
        double cgHeight = 0.0;
        SceneRecord record;
        ASSERT_TRUE(runMotionScene(
            row.scene, sceneTicks(row.scene),
            [&](std::int32_t, const LiveAc& a) {
                cgHeight = a.cgHeight;
                touchdown = touchdown || a.rollingOut;
                tookOff = tookOff || a.phase == AcPhase::take_off;
                if (tookOff && a.phase == AcPhase::flying && a.heightAboveGround >= 800) climbedAway = true;
                if (climbedAway && a.groundReplySeen) fellBack = true;
            },
            &record, row.flag));
        ASSERT_EQ(record.streams.size(), 1u);
        const motionjudge::Stream& s = record.streams.front();
        ASSERT_GT(s.seen.size(), 1000u);
        int falls = 0;
        double lowest = 1e9, lowestAfterTouchdown = 1e9;
        bool down = false;
        for (std::size_t i = 1; i < s.seen.size(); ++i) {
            const double before = s.seen[i - 1].altitudeFt - s.groundFt;
            const double now = s.seen[i].altitudeFt - s.groundFt;
            if (before > aloftFt && now <= onTheRunwayFt) ++falls;
            lowest = std::min(lowest, now);
            down = down || now <= cgHeight + 1.0;
            if (down) lowestAfterTouchdown = std::min(lowestAfterTouchdown, now);
        }
        EXPECT_EQ(falls, 0);
        EXPECT_GE(lowest, -underGroundFt);
        if (landing) {
            EXPECT_TRUE(touchdown);
            // The touchdown ends the descent: on its wheels from then on.
            EXPECT_GE(lowestAfterTouchdown, cgHeight - 1e-3);
            EXPECT_NEAR(s.seen.back().altitudeFt - s.groundFt, cgHeight, 1e-3);
        } else {
            EXPECT_TRUE(climbedAway);
            EXPECT_FALSE(fellBack);
            EXPECT_GT(s.seen.back().altitudeFt - s.groundFt, 800.0);
        }
    }
}

}  // namespace
