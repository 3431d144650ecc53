#pragma once
// A recording fake of the client's hand-over points, and small helpers the
// client's tests share.

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "traffic_service/handover.h"
#include "traffic_service/traffic_record.h"

struct RecordedBatch {
    int delaySeconds;
    std::vector<TrafficRecord> records;
};

struct RecordingHandover {
    // What the fake answers (set before the code under test runs).
    double range = 40.0;
    std::string blockCallsign;
    int maxFit = 47;
    bool parkTrafficOnly = false;
    std::string serviceKey = "KEY123";
    ServiceParkAirport park;
    std::string reservedStand;
    std::string userStand;
    ServiceUserAircraft user{52.3, 4.76, 1500.0};
    int slot = 20;
    std::vector<std::pair<std::string, DbaseRecord>> dbase;
    std::vector<std::string> knownTypes{"A320", "B738", "A388", "B744", "B763", "B752", "E190", "C172"};
    std::vector<std::string> excludedTypes{"C172"};

    // What the code under test did.
    mutable std::mutex mutex;
    std::vector<std::string> log;       // plain lines
    std::vector<std::string> marked;    // marked lines (without the prefix)
    std::vector<std::string> messages;  // message line texts
    std::vector<RecordedBatch> batches;
    std::vector<std::uint32_t> blockedReplies;
    std::vector<int> engineQnh;
    std::vector<int> panelQnh;
    std::vector<std::pair<int, int>> closing;           // reason, delay
    std::vector<std::pair<std::string, bool>> stopped;  // name, restart
    int repaints = 0;

    // Installs this fake as the client's hand-over table (the object must outlive its use).
    void install();

    std::vector<std::string> markedLines() const;
    std::vector<std::string> plainLines() const;
    std::vector<RecordedBatch> recordedBatches() const;
    bool anyMarkedContains(const std::string& part) const;
    bool anyPlainContains(const std::string& part) const;
};

// Polls `pred` every 100 ms of the process clock until it holds or `limit` (clock time) passed.
bool eventually(const std::function<bool()>& pred, std::chrono::milliseconds limit = std::chrono::seconds(500));
