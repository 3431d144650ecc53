// SimConnect.cfg: the three folders, the section by index, the key order and
// the profile-reading rules.

#include <gtest/gtest.h>

#include <fstream>

#include "platform/profile.h"
#include "simlink/sc_transport.h"

namespace {

class ScConfig : public ::testing::Test {
protected:
    void SetUp() override
    {
        char templ[] = "/tmp/vrmtcfgXXXXXX";
        ASSERT_NE(::mkdtemp(templ), nullptr);
        dir_ = templ;
        for (const char* sub : {"public", "documents", "cwd"}) std::filesystem::create_directories(dir_ / sub);
        setScEnvironment({[this] {
                              return std::vector<std::filesystem::path>{dir_ / "public", dir_ / "documents",
                                                                        dir_ / "cwd"};
                          },
                          [](platform::net::Family f) {
                              return std::string(f == platform::net::Family::IPv4 ? "5001" : "5002");
                          }});
    }
    void TearDown() override
    {
        setScEnvironment({});
        std::filesystem::remove_all(dir_);
    }
    void write(const char* folder, const std::string& text) { std::ofstream(dir_ / folder / "SimConnect.cfg") << text; }
    std::filesystem::path dir_;
};

TEST_F(ScConfig, LaterFilesOverrideAndKeysReadInTableOrder)
{
    struct Case {
        const char* name;
        const char* publicCfg;
        const char* cwdCfg;
        ScProtocol protocol;
        const char* address;
        const char* port;
        std::uint32_t maxReceive;
        bool nagle;
    } cases[] = {
        {"defaults", "", "", ScProtocol::Auto, "", "", 41088, false},
        {"one file", "", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=500\n", ScProtocol::IPv4, "127.0.0.1",
         "500", 41088, false},
        {"later file overrides", "[SimConnect]\nAddress=a\nPort=1\n", "[simconnect]\nADDRESS = b \n", ScProtocol::Auto,
         "b", "1", 41088, false},
        {"family replaces an earlier port by the registry's", "[SimConnect]\nPort=1\n", "[SimConnect]\nProtocol=ipv6\n",
         ScProtocol::IPv6, "", "5002", 41088, false},
        {"protocol is read before port in one file", "", "[SimConnect]\nPort=77\nProtocol=IPv4\n", ScProtocol::IPv4,
         "", "77", 41088, false},
        {"unknown protocol changes nothing", "[SimConnect]\nProtocol=IPv4\n", "[SimConnect]\nProtocol=Carrier\n",
         ScProtocol::IPv4, "", "", 41088, false},
        {"MaxReceiveSize only upwards", "[SimConnect]\nMaxReceiveSize=90000\n", "[SimConnect]\nMaxReceiveSize=1000\n",
         ScProtocol::Auto, "", "", 90000, false},
        {"MaxReceiveSize 1000 is ignored", "", "[SimConnect]\nMaxReceiveSize=1000\n", ScProtocol::Auto, "", "", 41088,
         false},
        {"DisableNagle", "[SimConnect]\nDisableNagle=1\n", "", ScProtocol::Auto, "", "", 41088, true},
        {"other sections do not count", "[SimConnect.1]\nAddress=x\n", "", ScProtocol::Auto, "", "", 41088, false},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        write("public", tc.publicCfg);
        write("cwd", tc.cwdCfg);
        ScSettings s;
        ASSERT_TRUE(scReadSettings(0, s));
        EXPECT_EQ(s.protocol, tc.protocol);
        EXPECT_EQ(s.address, tc.address);
        EXPECT_EQ(s.port, tc.port);
        EXPECT_EQ(s.maxReceiveSize, tc.maxReceive);
        EXPECT_EQ(s.disableNagle, tc.nagle);
    }
}

TEST_F(ScConfig, NumberedSectionMustExistSomewhere)
{
    ScSettings s;
    EXPECT_FALSE(scReadSettings(2, s));
    write("documents", "[SimConnect.2]\nAddress=::1\n");
    ASSERT_TRUE(scReadSettings(2, s));
    EXPECT_EQ(s.address, "::1");
    write("cwd", "[SimConnect]\nAddress=x\n");
    ASSERT_TRUE(scReadSettings(-1, s));  // -1 reads no file at all
    EXPECT_EQ(s.address, "");
}

TEST_F(ScConfig, ProfileReaderRules)
{
    write("cwd",
          "\xEF\xBB\xBF; comment\n[ Main ]\r\nKey = \"quoted value\" \r\nkey=second\nEmpty=\n; Hidden=1\n"
          "[main]\nOther=late\n[Next]\nLong=abcdef\n");
    const auto f = dir_ / "cwd" / "SimConnect.cfg";
    using platform::ini::readProfileString;
    EXPECT_EQ(readProfileString(f, "MAIN", "KEY"), "quoted value");  // first key, quotes and blanks gone
    EXPECT_EQ(readProfileString(f, "main", "Empty", "dflt"), "");
    EXPECT_EQ(readProfileString(f, "main", "Hidden", "dflt"), "dflt");
    EXPECT_EQ(readProfileString(f, "main", "Other", "dflt"), "dflt");  // only the first [main] counts
    EXPECT_EQ(readProfileString(f, "Next", "Long", "", 4), "abc");
    EXPECT_EQ(readProfileString(dir_ / "none.cfg", "Next", "Long", "dflt"), "dflt");
    EXPECT_TRUE(platform::ini::hasSection(f, "next"));
    EXPECT_FALSE(platform::ini::hasSection(f, "Absent"));
}

}  // namespace
