#pragma once
// Recording stand-in of the application shell for tests of every subsystem.
// Constructing it installs it; destroying it restores the headless default.
// Safe to call from any thread.

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "core/app_services.h"

// A thread-safe list of recorded calls, "name arg ..." each.
class RecordedCalls {
public:
    void add(std::string call)
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    std::vector<std::string> get() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::size_t count(const std::string& prefix) const
    {
        std::lock_guard lock(mutex_);
        std::size_t n = 0;
        for (const auto& c : calls_) n += c.rfind(prefix, 0) == 0;
        return n;
    }
    void clear()
    {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> calls_;
};

class AppServicesFake : public AppServices {
public:
    AppServicesFake() { setAppServices(this); }
    ~AppServicesFake() override { setAppServices(nullptr); }
    AppServicesFake(const AppServicesFake&) = delete;
    AppServicesFake& operator=(const AppServicesFake&) = delete;

    struct Message {
        std::string text;
        bool log;
        bool operator==(const Message&) const = default;
    };

    void showMessage(const std::string& text, bool log) override
    {
        std::lock_guard lock(mutex_);
        messages_.push_back({text, log});
    }
    void clearMessage() override
    {
        std::lock_guard lock(mutex_);
        ++clears_;
    }
    void showError(const std::string& text) override
    {
        std::lock_guard lock(mutex_);
        errors_.push_back(text);
    }
    void repaintStatusPanel() override
    {
        std::lock_guard lock(mutex_);
        ++repaints_;
    }
    void handleVersionUpdate() override
    {
        std::lock_guard lock(mutex_);
        ++versionUpdates_;
    }
    // Writes the bytes mapped to the URL (a complete transfer); a URL without
    // bytes fails (not on the site when so marked) and leaves the target as it
    // was. Every call is recorded in downloadCalls.
    bool downloadToFile(const std::string& url, const std::filesystem::path& path, bool raw) override
    {
        return downloadFile(url, path, raw) == DownloadResult::done;
    }
    DownloadResult downloadFile(const std::string& url, const std::filesystem::path& path, bool raw) override
    {
        std::optional<std::string> bytes;
        {
            std::lock_guard lock(mutex_);
            downloadCalls_.push_back(url);
            rawFlags_.push_back(raw);
            auto it = downloads_.find(url);
            if (it != downloads_.end()) bytes = it->second;
            if (!bytes && notOnSite_.count(url) != 0) return DownloadResult::notOnSite;
        }
        if (!bytes) return DownloadResult::failed;
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << *bytes;
        return out.flush() ? DownloadResult::done : DownloadResult::failed;
    }
    std::string downloadFolderUrl() override
    {
        std::lock_guard lock(mutex_);
        return folderUrl_;
    }
    void showMainControlsEnabled(bool on) override
    {
        std::lock_guard lock(mutex_);
        controlStates_.push_back(on);
    }
    void refreshParkingControls() override
    {
        std::lock_guard lock(mutex_);
        ++parkingControlRefreshes_;
    }
    int parkingControlRefreshes() const
    {
        std::lock_guard lock(mutex_);
        return parkingControlRefreshes_;
    }
    // Every showMainControlsEnabled value in order.
    std::vector<bool> mainControlStates() const
    {
        std::lock_guard lock(mutex_);
        return controlStates_;
    }

    // The download site: bytes served for a URL (every other URL fails).
    void serve(const std::string& url, std::string bytes)
    {
        std::lock_guard lock(mutex_);
        downloads_[url] = std::move(bytes);
    }
    // The site answers that it does not have the URL's file (HTTP 404).
    void serveNotOnSite(const std::string& url)
    {
        std::lock_guard lock(mutex_);
        notOnSite_.insert(url);
    }
    void setDownloadFolderUrl(std::string url)
    {
        std::lock_guard lock(mutex_);
        folderUrl_ = std::move(url);
    }
    std::vector<std::string> downloadCalls() const
    {
        std::lock_guard lock(mutex_);
        return downloadCalls_;
    }
    std::vector<bool> downloadRawFlags() const
    {
        std::lock_guard lock(mutex_);
        return rawFlags_;
    }

    std::vector<Message> messages() const
    {
        std::lock_guard lock(mutex_);
        return messages_;
    }
    std::vector<std::string> errors() const
    {
        std::lock_guard lock(mutex_);
        return errors_;
    }
    int clears() const
    {
        std::lock_guard lock(mutex_);
        return clears_;
    }
    int repaints() const
    {
        std::lock_guard lock(mutex_);
        return repaints_;
    }
    int versionUpdates() const
    {
        std::lock_guard lock(mutex_);
        return versionUpdates_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<Message> messages_;
    std::vector<std::string> errors_;
    int clears_ = 0;
    int repaints_ = 0;
    int parkingControlRefreshes_ = 0;
    int versionUpdates_ = 0;
    std::map<std::string, std::string> downloads_;
    std::set<std::string> notOnSite_;
    std::string folderUrl_ = "https://downloads.test/P3D/";
    std::vector<std::string> downloadCalls_;
    std::vector<bool> rawFlags_;
    std::vector<bool> controlStates_;
};
