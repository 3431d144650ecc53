#include "platform/fs_path.h"

#include <gtest/gtest.h>

namespace {

struct RootGuard {
    explicit RootGuard(const char* root) { platform::setDriveRoot(root); }
    ~RootGuard() { platform::setDriveRoot({}); }
};

TEST(ToFsPath, WindowsTextsBecomeLocalPaths)
{
    const RootGuard root("/drives");
    struct Row {
        const char* text;
        const char* path;
    };
    const Row rows[] = {
        {"", ""},
        {"airports\\learned\\stock\\EGLL.xml", "airports/learned/stock/EGLL.xml"},
        {"airports\\learned/thirdparty\\P/ABCD.xml", "airports/learned/thirdparty/P/ABCD.xml"},
        {"D:\\Scenery\\EHAM\\scenery\\AF2_EHAM.bgl", "/drives/D/Scenery/EHAM/scenery/AF2_EHAM.bgl"},
        {"c:/ProgramData/x", "/drives/c/ProgramData/x"},
        {"C:relative", "/drives/C/relative"},
        {"C:", "/drives/C"},
        {"D:\\\\Double\\\\\\sep\\", "/drives/D/Double/sep/"},
        {"\\\\server\\share\\f", "/server/share/f"},
        {"already/unix//path", "already/unix/path"},
        {"1:\\not a drive", "1:/not a drive"},
        {"Caf\xC3\xA9\\Liv\xC3\xA9ries", "Caf\xC3\xA9/Liv\xC3\xA9ries"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(platform::toFsPath(row.text).string(), row.path);
    }
}

TEST(ToFsPath, DriveRootWithTrailingSlashAndReset)
{
    {
        const RootGuard root("/mnt/");
        EXPECT_EQ(platform::toFsPath("E:\\a").string(), "/mnt/E/a");
    }
    EXPECT_FALSE(platform::driveRoot().empty());
}

TEST(PathText, Utf8OfAnyPath)
{
    EXPECT_EQ(platform::pathText(std::filesystem::path(u8"x/\u00e9.xml")), "x/\xC3\xA9.xml");
}

}  // namespace
