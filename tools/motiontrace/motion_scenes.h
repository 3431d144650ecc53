#pragma once
// Motion scenes for vrmt-motiontrace and the motion judge's tests: live
// aircraft flown by the engine's own tick (replies, update pass, position
// hand-over) over a flat ground whose heights answer the engine's ground
// requests (every 100 ticks, 20 while a flare asks for them). The simulator,
// the traffic feed and the airports are stand-ins in this process; nothing is
// sent anywhere. Most scenes start with one aircraft already in the simulator;
// the light-aircraft scenes start from the buffered traffic of a fresh start,
// so the creation (answered 0.3 s after it is asked) and the activation are
// part of the scene.
//
// A scene runs on a virtual program clock of its own (10 ms a tick, and the
// restart's pause); the real clock is back when it ends.
//
// Each scene records what the simulator was handed: every object's creation
// place, stamped when the simulator made the object (its answer), and its
// position stream with the scene's clock (10 ms a tick; a simulator restart's
// pause passes without ticks), and what was served.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/ac_records.h"
#include "motion_judge.h"

// A flat world: the simulator's ground information for every active live
// aircraft, as the by-type request brings it (every 100 ticks, every 20 while
// fastRangeRequest is set): the ground at one elevation, the height above it
// the block altitude less the elevation, on the ground at cgHeight or below,
// nothing above 2500 ft. The tests fly their scenarios over it too.
struct FlatGround {
    double elevationFt = 0.0;
    // The on-ground flag every answer carries whatever the height: a simulator
    // whose flag is wrong. None: the flag follows the height.
    std::optional<bool> heldFlag;
    // After the tick that ran with tickCounter == tick.
    void answer(std::int32_t tick) const;
};

struct MotionScene {
    std::string name;
    std::string what;     // one line
    std::int32_t ticks;   // how long it runs by default
};

// Every scene, in the order the judge's tests use them: "landing",
// "pushback", "antimeridian", "taxi-corners", "takeoff", "light-mlat", "reconnect".
const std::vector<MotionScene>& motionScenes();
std::vector<std::string> motionSceneNames();

// What the simulator was handed in a scene.
struct SceneRecord {
    std::vector<motionjudge::Stream> streams;  // one per object, in the order they were created
    std::vector<double> creations;             // s, the scene's clock: when the simulator made each
};

// Flies the scene for at most maxTicks ticks (or until its one aircraft is
// gone), calling `row` after every tick with the tick and the first live
// aircraft while it is in the simulator, and filling `record` when given.
// False for an unknown scene name.
// `heldGroundFlag`: the ground's answers carry this on-ground flag throughout.
bool runMotionScene(const std::string& name, std::int32_t maxTicks,
                    const std::function<void(std::int32_t, const LiveAc&)>& row, SceneRecord* record = nullptr,
                    std::optional<bool> heldGroundFlag = std::nullopt);

// The scene for its own length, judged.
motionjudge::Verdict judgeMotionScene(const std::string& name, SceneRecord* record = nullptr);
