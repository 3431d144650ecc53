// The connection against the stand-in over real sockets: the transport chain,
// framing faults from the peer, the peer closing or resetting, closed handles,
// writes by the sending thread and by the I/O thread.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <set>
#include <thread>

#include "support/sim_fixture.h"

namespace {

using platform::net::Family;
using simstandin::Bytes;
using simtest::Golden;

// The program's own TCP socket to the stand-in's IPv4 port, found by its peer.
int clientSocketTo(std::uint16_t port)
{
    for (int fd = 3; fd < 1024; ++fd) {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0 && a.sin_family == AF_INET &&
            ntohs(a.sin_port) == port)
            return fd;
    }
    return -1;
}

// A loopback port nobody listens on, for the life of the object. It stays
// bound (never listening): a port merely closed again could be handed to a
// listener of another test program running at the same time.
class DeadPort {
public:
    explicit DeadPort(Family family)
    {
        const bool v6 = family == Family::IPv6;
        fd_ = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM, 0);
        sockaddr_storage ss{};
        socklen_t len = 0;
        if (v6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
            a->sin6_family = AF_INET6;
            a->sin6_addr = in6addr_loopback;
            len = sizeof *a;
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&ss);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            len = sizeof *a;
        }
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&ss), len), 0);
        EXPECT_EQ(::getsockname(fd_, reinterpret_cast<sockaddr*>(&ss), &len), 0);
        const std::uint16_t port = v6 ? reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port
                                      : reinterpret_cast<sockaddr_in*>(&ss)->sin_port;
        port_ = std::to_string(ntohs(port));
    }
    ~DeadPort() { ::close(fd_); }
    DeadPort(const DeadPort&) = delete;
    DeadPort& operator=(const DeadPort&) = delete;
    const std::string& port() const { return port_; }

private:
    int fd_ = -1;
    std::string port_;
};

struct Tried {
    bool pipe;
    std::string address;
    std::string port;
    bool operator==(const Tried&) const = default;
};
std::vector<Tried> tried(const std::vector<ScAttempt>& attempts)
{
    std::vector<Tried> out;
    for (const auto& a : attempts) out.push_back({a.pipe, a.address, a.port});
    return out;
}

class ScConnectionTest : public simtest::SimFixture {};

TEST_F(ScConnectionTest, AutoFallsBackFromPipeToIPv6ToIPv4WithTheRegistryPorts)
{
    simstandin::StandInOptions o;
    o.listenPipe = false;
    o.listenIPv6 = false;
    startServer(o);
    const DeadPort deadV6(Family::IPv6);
    const std::string v6 = deadV6.port();
    setRegistryPorts(std::to_string(server_->portIPv4()), v6);

    ScConnectionPtr c;
    std::vector<ScAttempt> attempts;
    ASSERT_EQ(scConnect(0, c, &attempts), scOk);
    EXPECT_EQ(tried(attempts), (std::vector<Tried>{{true, ".", ""},
                                                   {false, "::1", v6},
                                                   {false, "127.0.0.1", std::to_string(server_->portIPv4())}}));
    scTeardown(c);

    // The same through the API: Open reaches the stand-in on IPv4 and gets OPEN.
    HANDLE h = openClient();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(received_.back()[8], SIMCONNECT_RECV_ID_OPEN);
    EXPECT_EQ(SimConnect_Close(h), scOk);
}

TEST_F(ScConnectionTest, ConfiguredTransportsAndWhenAFailureIsFinal)
{
    startServer();  // listens on the default pipe too
    const DeadPort deadV4(Family::IPv4);
    const std::string dead4 = deadV4.port();
    const std::string pipeName = "\\\\.\\pipe\\Lockheed Martin Prepar3D v5\\SimConnect";
    struct Case {
        const char* name;
        std::string cfg;
        HRESULT result;
        std::vector<Tried> attempts;
    } cases[] = {
        {"IPv4 at 127.0.0.1 falls back to the default pipe",
         "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + dead4 + "\n", scOk,
         {{false, "127.0.0.1", dead4}, {true, ".", ""}}},
        {"IPv4 at another address is final", "[SimConnect]\nProtocol=IPv4\nAddress=localhost\nPort=" + dead4 + "\n",
         scFail, {{false, "localhost", dead4}}},
        {"pipe on another server is final", "[SimConnect]\nProtocol=Pipe\nAddress=simhost\n", scFail,
         {{true, "simhost", ""}}},
        // No registry ports: the TCP steps are skipped, the default pipe is last.
        {"named pipe from the port text", "[SimConnect]\nProtocol=Pipe\nPort=Other Pipe\n", scOk,
         {{true, ".", "Other Pipe"}, {true, ".", ""}}},
        {"IPv4 without an address reaches this computer",
         "[SimConnect]\nProtocol=IPv4\nPort=" + std::to_string(server_->portIPv4()) + "\n", scOk,
         {{false, "", std::to_string(server_->portIPv4())}}},
        {"IPv6 at ::1 reaches the stand-in",
         "[SimConnect]\nProtocol=IPv6\nAddress=::1\nPort=" + std::to_string(server_->portIPv6()) + "\n", scOk,
         {{false, "::1", std::to_string(server_->portIPv6())}}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        writeCfg("cwd", tc.cfg);
        ScConnectionPtr c;
        std::vector<ScAttempt> attempts;
        EXPECT_EQ(scConnect(0, c, &attempts), tc.result);
        EXPECT_EQ(tried(attempts), tc.attempts);
        if (c) {
            EXPECT_TRUE(c->isOpen());
            scTeardown(c);
            ASSERT_TRUE(server_->waitForDisconnect());
        }
    }
}

TEST_F(ScConnectionTest, MissingNumberedSectionFailsWithoutAnAttempt)
{
    startServer();
    writeCfg("public", "[SimConnect]\nProtocol=Pipe\n");
    ScConnectionPtr c;
    std::vector<ScAttempt> attempts;
    EXPECT_EQ(scConnect(2, c, &attempts), scInvalidArg);
    EXPECT_TRUE(attempts.empty());
    HANDLE h = nullptr;
    EXPECT_EQ(SimConnect_Open(&h, "VRMT_P3D", nullptr, 0, nullptr, 2), scInvalidArg);
    EXPECT_EQ(h, nullptr);
    EXPECT_EQ(SimConnect_Open(nullptr, "VRMT_P3D", nullptr, 0, nullptr, 0), scInvalidArg);
    EXPECT_EQ(SimConnect_Open(&h, nullptr, nullptr, 0, nullptr, 0), scInvalidArg);
    EXPECT_EQ(server_->acceptedCount(), 0u);
}

TEST_F(ScConnectionTest, NoSimulatorFailsAfterBoundedVirtualWaits)
{
    HANDLE h = nullptr;
    EXPECT_EQ(SimConnect_Open(&h, "VRMT_P3D", nullptr, 0, nullptr, 0), scFail);
    EXPECT_EQ(h, nullptr);
    // Two failed attempts (pipe, default pipe; no registry ports), each torn down
    // with its waits on the virtual clock.
    std::chrono::nanoseconds total{0};
    for (auto d : clock_->sleeps()) total += d;
    EXPECT_GE(total, std::chrono::milliseconds(2 * 350));
    EXPECT_LE(total, std::chrono::seconds(15));

    // The simulator comes up: the next attempt connects.
    startServer();
    h = openClient();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(SimConnect_Close(h), scOk);
}

TEST_F(ScConnectionTest, AnnouncedSizeBeyondBufferGrowthClosesInsteadOfStalling)
{
    writeCfg("public", "[SimConnect]\nMaxReceiveSize=4000000\n");
    startServer();
    HANDLE h = openClient();
    ASSERT_NE(h, nullptr);
    Bytes huge = simstandin::makeMessage(16, 12);
    sc::putU32(huge.data(), 2000000);  // allowed by the setting, more than the buffer may grow to
    ASSERT_TRUE(server_->sendRaw(huge));
    EXPECT_TRUE(simtest::eventually(
        [&] { return SimConnect_CallDispatch(h, [](auto...) {}, nullptr) == static_cast<HRESULT>(0x80004004u); }));
    EXPECT_EQ(SimConnect_Close(h), scOk);
}

TEST_F(ScConnectionTest, OpenNameThatDoesNotFitTearsDown)
{
    startServer();
    HANDLE h = nullptr;
    EXPECT_EQ(SimConnect_Open(&h, std::string(256, 'n').c_str(), nullptr, 0, nullptr, 0), scTextTooLong);
    EXPECT_EQ(h, nullptr);
    ASSERT_TRUE(server_->waitForAccepted(1));
    EXPECT_TRUE(server_->waitForDisconnect());
    EXPECT_EQ(server_->packetCount(), 0u);
}

// What the client receives when the stand-in sends these bytes after OPEN.
TEST_F(ScConnectionTest, ReceivedStreamIsCutIntoMessages)
{
    startServer();
    HANDLE h = openClient();
    ASSERT_NE(h, nullptr);
    const Bytes ev = simstandin::makeEvent(7, 1), frame = simstandin::makeFrame(9, 30.0f, 1.0f);
    Bytes tiny = simstandin::makeMessage(10, 8);  // shorter than a header: never dispatched
    Bytes stream;
    for (const Bytes* part : {&ev, &frame}) stream.insert(stream.end(), part->begin(), part->end());
    struct Case {
        const char* name;
        Bytes bytes;
        std::size_t chunk;
        std::vector<Bytes> expected;
    } cases[] = {
        {"byte by byte", stream, 1, {ev, frame}},
        {"two in one write", stream, 0, {ev, frame}},
        {"zero padding between", [&] {
             Bytes b = ev;
             b.insert(b.end(), 8, 0);
             b.insert(b.end(), frame.begin(), frame.end());
             return b;
         }(), 0, {ev, frame}},
        {"short message skipped by dispatch", [&] {
             Bytes b = tiny;
             b.insert(b.end(), ev.begin(), ev.end());
             return b;
         }(), 0, {ev}},
        {"unknown id and a large message (buffer growth)", [&] {
             Bytes b = simstandin::makeMessage(10, 12);
             const Bytes big = simstandin::makeClientData(5000);
             b.insert(b.end(), big.begin(), big.end());
             return b;
         }(), 700, {simstandin::makeMessage(10, 12), simstandin::makeClientData(5000)}},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        received_.clear();
        ASSERT_TRUE(server_->sendRaw(tc.bytes, tc.chunk));
        // A marker after the case's bytes shows everything before it was handled.
        ASSERT_TRUE(server_->sendMessage(simstandin::makeQuit()));
        ASSERT_TRUE(dispatchUntil(h, tc.expected.size() + 1));
        ASSERT_EQ(received_.size(), tc.expected.size() + 1);
        received_.pop_back();
        EXPECT_EQ(received_, tc.expected);
        EXPECT_EQ(lastDispatch_, scOk);
    }
    EXPECT_EQ(SimConnect_Close(h), scOk);
}

// After the connection broke, every call returns the code recorded then.
TEST_F(ScConnectionTest, BrokenConnectionsReturnTheirRecordedCode)
{
    Bytes size3(12, 0);
    sc::putU32(size3.data(), 3);
    Bytes tooLarge = simstandin::makeMessage(16, 12);
    sc::putU32(tooLarge.data(), 41089);
    struct Case {
        const char* name;
        std::function<void(simstandin::FakeSimServer&, HANDLE)> act;
        std::uint32_t code;
    } cases[] = {
        {"peer closes (FIN)", [](auto& s, HANDLE) { s.closeClient(true); }, 0xC000013Eu},
        {"peer resets (RST)", [](auto& s, HANDLE) { s.closeClient(false); }, 0xC000020Du},
        {"size 3", [&](auto& s, HANDLE) { s.sendRaw(size3); }, 0x80004004u},
        {"size over MaxReceiveSize", [&](auto& s, HANDLE) { s.sendRaw(tooLarge); }, 0x80004004u},
        // The sending thread's own write fails (EPIPE); the I/O thread had
        // nothing to write and nothing to read.
        {"our sending side shut down",
         [](auto& s, HANDLE h) {
             s.configure([](auto& o) { o.readClient = false; });  // nor sees the peer our end
             ASSERT_EQ(::shutdown(clientSocketTo(s.portIPv4()), SHUT_WR), 0);
             const auto before = ScTransport::writeCounts();
             ASSERT_EQ(SimConnect_AIRemoveObject(h, 1, 105), scOk);
             EXPECT_EQ(ScTransport::writeCounts().direct, before.direct + 1);
         },
         0xC000014Bu},
    };
    startServer();
    // Over TCP: a Unix socket has no reset, its peer sees only an end of stream.
    writeCfg("cwd", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(server_->portIPv4()));
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        received_.clear();
        HANDLE h = openClient();
        ASSERT_NE(h, nullptr);
        tc.act(*server_, h);
        const HRESULT code = static_cast<HRESULT>(tc.code);
        HRESULT got = 0;
        ASSERT_TRUE(simtest::eventually([&] {
            got = SimConnect_CallDispatch(h, [](auto...) {}, nullptr);
            return got == code;
        })) << std::hex << got;
        const SIMCONNECT_DATA_INITPOSITION pos{};
        EXPECT_EQ(SimConnect_AIReleaseControl(h, 1, 103), code);
        EXPECT_EQ(SimConnect_AICreateNonATCAircraft(h, "A", "B", pos, 104), code);
        EXPECT_EQ(SimConnect_RequestDataOnSimObject(h, 109, 403, 0, SIMCONNECT_PERIOD_ONCE), code);
        EXPECT_EQ(SimConnect_CallDispatch(h, nullptr, nullptr), scFail);  // no procedure
        EXPECT_EQ(SimConnect_Close(h), scOk);
        server_->configure([](auto& o) { o.readClient = true; });
        ASSERT_TRUE(server_->waitForDisconnect());
    }
    EXPECT_EQ(server_->acceptedCount(), std::size(cases));  // accepted again after every disconnect
}

std::atomic<int> lf_notified{0};
std::atomic<HANDLE> lf_notifiedEvent{nullptr};

// A connection opened with an event handle, its wakes counted in lf_notified.
class ScConnectionWakes : public ScConnectionTest {
protected:
    void SetUp() override
    {
        ScConnectionTest::SetUp();
        scSetNotifyCallback([](HWND, DWORD, HANDLE) { ++lf_notified; });
        startServer();
        ASSERT_EQ(SimConnect_Open(&h_, "VRMT_P3D", nullptr, 0, &eventObject_, 0), scOk);
        ASSERT_TRUE(dispatchUntil(h_, 1));  // OPEN
        received_.clear();
    }
    void TearDown() override
    {
        if (h_) {
            EXPECT_EQ(SimConnect_Close(h_), scOk);
        }
        scSetNotifyCallback(nullptr);
        ScConnectionTest::TearDown();
    }
    int eventObject_ = 0;
    HANDLE h_ = nullptr;
};

TEST_F(ScConnectionTest, NotifyCallbackWakesForMessagesAndErrorClose)
{
    scSetNotifyCallback([](HWND, DWORD, HANDLE event) {
        lf_notifiedEvent = event;
        ++lf_notified;
    });
    startServer();
    int eventObject = 0;
    HANDLE h = nullptr;
    ASSERT_EQ(SimConnect_Open(&h, "VRMT_P3D", nullptr, 0, &eventObject, 0), scOk);
    ASSERT_TRUE(simtest::eventually([] { return lf_notified.load() >= 1; }));  // OPEN arrived
    EXPECT_EQ(lf_notifiedEvent.load(), &eventObject);
    const int before = lf_notified.load();
    server_->closeClient(true);
    ASSERT_TRUE(simtest::eventually([&] { return lf_notified.load() > before; }));  // error close
    EXPECT_EQ(SimConnect_Close(h), scOk);
    scSetNotifyCallback(nullptr);
}

// The messages of one read reach the dispatching side together: one wake for
// a range answer of a hundred aircraft, not a hundred.
TEST_F(ScConnectionWakes, TheMessagesOfOneReadWakeTheDispatcherOnce)
{
    std::vector<Bytes> sent;
    Bytes stream;
    for (std::uint32_t i = 0; i < 100; ++i) {
        sent.push_back(simstandin::makeEvent(7, i));
        stream.insert(stream.end(), sent.back().begin(), sent.back().end());
    }
    const int before = lf_notified.load();
    ASSERT_TRUE(server_->sendRaw(stream, 0));  // one write
    ASSERT_TRUE(dispatchUntil(h_, sent.size()));
    EXPECT_EQ(received_, sent);
    // One read takes the 1.6 KB whole; a few wakes if the socket split it.
    EXPECT_LE(lf_notified.load() - before, 3);
}

// A long answer (a message per aircraft, about 700 bytes each, so two or three
// to a 2 KB read) reaches the dispatching side in a few wakes, not one a read;
// and the messages it dispatched are filled again for the next answer, not
// allocated anew.
TEST_F(ScConnectionWakes, ALongAnswerWakesTheDispatcherFewTimesAndItsMessagesAreReused)
{
    struct Seen {
        std::vector<Bytes> messages;
        std::vector<const void*> at;  // where each one's bytes lay
    };
    const auto collect = [](SIMCONNECT_RECV* m, DWORD size, void* context) {
        auto& seen = *static_cast<Seen*>(context);
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(m);
        seen.messages.emplace_back(bytes, bytes + size);
        seen.at.push_back(m);
    };
    const auto answer = [](std::uint32_t count, std::uint32_t request, std::vector<Bytes>& messages) {
        Bytes stream;
        for (std::uint32_t i = 0; i < count; ++i) {
            Bytes m = simstandin::makeMessage(SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE, 700);
            sc::putU32(m.data() + 12, request);
            sc::putU32(m.data() + 16, 1000 + i);
            stream.insert(stream.end(), m.begin(), m.end());
            messages.push_back(std::move(m));
        }
        return stream;
    };
    const auto dispatchAll = [&](Seen& seen, std::size_t count) {
        return simtest::eventually([&] {
            SimConnect_CallDispatch(h_, collect, &seen);
            return seen.messages.size() >= count;
        });
    };

    std::vector<Bytes> first;
    Seen seenFirst;
    const int before = lf_notified.load();
    ASSERT_TRUE(server_->sendRaw(answer(200, 1, first), 0));  // 140 KB in one write: some 70 reads
    ASSERT_TRUE(dispatchAll(seenFirst, first.size()));
    EXPECT_EQ(seenFirst.messages, first);
    EXPECT_LE(lf_notified.load() - before, 24) << "about one wake a read";

    // One more message: its run takes back what the answer's dispatch returned.
    Seen seenBetween;
    ASSERT_TRUE(server_->sendRaw(simstandin::makeEvent(7, 1), 0));
    ASSERT_TRUE(dispatchAll(seenBetween, 1));

    std::vector<Bytes> second;
    Seen seenSecond;
    const std::uint64_t made = ScConnection::messagesMade();
    ASSERT_TRUE(server_->sendRaw(answer(100, 2, second), 0));
    ASSERT_TRUE(dispatchAll(seenSecond, second.size()));
    EXPECT_EQ(seenSecond.messages, second);
    EXPECT_EQ(ScConnection::messagesMade(), made) << "messages of the second answer were allocated anew";
    const std::set<const void*> firstAt(seenFirst.at.begin(), seenFirst.at.end());
    for (std::size_t i = 0; i < seenSecond.at.size(); ++i) {
        EXPECT_TRUE(firstAt.count(seenSecond.at[i])) << "message " << i << " lies in new storage";
    }
}

TEST_F(ScConnectionTest, ClosedHandleIsRefusedNotUsed)
{
    startServer();
    HANDLE h = openClient();
    ASSERT_NE(h, nullptr);
    ASSERT_EQ(SimConnect_Close(h), scOk);
    DWORD id = 0;
    EXPECT_EQ(SimConnect_AIRemoveObject(h, 1, 105), scFail);
    EXPECT_EQ(SimConnect_GetLastSentPacketID(h, &id), scFail);
    EXPECT_EQ(SimConnect_CallDispatch(h, [](auto...) {}, nullptr), scFail);
    EXPECT_EQ(SimConnect_Close(h), scFail);
    EXPECT_EQ(SimConnect_Close(nullptr), scFail);
}

TEST_F(ScConnectionTest, CloseOnOneThreadWhileAnotherSendsAndDispatches)
{
    startServer();
    HANDLE h = openClient();
    ASSERT_NE(h, nullptr);
    std::atomic<bool> closed{false};
    std::atomic<int> refusedAfterClose{0};
    std::thread user([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            const bool wasClosed = closed.load();
            const HRESULT a = SimConnect_AIReleaseControl(h, 1, 103);
            const HRESULT b = SimConnect_CallDispatch(h, [](auto...) {}, nullptr);
            if (wasClosed) {
                EXPECT_EQ(a, scFail);
                EXPECT_EQ(b, scFail);
                if (++refusedAfterClose > 50) return;
            } else {
                EXPECT_TRUE(a == scOk || a == scFail);
            }
        }
    });
    ASSERT_TRUE(server_->waitForPackets(20));
    EXPECT_EQ(SimConnect_Close(h), scOk);
    closed = true;
    user.join();
    EXPECT_GT(refusedAfterClose.load(), 0);
}

TEST_F(ScConnectionTest, TwoThreadsClosingOneHandleTearItDownOnce)
{
    // Real (if quickened) waits, so that the second close comes while the first
    // is still tearing down.
    platform::setClock(std::make_shared<platform::ScaledClock>(0.05));
    startServer();
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        HANDLE h = openClient();
        ASSERT_NE(h, nullptr);
        std::atomic<int> ready{0};
        HRESULT results[2] = {1, 1};
        auto closer = [&](int i) {
            ++ready;
            while (ready.load() < 2) std::this_thread::yield();
            results[i] = SimConnect_Close(h);
        };
        std::thread a(closer, 0), b(closer, 1);
        a.join();
        b.join();
        EXPECT_EQ(std::count(std::begin(results), std::end(results), scOk), 1);
        EXPECT_EQ(std::count(std::begin(results), std::end(results), scFail), 1);
        ASSERT_TRUE(server_->waitForDisconnect());
    }
    EXPECT_EQ(ScTransport::activeTransports(), 0u);
    platform::setClock(clock_);
}

TEST_F(ScConnectionTest, LargerMaxReceiveSizeAcceptsLargerMessages)
{
    writeCfg("documents", "[SimConnect]\nMaxReceiveSize=100000\nDisableNagle=1\n");
    startServer();
    HANDLE h = openClient();
    ASSERT_NE(h, nullptr);
    received_.clear();
    ASSERT_TRUE(server_->sendMessage(simstandin::makeClientData(60000)));
    ASSERT_TRUE(dispatchUntil(h, 1));
    EXPECT_EQ(received_.at(0).size(), 60000u);
    EXPECT_EQ(SimConnect_Close(h), scOk);
}

}  // namespace

namespace {

// Sends frames as the program does (a batch of position blocks, then a removal
// on its own) and writes down the bytes each packet must arrive with.
class FrameSender {
public:
    explicit FrameSender(HANDLE h) : h_(h) { EXPECT_EQ(SimConnect_GetLastSentPacketID(h, &lastId_), scOk); }
    void frame(int positions)
    {
        ASSERT_EQ(scBeginBatch(h_), scOk);
        for (int i = 0; i < positions; ++i) {
            const auto object = static_cast<DWORD>(expected_.size());
            const double block[8] = {static_cast<double>(object), 8.6, -0.05, 0.01, 3.1, 2500.0, -12.5, 140.0};
            ASSERT_EQ(SimConnect_SetDataOnSimObject(h_, 402, object, 0, 0, 64, block), scOk);
            Golden g(100, 0x10, ++lastId_);
            g.u32(16, 402).u32(20, object).u32(28, 1).u32(32, 64);
            for (int k = 0; k < 8; ++k) g.f64(36 + 8 * k, block[k]);
            expected_.push_back(g.bytes);
        }
        ASSERT_EQ(scEndBatch(h_), scOk);
        const auto object = static_cast<DWORD>(expected_.size());
        ASSERT_EQ(SimConnect_AIRemoveObject(h_, object, 105), scOk);
        expected_.push_back(Golden(24, 0x2C, ++lastId_).u32(16, object).u32(20, 105).bytes);
    }
    const std::vector<Bytes>& expected() const { return expected_; }

private:
    HANDLE h_;
    DWORD lastId_ = 0;
    std::vector<Bytes> expected_;
};

}  // namespace

// A send is written by the sending thread while nothing is in flight; what the
// socket does not take is left to the I/O thread, and what is sent meanwhile
// queues behind it. Either way every byte arrives as built, in order.
TEST_F(ScConnectionTest, DirectAndIoThreadWritesLeaveEveryByteInOrder)
{
    startServer();
    const std::string ipv4 =
        "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(server_->portIPv4()) + "\n";
    const std::string pipe = "[SimConnect]\nProtocol=Pipe\n";
    struct Case {
        const char* name;
        std::string cfg;
        bool peerPauses;
    } cases[] = {
        {"pipe, the peer reads all along", pipe, false},
        {"pipe, the peer stops reading for a while", pipe, true},
        {"IPv4, the peer reads all along", ipv4, false},
        {"IPv4, the peer stops reading for a while", ipv4, true},
    };
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        writeCfg("cwd", tc.cfg);
        HANDLE h = openClient();
        ASSERT_NE(h, nullptr);
        server_->clearPackets();
        const auto before = ScTransport::writeCounts();
        FrameSender sender(h);
        constexpr int readFrames = 20;
        if (tc.peerPauses) {
            server_->configure([](auto& o) { o.readClient = false; });
            // Frames until the socket takes no more, then a few behind the rest.
            for (int i = 0; i < 2000 && ScTransport::writeCounts().leftToIo == before.leftToIo; ++i) sender.frame(400);
            ASSERT_GT(ScTransport::writeCounts().leftToIo, before.leftToIo);
            for (int i = 0; i < 3; ++i) sender.frame(400);
            EXPECT_EQ(ScTransport::writeCounts().byIoThread, before.byIoThread);  // nothing could go yet
            server_->configure([](auto& o) { o.readClient = true; });
        } else {
            for (int i = 0; i < readFrames; ++i) {
                sender.frame(50);
                // Taken off the socket before the next frame: no write can be partial.
                ASSERT_TRUE(server_->waitForPackets(sender.expected().size()));
            }
        }
        ASSERT_TRUE(server_->waitForPackets(sender.expected().size()));
        const auto got = server_->packets();
        ASSERT_EQ(got.size(), sender.expected().size());
        std::size_t firstWrong = got.size();
        for (std::size_t i = 0; i < got.size() && firstWrong == got.size(); ++i) {
            if (got[i].raw != sender.expected()[i]) firstWrong = i;
        }
        EXPECT_EQ(firstWrong, got.size()) << "of " << got.size() << " packets";
        const auto after = ScTransport::writeCounts();
        if (tc.peerPauses) {
            EXPECT_GT(after.direct, before.direct);
            EXPECT_GT(after.byIoThread, before.byIoThread);  // went on where the socket stopped
        } else {
            // Each batch and each single send in one write of the sending
            // thread; the I/O thread was never woken to write.
            EXPECT_EQ(after.direct - before.direct, 2u * readFrames);
            EXPECT_EQ(after.leftToIo, before.leftToIo);
            EXPECT_EQ(after.byIoThread, before.byIoThread);
        }
        EXPECT_EQ(SimConnect_Close(h), scOk);
        ASSERT_TRUE(server_->waitForDisconnect());
    }
}
