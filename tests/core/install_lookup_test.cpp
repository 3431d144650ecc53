#include "core/install_lookup.h"

#include <cstdlib>

#include <gtest/gtest.h>

#include "core/errors.h"
#include "core/options.h"
#include "core/text_convert.h"
#include "support/scratch_folder.h"

namespace {

using platform::MemoryRegistry;
using platform::RegRoot;
const std::u16string v5Key = u"SOFTWARE\\Lockheed Martin\\Prepar3D v5";
const std::u16string v6Key = u"SOFTWARE\\Lockheed Martin\\Prepar3D v6";

// The path's text in UTF-8 on every system.
std::string utf8(const std::filesystem::path& p)
{
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

class InstallLookup : public testing::Test {
protected:
    void TearDown() override { platform::setRegistry(nullptr); }
};

TEST_F(InstallLookup, Table)
{
    struct Case {
        const char* name;
        void (*fill)(MemoryRegistry&);
        bool installed5, installed6;
        std::string path5, path6;  // UTF-8
    };
    const Case cases[] = {
        {"no keys", [](MemoryRegistry&) {}, false, false, "", ""},
        {"v5 key with its path",
         [](MemoryRegistry& r) { r.setString(RegRoot::LocalMachine, v5Key, u"SetupPath", u"C:\\P3D\\Prepar3D v5\\"); },
         true, false, "C:\\P3D\\Prepar3D v5\\", ""},
        {"v6 key without SetupPath", [](MemoryRegistry& r) { r.addKey(RegRoot::LocalMachine, v6Key); }, false, true,
         "", ""},
        {"both keys",
         [](MemoryRegistry& r) {
             r.setString(RegRoot::LocalMachine, v5Key, u"SetupPath", u"/srv/Prepar3D v5/");
             r.setString(RegRoot::LocalMachine, v6Key, u"SetupPath", u"/srv/Prepar3D v6");
         },
         true, true, "/srv/Prepar3D v5/", "/srv/Prepar3D v6"},
        {"key and value names in other case",
         [](MemoryRegistry& r) {
             r.setString(RegRoot::LocalMachine, u"software\\LOCKHEED MARTIN\\prepar3d V6", u"setuppath", u"E:\\P3D");
         },
         false, true, "", "E:\\P3D"},
        {"SetupPath of the wrong type",
         [](MemoryRegistry& r) { r.setOther(RegRoot::LocalMachine, v5Key, u"SetupPath"); }, true, false, "", ""},
        {"non-ASCII path kept exactly",
         [](MemoryRegistry& r) {
             r.setString(RegRoot::LocalMachine, v5Key, u"SetupPath", u"D:\\Spiele \u00C4\u20AC\U0001F6E9\\Prepar3D v5\\");
         },
         true, false, "D:\\Spiele \xC3\x84\xE2\x82\xAC\xF0\x9F\x9B\xA9\\Prepar3D v5\\", ""},
        {"value that is not valid UTF-16",
         [](MemoryRegistry& r) {
             r.setString(RegRoot::LocalMachine, v5Key, u"SetupPath", std::u16string{u'C', u':', 0xD800});
         },
         true, false, "", ""},
        {"key of the current user only",
         [](MemoryRegistry& r) { r.setString(RegRoot::CurrentUser, v5Key, u"SetupPath", u"C:\\P3D"); }, false, false,
         "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto r = std::make_unique<MemoryRegistry>();
        c.fill(*r);
        platform::setRegistry(std::move(r));
        EXPECT_EQ(isP3DInstalled(5), c.installed5);
        EXPECT_EQ(isP3DInstalled(6), c.installed6);
        EXPECT_EQ(utf8(getP3DSetupPath(5)), c.path5);
        EXPECT_EQ(utf8(getP3DSetupPath(6)), c.path6);
    }
}

TEST_F(InstallLookup, ReadsARegeditExportNamedByTheEnvironment)
{
    ScratchFolder folder;
    const std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n"
                                u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\r\n"
                                u"\"SetupPath\"=\"/srv/Z\u00FCrich/Prepar3D v6/\"\r\n";
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    writeWholeFile(folder / "p3d.reg", bytes);
    ::setenv("VRMT_REGISTRY_FILE", (folder / "p3d.reg").c_str(), 1);
    platform::setRegistry(nullptr);
    EXPECT_FALSE(isP3DInstalled(5));
    EXPECT_TRUE(isP3DInstalled(6));
    EXPECT_EQ(utf8(getP3DSetupPath(6)), "/srv/Z\xC3\xBCrich/Prepar3D v6/");
    ::unsetenv("VRMT_REGISTRY_FILE");
}

TEST_F(InstallLookup, RegKeyErrors)
{
    auto r = std::make_unique<MemoryRegistry>();
    r->setOther(RegRoot::CurrentUser, v5Key, u"SimConnect_Port_IPv4");
    platform::setRegistry(std::move(r));

    try {
        RegKey key(RegRoot::LocalMachine, v5Key);
        ADD_FAILURE() << "opened a missing key";
    } catch (const winreg::RegException& e) {
        EXPECT_EQ(e.code().value(), 2);
        EXPECT_EQ(std::string(e.what()).rfind("RegOpenKeyExW failed.", 0), 0u);
    }
    const RegKey key(RegRoot::CurrentUser, v5Key);
    for (auto [name, code] : {std::pair{u"SimConnect_Port_IPv6", 2}, std::pair{u"SimConnect_Port_IPv4", 1630}}) {
        try {
            key.GetStringValue(name);
            ADD_FAILURE() << "read a value that is not a string";
        } catch (const winreg::RegException& e) {
            EXPECT_EQ(e.code().value(), code);
            EXPECT_EQ(std::string(e.what()).rfind("Cannot get size of string value: RegGetValueW failed.", 0), 0u);
        }
    }
}

TEST(P3dVersionFromPath, Table)
{
    struct Case {
        const char* path;
        int option;
        const char* version;
    };
    const Case cases[] = {
        {"C:\\Program Files\\Lockheed Martin\\Prepar3D v5\\", 6, "5"},
        {"C:\\Program Files\\Lockheed Martin\\Prepar3D V6", 5, "6"},
        {"D:\\Dev5\\Prepar3D v6", 5, "6"},
        {"D:\\Dev5\\Prepar3D v6\\", 5, "6"},
        {"D:\\P3D v6\\Prepar3D v5", 6, "5"},
        {"/srv/sims/Prepar3D v5/", 6, "5"},
        {"Prepar3Dv6", 5, "6"},
        {"E:\\Prepar3D v55", 6, "6"},
        {"E:\\Prepar3D v5 old\\P3D", 6, "6"},
        {"E:\\Sims\\P3D", 5, "5"},
        {"E:\\Sims\\P3D", 6, "6"},
        {"", 6, "6"},
        // The install folder's name holds the version with more after it.
        {"E:\\Prepar3D v6 Academic", 5, "6"},
        {"D:\\P3Dv6_Pro", 5, "6"},
        {"D:\\P3Dv6 HF1", 5, "6"},
        {"D:\\Prepar3D v6.1", 5, "6"},
        {"D:\\Sims\\P3D_v6_Pro", 5, "6"},
        {"D:\\Sims\\P3D_v6_Pro\\", 5, "6"},
        {"D:\\Prepar3D v5 Academic", 6, "5"},
        {"D:\\Dev5\\Prepar3D v6 Pro", 5, "6"},
        {"D:\\P3D v6 and v5", 6, "5"},  // v5 is looked for first
        {"D:\\Prepar3D v55 Beta", 6, "6"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(p3dVersionFromPath(c.path, c.option), c.version);
    }
    for (int option : {0, 4}) {
        try {
            p3dVersionFromPath("E:\\Sims\\P3D", option);
            ADD_FAILURE() << option;
        } catch (const qxv::UserErrorException& e) {
            EXPECT_STREQ(e.what(), "77: P3D install path does not contain v5 or v6. Use hidden parameter P3D_VERSION, "
                                   "set it to 5 or 6.");
        }
    }
}

TEST(P3dVersionFromPath, ReadsTheOptions)
{
    const std::string path = SIM_INSTALL_PATH.get();
    const int version = P3D_VERSION.get();
    SIM_INSTALL_PATH.set("D:\\Dev5\\Prepar3D v6");
    P3D_VERSION.set(5);
    EXPECT_EQ(p3dVersionFromPath(), "6");
    SIM_INSTALL_PATH.set("D:\\Sims\\P3D");
    EXPECT_EQ(p3dVersionFromPath(), "5");
    SIM_INSTALL_PATH.set(path);
    P3D_VERSION.set(version);
}

}  // namespace
