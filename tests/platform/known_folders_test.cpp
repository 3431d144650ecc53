#include "platform/known_folders.h"

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace fs = std::filesystem;
using platform::KnownFolder;

namespace {

// Sets environment variables for one test and puts the old values back.
class Environment {
public:
    ~Environment()
    {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second)
                setenv(it->first.c_str(), it->second->c_str(), 1);
            else
                unsetenv(it->first.c_str());
        }
    }
    void set(const char* name, const char* value)
    {
        const char* old = std::getenv(name);
        saved_.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

const char* const allVariables[] = {"VRMT_APPDATA",     "VRMT_PROGRAMDATA",    "VRMT_DOCUMENTS",
                                    "VRMT_PUBLIC_DOCUMENTS", "XDG_CONFIG_HOME", "XDG_DATA_DIRS",
                                    "XDG_DOCUMENTS_DIR", "XDG_PUBLICSHARE_DIR", "HOME"};

TEST(KnownFolders, OwnVariablesWin)
{
    Environment env;
    for (const char* v : allVariables) env.set(v, "/xdg-or-home");
    env.set("VRMT_APPDATA", "/t/appdata");
    env.set("VRMT_PROGRAMDATA", "/t/programdata");
    env.set("VRMT_DOCUMENTS", "/t/docs");
    env.set("VRMT_PUBLIC_DOCUMENTS", "/t/public");
    EXPECT_EQ(platform::knownFolder(KnownFolder::RoamingAppData), fs::path("/t/appdata"));
    EXPECT_EQ(platform::knownFolder(KnownFolder::ProgramData), fs::path("/t/programdata"));
    EXPECT_EQ(platform::knownFolder(KnownFolder::Documents), fs::path("/t/docs"));
    EXPECT_EQ(platform::knownFolder(KnownFolder::PublicDocuments), fs::path("/t/public"));
}

TEST(KnownFolders, XdgThenHomeDefaults)
{
    Environment env;
    for (const char* v : allVariables) env.set(v, nullptr);
    env.set("VRMT_APPDATA", "");  // empty counts as unset
    env.set("HOME", "/home/u");
    EXPECT_EQ(platform::knownFolder(KnownFolder::RoamingAppData), fs::path("/home/u/.config"));
    EXPECT_EQ(platform::knownFolder(KnownFolder::Documents), fs::path("/home/u/Documents"));
    EXPECT_EQ(platform::knownFolder(KnownFolder::PublicDocuments), fs::path("/home/u/Public"));
    EXPECT_EQ(platform::knownFolder(KnownFolder::ProgramData), fs::path("/usr/local/share"));

    env.set("XDG_CONFIG_HOME", "/cfg");
    env.set("XDG_DATA_DIRS", "/usr/share:/opt/share");
    env.set("XDG_DOCUMENTS_DIR", "/docs");
    env.set("XDG_PUBLICSHARE_DIR", "/pub");
    EXPECT_EQ(platform::knownFolder(KnownFolder::RoamingAppData), fs::path("/cfg"));
    EXPECT_EQ(platform::knownFolder(KnownFolder::ProgramData), fs::path("/usr/share"));
    EXPECT_EQ(platform::knownFolder(KnownFolder::Documents), fs::path("/docs"));
    EXPECT_EQ(platform::knownFolder(KnownFolder::PublicDocuments), fs::path("/pub"));
}

TEST(KnownFolders, NothingToGoOn)
{
    Environment env;
    for (const char* v : allVariables) env.set(v, nullptr);
    EXPECT_EQ(platform::knownFolder(KnownFolder::RoamingAppData), std::nullopt);
    EXPECT_EQ(platform::knownFolder(KnownFolder::Documents), std::nullopt);
    EXPECT_EQ(platform::knownFolder(KnownFolder::PublicDocuments), std::nullopt);
    EXPECT_TRUE(platform::knownFolder(KnownFolder::ProgramData).has_value());
}

}  // namespace
