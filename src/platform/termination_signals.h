#pragma once
// SIGINT and SIGTERM as a request: no work happens in a signal handler. The
// signals are blocked in every thread (construct this before any other thread
// starts, so they inherit the mask) and one watcher thread takes them with
// sigwait and calls `onSignal` there. The destructor ends and joins the watcher.

#include <functional>
#include <thread>

namespace platform {

class TerminationSignals {
public:
    explicit TerminationSignals(std::function<void()> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

private:
    std::function<void()> onSignal_;
    std::thread watcher_;
};

}  // namespace platform
