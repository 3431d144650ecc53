#pragma once
// The connection below the SimConnect API: settings from SimConnect.cfg, the
// transport chain (pipe, IPv6, IPv4, default pipe), the byte stream with its
// I/O thread, the send queue (one write in flight), the receive buffer and its
// message cutter, close kinds with their codes, the received queue, dispatch
// and teardown.
//
// Sending: packets are built in the connection's send buffer and appended, as
// plain bytes, to the transport's queued bytes (reused, no allocation once
// grown). The queued bytes are swapped with the write buffer and written with
// one non-blocking call: by the sending thread itself when no write is in
// flight, else by the I/O thread, which also continues a partial write where it
// stopped (the sending thread wakes it only then). Inside a batch
// (beginBatch/endBatch: one simulator frame's flush) the bytes leave at the
// batch's end.

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/io_thread.h"
#include "platform/net.h"
#include "simlink/sc_packets.h"
#include "simlink/sc_types.h"

// A received message.
struct ScMessage {
    std::vector<std::uint8_t> bytes;
    std::uint32_t connectionId = 0;
};
using ScMessagePtr = std::shared_ptr<ScMessage>;

// How a cut ended: kind 0 when all is well, else the close kind and its code.
struct ScCloseReason {
    std::uint32_t kind = 0;
    std::uint32_t code = 0;
};

// The receive buffer and the message cutter (server messages: u32 size first).
class ScReceiveBuffer {
public:
    static constexpr std::size_t initialCapacity = 2048;
    static constexpr std::size_t growthStep = 2048;
    static constexpr std::size_t capacityLimit = 1u << 20;  // grows only while below

    explicit ScReceiveBuffer(std::uint32_t maxReceiveSize = sc::defaultMaxReceiveSize);
    void reset(std::uint32_t maxReceiveSize);

    // The free end of the buffer for the next read. A full buffer is compacted
    // when bytes were consumed, else grown by one step.
    std::span<std::uint8_t> freeSpace();
    // n bytes were read into freeSpace(): cuts every complete message and hands
    // its bytes to deliver (valid during the call only; deliver copies what it
    // keeps, and a std::bad_alloc it throws closes with noMemory). Stops at the
    // first framing fault and returns it.
    using Deliver = std::function<void(std::span<const std::uint8_t>)>;
    ScCloseReason commit(std::size_t n, const Deliver& deliver);

    std::size_t capacity() const { return buffer_.size(); }
    std::size_t buffered() const { return end_ - read_; }

private:
    std::vector<std::uint8_t> buffer_;
    std::size_t end_ = 0;
    std::size_t read_ = 0;
    std::uint32_t maxReceiveSize_;
};

// Close kinds.
namespace scclose {
inline constexpr std::uint32_t none = 0;
inline constexpr std::uint32_t tooLarge = 1;       // size above the limit
inline constexpr std::uint32_t tooSmall = 2;       // size 1 to 3
inline constexpr std::uint32_t noMemory = 3;
inline constexpr std::uint32_t endOfStream = 4;
inline constexpr std::uint32_t disconnected = 5;
inline constexpr std::uint32_t cancelled = 8;
inline constexpr std::uint32_t otherError = 9;
}  // namespace scclose

// One end of a byte stream.
class ScTransport : public platform::IoHandler, public std::enable_shared_from_this<ScTransport> {
public:
    enum Kind : std::uint32_t { TcpSocket = 0, NamedPipe = 1 };
    enum State : std::uint32_t { Closed = 0, Open = 2 };

    ScTransport();
    ~ScTransport() override;
    ScTransport(const ScTransport&) = delete;
    ScTransport& operator=(const ScTransport&) = delete;

    virtual void prepare();
    virtual void close(std::uint32_t kind, std::uint32_t code);
    // Each whole message of a run of reads, then once the run's end (or a
    // framing fault's, before the close).
    virtual void onMessage(std::span<const std::uint8_t> frame);
    virtual void onMessagesEnd() {}
    virtual void onIdle();

    // Opening; false when the attempt failed (the object is then torn down by its owner).
    bool openPipe(const std::string& fullPipeName, std::uint32_t maxReceiveSize);
    bool openSocket(platform::net::Family family, const std::string& host, const std::string& port,
                    bool disableNagle, std::uint32_t maxReceiveSize);

    // Queues bytes for writing (dropped when the transport is not open) and
    // writes what is queued at once, from the calling thread, when no write is
    // in flight; what the socket does not take (or all, while a write is in
    // flight) is left to the I/O thread, woken for it. Never blocks on the
    // socket. Callers keep sends apart from teardown (the global send lock).
    // queue() only appends.
    void send(std::span<const std::uint8_t> bytes);
    void queue(std::span<const std::uint8_t> bytes);
    // Ends the I/O thread (after it wrote what was queued) and closes the handle.
    void releaseIo();

    bool isOpen() const { return state_.load() == Open; }
    bool closedWithError() const { return closedWithError_.load(); }
    std::uint32_t closeCode() const { return closeCode_.load(); }
    std::uint32_t lastOsError() const { return lastOsError_.load(); }
    std::uint32_t connectionId() const { return connectionId_.load(); }
    std::uint32_t maxReceiveSize() const { return maxReceiveSize_; }
    std::size_t receiveCapacity() const { return receive_.capacity(); }

    // platform::IoHandler (the I/O thread)
    bool ioOpen() override { return isOpen(); }
    std::span<std::uint8_t> readSpace() override;
    void onRead(std::size_t n) override;
    void onReadsEnd() override;
    std::span<const std::uint8_t> pendingWrite() override;
    void onWritten(std::size_t n) override;
    int failedWrite() override { return failedWrite_.load(); }
    void onIoEnd(platform::IoEnd end, int osError) override;

    static std::size_t liveTransports();
    // Process-wide counts of writes: made by the sending thread, sends that
    // left bytes to the I/O thread (woken for them), made by the I/O thread.
    struct WriteCounts {
        std::uint64_t direct = 0;
        std::uint64_t leftToIo = 0;
        std::uint64_t byIoThread = 0;
    };
    static WriteCounts writeCounts();
    // Transports whose I/O has not yet been released.
    static std::size_t activeTransports();

protected:
    bool startIo(platform::net::Socket fd, Kind kind, std::uint32_t maxReceiveSize);

    Kind kind_ = TcpSocket;
    platform::net::Socket handle_ = platform::net::invalidSocket;
    std::atomic<std::uint32_t> state_{Closed};
    std::atomic<std::uint32_t> lastOsError_{0};
    std::atomic<std::uint32_t> closeCode_{0};
    std::atomic<bool> closedWithError_{false};
    std::atomic<std::uint32_t> connectionId_{0};
    bool disableNagle_ = false;
    std::uint32_t maxReceiveSize_ = sc::defaultMaxReceiveSize;
    int pendingOsError_ = 0;
    bool ioActive_ = false;  // OS error of the end being reported (I/O thread)

    std::mutex sendQueueMutex_;
    std::vector<std::uint8_t> queued_;  // under sendQueueMutex_
    // The write in flight and how much of it is written, under writeMutex_
    // (taken before sendQueueMutex_). Only the I/O thread writes the bytes of
    // a write in flight; a sending thread writes only when none is.
    std::mutex writeMutex_;
    std::vector<std::uint8_t> writing_;
    std::size_t written_ = 0;
    std::atomic<int> failedWrite_{0};  // errno of the sending thread's failed write
    void takeQueuedLocked();           // a finished write: the queued bytes become the next

    ScReceiveBuffer receive_;
    std::mutex ioMutex_;
    platform::IoThread io_;
};

// Says of a received message whether it may wait: such a message is queued
// without waking the dispatching thread, and is dispatched, in order, with the
// next message that wakes it (or once maxWaitingMessages wait).
using ScCanWait = bool (*)(const std::uint8_t* message, std::size_t size);
// Told on the I/O thread that the messages of a run of reads have joined the
// queue, and whether the dispatching thread is woken for them (`due`): true
// wakes it all the same. (A hook that hands a waiting message on to another
// thread does it here, once the message can be dispatched.)
using ScRunQueued = bool (*)(bool due);

// A connection: the transport, the received queue and the send buffer.
class ScConnection : public ScTransport {
public:
    ScConnection();
    ~ScConnection() override;

    void prepare() override;
    void close(std::uint32_t kind, std::uint32_t code) override;
    void onMessage(std::span<const std::uint8_t> frame) override;
    void onMessagesEnd() override;
    void onIdle() override {}
    // The last message read is an entry of a range answer with more entries to come.
    bool moreComing() override { return answerGoesOn_; }

    // Hands every waiting message to proc; the stored code once closed by an error.
    HRESULT dispatch(DispatchProc proc, void* context);
    // Sleeps until a message waits that may not wait (or too many that may),
    // the connection is closed or stop is requested (woken by the I/O thread).
    void waitForMessage(const std::stop_token& stop);
    // Any thread: the dispatching thread is due now, for whatever waits.
    void wakeDispatch();
    // Which received messages may wait (null: none, the default).
    void setCanWait(ScCanWait canWait) { canWait_ = canWait; }
    void setRunQueued(ScRunQueued runQueued) { runQueued_ = runQueued; }
    static constexpr std::size_t maxWaitingMessages = 32;
    // Dispatched messages are kept for reuse by the I/O thread, at most this
    // many and each only while its bytes fit the size below: a steady stream of
    // messages allocates nothing.
    static constexpr std::size_t maxSpareMessages = 1024;
    static constexpr std::size_t maxSpareMessageBytes = 2048;
    void dropReceived();
    std::size_t receivedCount();

    // Packet building (caller holds the global send lock).
    std::uint8_t* allocPacket(std::size_t size, sc::Op op);  // null: no room
    void givePacketBack(std::uint8_t* packet);                  // a text did not fit
    void sendPending();                                         // sends the built bytes (and what waits queued)
    // A packet was built: sent at once outside a batch; inside one the bytes
    // wait in the send buffer, and move on to the transport (without a wake)
    // only when the next packet would not fit.
    void packetBuilt();
    void makeRoom(std::size_t size);
    void beginBatch() { ++batchDepth_; }
    void endBatch();  // the last end of nested batches sends and wakes once
    std::uint32_t lastPacketId = 0;

    // Whom to wake for a new message or an error close (see scSetNotifyCallback).
    void setNotifyTargets(HWND window, DWORD message, HANDLE event);

    static std::size_t liveConnections();
    // Process-wide count of received messages that were allocated rather than
    // filled again.
    static std::uint64_t messagesMade();

    // True for the one caller that may tear this connection down (the first);
    // a second close of the same handle is refused instead of joining twice.
    bool claimTeardown() { return !tearingDown_.exchange(true); }

private:
    std::atomic<bool> tearingDown_{false};
    std::mutex receiveMutex_;
    std::condition_variable receivedCv_;  // with receiveMutex_
    std::vector<ScMessagePtr> received_;
    std::vector<ScMessagePtr> spareReceived_;  // empty; storage handed back by dispatch
    // The messages of the run of reads in progress (I/O thread only): they
    // join the received queue together at the run's end, under one lock and
    // with one wake, rather than one by one (a range answer is a message per
    // aircraft, some 730 bytes each, so a 2 KB read holds two or three).
    std::vector<ScMessagePtr> incoming_;
    bool incomingDue_ = false;  // one of them may not wait
    bool answerGoesOn_ = false;  // I/O thread only: see moreComing()
    std::vector<ScMessagePtr> spareMessages_;     // I/O thread only: dispatched messages to fill again
    std::vector<ScMessagePtr> returnedMessages_;  // under receiveMutex_: from dispatch, for spareMessages_
    ScMessagePtr takeSpareMessage();
    // A received message may not wait: the dispatching thread is due (under receiveMutex_).
    bool dispatchDue_ = false;
    std::atomic<ScCanWait> canWait_{nullptr};
    std::atomic<ScRunQueued> runQueued_{nullptr};
    void notify();
    std::atomic<HWND> notifyWindow_{nullptr};
    std::atomic<DWORD> notifyMessage_{0};
    std::atomic<HANDLE> notifyEvent_{nullptr};
    std::array<std::uint8_t, sc::sendBufferSize> sendBuffer_{};
    std::size_t writePos_ = 0;
    int batchDepth_ = 0;  // under the global send lock, as the send buffer
    void moveBuiltToTransport();
};
using ScConnectionPtr = std::shared_ptr<ScConnection>;

// Wakes a client for a new message or an error close, for a connection opened
// with a window and message id or with an event handle (called on the I/O
// thread). The program passes neither; null (the default) calls nothing.
using ScNotifyCallback = void (*)(HWND window, DWORD userMessage, HANDLE event);
void scSetNotifyCallback(ScNotifyCallback callback);

// --- settings and connecting ---

enum class ScProtocol { Auto, Pipe, IPv4, IPv6 };

struct ScSettings {
    ScProtocol protocol = ScProtocol::Auto;
    std::string address;
    std::string port;
    std::uint32_t maxReceiveSize = sc::defaultMaxReceiveSize;
    bool disableNagle = false;
};

// Where SimConnect.cfg is looked for and where the simulator's ports come from.
// Tests replace these; empty members fall back to the platform's.
struct ScEnvironment {
    // Public Documents, Documents, current directory: in this order.
    std::function<std::vector<std::filesystem::path>()> cfgFolders;
    // The registry port text of the family ("" when none).
    std::function<std::string(platform::net::Family)> registryPort;
};
void setScEnvironment(ScEnvironment env);

// Settings of a configuration index (0 "SimConnect", N "SimConnect.N", -1 none).
// False when index N names a section no SimConnect.cfg holds.
bool scReadSettings(int index, ScSettings& settings);
std::string scRegistryPort(platform::net::Family family);

// One transport attempt, for tests and tools: where each attempt went.
struct ScAttempt {
    bool pipe;
    platform::net::Family family;
    std::string address;
    std::string port;
};
// Connects by the transport chain. scInvalidArg for a missing section, scFail
// when no transport opened; attempts (optional) lists what was tried.
HRESULT scConnect(int index, ScConnectionPtr& out, std::vector<ScAttempt>* attempts = nullptr);

// The process-wide list of connections and the global send lock.
std::mutex& scSendLock();
// The live connection behind a handle (caller holds scSendLock()); null when closed.
ScConnectionPtr scFindConnection(HANDLE handle);
void scRegisterConnection(const ScConnectionPtr& c);
// Teardown: waits, drops the received queue, leaves the list, closes, ends the I/O.
void scTeardown(const ScConnectionPtr& c);
