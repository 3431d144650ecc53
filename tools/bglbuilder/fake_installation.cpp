#include "bglbuilder/fake_installation.h"

#include <fstream>

#include "bglbuilder/bgl_builder.h"

namespace bglb {

namespace {

namespace fs = std::filesystem;

void lf_write(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void lf_bgl(const fs::path& path, const std::vector<Airport>& airports)
{
    sampleFile(airports).write(path);
}

std::string lf_utf16le(const std::string& ascii)
{
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

// Each area: "[Area.nnn]" and its lines; CRLF line ends as the simulator writes them.
std::string lf_sceneryCfg()
{
    const char* areas[][4] = {
        // title, local, active, layer
        {"Default Terrain", "Scenery\\World", "TRUE", "1"},
        {"Default Scenery", "Scenery\\0106", "TRUE", "2"},
        {"Inactive Airport", "D:\\Scenery\\Inactive", "FALSE", "3"},
        {"Bay Area", "D:\\Scenery\\Bay Area\\FlyTampa KSFO", "TRUE", "4"},
        {"FlyTampa Amsterdam", "Addon Scenery\\FlyTampa EHAM", "TRUE", "5"},
        {"ORBX London City", "D:\\Scenery\\ORBX\\EGLC", "TRUE", "6"},
        {"Missing Scenery", "D:\\Scenery\\Missing", "TRUE", "7"},
        {"Unknown Publisher", "D:\\Scenery\\Unknown Pub", "TRUE", "8"},
    };
    std::string text =
        "[General]\r\nTitle=Prepar3D Scenery\r\nDescription=Prepar3D Scenery Data\r\nClean_on_Exit=TRUE\r\n\r\n";
    int n = 1;
    for (const auto& a : areas) {
        char head[32];
        std::snprintf(head, sizeof head, "[Area.%03d]\r\n", n++);
        text += head;
        text += std::string("Title=") + a[0] + "\r\n";
        text += std::string("Local=") + a[1] + "\r\n";
        text += std::string("Layer=") + a[3] + "\r\n";
        text += std::string("Active=") + a[2] + "\r\n";
        text += "Required=FALSE\r\n\r\n";
    }
    return text;
}

}  // namespace

FakeInstallation describeFakeInstallation(const fs::path& root)
{
    FakeInstallation f;
    f.root = root;
    f.programData = root / "ProgramData";
    f.driveRoot = root / "drives";
    f.registryFile = root / "registry.reg";
    f.programFolder = root / "program";
    f.installPath = "C:\\Program Files\\Lockheed Martin\\Prepar3D v5";
    const fs::path p3d = f.programData / "Lockheed Martin" / "Prepar3D v5";
    f.sceneryCfg = p3d / "scenery.cfg";
    f.sceneryAddOns = p3d / "scenery_add-ons.xml";
    f.publisherAliases = {{"FlyTampa", "flytampa"}, {"Some Publisher", "SomePub", "some_publisher"}};
    f.thirdPartyAirports = {{"FlyTampa", {"EHAM120", "KSFO20"}}, {"Some Publisher", {"EDDM5"}}};
    f.simAddonAirports = {"EGLC"};
    return f;
}

FakeInstallation writeFakeInstallation(const fs::path& root, const FakeInstallationOptions& options)
{
    const FakeInstallation f = describeFakeInstallation(root);

    fs::create_directories(f.programFolder);
    const std::string cfg = lf_sceneryCfg();
    lf_write(f.sceneryCfg, options.utf16SceneryCfg ? lf_utf16le(cfg) : cfg);
    lf_write(f.sceneryAddOns,
             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<SimBase.Document Type=\"SceneryAddOns\" "
             "version=\"1,0\">\r\n  <AddOn.Component>\r\n    <Category>Scenery</Category>\r\n"
             "    <Path>D:\\Addons\\SomePub EDDM</Path>\r\n    <Name>EDDM</Name>\r\n"
             "  </AddOn.Component>\r\n</SimBase.Document>\r\n");
    lf_write(f.registryFile,
             "Windows Registry Editor Version 5.00\r\n\r\n"
             "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Lockheed Martin\\Prepar3D v5]\r\n"
             "\"SetupPath\"=\"C:\\\\Program Files\\\\Lockheed Martin\\\\Prepar3D v5\\\\\"\r\n");

    const fs::path c = f.driveRoot / "C" / "Program Files" / "Lockheed Martin" / "Prepar3D v5";
    const fs::path d = f.driveRoot / "D";

    // Stock scenery: airports here are never read.
    lf_bgl(c / "Scenery" / "World" / "scenery" / "APX_WORLD.BGL", {sampleAirport("KJFK", 5, false)});
    lf_bgl(c / "Scenery" / "0106" / "scenery" / "APX41060.bgl", {sampleAirport("KBOS", 5, false)});
    // Added relative to the install folder; one file with "statics" in its path.
    lf_bgl(c / "Addon Scenery" / "FlyTampa EHAM" / "scenery" / "EHAM_FT.bgl",
           {sampleAirport("EHAM", 30, true, 52.3086, 4.7639)});
    lf_bgl(c / "Addon Scenery" / "FlyTampa EHAM" / "scenery" / "statics" / "EHAM_PAX.bgl",
           {sampleAirport("EHAX", 3, true)});
    sceneryWithoutAirport().write(c / "Addon Scenery" / "FlyTampa EHAM" / "scenery" / "EHAM_GROUND.bgl");
    // Inactive, under a title with "Bay Area", ORBX, missing, unknown publisher.
    lf_bgl(d / "Scenery" / "Inactive" / "scenery" / "LFPG.bgl", {sampleAirport("LFPG", 8, false)});
    lf_bgl(d / "Scenery" / "Bay Area" / "FlyTampa KSFO" / "scenery" / "KSFO_FT.BGL",
           {sampleAirport("KSFO", 25, true, 37.6189, -122.375)});
    lf_bgl(d / "Scenery" / "ORBX" / "EGLC" / "scenery" / "ADE_EGLC.bgl",
           {sampleAirport("EGLC", 12, false, 51.5053, 0.0553), sampleAirport("EGKB", 6, false, 51.3308, 0.0325)});
    lf_bgl(d / "Scenery" / "ORBX" / "EGLC" / "scenery" / "_heliports" / "H_LONDON.bgl",
           {sampleAirport("EGLW", 1, false)});
    lf_bgl(d / "Scenery" / "Unknown Pub" / "scenery" / "LOWW_AD.bgl",
           {sampleAirport("LOWW", 9, false, 48.1103, 16.5697)});
    lf_bgl(d / "Scenery" / "Unknown Pub" / "scenery" / "LOWI_AD.Bgl", {sampleAirport("LOWI", 4, false)});
    sceneryWithoutAirport(1024).write(d / "Scenery" / "Unknown Pub" / "scenery" / "MESH.bgl");
    // From scenery_add-ons.xml: one airport in two files; the later one in walk order wins.
    lf_bgl(d / "Addons" / "SomePub EDDM" / "scenery" / "EDDM_A.bgl",
           {sampleAirport("EDDM", 10, true, 48.3538, 11.7861)});
    lf_bgl(d / "Addons" / "SomePub EDDM" / "scenery" / "EDDM_B.bgl",
           {sampleAirport("EDDM", 12, true, 48.3538, 11.7861)});
    return f;
}

}  // namespace bglb
