#include "core/errors.h"

#include <gtest/gtest.h>

namespace {

TEST(UserErrorException, Texts)
{
    EXPECT_STREQ(qxv::UserErrorException(5, "x").what(), "5: x");
    EXPECT_STREQ(qxv::UserErrorException(99, "x").what(), "x");
    EXPECT_STREQ(qxv::UserErrorException(-1, "").what(), "-1: ");
    try {
        throw qxv::UserErrorException(151, "no path");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "151: no path");
    }
}

}  // namespace
