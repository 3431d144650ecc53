#include "engine/stand.h"

#include <gsl/narrow>
#include <gtest/gtest.h>

namespace {

constexpr double m = kMetresToNm;

SlotRecord onePlainRecord()
{
    SlotRecord r;
    r.reg = "PH-BXA";
    r.optionIndex = 1;
    return r;
}

Stand standOfRadius(double metres) { return Stand("A1", {}, 52.0, 4.0, 0.0, metres, {}); }

TEST(StandTest, ConstructorKeepsNamedKindsAndConvertsRadius)
{
    Stand s("G12", {onePlainRecord()}, 52.3, 4.76, 1.5, 25.0,
            {.cargo = true, .ramp = false, .heli = true});
    EXPECT_EQ(s.name, "G12");
    ASSERT_EQ(s.options.size(), 1u);
    EXPECT_NEAR(s.radius, 0.0134989, 1e-7);
    EXPECT_DOUBLE_EQ(s.heading, 1.5);
    EXPECT_TRUE(s.cargo);
    EXPECT_FALSE(s.ramp);
    EXPECT_TRUE(s.heli);
    EXPECT_EQ(s.sid, 0u);
    EXPECT_FALSE(s.assigned || s.occupied || s.reserved || s.neighbourTaken || s.suffixMark);
    EXPECT_GE(s.conflictingStands.capacity(), 8u);
}

TEST(StandTest, RadiusFitsStandTable)
{
    struct Row {
        const char* name;
        double standMetres;
        double aircraftMetres;
        bool fits;
    };
    const Row rows[] = {
        {"same size", 15.0, 15.0, true},
        {"stand 6 m larger", 21.0, 15.0, true},
        {"stand 7.1 m larger rounds to one small step", 22.1, 15.0, false},
        {"stand 10 m larger", 25.0, 15.0, false},
        {"aircraft 1.7 m larger", 15.0, 16.7, true},
        {"aircraft 1.9 m larger", 15.0, 16.9, false},
        {"large aircraft, stand 10 m larger (21 m steps)", 30.0, 20.0, true},
        {"large aircraft, stand 11 m larger", 31.0, 20.0, false},
        {"17.7 m takes the small step", 25.0, 17.7, false},
        {"17.9 m takes the large step", 25.0, 17.9, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(lf_radiusFitsStand(standOfRadius(row.standMetres), row.aircraftMetres * m), row.fits);
    }
}

TEST(StandTest, RadiusFitsStandRefusesAStepCountBeyond32Bits)
{
    EXPECT_THROW(lf_radiusFitsStand(standOfRadius(1e12), 10.0 * m), gsl::narrowing_error);
}

TEST(StandTest, ReplaceAndClearStands)
{
    std::vector<Stand> v;
    v.push_back(standOfRadius(10));
    v.push_back(standOfRadius(20));
    v[0].sid = 1;
    v[1].sid = 2;
    replaceStands(std::move(v));
    ASSERT_EQ(stands.size(), 2u);
    ASSERT_NE(findStandById(2), nullptr);
    EXPECT_EQ(findStandById(2), &stands[1]);
    EXPECT_EQ(findStandById(0), nullptr);
    EXPECT_EQ(findStandById(3), nullptr);
    clearStands();
    EXPECT_TRUE(stands.empty());
}

TEST(StandTest, CurrentParkAirportIsCopied)
{
    setCurrentParkAirport({.code = "EHAM", .iata = "AMS", .lat = 52.3, .lon = 4.76, .elevationFt = 0});
    setCurrentParkAirportElevation(-11);
    ParkAirportInfo p = currentParkAirport();
    EXPECT_EQ(p.code, "EHAM");
    EXPECT_DOUBLE_EQ(p.elevationFt, -11);
    clearCurrentParkAirport();
    EXPECT_TRUE(currentParkAirport().code.empty());
}

}  // namespace
