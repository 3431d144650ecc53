// vrmt-motiontrace: prints one motion scene flown by the traffic engine as CSV,
// one line a tick (or every N ticks): tick, phase, position, altitude,
// attitude in degrees, speed, vertical speed, flare stage, on the ground. Or
// judges it: the motion judge's worst figure per property, from what the
// simulator was handed. Or judges a recorded position stream (the simulator
// stand-in's --record file).
//
//     vrmt-motiontrace landing > landing.csv
//     vrmt-motiontrace --judge pushback
//     vrmt-motiontrace --judge-file streams.csv [--feed streams.csv.feed]

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "core/geodesy.h"
#include "motion_scenes.h"

namespace {

void lf_usage(std::FILE* to)
{
    std::fputs("usage: vrmt-motiontrace SCENE [--ticks N] [--every N]\n"
               "       vrmt-motiontrace --judge SCENE|all [--record FILE]\n"
               "       vrmt-motiontrace --judge-file FILE [--feed FEED] [--spacing S] [--asserted RUN] [--needs-ground]\n"
               "       vrmt-motiontrace --list\n"
               "Flies one live aircraft through SCENE on the engine's 10 ms tick over a flat ground and\n"
               "prints a CSV line per tick. --judge prints the motion judge's worst figure per property of\n"
               "what the simulator was handed (and --record writes those position streams as CSV);\n"
               "--judge-file judges streams recorded before (vrmt-simstandin --record), against the feed\n"
               "served (vrmt-servicestandin --record FEED; by default FILE.feed when there is one) for\n"
               "the lag and the altitude served. The exit status\n"
               "of a judge is 1 when a property is out of its bound. Scenes:\n",
               to);
    for (const MotionScene& s : motionScenes()) std::fprintf(to, "  %-13s %s\n", s.name.c_str(), s.what.c_str());
    std::fputs("--ticks N   at most N ticks (default 40000)\n--every N   print every Nth tick (default 1)\n"
               "--spacing S the least time between creations a judged file may show (default 0.5 s; a run\n"
               "            the simulator stand-in recorded: 0.466, as it stamps a creation at its 33 ms frame)\n"
               "--asserted RUN  the exit status by the properties asserted for RUN (scenes, e2e, demo): all\n"
               "            but those the judge lists as not asserted yet there (printed)\n"
               "--needs-ground  fail also unless a departure from the ground, a landing the feed brought to\n"
               "            a stop and a push-back were judged\n",
               to);
}

int lf_judgeScenes(const std::string& which, const std::string& recordTo)
{
    bool pass = true;
    std::vector<motionjudge::Stream> all;
    std::vector<double> created;
    for (const std::string& name : motionSceneNames()) {
        if (which != "all" && which != name) continue;
        SceneRecord r;
        const motionjudge::Verdict v = judgeMotionScene(name, &r);
        std::fputs(v.table(name).c_str(), stdout);
        pass = pass && v.pass();
        for (motionjudge::Stream& s : r.streams) {
            s.name = name + "/" + s.name;
            all.push_back(std::move(s));
        }
        created.insert(created.end(), r.creations.begin(), r.creations.end());
    }
    if (!recordTo.empty()) {
        std::ofstream out(recordTo, std::ios::binary);
        out << motionjudge::streamsCsv(all, created);
        if (!out) {
            std::fprintf(stderr, "could not write %s\n", recordTo.c_str());
            return 2;
        }
    }
    return pass ? 0 : 1;
}

bool lf_read(const std::string& path, std::string& text)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::stringstream all;
    all << in.rdbuf();
    text += all.str();
    text += "\n";
    return true;
}

// The recording, with the feed served beside it (FILE.feed when no --feed is given and it exists).
// What a judged file must show to pass: every property (run empty) or those
// asserted for the run, and with needGround a departure from the ground, a
// landing to a stop and a push-back among its aircraft.
struct Asserted {
    std::string run;
    bool needGround = false;
};

int lf_judgeFile(const std::string& path, std::string feed, const motionjudge::Bounds& bounds, const Asserted& asserted)
{
    std::string text;
    if (!lf_read(path, text)) {
        std::fprintf(stderr, "could not read %s\n", path.c_str());
        return 2;
    }
    if (feed.empty() && std::ifstream(path + ".feed")) feed = path + ".feed";
    if (!feed.empty() && !lf_read(feed, text)) {
        std::fprintf(stderr, "could not read %s\n", feed.c_str());
        return 2;
    }
    std::vector<motionjudge::Stream> streams;
    std::vector<double> created;
    std::string error;
    if (!motionjudge::parseStreamsCsv(text, streams, created, &error)) {
        std::fprintf(stderr, "%s: %s\n", path.c_str(), error.c_str());
        return 2;
    }
    const motionjudge::Verdict v = motionjudge::judgeAll(streams, created, bounds);
    const std::string title = path + " (" + std::to_string(streams.size()) + " objects" +
                              (feed.empty() ? ", no feed" : ", the feed: " + feed) + ")";
    std::fputs(v.table(title).c_str(), stdout);
    bool pass = v.pass();
    if (!asserted.run.empty()) {
        const std::string failed = v.assertedFailures(asserted.run);
        std::printf("asserted for the %s run: %s\n", asserted.run.c_str(),
                    failed.empty() ? "pass" : ("FAIL (" + failed + ")").c_str());
        for (const motionjudge::PendingCheck& c : motionjudge::notYetAsserted)
            if (std::find(c.runs.begin(), c.runs.end(), asserted.run) != c.runs.end())
                std::printf("  not asserted yet: %-9s (%s)\n", c.property, c.fault);
        pass = failed.empty();
    }
    if (asserted.needGround && (v.groundDepartures == 0 || v.landingsServedToAStop == 0 || v.pushBacks == 0)) {
        std::printf("the run judged too little on the ground: a departure, a landing to a stop and a push-back "
                    "were needed\n");
        pass = false;
    }
    return pass ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    std::string scene, judge, judgeFile, recordTo, feed;
    Asserted asserted;
    motionjudge::Bounds bounds;
    long ticks = 40000;
    long every = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--help" || a == "-h") {
            lf_usage(stdout);
            return 0;
        }
        if (a == "--list") {
            for (const MotionScene& s : motionScenes()) std::printf("%-13s %s\n", s.name.c_str(), s.what.c_str());
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
        } else if (a == "--spacing" && i + 1 < argc) {
            char* end = nullptr;
            const double v = std::strtod(argv[++i], &end);
            if (end == argv[i] || *end != '\0' || !(v >= 0.0 && v <= 60.0)) {
                std::fprintf(stderr, "--spacing needs seconds from 0 to 60\n");
                return 2;
            }
            bounds.spacingS = v;
        } else if (a == "--asserted" && i + 1 < argc) {
            asserted.run = argv[++i];
        } else if (a == "--needs-ground") {
            asserted.needGround = true;
        } else if ((a == "--judge" || a == "--judge-file" || a == "--record" || a == "--feed") && i + 1 < argc) {
            (a == "--judge" ? judge : a == "--record" ? recordTo : a == "--feed" ? feed : judgeFile) = argv[++i];
        } else if (scene.empty() && !a.empty() && a[0] != '-') {
            scene = a;
        } else {
            lf_usage(stderr);
            return 2;
        }
    }
    if (!judgeFile.empty()) return lf_judgeFile(judgeFile, feed, bounds, asserted);
    const auto names = motionSceneNames();
    if (!judge.empty()) {
        if (judge != "all" && std::find(names.begin(), names.end(), judge) == names.end()) {
            std::fprintf(stderr, "unknown scene \"%s\"\n", judge.c_str());
            lf_usage(stderr);
            return 2;
        }
        return lf_judgeScenes(judge, recordTo);
    }
    if (scene.empty()) {
        lf_usage(stderr);
        return 2;
    }
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
