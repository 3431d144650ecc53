#include "core/log.h"

#include <fstream>
#include <mutex>
#include <stdexcept>
#include <string>

#include "core/files.h"
#include "core/fmt.h"
#include "core/run_state.h"
#include "core/time.h"

namespace {

constexpr std::string_view lf_markedPrefix = "===> ";
constexpr std::string_view lf_indentPrefix = "          ";

class Logger {
public:
    void open(const std::filesystem::path& folder)
    {
        const std::filesystem::path file = folder.empty() ? std::filesystem::path("Log.txt") : folder / "Log.txt";
        {
            std::lock_guard lock(mutex_);
            stream_.close();
            stream_.clear();
        }
        gf_backupFile(file);
        {
            std::lock_guard lock(mutex_);
            stream_.open(file, std::ios::out | std::ios::trunc);
            if (!stream_.is_open()) {
                stream_.setstate(std::ios::failbit);
                throw std::runtime_error("Failed to write file " + file.string());
            }
        }
        write({}, banner());
    }

    void write(std::string_view prefix, std::string_view text)
    {
        std::lock_guard lock(mutex_);
        if (!stream_.is_open()) return;
        stream_ << prefix << text << '\n';
        stream_.flush();
    }

    bool isOpen()
    {
        std::lock_guard lock(mutex_);
        return stream_.is_open();
    }

    void close()
    {
        std::lock_guard lock(mutex_);
        stream_.close();
        stream_.clear();
    }

private:
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

    std::mutex mutex_;
    std::ofstream stream_;
};

// Never destroyed: detached threads may still log while the program exits.
Logger& lf_logger()
{
    static Logger& logger = *new Logger;
    return logger;
}

}  // namespace

void gf_openLog() { lf_logger().open({}); }
void gf_openLog(const std::filesystem::path& folder) { lf_logger().open(folder); }

void logLine(std::string_view text) { lf_logger().write({}, text); }
void logLineMarked(std::string_view text) { lf_logger().write(lf_markedPrefix, text); }
void logLineIndented(std::string_view text) { lf_logger().write(lf_indentPrefix, text); }

void logLineIfRunning(std::string_view text)
{
    if (anyStopFlag()) return;
    lf_logger().write({}, text);
}

bool isLogOpen() { return lf_logger().isOpen(); }
void closeLog() { lf_logger().close(); }
