#pragma once
// Downloads from the program's download site: versions.json, the two encrypted
// data files, and archived airport stand files. The one place that fetches files.
//
// Every download is written to "<target>.part" beside the target and renamed over
// the target only after a complete transfer with an HTTP status below 400, so a
// failed or cut transfer never replaces a good file and leaves nothing behind.
// Bytes are written as they come (binary), whatever the raw flag says.
//
// No download waits for ever: a connect time-out, an abort when fewer than a
// minimum number of bytes a second come over a whole window, and an abort as
// soon as the run is closing (closingFlag, windowClosedFlag) or the downloader's
// own stop flag is set. The window is measured on the program clock.
//
// A Downloader owns one transfer handle and is used by one thread at a time;
// concurrent downloads need separate downloaders. The settings below are
// process-wide and may be read and set from any thread.

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

// Limits of every download.
struct DownloadLimits {
    std::chrono::milliseconds connect{15000};
    // Abort when fewer than lowSpeedBytes a second came, on average, over a whole lowSpeedTime.
    long lowSpeedBytes = 1;
    std::chrono::milliseconds lowSpeedTime{30000};
    // How often a running transfer looks at the stop flags and the speed (real time).
    std::chrono::milliseconds pollInterval{20};
};
void setDownloadLimits(DownloadLimits limits);
DownloadLimits downloadLimits();

// The download site's base address, ending in "/" (".../downloads/"). Until one is
// set, the platform setting VRMT_DOWNLOAD_URL (a missing final "/" is added);
// empty when there is none: then every download fails at once.
void setDownloadBaseUrl(const std::string& url);
std::string downloadBaseUrl();
// The folder of the archived stand files: base + "P3D/"; empty without a base.
std::string downloadSiteFolderUrl();
// Forgets a set base address, so the platform setting is read again (tests).
void resetDownloadSettings();

// Looks at a complete download (the "<target>.part" file) before it replaces
// the target: empty when it is good, else what is wrong with it.
using DownloadCheck = std::function<std::string(const std::filesystem::path& part)>;

class Downloader {
public:
    // `stop` (optional, must outlive the downloader) ends a running transfer when set.
    explicit Downloader(const std::atomic<bool>* stop = nullptr);
    ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // Whether the transfer handle could be made.
    bool valid() const;
    // Why the last download failed (empty after a success).
    const std::string& lastError() const { return lastError_; }
    // The HTTP status of the last answer (0: none came).
    long lastStatus() const { return lastStatus_; }

private:
    friend bool downloadToFile(Downloader& downloader, const std::string& url, const std::filesystem::path& path,
                               bool raw, const DownloadCheck& check);
    bool transfer(const std::string& url, const std::filesystem::path& path, const DownloadCheck& check);

    struct Handles;
    std::unique_ptr<Handles> handles_;
    const std::atomic<bool>* stop_;
    std::string lastError_;
    long lastStatus_ = 0;
};

// Downloads `url` into `path` through "<path>.part". True when the transfer
// completed and the file is in place; false (the old file untouched, no .part
// left) otherwise. A file that cannot be written logs "Could not open output
// file: {}"; an exception on the way logs "Downloader exception: '{}', {} => {}".
// With a `check`, a complete download it finds wrong is logged (marked, naming
// the file) and deleted, and the old file stays: false.
bool downloadToFile(Downloader& downloader, const std::string& url, const std::filesystem::path& path, bool raw,
                    const DownloadCheck& check = {});

// Downloads base + `name` into `path` with a downloader of its own, through
// `check` when given; logs "Downloaded '{}' to '{}'" or, marked, "Downloading
// '{}' failed !".
bool downloadDataFile(const std::string& name, const std::filesystem::path& path, const DownloadCheck& check = {});
