// vrmt-bglbuild: writes a fake Prepar3D v5 installation with compiled airport
// scenery files into a folder, and tells how to point the program at it.

#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>

#include "bglbuilder/fake_installation.h"

int main(int argc, char** argv)
{
    const bool utf16 = argc == 3 && std::strcmp(argv[1], "--utf16") == 0;
    if ((argc != 2 && !utf16) || std::strcmp(argv[argc - 1], "--help") == 0) {
        std::puts(
            "usage: vrmt-bglbuild [--utf16] <folder>\n"
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
