#pragma once
// A fresh temporary folder for one test, removed again afterwards, and small
// helpers to read what the code under test wrote.

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/log.h"

class ScratchFolder {
public:
    ScratchFolder()
    {
        std::random_device rd;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        const std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
        path_ = std::filesystem::temp_directory_path() / ("vrmt-" + name + "-" + std::to_string(rd()));
        std::filesystem::create_directories(path_);
    }
    ~ScratchFolder()
    {
        std::error_code ec;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ec);
        std::filesystem::remove_all(path_, ec);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& p) const { return path_ / p; }

private:
    std::filesystem::path path_;
};

inline std::string readWholeFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void writeWholeFile(const std::filesystem::path& p, const std::string& content)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << content;
}

// Lines of a file split at '\n' (the last empty piece after a final '\n' dropped).
inline std::vector<std::string> fileLines(const std::filesystem::path& p)
{
    std::vector<std::string> lines;
    std::istringstream in(readWholeFile(p));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Opens the log in a scratch folder for the life of the object, so tests can
// read what was logged.
class ScratchLog {
public:
    ScratchLog() { gf_openLog(folder_.path()); }
    ~ScratchLog() { closeLog(); }
    ScratchLog(const ScratchLog&) = delete;
    ScratchLog& operator=(const ScratchLog&) = delete;

    // The lines after the banner.
    std::vector<std::string> lines() const
    {
        auto all = fileLines(folder_ / "Log.txt");
        if (!all.empty()) all.erase(all.begin());
        return all;
    }
    const ScratchFolder& folder() const { return folder_; }

private:
    ScratchFolder folder_;
};
