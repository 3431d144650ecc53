// The start-up check of the data files against the download-site stand-in on
// loopback: one table of what versions.json and the site say, and what the
// program folder and parameters.xml hold afterwards.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

#include <pugixml.hpp>

#include "core/log.h"
#include "core/options.h"
#include "core/parameters.h"
#include "core/run_state.h"
#include "liveries/data_crypto.h"
#include "liveries/support/dbase_fixture.h"
#include "platform/clock.h"
#include "service_standin.h"
#include "shell/update_check.h"
#include "traffic_service/downloader.h"

using standin::Reply;

namespace {

std::string readAll(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    if (!in) return "<missing>";
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeAll(const std::filesystem::path& p, const std::string& text)
{
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string versionsText(const std::string& aig, const std::string& dbase)
{
    auto entry = [](const std::string& v) {
        int a = 0, b = 0, c = 0;
        std::sscanf(v.c_str(), "%d.%d.%d", &a, &b, &c);
        return "{\"major\":" + std::to_string(a) + ",\"minor\":" + std::to_string(b) + ",\"patch\":" +
               std::to_string(c) + "}";
    };
    return "{\"aig\":" + entry(aig) + ",\"dbase\":" + entry(dbase) + "}";
}

// The site's new data files: encrypted as the real ones, and read as the
// start-up reads them.
const std::string& newDbaseFile()
{
    static const std::string f = gf_encryptText(DataDecryptionKey, minimalDbaseXml);
    return f;
}
const std::string& newAigFile()
{
    static const std::string f =
        gf_encryptText(DataDecryptionKey, R"(<AIG-regcodes><livery title="A" reg="G-ABCD"/></AIG-regcodes>)");
    return f;
}
// "new dbase" and "new aig" in the table stand for those files.
std::string fileFor(const std::string& text)
{
    if (text == "new dbase") return newDbaseFile();
    if (text == "new aig") return newAigFile();
    return text;
}

// A program folder (the working folder) with its parameters.xml and Log.txt, old
// copies of both data files, stored versions 1.0.0, and a download site that
// offers versions 1.0.0 and new copies of both files.
class UpdateWorld {
public:
    UpdateWorld()
    {
        std::random_device rd;
        root_ = std::filesystem::temp_directory_path() / ("vrmt_update_" + std::to_string(rd()));
        std::filesystem::create_directories(root_ / "program" / "input");
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(root_ / "program");
        resetRunState();
        resetOptionsToDefaults();
        setParametersFile(root_ / "program" / "parameters.xml");
        const ParameterLists& l = storedParameterLists();
        loadParameters(l.plainBools, l.checkboxes, l.ints, l.controlInts, l.strings, l.controlStrings);
        gf_openLog(root_ / "program");
        AIG_VERSION.set("1.0.0");
        DBASE_VERSION.set("1.0.0");
        writeAll(program("input/dbase.enc"), "old dbase");
        writeAll(program("input/AIG-regcodes.enc"), "old aig");
        writeAll(site("versions.json"), versionsText("1.0.0", "1.0.0"));
        writeAll(site("dbase.enc"), newDbaseFile());
        writeAll(site("AIG-regcodes.enc"), newAigFile());
        server.setDownloadFolder(root_ / "site");
        server.start();
        setDownloadBaseUrl(server.baseUrl() + "/downloads/");
    }
    ~UpdateWorld()
    {
        server.stop();
        closeLog();
        resetDownloadSettings();
        setParametersFile({});
        resetOptionsToDefaults();
        resetRunState();
        std::filesystem::current_path(previous_);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

    std::filesystem::path program(const std::string& relative) const { return root_ / "program" / relative; }
    std::filesystem::path site(const std::string& relative) const { return root_ / "site" / relative; }

    // The value parameters.xml holds for the option ("" when it was never saved).
    std::string saved(const std::string& name) const
    {
        pugi::xml_document doc;
        doc.load_file(program("parameters.xml").c_str());
        return doc.select_node(("/parameters/parameter[@name='" + name + "']").c_str())
            .node()
            .attribute("value")
            .as_string();
    }
    // The data files asked for, in order.
    std::vector<std::string> dataRequests() const
    {
        std::vector<std::string> names;
        for (const auto& r : server.requests())
            if (r.path != "/downloads/versions.json") names.push_back(r.path.substr(std::string("/downloads/").size()));
        return names;
    }
    std::string log() const { return readAll(program("Log.txt")); }
    // Every file of the program folder and its input folder whose name ends in ".part".
    bool anyPartFile() const
    {
        for (const auto& e : std::filesystem::recursive_directory_iterator(root_ / "program"))
            if (e.path().extension() == ".part") return true;
        return false;
    }

    standin::FakeTrafficService server;

private:
    std::filesystem::path root_;
    std::filesystem::path previous_;
};

TEST(UpdateCheck, VersionsTable)
{
    struct Row {
        const char* name;
        std::function<void(UpdateWorld&)> setup;
        std::vector<std::string> requested;  // data files asked for
        std::string aig = "old aig";         // the local files afterwards
        std::string dbase = "old dbase";
        std::string savedAig;  // parameters.xml afterwards ("": not saved)
        std::string savedDbase;
        std::vector<std::string> logged;     // parts of log lines
        std::vector<std::string> notLogged = {};
    };
    const std::string failedVersions = "===> Downloading version info from my web site failed!";
    const std::vector<Row> rows = {
        {"both up to date", [](UpdateWorld&) {}, {}, "old aig", "old dbase", "", "",
         {"aig version up-to-date", "dbase version up-to-date"}},
        {"no dbase key: aig still handled",
         [](UpdateWorld& w) { writeAll(w.site("versions.json"), R"({"aig":{"major":1,"minor":1,"patch":0}})"); },
         {"AIG-regcodes.enc"}, "new aig", "old dbase", "1.1.0", "",
         {"aig updated to 1.1.0", "dbase version not found", "Downloaded '"}},
        {"equal version, local file deleted: downloaded and the version written again",
         [](UpdateWorld& w) {
             std::filesystem::remove(w.program("input/dbase.enc"));
             DBASE_VERSION.set("1.0");  // any form of the same version
         },
         {"dbase.enc"}, "old aig", "new dbase", "", "1.0.0", {"aig version up-to-date", "dbase updated to 1.0.0"}},
        {"stored version higher: nothing asked for",
         [](UpdateWorld& w) {
             AIG_VERSION.set("1.0.1");
             DBASE_VERSION.set("2.0.0");
             writeAll(w.site("versions.json"), versionsText("1.0.0", "1.9.9"));
         },
         {}, "old aig", "old dbase", "", "", {"aig version up-to-date", "dbase version up-to-date"}},
        {"site higher by minor and by patch: both downloaded",
         [](UpdateWorld& w) { writeAll(w.site("versions.json"), versionsText("1.0.1", "1.2.0")); },
         {"AIG-regcodes.enc", "dbase.enc"}, "new aig", "new dbase", "1.0.1", "1.2.0",
         {"aig updated to 1.0.1", "dbase updated to 1.2.0"}},
        {"no stored version yet: downloaded",
         [](UpdateWorld&) { DBASE_VERSION.set(""); }, {"dbase.enc"}, "old aig", "new dbase", "", "1.0.0",
         {"dbase updated to 1.0.0"}},
        {"a stored version that does not parse counts as none",
         [](UpdateWorld&) { DBASE_VERSION.set("garbage"); }, {"dbase.enc"}, "old aig", "new dbase", "", "1.0.0",
         {"dbase updated to 1.0.0"}},
        {"newer dbase not on the site (404): old file and stored version kept",
         [](UpdateWorld& w) {
             writeAll(w.site("versions.json"), versionsText("1.0.0", "1.1.0"));
             std::filesystem::remove(w.site("dbase.enc"));
         },
         {"dbase.enc"}, "old aig", "old dbase", "", "",
         {"===> Downloading '", "dbase.enc' failed !", "aig version up-to-date"}, {"dbase updated"}},
        {"newer dbase cut mid-transfer: old file and stored version kept",
         [](UpdateWorld& w) {
             writeAll(w.site("versions.json"), versionsText("1.0.0", "1.1.0"));
             w.server.push("/downloads/dbase.enc", Reply::cutBytes("new dbase, but only half of it"));
         },
         {"dbase.enc"}, "old aig", "old dbase", "", "", {"dbase.enc' failed !"}, {"dbase updated"}},
        // A status 200 with wrong bytes (a captive portal, a broken mirror, a cut
        // file served whole): read as the start-up would read it, and refused.
        {"newer dbase is garbage: old file and stored version kept",
         [](UpdateWorld& w) {
             writeAll(w.site("versions.json"), versionsText("1.0.0", "1.1.0"));
             writeAll(w.site("dbase.enc"), "<html>Please log in</html>");
         },
         {"dbase.enc"}, "old aig", "old dbase", "", "",
         {"===> The downloaded input/dbase.enc is not usable (Decryption failed)", "dbase.enc' failed !"},
         {"dbase updated"}},
        {"newer dbase served cut short with status 200: refused",
         [](UpdateWorld& w) {
             writeAll(w.site("versions.json"), versionsText("1.0.0", "1.1.0"));
             writeAll(w.site("dbase.enc"), newDbaseFile().substr(0, newDbaseFile().size() - 40));
         },
         {"dbase.enc"}, "old aig", "old dbase", "", "", {"input/dbase.enc is not usable"}, {"dbase updated"}},
        {"newer dbase decrypts but lacks a required section: refused",
         [](UpdateWorld& w) {
             writeAll(w.site("versions.json"), versionsText("1.0.0", "1.1.0"));
             writeAll(w.site("dbase.enc"), gf_encryptText(DataDecryptionKey, "<aircrafts/>"));
         },
         {"dbase.enc"}, "old aig", "old dbase", "", "", {"input/dbase.enc is not usable"}, {"dbase updated"}},
        {"newer AIG file empty, another not XML: refused, the good dbase still taken",
         [](UpdateWorld& w) {
             writeAll(w.site("versions.json"), versionsText("1.1.0", "1.1.0"));
             writeAll(w.site("AIG-regcodes.enc"), gf_encryptText(DataDecryptionKey, "<AIG-regcodes"));
         },
         {"AIG-regcodes.enc", "dbase.enc"}, "old aig", "new dbase", "", "1.1.0",
         {"===> The downloaded input/AIG-regcodes.enc is not usable (not XML", "dbase updated to 1.1.0"},
         {"aig updated"}},
        {"newer AIG file empty: refused",
         [](UpdateWorld& w) {
             writeAll(w.site("versions.json"), versionsText("1.1.0", "1.0.0"));
             writeAll(w.site("AIG-regcodes.enc"), "");
         },
         {"AIG-regcodes.enc"}, "old aig", "old dbase", "", "", {"input/AIG-regcodes.enc is not usable"},
         {"aig updated"}},
        {"versions.json not on the site", [](UpdateWorld& w) { std::filesystem::remove(w.site("versions.json")); }, {},
         "old aig", "old dbase", "", "", {failedVersions}, {"up-to-date"}},
        {"versions.json not JSON (a captive portal's page)",
         [](UpdateWorld& w) { writeAll(w.site("versions.json"), "<html>Please log in</html>"); }, {}, "old aig",
         "old dbase", "", "", {"===> versions.json is not valid JSON"}, {"up-to-date"}},
        {"versions.json not an object",
         [](UpdateWorld& w) { writeAll(w.site("versions.json"), "[1,2,3]"); }, {}, "old aig", "old dbase", "", "",
         {"===> versions.json is not a JSON object"}, {"up-to-date"}},
        {"\"major\" a string: that entry ignored, the other handled",
         [](UpdateWorld& w) {
             writeAll(w.site("versions.json"),
                      R"({"aig":{"major":1,"minor":0,"patch":0},"dbase":{"major":"2","minor":0,"patch":0}})");
         },
         {}, "old aig", "old dbase", "", "",
         {"aig version up-to-date", "===> versions.json: the 'dbase' entry is no version number (\"major\" is not an integer)"},
         {"dbase version up-to-date"}},
        {"\"patch\" missing",
         [](UpdateWorld& w) {
             writeAll(w.site("versions.json"), R"({"aig":{"major":3,"minor":0},"dbase":{"major":1,"minor":0,"patch":0}})");
         },
         {}, "old aig", "old dbase", "", "", {"the 'aig' entry is no version number (\"patch\" is missing)"},
         {"aig updated"}},
        {"negative, fractional and huge numbers, an entry that is no object",
         [](UpdateWorld& w) {
             writeAll(w.site("versions.json"),
                      R"({"aig":{"major":-1,"minor":0,"patch":0},"dbase":{"major":1.5,"minor":0,"patch":0},"x":[]})");
         },
         {}, "old aig", "old dbase", "", "", {"'aig' entry is no version number", "'dbase' entry is no version number"}},
        {"entry no object",
         [](UpdateWorld& w) { writeAll(w.site("versions.json"), R"({"aig":"1.0.0","dbase":{"major":99999999999,"minor":0,"patch":0}})"); },
         {}, "old aig", "old dbase", "", "", {"'aig' entry is no version number (not an object)", "\"major\" is too large"}},
        {"no download site: one line, nothing asked",
         [](UpdateWorld&) { setDownloadBaseUrl(""); }, {}, "old aig", "old dbase", "", "",
         {"No download site is set (VRMT_DOWNLOAD_URL)"}, {"up-to-date", failedVersions}},
        {"a site that never answers is given up by the time limit",
         [](UpdateWorld& w) {
             w.server.push("/downloads/versions.json", Reply::hang());
             platform::setClock(std::make_shared<platform::ScaledClock>(0.001));
         },
         {}, "old aig", "old dbase", "", "", {failedVersions}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        UpdateWorld w;
        row.setup(w);
        checkForUpdates();
        platform::setClock(nullptr);
        EXPECT_EQ(w.dataRequests(), row.requested);
        EXPECT_EQ(readAll(w.program("input/AIG-regcodes.enc")), fileFor(row.aig));
        EXPECT_EQ(readAll(w.program("input/dbase.enc")), fileFor(row.dbase));
        EXPECT_EQ(w.saved("AIG_VERSION"), row.savedAig);
        EXPECT_EQ(w.saved("DBASE_VERSION"), row.savedDbase);
        EXPECT_FALSE(w.anyPartFile());
        const std::string log = w.log();
        for (const auto& part : row.logged) EXPECT_NE(log.find(part), std::string::npos) << part << "\n" << log;
        for (const auto& part : row.notLogged) EXPECT_EQ(log.find(part), std::string::npos) << part << "\n" << log;
        for (const auto& r : w.server.requests()) EXPECT_EQ(r.headers.at("user-agent"), "VRMT");
    }
}

// Closing the program while a data file comes ends the transfer; nothing changes.
TEST(UpdateCheck, ClosingEndsATransferAndKeepsTheOldFile)
{
    UpdateWorld w;
    writeAll(w.site("versions.json"), versionsText("1.0.0", "1.1.0"));
    w.server.push("/downloads/dbase.enc", Reply::hang());
    std::thread closer([&] {
        if (w.server.waitForRequests("/downloads/dbase.enc", 1)) closingFlag = true;
    });
    checkForUpdates();
    closer.join();
    EXPECT_EQ(readAll(w.program("input/dbase.enc")), "old dbase");
    EXPECT_EQ(w.saved("DBASE_VERSION"), "");
    EXPECT_FALSE(w.anyPartFile());
}

}  // namespace
