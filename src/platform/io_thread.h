#pragma once
// One I/O thread per connection: it waits on the socket and on a wake-up
// descriptor, reads what arrives and hands it to the handler's receive space,
// writes the handler's queued bytes (one write at a time) and reports how the
// stream ended. The handler's owner may write too, on its own thread, while no
// write is in flight: the thread is then woken only for what that write left.
// How an end maps to the simulator link's close kinds and codes is one table:
// ioCloseCode().

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "platform/net.h"

namespace platform {

// How a byte stream ended.
enum class IoEnd {
    EndOfStream,       // the peer closed its side (a read of 0 bytes)
    RemoteDisconnect,  // the peer went away (ECONNABORTED, ENOTCONN, ESHUTDOWN)
    BrokenPipe,        // EPIPE
    Reset,             // ECONNRESET
    Cancelled,         // our own cancel
    OtherError,        // anything else; the OS error is kept
};

struct IoCloseCode {
    std::uint32_t kind;  // the close kind of the connection
    std::uint32_t code;  // the status recorded with it
};

// The one table from an end of the stream to close kind and code.
IoCloseCode ioCloseCode(IoEnd end);
// Classifies an errno value of a failed read or write.
IoEnd ioEndFromErrno(int error);
// True for the errno values of a read or write that failed only for now (the
// socket was full or empty, or a signal came): try again later.
bool ioWouldBlock(int error);

// What the I/O thread works for. Every call comes from the I/O thread.
class IoHandler {
public:
    virtual ~IoHandler() = default;
    // False once the connection is closed: the thread then ends.
    virtual bool ioOpen() = 0;
    // Where the next read may put its bytes (never empty while open).
    virtual std::span<std::uint8_t> readSpace() = 0;
    virtual void onRead(std::size_t n) = 0;
    // A run of reads ended: the socket had nothing more at once, the run was
    // long, or the stream is about to end. Called before the thread waits
    // again and before onIoEnd, so what the reads brought can be handed on
    // once for the whole run.
    virtual void onReadsEnd() {}
    // The unwritten rest of the write in progress (empty: nothing to write).
    virtual std::span<const std::uint8_t> pendingWrite() = 0;
    virtual void onWritten(std::size_t n) = 0;
    // The errno of a write the handler's owner made itself, on its own thread,
    // that failed for good (0: none); the owner wakes the thread after setting
    // it. Looked at on every wake-up, before the socket's events: the thread
    // then ends the stream as for a failed write of its own.
    virtual int failedWrite() { return 0; }
    // The stream ended (called at most once, then the thread ends).
    virtual void onIoEnd(IoEnd end, int osError) = 0;
    // What was read so far says more of it follows at once (an answer sent
    // in many pieces): the thread then lets gatherMs of it gather before it
    // reads again, rather than waking for every piece.
    virtual bool moreComing() { return false; }
};

class IoThread {
public:
    IoThread() = default;
    ~IoThread();
    IoThread(const IoThread&) = delete;
    IoThread& operator=(const IoThread&) = delete;

    void start(net::Socket socket, std::shared_ptr<IoHandler> handler);
    // New bytes were queued, or the handler was closed: look again.
    void wake();
    // Writes out what is still queued (for at most a second), then ends the
    // thread without reporting an end, and joins it.
    void stop();
    // Ends the thread at once; an open handler is told IoEnd::Cancelled.
    void cancel();
    bool running() const { return thread_.joinable(); }

    // The socket is read in pieces of up to readChunk bytes into the thread's
    // own buffer, which it hands on in parts that fit the handler's read space
    // (a small receive buffer then costs no extra system calls). Reads that
    // fill the chunk follow one another without waiting on the socket in
    // between, up to maxReadsInRun in a run.
    static constexpr std::size_t readChunk = 64 * 1024;
    static constexpr int maxReadsInRun = 16;
    static constexpr int gatherMs = 1;
    // Process-wide count of reads of a socket (system calls) by I/O threads.
    static std::uint64_t socketReads();

private:
    void run(net::Socket socket, std::shared_ptr<IoHandler> handler);
    // Reads until the socket has nothing more at once (or the run is long);
    // false when the stream ended (the handler was told).
    bool readRun(net::Socket socket, IoHandler& handler);
    void join();

    std::vector<std::uint8_t> chunk_;  // the thread's read buffer (readChunk bytes once it read)
    net::WakeEvent wake_;
    std::atomic<int> stopMode_{0};  // 0 run, 1 stop after flushing, 2 cancel
    std::thread thread_;
};

}  // namespace platform
