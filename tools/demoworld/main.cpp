// vrmt-demoworld: builds the demo world from its text sources, or writes the
// registry file that names a prepared world's simulator installation.

#include <cstdio>
#include <cstring>
#include <exception>

#include "demo_world.h"

int main(int argc, char** argv)
{
    try {
        if (argc == 4 && std::strcmp(argv[1], "--registry") == 0) {
            demo::writeRegistryFile(argv[2], argv[3]);
            return 0;
        }
        if (argc == 4 && argv[1][0] != '-') {
            demo::buildDemoWorld(argv[1], argv[2], argv[3]);
            return 0;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vrmt-demoworld: %s\n", e.what());
        return 1;
    }
    std::puts(
        "usage: vrmt-demoworld SOURCES DATA_SOURCES OUT   builds the demo world (demo/ and the\n"
        "                                                 data files' XML) into OUT\n"
        "       vrmt-demoworld --registry FILE INSTALL    writes the .reg file naming INSTALL");
    return argc == 2 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
}
