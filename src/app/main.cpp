#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <chrono>
#include <exception>
#include <memory>

#include "core/fmt.h"
#include "core/log.h"
#include "core/time.h"
#include "engine/flight_plans.h"
#include "platform/instance_lock.h"
#include "platform/termination_signals.h"
#include "shell/app_frame.h"
#ifdef VRMT_HAVE_FLTK
#include "platform/fltk/fltk_ui.h"
#endif
#include "status_report.h"

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
        std::puts(vr::format("Vormeth {}", versionToString(programVersion)).c_str());
        return 0;
    }
    // First, before any thread: Ctrl-C and SIGTERM become a close of the window.
    const platform::TerminationSignals signals([] { requestWindowClose(); });
    // One program per user; a second one ends at once, before the log.
    const auto instance = platform::InstanceLock::acquire();
    if (!instance) return -1;
    try {
        gf_openLog();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "vormeth: %s\n", e.what());
        return 1;
    }
    // Lines are written by a writer thread from here on: no caller waits on the disk.
    startLogWriter();
    // Flight-plan files too are written by a thread of their own, off the worker's tick.
    startFlightPlanWriter();
    // --headless: no window even when a display is there.
    // --status-every N: a status line on standard output every N seconds.
    bool headless = false;
    std::unique_ptr<StatusReport> report;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--headless") == 0) headless = true;
        if (std::strcmp(argv[i], "--status-every") == 0 && i + 1 < argc && std::atoi(argv[i + 1]) > 0)
            report = std::make_unique<StatusReport>(std::chrono::seconds(std::atoi(argv[++i])));
    }
#ifdef VRMT_HAVE_FLTK
    const bool onScreen = !headless && ui::fltk::start();
#else
    (void)headless;
    const bool onScreen = false;
#endif
    const int code = appMain();
#ifdef VRMT_HAVE_FLTK
    if (onScreen) ui::fltk::stop();
#else
    (void)onScreen;
#endif
    stopLogWriter();  // every line on disk; threads still running log directly
    return code;
}
