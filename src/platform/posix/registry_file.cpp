#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "platform/registry.h"

namespace platform {

// No registry here: the keys the program reads come from a .reg file named by
// VRMT_REGISTRY_FILE (for example a regedit export from a Windows machine).
std::unique_ptr<Registry> makeSystemRegistry()
{
    auto reg = std::make_unique<MemoryRegistry>();
    const char* file = std::getenv("VRMT_REGISTRY_FILE");
    if (file == nullptr || *file == '\0') {
        return reg;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return reg;  // no file: nothing is installed
    }
    const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        std::fprintf(stderr, "VRMT_REGISTRY_FILE %s: cannot be read\n", file);
        return reg;
    }
    // The log belongs to a layer above this one; a broken stand-in file is a
    // set-up error worth telling at once.
    for (const auto& problem : parseRegFileBytes(bytes, *reg)) {
        std::fprintf(stderr, "VRMT_REGISTRY_FILE %s: %s\n", file, problem.c_str());
    }
    return reg;
}

}  // namespace platform
