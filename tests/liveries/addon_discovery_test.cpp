#include "liveries/addon_discovery.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/errors.h"
#include "core/options.h"
#include "liveries/support/dbase_fixture.h"
#include "platform/fs_path.h"

namespace {

namespace fs = std::filesystem;

std::string joinLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    return text;
}

// AppData, ProgramData and a v5 installation inside the working folder.
class AddOnDiscovery : public ::testing::Test {
protected:
    AddOnDiscovery()
    {
        setenv("VRMT_APPDATA", (folder_ / "appdata").c_str(), 1);
        setenv("VRMT_PROGRAMDATA", (folder_ / "programdata").c_str(), 1);
        SIM_INSTALL_PATH.set(platform::pathText(install_));
    }
    ~AddOnDiscovery() override
    {
        unsetenv("VRMT_APPDATA");
        unsetenv("VRMT_PROGRAMDATA");
        SIM_INSTALL_PATH.reset();
        P3D_VERSION.reset();
        platform::setDriveRoot({});
    }

    fs::path addOnsCfg() const { return folder_ / "appdata" / "Lockheed Martin" / "Prepar3D v5" / "add-ons.cfg"; }
    fs::path simObjectsCfg() const
    {
        return folder_ / "programdata" / "Lockheed Martin" / "Prepar3D v5" / "simobjects.cfg";
    }
    static void write(const fs::path& p, const std::vector<std::string>& lines)
    {
        fs::create_directories(p.parent_path());
        writeWholeFile(p, joinLines(lines));
    }
    // A package folder with an add-on.xml whose lines are given; `<pkg>` in
    // them stands for the package folder.
    fs::path package(const std::string& name, std::vector<std::string> xml) const
    {
        const fs::path dir = folder_ / name;
        for (auto& line : xml) {
            for (std::size_t at; (at = line.find("<pkg>")) != std::string::npos;) line.replace(at, 5, platform::pathText(dir));
        }
        write(dir / "add-on.xml", xml);
        return dir;
    }
    static std::vector<std::string> texts(const std::vector<fs::path>& paths)
    {
        std::vector<std::string> out;
        for (const auto& p : paths) out.push_back(platform::pathText(p));
        return out;
    }

    WorkingFolder folder_;
    fs::path install_ = folder_ / "Prepar3D v5";
};

std::vector<std::string> componentXml(const std::string& path)
{
    return {"<SimBase.Document Type=\"AddOnXml\" version=\"4,5\">", "<AddOn.Name>Pkg</AddOn.Name>", "<AddOn.Component>",
            "  <Category>SimObjects</Category>", "  <Path>" + path + "</Path>", "</AddOn.Component>",
            "</SimBase.Document>"};
}

TEST_F(AddOnDiscovery, AddOnsCfg)
{
    struct Row {
        const char* name;
        std::vector<std::string> cfg;  // "<A>" and "<B>" stand for two package folders
        std::vector<std::string> xmlA;
        std::vector<std::string> found;  // with <A>, <B> as above
    };
    const Row rows[] = {
        {"one package", {"[Package.0]", "PATH=<A>", "TITLE=Pkg A", "ACTIVE=TRUE", "REQUIRED=FALSE"},
         componentXml("<pkg>/SimObjects/AI"), {"<A>/SimObjects/AI"}},
        {"a relative path is taken under the package", {"[Package.0]", "PATH=<A>"}, componentXml("SimObjects\\AI"),
         {"<A>/SimObjects/AI"}},
        {"a lower-case section starts nothing", {"[package.0]", "PATH=<A>"}, componentXml("<pkg>/AI"), {}},
        {"lines before the first section are ignored", {"PATH=<A>", "[Package.0]"}, componentXml("<pkg>/AI"), {}},
        {"a Required line is never a path", {"[Package.0]", "Required Path=<A>"}, componentXml("<pkg>/AI"), {}},
        {"two packages", {"[Package.0]", "PATH=<A>", "[Package.1]", "Path=<B>"}, componentXml("<pkg>/AI"),
         {"<A>/AI", "<B>/AI"}},
        {"a path two lines after the category is missed", {"[Package.0]", "PATH=<A>"},
         {"<Category>SimObjects</Category>", "<Name>x</Name>", "<Path><pkg>/AI</Path>"}, {}},
        {"the one-line component yields nothing", {"[Package.0]", "PATH=<A>"},
         {"<Category>SimObjects</Category><Path><pkg>/AI</Path>"}, {}},
        {"Lights Reborn is left out", {"[Package.0]", "PATH=<A>"}, componentXml("<pkg>/Lights Reborn/AI"), {}},
        {"a package without add-on.xml", {"[Package.0]", "PATH=<A>/none"}, componentXml("<pkg>/AI"), {}},
        {"any line holding Path counts", {"[Package.0]", "TITLE=My Path Pack", "PATH=<A>"}, componentXml("<pkg>/AI"),
         {"<A>/AI"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path a = package("pkgA", row.xmlA);
        const fs::path b = package("pkgB", componentXml("<pkg>/AI"));
        const auto fill = [&](std::string text) {
            for (const auto& [mark, dir] : {std::pair{std::string("<A>"), a}, std::pair{std::string("<B>"), b}}) {
                for (std::size_t at; (at = text.find(mark)) != std::string::npos;) {
                    text.replace(at, mark.size(), platform::pathText(dir));
                }
            }
            return text;
        };
        std::vector<std::string> cfg;
        for (const auto& line : row.cfg) cfg.push_back(fill(line));
        write(addOnsCfg(), cfg);
        std::vector<fs::path> folders{"/kept"};
        lf_readP3DAddOnsAircraft(folders);
        std::vector<std::string> expected{"/kept"};
        for (const auto& f : row.found) expected.push_back(fill(f));
        EXPECT_EQ(texts(folders), expected);
        fs::remove_all(a);
        fs::remove_all(b);
    }
}

TEST_F(AddOnDiscovery, AddOnsCfgFailuresAddNothing)
{
    std::vector<fs::path> folders;
    lf_readP3DAddOnsAircraft(folders);  // no add-ons.cfg
    EXPECT_TRUE(folders.empty());
    EXPECT_NE(std::find(folder_.logLines().begin(), folder_.logLines().end(),
                        platform::pathText(addOnsCfg()) + " not found!"),
              folder_.logLines().end());

    // An install path naming neither version (and no version option): a warning, nothing added.
    const fs::path a = package("pkgA", componentXml("<pkg>/AI"));
    write(addOnsCfg(), {"[Package.0]", "PATH=" + platform::pathText(a)});
    SIM_INSTALL_PATH.set(platform::pathText(folder_ / "Prepar3D"));
    P3D_VERSION.set(0);
    lf_readP3DAddOnsAircraft(folders);
    EXPECT_TRUE(folders.empty());
    const auto log = folder_.logLines();
    EXPECT_TRUE(log.back().starts_with("===> sys error exception 77: ")) << log.back();
    EXPECT_THROW(lf_readP3DSimObjectsCfg(folders), qxv::UserErrorException);
}

TEST_F(AddOnDiscovery, SimObjectsCfg)
{
    struct Row {
        const char* name;
        std::vector<std::string> cfg;
        std::vector<std::string> found;  // "<install>" stands for the installation folder
    };
    const Row rows[] = {
        {"the three kinds of path",
         {"[Entry.0]", "Title=Default Airplanes", "Path=SimObjects\\Airplanes", "Required=False", "[Entry.1]",
          "Path=SimObjects\\AI Traffic", "[Entry.2]", "Path=/data/AI/Simobjects2"},
         {"<install>/SimObjects/AI Traffic", "/data/AI/Simobjects2"}},
        {"a drive path without the exact word", {"[Entry.0]", "PATH=D:\\AI\\Simobjects2"}, {"<root>/D/AI/Simobjects2"}},
        {"every default category is left out",
         {"[Entry.0]", "Path=SimObjects\\Avatars", "Path=SimObjects\\Rotorcraft", "Path=SimObjects\\GroundVehicles",
          "Path=SimObjects\\Boats", "Path=SimObjects\\Animals", "Path=SimObjects\\Misc", "Path=SimObjects\\Submersible",
          "Path=SimObjects\\Weapons", "Path=SimObjects\\Countermeasures"},
         {}},
        {"title lines are dropped", {"[Entry.0]", "Title=Path=SimObjects\\AI"}, {}},
        {"lines before the first entry are ignored", {"Path=SimObjects\\AI", "[ENTRY.0]", "path=/x"}, {"/x"}},
        {"an empty value adds nothing", {"[Entry.0]", "Path="}, {}},
    };
    platform::setDriveRoot(folder_ / "drives");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        write(simObjectsCfg(), row.cfg);
        std::vector<fs::path> folders;
        lf_readP3DSimObjectsCfg(folders);
        std::vector<std::string> expected;
        for (std::string f : row.found) {
            for (const auto& [mark, dir] : {std::pair{std::string("<install>"), install_},
                                            std::pair{std::string("<root>"), folder_ / "drives"}}) {
                if (f.starts_with(mark)) f = platform::pathText(dir) + f.substr(mark.size());
            }
            expected.push_back(f);
        }
        EXPECT_EQ(texts(folders), expected);
    }
    platform::setDriveRoot({});
    fs::remove(simObjectsCfg());
    std::vector<fs::path> folders;
    lf_readP3DSimObjectsCfg(folders);  // no file: nothing, silently
    EXPECT_TRUE(folders.empty());
}

}  // namespace
