#include "traffic_service/handover.h"

#include <array>
#include <atomic>
#include <cmath>
#include <ctime>
#include <mutex>

#include "core/fmt.h"
#include "platform/clock.h"
#include "traffic_service/traffic_record.h"

namespace {

// UTC text of t, "Wed Okt 05 14:03:07 2025"; "Invalid time" when it cannot be broken down.
std::string lf_formatTime(std::int64_t t)
{
    static constexpr std::array<const char*, 12> months{"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                        "Jul", "Aug", "Sep", "Okt", "Nov", "Dec"};
    static constexpr std::array<const char*, 7> days{"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    const std::time_t tt = static_cast<std::time_t>(t);
    std::tm tm{};
    if (!gmtime_r(&tt, &tm) || tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_wday < 0 || tm.tm_wday > 6)
        return "Invalid time";
    return vr::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", days[tm.tm_wday], months[tm.tm_mon], tm.tm_mday,
                      tm.tm_hour, tm.tm_min, tm.tm_sec, tm.tm_year + 1900);
}

std::int64_t lf_wallNow() { return static_cast<std::int64_t>(std::floor(platform::wallSeconds())); }

std::atomic<ServiceHandover*>& lf_current()
{
    static auto* h = new std::atomic<ServiceHandover*>(new ServiceHandover(defaultServiceHandover()));
    return *h;
}

}  // namespace

ServiceHandover defaultServiceHandover()
{
    ServiceHandover h;
    h.logLine = [](const std::string&) {};
    h.logLineMarked = [](const std::string&) {};
    h.showMessage = [](const std::string&, bool) {};
    h.clearMessage = [] {};
    h.requestClosing = [](int, int) {};
    h.reportStoppedWithError = [](const std::string& name, bool restart) {
        serviceHandover().showMessage(vr::format("The {} has stopped with an error", name), true);
        serviceHandover().requestClosing(restart ? 6 : 7, restart ? 15 : 0);
    };
    h.repaintStatusPanel = [] {};
    h.setPanelQnh = [](int) {};
    h.formatNow = [] { return lf_formatTime(lf_wallNow()); };
    h.halfHourSlot = [] {
        const std::time_t tt = static_cast<std::time_t>(lf_wallNow());
        std::tm tm{};
        if (!gmtime_r(&tt, &tm)) return -1;
        const int h2 = (tm.tm_min > 29 || (tm.tm_min == 29 && tm.tm_sec >= 30)) ? 1 : 0;
        return (2 * tm.tm_hour + h2) % 48;
    };
    h.scheduleTrafficRecords = [](std::vector<TrafficRecord>& batch, int) { batch.clear(); };
    h.pushBlockedReply = [](std::uint32_t) {};
    h.setEngineQnh = [](int) {};
    h.rangeNm = [] { return 40.0; };
    h.blockCallsign = [] { return std::string(); };
    h.maxFit = [] { return 47; };
    h.parkTrafficOnly = [] { return false; };
    h.serviceKey = [] { return std::string(); };
    h.parkAirport = [] { return ServiceParkAirport{}; };
    h.reservedStandName = [] { return std::string(); };
    h.userStandAirport = [] { return std::string(); };
    h.userAircraft = [] { return ServiceUserAircraft{}; };
    h.findDbaseRecord = [](const std::string&) { return std::optional<ServiceDbaseRecord>(); };
    h.isKnownType = [](const std::string&) { return false; };
    h.isTypeCategoryIncluded = [](const std::string&) { return true; };
    return h;
}

ServiceHandover& serviceHandover() { return *lf_current().load(std::memory_order_acquire); }

void setServiceHandover(ServiceHandover handover)
{
    // Fill the entries left empty with their defaults, so callers never meet an empty function.
    ServiceHandover d = defaultServiceHandover();
    auto fill = [](auto& field, auto& def) {
        if (!field) field = std::move(def);
    };
    fill(handover.logLine, d.logLine);
    fill(handover.logLineMarked, d.logLineMarked);
    fill(handover.showMessage, d.showMessage);
    fill(handover.clearMessage, d.clearMessage);
    fill(handover.reportStoppedWithError, d.reportStoppedWithError);
    fill(handover.requestClosing, d.requestClosing);
    fill(handover.repaintStatusPanel, d.repaintStatusPanel);
    fill(handover.setPanelQnh, d.setPanelQnh);
    fill(handover.formatNow, d.formatNow);
    fill(handover.halfHourSlot, d.halfHourSlot);
    fill(handover.scheduleTrafficRecords, d.scheduleTrafficRecords);
    fill(handover.pushBlockedReply, d.pushBlockedReply);
    fill(handover.setEngineQnh, d.setEngineQnh);
    fill(handover.rangeNm, d.rangeNm);
    fill(handover.blockCallsign, d.blockCallsign);
    fill(handover.maxFit, d.maxFit);
    fill(handover.parkTrafficOnly, d.parkTrafficOnly);
    fill(handover.serviceKey, d.serviceKey);
    fill(handover.parkAirport, d.parkAirport);
    fill(handover.reservedStandName, d.reservedStandName);
    fill(handover.userStandAirport, d.userStandAirport);
    fill(handover.userAircraft, d.userAircraft);
    fill(handover.findDbaseRecord, d.findDbaseRecord);
    fill(handover.isKnownType, d.isKnownType);
    fill(handover.isTypeCategoryIncluded, d.isTypeCategoryIncluded);
    // The old table is kept: a detached reader of an earlier test may still hold a reference.
    lf_current().store(new ServiceHandover(std::move(handover)), std::memory_order_release);
}
