#include "traffic_service/downloader.h"

#include <cstdio>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <system_error>

#include <curl/curl.h>

#include "core/fmt.h"
#include "core/run_state.h"
#include "platform/clock.h"
#include "platform/settings.h"
#include "traffic_service/curl_client.h"
#include "traffic_service/handover.h"

namespace {

struct DownloadSettings {
    DownloadLimits limits;
    std::optional<std::string> baseUrl;  // nullopt: the platform setting
};

std::mutex& lf_settingsMutex()
{
    static auto* m = new std::mutex;
    return *m;
}
DownloadSettings& lf_settings()
{
    static auto* s = new DownloadSettings;
    return *s;
}

std::string lf_withSlash(std::string url)
{
    if (!url.empty() && url.back() != '/') url += '/';
    return url;
}

// What one transfer writes to and counts. Closes its file when dropped on an exception.
struct Sink {
    std::FILE* file = nullptr;
    curl_off_t bytes = 0;
    ~Sink()
    {
        if (file) std::fclose(file);
    }
    bool close()
    {
        const bool ok = std::fclose(file) == 0;
        file = nullptr;
        return ok;
    }
};

// The easy handle on the multi handle for the life of one transfer.
class Attached {
public:
    Attached(CURLM* multi, CURL* easy) : multi_(multi), easy_(easy) { curl_multi_add_handle(multi_, easy_); }
    ~Attached() { curl_multi_remove_handle(multi_, easy_); }
    Attached(const Attached&) = delete;
    Attached& operator=(const Attached&) = delete;

private:
    CURLM* multi_;
    CURL* easy_;
};

std::size_t lf_writeToFile(char* data, std::size_t size, std::size_t count, void* target)
{
    auto* sink = static_cast<Sink*>(target);
    const std::size_t n = size * count;
    const std::size_t written = std::fwrite(data, 1, n, sink->file);
    sink->bytes += static_cast<curl_off_t>(written);
    return written;  // short: libcurl ends the transfer with a write error
}

std::filesystem::path lf_partPath(const std::filesystem::path& path)
{
    std::filesystem::path part = path;
    part += ".part";
    return part;
}

void lf_removeQuietly(const std::filesystem::path& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
}

}  // namespace

void setDownloadLimits(DownloadLimits limits)
{
    std::lock_guard lock(lf_settingsMutex());
    lf_settings().limits = limits;
}

DownloadLimits downloadLimits()
{
    std::lock_guard lock(lf_settingsMutex());
    return lf_settings().limits;
}

void setDownloadBaseUrl(const std::string& url)
{
    std::lock_guard lock(lf_settingsMutex());
    lf_settings().baseUrl = lf_withSlash(url);
}

std::string downloadBaseUrl()
{
    {
        std::lock_guard lock(lf_settingsMutex());
        if (lf_settings().baseUrl) return *lf_settings().baseUrl;
    }
    return lf_withSlash(platform::setting("VRMT_DOWNLOAD_URL"));
}

std::string downloadSiteFolderUrl()
{
    const std::string base = downloadBaseUrl();
    return base.empty() ? std::string() : base + "P3D/";
}

void resetDownloadSettings()
{
    std::lock_guard lock(lf_settingsMutex());
    lf_settings() = DownloadSettings{};
}

struct Downloader::Handles {
    CurlHandle easy;
    CURLM* multi = nullptr;
    ~Handles()
    {
        if (multi) curl_multi_cleanup(multi);
    }
};

Downloader::Downloader(const std::atomic<bool>* stop) : handles_(std::make_unique<Handles>()), stop_(stop)
{
    initServiceTransfers();
    handles_->easy.reset(curl_easy_init());
    handles_->multi = curl_multi_init();
}

Downloader::~Downloader() = default;

bool Downloader::valid() const { return handles_->easy && handles_->multi; }

bool Downloader::transfer(const std::string& url, const std::filesystem::path& path, const DownloadCheck& check)
{
    lastError_.clear();
    lastStatus_ = 0;
    if (url.empty() || url.back() == '/') {
        lastError_ = "no file to download";
        return false;
    }
    // Without a download site a file's path alone comes here ("archive/stock/EHAM.xml"),
    // which libcurl would read as a host named "archive": no request at all.
    if (url.find("://") == std::string::npos) {
        lastError_ = "no download site is set";
        return false;
    }
    const std::filesystem::path part = lf_partPath(path);
    Sink sink;
#ifdef _WIN32
    sink.file = _wfopen(part.c_str(), L"wb");
#else
    sink.file = std::fopen(part.c_str(), "wb");
#endif
    if (!sink.file) {
        serviceHandover().logLine(vr::format("Could not open output file: {}", path.string()));
        lastError_ = "cannot write " + part.string();
        return false;
    }

    CURL* h = handles_->easy.get();
    curl_easy_reset(h);
    const DownloadLimits limits = downloadLimits();
    curl_easy_setopt(h, CURLOPT_URL, url.c_str());
    curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(h, CURLOPT_USERAGENT, "VRMT");
    curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &lf_writeToFile);
    curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
    curl_easy_setopt(h, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
    curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText);

    // The transfer runs on the multi handle, so that between two short polls the
    // stop flags and the speed are looked at on the program clock.
    CURLM* multi = handles_->multi;
    const WakeableMulti wakeable(multi);  // a close wakes the poll at once
    std::optional<Attached> attached(std::in_place, multi, h);
    std::string abortReason;
    auto windowStart = platform::steadyNow();
    curl_off_t windowBytes = 0;
    const auto window = std::chrono::duration_cast<platform::Clock::Duration>(limits.lowSpeedTime);
    const double windowSeconds = std::chrono::duration<double>(limits.lowSpeedTime).count();
    for (;;) {
        int running = 0;
        const CURLMcode mc = curl_multi_perform(multi, &running);
        if (mc != CURLM_OK) {
            abortReason = curl_multi_strerror(mc);
            break;
        }
        if (running == 0) break;
        if (anyStopFlag() || (stop_ && stop_->load())) {
            abortReason = "stopped";
            break;
        }
        const auto now = platform::steadyNow();
        if (now - windowStart >= window) {
            if (static_cast<double>(sink.bytes - windowBytes) < static_cast<double>(limits.lowSpeedBytes) * windowSeconds) {
                abortReason = vr::format("fewer than {} bytes a second for {} s", limits.lowSpeedBytes, windowSeconds);
                break;
            }
            windowStart = now;
            windowBytes = sink.bytes;
        }
        curl_multi_poll(multi, nullptr, 0, static_cast<int>(limits.pollInterval.count()), nullptr);
    }
    CURLcode rc = CURLE_OK;
    bool finished = false;
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
        if (msg->msg == CURLMSG_DONE && msg->easy_handle == h) {
            rc = msg->data.result;
            finished = true;
        }
    }
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &lastStatus_);
    attached.reset();
    const bool closedWell = sink.close();

    bool ok = false;
    if (!abortReason.empty()) {
        lastError_ = abortReason;
    } else if (!finished) {
        lastError_ = "the transfer did not end";
    } else if (rc != CURLE_OK) {
        lastError_ = errorText[0] ? errorText : curl_easy_strerror(rc);
    } else if (lastStatus_ >= 400) {
        lastError_ = vr::format("HTTP status {}", lastStatus_);
    } else if (!closedWell) {
        lastError_ = "cannot write " + part.string();
    } else if (const std::string problem = check ? check(part) : std::string(); !problem.empty()) {
        // The site answered, but not with a file the program can read: it must
        // never replace the good one.
        lastError_ = vr::format("not a usable {} ({})", path.filename().string(), problem);
        serviceHandover().logLineMarked(vr::format("The downloaded {} is not usable ({}): deleted, the old file is kept",
                                                   path.string(), problem));
    } else {
        std::error_code ec;
        std::filesystem::rename(part, path, ec);
        if (ec)
            lastError_ = vr::format("cannot replace {}: {}", path.string(), ec.message());
        else
            ok = true;
    }
    if (!ok) {
        lf_removeQuietly(part);
        serviceHandover().logLine(vr::format("Download of '{}' failed: {}", url, lastError_));
    }
    return ok;
}

bool downloadToFile(Downloader& downloader, const std::string& url, const std::filesystem::path& path, bool /*raw*/,
                    const DownloadCheck& check)
{
    if (!downloader.valid()) return false;
    try {
        return downloader.transfer(url, path, check);
    } catch (const std::exception& e) {
        serviceHandover().logLine(vr::format("Downloader exception: '{}', {} => {}", e.what(), url, path.string()));
        lf_removeQuietly(lf_partPath(path));
        return false;
    }
}

bool downloadDataFile(const std::string& name, const std::filesystem::path& path, const DownloadCheck& check)
{
    const std::string base = downloadBaseUrl();
    const std::string url = base + name;
    Downloader downloader;
    const bool ok = !base.empty() && downloadToFile(downloader, url, path, true, check);
    if (ok)
        serviceHandover().logLine(vr::format("Downloaded '{}' to '{}'", url, path.string()));
    else
        serviceHandover().logLineMarked(vr::format("Downloading '{}' failed !", url));
    return ok;
}
