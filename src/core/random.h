#pragma once
// Randomness: one 32-bit Mersenne Twister per thread, seeded on the thread's
// first use from the random device (or, in tests, from a fixed base).

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

// This thread's engine.
std::mt19937& tlRandomEngine();

// Reseeds this thread's engine (tests).
void seedRandomEngine(std::uint32_t seed);
// When set, engines made from now on are seeded with base, base + 1, ... in the
// order threads first use them, instead of the random device (tests).
void setRandomSeedBase(std::optional<std::uint32_t> base);

// Shuffles v in place with this thread's engine; fewer than two elements stay.
void gf_shuffle(std::vector<std::string>& v);
// v plus or minus the full pct percent of v (an odd draw subtracts, an even one
// adds); v itself when pct <= 0.
double gf_randomVariation(double v, double pct);
