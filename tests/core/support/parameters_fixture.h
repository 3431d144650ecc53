#pragma once
// A temporary data folder with its own parameters.xml and Log.txt, the options
// at their defaults and the run state cleared; restored afterwards.

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ParametersFixture : public testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    std::filesystem::path file() const { return dir_ / "parameters.xml"; }
    void writeFile(const std::string& text) const;
    std::string readFile(const std::filesystem::path& path) const;
    // The (name, value) of every entry of the file, in order; nullopt for a missing value.
    std::vector<std::pair<std::string, std::optional<std::string>>> entries() const;
    std::optional<std::string> valueOf(const std::string& name) const;
    // The lines of Log.txt written since SetUp.
    std::vector<std::string> logLines() const;
    // loadParameters with the stored-option lists.
    void loadStored() const;

    std::filesystem::path dir_;
};
