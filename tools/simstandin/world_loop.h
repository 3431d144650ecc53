#pragma once
// The stand-in's world as the program runs it: a scripted user aircraft
// (parked, taxiing, a circuit at the airport, parked again; repeating every
// 900 s), the "Sim" event once a client connects, a frame every 1/30 s on a
// fixed schedule and the per-second answers once a second, all on the program
// clock. The program runs it on its main thread; a test runs it on a thread of
// its own.

#include <atomic>

#include "simlink/sim_definitions.h"
#include "simstandin/fake_sim_server.h"

namespace simstandin {

struct WorldScript {
    double lat0 = 47.4647;
    double lon0 = 8.5492;
    double elevation = 1416.0;  // ft
    // Where the user aircraft parks, in nm north and east of the reference
    // point; its taxi and circuit move with it. A world whose traffic lands at
    // the reference point parks it off the runway, clear of that traffic.
    double userNorthNm = 0;
    double userEastNm = 0;
    // Above 0: the user aircraft flies throughout, at this altitude (ft) and
    // aloftKt, clockwise round a circle of aloftRadiusNm about the reference
    // point (the user offset moves it), instead of parking, taxiing and its circuit.
    double aloftFt = 0;
    double aloftKt = 250;
    double aloftRadiusNm = 6;
};

// Where the user aircraft is t seconds into the script.
void placeUser(const WorldScript& s, double t, UserAcState& state, bool& onGround);

// Runs the world until `stop` is set or `seconds` (> 0) have passed.
void runWorldLoop(FakeSimServer& server, const WorldScript& script, const std::atomic<bool>& stop,
                  double seconds = 0);

}  // namespace simstandin
