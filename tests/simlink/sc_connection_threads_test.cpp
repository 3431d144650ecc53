// The connection against the stand-in over real sockets: the transport chain,
// framing faults from the peer, the peer closing or resetting, closed handles.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "support/sim_fixture.h"

namespace {

using platform::net::Family;
using simstandin::Bytes;

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
        std::function<void(simstandin::FakeSimServer&)> act;
        std::uint32_t code;
    } cases[] = {
        {"peer closes (FIN)", [](auto& s) { s.closeClient(true); }, 0xC000013Eu},
        {"peer resets (RST)", [](auto& s) { s.closeClient(false); }, 0xC000020Du},
        {"size 3", [&](auto& s) { s.sendRaw(size3); }, 0x80004004u},
        {"size over MaxReceiveSize", [&](auto& s) { s.sendRaw(tooLarge); }, 0x80004004u},
    };
    startServer();
    // Over TCP: a Unix socket has no reset, its peer sees only an end of stream.
    writeCfg("cwd", "[SimConnect]\nProtocol=IPv4\nAddress=127.0.0.1\nPort=" + std::to_string(server_->portIPv4()));
    for (const auto& tc : cases) {
        SCOPED_TRACE(tc.name);
        received_.clear();
        HANDLE h = openClient();
        ASSERT_NE(h, nullptr);
        tc.act(*server_);
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
        ASSERT_TRUE(server_->waitForDisconnect());
    }
    EXPECT_EQ(server_->acceptedCount(), 4u);  // accepted again after every disconnect
}

std::atomic<int> lf_notified{0};
std::atomic<HANDLE> lf_notifiedEvent{nullptr};

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
