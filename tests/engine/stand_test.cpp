// The stands of the park airport: replaced and cleared as a whole, found by id.

#include <gtest/gtest.h>

#include "engine/stand.h"

namespace {

Stand lf_stand(std::uint32_t sid, const char* name)
{
    Stand s;
    s.sid = sid;
    s.name = name;
    return s;
}

TEST(Stands, ReplacedClearedAndFoundById)
{
    replaceStands({lf_stand(1, "A1"), lf_stand(2, "A2"), lf_stand(3, "B1")});
    ASSERT_EQ(stands.size(), 3u);
    ASSERT_NE(findStandById(2), nullptr);
    EXPECT_EQ(findStandById(2)->name, "A2");
    EXPECT_EQ(findStandById(0), nullptr);
    EXPECT_EQ(findStandById(4), nullptr);
    findStandById(3)->occupied = true;
    EXPECT_TRUE(stands[2].occupied);
    replaceStands({lf_stand(7, "C7")});
    ASSERT_EQ(stands.size(), 1u);
    EXPECT_EQ(findStandById(2), nullptr);
    EXPECT_FALSE(stands[0].occupied);
    clearStands();
    EXPECT_TRUE(stands.empty());
    EXPECT_GE(stands.capacity(), 512u);
}

}  // namespace
