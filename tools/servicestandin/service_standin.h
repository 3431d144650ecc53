#pragma once
// A stand-in for the live-traffic service and the program's download site: an
// HTTP/1.1 server on loopback that answers the service's paths, serves files
// under /downloads/ from a folder, records every request and can be scripted to
// answer in any way a real server might (or might not).

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace standin {

struct Request {
    std::string method;
    std::string path;
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
    std::vector<std::pair<std::string, std::string>> form;  // in body order
    std::string route;                                     // see routeOf
    std::string formValue(const std::string& key) const;
    bool hasForm(const std::string& key) const;
};

struct Reply {
    enum class Kind {
        Body,          // the body as it is (JSON or not), with the status
        Gzip,          // the body gzip-encoded (Content-Encoding: gzip)
        CloseNoReply,  // the connection is closed without an answer
        CutMidBody,    // the headers promise the whole body, half of it comes
        Hang,          // nothing is sent until the client gives up or the server stops
    };
    Kind kind = Kind::Body;
    int httpStatus = 200;
    std::string body;
    std::string contentType = "application/json";
    std::chrono::milliseconds delay{0};

    static Reply json(const nlohmann::json& j, int httpStatus = 200);
    static Reply text(std::string body, int httpStatus = 200);
    static Reply gzip(const nlohmann::json& j);
    static Reply empty() { return text(""); }
    static Reply closeNoReply();
    static Reply cutMidBody(const nlohmann::json& j);
    // Any bytes, as a download site sends them (application/octet-stream).
    static Reply bytes(std::string body, int httpStatus = 200);
    static Reply cutBytes(std::string body);
    static Reply hang();
    Reply after(std::chrono::milliseconds d) const
    {
        Reply r = *this;
        r.delay = d;
        return r;
    }
};

// Routes: "auth", "deauth", "traffic.live", "traffic.buffer", "traffic.parked",
// "nearestmetar", "weather", or the path without its query for anything else
// (a download is scripted by its path, "/downloads/dbase.enc").
std::string routeOf(const std::string& path, const std::vector<std::pair<std::string, std::string>>& form);

std::string gzipCompress(const std::string& data);

class Scene;

class FakeTrafficService {
public:
    FakeTrafficService();
    ~FakeTrafficService();
    FakeTrafficService(const FakeTrafficService&) = delete;
    FakeTrafficService& operator=(const FakeTrafficService&) = delete;

    // Listens on 127.0.0.1 (port 0: any free port); returns the port.
    int start(int port = 0);
    // Stops listening and ends every connection; a later connect is refused.
    void stop();
    int port() const { return port_; }
    std::string baseUrl() const;

    // Scripted answers, taken in order per route before the handler is asked.
    void push(const std::string& route, Reply reply);
    // The answer for a route whose script is empty.
    void setHandler(const std::string& route, std::function<Reply(const Request&)> handler);
    // Default answers come from a scene when one is set (else small fixed answers).
    void setScene(std::shared_ptr<Scene> scene);
    // The intervals the default answers give (small, so reader loops run fast).
    void setIntervals(int rrl, int wrrl);
    // GET /downloads/<relative path> answers with the file of that path below
    // `folder` (404 when there is none, or for a path that leaves the folder).
    void setDownloadFolder(std::filesystem::path folder);

    // Keeps only the last `n` requests (the program runs for hours; tests keep all).
    void setRequestLimit(std::size_t n);
    std::vector<Request> requests() const;
    std::vector<Request> requests(const std::string& route) const;
    std::size_t connectionCount() const;
    // Hang replies the client ended by closing its connection (it gave up, or a stop aborted it).
    std::size_t hangsEndedByClient() const;
    // Connection threads not yet joined (finished ones are joined as new connections come).
    std::size_t workerThreads() const;
    // Waits (real time, bounded) until `n` requests of `route` ("" any) have come in.
    bool waitForRequests(const std::string& route, std::size_t n,
                         std::chrono::milliseconds limit = std::chrono::seconds(5)) const;

private:
    void acceptLoop();
    void serve(int fd);
    Reply answerFor(const Request& r);
    Reply defaultAnswer(const Request& r);
    Reply downloadAnswer(const Request& r, const std::filesystem::path& folder) const;

    int listenFd_ = -1;
    int port_ = 0;
    std::thread acceptThread_;
    mutable std::mutex mutex_;
    mutable std::condition_variable cv_;
    bool stopping_ = false;
    struct Worker {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };
    // Joins the workers that have finished (a long run would otherwise keep every one).
    void reapWorkers();
    std::vector<Worker> workers_;
    std::map<std::string, std::deque<Reply>> scripts_;
    std::map<std::string, std::function<Reply(const Request&)>> handlers_;
    std::shared_ptr<Scene> scene_;
    std::filesystem::path downloadFolder_;
    std::vector<Request> requests_;
    std::size_t connections_ = 0;
    std::size_t hangsEndedByClient_ = 0;
    std::size_t requestLimit_ = static_cast<std::size_t>(-1);
    int rrl_ = 10;
    int wrrl_ = 10;
};

// A 48-value live entry with every position null but those given.
nlohmann::json makeEntry(std::initializer_list<std::pair<int, nlohmann::json>> values);
// A 7-value parked entry.
nlohmann::json makeParkedEntry(double lat, double lon, const std::string& stand, const std::string& type,
                               const std::string& registration, double time, const std::string& flight);

}  // namespace standin
