// The motion judge on every motion scene: what the simulator was handed of
// each aircraft (its creation place, then every position with the scene's
// clock) is measured against the bounds of believable motion. Each scene is a
// test of its own (engine_motion_judge_<scene>); the figures are printed
// whether it passes or not, so a change to the motion shows its effect.

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "motion_scenes.h"

namespace {

class MotionJudgeScene : public testing::TestWithParam<std::string> {};

TEST_P(MotionJudgeScene, WithinEveryBound)
{
    SceneRecord record;
    const motionjudge::Verdict v = judgeMotionScene(GetParam(), &record);
    std::fputs(v.table(GetParam()).c_str(), stdout);
    ASSERT_FALSE(record.streams.empty()) << "the scene handed nothing to the simulator";
    for (const motionjudge::Stream& s : record.streams) EXPECT_GT(s.seen.size(), 100u) << s.name;
    // Every property but those whose faults are still being mended (notYetAsserted, "scenes").
    EXPECT_EQ(v.assertedFailures("scenes"), "") << v.table(GetParam());
}

std::string lf_testName(const testing::TestParamInfo<std::string>& info)
{
    std::string name = info.param;
    for (char& c : name)
        if (c == '-') c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Scenes, MotionJudgeScene, testing::ValuesIn(motionSceneNames()), lf_testName);

}  // namespace
