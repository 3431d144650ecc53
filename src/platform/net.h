#pragma once
// Byte-stream sockets for the simulator link: TCP over IPv4/IPv6, and the
// simulator's named pipe, which on POSIX is a Unix-domain stream socket whose
// path is derived from the pipe's name inside one folder (settable for tests).
// Server-side helpers serve the simulator stand-in.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace platform::net {

using Socket = int;
inline constexpr Socket invalidSocket = -1;

enum class Family { IPv4, IPv6 };

// --- client side ---

// Resolves host and port for the family (stream, TCP), takes the first result
// and connects (an empty host is this computer: the loopback). noDelay sets TCP_NODELAY. Returns the connected socket or
// invalidSocket with *error set to the OS error.
Socket connectTcp(Family family, const std::string& host, const std::string& port, bool noDelay, int* error);

// Opens a pipe named "\\server\pipe\name". Only the local server "." exists;
// any other server fails with ENOENT. A busy pipe (EAGAIN: the listener's queue
// is full) is retried for up to 5000 ms of platform::clock() time.
Socket connectPipe(const std::string& fullPipeName, int* error);

// The folder that holds the pipes' sockets: $VRMT_PIPE_DIR, else /tmp.
std::filesystem::path pipeDirectory();
// Tests point the pipes at a folder of their own (empty path: back to the default).
void setPipeDirectory(const std::filesystem::path& dir);
// "\\.\pipe\Lockheed Martin Prepar3D v5\SimConnect" -> <pipeDirectory>/"Lockheed Martin Prepar3D v5_SimConnect".
// Empty when the name is not a pipe name.
std::filesystem::path pipeSocketPath(const std::string& fullPipeName);

// --- server side (loopback only) ---

struct Listener {
    Socket fd = invalidSocket;
    std::uint16_t port = 0;  // TCP: the bound port
};
// Listens on 127.0.0.1 or ::1; port 0 picks an ephemeral one.
Listener listenTcp(Family family, std::uint16_t port, int* error);
// Listens on the socket path of the pipe (a stale file there is removed first).
Listener listenPipe(const std::string& fullPipeName, int* error);
Socket acceptClient(Socket listener, int* error);

// --- common ---

void setNonBlocking(Socket s, bool on);
void setNoDelay(Socket s, bool on);
// One send/recv; the result as the OS gives it (-1 with *error set on failure).
// Sending never raises SIGPIPE.
long sendSome(Socket s, std::span<const std::uint8_t> bytes, int* error);
long recvSome(Socket s, std::span<std::uint8_t> into, int* error);
// Sends everything (blocking socket); false on error.
bool sendAll(Socket s, std::span<const std::uint8_t> bytes);
void shutdownBoth(Socket s);
void closeSocket(Socket s);
// Closes with SO_LINGER 0, so the peer sees a connection reset.
void resetAndClose(Socket s);

// Waits (at most timeoutMs, -1 for no limit) until one of the sockets is
// readable or hung up; returns its index, -1 on timeout.
int waitReadable(std::span<const Socket> sockets, int timeoutMs);

// A descriptor that a thread waiting in waitReadable/poll can be woken with.
class WakeEvent {
public:
    WakeEvent();
    ~WakeEvent();
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;
    void signal();
    void drain();
    Socket fd() const { return fd_; }

private:
    Socket fd_;
};

}  // namespace platform::net
