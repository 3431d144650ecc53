#pragma once
// A fleet of active live aircraft in every kind of motion, for the motion
// benchmark and the steady-state allocation test: cruising, flaring, taxiing
// along bends (ground curves) and climbing out, each with a long queue of
// samples that fall due every 4 s. No GoogleTest, no outside geodesy.

#include <cstddef>
#include <cstdint>

#include "simlink/ac_category.h"

struct LiveAc;

// Replaces the live aircraft with n of them (a quarter of each kind), object
// ids from 1000, samples due from `startTick` on for about `seconds`.
void buildMotionFleet(std::size_t n, std::int32_t startTick, int seconds = 240);
// An active live aircraft of the fleet's make (KLM<i>, a B738 with the
// category's constants, object id 1000 + i), no samples, phase birth.
LiveAc motionFleetAircraft(std::size_t i, AcCategory category);
