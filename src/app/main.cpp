#include <cstdio>
#include <exception>
#include <memory>
#include <string>

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
#include "command_line.h"
#include "status_report.h"

int main(int argc, char** argv)
{
    // The command line first: asking for the usage or a wrong option starts nothing.
    const CommandLine line = parseCommandLine(argc, argv);
    switch (line.action) {
    case CommandLine::Action::help: std::fputs(usageText(), stdout); return 0;
    case CommandLine::Action::version:
        std::puts(vr::format("Vormeth {}", versionToString(programVersion)).c_str());
        return 0;
    case CommandLine::Action::refuse:
        std::fprintf(stderr, "vormeth: %s\n%s", line.problem.c_str(), usageText());
        return 2;
    case CommandLine::Action::run: break;
    }
    // First, before any thread: Ctrl-C and SIGTERM become a close of the window.
    const platform::TerminationSignals signals([] { requestWindowClose(); });
    // One program per user; a second one ends at once, before the log, saying why.
    std::string lockProblem;
    const auto instance = platform::InstanceLock::acquire(platform::InstanceLock::defaultLockFolder(), &lockProblem);
    if (!instance) {
        if (lockProblem.empty())
            std::fputs("vormeth is already running\n", stderr);
        else
            std::fprintf(stderr, "vormeth: %s\n", lockProblem.c_str());
        return -1;
    }
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
    std::unique_ptr<StatusReport> report;
    if (line.statusEvery) report = std::make_unique<StatusReport>(*line.statusEvery);
#ifdef VRMT_HAVE_FLTK
    const bool onScreen = !line.headless && ui::fltk::start();
#else
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
