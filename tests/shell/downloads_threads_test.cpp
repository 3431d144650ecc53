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
    struct Row {
        const char* name;
        bool ok;
    };
    const Row rows[] = {{"whole", true}, {"not found", false}, {"cut", false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        EXPECT_EQ(app.downloadToFile(site.baseUrl() + "/files/EHAM.zip", target, true), r.ok);
        EXPECT_EQ(lf_read(target), body) << "the old file stays whole";
        EXPECT_FALSE(fs::exists(dir / "EHAM.zip.part"));
    }
    site.stop();
    EXPECT_FALSE(app.downloadToFile(site.baseUrl() + "/files/EHAM.zip", target, true)) << "no site";
    fs::remove_all(dir);
}

}  // namespace
