#include "traffic_service/traffic_reader.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>
#include <thread>

#include "core/fmt.h"
#include "core/run_state.h"
#include "core/start_moments.h"
#include "platform/clock.h"
#include "traffic_service/handover.h"
#include "traffic_service/traffic_answer.h"
#include "traffic_service/weather.h"

std::atomic<bool> sessionOpen{false};

namespace {

constexpr double kNoElevation = std::numeric_limits<double>::quiet_NaN();

void lf_repaint() { serviceHandover().repaintStatusPanel(); }

std::string lf_trafficBody(const std::string& guid, const QueryBox& b, int toffset)
{
    return vr::format("GUID={}&top={:.2F}&bottom={:.2F}&left={:.2F}&right={:.2F}&querytype=locationtraffic&toffset={}",
                      formValue(guid), b.top, b.bottom, b.left, b.right, toffset);
}

// The message of a 406 answer, when it is a string.
std::string lf_message(const nlohmann::json& answer) { return jsonValueString(answer, "message", ""); }

}  // namespace

TrafficReader::TrafficReader() : answer_(std::make_unique<TrafficAnswer>()), referenceElevation_(kNoElevation)
{
    readerAnswer.reserve(16384);
    records.reserve(384);
}

TrafficReader::~TrafficReader() = default;

TrafficReader& trafficReader()
{
    static auto* r = new TrafficReader;
    return *r;
}

void TrafficReader::updateQueryBox()
{
    const double range = serviceHandover().rangeNm();
    std::lock_guard lock(boxMutex_);
    const LatLon p = userPosition_;
    if (std::fabs(p.lat) <= 0.0001 && std::fabs(p.lon) <= 0.0001) return;
    if (std::fabs(p.lat - boxCentre_.lat) < 0.00015 && std::fabs(p.lon - boxCentre_.lon) < 0.00015 &&
        range == lastRange_)
        return;
    lastRange_ = range;
    boxCentre_ = p;
    const double half = range * 1.852 / 111.2;
    box_.top = p.lat + half;
    box_.bottom = p.lat - half;
    box_.left = destinationPoint(p, -geo::twoPi / 4, range * geo::feetPerNm).lon;
    box_.right = destinationPoint(p, geo::twoPi / 4, range * geo::feetPerNm).lon;
}

QueryBox TrafficReader::queryBox() const
{
    std::lock_guard lock(boxMutex_);
    return box_;
}

QueryBox TrafficReader::parkedQueryBox() const
{
    std::lock_guard lock(boxMutex_);
    return parkedBox_;
}

void TrafficReader::setParkedQueryBox(const QueryBox& box)
{
    std::lock_guard lock(boxMutex_);
    parkedBox_ = box;
}

LatLon TrafficReader::userPosition() const
{
    std::lock_guard lock(boxMutex_);
    return userPosition_;
}

void TrafficReader::setUserPosition(const LatLon& p)
{
    std::lock_guard lock(boxMutex_);
    userPosition_ = p;
}

std::optional<double> TrafficReader::referenceElevation() const
{
    const double e = referenceElevation_.load();
    if (!std::isnan(e)) return e;
    return serviceHandover().referenceElevationFt();
}

void TrafficReader::setReferenceElevation(std::optional<double> feet)
{
    referenceElevation_ = feet && !std::isnan(*feet) ? *feet : kNoElevation;
}

void TrafficReader::collect(const std::string& callsign, std::uint32_t aircraftId)
{
    std::lock_guard lock(mapsMutex_);
    if (!callsign.empty()) collected_.byCallsign.emplace(callsign, aircraftId);
    collected_.byAircraftId.emplace(aircraftId, callsign);
}

CollectedTraffic TrafficReader::takeCollectedTraffic()
{
    std::lock_guard lock(mapsMutex_);
    collectMaps = false;
    CollectedTraffic out = std::move(collected_);
    collected_ = {};
    return out;
}

void TrafficReader::resetForRun()
{
    lastRecordTime = 0.0;
    trafficLastRecordTime = 0.0;
    {
        std::lock_guard lock(mapsMutex_);
        collected_ = {};
    }
    collectMaps = false;
    parkedPending = false;
    loopRunning = false;
    recordCount = 0;
    setReferenceElevation(std::nullopt);
    qnh = 1013;
    qnhKnown = false;
    {
        std::lock_guard lock(boxMutex_);
        lastRange_ = -1.0;
        boxCentre_ = {};
        box_ = {};
    }
    trafficLampLit = true;
    blockedState = true;
    setSessionGuid("");
    if (finished) {  // reader-thread state: only when no reader thread uses it
        readerAnswer.clear();
        records.clear();
    }
}

void TrafficReader::publishParked(ParkedResult result)
{
    const int status = result.status;
    {
        std::lock_guard lock(parkedMutex_);
        parked_ = std::move(result);
    }
    parkedStatus = status;
}

std::optional<TrafficReader::ParkedResult> TrafficReader::takeParked(std::uint64_t requestId)
{
    std::lock_guard lock(parkedMutex_);
    if (!parked_ || parked_->requestId != requestId) return std::nullopt;
    std::optional<ParkedResult> out = std::move(parked_);
    parked_.reset();
    return out;
}

bool TrafficReader::parkedAnswerIn(std::uint64_t requestId)
{
    std::lock_guard lock(parkedMutex_);
    return parked_ && parked_->requestId == requestId;
}

void TrafficReader::prepareTrafficHandle(std::string body)
{
    // libcurl keeps a pointer to the body until the transfer ends.
    requestBody_ = std::move(body);
    prepareReaderPost(trafficHandle, "trcurl_", "/v4/traffic", requestBody_, readerAnswer, stop);
}

void TrafficReader::decodeEntry(const TrafficEntry& entry) { processTrafficRecord(*this, entry); }

void TrafficReader::schedule(int delaySeconds)
{
    recordCount = static_cast<std::int64_t>(records.size());
    serviceHandover().scheduleTrafficRecords(records, delaySeconds);
    records.clear();
}

bool TrafficReader::buffer(int& status)
{
    auto& h = serviceHandover();
    const std::string guid = sessionGuid();
    if (guid.empty()) return false;
    bool result = false;
    try {
        prepareTrafficHandle(lf_trafficBody(guid, queryBox(), toffset) + "&buffercount=5&buffertime=6");
        const CURLcode rc = performTransfer(trafficHandle.get(), &stop, true);
        if (rc != CURLE_OK) {
            if (!stoppedTransfer(stop))
                h.logLineMarked(vr::format("{} buffer traffic code: {}", h.formatNow(), curl_easy_strerror(rc)));
        } else if (readerAnswer.empty()) {
            h.logLineMarked("buffer traffic: empty content");
        } else {
            answer_->parse(readerAnswer);
            const nlohmann::json& answer = answer_->envelope();
            const int s = readerStatus(answer);
            if (s != 200) {
                status = s;
                if (s == 406) h.logLineMarked(vr::format(" buffer traffic msg {}", lf_message(answer)));
            } else {
                markStartMoment(StartMoment::firstAnswer);
                rrl = serviceInterval(answer, "rrl");
                collectMaps = true;
                if (answer_->hasData()) {
                    result = true;
                    static const char* const keys[] = {"buffer_4", "buffer_3", "buffer_2", "buffer_1", "buffer_0"};
                    const auto decode = [this](const TrafficEntry& entry) { decodeEntry(entry); };
                    for (int i = 0; i < 5; ++i) {
                        answer_->forEachEntry(keys[i], decode);
                        schedule(6 * i);
                    }
                }
                // The buffered traffic is handed over: the main cycle may start
                // its ticks while this reader keeps the pause before its next request.
                loopRunning = true;
            }
        }
    } catch (const std::exception& e) {
        records.clear();
        h.logLineMarked(vr::format("{}: {}", "buffer", e.what()));
    }
    // The service asks for this pause before the next request; a stopped
    // reader makes none.
    waitInterval(rrl);
    if (stop) {
        status = 9999;
        return false;
    }
    return result;
}

bool TrafficReader::receive(int& status)
{
    auto& h = serviceHandover();
    if (sessionGuid().empty()) return false;
    if (!buffer(status)) {
        if (stop) {
            loopRunning = false;
            return false;
        }
        // A buffer request the close aborted has not failed.
        if (!anyStopFlag()) h.logLineMarked(vr::format("buffer failed {}", status));
    }
    if (stop) {
        loopRunning = false;
        return false;
    }
    loopRunning = true;
    while (!stop) {
        try {
            if (parkedPending.exchange(false)) {
                parkedtraffic();
                waitInterval(rrl);
                continue;
            }
            prepareTrafficHandle(lf_trafficBody(sessionGuid(), queryBox(), toffset));
            const CURLcode rc = performTransfer(trafficHandle.get(), &stop, true);
            if (rc != CURLE_OK) {
                // No answer: the lamp follows the last answer, not the last traffic.
                if (!stoppedTransfer(stop)) {
                    recordCount = 0;
                    h.logLineMarked(
                        vr::format("curl traffic code:{} = {}", static_cast<int>(rc), curl_easy_strerror(rc)));
                }
            } else if (readerAnswer.empty()) {
                recordCount = 0;
                h.logLineMarked("traffic receive: empty content");
            } else {
                answer_->parse(readerAnswer);
                const nlohmann::json& answer = answer_->envelope();
                const int s = readerStatus(answer);
                if (s == 406) {
                    h.logLineMarked(vr::format("{} curl traffic msg: {}", h.formatNow(), lf_message(answer)));
                } else if (s != 200) {
                    status = s;
                    break;
                } else {
                    markStartMoment(StartMoment::firstAnswer);
                    rrl = serviceInterval(answer, "rrl");
                    if (answer_->hasData())
                        answer_->forEachEntry([this](const TrafficEntry& entry) { decodeEntry(entry); });
                    schedule(30);
                }
            }
        } catch (const std::exception& e) {
            recordCount = 0;
            records.clear();
            h.logLineMarked(vr::format("{}: {}", "receive", e.what()));
        }
        waitInterval(rrl);
    }
    loopRunning = false;
    if (stop) {
        status = 9999;
        ended = true;
    }
    return false;
}

void logConnected(const std::string& name) { serviceHandover().logLineIndented(vr::format("{} connected", name)); }

bool awaitFirstQnh(TrafficReader& reader, const WeatherClient& weather, std::chrono::milliseconds limit)
{
    const auto deadline = platform::steadyNow() + limit;
    while (!reader.qnhKnown && !weather.finished && !reader.stop) {
        const auto left = deadline - platform::steadyNow();
        if (left <= platform::Clock::Duration::zero()) break;
        sleepUnlessSet(std::min<platform::Clock::Duration>(left, std::chrono::milliseconds(20)), reader.stop);
    }
    return reader.qnhKnown;
}

void runTrafficReader(TrafficReader& reader, WeatherClient& weather)
{
    auto& h = serviceHandover();
    reader.finished = false;
    try {
        int status = 0;
        logConnected("Traffic Reader");
        statusPanel().trafficLamp = 1;
        lf_repaint();
        // The buffered records are converted as they come: not with the standard
        // pressure while the weather reader is about to bring the QNH.
        if (!awaitFirstQnh(reader, weather, firstQnhWait) && !weather.finished && !reader.stop)
            h.logLineMarked(vr::format("Traffic Reader: no QNH after {} s, altitudes taken at {} hPa",
                                       firstQnhWait.count(), reader.qnh.load()));
        if (!reader.receive(status)) {
            statusPanel().trafficLamp = 3;
            lf_repaint();
            logReaderEnd("Traffic", status);
        }
        if (status != 9999) {
            stopReader(weather);
            h.reportStoppedWithError("Traffic Reader", status == 401);
        }
    } catch (const std::exception& e) {
        h.logLineMarked(vr::format("{}: {}", "gf_trafficReader", e.what()));
        h.reportStoppedWithError("Traffic Reader", false);
    }
    reader.loopRunning = false;
    reader.trafficHandle.reset();
    reader.parkedHandle.reset();
    markReaderFinished(reader);
}

void gf_trafficReader() { runTrafficReader(trafficReader(), weatherClient()); }

bool launchTrafficReader() { return launchTrafficReader(trafficReader(), weatherClient()); }

bool launchTrafficReader(TrafficReader& reader, WeatherClient& weather)
{
    return launchReaderThread(reader, "Traffic Reader", [&reader, &weather] { runTrafficReader(reader, weather); });
}

void updateStatusLamps() { updateStatusLamps(trafficReader(), weatherClient()); }

void updateStatusLamps(TrafficReader& reader, WeatherClient& weather)
{
    if (!sessionOpen) return;
    if (!weather.weatherOk) {
        if (weather.weatherLampLit.exchange(false)) {
            statusPanel().weatherLamp = 2;
            lf_repaint();
        }
    } else if (!weather.weatherLampLit.exchange(true)) {
        statusPanel().weatherLamp = 1;
        lf_repaint();
    }
    if (reader.recordCount < 1) {
        if (reader.trafficLampLit.exchange(false)) {
            statusPanel().trafficLamp = 2;
            lf_repaint();
        }
    } else if (!reader.trafficLampLit.exchange(true)) {
        statusPanel().trafficLamp = 1;
        lf_repaint();
    }
}
