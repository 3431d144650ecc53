#include "platform/fatal_signals.h"

#include <signal.h>
#include <time.h>

#include <atomic>

namespace platform {
namespace {

std::atomic<FatalSignalHook> lf_hook{nullptr};
std::atomic<bool> lf_ran{false};

void lf_onFatalSignal(int sig)
{
    const FatalSignalHook hook = lf_hook.load();
    if (hook && !lf_ran.exchange(true)) hook();
    // SA_RESETHAND restored the default action: raised again, it ends the process.
    ::raise(sig);
}

}  // namespace

void installFatalSignalHook(FatalSignalHook hook)
{
    lf_hook = hook;
    struct sigaction sa {};
    sa.sa_handler = lf_onFatalSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESETHAND | SA_NODEFER;
    for (const int sig : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) ::sigaction(sig, &sa, nullptr);
}

void fatalPause()
{
    const timespec t{0, 1000000};
    ::nanosleep(&t, nullptr);
}

}  // namespace platform
