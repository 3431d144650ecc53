// Downloads from the download-site stand-in over loopback: what reaches the
// target, what is left behind when a transfer fails, and that no transfer waits
// for ever.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <sstream>
#include <thread>

#include "core/run_state.h"
#include "platform/clock.h"
#include "service_standin.h"
#include "support/recording_handover.h"
#include "traffic_service/downloader.h"

using standin::Reply;

namespace {

std::string readAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const std::filesystem::path& p, const std::string& text)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

// Bytes no text mode would pass through unchanged.
std::string binaryBody()
{
    std::string body;
    for (int i = 0; i < 3000; ++i) body += static_cast<char>(i * 7 % 256);
    return body + "\r\n\x1a\0tail";
}

class DownloaderTest : public testing::Test {
protected:
    void SetUp() override
    {
        std::random_device rd;
        dir_ = std::filesystem::temp_directory_path() / ("vrmt_download_" + std::to_string(rd()));
        std::filesystem::create_directories(dir_ / "site" / "P3D" / "archive" / "stock");
        resetRunState();
        fake_.install();
        server_.setDownloadFolder(dir_ / "site");
        server_.start();
        setDownloadBaseUrl(server_.baseUrl() + "/downloads/");
    }
    void TearDown() override
    {
        server_.stop();
        resetDownloadSettings();
        resetRunState();
        setServiceHandover(defaultServiceHandover());
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }

    std::filesystem::path target() const { return dir_ / "dbase.enc"; }
    std::filesystem::path part() const { return dir_ / "dbase.enc.part"; }
    std::string url(const std::string& name) const { return server_.baseUrl() + "/downloads/" + name; }
    // The files of the scratch folder itself (the site's folder left out).
    std::vector<std::string> localFiles() const
    {
        std::vector<std::string> names;
        for (const auto& e : std::filesystem::directory_iterator(dir_))
            if (e.is_regular_file()) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    std::filesystem::path dir_;
    RecordingHandover fake_;
    standin::FakeTrafficService server_;
};

// One download of dbase.enc over a good old copy, for every way the site answers.
TEST_F(DownloaderTest, AGoodFileIsReplacedOnlyByACompleteTransfer)
{
    struct Row {
        const char* name;
        std::function<void(standin::FakeTrafficService&, const std::filesystem::path& site)> setup;
        bool ok;
        std::string expected;  // the target's content afterwards
    };
    const std::string old = "old good copy";
    const std::string fresh = binaryBody();
    const std::vector<Row> rows = {
        {"served from the site's folder, byte for byte",
         [&](auto&, const auto& site) { writeAll(site / "dbase.enc", fresh); }, true, fresh},
        {"an empty file is a complete transfer", [&](auto&, const auto& site) { writeAll(site / "dbase.enc", ""); },
         true, ""},
        {"not on the site", [](auto&, const auto&) {}, false, old},
        {"scripted 404 with a body", [](auto& s, const auto&) { s.push("/downloads/dbase.enc", Reply::bytes("gone", 404)); },
         false, old},
        {"server error", [](auto& s, const auto&) { s.push("/downloads/dbase.enc", Reply::bytes("oops", 500)); }, false,
         old},
        {"cut in the middle of the body",
         [&](auto& s, const auto&) { s.push("/downloads/dbase.enc", Reply::cutBytes(fresh)); }, false, old},
        {"connection closed without an answer",
         [](auto& s, const auto&) { s.push("/downloads/dbase.enc", Reply::closeNoReply()); }, false, old},
        {"a slow answer still arrives",
         [&](auto& s, const auto&) { s.push("/downloads/dbase.enc", Reply::bytes(fresh).after(std::chrono::milliseconds(50))); },
         true, fresh},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        writeAll(target(), old);
        std::filesystem::remove(dir_ / "site" / "dbase.enc");
        row.setup(server_, dir_ / "site");
        Downloader d;
        EXPECT_EQ(downloadToFile(d, url("dbase.enc"), target(), true), row.ok) << d.lastError();
        EXPECT_EQ(readAll(target()), row.expected);
        EXPECT_EQ(localFiles(), std::vector<std::string>{"dbase.enc"});
        EXPECT_EQ(d.lastError().empty(), row.ok);
    }
}

TEST_F(DownloaderTest, EveryRequestSaysVrmtAndAsksForThePathGiven)
{
    writeAll(dir_ / "site" / "P3D" / "archive" / "stock" / "EHAM.xml", "<stands/>");
    EXPECT_TRUE(downloadDataFile("P3D/archive/stock/EHAM.xml", dir_ / "EHAM.xml"));
    EXPECT_EQ(readAll(dir_ / "EHAM.xml"), "<stands/>");
    EXPECT_EQ(downloadSiteFolderUrl(), server_.baseUrl() + "/downloads/P3D/");
    const auto reqs = server_.requests();
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_EQ(reqs[0].method, "GET");
    EXPECT_EQ(reqs[0].path, "/downloads/P3D/archive/stock/EHAM.xml");
    EXPECT_EQ(reqs[0].headers.at("user-agent"), "VRMT");
    EXPECT_TRUE(fake_.anyPlainContains("Downloaded '" + url("P3D/archive/stock/EHAM.xml") + "' to '"));
}

TEST_F(DownloaderTest, TheSiteServesNothingOutsideItsFolder)
{
    writeAll(dir_ / "secret.txt", "secret");
    for (const char* name : {"../secret.txt", "%2e%2e/secret.txt", "P3D//x", "P3D/", "./x"}) {
        SCOPED_TRACE(name);
        Downloader d;
        EXPECT_FALSE(downloadToFile(d, server_.baseUrl() + "/downloads/" + name, dir_ / "out", true));
        EXPECT_FALSE(std::filesystem::exists(dir_ / "out"));
    }
}

TEST_F(DownloaderTest, AFailedDataFileDownloadIsMarkedAndAMissingSiteFailsAtOnce)
{
    EXPECT_FALSE(downloadDataFile("dbase.enc", target()));
    EXPECT_TRUE(fake_.anyMarkedContains("Downloading '" + url("dbase.enc") + "' failed !"));
    EXPECT_TRUE(fake_.anyPlainContains("404"));

    setDownloadBaseUrl("");
    EXPECT_EQ(downloadSiteFolderUrl(), "");
    const auto before = server_.requests().size();
    EXPECT_FALSE(downloadDataFile("dbase.enc", target()));
    EXPECT_EQ(server_.requests().size(), before);

    setDownloadBaseUrl(server_.baseUrl() + "/downloads");  // the final "/" is added
    EXPECT_EQ(downloadBaseUrl(), server_.baseUrl() + "/downloads/");
}

TEST_F(DownloaderTest, ATargetThatCannotBeWrittenIsLoggedAndNothingIsAsked)
{
    writeAll(dir_ / "site" / "dbase.enc", "x");
    Downloader d;
    EXPECT_FALSE(downloadToFile(d, url("dbase.enc"), dir_ / "missing" / "dbase.enc", true));
    EXPECT_TRUE(fake_.anyPlainContains("Could not open output file: "));
    EXPECT_TRUE(server_.requests().empty());
}

TEST_F(DownloaderTest, OnlyWebAddressesAreFetched)
{
    writeAll(dir_ / "local.txt", "local");
    Downloader d;
    EXPECT_FALSE(downloadToFile(d, "file://" + (dir_ / "local.txt").string(), dir_ / "copy.txt", true));
    EXPECT_FALSE(std::filesystem::exists(dir_ / "copy.txt"));
    // Without a download site the stand loader's address is the file's path
    // alone, which libcurl would take for a host named "archive": no request.
    EXPECT_FALSE(downloadToFile(d, "archive/stock/EHAM.xml", dir_ / "EHAM.xml", true));
    EXPECT_EQ(d.lastError(), "no download site is set");
    EXPECT_FALSE(std::filesystem::exists(dir_ / "EHAM.xml.part"));
}

// A site that accepts and never answers: the speed limit (measured on the program
// clock, here a fast one) ends the transfer.
TEST_F(DownloaderTest, AHangingSiteIsGivenUpByTheSpeedLimit)
{
    platform::ScopedClock fast(std::make_shared<platform::ScaledClock>(0.001));
    writeAll(target(), "old");
    server_.push("/downloads/dbase.enc", Reply::hang());
    Downloader d;
    EXPECT_FALSE(downloadToFile(d, url("dbase.enc"), target(), true));
    EXPECT_NE(d.lastError().find("bytes a second"), std::string::npos) << d.lastError();
    EXPECT_EQ(readAll(target()), "old");
    EXPECT_FALSE(std::filesystem::exists(part()));
}

// A hanging transfer ends as soon as any stop flag is set.
TEST_F(DownloaderTest, StopFlagsEndATransfer)
{
    struct Row {
        const char* name;
        std::function<void(std::atomic<bool>& own)> stop;
    };
    const std::vector<Row> rows = {
        {"the downloader's own flag", [](std::atomic<bool>& own) { own = true; }},
        {"the run is closing", [](std::atomic<bool>&) { closingFlag = true; }},
        {"the window was closed", [](std::atomic<bool>&) { windowClosedFlag = true; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        resetRunState();
        const auto before = server_.requests().size();
        server_.push("/downloads/dbase.enc", Reply::hang());
        std::atomic<bool> own{false};
        std::thread stopper([&] {
            if (server_.waitForRequests("/downloads/dbase.enc", before + 1)) row.stop(own);
        });
        Downloader d(&own);
        EXPECT_FALSE(downloadToFile(d, url("dbase.enc"), target(), true));
        stopper.join();
        EXPECT_EQ(d.lastError(), "stopped");
        EXPECT_FALSE(std::filesystem::exists(part()));
    }
}

}  // namespace
