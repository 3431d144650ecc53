#include <cstdio>
#include <cstring>
#include <exception>

#include "core/fmt.h"
#include "core/log.h"
#include "core/time.h"
#include "platform/instance_lock.h"
#include "platform/termination_signals.h"
#include "shell/app_frame.h"
#ifdef VRMT_HAVE_FLTK
#include "platform/fltk/fltk_ui.h"
#endif

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
    // A real window when a display is there (not with --headless), else the headless one.
    bool headless = false;
    for (int i = 1; i < argc; ++i) headless = headless || std::strcmp(argv[i], "--headless") == 0;
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
    return code;
}
