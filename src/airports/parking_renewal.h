#pragma once
// Renewal and removal of the static parking: every 20 minutes of flight the
// park airport's statics are brought up to date (adjustParking); when the user
// leaves the airport everything parked there goes (removeStaticParked) and the
// parking period ends with the save of what was learned (finishStaticParking).
// Also keeps the live aircraft within MAX_LIVE_SEL. Worker thread only.

#include <cstdint>

struct SimAc;
struct ParkingSelection;

// The main cycle's renewal in two halves, 15 s apart: the first disables the
// main controls and asks the traffic reader to collect the names of the live
// traffic; the second runs adjustParking(flush) when a park airport with
// stands is set.
void beginParkingRenewal();
void completeParkingRenewal(bool flush);

void adjustParking(bool flush);
void addNewParkedFromPT();
void reviewPtStatics(bool flush);
void reviewStaticAircraft(std::uint64_t weekdayAndSlot);
void keepOrReplaceStatic(SimAc& ac, std::size_t selectionIndex);
bool selectionMatchesStatic(const SimAc& ac, const ParkingSelection& selection);
void trimParkingSurplus(std::int64_t wanted);
void removeMarkedStatics();
void removeStaticParked();
void finishStaticParking();
// Removes the farthest active live aircraft beyond distanceNm + 0.1 nm: false;
// true when there is none.
bool removeFarthestLiveAc(double distanceNm);
void trimLiveAircraft();
// The MAX_LIVE_SEL value kept for parking (the option handler updates it).
extern std::int32_t maxLiveForParking;
