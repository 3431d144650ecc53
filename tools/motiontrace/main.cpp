// vrmt-motiontrace: prints one motion scene flown by the traffic engine as CSV,
// one line a tick (or every N ticks): tick, phase, position, altitude,
// attitude in degrees, speed, vertical speed, flare stage, on the ground.
//
//     vrmt-motiontrace landing > landing.csv

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/geodesy.h"
#include "motion_scenes.h"

namespace {

void lf_usage(std::FILE* to)
{
    std::fputs("usage: vrmt-motiontrace SCENE [--ticks N] [--every N]\n"
               "Flies one live aircraft through SCENE on the engine's 10 ms tick over a flat ground and\n"
               "prints a CSV line per tick. Scenes:",
               to);
    for (const std::string& s : motionSceneNames()) std::fprintf(to, " %s", s.c_str());
    std::fputs("\n--ticks N   at most N ticks (default 40000)\n--every N   print every Nth tick (default 1)\n", to);
}

}  // namespace

int main(int argc, char** argv)
{
    std::string scene;
    long ticks = 40000;
    long every = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            lf_usage(stdout);
            return 0;
        }
        if ((a == "--ticks" || a == "--every") && i + 1 < argc) {
            char* end = nullptr;
            const long v = std::strtol(argv[++i], &end, 10);
            if (end == argv[i] || *end != '\0' || v < 1 || v > 10'000'000) {
                std::fprintf(stderr, "%s needs a whole number from 1 to 10000000\n", a.c_str());
                return 2;
            }
            (a == "--ticks" ? ticks : every) = v;
        } else if (scene.empty() && !a.empty() && a[0] != '-') {
            scene = a;
        } else {
            lf_usage(stderr);
            return 2;
        }
    }
    if (scene.empty()) {
        lf_usage(stderr);
        return 2;
    }
    const auto names = motionSceneNames();
    if (std::find(names.begin(), names.end(), scene) == names.end()) {
        std::fprintf(stderr, "unknown scene \"%s\"\n", scene.c_str());
        lf_usage(stderr);
        return 2;
    }
    std::puts("tick,phase,latitude,longitude,altitude_ft,heading_deg,pitch_deg,bank_deg,speed_kt,vs_ftps,flare,ground");
    runMotionScene(scene, static_cast<std::int32_t>(ticks), [every](std::int32_t t, const LiveAc& ac) {
        if (t % every != 0) return;
        const AcPositionBlock& b = ac.posBlock;
        std::printf("%d,%s,%.7f,%.7f,%.1f,%.2f,%.3f,%.3f,%.1f,%.2f,%u,%d\n", t, std::string(acPhaseText(ac.phase)).c_str(),
                    b.latitude, b.longitude, b.altitude, b.heading * geo::radToDeg, b.pitch * geo::radToDeg,
                    b.bank * geo::radToDeg, b.trueAirspeed, b.verticalSpeed, ac.flareStage, ac.groundReplySeen ? 1 : 0);
    });
    return 0;
}
