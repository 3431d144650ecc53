#include "platform/net.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/clock.h"

namespace platform::net {
namespace {

using namespace std::chrono_literals;

std::mutex& lf_pipeDirMutex()
{
    static auto* m = new std::mutex;
    return *m;
}
std::filesystem::path& lf_pipeDirOverride()
{
    static auto* p = new std::filesystem::path;
    return *p;
}

void lf_setError(int* error, int value)
{
    if (error) *error = value;
}

// Connect that gives up after a bounded time (a silent host would otherwise
// hold the caller for the kernel's minutes-long timeout).
bool lf_connectBounded(Socket s, const sockaddr* addr, socklen_t len, int* error)
{
    setNonBlocking(s, true);
    if (::connect(s, addr, len) == 0) {
        setNonBlocking(s, false);
        return true;
    }
    if (errno != EINPROGRESS) {
        lf_setError(error, errno);
        return false;
    }
    pollfd p{s, POLLOUT, 0};
    const int n = ::poll(&p, 1, 5000);
    if (n <= 0) {
        lf_setError(error, n == 0 ? ETIMEDOUT : errno);
        return false;
    }
    int soError = 0;
    socklen_t l = sizeof soError;
    ::getsockopt(s, SOL_SOCKET, SO_ERROR, &soError, &l);
    if (soError != 0) {
        lf_setError(error, soError);
        return false;
    }
    setNonBlocking(s, false);
    return true;
}

// "\\server\pipe\rest" -> server and rest; false when it is no pipe name.
bool lf_splitPipeName(const std::string& full, std::string& server, std::string& rest)
{
    if (full.size() < 3 || full[0] != '\\' || full[1] != '\\') return false;
    const auto slash = full.find('\\', 2);
    if (slash == std::string::npos) return false;
    server = full.substr(2, slash - 2);
    static const std::string pipeWord = "pipe\\";
    if (full.compare(slash + 1, pipeWord.size(), pipeWord) != 0) return false;
    rest = full.substr(slash + 1 + pipeWord.size());
    return !rest.empty();
}

bool lf_fillUnixAddress(const std::filesystem::path& path, sockaddr_un& addr, int* error)
{
    const std::string p = path.string();
    if (p.empty()) {
        lf_setError(error, EINVAL);
        return false;
    }
    if (p.size() >= sizeof addr.sun_path) {
        lf_setError(error, ENAMETOOLONG);
        return false;
    }
    std::memset(&addr, 0, sizeof addr);
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, p.c_str(), p.size() + 1);
    return true;
}

}  // namespace

Socket connectTcp(Family family, const std::string& host, const std::string& port, bool noDelay, int* error)
{
    addrinfo hints{};
    hints.ai_family = family == Family::IPv6 ? AF_INET6 : AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    // An empty host is this computer, as Windows resolves it (a SimConnect.cfg
    // may give a port without an address); no host name gives the loopback.
    const int rc = ::getaddrinfo(host.empty() ? nullptr : host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0 || !found) {
        lf_setError(error, rc == EAI_SYSTEM ? errno : EHOSTUNREACH);
        return invalidSocket;
    }
    Socket s = ::socket(found->ai_family, found->ai_socktype | SOCK_CLOEXEC, found->ai_protocol);
    if (s < 0) {
        lf_setError(error, errno);
        ::freeaddrinfo(found);
        return invalidSocket;
    }
    const bool ok = lf_connectBounded(s, found->ai_addr, found->ai_addrlen, error);
    ::freeaddrinfo(found);
    if (!ok) {
        ::close(s);
        return invalidSocket;
    }
    setNoDelay(s, noDelay);
    return s;
}

std::filesystem::path pipeDirectory()
{
    {
        std::lock_guard lock(lf_pipeDirMutex());
        if (!lf_pipeDirOverride().empty()) return lf_pipeDirOverride();
    }
    if (const char* env = std::getenv("VRMT_PIPE_DIR"); env && *env) return env;
    return "/tmp";
}

void setPipeDirectory(const std::filesystem::path& dir)
{
    std::lock_guard lock(lf_pipeDirMutex());
    lf_pipeDirOverride() = dir;
}

std::filesystem::path pipeSocketPath(const std::string& fullPipeName)
{
    std::string server, rest;
    if (!lf_splitPipeName(fullPipeName, server, rest)) return {};
    for (char& c : rest) {
        if (c == '\\' || c == '/') c = '_';
    }
    return pipeDirectory() / rest;
}

Socket connectPipe(const std::string& fullPipeName, int* error)
{
    std::string server, rest;
    if (!lf_splitPipeName(fullPipeName, server, rest) || server != ".") {
        lf_setError(error, ENOENT);
        return invalidSocket;
    }
    sockaddr_un addr;
    if (!lf_fillUnixAddress(pipeSocketPath(fullPipeName), addr, error)) return invalidSocket;
    const auto deadline = clock().now() + 5000ms;
    for (;;) {
        Socket s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (s < 0) {
            lf_setError(error, errno);
            return invalidSocket;
        }
        if (::connect(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
            setNonBlocking(s, false);
            return s;
        }
        const int err = errno;
        ::close(s);
        // EAGAIN: every instance busy (the listener's queue is full); wait for it.
        if (err != EAGAIN || clock().now() >= deadline) {
            lf_setError(error, err);
            return invalidSocket;
        }
        clock().sleepFor(20ms);
    }
}

Listener listenTcp(Family family, std::uint16_t port, int* error)
{
    Listener l;
    const int af = family == Family::IPv6 ? AF_INET6 : AF_INET;
    Socket s = ::socket(af, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        lf_setError(error, errno);
        return l;
    }
    int one = 1;
    ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_storage ss{};
    socklen_t len = 0;
    if (af == AF_INET6) {
        ::setsockopt(s, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
        auto* a = reinterpret_cast<sockaddr_in6*>(&ss);
        a->sin6_family = AF_INET6;
        a->sin6_addr = in6addr_loopback;
        a->sin6_port = htons(port);
        len = sizeof *a;
    } else {
        auto* a = reinterpret_cast<sockaddr_in*>(&ss);
        a->sin_family = AF_INET;
        a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a->sin_port = htons(port);
        len = sizeof *a;
    }
    if (::bind(s, reinterpret_cast<sockaddr*>(&ss), len) != 0 || ::listen(s, 8) != 0) {
        lf_setError(error, errno);
        ::close(s);
        return l;
    }
    len = sizeof ss;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&ss), &len);
    l.fd = s;
    l.port = af == AF_INET6 ? ntohs(reinterpret_cast<sockaddr_in6*>(&ss)->sin6_port)
                            : ntohs(reinterpret_cast<sockaddr_in*>(&ss)->sin_port);
    return l;
}

Listener listenPipe(const std::string& fullPipeName, int* error)
{
    Listener l;
    sockaddr_un addr;
    const auto path = pipeSocketPath(fullPipeName);
    if (!lf_fillUnixAddress(path, addr, error)) return l;
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
    Socket s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) {
        lf_setError(error, errno);
        return l;
    }
    ::unlink(addr.sun_path);
    if (::bind(s, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0 || ::listen(s, 8) != 0) {
        lf_setError(error, errno);
        ::close(s);
        return l;
    }
    l.fd = s;
    return l;
}

Socket acceptClient(Socket listener, int* error)
{
    Socket s = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (s < 0) lf_setError(error, errno);
    return s;
}

void setNonBlocking(Socket s, bool on)
{
    const int flags = ::fcntl(s, F_GETFL, 0);
    if (flags < 0) return;
    ::fcntl(s, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK));
}

void setNoDelay(Socket s, bool on)
{
    int v = on ? 1 : 0;
    ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &v, sizeof v);  // fails harmlessly on a Unix socket
}

long sendSome(Socket s, std::span<const std::uint8_t> bytes, int* error)
{
    const long n = ::send(s, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0) lf_setError(error, errno);
    return n;
}

long recvSome(Socket s, std::span<std::uint8_t> into, int* error)
{
    const long n = ::recv(s, into.data(), into.size(), 0);
    if (n < 0) lf_setError(error, errno);
    return n;
}

bool sendAll(Socket s, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        int err = 0;
        const long n = sendSome(s, bytes, &err);
        if (n < 0) {
            if (err == EINTR) continue;
            if (err == EAGAIN) {
                pollfd p{s, POLLOUT, 0};
                if (::poll(&p, 1, 5000) <= 0) return false;
                continue;
            }
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return true;
}

void shutdownBoth(Socket s)
{
    if (s >= 0) ::shutdown(s, SHUT_RDWR);
}

void closeSocket(Socket s)
{
    if (s >= 0) ::close(s);
}

void resetAndClose(Socket s)
{
    if (s < 0) return;
    linger lg{1, 0};
    ::setsockopt(s, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    ::close(s);
}

int waitReadable(std::span<const Socket> sockets, int timeoutMs)
{
    std::vector<pollfd> fds;
    fds.reserve(sockets.size());
    for (Socket s : sockets) fds.push_back(pollfd{s, POLLIN, 0});
    for (;;) {
        const int n = ::poll(fds.data(), fds.size(), timeoutMs);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return -1;
        for (std::size_t i = 0; i < fds.size(); ++i) {
            if (fds[i].revents != 0) return static_cast<int>(i);
        }
        return -1;
    }
}

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

WakeEvent::~WakeEvent()
{
    if (fd_ >= 0) ::close(fd_);
}

void WakeEvent::signal()
{
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(fd_, &one, sizeof one);
}

void WakeEvent::drain()
{
    std::uint64_t v = 0;
    [[maybe_unused]] const auto n = ::read(fd_, &v, sizeof v);
}

}  // namespace platform::net
