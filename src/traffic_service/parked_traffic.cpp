// Parked traffic at the park airport: asked for on the worker thread, fetched
// by the traffic reader between two live requests, handed back by value.

#include <algorithm>
#include <stdexcept>

#include "core/fmt.h"
#include "core/run_state.h"
#include "platform/clock.h"
#include "traffic_service/handover.h"
#include "traffic_service/traffic_reader.h"

namespace {

constexpr double kParkedHalfBoxDeg = 0.04996402877697842;  // 3 nm: 3 * 1.852 / 111.2
constexpr double kParkedHalfBoxFeet = 18228.34647;         // 3 nm in feet

// Ages from the current slot, the age filter, the sort by age and the dedup by stand and flight.
void lf_processParked(std::vector<ParkedTrafficRecord>& records)
{
    auto& h = serviceHandover();
    const int s = h.halfHourSlot();
    for (auto& r : records) {
        r.slot = s - r.slot;
        if (r.slot < 0) r.slot += 48;
    }
    if (!h.parkTrafficOnly()) {
        const int maxFit = h.maxFit();
        std::erase_if(records, [maxFit](const ParkedTrafficRecord& r) { return r.slot > maxFit; });
    }
    std::stable_sort(records.begin(), records.end(),
                     [](const ParkedTrafficRecord& a, const ParkedTrafficRecord& b) { return a.slot < b.slot; });
    std::vector<ParkedTrafficRecord> kept;
    kept.reserve(records.size());
    for (auto& r : records) {
        const bool duplicate = std::any_of(kept.begin(), kept.end(), [&r](const ParkedTrafficRecord& k) {
            return k.stand == r.stand || (!r.callsign.empty() && k.callsign == r.callsign);
        });
        if (!duplicate) kept.push_back(std::move(r));
    }
    records = std::move(kept);
}

}  // namespace

void TrafficReader::parkedtraffic()
{
    auto& h = serviceHandover();
    ParkedResult result;
    result.requestId = parkedRequestId.load();
    result.status = 1;
    try {
        const std::string guid = sessionGuid();
        if (guid.empty()) {
            publishParked(std::move(result));
            return;
        }
        result.asked = true;
        const QueryBox b = parkedQueryBox();
        const std::string body =
            vr::format("GUID={}&top={:.2F}&bottom={:.2F}&left={:.2F}&right={:.2F}&querytype=parkedtraffic&toffset={}",
                       formValue(guid), b.top, b.bottom, b.left, b.right, toffset.load());
        prepareReaderPost(parkedHandle, "ptcurl_", "/v4/traffic", body, readerAnswer, stop);
        const CURLcode rc = performTransfer(parkedHandle.get(), &stop, true);
        if (rc != CURLE_OK) {
            if (!stoppedTransfer(stop))
                h.logLineMarked(vr::format("{} curl parkedtraffic code: {}", h.formatNow(), curl_easy_strerror(rc)));
        } else if (readerAnswer.empty()) {
            h.logLineMarked("parkedtraffic: empty content");
        } else {
            const nlohmann::json answer = nlohmann::json::parse(readerAnswer, nullptr, false);
            if (answer.is_discarded()) {
                h.logLineMarked("parkedtraffic: invalid JSON");
            } else {
                const int s = readerStatus(answer);
                if (s == 406) {
                    h.logLineMarked(vr::format("parkedtraffic msg: {}", jsonValueString(answer, "message", "")));
                    result.status = 0;
                } else if (s != 200) {
                    result.status = s;
                } else {
                    rrl = serviceInterval(answer, "rrl");
                    const auto it = answer.find("data");
                    if (it != answer.end() && !it->is_null() && !(it->is_structured() && it->empty())) {
                        if (!it->is_structured())
                            throw std::runtime_error(vr::format("parked data is not a container: {}", it->type_name()));
                        std::size_t index = 0;
                        for (const auto& item : it->items()) {
                            const std::string key = it->is_object() ? item.key() : std::to_string(index);
                            ++index;
                            const auto& value = item.value();
                            if (value.is_null() || (value.is_structured() && value.empty())) continue;
                            processParkedTrafficLine(key, value, result.records);
                        }
                    }
                    result.status = 0;
                }
            }
        }
    } catch (const std::exception& e) {
        h.logLineMarked(vr::format("{}: {}", "parkedtraffic", e.what()));
        result.status = 1;
        result.records.clear();
    }
    publishParked(std::move(result));
}

bool readParkedTraffic() { return readParkedTraffic(trafficReader()); }

bool readParkedTraffic(TrafficReader& reader) { return readParkedTraffic(reader, requestParkedTraffic(reader)); }

ParkedRequest requestParkedTraffic(TrafficReader& reader)
{
    const LatLon park = serviceHandover().parkAirport().position;
    QueryBox box;
    box.top = park.lat + kParkedHalfBoxDeg;
    box.bottom = park.lat - kParkedHalfBoxDeg;
    box.left = destinationPoint(park, -geo::twoPi / 4, kParkedHalfBoxFeet).lon;
    box.right = destinationPoint(park, geo::twoPi / 4, kParkedHalfBoxFeet).lon;
    reader.setParkedQueryBox(box);

    ParkedRequest request;
    request.id = reader.parkedRequestId.fetch_add(1) + 1;
    reader.parkedStatus = -1;
    reader.parkedPending = true;
    request.start = platform::steadyNow();
    return request;
}

bool readParkedTraffic(TrafficReader& reader, const ParkedRequest& request)
{
    auto& h = serviceHandover();
    const std::uint64_t id = request.id;
    const auto start = request.start;
    std::optional<TrafficReader::ParkedResult> result;
    while (!(result = reader.takeParked(id))) {
        // A close ends the wait at once: the request is withdrawn as after a time-out.
        const bool stopped = !sleepUnlessStopped(std::chrono::milliseconds(100));
        if (stopped) {
            bool pending = true;
            reader.parkedPending.compare_exchange_strong(pending, false);
            return false;
        }
        if (platform::steadyNow() - start > std::chrono::seconds(10)) {
            // Withdraw the request, so the reader does not serve it for nobody.
            bool pending = true;
            reader.parkedPending.compare_exchange_strong(pending, false);
            h.logLine("ParkedTraffic receiving timed out after 10 seconds");
            return false;
        }
    }
    // Every request that was sent empties the parked records first; only an
    // answer taken in (status 0) fills them again.
    if (result->asked) reader.parkedRecords.clear();
    switch (result->status) {
    case 0:
        lf_processParked(result->records);
        reader.parkedRecords = std::move(result->records);
        return true;
    case 1: return false;
    case 400: throw std::runtime_error("RT API parameter fault");
    case 403: throw std::runtime_error("RT API: no parked traffic data for this session (403)");
    case 401:
        h.logLineMarked(vr::format("RT Parkedtraffic: re-authentication to RT API is needed {}", kSoftwareId));
        return false;
    default: h.logLineMarked(vr::format("RT Parkedtraffic error status: {}", result->status)); return false;
    }
}
