#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "core/geodesy.h"

namespace {

constexpr double pi = std::numbers::pi;

// The haversine term exactly as distanceNm forms it, before clamping.
double rawHaversine(const LatLon& a, const LatLon& b)
{
    const double s1 = std::sin((b.lon - a.lon) * geo::degToRad / 2);
    const double s2 = std::sin((b.lat - a.lat) * geo::degToRad / 2);
    return std::cos(b.lat * geo::degToRad) * std::cos(a.lat * geo::degToRad) * s1 * s1 + s2 * s2;
}

struct DistanceCase {
    const char* name;
    LatLon a, b;
    double nm;
    double tolerance;
};

TEST(Geodesy, DistanceTable)
{
    const DistanceCase cases[] = {
        {"same point", {47.5, 8.5}, {47.5, 8.5}, 0.0, 0.0},
        {"one degree of latitude", {10.0, 20.0}, {11.0, 20.0}, 60.0, 1e-9},
        {"one degree of longitude on the equator", {0.0, 0.0}, {0.0, 1.0}, 60.0, 1e-9},
        {"poles", {90.0, 0.0}, {-90.0, 0.0}, 10800.0, 1e-9},
        {"antipodes on the equator", {0.0, 0.0}, {0.0, 180.0}, 10800.0, 1e-9},
        {"antipodes, haversine rounds above 1", {13.847, -96.815}, {-13.847, 83.185}, 10800.0, 1e-9},
        {"antipodes, haversine rounds above 1 (2)", {-73.927, -148.625}, {73.927, 31.375}, 10800.0, 1e-9},
        {"across the antimeridian", {0.0, 179.5}, {0.0, -179.5}, 60.0, 1e-9},
        {"Zurich to New York (law of cosines)", {47.4647, 8.5492}, {40.6413, -73.7781}, 3404.46327421, 1e-6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const double d = distanceNm(c.a, c.b);
        EXPECT_FALSE(std::isnan(d));
        EXPECT_NEAR(d, c.nm, c.tolerance);
        EXPECT_DOUBLE_EQ(d, distanceNm(c.b, c.a));
    }
    // The two pairs above really do exercise the clamp.
    EXPECT_GT(rawHaversine({13.847, -96.815}, {-13.847, 83.185}), 1.0);
    EXPECT_GT(rawHaversine({-73.927, -148.625}, {73.927, 31.375}), 1.0);
}

TEST(Geodesy, BearingTable)
{
    struct Case {
        const char* name;
        LatLon from, to;
        double radians;
    };
    const Case cases[] = {
        {"same point", {10.0, 10.0}, {10.0, 10.0}, 0.0},
        {"north", {0.0, 0.0}, {1.0, 0.0}, 0.0},
        {"east", {0.0, 0.0}, {0.0, 1.0}, pi / 2},
        {"south", {0.0, 0.0}, {-1.0, 0.0}, pi},
        {"west", {0.0, 0.0}, {0.0, -1.0}, 3 * pi / 2},
        {"north-east on the equator", {0.0, 0.0}, {1.0, 1.0}, 0.785322005176},
        {"east across the antimeridian", {0.0, 179.5}, {0.0, -179.5}, pi / 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_NEAR(initialBearing(c.from, c.to), c.radians, 1e-5);
    }
    // A hair west of due north must not round up to 2 pi itself.
    const double almostNorth = initialBearing({0.0, 0.0}, {1.0, -1e-15});
    EXPECT_GE(almostNorth, 0.0);
    EXPECT_LT(almostNorth, geo::twoPi);
}

TEST(Geodesy, DestinationTable)
{
    struct Case {
        const char* name;
        LatLon start;
        double bearing, feet;
        LatLon expected;
    };
    const double oneDegreeFeet = 60 * geo::feetPerNm;
    const Case cases[] = {
        {"zero distance", {47.5, 8.5}, 1.0, 0.0, {47.5, 8.5}},
        {"zero distance normalises the longitude", {10.0, 190.0}, 0.0, 0.0, {10.0, -170.0}},
        {"one degree north", {0.0, 0.0}, 0.0, oneDegreeFeet, {1.0, 0.0}},
        {"one degree east", {0.0, 0.0}, pi / 2, oneDegreeFeet, {0.0, 1.0}},
        {"east across the antimeridian", {0.0, 179.5}, pi / 2, oneDegreeFeet, {0.0, -179.5}},
        {"over the pole", {89.5, 0.0}, 0.0, oneDegreeFeet, {89.5, 180.0}},
        {"to the pole", {89.0, 30.0}, 0.0, oneDegreeFeet, {90.0, 30.0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LatLon p = destinationPoint(c.start, c.bearing, c.feet);
        EXPECT_NEAR(p.lat, c.expected.lat, 1e-9);
        // 180 and -180 are the same meridian.
        EXPECT_NEAR(std::remainder(p.lon - c.expected.lon, 360.0), 0.0, 1e-9);
        EXPECT_GE(p.lat, -90.0);
        EXPECT_LE(p.lat, 90.0);
        EXPECT_GE(p.lon, -180.0);
        EXPECT_LE(p.lon, 180.0);
    }
    // Eastward across the antimeridian: just above -180, never above 180.
    const LatLon crossed = destinationPoint({0.0, 179.99}, pi / 2, 0.02 * oneDegreeFeet);
    EXPECT_GT(crossed.lon, -180.0);
    EXPECT_LT(crossed.lon, -179.98);
}

// The folds skip the remainder within half a turn: their results stay those of
// the remainder to the last bit, at the edges, for signed zeros and for random angles.
TEST(Geodesy, FoldsAreTheRemainderToTheBit)
{
    const auto bits = [](double v) { return std::bit_cast<std::uint64_t>(v); };
    const auto plainFoldPi = [](double a) { return std::remainder(a, geo::twoPi); };
    const auto plainWrap = [](double d) {
        d = std::remainder(d, 360.0);
        return d >= 180.0 ? d - 360.0 : d;
    };
    const double half = geo::twoPi / 2;
    std::vector<double> angles = {0.0, -0.0, half, -half, std::nextafter(half, 0.0), std::nextafter(half, 4.0),
                                  std::nextafter(-half, 0.0), std::nextafter(-half, -4.0), geo::twoPi, -geo::twoPi,
                                  3 * half, -3 * half, 1e-300, -1e-300, 1e300, std::numeric_limits<double>::infinity(),
                                  180.0, -180.0, std::nextafter(180.0, 0.0), std::nextafter(180.0, 400.0),
                                  std::nextafter(-180.0, 0.0), std::nextafter(-180.0, -400.0), 360.0, -360.0,
                                  540.0, -540.0, 359.9999999, -359.9999999};
    std::mt19937_64 random(26);
    std::uniform_real_distribution<double> wide(-800.0, 800.0), narrow(-7.0, 7.0);
    for (int i = 0; i < 20000; ++i) angles.push_back(i % 2 == 0 ? wide(random) : narrow(random));
    for (double a : angles) {
        SCOPED_TRACE(a);
        EXPECT_EQ(bits(geo::foldPi(a)), bits(plainFoldPi(a)));
        EXPECT_EQ(bits(geo::wrapLonDelta(a)), bits(plainWrap(a)));
    }
    EXPECT_TRUE(std::isnan(geo::foldPi(std::nan(""))));
    EXPECT_TRUE(std::isnan(geo::wrapLonDelta(std::nan(""))));
}

TEST(Geodesy, DestinationThenDistanceGivesTheFeetBack)
{
    const LatLon starts[] = {{47.46, 8.55}, {-33.9, 151.2}, {0.0, 179.9}, {71.0, -156.0}};
    const double bearings[] = {0.0, 0.7, 2.5, 4.0, 5.9};
    const double feet[] = {100.0, 18228.34647, 607611.549, 6076115.49};
    for (const auto& s : starts) {
        for (double b : bearings) {
            for (double f : feet) {
                const LatLon p = destinationPoint(s, b, f);
                EXPECT_NEAR(distanceNm(s, p), f / geo::feetPerNm, 1e-6 * (1 + f / geo::feetPerNm));
            }
        }
    }
}

}  // namespace
