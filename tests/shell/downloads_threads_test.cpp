// The shell's downloads against the service stand-in over a real socket: the
// file appears only when the transfer completed; otherwise the old one stays.
#include <gtest/gtest.h>

#include <fstream>

#include "service_standin.h"
#include "shell/main_window.h"

namespace {

namespace fs = std::filesystem;

std::string lf_read(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

TEST(Downloads, TheFileAppearsOnlyWhenComplete)
{
    const fs::path dir = fs::temp_directory_path() / ("vrmt_dl_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path target = dir / "EHAM.zip";
    standin::FakeTrafficService site;
    site.start();
    const std::string body("PK\x03\x04 whole file", 15);
    site.push("/files/EHAM.zip", standin::Reply::text(body));
    site.push("/files/EHAM.zip", standin::Reply::text("gone", 404));
    site.push("/files/EHAM.zip", standin::Reply::cutMidBody({{"a", std::string(5000, 'x')}}));
    ShellAppServices& app = shellAppServices();
    // A 404 is the site's answer that it has no such file; the rest is a failure.
    struct Row {
        const char* name;
        DownloadResult result;
    };
    const Row rows[] = {{"whole", DownloadResult::done},
                        {"not found", DownloadResult::notOnSite},
                        {"cut", DownloadResult::failed}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(app.downloadFile(site.baseUrl() + "/files/EHAM.zip", target, true), r.result);
        EXPECT_EQ(lf_read(target), body) << "the old file stays whole";
        EXPECT_FALSE(fs::exists(dir / "EHAM.zip.part"));
        // A 404 is remembered for the URL: a new run asks again.
        app.forgetMissingDownloads();
    }
    site.stop();
    EXPECT_EQ(app.downloadFile(site.baseUrl() + "/files/EHAM.zip", target, true), DownloadResult::failed)
        << "the site is not reached";
    fs::remove_all(dir);
}

// The stand loader asks for a park airport's archived file every 16 s: a file
// the site does not have is asked for once per run, and without a site (only
// the file's path: "archive/stock/EHAM.xml", which libcurl would take for a
// host) nothing is asked at all.
TEST(Downloads, AMissingFileIsAskedForOncePerRunAndNoSiteAsksNothing)
{
    const fs::path dir = fs::temp_directory_path() / ("vrmt_dl_missing_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    standin::FakeTrafficService site;
    site.setDownloadFolder(dir / "site");
    site.start();
    ShellAppServices& app = shellAppServices();
    app.forgetMissingDownloads();
    const std::string url = site.baseUrl() + "/downloads/P3D/archive/stock/EHAM.xml";
    for (int i = 0; i < 5; ++i) EXPECT_EQ(app.downloadFile(url, dir / "EHAM.xml", true), DownloadResult::notOnSite);
    EXPECT_EQ(site.requests("/downloads/P3D/archive/stock/EHAM.xml").size(), 1u);
    app.forgetMissingDownloads();  // the next run
    EXPECT_FALSE(app.downloadToFile(url, dir / "EHAM.xml", true));
    EXPECT_EQ(site.requests("/downloads/P3D/archive/stock/EHAM.xml").size(), 2u);
    // Another file is asked for, and one that appears later in the run is taken.
    fs::create_directories(dir / "site" / "P3D" / "archive" / "stock");
    std::ofstream(dir / "site" / "P3D" / "archive" / "stock" / "EGLL.xml") << "<x/>";
    EXPECT_TRUE(app.downloadToFile(site.baseUrl() + "/downloads/P3D/archive/stock/EGLL.xml", dir / "EGLL.xml", true));

    const std::size_t before = site.requests().size();
    EXPECT_FALSE(app.downloadToFile("archive/stock/EHAM.xml", dir / "EHAM.xml", true));
    EXPECT_EQ(site.requests().size(), before);
    EXPECT_FALSE(fs::exists(dir / "EHAM.xml.part"));
    site.stop();
    app.forgetMissingDownloads();
    fs::remove_all(dir);
}

}  // namespace
