#include "core/log.h"

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "core/files.h"
#include "core/fmt.h"
#include "core/run_state.h"
#include "core/time.h"
#include "platform/fatal_signals.h"
#include "platform/thread_name.h"

namespace {

constexpr std::string_view lf_markedPrefix = "===> ";
constexpr std::string_view lf_indentPrefix = "          ";
// Lines waiting for the writer; past this the caller writes them itself.
constexpr std::size_t lf_queueLimit = 1u << 20;
constexpr std::size_t lf_queueReserve = 64u * 1024;
// The writer writes what waits at the latest this long after it came.
constexpr auto lf_writerDelay = std::chrono::milliseconds(500);

bool lf_continuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence at text[i] (0: not one).
std::size_t lf_utf8Length(std::string_view text, std::size_t i)
{
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char c = at(i);
    const std::size_t left = text.size() - i;
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) return left >= 2 && lf_continuation(at(i + 1)) ? 2 : 0;
    if (c >= 0xE0 && c <= 0xEF) {
        if (left < 3 || !lf_continuation(at(i + 1)) || !lf_continuation(at(i + 2))) return 0;
        if (c == 0xE0 && at(i + 1) < 0xA0) return 0;  // overlong
        if (c == 0xED && at(i + 1) > 0x9F) return 0;  // surrogate
        return 3;
    }
    if (c >= 0xF0 && c <= 0xF4) {
        if (left < 4 || !lf_continuation(at(i + 1)) || !lf_continuation(at(i + 2)) || !lf_continuation(at(i + 3)))
            return 0;
        if (c == 0xF0 && at(i + 1) < 0x90) return 0;  // overlong
        if (c == 0xF4 && at(i + 1) > 0x8F) return 0;  // beyond U+10FFFF
        return 4;
    }
    return 0;
}

// A control byte that is not written as it is.
bool lf_escapedControl(unsigned char c) { return (c < 0x20 && c != '\t' && c != '\n') || c == 0x7F; }

// The length of the letter at text[i] that is written as it is (0: escape the byte).
std::size_t lf_plainLength(std::string_view text, std::size_t i)
{
    return lf_escapedControl(static_cast<unsigned char>(text[i])) ? 0 : lf_utf8Length(text, i);
}

class Logger {
public:
    void open(const std::filesystem::path& folder)
    {
        const std::filesystem::path file = folder.empty() ? std::filesystem::path("Log.txt") : folder / "Log.txt";
        {
            std::lock_guard fileLock(fileMutex_);
            writePendingLocked();
            std::lock_guard lock(mutex_);
            closeStreamLocked();
        }
        gf_backupFile(file);
        {
            std::lock_guard fileLock(fileMutex_);
            std::lock_guard lock(mutex_);
            stream_.open(file, std::ios::out | std::ios::trunc | std::ios::binary);
            if (!stream_.is_open()) {
                stream_.setstate(std::ios::failbit);
                throw std::runtime_error("Failed to write file " + file.string());
            }
            open_ = true;
            bytes_ = 0;
            capped_ = false;
            pending_.reserve(lf_queueReserve);
        }
        write({}, banner(), true);
    }

    // urgent: the line and all before it are on disk when this returns.
    void write(std::string_view prefix, std::string_view text, bool urgent)
    {
        bool writeNow = urgent;
        {
            std::lock_guard lock(mutex_);
            if (!open_ || capped_) return;
            const std::size_t before = pending_.size();
            pending_ += prefix;
            appendEscaped(pending_, text);
            pending_ += '\n';
            const std::size_t size = pending_.size() - before;
            if (bytes_ + size > logCapBytes) {
                pending_.resize(before);
                capped_ = true;
                pending_ += vr::format("{}Log.txt has reached its limit of {} MB: nothing more is written to it in "
                                       "this run\n",
                                       lf_markedPrefix, logCapBytes / (1024 * 1024));
                writeNow = true;
            } else {
                bytes_ += size;
            }
            if (!writer_.joinable() || pending_.size() >= lf_queueLimit) writeNow = true;
            if (!writeNow) {
                if (!writerDue_) {
                    writerDue_ = true;
                    cv_.notify_one();
                }
                return;
            }
        }
        flush();
    }

    // Writes every waiting line and flushes the file.
    void flush()
    {
        std::lock_guard fileLock(fileMutex_);
        writePendingLocked();
    }

    void startWriter()
    {
        std::lock_guard lock(mutex_);
        if (writer_.joinable()) return;
        stopWriter_ = false;
        writer_ = std::thread([this] {
            platform::nameThisThread("vrmt-log");
            runWriter();
        });
    }

    void stopWriter()
    {
        std::thread writer;
        {
            std::lock_guard lock(mutex_);
            if (!writer_.joinable()) return;
            stopWriter_ = true;
            writer = std::move(writer_);
        }
        cv_.notify_one();
        if (writer.get_id() == std::this_thread::get_id()) {
            writer.detach();
        } else {
            writer.join();
        }
        flush();
    }

    // The process is dying: waiting lines go out unless another thread holds
    // the file or the queue (each is given a moment: the writer holds the queue
    // briefly between its waits); never blocks for good.
    void flushForCrash()
    {
        for (int attempt = 0; attempt < 50; ++attempt) {
            {
                std::unique_lock fileLock(fileMutex_, std::try_to_lock);
                std::unique_lock lock(mutex_, std::defer_lock);
                if (fileLock.owns_lock() && lock.try_lock()) {
                    if (stream_.is_open() && !pending_.empty()) {
                        stream_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
                        pending_.clear();
                    }
                    stream_.flush();
                    return;
                }
            }
            platform::fatalPause();
        }
    }

    bool isOpen()
    {
        std::lock_guard lock(mutex_);
        return open_;
    }

    void close()
    {
        stopWriter();
        std::lock_guard fileLock(fileMutex_);
        writePendingLocked();
        std::lock_guard lock(mutex_);
        closeStreamLocked();
    }

private:
    // Under both locks: lines queued since the last write (another thread may
    // log between writePendingLocked and the closing) still go into this file,
    // never into the next one opened; then the file is closed.
    void closeStreamLocked()
    {
        if (stream_.is_open() && !pending_.empty())
            stream_.write(pending_.data(), static_cast<std::streamsize>(pending_.size()));
        pending_.clear();
        stream_.close();
        stream_.clear();
        open_ = false;
    }

    // Under fileMutex_: takes the waiting lines and writes them without mutex_.
    void writePendingLocked()
    {
        {
            std::lock_guard lock(mutex_);
            writerDue_ = false;
            if (pending_.empty() || !stream_.is_open()) return;
            writing_.swap(pending_);
            if (pending_.capacity() < lf_queueReserve) pending_.reserve(lf_queueReserve);
        }
        stream_.write(writing_.data(), static_cast<std::streamsize>(writing_.size()));
        stream_.flush();
        writing_.clear();
    }

    void runWriter()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            // Asleep while nothing waits; then gives the lines a moment to gather.
            cv_.wait(lock, [&] { return writerDue_ || stopWriter_; });
            if (stopWriter_) return;
            cv_.wait_for(lock, lf_writerDelay, [&] { return stopWriter_; });
            if (stopWriter_) return;
            lock.unlock();
            flush();
            lock.lock();
        }
    }

    // Bytes that are not UTF-8, the C0 controls but tab and line end, and DEL
    // become "\xNN" (hex, upper case): a NUL or an ESC from a user's file would
    // make Log.txt binary to grep and act on the terminal that shows it. A line
    // end stays: the program's own texts use it for blank lines.
    static void appendEscaped(std::string& out, std::string_view text)
    {
        std::size_t i = 0;
        while (i < text.size()) {
            const std::size_t n = lf_plainLength(text, i);
            if (n == 0) {
                static constexpr char hex[] = "0123456789ABCDEF";
                const auto c = static_cast<unsigned char>(text[i]);
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 0xF];
                ++i;
                continue;
            }
            out.append(text.data() + i, n);
            i += n;
        }
    }

    static std::string banner()
    {
        std::string time;
        try {
            time = formatTime(wallClockSeconds());
        } catch (const std::exception&) {
            time = "Invalid time";
        }
        return vr::format("{} (utc) {} version {} for {}", "VRMT_P3D", time, versionToString(programVersion),
                          "Prepar3D v5/v6");
    }

    // Lock order: fileMutex_ -> mutex_.
    std::mutex fileMutex_;  // the stream and writing_
    std::ofstream stream_;
    std::string writing_;
    std::mutex mutex_;  // everything below
    std::condition_variable cv_;
    bool open_ = false;
    std::string pending_;
    std::size_t bytes_ = 0;
    bool capped_ = false;
    bool writerDue_ = false;
    bool stopWriter_ = false;
    std::thread writer_;
};

// Never destroyed: detached threads may still log while the program exits.
Logger& lf_logger()
{
    static Logger& logger = *new Logger;
    return logger;
}

void lf_flushAtExit() { lf_logger().flush(); }
void lf_flushForCrash() { lf_logger().flushForCrash(); }

std::terminate_handler lf_previousTerminate = nullptr;
[[noreturn]] void lf_onTerminate()
{
    lf_logger().flushForCrash();
    if (lf_previousTerminate) lf_previousTerminate();
    std::abort();
}

}  // namespace

void gf_openLog() { lf_logger().open({}); }
void gf_openLog(const std::filesystem::path& folder) { lf_logger().open(folder); }

void logLine(std::string_view text) { lf_logger().write({}, text, false); }
void logLineMarked(std::string_view text) { lf_logger().write(lf_markedPrefix, text, true); }
void logLineIndented(std::string_view text) { lf_logger().write(lf_indentPrefix, text, false); }

void logLineIfRunning(std::string_view text)
{
    if (anyStopFlag()) return;
    lf_logger().write({}, text, false);
}

bool isLogOpen() { return lf_logger().isOpen(); }
void closeLog() { lf_logger().close(); }
void flushLog() { lf_logger().flush(); }

void startLogWriter()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        std::atexit(lf_flushAtExit);
        lf_previousTerminate = std::set_terminate(lf_onTerminate);
        platform::installFatalSignalHook(lf_flushForCrash);
    });
    lf_logger().startWriter();
}

void stopLogWriter() { lf_logger().stopWriter(); }
