#include "platform/instance_lock.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

TEST(InstanceLock, OneHolderPerFolderAlsoInOneProcess)
{
    const auto folder = std::filesystem::temp_directory_path() / ("vrmt_lock_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    auto first = platform::InstanceLock::acquire(folder);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(std::filesystem::exists(folder / platform::instanceLockFileName));
    EXPECT_EQ(platform::InstanceLock::acquire(folder), nullptr);
    EXPECT_NE(platform::InstanceLock::acquire(folder / "other"), nullptr) << "another folder is another lock";
    first.reset();
    EXPECT_NE(platform::InstanceLock::acquire(folder), nullptr) << "released with its holder";
    std::filesystem::remove_all(folder);
}

TEST(InstanceLock, TheFolderSetting)
{
    ::setenv("VRMT_LOCK_DIR", "/tmp/vrmt-lock-setting", 1);
    EXPECT_EQ(platform::InstanceLock::defaultLockFolder(), "/tmp/vrmt-lock-setting");
    ::unsetenv("VRMT_LOCK_DIR");
    EXPECT_FALSE(platform::InstanceLock::defaultLockFolder().empty());
}

}  // namespace
