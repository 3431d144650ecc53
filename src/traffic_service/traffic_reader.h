#pragma once
// The traffic reader: the one global TrafficReader and its detached thread,
// which fetches the buffered traffic once and then the live traffic around the
// user aircraft, serving parked-traffic requests in between, and hands each
// decoded batch to the traffic engine.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/app_services.h"
#include "platform/clock.h"
#include "traffic_service/curl_client.h"
#include "traffic_service/parked_record.h"
#include "traffic_service/service_types.h"
#include "traffic_service/traffic_record.h"

class TrafficAnswer;
class WeatherClient;

// A session is open at the service (shown by the status panel, read by the UI thread).
// The traffic and weather lamps are the status panel's (core/app_services.h).
extern std::atomic<bool> sessionOpen;

struct QueryBox {
    double top = 52.44;
    double bottom = 52.17;
    double left = 4.54;
    double right = 4.98;
};

// The names and ids of the live traffic collected while collect maps is set.
struct CollectedTraffic {
    std::unordered_map<std::string, std::uint32_t> byCallsign;
    std::unordered_map<std::uint32_t, std::string> byAircraftId;
};

class TrafficReader : public CurlClient {
public:
    TrafficReader();
    ~TrafficReader() override;

    // --- worker side ---
    void updateQueryBox();
    QueryBox queryBox() const;
    QueryBox parkedQueryBox() const;
    void setParkedQueryBox(const QueryBox& box);
    LatLon userPosition() const;
    void setUserPosition(const LatLon& p);
    // The reference elevation set here, else the park airport's while its stands are in use.
    std::optional<double> referenceElevation() const;
    void setReferenceElevation(std::optional<double> feet);
    // Takes the collected maps over and clears them and the collect flag.
    CollectedTraffic takeCollectedTraffic();
    // The state part of the reset before a new run.
    void resetForRun();

    // --- reader thread ---
    bool buffer(int& status);
    bool receive(int& status);
    void parkedtraffic();
    void collect(const std::string& callsign, std::uint32_t aircraftId);

    std::atomic<bool> trafficLampLit{false};
    std::atomic<double> lastRecordTime{0.0};
    std::atomic<int> qnh{1013};
    // Set once the weather reader has stored a QNH in `qnh` this run.
    std::atomic<bool> qnhKnown{false};
    std::atomic<std::int64_t> recordCount{0};
    std::atomic<int> parkedStatus{-1};
    std::atomic<bool> collectMaps{false};
    std::atomic<bool> parkedPending{false};
    std::atomic<bool> loopRunning{false};
    std::atomic<bool> blockedState{true};

    // Owned by the reader thread for its whole life (made on first use, freed when it ends).
    CurlHandle trafficHandle;
    CurlHandle parkedHandle;
    std::string readerAnswer;
    std::vector<TrafficRecord> records;
    // The aircraft decoded in the air, by id, with the time of their last such
    // record: a ground record away from the park airport is kept for them (a landing).
    std::unordered_map<std::uint32_t, double> airborneSeen;

    // Worker side: the parked records as the last readParkedTraffic left them.
    std::vector<ParkedTrafficRecord> parkedRecords;

    // Hand-over of one parked answer from the reader thread to the worker, by value.
    struct ParkedResult {
        std::uint64_t requestId = 0;
        int status = -1;
        // The request reached the service side (a session was open): the parked
        // records are then replaced, by nothing when the answer was not taken in.
        bool asked = false;
        std::vector<ParkedTrafficRecord> records;
    };
    std::atomic<std::uint64_t> parkedRequestId{0};
    void publishParked(ParkedResult result);
    std::optional<ParkedResult> takeParked(std::uint64_t requestId);
    // The answer to the request is in (not taken yet).
    bool parkedAnswerIn(std::uint64_t requestId);

private:
    void prepareTrafficHandle(std::string body);
    void decodeEntry(const TrafficEntry& entry);
    void schedule(int delaySeconds);

    std::string requestBody_;  // reader thread: the body of the transfer under way
    std::unique_ptr<TrafficAnswer> answer_;  // reader thread: the answer last parsed
    mutable std::mutex boxMutex_;
    QueryBox box_;
    QueryBox parkedBox_;
    LatLon userPosition_;
    LatLon boxCentre_;
    double lastRange_ = -1.0;
    std::atomic<double> referenceElevation_;

    std::mutex mapsMutex_;
    CollectedTraffic collected_;

    std::mutex parkedMutex_;
    std::optional<ParkedResult> parked_;
};

// The global reader (never destroyed: the detached thread may outlive main).
TrafficReader& trafficReader();

// How long the traffic reader holds its first request back for the first QNH
// of a running weather reader: its altitudes are converted with that QNH.
inline constexpr std::chrono::seconds firstQnhWait{5};
// Waits on the program clock until the reader knows a QNH, the weather reader
// is not running, the reader is stopped or `limit` has passed; true when the
// QNH is known.
bool awaitFirstQnh(TrafficReader& reader, const WeatherClient& weather, std::chrono::milliseconds limit);

// Thread procedure "Traffic Reader" on the global readers.
void gf_trafficReader();
// The same on given readers (tests).
void runTrafficReader(TrafficReader& reader, WeatherClient& weather);
// Marks the reader as running and starts its detached thread; false (and no
// thread) while an earlier reader thread has not finished.
bool launchTrafficReader();
bool launchTrafficReader(TrafficReader& reader, WeatherClient& weather);

void updateStatusLamps();
void updateStatusLamps(TrafficReader& reader, WeatherClient& weather);
void logConnected(const std::string& name);

// Parked traffic around the park airport, on the worker thread (see parked_traffic.cpp).
// True when an answer was taken in and processed into the reader's parked records.
bool readParkedTraffic();
bool readParkedTraffic(TrafficReader& reader);

// The same in two halves: the request is raised at once, and the wait (up to
// 10 s from the request) and the processing follow when the caller is ready.
struct ParkedRequest {
    std::uint64_t id = 0;
    platform::Clock::TimePoint start{};
};
ParkedRequest requestParkedTraffic(TrafficReader& reader);
bool readParkedTraffic(TrafficReader& reader, const ParkedRequest& request);
