#pragma once
// Parking of live aircraft: a taxiing aircraft near a free stand is sent into
// it (try2Park, engine/motion.h); the live and static parked aircraft share the
// park airport's stands within the wanted count (enforceMaxPark); live aircraft
// parked too long go (lf_reviewLiveParked). Worker thread only. Times parked
// are wall-clock times in 100 ns units; removals take effect later.

#include <cstdint>
#include <vector>

struct LiveAc;
struct Stand;

// The taken-for-arrival mark keeps one aircraft a stand: it is set for the
// arrival given the stand (try2Park) and blocks the stand for every other
// aircraft while that one drives in; the clearing rules (the removal, the
// settling at the stand, a parked aircraft's extrapolation) clear it for the
// aircraft that holds it. A mark whose holder is gone, or no longer has the
// stand, blocks nothing.
void takeStandForArrival(Stand& stand, std::uint32_t aircraftId);
bool standTakenByOther(const Stand& stand, std::uint32_t aircraftId);
void clearStandTaken(std::uint32_t standId, std::uint32_t aircraftId);

// The wall clock in 100 ns units.
std::int64_t wallTime100ns();
// The aircraft parks now: parkedSince and its birth weekday and half hour.
void markParkedNow(LiveAc& ac);

struct ParkedMinutes {
    std::uint32_t aircraftId = 0;
    std::uint64_t minutes = 0;
};
// Minutes parked since parkedSince; 0 when the clock was set back.
std::uint64_t minutesParked(const LiveAc& ac);
// The active parked live aircraft, longest parked first.
void lf_parkedMinutes(std::vector<ParkedMinutes>& list);
// Removes the n longest-parked live aircraft.
void removeLiveParked(std::uint64_t n);
// Removes the live aircraft parked longer than 90 minutes (Heavy 180) and
// rebuilds liveParkedList, smallest minutes first.
void lf_reviewLiveParked();
// The number of active parked live aircraft; withMean also shows their mean
// parking time in half hours on the status panel.
std::uint64_t lf_averageLiveParked(bool withMean);
