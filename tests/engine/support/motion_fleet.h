#pragma once
// A fleet of active live aircraft in every kind of motion, for the motion
// benchmark and the steady-state allocation test: cruising, flaring, taxiing
// along bends (ground curves) and climbing out, each with a long queue of
// samples that fall due every 4 s. No GoogleTest, no outside geodesy.

#include <cstddef>
#include <cstdint>

// Replaces the live aircraft with n of them (a quarter of each kind), object
// ids from 1000, samples due from `startTick` on for about `seconds`.
void buildMotionFleet(std::size_t n, std::int32_t startTick, int seconds = 240);
