// The demo's user aircraft against the service stand-in's scene at the same
// airport: parked, taxiing, climbing out and coming back, it must not stand in
// the scene's way (the program removes an AI aircraft that touches the user
// aircraft on the ground, or crosses its path low in the air).

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "scene.h"
#include "simstandin/world_loop.h"

namespace {

constexpr double kDeg = 0.017453292519943295;

double distanceNm(double lat1, double lon1, double lat2, double lon2)
{
    const double dn = (lat2 - lat1) * 60.0;
    const double de = (lon2 - lon1) * 60.0 * std::cos(lat1 * kDeg);
    return std::hypot(dn, de);
}

struct Row {
    const char* name;
    double userNorthNm, userEastNm;
    bool inTheWay;
};

// How often over two of the user's 15-minute rounds (a second apart) a scene
// aircraft came within `nearNm` of the user aircraft with both on the ground,
// or within 0.5 nm and 500 ft with the user below 1500 ft above the field.
int conflicts(const Row& row, double nearNm)
{
    double now = 0;
    const standin::SceneAirport airport;  // the demo's: EHAM, runway 183
    const standin::Scene scene(airport, 3, [&now] { return now; });
    simstandin::WorldScript script{airport.lat, airport.lon, airport.elevationFt, row.userNorthNm, row.userEastNm};
    int n = 0;
    for (int t = 0; t < 1800; ++t) {
        now = t;
        UserAcState user{};
        bool onGround = false;
        simstandin::placeUser(script, t, user, onGround);
        const nlohmann::json data = scene.liveData(now, 90, -90, -180, 180);
        for (const nlohmann::json& e : data) {
            const double alt = e[4].get<double>();
            const double d = distanceNm(user.latitude, user.longitude, e[1].get<double>(), e[2].get<double>());
            const bool aiOnGround = alt <= 0;
            if (onGround && aiOnGround && d < nearNm) ++n;
            if (!onGround && !aiOnGround && user.altAboveGround < 1500 && d < 0.5 &&
                std::fabs(alt - user.altitude) < 500)
                ++n;
        }
    }
    return n;
}

TEST(DemoUser, ParksTaxisAndFliesItsCircuitClearOfTheScene)
{
    const Row rows[] = {
        {"at the reference point: on the runway the landings roll along", 0, 0, true},
        {"1.6 nm east, as the demo parks it", 0, 1.6, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const int n = conflicts(row, 0.1);
        if (row.inTheWay)
            EXPECT_GT(n, 0);
        else
            EXPECT_EQ(n, 0);
    }
}

// Aloft, the user aircraft flies its circle throughout at the altitude and
// speed given, its heading along the way it goes.
TEST(DemoUser, AloftFliesItsCircleAtItsAltitudeAndSpeed)
{
    const standin::SceneAirport airport;
    simstandin::WorldScript script{airport.lat, airport.lon, airport.elevationFt};
    script.aloftFt = 5000;
    script.aloftKt = 250;
    UserAcState before{};
    bool onGround = true;
    simstandin::placeUser(script, 0, before, onGround);
    for (int t = 1; t < 1800; ++t) {
        SCOPED_TRACE(t);
        UserAcState user{};
        onGround = true;
        simstandin::placeUser(script, t, user, onGround);
        EXPECT_FALSE(onGround);
        EXPECT_EQ(user.altitude, 5000.0);
        EXPECT_EQ(user.altAboveGround, 5000.0 - airport.elevationFt);
        EXPECT_EQ(user.groundVelocity, 250.0);
        const double nm = distanceNm(before.latitude, before.longitude, user.latitude, user.longitude);
        EXPECT_NEAR(nm * 3600.0, 250.0, 2.0);
        const double track = std::atan2((user.longitude - before.longitude) * std::cos(user.latitude * kDeg),
                                        user.latitude - before.latitude);
        EXPECT_NEAR(std::remainder(user.heading - track, 2 * 3.14159265358979323846), 0.0, 0.01);
        EXPECT_NEAR(distanceNm(airport.lat, airport.lon, user.latitude, user.longitude), 6.0, 0.05);
        before = user;
    }
}

}  // namespace
