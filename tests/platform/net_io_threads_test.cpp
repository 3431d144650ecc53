// Sockets over loopback and the I/O thread: the one table from the end of a
// stream to close kind and code, and the ends a real peer produces.

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <thread>

#include "platform/clock.h"
#include "platform/io_thread.h"
#include "platform/net.h"

namespace {

using namespace platform;
using namespace platform::net;

TEST(IoCloseCode, OneTableForEveryEnd)
{
    struct Case {
        int error;  // 0: end of stream
        IoEnd end;
        std::uint32_t kind, code;
    } cases[] = {
        {0, IoEnd::EndOfStream, 4, 0xC000013E},   {ECONNRESET, IoEnd::Reset, 5, 0xC000020D},
        {EPIPE, IoEnd::BrokenPipe, 5, 0xC000014B}, {ECONNABORTED, IoEnd::RemoteDisconnect, 5, 0xC000013C},
        {ECANCELED, IoEnd::Cancelled, 8, 0xC0000120}, {EIO, IoEnd::OtherError, 9, 0xC0000001},
        {ENOBUFS, IoEnd::OtherError, 9, 0xC0000001},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.error);
        const IoEnd end = tc.error == 0 ? IoEnd::EndOfStream : ioEndFromErrno(tc.error);
        EXPECT_EQ(end, tc.end);
        EXPECT_EQ(ioCloseCode(end).kind, tc.kind);
        EXPECT_EQ(ioCloseCode(end).code, tc.code);
    }
}

TEST(PipeNames, MapToAShortSocketPathInTheirFolder)
{
    setPipeDirectory("/tmp/p");
    EXPECT_EQ(pipeSocketPath("\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect"),
              "/tmp/p/Lockheed Martin Prepar3D v5_SimConnect");
    EXPECT_EQ(pipeSocketPath("\\\\.\\pipe\\a/b"), "/tmp/p/a_b");
    EXPECT_EQ(pipeSocketPath("not a pipe"), "");
    int err = 0;
    EXPECT_EQ(connectPipe("\\\\simhost\\pipe\\x", &err), invalidSocket);
    EXPECT_EQ(err, ENOENT);
    setPipeDirectory("/tmp/" + std::string(120, 'd'));
    EXPECT_EQ(connectPipe("\\\\.\\pipe\\x", &err), invalidSocket);
    EXPECT_EQ(err, ENAMETOOLONG);
    setPipeDirectory({});
}

TEST(Tcp, AnEmptyHostIsThisComputer)
{
    for (const Family f : {Family::IPv4, Family::IPv6}) {
        SCOPED_TRACE(f == Family::IPv4 ? "IPv4" : "IPv6");
        int err = 0;
        const Listener l = listenTcp(f, 0, &err);
        ASSERT_NE(l.fd, invalidSocket);
        const Socket s = connectTcp(f, "", std::to_string(l.port), false, &err);
        EXPECT_NE(s, invalidSocket) << err;
        closeSocket(s);
        closeSocket(l.fd);
    }
}

TEST(PipeNames, BusyPipeIsRetriedForFiveSecondsOfClockTime)
{
    auto vc = std::make_shared<VirtualClock>();
    ScopedClock scoped(vc);
    setPipeDirectory("/tmp");
    const std::string name = "\\\\.\\pipe\\vrmt-busy-" + std::to_string(::getpid());
    int err = 0;
    const Listener l = listenPipe(name, &err);
    ASSERT_NE(l.fd, invalidSocket);
    std::vector<Socket> held;  // never accepted: they fill the listener's queue
    Socket s = invalidSocket;
    const auto t0 = vc->now();
    for (int i = 0; i < 256 && (s = connectPipe(name, &err)) != invalidSocket; ++i) held.push_back(s);
    EXPECT_EQ(s, invalidSocket);
    EXPECT_EQ(err, EAGAIN);
    EXPECT_GE(vc->now() - t0, std::chrono::milliseconds(5000));
    EXPECT_LT(vc->now() - t0, std::chrono::milliseconds(5100));
    closeSocket(acceptClient(l.fd, &err));  // the server takes one: the pipe opens again
    s = connectPipe(name, &err);
    EXPECT_NE(s, invalidSocket);
    closeSocket(s);
    for (auto h : held) closeSocket(h);
    closeSocket(l.fd);
    std::filesystem::remove(pipeSocketPath(name));
    setPipeDirectory({});
}

// Collects what the I/O thread reads and writes out what it is given.
class Recorder : public IoHandler {
public:
    bool ioOpen() override { return open_.load(); }
    std::span<std::uint8_t> readSpace() override { return buf_; }
    void onRead(std::size_t n) override
    {
        std::lock_guard lock(m_);
        got_.append(reinterpret_cast<const char*>(buf_.data()), n);
        largestRead_ = std::max(largestRead_, n);
    }
    void onReadsEnd() override { ++runs_; }
    bool moreComing() override { return moreComing_.load(); }
    void setMoreComing(bool more) { moreComing_ = more; }
    std::span<const std::uint8_t> pendingWrite() override
    {
        std::lock_guard lock(m_);
        return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(out_.data()), out_.size());
    }
    void onWritten(std::size_t n) override
    {
        std::lock_guard lock(m_);
        out_.erase(0, n);
    }
    int failedWrite() override { return failedWrite_.load(); }
    void onIoEnd(IoEnd end, int osError) override
    {
        std::lock_guard lock(m_);
        end_ = end;
        endError_ = osError;
        ended_ = true;
        open_ = false;
    }
    // A write of the owner's own failed (then the owner wakes the thread).
    void failWrite(int osError) { failedWrite_ = osError; }
    void queue(const std::string& s)
    {
        std::lock_guard lock(m_);
        out_ += s;
    }
    std::string got()
    {
        std::lock_guard lock(m_);
        return got_;
    }
    bool ended(IoEnd& end)
    {
        std::lock_guard lock(m_);
        end = end_;
        return ended_;
    }
    int endError()
    {
        std::lock_guard lock(m_);
        return endError_;
    }
    std::size_t largestRead()
    {
        std::lock_guard lock(m_);
        return largestRead_;
    }
    int runs() const { return runs_.load(); }

private:
    std::atomic<bool> open_{true};
    std::array<std::uint8_t, 64> buf_{};
    std::mutex m_;
    std::string got_, out_;
    IoEnd end_ = IoEnd::OtherError;
    int endError_ = 0;
    bool ended_ = false;
    std::size_t largestRead_ = 0;
    std::atomic<int> runs_{0};
    std::atomic<bool> moreComing_{false};
    std::atomic<int> failedWrite_{0};
};

bool waitFor(const std::function<bool()>& pred)
{
    for (int i = 0; i < 20000 && !pred(); ++i) std::this_thread::sleep_for(std::chrono::microseconds(250));
    return pred();
}

struct Pair {
    Socket client = invalidSocket, server = invalidSocket;
};

Pair connectPair(const std::string& kind)
{
    int err = 0;
    Pair p;
    Listener l;
    if (kind == "unix") {
        setPipeDirectory("/tmp");
        const std::string name = "\\\\.\\pipe\\vrmt-io-test-" + std::to_string(::getpid());
        l = listenPipe(name, &err);
        p.client = connectPipe(name, &err);
        // The connection lives on without its path; a pipe leaves no file behind.
        std::error_code ec;
        std::filesystem::remove(pipeSocketPath(name), ec);
        setPipeDirectory({});
    } else {
        const Family f = kind == "ipv6" ? Family::IPv6 : Family::IPv4;
        l = listenTcp(f, 0, &err);
        p.client = connectTcp(f, kind == "ipv6" ? "::1" : "127.0.0.1", std::to_string(l.port), true, &err);
    }
    p.server = acceptClient(l.fd, &err);
    closeSocket(l.fd);
    return p;
}

TEST(IoThread, MovesBytesBothWaysAndReportsHowTheStreamEnded)
{
    struct Case {
        const char* transport;
        bool reset;
        IoEnd end;
    } cases[] = {
        {"ipv4", false, IoEnd::EndOfStream}, {"ipv6", false, IoEnd::EndOfStream},
        {"unix", false, IoEnd::EndOfStream}, {"ipv4", true, IoEnd::Reset},
        {"unix", true, IoEnd::EndOfStream},  // a Unix socket has no reset
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(std::string(tc.transport) + (tc.reset ? " reset" : " close"));
        Pair p = connectPair(tc.transport);
        ASSERT_NE(p.client, invalidSocket);
        ASSERT_NE(p.server, invalidSocket);
        auto rec = std::make_shared<Recorder>();
        IoThread io;
        setNonBlocking(p.client, true);
        io.start(p.client, rec);
        const std::string big(100000, 'x');
        rec->queue(big);
        io.wake();
        std::string echoed;
        std::array<std::uint8_t, 4096> buf{};
        while (echoed.size() < big.size()) {
            int err = 0;
            const long n = recvSome(p.server, buf, &err);
            ASSERT_GT(n, 0);
            echoed.append(reinterpret_cast<const char*>(buf.data()), static_cast<std::size_t>(n));
        }
        EXPECT_EQ(echoed, big);
        ASSERT_TRUE(
            sendAll(p.server, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>("hello"), 5)));
        ASSERT_TRUE(waitFor([&] { return rec->got() == "hello"; }));
        if (tc.reset) {
            resetAndClose(p.server);
        } else {
            closeSocket(p.server);
        }
        IoEnd end;
        ASSERT_TRUE(waitFor([&] { return rec->ended(end); }));
        EXPECT_EQ(end, tc.end);
        io.stop();
        closeSocket(p.client);
    }
}

// The handler's read space is 64 bytes; the socket is still read in large
// pieces, each handed on in parts that fit: a long stream costs a few system
// calls, not one per 64 bytes, and arrives whole and in order.
TEST(IoThread, ASmallReadSpaceIsFedFromLargeReads)
{
    for (const char* transport : {"unix", "ipv4"}) {
        SCOPED_TRACE(transport);
        Pair p = connectPair(transport);
        ASSERT_NE(p.client, invalidSocket);
        ASSERT_NE(p.server, invalidSocket);
        auto rec = std::make_shared<Recorder>();
        IoThread io;
        setNonBlocking(p.client, true);
        const std::uint64_t readsBefore = IoThread::socketReads();
        io.start(p.client, rec);
        std::string sent(100000, '\0');
        for (std::size_t i = 0; i < sent.size(); ++i) sent[i] = static_cast<char>('a' + i * 7 % 26);
        ASSERT_TRUE(sendAll(p.server, std::span<const std::uint8_t>(
                                          reinterpret_cast<const std::uint8_t*>(sent.data()), sent.size())));
        ASSERT_TRUE(waitFor([&] { return rec->got().size() >= sent.size(); }));
        EXPECT_EQ(rec->got(), sent);
        EXPECT_LE(rec->largestRead(), 64u);
        const std::uint64_t reads = IoThread::socketReads() - readsBefore;
        EXPECT_LT(reads, 200u) << "100,000 bytes in 64-byte reads would take 1,563";
        EXPECT_GE(rec->runs(), 1);
        EXPECT_LE(static_cast<std::uint64_t>(rec->runs()), reads);  // a run's end after its reads, not a part's
        closeSocket(p.server);
        IoEnd end;
        ASSERT_TRUE(waitFor([&] { return rec->ended(end); }));
        EXPECT_EQ(end, IoEnd::EndOfStream);
        io.stop();
        closeSocket(p.client);
    }
}

// While the handler says more is coming, the thread lets a millisecond of it
// gather before it reads again; with nothing arriving it waits as ever (no
// spinning), and a stop still ends it.
TEST(IoThread, MoreComingGathersWithoutSpinning)
{
    Pair p = connectPair("unix");
    ASSERT_NE(p.client, invalidSocket);
    ASSERT_NE(p.server, invalidSocket);
    auto rec = std::make_shared<Recorder>();
    rec->setMoreComing(true);
    IoThread io;
    setNonBlocking(p.client, true);
    io.start(p.client, rec);
    std::string sent;
    for (int i = 0; i < 20; ++i) {
        const std::string piece = "piece " + std::to_string(i) + ";";
        ASSERT_TRUE(sendAll(p.server, std::span<const std::uint8_t>(
                                          reinterpret_cast<const std::uint8_t*>(piece.data()), piece.size())));
        sent += piece;
    }
    ASSERT_TRUE(waitFor([&] { return rec->got() == sent; }));
    const std::uint64_t reads = IoThread::socketReads();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // nothing arrives
    EXPECT_LE(IoThread::socketReads() - reads, 1u) << "the thread kept reading an empty socket";
    io.stop();
    IoEnd end;
    EXPECT_FALSE(rec->ended(end));  // a stop reports no end
    closeSocket(p.server);
    closeSocket(p.client);
}

TEST(IoThread, CancelReportsOurOwnCancel)
{
    Pair p = connectPair("ipv4");
    auto rec = std::make_shared<Recorder>();
    IoThread io;
    io.start(p.client, rec);
    io.cancel();
    IoEnd end;
    ASSERT_TRUE(rec->ended(end));
    EXPECT_EQ(end, IoEnd::Cancelled);
    closeSocket(p.client);
    closeSocket(p.server);
}

}  // namespace

namespace {

// A write the handler's owner made on its own thread failed: the I/O thread,
// woken, ends the stream as for a failed write of its own, even while the
// peer's end of stream waits to be read.
TEST(IoThread, AWriteThatFailedOnTheOwnersThreadEndsTheStream)
{
    struct Case {
        const char* name;
        int osError;
        bool peerClosedToo;
        IoEnd end;
    } cases[] = {
        {"broken pipe", EPIPE, false, IoEnd::BrokenPipe},
        {"reset", ECONNRESET, false, IoEnd::Reset},
        {"reset, the peer's close unread", ECONNRESET, true, IoEnd::Reset},
        {"anything else", EIO, false, IoEnd::OtherError},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        Pair p = connectPair("ipv4");
        ASSERT_NE(p.client, invalidSocket);
        auto rec = std::make_shared<Recorder>();
        IoThread io;
        setNonBlocking(p.client, true);
        io.start(p.client, rec);
        rec->failWrite(tc.osError);
        if (tc.peerClosedToo) closeSocket(p.server);
        io.wake();
        IoEnd end;
        ASSERT_TRUE(waitFor([&] { return rec->ended(end); }));
        EXPECT_EQ(end, tc.end);
        EXPECT_EQ(rec->endError(), tc.osError);
        io.stop();
        closeSocket(p.client);
        if (!tc.peerClosedToo) closeSocket(p.server);
    }
}

}  // namespace
