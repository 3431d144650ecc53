#include "simlink/sc_transport.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

std::atomic<std::size_t> lf_transportCount{0};
std::atomic<std::size_t> lf_connectionCount{0};
std::atomic<std::size_t> lf_activeCount{0};
std::atomic<std::uint32_t> lf_connectionIdCounter{0};
std::atomic<std::uint64_t> lf_directWrites{0};
std::atomic<std::uint64_t> lf_messagesMade{0};  // received messages allocated, not reused
std::atomic<std::uint64_t> lf_writesLeftToIo{0};
std::atomic<std::uint64_t> lf_ioThreadWrites{0};
std::atomic<ScNotifyCallback> lf_notifyCallback{nullptr};

std::uint32_t lf_nextConnectionId()
{
    for (;;) {
        const std::uint32_t id = ++lf_connectionIdCounter;
        if (id != 0) return id;
    }
}

}  // namespace

// --- ScReceiveBuffer ---

ScReceiveBuffer::ScReceiveBuffer(std::uint32_t maxReceiveSize)
{
    reset(maxReceiveSize);
}

void ScReceiveBuffer::reset(std::uint32_t maxReceiveSize)
{
    buffer_.assign(initialCapacity, 0);
    end_ = read_ = 0;
    maxReceiveSize_ = maxReceiveSize;
}

std::span<std::uint8_t> ScReceiveBuffer::freeSpace()
{
    if (read_ == end_) read_ = end_ = 0;
    if (end_ == buffer_.size()) {
        if (read_ > 0) {
            std::memmove(buffer_.data(), buffer_.data() + read_, end_ - read_);
            end_ -= read_;
            read_ = 0;
        } else if (buffer_.size() < capacityLimit) {
            buffer_.resize(buffer_.size() + growthStep);
        }
    }
    return {buffer_.data() + end_, buffer_.size() - end_};
}

ScCloseReason ScReceiveBuffer::commit(std::size_t n, const Deliver& deliver)
{
    end_ = std::min(end_ + n, buffer_.size());
    for (;;) {
        const std::size_t avail = end_ - read_;
        if (avail < 4) break;
        const std::uint32_t size = sc::getU32(buffer_.data() + read_);
        if (size == 0) {
            // Padding comes in whole 4-byte words: skipping it word by word keeps
            // the zero low byte of a following size (256, 512, ...) in place.
            read_ += 4;
            continue;
        }
        // A message the buffer can never hold would stall the stream for good.
        if (size > maxReceiveSize_ || size > capacityLimit)
            return {scclose::tooLarge, static_cast<std::uint32_t>(scAbort)};
        if (size < 4) return {scclose::tooSmall, static_cast<std::uint32_t>(scAbort)};
        if (avail < size) break;
        try {
            deliver(std::span<const std::uint8_t>(buffer_.data() + read_, size));
        } catch (const std::bad_alloc&) {
            return {scclose::noMemory, static_cast<std::uint32_t>(scOutOfMemory)};
        }
        read_ += size;
    }
    if (read_ == end_) read_ = end_ = 0;
    return {};
}

// --- ScTransport ---

ScTransport::ScTransport()
{
    ++lf_transportCount;
}

ScTransport::~ScTransport()
{
    io_.stop();
    platform::net::closeSocket(handle_);
    if (ioActive_) --lf_activeCount;
    --lf_transportCount;
}

std::size_t ScTransport::liveTransports()
{
    return lf_transportCount.load();
}

std::size_t ScTransport::activeTransports()
{
    return lf_activeCount.load();
}

ScTransport::WriteCounts ScTransport::writeCounts()
{
    return {lf_directWrites.load(), lf_writesLeftToIo.load(), lf_ioThreadWrites.load()};
}

void ScTransport::prepare()
{
    {
        std::lock_guard write(writeMutex_);
        std::lock_guard lock(sendQueueMutex_);
        queued_.clear();
        writing_.clear();
        written_ = 0;
        failedWrite_ = 0;
    }
    connectionId_ = lf_nextConnectionId();
    receive_.reset(maxReceiveSize_);
}

void ScTransport::close(std::uint32_t kind, std::uint32_t code)
{
    {
        std::lock_guard lock(ioMutex_);
        const bool wasOpen = state_.exchange(Closed) == Open;
        connectionId_ = 0;
        if (wasOpen) {
            if (kind != scclose::none) {
                lastOsError_ = static_cast<std::uint32_t>(pendingOsError_);
                closeCode_ = code;
                closedWithError_ = true;
            }
            platform::net::shutdownBoth(handle_);
        }
    }
    io_.wake();
}

void ScTransport::onMessage(std::span<const std::uint8_t>) {}

void ScTransport::onIdle() {}

bool ScTransport::startIo(platform::net::Socket fd, Kind kind, std::uint32_t maxReceiveSize)
{
    handle_ = fd;
    kind_ = kind;
    maxReceiveSize_ = maxReceiveSize;
    prepare();
    ioActive_ = true;
    ++lf_activeCount;
    platform::net::setNonBlocking(fd, true);
    io_.start(fd, shared_from_this());
    return true;
}

bool ScTransport::openPipe(const std::string& fullPipeName, std::uint32_t maxReceiveSize)
{
    int err = 0;
    const auto fd = platform::net::connectPipe(fullPipeName, &err);
    if (fd == platform::net::invalidSocket) {
        lastOsError_ = static_cast<std::uint32_t>(err);
        return false;
    }
    return startIo(fd, NamedPipe, maxReceiveSize);
}

bool ScTransport::openSocket(platform::net::Family family, const std::string& host, const std::string& port,
                             bool disableNagle, std::uint32_t maxReceiveSize)
{
    int err = 0;
    const auto fd = platform::net::connectTcp(family, host, port, false, &err);
    if (fd == platform::net::invalidSocket) {
        lastOsError_ = static_cast<std::uint32_t>(err);
        return false;
    }
    disableNagle_ = disableNagle;
    return startIo(fd, TcpSocket, maxReceiveSize);
}

void ScTransport::queue(std::span<const std::uint8_t> bytes)
{
    if (!isOpen() || bytes.empty()) return;
    std::lock_guard lock(sendQueueMutex_);
    queued_.insert(queued_.end(), bytes.begin(), bytes.end());
}

void ScTransport::send(std::span<const std::uint8_t> bytes)
{
    if (!isOpen()) return;
    {
        // Queued under the write lock: the I/O thread cannot take these bytes
        // between the queueing and the look at the write in flight.
        std::lock_guard write(writeMutex_);
        queue(bytes);
        if (written_ < writing_.size() || failedWrite_.load() != 0) {
            // The I/O thread goes on with the write in flight and then takes the
            // queued bytes: earlier bytes leave first.
            if (bytes.empty()) return;
        } else {
            takeQueuedLocked();
            if (writing_.empty()) return;
            int err = 0;
            const long n = platform::net::sendSome(handle_, writing_, &err);
            if (n > 0) {
                written_ = std::min(static_cast<std::size_t>(n), writing_.size());
            } else if (n < 0 && !platform::ioWouldBlock(err)) {
                failedWrite_ = err;  // the I/O thread ends the stream for it, as for its own
            }
            ++lf_directWrites;
            if (written_ >= writing_.size()) return;
        }
    }
    // Queued behind a write in flight, or what the socket did not take.
    ++lf_writesLeftToIo;
    io_.wake();
}

void ScTransport::releaseIo()
{
    io_.stop();  // writes out what is queued first
    close(scclose::none, 0);
    platform::net::closeSocket(handle_);
    handle_ = platform::net::invalidSocket;
    if (ioActive_) {
        ioActive_ = false;
        --lf_activeCount;
    }
}

std::span<std::uint8_t> ScTransport::readSpace()
{
    return receive_.freeSpace();
}

void ScTransport::onRead(std::size_t n)
{
    const ScCloseReason r = receive_.commit(n, [this](std::span<const std::uint8_t> frame) { onMessage(frame); });
    if (r.kind == scclose::none) return;  // the run's end hands the messages on
    onMessagesEnd();  // the whole messages before a framing fault are still dispatched
    close(r.kind, r.code);
}

void ScTransport::onReadsEnd()
{
    onMessagesEnd();
}

void ScTransport::takeQueuedLocked()
{
    // Everything queued since the last write becomes the next one (both
    // buffers keep their capacity).
    writing_.clear();
    written_ = 0;
    std::lock_guard lock(sendQueueMutex_);
    writing_.swap(queued_);
}

std::span<const std::uint8_t> ScTransport::pendingWrite()
{
    // The span stays valid outside the lock: while a write is in flight, only
    // this thread changes writing_.
    std::lock_guard write(writeMutex_);
    if (written_ >= writing_.size()) takeQueuedLocked();
    return std::span<const std::uint8_t>(writing_).subspan(written_);
}

void ScTransport::onWritten(std::size_t n)
{
    std::lock_guard write(writeMutex_);
    written_ = std::min(written_ + n, writing_.size());
    ++lf_ioThreadWrites;
}

void ScTransport::onIoEnd(platform::IoEnd end, int osError)
{
    const platform::IoCloseCode c = platform::ioCloseCode(end);
    {
        std::lock_guard lock(ioMutex_);
        pendingOsError_ = osError;
    }
    close(c.kind, c.code);
}

// --- ScConnection ---

ScConnection::ScConnection()
{
    ++lf_connectionCount;
}

ScConnection::~ScConnection()
{
    --lf_connectionCount;
}

std::size_t ScConnection::liveConnections()
{
    return lf_connectionCount.load();
}

std::uint64_t ScConnection::messagesMade()
{
    return lf_messagesMade.load();
}

void ScConnection::prepare()
{
    ScTransport::prepare();
    if (kind_ == TcpSocket && disableNagle_) platform::net::setNoDelay(handle_, true);
    state_ = Open;
}

void scSetNotifyCallback(ScNotifyCallback callback)
{
    lf_notifyCallback = callback;
}

void ScConnection::setNotifyTargets(HWND window, DWORD message, HANDLE event)
{
    notifyWindow_ = window;
    notifyMessage_ = message;
    notifyEvent_ = event;
}

void ScConnection::notify()
{
    const ScNotifyCallback cb = lf_notifyCallback.load();
    const HWND window = notifyWindow_.load();
    const DWORD message = notifyMessage_.load();
    const HANDLE event = notifyEvent_.load();
    if (cb && ((window && message) || event)) cb(window, message, event);
}

void ScConnection::close(std::uint32_t kind, std::uint32_t code)
{
    const bool wasOpen = isOpen();
    ScTransport::close(kind, code);
    {
        std::lock_guard lock(receiveMutex_);  // a waiter tests isOpen() under it
    }
    receivedCv_.notify_all();
    if (wasOpen && kind != scclose::none) notify();  // the next dispatch reports the code
}

namespace {

// An entry "n of m" (1-based) of a range answer with n < m: entries n+1 to m follow.
bool lf_answerGoesOn(std::span<const std::uint8_t> message)
{
    constexpr std::size_t entryAt = offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwentrynumber);
    constexpr std::size_t outOfAt = offsetof(SIMCONNECT_RECV_SIMOBJECT_DATA, dwoutof);
    return message.size() >= outOfAt + 4 &&
           sc::getU32(message.data() + 8) == SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE &&
           sc::getU32(message.data() + entryAt) < sc::getU32(message.data() + outOfAt);
}

}  // namespace

ScMessagePtr ScConnection::takeSpareMessage()
{
    if (spareMessages_.empty()) {
        ++lf_messagesMade;
        return std::make_shared<ScMessage>();
    }
    ScMessagePtr msg = std::move(spareMessages_.back());
    spareMessages_.pop_back();
    return msg;
}

void ScConnection::onMessage(std::span<const std::uint8_t> frame)
{
    const ScCanWait canWait = canWait_.load();
    if (!canWait || !canWait(frame.data(), frame.size())) incomingDue_ = true;
    answerGoesOn_ = lf_answerGoesOn(frame);
    ScMessagePtr msg = takeSpareMessage();
    msg->bytes.assign(frame.begin(), frame.end());
    msg->connectionId = connectionId();
    incoming_.push_back(std::move(msg));
}

void ScConnection::onMessagesEnd()
{
    if (incoming_.empty()) return;
    bool due = false;
    {
        std::lock_guard lock(receiveMutex_);
        if (received_.empty()) {
            received_.swap(incoming_);
        } else {
            received_.insert(received_.end(), std::make_move_iterator(incoming_.begin()),
                             std::make_move_iterator(incoming_.end()));
            incoming_.clear();
        }
        // The messages dispatch gave back fill the next runs.
        if (spareMessages_.empty()) {
            spareMessages_.swap(returnedMessages_);
        } else {
            for (ScMessagePtr& msg : returnedMessages_) {
                if (spareMessages_.size() >= maxSpareMessages) break;
                spareMessages_.push_back(std::move(msg));
            }
            returnedMessages_.clear();
        }
        due = incomingDue_ || received_.size() >= maxWaitingMessages;
        incomingDue_ = false;
    }
    // Only messages that may wait: they go with the next wake, no thread switch
    // for them, unless the hook, told now that they are queued, wants one.
    const ScRunQueued runQueued = runQueued_.load();
    if (runQueued && runQueued(due)) due = true;
    if (!due) return;
    {
        std::lock_guard lock(receiveMutex_);
        dispatchDue_ = true;
    }
    receivedCv_.notify_all();
    notify();
}

void ScConnection::waitForMessage(const std::stop_token& stop)
{
    // A plain condition variable: the waker's notify comes after it let go of
    // receiveMutex_, so the woken thread finds the mutex free (one futex call
    // a wake, where condition_variable_any's inner mutex cost two). The stop
    // callback is made before the lock is taken: a stop already requested runs
    // it here, at once.
    const std::stop_callback wakeOnStop(stop, [this] {
        {
            std::lock_guard lock(receiveMutex_);  // the waiter looks at the stop under it
        }
        receivedCv_.notify_all();
    });
    std::unique_lock lock(receiveMutex_);
    receivedCv_.wait(lock, [&] { return dispatchDue_ || !isOpen() || stop.stop_requested(); });
}

void ScConnection::wakeDispatch()
{
    {
        std::lock_guard lock(receiveMutex_);
        dispatchDue_ = true;
    }
    receivedCv_.notify_all();
}

HRESULT ScConnection::dispatch(DispatchProc proc, void* context)
{
    if (!proc) return scFail;
    for (;;) {
        // Everything waiting is taken under one lock (the I/O thread meanwhile
        // fills a fresh list) and handed to proc outside it, in order.
        std::vector<ScMessagePtr> batch;
        {
            std::lock_guard lock(receiveMutex_);
            if (received_.empty()) {
                dispatchDue_ = false;  // all dispatched
                break;
            }
            batch.swap(received_);
            received_.swap(spareReceived_);  // the storage of an earlier batch
        }
        std::size_t next = 0;
        try {
            for (; next < batch.size(); ++next) {
                const std::vector<std::uint8_t>& bytes = batch[next]->bytes;
                if (bytes.size() >= sc::serverHeaderSize) {
                    proc(reinterpret_cast<SIMCONNECT_RECV*>(const_cast<std::uint8_t*>(bytes.data())),
                         static_cast<DWORD>(bytes.size()), context);
                }
            }
        } catch (...) {
            // What proc did not see stays first in the queue, as if taken one by one.
            std::lock_guard lock(receiveMutex_);
            received_.insert(received_.begin(), std::make_move_iterator(batch.begin() + next + 1),
                             std::make_move_iterator(batch.end()));
            throw;
        }
        std::lock_guard lock(receiveMutex_);
        for (ScMessagePtr& msg : batch) {
            if (returnedMessages_.size() >= maxSpareMessages) break;
            if (msg.use_count() == 1 && msg->bytes.capacity() <= maxSpareMessageBytes)
                returnedMessages_.push_back(std::move(msg));
        }
        batch.clear();
        if (batch.capacity() > spareReceived_.capacity()) spareReceived_.swap(batch);
    }
    return closedWithError() ? static_cast<HRESULT>(closeCode()) : scOk;
}

void ScConnection::dropReceived()
{
    std::lock_guard lock(receiveMutex_);
    received_.clear();
    dispatchDue_ = false;
}

std::size_t ScConnection::receivedCount()
{
    std::lock_guard lock(receiveMutex_);
    return received_.size();
}

std::uint8_t* ScConnection::allocPacket(std::size_t size, sc::Op op)
{
    if (size < sc::clientHeaderSize || size > sendBuffer_.size() - writePos_) return nullptr;
    std::uint8_t* p = sendBuffer_.data() + writePos_;
    std::memset(p, 0, size);
    writePos_ += size;
    ++lastPacketId;
    if (lastPacketId == 0) lastPacketId = 1;  // 0 is never used
    sc::putU32(p, static_cast<std::uint32_t>(size));
    sc::putU32(p + 4, sc::protocolVersion);
    sc::putU32(p + 8, sc::opBase + static_cast<std::uint32_t>(op));
    sc::putU32(p + 12, lastPacketId);
    return p;
}

void ScConnection::givePacketBack(std::uint8_t* packet)
{
    const std::size_t at = static_cast<std::size_t>(packet - sendBuffer_.data());
    std::memset(packet, 0, writePos_ - at);
    writePos_ = at;
}

void ScConnection::moveBuiltToTransport()
{
    if (writePos_ == 0) return;
    queue(std::span<const std::uint8_t>(sendBuffer_.data(), writePos_));
    std::memset(sendBuffer_.data(), 0, writePos_);
    writePos_ = 0;
}

void ScConnection::sendPending()
{
    // Sends even with nothing built: bytes a batch moved on to the transport
    // wait in the queue when its last packet was given back (a text too long).
    send(std::span<const std::uint8_t>(sendBuffer_.data(), writePos_));
    std::memset(sendBuffer_.data(), 0, writePos_);
    writePos_ = 0;
}

void ScConnection::packetBuilt()
{
    if (batchDepth_ == 0) sendPending();
}

void ScConnection::makeRoom(std::size_t size)
{
    if (size > sendBuffer_.size() - writePos_) moveBuiltToTransport();
}

void ScConnection::endBatch()
{
    if (batchDepth_ > 0 && --batchDepth_ == 0) sendPending();
}
