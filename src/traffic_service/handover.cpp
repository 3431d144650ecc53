#include "traffic_service/handover.h"

#include <atomic>
#include <memory>
#include <mutex>

#include "core/airport_services.h"
#include "core/app_services.h"
#include "core/livery_services.h"
#include "core/log.h"
#include "core/options.h"
#include "core/run_state.h"
#include "core/time.h"
#include "traffic_service/traffic_record.h"

namespace {

std::atomic<ServiceHandover*>& lf_current()
{
    static auto* defaults = new ServiceHandover(defaultServiceHandover());
    static auto* h = new std::atomic<ServiceHandover*>(defaults);
    return *h;
}

// Light (0) only with LIGHT_AIRCRAFT, HighPerf (4) only with HIGH_PERF_AIRCRAFT,
// Rotorcraft (5) only with HELICOPTERS; the others always.
bool lf_categoryIncluded(const std::string& type)
{
    switch (static_cast<int>(liveryServices().typeCategory(type))) {
    case 0: return LIGHT_AIRCRAFT.get();
    case 4: return HIGH_PERF_AIRCRAFT.get();
    case 5: return HELICOPTERS.get();
    default: return true;
    }
}

}  // namespace

ServiceHandover defaultServiceHandover()
{
    ServiceHandover h;
    h.logLine = [](const std::string& s) { ::logLine(s); };
    h.logLineMarked = [](const std::string& s) { ::logLineMarked(s); };
    h.logLineIndented = [](const std::string& s) { ::logLineIndented(s); };
    h.showMessage = [](const std::string& s, bool log) { ::showMessage(s, log); };
    h.clearMessage = [] { ::clearMessage(); };
    h.requestClosing = [](int reason, int delay) { ::requestClosing(static_cast<ClosingReason>(reason), delay); };
    h.reportStoppedWithError = [](const std::string& name, bool restart) { ::reportStoppedWithError(name, restart); };
    h.repaintStatusPanel = [] { ::repaintStatusPanel(); };
    h.setPanelQnh = [](int q) { statusPanel().qnh = q; };
    h.formatNow = [] { return formatTime(nowSeconds()); };
    h.halfHourSlot = [] { return ::halfHourSlot(); };
    h.scheduleTrafficRecords = [](std::vector<TrafficRecord>& batch, int) { batch.clear(); };
    h.pushBlockedReply = [](std::uint32_t) {};
    h.setEngineQnh = [](int) {};
    h.rangeNm = [] { return static_cast<double>(RANGE.get()); };
    h.blockCallsign = [] { return BLOCK_CALLSIGN.get(); };
    h.maxFit = [] { return MAX_FIT.get(); };
    h.parkTrafficOnly = [] { return RT_PARKTRAFFIC_ONLY.get(); };
    h.serviceKey = [] { return std::string(); };
    h.parkAirport = [] {
        const ParkAirportInfo p = airportServices().parkAirport();
        return ServiceParkAirport{p.code, {p.lat, p.lon}};
    };
    h.reservedStandName = [] { return airportServices().reservedStandName(); };
    h.userStandAirport = [] { return std::string(); };
    h.referenceElevationFt = [] { return airportServices().referenceElevationFt(); };
    h.userAircraft = [] { return ServiceUserAircraft{}; };
    h.findDbaseRecord = [](const std::string& reg) { return liveryServices().findDbaseRecord(reg); };
    h.isKnownType = [](const std::string& type) { return liveryServices().isKnownType(type); };
    h.isTypeCategoryIncluded = [](const std::string& type) { return lf_categoryIncluded(type); };
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
    fill(handover.logLineIndented, d.logLineIndented);
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
    fill(handover.referenceElevationFt, d.referenceElevationFt);
    fill(handover.userAircraft, d.userAircraft);
    fill(handover.findDbaseRecord, d.findDbaseRecord);
    fill(handover.isKnownType, d.isKnownType);
    fill(handover.isTypeCategoryIncluded, d.isTypeCategoryIncluded);
    // Every table stays alive: a detached reader may still be inside a call on an older one.
    static auto* keptMutex = new std::mutex;
    static auto* kept = new std::vector<std::unique_ptr<ServiceHandover>>;
    std::lock_guard lock(*keptMutex);
    kept->push_back(std::make_unique<ServiceHandover>(std::move(handover)));
    lf_current().store(kept->back().get(), std::memory_order_release);
}
