#include "support/recording_handover.h"

#include <algorithm>

#include "platform/clock.h"

void RecordingHandover::install()
{
    ServiceHandover h;
    h.logLine = [this](const std::string& s) {
        std::lock_guard l(mutex);
        log.push_back(s);
    };
    h.logLineMarked = [this](const std::string& s) {
        std::lock_guard l(mutex);
        marked.push_back(s);
    };
    h.showMessage = [this](const std::string& s, bool) {
        std::lock_guard l(mutex);
        messages.push_back(s);
    };
    h.clearMessage = [this] {
        std::lock_guard l(mutex);
        messages.push_back("");
    };
    h.requestClosing = [this](int reason, int delay) {
        std::lock_guard l(mutex);
        closing.emplace_back(reason, delay);
    };
    h.reportStoppedWithError = [this](const std::string& name, bool restart) {
        std::lock_guard l(mutex);
        stopped.emplace_back(name, restart);
    };
    h.repaintStatusPanel = [this] {
        std::lock_guard l(mutex);
        ++repaints;
    };
    h.setPanelQnh = [this](int q) {
        std::lock_guard l(mutex);
        panelQnh.push_back(q);
    };
    h.setEngineQnh = [this](int q) {
        std::lock_guard l(mutex);
        engineQnh.push_back(q);
    };
    h.formatNow = [] { return std::string("Thu Nov 14 22:13:20 2023"); };
    h.halfHourSlot = [this] { return slot; };
    h.scheduleTrafficRecords = [this](std::vector<TrafficRecord>& batch, int delay) {
        std::lock_guard l(mutex);
        batches.push_back({delay, std::move(batch)});
        batch.clear();
    };
    h.pushBlockedReply = [this](std::uint32_t id) {
        std::lock_guard l(mutex);
        blockedReplies.push_back(id);
    };
    h.rangeNm = [this] { return range; };
    h.blockCallsign = [this] {
        std::lock_guard l(mutex);
        return blockCallsign;
    };
    h.maxFit = [this] { return maxFit; };
    h.parkTrafficOnly = [this] { return parkTrafficOnly; };
    h.serviceKey = [this] { return serviceKey; };
    h.parkAirport = [this] { return park; };
    h.reservedStandName = [this] { return reservedStand; };
    h.userStandAirport = [this] { return userStand; };
    h.referenceElevationFt = [] { return std::optional<double>(); };
    h.userAircraft = [this] { return user; };
    h.findDbaseRecord = [this](const std::string& reg) -> std::optional<DbaseRecord> {
        for (const auto& [r, rec] : dbase)
            if (r == reg) return rec;
        return std::nullopt;
    };
    h.isKnownType = [this](const std::string& t) {
        return std::find(knownTypes.begin(), knownTypes.end(), t) != knownTypes.end();
    };
    h.isTypeCategoryIncluded = [this](const std::string& t) {
        return std::find(excludedTypes.begin(), excludedTypes.end(), t) == excludedTypes.end();
    };
    setServiceHandover(std::move(h));
}

std::vector<std::string> RecordingHandover::markedLines() const
{
    std::lock_guard l(mutex);
    return marked;
}

std::vector<std::string> RecordingHandover::plainLines() const
{
    std::lock_guard l(mutex);
    return log;
}

std::vector<RecordedBatch> RecordingHandover::recordedBatches() const
{
    std::lock_guard l(mutex);
    return batches;
}

bool RecordingHandover::anyMarkedContains(const std::string& part) const
{
    std::lock_guard l(mutex);
    return std::any_of(marked.begin(), marked.end(), [&](const std::string& s) { return s.find(part) != s.npos; });
}

bool RecordingHandover::anyPlainContains(const std::string& part) const
{
    std::lock_guard l(mutex);
    return std::any_of(log.begin(), log.end(), [&](const std::string& s) { return s.find(part) != s.npos; });
}

bool eventually(const std::function<bool()>& pred, std::chrono::milliseconds limit)
{
    const auto deadline = platform::steadyNow() + limit;
    while (!pred()) {
        if (platform::steadyNow() >= deadline) return false;
        platform::sleepFor(std::chrono::milliseconds(100));
    }
    return true;
}
