#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

#include "platform/registry.h"

namespace {

using platform::MemoryRegistry;
using platform::RegRoot;
constexpr auto HKLM = RegRoot::LocalMachine;
constexpr auto HKCU = RegRoot::CurrentUser;
constexpr std::u16string_view v5Key = u"SOFTWARE\\Lockheed Martin\\Prepar3D v5";

// Result of a string read: the error code and the value read (or "<unchanged>").
std::pair<int, std::u16string> read(const platform::Registry& r, RegRoot root, std::u16string_view key,
                                    std::u16string_view name)
{
    std::u16string value = u"<unchanged>";
    const int code = r.getString(root, key, name, value);
    return {code, value};
}

TEST(MemoryRegistry, KeysAndValues)
{
    MemoryRegistry r;
    r.setString(HKLM, v5Key, u"SetupPath", u"C:\\P3D v5\\");
    r.setOther(HKLM, v5Key, u"Version");
    r.addKey(HKCU, u"Software\\Empty");
    r.setString(HKCU, u"Software\\\u00C9t\u00E9", u"N\u00E4me", u"x");

    struct Case {
        const char* name;
        RegRoot root;
        std::u16string_view key;
        int openCode;
    };
    const Case opens[] = {
        {"exact", HKLM, v5Key, 0},
        {"other case", HKLM, u"software\\LOCKHEED MARTIN\\prepar3d V5", 0},
        {"trailing backslash", HKLM, u"SOFTWARE\\Lockheed Martin\\Prepar3D v5\\", 0},
        {"parent of a key", HKLM, u"Software\\Lockheed Martin", 0},
        {"the root", HKLM, u"", 0},
        {"prefix that is no parent", HKLM, u"SOFTWARE\\Lockheed Martin\\Prepar3D v", 2},
        {"child that does not exist", HKLM, u"SOFTWARE\\Lockheed Martin\\Prepar3D v5\\x", 2},
        {"other root", HKCU, v5Key, 2},
        {"key without values", HKCU, u"software\\empty", 0},
        {"non-ASCII name in other case", HKCU, u"SOFTWARE\\\u00C9T\u00C9", 0},
    };
    for (const auto& c : opens) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(r.openKey(c.root, c.key), c.openCode);
    }

    EXPECT_EQ(read(r, HKLM, v5Key, u"SetupPath"), std::make_pair(0, std::u16string(u"C:\\P3D v5\\")));
    EXPECT_EQ(read(r, HKLM, u"software\\lockheed martin\\prepar3d v5", u"SETUPPATH").second, u"C:\\P3D v5\\");
    EXPECT_EQ(read(r, HKLM, v5Key, u"Version"), std::make_pair(1630, std::u16string(u"<unchanged>")));
    EXPECT_EQ(read(r, HKLM, v5Key, u"Missing"), std::make_pair(2, std::u16string(u"<unchanged>")));
    EXPECT_EQ(read(r, HKLM, u"SOFTWARE\\Lockheed Martin", u"SetupPath").first, 2);
    EXPECT_EQ(read(r, HKCU, v5Key, u"SetupPath").first, 2);
    EXPECT_EQ(read(r, HKCU, u"Software\\\u00E9t\u00C9", u"N\u00C4ME").second, u"x");

    r.removeValue(HKLM, v5Key, u"setuppath");
    EXPECT_EQ(r.openKey(HKLM, v5Key), 0);
    EXPECT_EQ(read(r, HKLM, v5Key, u"SetupPath").first, 2);
}

TEST(RegFile, ParsesAnExport)
{
    const std::u16string text =
        u"Windows Registry Editor Version 5.00\r\n"
        u"\r\n"
        u"; exported by hand\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\r\n"
        u"\"SetupPath\"=\"D:\\\\Sims\\\\Prepar3D v5\\\\\"\r\n"
        u"\"Quoted \\\"name\\\"\"=\"say \\\"hi\\\"\"\r\n"
        u"\"Count\"=dword:00000001\r\n"
        u"\"Expand\"=hex(2):43,00,3a,00,\\\r\n"
        u"  5c,00,00,00\r\n"
        u"\"After\"=\"still read\"\r\n"
        u"@=\"default\"\r\n"
        u"\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v6]\r\n"
        u"\r\n"
        u"[HKEY_CURRENT_USER\\Software\\Lockheed Martin\\Prepar3D v5]\r\n"
        u"\"SimConnect_Port_IPv4\"=\"500\"\r\n"
        u"\"Gone\"=\"x\"\r\n"
        u"\"Gone\"=-\r\n"
        u"[HKEY_CLASSES_ROOT\\.reg]\r\n"
        u"@=\"regfile\"\r\n"
        u"[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Deleted]\r\n";
    MemoryRegistry r;
    EXPECT_TRUE(platform::parseRegText(text, r).empty());

    EXPECT_EQ(read(r, HKLM, v5Key, u"SetupPath").second, u"D:\\Sims\\Prepar3D v5\\");
    EXPECT_EQ(read(r, HKLM, v5Key, u"Quoted \"name\"").second, u"say \"hi\"");
    EXPECT_EQ(read(r, HKLM, v5Key, u"Count").first, 1630);
    EXPECT_EQ(read(r, HKLM, v5Key, u"Expand").first, 1630);
    EXPECT_EQ(read(r, HKLM, v5Key, u"After").second, u"still read");
    EXPECT_EQ(read(r, HKLM, v5Key, u"").second, u"default");
    EXPECT_EQ(r.openKey(HKLM, u"SOFTWARE\\Lockheed Martin\\Prepar3D v6"), 0);
    EXPECT_EQ(read(r, HKLM, u"SOFTWARE\\Lockheed Martin\\Prepar3D v6", u"SetupPath").first, 2);
    EXPECT_EQ(read(r, HKCU, u"Software\\Lockheed Martin\\Prepar3D v5", u"SimConnect_Port_IPv4").second, u"500");
    EXPECT_EQ(read(r, HKCU, u"Software\\Lockheed Martin\\Prepar3D v5", u"Gone").first, 2);
    EXPECT_EQ(r.openKey(HKLM, u"SOFTWARE\\Deleted"), 2);
}

TEST(RegFile, ReportsProblemsAndKeepsTheRest)
{
    struct Case {
        const char* name;
        std::u16string body;  // after the header
        std::string problem;  // empty: none
    };
    const Case cases[] = {
        {"unknown escape", u"[HKEY_CURRENT_USER\\K]\n\"a\"=\"C:\\P3D\"\n", "line 3: string value not closed"},
        {"unclosed string", u"[HKEY_CURRENT_USER\\K]\n\"a\"=\"abc\n", "line 3: string value not closed"},
        {"text after the string", u"[HKEY_CURRENT_USER\\K]\n\"a\"=\"abc\" x\n", "line 3: string value not closed"},
        {"unquoted name", u"[HKEY_CURRENT_USER\\K]\na=\"x\"\n", "line 3: value name is not a quoted text"},
        {"no equals sign", u"[HKEY_CURRENT_USER\\K]\n\"a\" \"x\"\n", "line 3: no '=' after the value name"},
        {"unknown type", u"[HKEY_CURRENT_USER\\K]\n\"a\"=qword:1\n", "line 3: unknown value type"},
        {"value before any key", u"\"a\"=\"x\"\n[HKEY_CURRENT_USER\\K]\n", "line 2: value before the first key"},
        {"unclosed key", u"[HKEY_CURRENT_USER\\K\n", "line 2: key without closing bracket"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryRegistry r;
        const auto problems = platform::parseRegText(
            u"Windows Registry Editor Version 5.00\n" + c.body + u"[HKEY_CURRENT_USER\\Ok]\n\"b\"=\"kept\"\n", r);
        ASSERT_EQ(problems.size(), 1u);
        EXPECT_EQ(problems[0].rfind(c.problem, 0), 0u) << problems[0];
        EXPECT_EQ(read(r, HKCU, u"Ok", u"b").second, u"kept");
        EXPECT_EQ(read(r, HKCU, u"K", u"a").first, 2);
    }

    MemoryRegistry r;
    EXPECT_EQ(platform::parseRegText(u"[HKEY_CURRENT_USER\\K]\n\"a\"=\"x\"\n", r).size(), 1u);
    EXPECT_EQ(r.openKey(HKCU, u"K"), 2);
    EXPECT_EQ(platform::parseRegText(u"", r).size(), 1u);
}

std::string utf16leWithBom(std::u16string_view text)
{
    std::string bytes = "\xFF\xFE";
    for (char16_t c : text) {
        bytes.push_back(static_cast<char>(c & 0xFF));
        bytes.push_back(static_cast<char>(c >> 8));
    }
    return bytes;
}

TEST(RegFile, DecodesTheFileEncodings)
{
    const std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n"
                                u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\r\n"
                                u"\"SetupPath\"=\"/srv/Z\u00FCrich \U0001F6E9/Prepar3D v5/\"\r\n";
    const std::u16string expected = u"/srv/Z\u00FCrich \U0001F6E9/Prepar3D v5/";
    const std::string utf8 = "Windows Registry Editor Version 5.00\n\n"
                             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\n"
                             "\"SetupPath\"=\"/srv/Z\xC3\xBCrich \xF0\x9F\x9B\xA9/Prepar3D v5/\"\n";
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"UTF-16LE with a byte-order mark", utf16leWithBom(text)},
        {"UTF-8", utf8},
        {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF" + utf8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryRegistry r;
        EXPECT_TRUE(platform::parseRegFileBytes(c.bytes, r).empty());
        EXPECT_EQ(read(r, HKLM, v5Key, u"SetupPath").second, expected);
    }

    MemoryRegistry r;
    EXPECT_EQ(platform::parseRegFileBytes("Windows Registry Editor Version 5.00\n\xE9\n", r).size(), 1u);
    EXPECT_EQ(platform::parseRegFileBytes(utf16leWithBom(text) + "x", r).size(), 1u);
}

class SystemRegistry : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = std::filesystem::temp_directory_path() /
               ("vrmt_registry_" + std::to_string(::getpid()) + "_" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override
    {
        ::unsetenv("VRMT_REGISTRY_FILE");
        platform::setRegistry(nullptr);
        std::filesystem::remove_all(dir_);
    }
    std::filesystem::path dir_;
};

TEST_F(SystemRegistry, ReadsTheFileNamedByTheEnvironment)
{
    const auto file = dir_ / "registry.reg";
    std::ofstream(file, std::ios::binary) << utf16leWithBom(
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\r\n"
        u"\"SetupPath\"=\"/srv/Prepar3D v5/\"\r\n");
    ::setenv("VRMT_REGISTRY_FILE", file.c_str(), 1);
    platform::setRegistry(nullptr);
    EXPECT_EQ(read(platform::registry(), HKLM, v5Key, u"SetupPath").second, u"/srv/Prepar3D v5/");

    // A missing file, or no variable at all, is an empty registry.
    ::setenv("VRMT_REGISTRY_FILE", (dir_ / "missing.reg").c_str(), 1);
    platform::setRegistry(nullptr);
    EXPECT_EQ(platform::registry().openKey(HKLM, v5Key), 2);
    ::unsetenv("VRMT_REGISTRY_FILE");
    platform::setRegistry(nullptr);
    EXPECT_EQ(platform::registry().openKey(HKLM, u"SOFTWARE"), 2);
}

TEST_F(SystemRegistry, TestsCanInjectARegistry)
{
    auto injected = std::make_unique<MemoryRegistry>();
    injected->addKey(HKCU, u"Injected");
    platform::setRegistry(std::move(injected));
    const platform::Registry& held = platform::registry();
    EXPECT_EQ(held.openKey(HKCU, u"Injected"), 0);
    platform::setRegistry(std::make_unique<MemoryRegistry>());
    EXPECT_EQ(platform::registry().openKey(HKCU, u"Injected"), 2);
    EXPECT_EQ(held.openKey(HKCU, u"Injected"), 0);  // the replaced one is still alive
}

}  // namespace
