#pragma once
// The moments of a run's way from the login to the first live aircraft in the
// simulator, each logged once per run (with the LOG option on) as seconds
// after the login, so a slow start shows where it waits. Any thread may mark a
// moment; a moment is logged by the first thread that marks it after the login.

#include <cstdint>

enum class StartMoment : std::uint8_t {
    login,                  // the session is open (resets the others)
    firstAnswer,            // the first traffic answer with status 200 has come
    firstRecordScheduled,   // the first decoded record got its due tick
    firstAircraftSpawned,   // the first live aircraft left the buffer for creation
    firstCreationQueued,    // the first live creation went to the simulator layer
    firstObjectCreated,     // the simulator gave the first live object its id
};

void markStartMoment(StartMoment moment);
