#pragma once
// The base of the two clients of the live-traffic service: session GUID, own
// transfer handle, last answer, pacing intervals and the stop/ended flags by
// which the main cycle ends a reader thread.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include <curl/curl.h>
#include <nlohmann/json.hpp>

struct CurlHandleDeleter {
    void operator()(CURL* h) const
    {
        if (h) curl_easy_cleanup(h);
    }
};
using CurlHandle = std::unique_ptr<CURL, CurlHandleDeleter>;

// The service's base address ("https://host" or, in tests, "http://127.0.0.1:port").
void setServiceBaseUrl(const std::string& url);
std::string serviceBaseUrl();

// Limits of every transfer: connect time-out, and total time of one exchange.
struct ServiceTimeouts {
    std::chrono::milliseconds connect{15000};
    std::chrono::milliseconds total{60000};
};
void setServiceTimeouts(ServiceTimeouts t);
ServiceTimeouts serviceTimeouts();

// Whether the real service's certificate is checked (always on for https; tests
// run plain http on loopback and never touch this).
void setServiceTlsVerify(bool on);

// Once, before any thread uses libcurl. Also done lazily by the first client.
void initServiceTransfers();

// libcurl write callback: appends to the std::string given as CURLOPT_WRITEDATA.
std::size_t lf_callbackwriter(char* data, std::size_t size, std::size_t count, void* target);

// Sets the POST options of one exchange on `handle`: the URL (base + path) unless
// `path` is empty, the accepted encodings, the body (kept alive by the caller),
// the write target, fresh connection, time limits and - when `stop` is given - a
// progress check that aborts the transfer once stop is set. Failures throw
// std::runtime_error with texts that begin with `tag`.
void setServicePost(CURL* handle, const std::string& tag, const std::string& path, const std::string& body,
                    std::string& answer, const std::atomic<bool>* stop);

// One request of a reader thread on its own handle: the answer emptied, the
// handle made when missing and reset, then the POST options of setServicePost.
void prepareReaderPost(CurlHandle& handle, const std::string& tag, const std::string& path, const std::string& body,
                       std::string& answer, const std::atomic<bool>& stop);

// Runs the transfer set up on `easy` to its end, as curl_easy_perform does,
// but on a multi handle that a stop wakes at once (notifyStop): it ends with
// CURLE_ABORTED_BY_CALLBACK as soon as `stop` (when given) is set or, with
// `runStops`, a stop flag of the run is set. Any thread; one call per handle.
CURLcode performTransfer(CURL* easy, const std::atomic<bool>* stop, bool runStops);

// Whether a failed transfer of a reader was ended by a stop - its own, or the
// run's close, which aborts the transfer before the closing down sets the
// reader's - and so is no error to log.
bool stoppedTransfer(const std::atomic<bool>& stop);

// A multi handle that notifyStop wakes from curl_multi_poll for as long as
// this object lives (the downloads run their own loop on one).
class WakeableMulti {
public:
    explicit WakeableMulti(CURLM* multi);
    ~WakeableMulti();
    WakeableMulti(const WakeableMulti&) = delete;
    WakeableMulti& operator=(const WakeableMulti&) = delete;

private:
    CURLM* multi_;
};

// Percent-encodes a form value (unreserved characters stay as they are).
std::string formValue(const std::string& value);

class CurlClient {
public:
    CurlClient();
    virtual ~CurlClient();
    CurlClient(const CurlClient&) = delete;
    CurlClient& operator=(const CurlClient&) = delete;

    // POST options on the own handle ("aucurl_").
    void setPost(const std::string& body);
    // Prepares the client for a new run.
    void reset();
    // Paced wait between two requests; ends at once when `stop` is set.
    void waitInterval(int ms);

    std::string sessionGuid() const;
    void setSessionGuid(std::string guid);

    std::atomic<bool> ended{false};     // the loop ended on a stop request
    std::atomic<bool> finished{true};   // no reader thread runs on this client
    std::atomic<bool> stop{false};
    std::atomic<int> toffset{0};        // minutes
    std::atomic<int> rrl{2000};         // ms
    std::atomic<int> wrrl{2000};        // ms

    CurlHandle handle;                  // own handle: login (weather client), logout (traffic reader)
    nlohmann::json document;
    std::string answer;

private:
    mutable std::mutex guidMutex_;
    std::string guid_;
};

// The request interval from an answer: a positive integer, else 2000 ms.
int serviceInterval(const nlohmann::json& answer, const char* key);
// "status" of an answer: an integer, else `def`.
int serviceStatus(const nlohmann::json& answer, int def = 100);
// "status" of a reader's answer: missing gives 100, a number its value; an
// answer that is not an object, or a status of another type, throws.
int readerStatus(const nlohmann::json& answer);
// A string member of an object, else `def`.
std::string jsonValueString(const nlohmann::json& answer, const char* key, const std::string& def);
// Marks `client` as running and starts `body` on a detached thread; false (and
// no thread) while an earlier reader thread of `client` has not finished.
bool launchReaderThread(CurlClient& client, const std::string& name, std::function<void()> body);
// Sets a reader's stop flag and wakes its waits and transfers.
void stopReader(CurlClient& client);
// The reader thread's last act: `finished` set and the waiters told.
void markReaderFinished(CurlClient& client);
// Waits on the program clock until `client` has finished (markReaderFinished)
// or `limit` has passed; returns whether it finished.
bool waitReaderFinished(const CurlClient& client, std::chrono::milliseconds limit);
// The marked line that says why a reader ended (status 9999, a stop request: none).
void logReaderEnd(const std::string& kind, int status);
// Creates `h` when it is null; throws "<tag> curl_easy_init() failed" when that fails.
void ensureHandle(CurlHandle& h, const std::string& tag);
