#pragma once
// Independent references for the motion tests: GeographicLib on exactly the
// program's sphere (radius 10800 / pi nm, no flattening), sample streams built
// with it, live aircraft set up for motion, and a small tick driver.

#include <cstdint>
#include <string>
#include <vector>

#include "core/geodesy.h"
#include "engine/ac_records.h"

namespace motiontest {

struct Inverse {
    double nm = 0.0;
    double azimuthDeg = 0.0;  // forward azimuth at the start, [0, 360)
};

// GeographicLib on our sphere.
Inverse inverse(const LatLon& a, const LatLon& b);
LatLon direct(const LatLon& from, double azimuthDeg, double nm);

// A sample at a place: ground speed, due tick, airborne when altitude > 0.
PositionSample sample(const LatLon& at, double groundSpeed, std::int32_t dueTick, double altitude = 0.0);

// A live aircraft of the category, active with an object, its block at the
// first sample, heading as given (degrees); on the ground when the first
// sample is not airborne.
LiveAc aircraft(AcCategory category, const std::vector<PositionSample>& samples, double headingDeg,
                std::uint32_t objectId = 100);

// Runs the aircraft through one engine tick as the update pass does
// (updateLiveAc, then the tick counter moves on); false when it left.
bool tickOnce(LiveAc& ac);

// The block position.
LatLon at(const LiveAc& ac);

// Events queued since the last call, as "object event data" lines.
std::vector<std::string> takeEvents();

// The constant for a category, with the pitches exactly as tabled.
void applyCategory(AcIdentity& id, AcCategory category);

}  // namespace motiontest
