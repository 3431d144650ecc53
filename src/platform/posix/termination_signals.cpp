#include "platform/termination_signals.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>

#include "platform/thread_name.h"

namespace platform {
namespace {

sigset_t lf_watchedSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGUSR2);  // the destructor's wake-up
    return set;
}

std::atomic<bool> lf_ending{false};

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal) : onSignal_(std::move(onSignal))
{
    lf_ending = false;
    const sigset_t set = lf_watchedSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    watcher_ = std::thread([this] {
        nameThisThread("vrmt-signals");
        const sigset_t watched = lf_watchedSignals();
        for (;;) {
            int signal = 0;
            if (sigwait(&watched, &signal) != 0) continue;
            if (lf_ending.load()) return;
            if (signal == SIGINT || signal == SIGTERM) onSignal_();
        }
    });
}

TerminationSignals::~TerminationSignals()
{
    lf_ending = true;
    pthread_kill(watcher_.native_handle(), SIGUSR2);
    watcher_.join();
}

}  // namespace platform
