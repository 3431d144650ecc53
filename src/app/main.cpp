#include <cstdio>
#include <cstring>
#include <exception>

#include "core/fmt.h"
#include "core/install_lookup.h"
#include "core/log.h"
#include "core/time.h"

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::puts(vr::format("Vormeth {}", versionToString(programVersion)).c_str());
        return 0;
    }
    try {
        gf_openLog();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vormeth: %s\n", e.what());
        return 1;
    }
    for (int version : {5, 6}) {
        if (!isP3DInstalled(version)) continue;
        const auto path = getP3DSetupPath(version);
        logLine(vr::format("Prepar3D v{} installed at '{}'", version, path.empty() ? "?" : path.string()));
    }
    return 0;
}
