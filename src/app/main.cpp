#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <exception>

#include "core/fmt.h"
#include "core/log.h"
#include "core/time.h"
#include "platform/instance_lock.h"
#include "platform/termination_signals.h"
#include "shell/app_frame.h"
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
    // --status-every N: a status line on standard output every N seconds.
    std::unique_ptr<StatusReport> report;
    if (argc > 2 && std::strcmp(argv[1], "--status-every") == 0 && std::atoi(argv[2]) > 0)
        report = std::make_unique<StatusReport>(std::chrono::seconds(std::atoi(argv[2])));
    return appMain();
}
