#include "platform/directory.h"

#include <fstream>
#include <random>
#include <string>

#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

TEST(ListDirectorySorted, CaseInsensitiveNameOrder)
{
    const fs::path dir = fs::temp_directory_path() / ("vrmt-dir-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    for (const char* name : {"b", "A", "a", "C.xml", "c"}) std::ofstream(dir / name).put('x');
    fs::create_directory(dir / "B0");

    std::vector<std::string> names;
    for (const auto& e : platform::listDirectorySorted(dir)) names.push_back(e.path().filename().string());
    EXPECT_EQ(names, (std::vector<std::string>{"A", "a", "b", "B0", "c", "C.xml"}));
    EXPECT_THROW(platform::listDirectorySorted(dir / "missing"), fs::filesystem_error);
    fs::remove_all(dir);
}

}  // namespace
