#include "platform/io_thread.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "platform/thread_name.h"

namespace platform {

namespace {
std::atomic<std::uint64_t> lf_socketReads{0};
}  // namespace

IoCloseCode ioCloseCode(IoEnd end)
{
    switch (end) {
    case IoEnd::EndOfStream: return {4, 0xC000013Eu};
    case IoEnd::RemoteDisconnect: return {5, 0xC000013Cu};
    case IoEnd::BrokenPipe: return {5, 0xC000014Bu};
    case IoEnd::Reset: return {5, 0xC000020Du};
    case IoEnd::Cancelled: return {8, 0xC0000120u};
    case IoEnd::OtherError: break;
    }
    return {9, 0xC0000001u};
}

IoEnd ioEndFromErrno(int error)
{
    switch (error) {
    case ECONNRESET: return IoEnd::Reset;
    case EPIPE: return IoEnd::BrokenPipe;
    case ECONNABORTED:
    case ENOTCONN:
    case ESHUTDOWN: return IoEnd::RemoteDisconnect;
    case ECANCELED: return IoEnd::Cancelled;
    default: return IoEnd::OtherError;
    }
}

bool ioWouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

IoThread::~IoThread()
{
    stop();
}

void IoThread::start(net::Socket socket, std::shared_ptr<IoHandler> handler)
{
    stopMode_ = 0;
    thread_ = std::thread([this, socket, h = std::move(handler)]() mutable {
        nameThisThread("vrmt-io");
        run(socket, std::move(h));
    });
}

void IoThread::wake()
{
    wake_.signal();
}

void IoThread::join()
{
    if (!thread_.joinable()) return;
    wake_.signal();
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();  // never happens by design; joining itself would deadlock
        return;
    }
    thread_.join();
}

void IoThread::stop()
{
    int expected = 0;
    stopMode_.compare_exchange_strong(expected, 1);
    join();
}

void IoThread::cancel()
{
    stopMode_ = 2;
    join();
}

std::uint64_t IoThread::socketReads()
{
    return lf_socketReads.load();
}

bool IoThread::readRun(net::Socket socket, IoHandler& handler)
{
    const auto end = [&handler](IoEnd e, int error) {
        handler.onReadsEnd();  // what came before the end is still handed on
        handler.onIoEnd(e, error);
        return false;
    };
    if (chunk_.empty()) chunk_.resize(readChunk);
    for (int reads = 0; reads < maxReadsInRun; ++reads) {
        if (handler.readSpace().empty()) return end(IoEnd::OtherError, ENOBUFS);
        int err = 0;
        const long got = net::recvSome(socket, chunk_, &err);
        ++lf_socketReads;
        if (got == 0) return end(IoEnd::EndOfStream, 0);
        if (got < 0) {
            if (!ioWouldBlock(err)) return end(ioEndFromErrno(err), err);
            break;
        }
        // Handed on in parts that fit the handler's space; a closed handler
        // (a framing fault) takes no more.
        const auto size = static_cast<std::size_t>(got);
        for (std::size_t fed = 0; fed < size && handler.ioOpen();) {
            const auto space = handler.readSpace();
            if (space.empty()) return end(IoEnd::OtherError, ENOBUFS);
            const std::size_t n = std::min(space.size(), size - fed);
            std::memcpy(space.data(), chunk_.data() + fed, n);
            handler.onRead(n);
            fed += n;
        }
        // A read that did not fill the chunk found the socket empty.
        if (size < chunk_.size() || !handler.ioOpen() || stopMode_.load() != 0) break;
    }
    handler.onReadsEnd();
    return true;
}

void IoThread::run(net::Socket socket, std::shared_ptr<IoHandler> handler)
{
    using std::chrono::steady_clock;
    steady_clock::time_point flushDeadline{};
    bool flushing = false;
    for (;;) {
        if (!handler->ioOpen()) return;
        const int mode = stopMode_.load();
        if (mode == 2) {
            if (handler->ioOpen()) handler->onIoEnd(IoEnd::Cancelled, 0);
            return;
        }
        const auto pending = handler->pendingWrite();
        int timeout = -1;
        if (mode == 1) {
            if (pending.empty()) return;
            // Bounded: a peer that stopped reading must not hold teardown.
            if (!flushing) {
                flushing = true;
                flushDeadline = steady_clock::now() + std::chrono::seconds(1);
            }
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(flushDeadline - steady_clock::now());
            if (left.count() <= 0) return;
            timeout = static_cast<int>(left.count());
        }
        if (mode == 0 && pending.empty() && handler->moreComing()) {
            // The rest of an answer is on its way: a millisecond of it is read
            // with one wake (a wake, a write to make or a stop ends the wait).
            pollfd w{wake_.fd(), POLLIN, 0};
            ::poll(&w, 1, gatherMs);
        }
        pollfd fds[2] = {{socket, static_cast<short>((mode == 0 ? POLLIN : 0) | (pending.empty() ? 0 : POLLOUT)), 0},
                         {wake_.fd(), POLLIN, 0}};
        const int n = ::poll(fds, 2, timeout);
        if (n < 0) {
            if (errno == EINTR) continue;
            handler->onIoEnd(IoEnd::OtherError, errno);
            return;
        }
        if (fds[1].revents) wake_.drain();
        // Before anything the socket says: the failed write came first (and
        // whoever made it woke this thread).
        if (const int failed = handler->failedWrite(); failed != 0) {
            if (mode == 0) handler->onIoEnd(ioEndFromErrno(failed), failed);
            return;
        }
        const short ev = fds[0].revents;
        if (ev == 0) continue;
        if (mode == 0 && (ev & (POLLIN | POLLHUP | POLLERR))) {
            if (!readRun(socket, *handler)) return;
            continue;  // look at writes again with fresh state
        }
        if (ev & (POLLOUT | POLLERR | POLLHUP)) {
            const auto bytes = handler->pendingWrite();
            if (bytes.empty()) continue;
            int err = 0;
            const long sent = net::sendSome(socket, bytes, &err);
            if (sent < 0) {
                if (!ioWouldBlock(err)) {
                    if (mode == 0) handler->onIoEnd(ioEndFromErrno(err), err);
                    return;
                }
            } else {
                handler->onWritten(static_cast<std::size_t>(sent));
            }
        }
    }
}

}  // namespace platform
