#pragma once
// Invented stand use: with PARK_FAKE, every stand on which a plausible aircraft
// fits gets one soft record for the current half hour, so static parking has
// something to place where nothing was learned. The records are marked fake and
// never written to a file.

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/stand.h"

struct FakeCandidate {
    std::string_view airline;
    std::string_view type;
};

// The candidates of a stand at an airport: heli, cargo, ramp, then the region by
// the code's first letter (C, E, K, R, Z; any other: ZZZ B738). Types that do not
// fit the stand are left out, except for the helipad and the catch-all.
std::vector<FakeCandidate> lf_fakeCandidates(const std::string& icao, const Stand& stand);
// Appends each of the three whose type fits the stand.
void lf_addFakeCandidates(const Stand& stand, std::span<const FakeCandidate, 3> table,
                          std::vector<FakeCandidate>& candidates);
// One soft record "FAKE{n}"/"REGFAKE{n}" for the current weekday and half hour on
// each stand that has a candidate (n counts those stands from 1).
void lf_makeFakeRegistrations(const std::string& icao, std::vector<Stand>& stands);
