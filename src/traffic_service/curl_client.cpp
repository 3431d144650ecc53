#include "traffic_service/curl_client.h"

#include <cstdint>
#include <cctype>
#include <condition_variable>
#include <stdexcept>
#include <thread>
#include <vector>

#include "core/fmt.h"
#include "core/run_state.h"
#include "platform/clock.h"
#include "platform/thread_name.h"
#include "traffic_service/handover.h"
#include "traffic_service/service_types.h"

namespace {

std::mutex& lf_settingsMutex()
{
    static auto* m = new std::mutex;
    return *m;
}
std::string& lf_baseUrl()
{
    static auto* s = new std::string;
    return *s;
}
ServiceTimeouts& lf_timeouts()
{
    static auto* t = new ServiceTimeouts;
    return *t;
}
std::atomic<bool> lf_tlsVerify{true};

// The multi handles of the transfers in flight, woken by notifyStop.
struct WakeList {
    std::mutex mutex;
    std::vector<CURLM*> multis;
};
WakeList& lf_wakeList()
{
    static auto* w = new WakeList;  // never destroyed: detached readers may still use it at exit
    return *w;
}

void lf_wakeTransfers()
{
    WakeList& w = lf_wakeList();
    std::lock_guard lock(w.mutex);
    for (CURLM* m : w.multis) curl_multi_wakeup(m);
}

// The readers' finished flags are waited for on this pair.
struct FinishSignal {
    std::mutex mutex;
    std::condition_variable cv;
};
FinishSignal& lf_finishSignal()
{
    static auto* f = new FinishSignal;
    return *f;
}

// Aborts a reader's transfer once its stop flag is set or the run is closing,
// so closing down never waits for a slow or silent server.
int lf_stopAwareProgress(void* stop, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    const auto* flag = static_cast<const std::atomic<bool>*>(stop);
    return ((flag && flag->load()) || closingFlag.load()) ? 1 : 0;
}

std::string lowerKind(const std::string& kind)
{
    std::string out = kind;
    for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

void lf_check(CURLcode rc, const std::string& text)
{
    if (rc != CURLE_OK) throw std::runtime_error(text);
}

}  // namespace

void setServiceBaseUrl(const std::string& url)
{
    std::lock_guard lock(lf_settingsMutex());
    lf_baseUrl() = url;
}

std::string serviceBaseUrl()
{
    std::lock_guard lock(lf_settingsMutex());
    return lf_baseUrl();
}

void setServiceTimeouts(ServiceTimeouts t)
{
    std::lock_guard lock(lf_settingsMutex());
    lf_timeouts() = t;
}

ServiceTimeouts serviceTimeouts()
{
    std::lock_guard lock(lf_settingsMutex());
    return lf_timeouts();
}

void setServiceTlsVerify(bool on) { lf_tlsVerify = on; }

void initServiceTransfers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        curl_global_init(CURL_GLOBAL_ALL);
        addStopWaker(&lf_wakeTransfers);
    });
}

std::size_t lf_callbackwriter(char* data, std::size_t size, std::size_t count, void* target)
{
    if (!target) return 0;
    try {
        static_cast<std::string*>(target)->append(data, size * count);
        return size * count;
    } catch (const std::exception& e) {
        serviceHandover().logLineMarked(vr::format("{}: append exception: {}", "lf_callbackwriter", e.what()));
        return 0;
    }
}

void setServicePost(CURL* handle, const std::string& tag, const std::string& path, const std::string& body,
                    std::string& answer, const std::atomic<bool>* stop)
{
    if (!handle) throw std::runtime_error(tag + " curl_easy_init() failed");
    if (!path.empty()) {
        const std::string url = serviceBaseUrl() + path;
        lf_check(curl_easy_setopt(handle, CURLOPT_URL, url.c_str()), tag + ": failed to set URL");
    }
    lf_check(curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "deflate,gzip"),
             tag + " failed to set CURLOPT_ACCEPT_ENCODING");
    lf_check(curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str()), tag + ": failed to set POSTFIELDS");
    lf_check(curl_easy_setopt(handle, CURLOPT_POSTFIELDSIZE, static_cast<long>(body.size())),
             tag + ": failed to set POSTFIELDSIZE");
    lf_check(curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &lf_callbackwriter),
             tag + " failed to set CURLOPT_WRITEFUNCTION");
    lf_check(curl_easy_setopt(handle, CURLOPT_WRITEDATA, &answer), tag + " failed to set CURLOPT_WRITEDATA");
    curl_easy_setopt(handle, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(handle, CURLOPT_FRESH_CONNECT, 1L);
    // No transfer may wait for ever.
    const ServiceTimeouts t = serviceTimeouts();
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(t.connect.count()));
    curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS, static_cast<long>(t.total.count()));
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    const long verify = lf_tlsVerify ? 1L : 0L;
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, verify);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L);
    if (stop) {
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &lf_stopAwareProgress);
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(stop));
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    }
}

void prepareReaderPost(CurlHandle& handle, const std::string& tag, const std::string& path, const std::string& body,
                       std::string& answer, const std::atomic<bool>& stop)
{
    answer.clear();
    ensureHandle(handle, tag);
    curl_easy_reset(handle.get());
    setServicePost(handle.get(), tag, path, body, answer, &stop);
}

WakeableMulti::WakeableMulti(CURLM* multi) : multi_(multi)
{
    initServiceTransfers();
    WakeList& w = lf_wakeList();
    std::lock_guard lock(w.mutex);
    w.multis.push_back(multi_);
}

WakeableMulti::~WakeableMulti()
{
    WakeList& w = lf_wakeList();
    std::lock_guard lock(w.mutex);
    std::erase(w.multis, multi_);
}

CURLcode performTransfer(CURL* easy, const std::atomic<bool>* stop, bool runStops)
{
    if (!easy) return CURLE_FAILED_INIT;
    const auto stopped = [&] { return (stop && stop->load()) || (runStops && anyStopFlag()); };
    std::unique_ptr<CURLM, decltype(&curl_multi_cleanup)> multi(curl_multi_init(), &curl_multi_cleanup);
    if (!multi) return CURLE_OUT_OF_MEMORY;
    // Registered before the first look at the flags: a stop set after it wakes the poll.
    const WakeableMulti wakeable(multi.get());
    if (curl_multi_add_handle(multi.get(), easy) != CURLM_OK) return CURLE_FAILED_INIT;
    CURLcode rc = CURLE_OK;
    bool done = false;
    while (!done) {
        int running = 0;
        if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
            rc = CURLE_FAILED_INIT;
            break;
        }
        int queued = 0;
        while (CURLMsg* msg = curl_multi_info_read(multi.get(), &queued)) {
            if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
                rc = msg->data.result;
                done = true;
            }
        }
        if (done) break;
        if (stopped()) {
            rc = CURLE_ABORTED_BY_CALLBACK;
            break;
        }
        // libcurl's own timers (connect and total limits) bound each poll.
        curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr);
    }
    curl_multi_remove_handle(multi.get(), easy);
    return rc;
}

bool stoppedTransfer(const std::atomic<bool>& stop) { return stop.load() || anyStopFlag(); }

void stopReader(CurlClient& client)
{
    client.stop = true;
    notifyStop();
}

void markReaderFinished(CurlClient& client)
{
    FinishSignal& f = lf_finishSignal();
    {
        std::lock_guard lock(f.mutex);
        client.finished = true;
    }
    f.cv.notify_all();
}

bool waitReaderFinished(const CurlClient& client, std::chrono::milliseconds limit)
{
    FinishSignal& f = lf_finishSignal();
    std::unique_lock lock(f.mutex);
    return platform::clock().waitFor(f.cv, lock, limit, [&client] { return client.finished.load(); });
}

bool launchReaderThread(CurlClient& client, const std::string& name, std::function<void()> body)
{
    bool expected = true;
    if (!client.finished.compare_exchange_strong(expected, false)) {
        serviceHandover().logLineMarked(name + " is still running, not started again");
        return false;
    }
    try {
        std::thread([body = std::move(body), threadName = name] {
            platform::nameThisThread(threadName.c_str());
            body();
        }).detach();
    } catch (const std::exception& e) {
        // No thread: the client must not stay marked as running for ever.
        markReaderFinished(client);
        serviceHandover().logLineMarked(vr::format("{} not started: {}", name, e.what()));
        return false;
    }
    return true;
}

void logReaderEnd(const std::string& kind, int status)
{
    auto& h = serviceHandover();
    switch (status) {
    case 9999: return;
    case 401: h.logLineMarked(vr::format("re-authentication to RT API is needed, restart {}", kSoftwareId)); return;
    case 400: h.logLineMarked(vr::format("{} RT API: parameter fault", kind)); return;
    case 403: h.logLineMarked(vr::format("{} RT API: no {} data for this session (403)", kind, lowerKind(kind))); return;
    default: h.logLineMarked(vr::format("{} RT API error: {}", kind, status)); return;
    }
}

std::string formValue(const std::string& value)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(value.size());
    for (unsigned char c : value) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
            c == '_' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

void ensureHandle(CurlHandle& h, const std::string& tag)
{
    initServiceTransfers();
    if (!h) h.reset(curl_easy_init());
    if (!h) throw std::runtime_error(tag + " curl_easy_init() failed");
}

CurlClient::CurlClient()
{
    initServiceTransfers();
    handle.reset(curl_easy_init());
    if (!handle) throw std::runtime_error("aucurl_ curl_easy_init() failed");
    answer.reserve(4096);
}

CurlClient::~CurlClient() = default;

void CurlClient::setPost(const std::string& body)
{
    setServicePost(handle.get(), "aucurl_", "", body, answer, nullptr);
}

void CurlClient::reset()
{
    setSessionGuid("");
    handle.reset(curl_easy_init());
    stop = false;
    toffset = 0;
    ended = false;
    switch (document.type()) {
    case nlohmann::json::value_t::object: document = nlohmann::json::object(); break;
    case nlohmann::json::value_t::array: document = nlohmann::json::array(); break;
    case nlohmann::json::value_t::string: document = ""; break;
    case nlohmann::json::value_t::boolean: document = false; break;
    case nlohmann::json::value_t::number_integer:
    case nlohmann::json::value_t::number_unsigned:
    case nlohmann::json::value_t::number_float: document = 0; break;
    default: break;
    }
    answer.clear();
}

void CurlClient::waitInterval(int ms) { sleepUnlessSet(std::chrono::milliseconds(ms), stop); }

std::string CurlClient::sessionGuid() const
{
    std::lock_guard lock(guidMutex_);
    return guid_;
}

void CurlClient::setSessionGuid(std::string guid)
{
    std::lock_guard lock(guidMutex_);
    guid_ = std::move(guid);
}

int serviceInterval(const nlohmann::json& answer, const char* key)
{
    if (answer.is_object()) {
        const auto it = answer.find(key);
        if (it != answer.end() && it->is_number_integer()) {
            const auto v = it->get<long long>();
            // A zero or negative interval would make the loops spin without a pause.
            if (v > 0 && v <= 3'600'000) return static_cast<int>(v);
        }
    }
    return 2000;
}

int serviceStatus(const nlohmann::json& answer, int def)
{
    if (answer.is_object()) {
        const auto it = answer.find("status");
        if (it != answer.end() && it->is_number_integer()) {
            const auto v = it->get<long long>();
            if (v >= INT32_MIN && v <= INT32_MAX) return static_cast<int>(v);
        }
    }
    return def;
}

int readerStatus(const nlohmann::json& answer)
{
    if (!answer.is_object()) throw std::runtime_error("answer is not a JSON object");
    const auto it = answer.find("status");
    if (it == answer.end()) return 100;
    if (it->is_number_integer()) {
        const auto v = it->get<long long>();
        if (v >= INT32_MIN && v <= INT32_MAX) return static_cast<int>(v);
    } else if (it->is_number_float()) {
        const double v = it->get<double>();
        if (v >= INT32_MIN && v <= INT32_MAX) return static_cast<int>(v);
    }
    throw std::runtime_error(vr::format("status is not a number: {}", it->dump()));
}

std::string jsonValueString(const nlohmann::json& answer, const char* key, const std::string& def)
{
    if (answer.is_object()) {
        const auto it = answer.find(key);
        if (it != answer.end() && it->is_string()) return it->get<std::string>();
    }
    return def;
}
