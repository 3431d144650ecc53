#include "core/random.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace {

TEST(Random, VariationIsAlwaysTheFullPercentage)
{
    seedRandomEngine(42);
    int up = 0;
    int down = 0;
    for (int i = 0; i < 200; ++i) {
        const double r = gf_randomVariation(200.0, 10.0);
        ASSERT_TRUE(r == 220.0 || r == 180.0) << r;
        (r > 200.0 ? up : down)++;
    }
    EXPECT_GT(up, 0);
    EXPECT_GT(down, 0);
    EXPECT_EQ(gf_randomVariation(200.0, 0.0), 200.0);
    EXPECT_EQ(gf_randomVariation(200.0, -5.0), 200.0);
}

TEST(Random, ParityOfTheDrawChoosesTheSign)
{
    seedRandomEngine(7);
    const std::uint32_t draw = tlRandomEngine()();
    seedRandomEngine(7);
    EXPECT_EQ(gf_randomVariation(100.0, 50.0), draw % 2 ? 50.0 : 150.0);
}

TEST(Random, ShuffleKeepsElementsAndIsRepeatableWithASeed)
{
    std::vector<std::string> one{"x"};
    gf_shuffle(one);
    EXPECT_EQ(one, std::vector<std::string>{"x"});

    const std::vector<std::string> original{"a", "b", "c", "d", "e", "f", "g", "h"};
    seedRandomEngine(1);
    auto first = original;
    gf_shuffle(first);
    seedRandomEngine(1);
    auto second = original;
    gf_shuffle(second);
    EXPECT_EQ(first, second);
    std::sort(first.begin(), first.end());
    EXPECT_EQ(first, original);
}

}  // namespace
