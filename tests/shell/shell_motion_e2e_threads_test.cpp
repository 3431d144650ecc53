// The motion judge on the whole program: the program, the simulator stand-in
// and the service stand-in over real sockets; the judge reads only what the
// stand-in recorded of each AI aircraft.

#include <gtest/gtest.h>

#include <algorithm>

#include "core/fmt.h"
#include "e2e_fixture.h"
#include "motion_judge.h"

namespace {

using namespace shelle2e;

// The motion judge on everything the simulator stand-in was told of the AI
// aircraft: the scene's planes for a minute of program time, the simulator
// lost and back, 40 s more. Every creation, position and time stamp is the
// stand-in's own record; the figures are printed on every run. The clock runs
// ten times faster than real time, not a hundred: a packet read a few
// milliseconds late would show as a second late, and the engine's 10 ms tick
// would lag behind its clock (judgedRealSecondsPerSecond).

TEST_F(ShellEndToEnd, AircraftMoveAsAPilotWouldBelieveAlsoAfterAReconnect)
{
    scopedClock_.reset();
    scopedClock_ = std::make_unique<platform::ScopedClock>(
        std::make_shared<platform::ScaledClock>(judgedRealSecondsPerSecond));
    startWorld();
    standin::FakeTrafficService service;
    startService(service);
    std::vector<simstandin::ObjectTrack> tracks;
    std::vector<double> frames;  // when the simulator sent each frame, both runs
    std::vector<std::string> runOf;  // "run1", "run2" for each track
    const auto keepTracks = [&](const char* run) {
        for (simstandin::ObjectTrack& t : server_->tracks()) {
            tracks.push_back(std::move(t));
            runOf.emplace_back(run);
        }
        for (const double t : server_->frameTimes())
            if (frames.empty() || t > frames.back()) frames.push_back(t);
    };
    std::string failure;
    const int code = runUntilClosed(
        [&] {
            platform::sleepFor(std::chrono::seconds(60));  // program time
            if (std::string lost = loseAndRegainSimulator(1, [&] { keepTracks("run1"); }); !lost.empty()) return lost;
            platform::sleepFor(std::chrono::seconds(40));
            keepTracks("run2");  // a snapshot: the world runs on to the close
            return std::string();
        },
        failure);
    service.stop();
    EXPECT_EQ(failure, "");
    EXPECT_EQ(code, 0);

    const double top = standin::Scene::topGroundSpeedKt();
    std::vector<motionjudge::Stream> streams = simstandin::judgeStreams(tracks, top, frames);
    for (std::size_t i = 0; i < streams.size(); ++i) {
        streams[i].name = runOf[i] + "/" + streams[i].name;
        // This world's airport has no stand file: no aircraft taxis or parks in
        // this run, and a landing rolls out on the runway. Every stream is
        // judged as flying, up to its touchdown (the first update 15 ft or less
        // above the runway); the ground's properties are judged in the landing,
        // push-back and taxi scenes.
        auto& seen = streams[i].seen;
        const double runwayFt = streams[i].groundFt + 15.0;
        const auto down = std::find_if(seen.begin() + (seen.empty() ? 0 : 1), seen.end(),
                                       [runwayFt](const motionjudge::Seen& x) { return x.altitudeFt <= runwayFt; });
        seen.erase(down, seen.end());
        streams[i].onGroundBelowFt = -1.0;
    }
    // The feed the scene served, for the lag and the altitude served.
    ASSERT_EQ(attachFeed(streams), "");
    motionjudge::Bounds bounds;
    // A creation leaves with the next frame of the simulator's (every 33 ms):
    // seen at the stand-in, 0.5 s apart may be one frame less.
    bounds.spacingS = 0.5 - 0.034;
    // Creations are spaced within a run; the restart's pause lies between runs.
    motionjudge::Verdict v;
    for (const char* run : {"run1", "run2"}) {
        std::vector<simstandin::ObjectTrack> mine;
        for (std::size_t i = 0; i < tracks.size(); ++i)
            if (runOf[i] == run) mine.push_back(tracks[i]);
        v.add(motionjudge::judgeAll({}, simstandin::creationTimes(mine), bounds));
    }
    v.add(motionjudge::judgeAll(streams, {}, bounds));
    std::ofstream(world_ / "e2e_tracks.csv") << motionjudge::streamsCsv(streams, simstandin::creationTimes(tracks));
    std::printf("%s", v.table(vr::format("end to end, {} AI aircraft (tracks: {})", streams.size(),
                                         (world_ / "e2e_tracks.csv").string()))
                          .c_str());
    EXPECT_GE(streams.size(), 4u);
    // Every property but those whose faults are still being mended (notYetAsserted, "e2e").
    EXPECT_EQ(v.assertedFailures("e2e"), "") << v.table("end to end");
    if (HasFailure() && !failure.empty()) std::printf("%s\n", logText().c_str());
}

}  // namespace
