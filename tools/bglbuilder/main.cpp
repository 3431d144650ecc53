// vrmt-bglbuild: writes a fake Prepar3D v5 installation with compiled airport
// scenery files into a folder, and tells how to point the program at it.

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

#include "bglbuilder/bgl_builder.h"
#include "bglbuilder/fake_installation.h"

namespace {

// A few small files for the fuzz target's corpus.
int lf_writeSeeds(const std::filesystem::path& folder)
{
    using namespace bglb;
    std::filesystem::create_directories(folder);
    auto withCodes = sampleAirport("EHAM", 4, true);
    Section two;
    two.subsections.push_back({{sampleAirport("EGLL", 2, false), OtherRecord{}}});
    two.subsections.push_back({{sampleAirport("EGKK", 2, true)}});
    const bool ok = sampleFile({sampleAirport("KSFO", 3, false)}).write(folder / "airport_3c.bgl") &&
                    sampleFile({withCodes}).write(folder / "airport_ab.bgl") &&
                    BglBuilder().otherSection(0x65, 32).section(two).build().write(folder / "two_subsections.bgl") &&
                    sceneryWithoutAirport(64).write(folder / "no_airport.bgl");
    return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--seeds") == 0) return lf_writeSeeds(argv[2]);
    const bool utf16 = argc == 3 && std::strcmp(argv[1], "--utf16") == 0;
    if ((argc != 2 && !utf16) || std::strcmp(argv[argc - 1], "--help") == 0) {
        std::puts(
            "usage: vrmt-bglbuild [--utf16] <folder>\n"
            "       vrmt-bglbuild --seeds <folder>   (a few small BGL files)\n"
            "Writes a fake Prepar3D v5 installation (scenery.cfg, scenery_add-ons.xml, a .reg file,\n"
            "stock and add-on BGL files) below <folder>; --utf16 writes scenery.cfg in UTF-16LE.");
        return argc == 2 ? 0 : 2;
    }
    try {
        const auto f = bglb::writeFakeInstallation(std::filesystem::absolute(argv[argc - 1]), {utf16});
        std::printf(
            "Fake installation written to %s\n"
            "  export VRMT_PROGRAMDATA='%s'\n"
            "  export VRMT_DRIVE_ROOT='%s'\n"
            "  export VRMT_REGISTRY_FILE='%s'\n"
            "  cd '%s'\n",
            f.root.c_str(), f.programData.c_str(), f.driveRoot.c_str(), f.registryFile.c_str(),
            f.programFolder.c_str());
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vrmt-bglbuild: %s\n", e.what());
        return 1;
    }
}
