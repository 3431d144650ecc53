#pragma once
// The engine's side of the simulator replies: once a tick it takes the reply
// list (simlink/sim_handover.h) and works on the entries outside the reply
// mutex, ties new objects to their records, counts the freshly created objects
// and activates each 200 ticks after its reply. A live object moves from the
// tick of its reply on (startCreatedAc); its activation 200 ticks later gives
// it its lights, engines, throttle and flaps. Worker thread only; simulator
// calls take simQueueMutex.

#include <cstdint>
#include <vector>

#include "simlink/sim_handover.h"

struct LiveAc;

// Entries counting to their activation (worker only).
extern std::vector<SimReply>& createdObjects;
// Ticks from the reply to the activation; the lights toggle at the two counts.
inline constexpr std::int32_t activationTicks = 200;
inline constexpr std::int32_t lightsToggleFirst = 50;
inline constexpr std::int32_t lightsToggleSecond = 100;

void processSimReplies();
// One reply (the drain's body).
void lf_processSimReply(const SimReply& reply);
void activateCreatedAc();
// A live object's id came: the aircraft is active (it moves and its positions
// are sent) and goes on along its samples from where it was created; one
// without samples is removed.
void startCreatedAc(LiveAc& ac);
// The activation 200 ticks after the object came: lights, engines, throttle
// and flaps for its phase (an aircraft not yet started is started first).
void activateAc(LiveAc& ac);
void resetRemovedAc(std::uint32_t objectId);
void lf_removeWhileBlocked(std::uint32_t aircraftId);
// Asks for the aircraft's plan file (with an origin and a destination) and
// sends the plans written so far.
void setAcFlightPlan(LiveAc& ac);
// Once a tick: hands each plan written since to the simulator when its object
// is still the aircraft's (else the file goes); a plan refused or not written
// gives a marked line.
void sendWrittenFlightPlans();
void lf_parks(LiveAc& ac);
void lf_onGroundSlots(LiveAc& ac);
// Before a position goes out: the aircraft is lifted to where it stands on the
// ground it is known to be over (groundAltitudeFt plus cgHeight), never lower.
void keepAboveGround(LiveAc& ac);
// At a due sample: a report of the ground older than groundReportStaleTicks is
// dropped; without one the ground is known only under a front sample on the
// ground, at the park airport's elevation.
void reviewGroundAtSample(LiveAc& ac);
// The simulator reports the ground of every aircraft near the user at least
// once a second while it is below 2500 ft above it.
inline constexpr std::int32_t groundReportStaleTicks = 300;
// The static pitch a kind-4 reply gives: b, or 0.7 degrees outside (-1, 2.5] degrees.
double clampedStaticPitch(double b);
