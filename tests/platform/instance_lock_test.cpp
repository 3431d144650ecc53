#include "platform/instance_lock.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <string>

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

// A refused lock says whether another program holds it (no problem) or the
// lock file cannot be made (the problem names it), so the caller can tell the user.
TEST(InstanceLock, WhyARefusal)
{
    const auto folder = std::filesystem::temp_directory_path() / ("vrmt_lock_why_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "a file") << "x";
    const auto held = platform::InstanceLock::acquire(folder / "held");
    ASSERT_NE(held, nullptr);
    struct Row {
        const char* name;
        std::filesystem::path folder;
        bool acquired;
        std::string problemStart;  // empty: no problem
    };
    const Row rows[] = {
        {"free", folder / "free", true, ""},
        {"held by another", folder / "held", false, ""},
        {"under a file: no lock file can be made", folder / "a file" / "sub", false, "cannot open its lock file "},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::string problem = "not cleared";
        const auto lock = platform::InstanceLock::acquire(row.folder, &problem);
        EXPECT_EQ(lock != nullptr, row.acquired);
        EXPECT_EQ(problem.substr(0, row.problemStart.size()), row.problemStart);
        EXPECT_EQ(problem.empty(), row.problemStart.empty()) << problem;
    }
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
