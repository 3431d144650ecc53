#include "airports/fake_registrations.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/random.h"
#include "support/airport_fixture.h"

namespace {

using testing::ElementsAre;

class FakeRegistrationsTest : public AirportFixture {
protected:
    void SetUp() override
    {
        AirportFixture::SetUp();
        // Half spans in metres / 1852.
        for (const auto& [type, metres] : std::initializer_list<std::pair<const char*, double>>{
                 {"B738", 18.0}, {"A320", 17.0}, {"B739", 18.0}, {"E75L", 13.0}, {"BCS3", 17.5}, {"B737", 17.0},
                 {"B77W", 32.0}, {"B78X", 30.0}, {"C172", 5.5}, {"PC12", 8.0}, {"FDX", 0.0}, {"C208", 8.0},
                 {"B752", 19.0}, {"B763", 24.0}, {"A306", 22.0}})
            liveries.halfSpans[type] = metres / 1852.0;
        liveries.defaultHalfSpan = 100.0 / 1852.0;  // nothing unlisted fits
    }
    static Stand stand(const std::string& name, double radiusMetres, StandKind kind = {})
    {
        return Stand(name, {}, 52.0, 4.0, 0.0, radiusMetres, kind);
    }
    static std::vector<std::string> picks(const std::vector<Stand>& v)
    {
        std::vector<std::string> out;
        for (const Stand& s : v)
            for (const SlotRecord& r : s.options)
                if (r.fake) out.push_back(r.airl + " " + r.type + " " + r.cs + " " + r.reg);
        return out;
    }
};

TEST_F(FakeRegistrationsTest, CandidatesByKindAndRegion)
{
    struct Row {
        const char* name;
        std::string icao;
        Stand stand;
        std::vector<std::string> candidates;
    };
    const Row rows[] = {
        {"helipad, whatever its size", "KJFK", stand("H", 3.0, {.cargo = true, .heli = true}), {"PVT EC35"}},
        {"any other region, whatever the size", "LFPG", stand("L", 3.0), {"ZZZ B738"}},
        {"cargo", "EHAM", stand("C", 9.0, {.cargo = true}), {"FDX C208"}},
        {"ramp", "EHAM", stand("R", 6.0, {.ramp = true}), {"PVT C172"}},
        {"K table lists FFT A320 twice",
         "KJFK",
         stand("K", 17.0),
         {"DAL B739", "JBU BCS3", "FFT A320", "UAL B738", "AAL B738", "SKW E75L", "SWA B737", "FFT A320"}},
        {"small K stand: nothing fits", "KJFK", stand("k", 8.0), {}},
        {"Z table", "ZBAA", stand("Z", 17.0), {"CSA A320"}},
        {"E table", "EGLL", stand("E", 18.0), {"SAS A320", "EZY A320", "RYR B738", "DLH A320", "KLM B738"}},
        {"empty code", "", stand("X", 18.0), {"ZZZ B738"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<std::string> got;
        for (const FakeCandidate& c : lf_fakeCandidates(row.icao, row.stand))
            got.push_back(std::string(c.airline) + " " + std::string(c.type));
        EXPECT_EQ(got, row.candidates);
    }
}

TEST_F(FakeRegistrationsTest, RecordsAreNumberedOverTheStandsThatGotOne)
{
    std::vector<Stand> v{stand("A", 17.0), stand("small", 8.0), stand("H", 5.0, {.heli = true}),
                         stand("B", 18.0)};
    SlotRecord learned;
    learned.reg = "N1";
    learned.optionIndex = 4;
    v[3].options.push_back(learned);
    lf_makeFakeRegistrations("KJFK", v);
    EXPECT_TRUE(v[1].options.empty());
    ASSERT_EQ(v[2].options.size(), 1u);
    const SlotRecord& heli = v[2].options[0];
    EXPECT_EQ(heli.cs, "FAKE2");
    EXPECT_EQ(heli.reg, "REGFAKE2");
    EXPECT_EQ(heli.airl + " " + heli.type, "PVT EC35");
    EXPECT_EQ(heli.optionIndex, 1u);
    EXPECT_EQ(heli.weekday, 2u);
    EXPECT_EQ(heli.slots.to_ullong(), 1ull << 44);
    EXPECT_EQ(heli.source, 1u);
    EXPECT_EQ(heli.real, 0u);
    EXPECT_TRUE(heli.fake);
    ASSERT_EQ(v[3].options.size(), 2u);
    EXPECT_EQ(v[3].options[1].optionIndex, 5u);
    EXPECT_EQ(v[3].options[1].cs, "FAKE3");
    EXPECT_EQ(v[0].options.at(0).cs, "FAKE1");
}

TEST_F(FakeRegistrationsTest, TheDrawFollowsTheSeed)
{
    auto run = [&](std::uint32_t seed) {
        seedRandomEngine(seed);
        std::vector<Stand> v;
        for (int i = 0; i < 12; ++i) v.push_back(stand(vr::format("S{}", i), 18.0));
        lf_makeFakeRegistrations("EGLL", v);
        return picks(v);
    };
    const std::vector<std::string> a = run(3);
    EXPECT_EQ(a, run(3));
    EXPECT_NE(a, run(4));
    EXPECT_EQ(a.size(), 12u);
    EXPECT_EQ(a.back().substr(a.back().size() - 16), "FAKE12 REGFAKE12");
}

TEST_F(FakeRegistrationsTest, AnLAirportGetsTheCatchAllOnEveryNormalStand)
{
    std::vector<Stand> v{stand("tiny", 2.0), stand("huge", 90.0)};
    lf_makeFakeRegistrations("LEMD", v);
    EXPECT_THAT(picks(v), ElementsAre("ZZZ B738 FAKE1 REGFAKE1", "ZZZ B738 FAKE2 REGFAKE2"));
}

}  // namespace
